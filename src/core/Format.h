#pragma once
// Numbers, sizes, elapsed times and date texts as every count, size and log line shows them.
#include <QDateTime>
#include <QString>

// Applies a numeric pattern: "##,###,##0", "##,###,###,##0", "#,###,###", "#,###.00", "##0.00",
// "#,##0.00", "standard", "percent", "#####0", "00", "##", "#0". Rounds halves away from zero
// and uses the default QLocale's group and decimal characters.
QString FormatNumber(double value, const QString &pattern);
QString FormatNumber(qint64 value, const QString &pattern);

// Plain digits, as the spots that show a count or length without a pattern.
QString PlainDigits(qint64 value);

// Bytes to megabytes (1,048,576 bytes) written "#,###.00".
QString FormatMegabytes(qint64 bytes);

// Elapsed time "h:mm.ss", or in words when words is true.
QString FormatElapsed(qint32 seconds, bool words);
QString FormatDuration(const QString &clock);

// Whole seconds from milliseconds: nearest second, halves to the even second.
qint32 ElapsedSeconds(qint64 milliseconds);

// The general date text: short date, one blank, long time ("12/7/2026 6:02:14 AM").
QString GeneralDate(const QDateTime &t);
// The same for a moment in whole seconds since the epoch, in local time: the listing's dates,
// formatted without Qt's calendar machinery (which asks the disk for the zone every time).
QString GeneralDateOfSeconds(qint64 secondsSinceEpoch);
QString NowText();
