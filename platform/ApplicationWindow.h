#pragma once
// The application's main window as the window-free code sees it: a QObject
// with a "close" slot. Held weakly: once the window is destroyed it is gone.
// Window thread only.

class QObject;

namespace platform {

void SetMainWindow(QObject* Window);
// The registered window, or nullptr when none is registered or it is gone.
QObject* MainWindow();

} // namespace platform
