#include "upgrade/auUpgraderPassword.h"

#include "http/auHTTP.h"
#include "upgrade/auUpgraderLang.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>

namespace {

QPointer<TauUpgraderPasswordForm> TheForm;

constexpr int DesignClientHeight = 141;
constexpr int BottomPanelHeight = 98;
constexpr int IconSize = 32;

// A key, drawn at the screen's pixel ratio so that it stays sharp.
QPixmap KeyPicture(qreal Ratio)
{
    QPixmap picture(QSize(IconSize, IconSize) * Ratio);
    picture.setDevicePixelRatio(Ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath key;
    key.addEllipse(QRectF(2, 9, 14, 14));
    key.addRect(QRectF(14, 14, 16, 4));
    key.addRect(QRectF(25, 18, 3, 6));
    key.addRect(QRectF(20, 18, 3, 4));
    key = key.simplified();
    QPainterPath hole;
    hole.addEllipse(QRectF(5.5, 13.5, 5, 5));
    painter.setPen(QPen(QColor(0x7a, 0x5c, 0x10), 1.5));
    painter.setBrush(QColor(0xf2, 0xc2, 0x3c));
    painter.drawPath(key.subtracted(hole));
    return picture;
}

// The file name with a break allowed after every character: a long name
// without spaces wraps inside the prompt instead of running past the fixed
// width. A surrogate pair or a letter with its combining marks stays whole.
QString Breakable(const QString& FileName)
{
    QString text;
    for (qsizetype i = 0; i < FileName.size(); ++i) {
        text += FileName[i];
        const bool last = i + 1 == FileName.size();
        if (!last && !FileName[i + 1].isLowSurrogate() && !FileName[i + 1].isMark())
            text += QChar(0x200B);
    }
    return text;
}

} // namespace

TauUpgraderPasswordForm::TauUpgraderPasswordForm(QWidget* Parent)
    : TauUpgraderPromptForm(Parent, ClientWidth, DesignClientHeight, BottomPanelHeight),
      Image1(Picture),
      UsernameLab(new QLabel(BottomPanel)),
      PasswordLab(new QLabel(BottomPanel)),
      UsernameEdit(new QLineEdit(BottomPanel)),
      PasswordEdit(new QLineEdit(BottomPanel)),
      OKBtn(new QPushButton(BottomPanel)),
      CancelBtn(new QPushButton(BottomPanel))
{
    setObjectName(QStringLiteral("auUpgraderPasswordForm"));
    Image1->setPixmap(KeyPicture(devicePixelRatioF()));

    UsernameLab->setGeometry(45, 14, 24, 14);
    UsernameLab->setBuddy(UsernameEdit);
    PasswordLab->setGeometry(45, 38, 23, 14);
    PasswordLab->setBuddy(PasswordEdit);
    UsernameEdit->setGeometry(122, 10, 157, 22);
    PasswordEdit->setGeometry(122, 34, 157, 22);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
    OKBtn->setGeometry(114, 68, 75, 23);
    OKBtn->setDefault(true);
    CancelBtn->setGeometry(204, 68, 75, 23);
    setTabOrder(UsernameEdit, PasswordEdit);
    setTabOrder(PasswordEdit, OKBtn);
    setTabOrder(OKBtn, CancelBtn);

    connect(OKBtn, &QPushButton::clicked, this, &TauUpgraderPasswordForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Escape and the close box end in reject() too, so every close passes here.
    connect(this, &QDialog::finished, this, &TauUpgraderPasswordForm::FormClose);
}

void TauUpgraderPasswordForm::Prepare(TauLoginComponent& Login, const QString& FileName)
{
    Upgrader = &Login;
    FitPrompt(LangFmt(29, Breakable(FileName)));
    setWindowTitle(LangStr(11));
    UsernameLab->setText(LangStr(12));
    UsernameLab->adjustSize();
    UsernameEdit->setText(QString::fromStdString(Login.HTTPUsername()));
    PasswordLab->setText(LangStr(13));
    PasswordLab->adjustSize();
    PasswordEdit->clear();
    OKBtn->setText(LangStr(16));
    CancelBtn->setText(LangStr(17));
    // The first field in the tab order: the user types the name at once.
    UsernameEdit->setFocus();
}

void TauUpgraderPasswordForm::OKBtnClick()
{
    if (Upgrader) {
        Upgrader->SetHTTPUsername(UsernameEdit->text().toStdString());
        Upgrader->SetHTTPPassword(PasswordEdit->text().toStdString());
    }
    accept();
}

void TauUpgraderPasswordForm::FormClose()
{
    // exec() destroys the window on its return (WA_DeleteOnClose); from here
    // on a new request builds a new one.
    if (TheForm == this)
        TheForm = nullptr;
}

TauUpgraderPasswordForm* PasswordWindow()
{
    return TheForm.data();
}

bool ShowPasswordWindow(TauCustomHTTP& Engine)
{
    // The window only exists while it is up. A second engine's request meanwhile
    // (its call is served inside this modal run) would take over the window
    // that the first engine's user is typing into: refused instead.
    if (TheForm)
        return false;
    TheForm = new TauUpgraderPasswordForm();
    TauUpgraderPasswordForm* form = TheForm.data();
    form->Prepare(Engine, QString::fromStdString(Engine.FileName()));
    return form->ShowCentred();
}
