#include "app/Application.h"
#include "app/Ui_MainForm.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"
#include "platform/TerminationSignals.h"
#include "upgrade/auInfoSignature.h"
#include "upgrade/auUpgradeJournal.h"
#include "upgrade/auUpgraderBoxes.h"

#include <QTimer>
#include <QWebEngineProfile>

#include <memory>
#include <utility>

int main(int argc, char* argv[])
{
    // With the maker's key, only info files the maker signed are taken.
    SetUpgradePublicKey(SHOPSCOPE_UPGRADE_PUBLIC_KEY);
    PrepareBrowserEngine();
    TApplication app(argc, argv);
    QuitOnTerminationSignals();
    // The profile writes its cookies out when it is destroyed, which must
    // happen while the engine still runs: after the window's pages, before
    // the application object. A child of the application would go after.
    std::unique_ptr<QWebEngineProfile> profile(CreateSharedBrowserProfile(nullptr));

    // An upgrade the helper could not finish is finished or undone before
    // any file of the program is used.
    const TUpgradeRecovery recovery = RecoverAtStart();

    int rc = 0;
    {
        TMainForm MainForm(profile.get());
        Fpub_status = new TFpub_status();  // hidden until the first search
        // Told before the window shows (the upgrade component has chosen the
        // message language by now). Shown later, the box could end up under
        // the window: with GPU drawing, the window's first pages give it a
        // new native window, stacked above everything shown before it.
        if (recovery.TellRolledBack)
            ShowErrorMsg(34);
        MainForm.show();
        // An upgraded program counts as started once its window has been up
        // with its loop running for a while, or when the user closes it
        // sooner; the helper takes an end without confirmation for a failure.
        bool confirmed = false;
        auto confirm = [&confirmed] {
            if (!std::exchange(confirmed, true))
                ConfirmStarted();
        };
        QTimer::singleShot(5000, &MainForm, confirm);
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &MainForm, confirm);
        rc = app.exec();
        CloseStatus();
    }
    profile.reset();
    return rc;
}
