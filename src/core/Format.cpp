#include "core/Format.h"
#include <QLocale>
#include "platform/Platform.h"
#include <cmath>
#include <cstdio>

namespace {

// Rounds |value| to `decimals` places, halves away from zero, and returns the digits of the
// integer part and of the fraction separately.
void splitRounded(double value, int decimals, QString &intDigits, QString &fracDigits, bool &negative)
{
    negative = value < 0;
    double a = std::fabs(value);
    double scale = std::pow(10.0, decimals);
    // A small bias keeps 0.125 -> 0.13 style halves when binary can't hold the half exactly.
    double scaled = std::floor(a * scale + 0.5 + 1e-9);
    long double whole = std::floor(scaled / scale);
    long double frac = scaled - whole * scale;
    intDigits = QString::number(qint64(whole));
    fracDigits = decimals > 0 ? QString::number(qint64(frac)).rightJustified(decimals, QLatin1Char('0')) : QString();
    if (scaled == 0)
        negative = false;
}

QString group(const QString &digits, QChar sep)
{
    QString out;
    const int n = digits.size();
    out.reserve(n + n / 3);
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += sep;
        out += digits[i];
    }
    return out;
}

} // namespace

QString FormatNumber(double value, const QString &pattern)
{
    const QLocale loc;
    QString pat = pattern;
    if (pat.compare(QLatin1String("standard"), Qt::CaseInsensitive) == 0)
        pat = QStringLiteral("#,##0.00");
    bool percent = false;
    if (pat.compare(QLatin1String("percent"), Qt::CaseInsensitive) == 0) {
        pat = QStringLiteral("0.00");
        value *= 100.0;
        percent = true;
    }
    const int dot = pat.indexOf(QLatin1Char('.'));
    const QString intPat = dot >= 0 ? pat.left(dot) : pat;
    const QString fracPat = dot >= 0 ? pat.mid(dot + 1) : QString();
    const bool grouping = intPat.contains(QLatin1Char(','));
    const int minInt = intPat.count(QLatin1Char('0'));
    const int decimals = fracPat.size();

    QString intDigits, fracDigits;
    bool negative = false;
    splitRounded(value, decimals, intDigits, fracDigits, negative);

    if (intDigits == QLatin1String("0"))
        intDigits.clear();
    if (intDigits.size() < minInt)
        intDigits = intDigits.rightJustified(minInt, QLatin1Char('0'));

    QString out = grouping ? group(intDigits, loc.groupSeparator().at(0)) : intDigits;
    if (decimals > 0)
        out += loc.decimalPoint().at(0) + fracDigits;
    if (negative && !out.isEmpty())
        out.prepend(QLatin1Char('-'));
    if (percent)
        out += QLatin1Char('%');
    return out;
}

QString FormatNumber(qint64 value, const QString &pattern)
{
    const int dot = pattern.indexOf(QLatin1Char('.'));
    const bool named = pattern.compare(QLatin1String("standard"), Qt::CaseInsensitive) == 0
        || pattern.compare(QLatin1String("percent"), Qt::CaseInsensitive) == 0;
    if (dot >= 0 || named)
        return FormatNumber(double(value), pattern);
    // Integer patterns: exact for the whole 64-bit range.
    const QLocale loc;
    const bool grouping = pattern.contains(QLatin1Char(','));
    const int minInt = pattern.count(QLatin1Char('0'));
    const bool negative = value < 0;
    QString digits = QString::number(negative ? -(value) : value);
    if (digits == QLatin1String("0"))
        digits.clear();
    if (digits.size() < minInt)
        digits = digits.rightJustified(minInt, QLatin1Char('0'));
    QString out = grouping ? group(digits, loc.groupSeparator().at(0)) : digits;
    if (negative && !out.isEmpty())
        out.prepend(QLatin1Char('-'));
    return out;
}

QString PlainDigits(qint64 value)
{
    return QString::number(value);
}

QString FormatMegabytes(qint64 bytes)
{
    return FormatNumber(double(bytes) / 1024.0 / 1024.0, QStringLiteral("#,###.00"));
}

QString FormatElapsed(qint32 seconds, bool words)
{
    const qint32 hours = seconds / 3600;
    const qint32 totalMinutes = seconds / 60;
    const qint32 minutes = totalMinutes - hours * 60;
    const qint32 secs = seconds % 60;
    const QString clock = FormatNumber(qint64(hours), QStringLiteral("#####0")) + QLatin1Char(':')
        + FormatNumber(qint64(minutes), QStringLiteral("00")) + QLatin1Char('.')
        + FormatNumber(qint64(secs), QStringLiteral("00"));
    return words ? FormatDuration(clock) : clock;
}

QString FormatDuration(const QString &clock)
{
    const int colon = clock.indexOf(QLatin1Char(':'));
    const qint64 h = clock.left(colon).toLongLong();
    const QString m = clock.mid(colon + 1, 2);
    const qint64 s = clock.right(2).toLongLong();
    QString result;
    if (h != 0) {
        result += QString::number(h) + QStringLiteral(" hour");
        if (h > 1)
            result += QLatin1Char('s');
        result += QStringLiteral(", ");
    }
    if (m != QLatin1String("00")) {
        const qint64 mins = m.toLongLong();
        const bool hadHours = !result.isEmpty();
        result += FormatNumber(mins, QStringLiteral("##"));
        result += mins == 1 ? QStringLiteral(" minute") : QStringLiteral(" minutes");
        result += hadHours ? QStringLiteral(", and ") : QStringLiteral(" and ");
    } else if (!result.isEmpty()) {
        result += QStringLiteral("0 minutes, and ");
    }
    result += FormatNumber(s, QStringLiteral("#0")) + QStringLiteral(" second");
    if (s != 1)
        result += QLatin1Char('s');
    return result;
}

qint32 ElapsedSeconds(qint64 milliseconds)
{
    return qint32(std::nearbyint(double(milliseconds) / 1000.0)); // default rounding: halves to even
}

QString GeneralDate(const QDateTime &t)
{
    return QLocale::c().toString(t, QStringLiteral("M/d/yyyy h:mm:ss AP"));
}

QString GeneralDateOfSeconds(qint64 secondsSinceEpoch)
{
    platform::LocalTime t;
    if (!platform::localTime(secondsSinceEpoch, t) || t.year < 1000 || t.year > 9999)
        return GeneralDate(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch));
    const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    char buf[48];
    const int len = std::snprintf(buf, sizeof buf, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, h12, t.minute,
                                  t.second, t.hour < 12 ? "AM" : "PM");
    return QString::fromLatin1(buf, len);
}

QString NowText()
{
    return GeneralDate(QDateTime::currentDateTime());
}
