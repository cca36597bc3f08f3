#include "platform/ApplicationWindow.h"

#include <QObject>
#include <QPointer>

namespace platform {

namespace {
QPointer<QObject>& Registered()
{
    static QPointer<QObject> window;
    return window;
}
} // namespace

void SetMainWindow(QObject* Window)
{
    Registered() = Window;
}

QObject* MainWindow()
{
    return Registered().data();
}

} // namespace platform
