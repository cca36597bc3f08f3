#include "app/Application.h"
#include "app/Ui_MainForm.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"
#include "platform/TerminationSignals.h"

int main(int argc, char* argv[])
{
    PrepareBrowserEngine();
    TApplication app(argc, argv);
    QuitOnTerminationSignals();
    QWebEngineProfile* profile = CreateSharedBrowserProfile(&app);

    TMainForm MainForm(profile);
    Fpub_status = new TFpub_status();  // hidden until the first search
    MainForm.show();
    const int rc = app.exec();
    CloseStatus();
    return rc;
}
