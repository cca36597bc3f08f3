#pragma once
// What the small upgrade dialogs (the newer-version window, the password
// window) have in common: a fixed client width, a picture at the top left,
// the wrapped prompt Label1 beside it and BottomPanel directly below it, so
// that only the height follows the prompt. Closing destroys the window.
// Window thread only.

#include <QDialog>

class QLabel;

class TauUpgraderPromptForm : public QDialog {
    Q_OBJECT
public:
    QLabel* Label1 = nullptr;
    QWidget* BottomPanel = nullptr;

    // Runs the window modally, centred on the screen; true when it was
    // accepted. Closing destroys it, so it must not be used afterwards.
    bool ShowCentred();

protected:
    // The window at ClientWidth by DesignClientHeight with a bottom panel of
    // BottomPanelHeight; ExtraFlags are added to the fixed dialog frame.
    TauUpgraderPromptForm(QWidget* Parent, int ClientWidth, int DesignClientHeight, int BottomPanelHeight,
                          Qt::WindowFlags ExtraFlags = {});

    // Shows Text in Label1, wrapped across the window's width, and makes the
    // client height the prompt's plus the bottom panel's.
    void FitPrompt(const QString& Text);

    // The 32 x 32 picture left of the prompt; the derived window fills it.
    QLabel* Picture = nullptr;

private:
    int FClientWidth;
    int FBottomPanelHeight;
};
