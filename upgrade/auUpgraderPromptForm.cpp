#include "upgrade/auUpgraderPromptForm.h"

#include "platform/DesignFonts.h"
#include "upgrade/auUpgraderBoxes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

constexpr int LabelLeft = 45;
constexpr int LabelTop = 5;
constexpr int LabelRightMargin = 11;

} // namespace

TauUpgraderPromptForm::TauUpgraderPromptForm(QWidget* Parent, int ClientWidth, int DesignClientHeight,
                                             int BottomPanelHeight, Qt::WindowFlags ExtraFlags)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | ExtraFlags),
      FClientWidth(ClientWidth),
      FBottomPanelHeight(BottomPanelHeight)
{
    // In the order of both designs, before any control of the derived window:
    // the children's order, and so the focus chain, stays the designed one.
    Label1 = new QLabel(this);
    Picture = new QLabel(this);
    BottomPanel = new QWidget(this);

    setAttribute(Qt::WA_DeleteOnClose);
    setFont(DesignFont(QStringLiteral("Tahoma"), 12));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    resize(ClientWidth, DesignClientHeight);

    Label1->setGeometry(LabelLeft, LabelTop, 24, 14);
    Label1->setWordWrap(true);
    // A prompt carries what a server sent (a file name, the publisher's
    // message): shown as it is, never read as markup.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture->setGeometry(7, 5, 32, 32);

    BottomPanel->setGeometry(0, DesignClientHeight - BottomPanelHeight, ClientWidth, BottomPanelHeight);
}

void TauUpgraderPromptForm::FitPrompt(const QString& Text)
{
    // The outer width: before the window is shown it has no frame yet.
    const int labelWidth = frameGeometry().width() - LabelLeft - LabelRightMargin;
    Label1->setText(ShownLines(Text));
    Label1->setFixedWidth(labelWidth);
    Label1->setFixedHeight(Label1->heightForWidth(labelWidth));

    const int clientHeight = LabelTop + Label1->height() + FBottomPanelHeight;
    setFixedSize(FClientWidth, clientHeight);
    BottomPanel->move(0, clientHeight - FBottomPanelHeight);
}

bool TauUpgraderPromptForm::ShowCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec() == QDialog::Accepted;
}
