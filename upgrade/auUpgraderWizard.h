#pragma once
// The download wizard: the window that accompanies an accepted upgrade. It
// shows the file being downloaded, its size, the rate, the time left and two
// progress bars, then a finished page whose OK button lets the upgrade go on.
// It shows what the upgrade component tells it and keeps no upgrade state of
// its own. At most one exists in the process; it is destroyed when it closes.
// Not modal. Window thread only.

#include <QDialog>
#include <QImage>

#include <array>
#include <cstdint>
#include <functional>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// What the wizard takes from the component's Wizard settings.
struct TauWizardAppearance {
    // Topmost window; an ordinary one when false.
    bool StayOnTop = true;
    // Replaces the side picture, stretched to 118 x 218, when not null.
    QImage Pic118x218;
};

class TauUpgraderWizardForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 463;
    static constexpr int ClientHeight = 281;
    static constexpr int PictureWidth = 118;
    static constexpr int PictureHeight = 218;

    explicit TauUpgraderWizardForm(QWidget* Parent = nullptr);
    ~TauUpgraderWizardForm() override;

    // Texts of the downloading page in the current language, the picture and
    // the topmost setting; AbortUpgrade is what a confirmed close calls.
    void Fill(const TauWizardAppearance& Appearance, std::function<void()> AbortUpgrade);

    // Before each file's transfer: its address and its place in the list
    // (Number counts from 1).
    void ShowCurrentFile(const QString& Address, int Number, int Count);
    // When the file's headers have arrived: its announced length.
    void ShowFileSize(std::int64_t Bytes);
    // On each progress report. Rate in KB per second; SecondsLeft below 0
    // means the engine cannot tell (no announced length).
    void ShowProgress(int PercentsDone, int TotalPercentsDone, double TransferRate, std::int64_t SecondsLeft);
    // Turns the window into its finished page: OK has the focus, Cancel is
    // disabled.
    void ShowFinished();

    QWidget* Panel1;
    QLabel* Image1;
    QWidget* Bevel1;
    QLabel* WizardTitle;
    QGroupBox* LCurrentFile;
    QGroupBox* LAllFiles;
    QLabel* LDownloadingFileFrom;
    QLabel* EstimatedTimeLeftLab;
    QLabel* TransferRateLab;
    QProgressBar* ProgressCurrentFile;
    QProgressBar* ProgressAllFiles;
    QPushButton* FinishBtn;
    QPushButton* CancelBtn;
    QLabel* AllDownloading;
    QLabel* AboutShadow;
    QLabel* AboutLabel;
    QLineEdit* FileURL;
    QLabel* AfterNote;
    QLabel* FileSizeLab;

public slots:
    // Escape: acts on CancelBtn, so it asks only while Cancel is enabled.
    void reject() override;

protected:
    // Every close request but FinishBtn's (the caption's button, Alt+F4,
    // CancelBtn) asks message 27 first.
    void closeEvent(QCloseEvent* Event) override;

private:
    void FinishBtnClick();
    void AskToClose();
    // Closes and destroys the window without a question.
    void CloseQuietly();
    // Leaves a gap in the bevel's line where the engraved lettering stands.
    void CutBevelLine();

    std::array<QFrame*, 2> FBevelLines{};
    std::function<void()> FAbortUpgrade;
    bool FClosingQuietly = false;
    bool FAsking = false;
};

// The side picture shown when the component gives none: 118 x 218, drawn
// here for a screen with Ratio device pixels per pixel.
QImage DefaultWizardPicture(qreal Ratio = 1);

// The wizard while it exists, else null. Empty from the moment the window
// closes; the object itself goes at the next return to the event loop (its
// destroyed() signal).
TauUpgraderWizardForm* WizardForm();

// Creates the wizard if there is none, fills it for the downloading page and
// shows it, not modal, centred on the screen when new. A close the user
// confirms destroys the window first, then calls AbortUpgrade.
TauUpgraderWizardForm* ShowWizard(const TauWizardAppearance& Appearance, std::function<void()> AbortUpgrade);

// Destroys the wizard at once without any question (and a close question
// it is showing with it); AbortUpgrade is not called.
void DestroyWizardForm();

// Gives the wizard the focus and runs a local event loop until it has been
// destroyed (OK, or a confirmed close); returns at once when there is none.
void WaitForWizardForm();
