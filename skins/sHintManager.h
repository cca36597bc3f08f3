#pragma once
// The hint manager of a window: the one look of every hint (tooltip) in the
// program, and how hints behave. Its look is its own, not the skin's.

#include "skins/sHintKind.h"

#include <QObject>
#include <QString>

class TsSkinManager;

class TsHintManager : public QObject {
    Q_OBJECT
public:
    // Hands its look to Skins, whose style draws the hints.
    explicit TsHintManager(TsSkinManager& Skins, QObject* Parent = nullptr);
    ~TsHintManager() override;

    QString SkinSection() const { return FSkinSection; }
    void SetSkinSection(const QString& Section) { FSkinSection = Section; }
    const TsHintKind& HintKind() const { return FHintKind; }
    void SetHintKind(const TsHintKind& Kind);  // takes effect at once when loaded
    bool Animated() const { return FAnimated; }
    void SetAnimated(bool Animated);  // takes effect at once when loaded
    // Off: hint texts are shown as they are, markup included.
    bool HTMLMode() const { return FHTMLMode; }
    void SetHTMLMode(bool On) { FHTMLMode = On; }
    // Milliseconds a hint stays up.
    int PauseHide() const { return FPauseHide; }
    void SetPauseHide(int Milliseconds) { FPauseHide = Milliseconds; }
    bool Active() const { return FActive; }
    void SetActive(bool Active);

    // Puts the hint look in force for every tooltip of the application.
    void Loaded();
    // The text colour hints are drawn in: the font colour, or the window
    // text colour, unless that cannot be read on the hint's fill.
    QColor TextColour() const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Update();

    TsSkinManager& FSkins;
    QString FSkinSection = QStringLiteral("HINT");
    TsHintKind FHintKind;
    bool FAnimated = true;
    bool FHTMLMode = false;
    int FPauseHide = 5000;
    bool FActive = true;
    bool FLoaded = false;
    bool FFiltering = false;
};
