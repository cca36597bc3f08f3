#include "app/Application.h"

#include "app/ErrorHandler.h"
#include "platform/DesignFonts.h"

#include <QIcon>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("shopscope"));
    // The title the upgrade boxes and windows carry.
    setApplicationDisplayName(QStringLiteral("Shopscope"));
    setApplicationVersion(QStringLiteral("1.1.610"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/shopscope.svg")));
    InstallDesignFontSubstitutes();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // Handlers guard themselves; this only catches what slips through, so
    // the message loop goes on whatever happened.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}
