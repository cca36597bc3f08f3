#pragma once
// Stand-ins for the program's windows, built from the same controls at the
// same sizes and fonts, without browsers: the skin tests, the screenshots
// and the skin benchmark draw these.

#include <QDialog>
#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;

class TSkinMockMainForm : public QWidget {
public:
    explicit TSkinMockMainForm(QWidget* Parent = nullptr);

    QWidget* sPanel1;
    QLabel* sLabel1;
    QLineEdit* etCargao;
    QPushButton* bbtnFind;
    QLabel* sLabel2;
    QPushButton* bbtnUpdate;
    QTabWidget* pcMain;
    QStatusBar* StatusBar1;
    std::array<QLabel*, 7> StatusPanels{};
};

// A dialog with what the wizard and the password window hold: a group box,
// labels, an edit, a check box, option buttons, a progress bar, buttons.
class TSkinMockDialog : public QDialog {
public:
    explicit TSkinMockDialog(QWidget* Parent = nullptr);

    QProgressBar* Progress;
    QPushButton* Next;
};

// The right-click menu with one item of each kind.
QMenu* NewSkinMockMenu(QWidget* Parent);
