#pragma once
// The password window: asks the user for the user name and password of a
// protected upgrade file and stores them on the engine that asked, so that
// it sends its request again with them. At most one exists in the process;
// it is destroyed when it closes. Window thread only.

#include "upgrade/auUpgraderPromptForm.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TauCustomHTTP;
class TauLoginComponent;

class TauUpgraderPasswordForm : public TauUpgraderPromptForm {
    Q_OBJECT
public:
    // Client width; only the height follows the prompt.
    static constexpr int ClientWidth = 297;

    explicit TauUpgraderPasswordForm(QWidget* Parent = nullptr);

    // Fills the texts for the current language, the user name field with
    // Login's current user name and the password field empty, and fits the
    // height to the wrapped prompt for FileName. OK stores into Login, which
    // must outlive the window's showing.
    void Prepare(TauLoginComponent& Login, const QString& FileName);

    // OK: stores the typed user name and password, then ends the modal run
    // as accepted.
    void OKBtnClick();
    // Runs on every close (OK, Cancel, Escape, the close box): the window is
    // no longer the process's password window; closing destroys it.
    void FormClose();

    QLabel* Image1;
    QLabel* UsernameLab;
    QLabel* PasswordLab;
    QLineEdit* UsernameEdit;
    QLineEdit* PasswordEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    // The component whose credentials the window edits.
    TauLoginComponent* Upgrader = nullptr;
};

// The password window while it exists, else null.
TauUpgraderPasswordForm* PasswordWindow();

// Shows the password window modally for the file name part of Engine's
// current address. True when the user confirmed with OK (Enter); Engine's
// HTTPUsername and HTTPPassword then hold what was typed, even both empty.
// Cancel, Escape and the close box give false and change nothing. While the
// window is already up for another request, that request is refused: false
// at once. Fits the upgrade component's PasswordWindow hook as it is.
bool ShowPasswordWindow(TauCustomHTTP& Engine);
