#include "browser/BrowserWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
QList<TBrowserWindow*> Windows;
} // namespace

TBrowserWindow::TBrowserWindow(QWebEngineProfile* profile)
    : QWebEngineView(profile)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program, whatever else is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(800, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(this, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
    Windows.append(this);
}

TBrowserWindow::~TBrowserWindow()
{
    Windows.removeOne(this);
}

TBrowserWindow* TBrowserWindow::Open(QWebEngineProfile* profile)
{
    auto* window = new TBrowserWindow(profile);
    window->show();
    return window;
}

QList<TBrowserWindow*> TBrowserWindow::OpenWindows()
{
    return Windows;
}

void TBrowserWindow::CloseAll()
{
    while (!Windows.isEmpty())
        delete Windows.takeLast();
}

QWebEngineView* TBrowserWindow::createWindow(QWebEnginePage::WebWindowType)
{
    return Open(page()->profile());
}
