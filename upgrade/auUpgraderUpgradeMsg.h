#pragma once
// The newer-version window: the offer of an upgrade with the publisher's
// message, answered with Yes (upgrade now) or Later. At most one exists in
// the process; it is destroyed when it closes.

#include "upgrade/auUpgraderPromptForm.h"

class QLabel;
class QPushButton;

class TauUpgraderUpgradeMessageForm : public TauUpgraderPromptForm {
    Q_OBJECT
public:
    // Client width; only the height follows the text.
    static constexpr int ClientWidth = 318;

    explicit TauUpgraderUpgradeMessageForm(QWidget* Parent = nullptr);

    // Fills the texts for the current language and fits the height to the
    // wrapped text of Label1.
    void SetTexts(const QString& Title, const QString& UpgradeMsg);

    QLabel* Icon;
    QPushButton* YesBtn;
    QPushButton* LaterBtn;
};

// The newer-version window while it exists, else null.
TauUpgraderUpgradeMessageForm* UpgradeMessageForm();
// Destroys the window if it exists (a modal run of it ends as Later).
void DestroyUpgradeMessageForm();

// Shows the offer modally, with the application's title (or "<AppTitle>"
// when that title names the design environment) and UpgradeMsg, the info
// file's message decoded for display (DecodeInfoText), between the first
// sentence and the question. True when the user accepted; Later, Escape and
// the close button give false.
bool ShowUpgradeMessage(const QString& UpgradeMsg);
