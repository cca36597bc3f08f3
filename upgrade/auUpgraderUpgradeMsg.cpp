#include "upgrade/auUpgraderUpgradeMsg.h"

#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace {

QPointer<TauUpgraderUpgradeMessageForm> TheForm;

constexpr int DesignClientHeight = 130;
constexpr int BottomPanelHeight = 55;

} // namespace

TauUpgraderUpgradeMessageForm::TauUpgraderUpgradeMessageForm(QWidget* Parent)
    : TauUpgraderPromptForm(Parent, ClientWidth, DesignClientHeight, BottomPanelHeight, Qt::WindowStaysOnTopHint),
      Icon(Picture),
      YesBtn(new QPushButton(BottomPanel)),
      LaterBtn(new QPushButton(BottomPanel))
{
    Icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    YesBtn->setGeometry(124, 19, 75, 23);
    YesBtn->setDefault(true);
    LaterBtn->setGeometry(213, 19, 75, 23);
    connect(YesBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(LaterBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TauUpgraderUpgradeMessageForm::SetTexts(const QString& Title, const QString& UpgradeMsg)
{
    const QString message = UpgradeMsg.isEmpty() ? UpgradeMsg : u'\n' + UpgradeMsg + u'\n';
    FitPrompt(LangFmt(23, Title, message));
    setWindowTitle(LangStr(0));
    YesBtn->setText(LangStr(14));
    LaterBtn->setText(LangStr(19));
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
    // Closing deletes the window (WA_DeleteOnClose), which empties TheForm.
    return form->ShowCentred();
}
