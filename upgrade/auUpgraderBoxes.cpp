#include "upgrade/auUpgraderBoxes.h"

#include "upgrade/auUpgraderLang.h"

#include <QGuiApplication>
#include <QMessageBox>

QString ApplicationTitle()
{
    return QGuiApplication::applicationDisplayName();
}

QString ShownLines(QString Text)
{
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(u'\r', u'\n');
    return Text;
}

void ShowErrorText(const QString& Text)
{
    QMessageBox box(QMessageBox::Critical, LangStr(0), ShownLines(Text), QMessageBox::Ok);
    // Host names and file names end up in these texts: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowErrorMsg(int k)
{
    ShowErrorText(LangStr(k));
}
