#include "app/Application.h"
#include "app/Ui_MainForm.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"
#include "platform/TerminationSignals.h"

#include <QWebEngineProfile>

#include <memory>

int main(int argc, char* argv[])
{
    PrepareBrowserEngine();
    TApplication app(argc, argv);
    QuitOnTerminationSignals();
    // The profile writes its cookies out when it is destroyed, which must
    // happen while the engine still runs: after the window's pages, before
    // the application object. A child of the application would go after.
    std::unique_ptr<QWebEngineProfile> profile(CreateSharedBrowserProfile(nullptr));

    int rc = 0;
    {
        TMainForm MainForm(profile.get());
        Fpub_status = new TFpub_status();  // hidden until the first search
        MainForm.show();
        rc = app.exec();
        CloseStatus();
    }
    profile.reset();
    return rc;
}
