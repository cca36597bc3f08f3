#include "browser/BrowserProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QWebEngineProfile>

#include <unistd.h>

void PrepareBrowserEngine()
{
    // The engine's sandbox refuses to start as root; a normal user keeps it.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // With the engine's GPU use switched off the pages come as bitmaps;
    // putting them on the screen through OpenGL costs the window a software
    // OpenGL (Mesa's llvmpipe, some 30 MiB) for what plain drawing does as
    // well. An explicit choice of the user's wins.
    const bool noGpu =
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(QLatin1Char(' ')).contains(QStringLiteral("--disable-gpu"));
    if (noGpu && qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

QWebEngineProfile* CreateSharedBrowserProfile(QObject* parent)
{
    auto* profile = new QWebEngineProfile(QStringLiteral("shopscope"), parent);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    profile->setPersistentStoragePath(QDir(data).filePath(QStringLiteral("browser")));
    profile->setCachePath(QDir(cache).filePath(QStringLiteral("browser")));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    // As browsers keep them: a login the site means to keep survives a
    // restart, one it meant for this session only (a bank mall's) does not.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    return profile;
}
