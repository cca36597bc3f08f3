#include "app/ErrorHandler.h"

#include <QMessageBox>

#include <stdexcept>

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() <= 46)
        return message;
    return message + QLatin1Char('.');
}

void ShowErrorBox(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(ApplicationTitle), ErrorBoxText(message), QMessageBox::Ok);
    box.exec();
}

void ShowException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"));
    }
}
