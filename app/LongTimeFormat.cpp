#include "app/LongTimeFormat.h"

#include <QRegularExpression>

namespace {

// Inside an unquoted stretch of a format: "t", "(t)" or "[t]" goes, and the
// blanks around it shrink to one.
QString DropZone(const QString& stretch)
{
    static const QRegularExpression zone(QStringLiteral(R"([(\[]t+[)\]]|t+)"));
    static const QRegularExpression blanks(QStringLiteral(R"(\s{2,})"));
    QString result = stretch;
    result.remove(zone);
    result.replace(blanks, QStringLiteral(" "));
    return result;
}

} // namespace

QString LongTimeFormatWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    QString stretch;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            if (!quoted) {
                result += DropZone(stretch);
                stretch.clear();
            }
            quoted = !quoted;
            result += c;
        } else if (quoted) {
            result += c;
        } else {
            stretch += c;
        }
    }
    result += DropZone(stretch);
    return result.trimmed();
}

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, LongTimeFormatWithoutZone(locale));
}
