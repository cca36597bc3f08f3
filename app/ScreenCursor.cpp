#include "app/ScreenCursor.h"

#include <QApplication>
#include <QCursor>

void SetScreenCursor(TCursor cursor)
{
    if (cursor == crDefault) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        return;
    }
    if (QApplication::overrideCursor())
        QApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

TCursor ScreenCursor()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor ? crHourGlass : crDefault;
}
