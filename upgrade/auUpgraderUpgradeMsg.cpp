#include "upgrade/auUpgraderUpgradeMsg.h"

#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderFonts.h"
#include "upgrade/auUpgraderLang.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

QPointer<TauUpgraderUpgradeMessageForm> TheForm;

constexpr int LabelLeft = 45;
constexpr int LabelTop = 5;
constexpr int LabelRightMargin = 11;
constexpr int BottomPanelHeight = 55;

} // namespace

TauUpgraderUpgradeMessageForm::TauUpgraderUpgradeMessageForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      Label1(new QLabel(this)),
      Icon(new QLabel(this)),
      BottomPanel(new QWidget(this)),
      YesBtn(new QPushButton(BottomPanel)),
      LaterBtn(new QPushButton(BottomPanel))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(UpgraderFont(QStringLiteral("Tahoma"), 12));
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    resize(ClientWidth, 130);

    Icon->setGeometry(7, 5, 32, 32);
    Icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));

    Label1->move(LabelLeft, LabelTop);
    Label1->setWordWrap(true);
    // The publisher's message is shown as it is, never read as markup.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    BottomPanel->setGeometry(0, height() - BottomPanelHeight, ClientWidth, BottomPanelHeight);
    YesBtn->setGeometry(124, 19, 75, 23);
    YesBtn->setDefault(true);
    LaterBtn->setGeometry(213, 19, 75, 23);
    connect(YesBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(LaterBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TauUpgraderUpgradeMessageForm::SetTexts(const QString& Title, const QString& UpgradeMsg)
{
    const QString message = UpgradeMsg.isEmpty() ? UpgradeMsg : u'\n' + UpgradeMsg + u'\n';
    // The outer width: before the window is shown it has no frame yet.
    const int labelWidth = frameGeometry().width() - LabelLeft - LabelRightMargin;
    Label1->setText(ShownLines(LangFmt(23, Title, message)));
    Label1->setFixedWidth(labelWidth);
    Label1->setFixedHeight(Label1->heightForWidth(labelWidth));
    setWindowTitle(LangStr(0));
    YesBtn->setText(LangStr(14));
    LaterBtn->setText(LangStr(19));

    const int clientHeight = LabelTop + Label1->height() + BottomPanelHeight;
    setFixedSize(ClientWidth, clientHeight);
    BottomPanel->move(0, clientHeight - BottomPanelHeight);
}

TauUpgraderUpgradeMessageForm* UpgradeMessageForm()
{
    return TheForm.data();
}

void DestroyUpgradeMessageForm()
{
    delete TheForm.data();
}

bool ShowUpgradeMessage(const QString& UpgradeMsg)
{
    QString title = ApplicationTitle();
    const QString designer = UpgraderString(DesignEnvironmentStringId);
    // An empty name would be found in every title.
    if (!designer.isEmpty() && title.contains(designer))
        title = UpgraderString(AppTitleStringId);

    if (!TheForm)
        TheForm = new TauUpgraderUpgradeMessageForm();
    TauUpgraderUpgradeMessageForm* form = TheForm.data();
    form->SetTexts(title, UpgradeMsg);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    // Closing deletes the window (WA_DeleteOnClose), which empties TheForm.
    return form->exec() == QDialog::Accepted;
}
