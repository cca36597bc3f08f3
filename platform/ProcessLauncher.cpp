#include "platform/ProcessLauncher.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

void TProcessLauncher::StartDetached(const std::vector<std::string>& Arguments)
{
    if (Arguments.empty())
        return;
    QStringList rest;
    for (auto it = Arguments.begin() + 1; it != Arguments.end(); ++it)
        rest << QString::fromStdString(*it);
    QProcess::startDetached(QString::fromStdString(Arguments.front()), rest);
}

std::vector<std::string> TProcessLauncher::CommandArguments(const std::string& CommandText)
{
    const QString text = QString::fromStdString(CommandText);
    const QFileInfo file(text);
    const bool wholeIsProgram = text.contains(u'/') ? file.isFile() && file.isExecutable()
                                                    : !QStandardPaths::findExecutable(text).isEmpty();
    if (wholeIsProgram)
        return {CommandText};
    std::vector<std::string> arguments;
    for (const QString& part : QProcess::splitCommand(text))
        arguments.push_back(part.toStdString());
    return arguments;
}
