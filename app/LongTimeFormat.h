#pragma once
// The time as the locale's long format writes it, without the time zone that
// Qt's long format adds on Linux (the status bar shows the wall-clock time).

#include <QLocale>
#include <QString>
#include <QTime>

// The locale's long time format with its time-zone field, any brackets
// around it and the blank it leaves behind removed. Quoted text is kept.
QString LongTimeFormatWithoutZone(const QLocale& locale);

QString LongTimeText(const QTime& time, const QLocale& locale = QLocale::system());
