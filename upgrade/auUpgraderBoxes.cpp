#include "upgrade/auUpgraderBoxes.h"

#include "upgrade/auUpgraderLang.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>

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

bool AskYesNo(const QString& Text, QWidget* Parent)
{
    // On the heap and owned by Parent, so that it stays above a topmost
    // parent and goes with it if the parent is destroyed meanwhile.
    const QPointer<QMessageBox> box(new QMessageBox(QMessageBox::Question, ApplicationTitle(), ShownLines(Text),
                                                    QMessageBox::Yes | QMessageBox::No, Parent));
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Yes);
    const int answer = box->exec();
    delete box.data();
    return answer == QMessageBox::Yes;
}
