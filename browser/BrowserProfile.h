#pragma once
// The one browser profile that all store tabs share, kept in the user's XDG
// data folder: persistent cookies and store logins survive a restart, session
// cookies end with the program, as in any browser.

class QObject;
class QWebEngineProfile;

// Call before the application object is created: settings the web engine
// reads only once, at its start.
void PrepareBrowserEngine();

QWebEngineProfile* CreateSharedBrowserProfile(QObject* parent);
