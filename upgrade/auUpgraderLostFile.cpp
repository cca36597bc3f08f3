#include "upgrade/auUpgraderLostFile.h"

#include "upgrade/auUpgraderBoxes.h"
#include "upgrade/auUpgraderLang.h"

#include <QMessageBox>

bool ShowLostFileQuestion(const QString& FileName, std::int32_t StatusCode)
{
    QMessageBox box(QMessageBox::Warning, LangStr(21) + QStringLiteral(" #") + QString::number(StatusCode),
                    ShownLines(LangFmt(28, FileName)), QMessageBox::Yes | QMessageBox::No);
    // The file name comes from the server's info file: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
