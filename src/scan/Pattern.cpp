// The file pattern: a wildcard match of the name's last four characters.
#include "scan/Scanner.h"

namespace {

bool matchOne(QStringView pat, qsizetype &p, QChar c)
{
    const QChar pc = pat.at(p);
    if (pc == QLatin1Char('?')) {
        ++p;
        return true;
    }
    if (pc == QLatin1Char('#')) {
        ++p;
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    if (pc == QLatin1Char('[')) {
        const qsizetype close = pat.indexOf(QLatin1Char(']'), p + 1);
        if (close > p) {
            qsizetype q = p + 1;
            bool negate = false;
            if (q < close && pat.at(q) == QLatin1Char('!')) {
                negate = true;
                ++q;
            }
            const QChar lc = c.toCaseFolded();
            bool in = false;
            while (q < close) {
                const QChar lo = pat.at(q).toCaseFolded();
                if (q + 2 < close && pat.at(q + 1) == QLatin1Char('-')) {
                    const QChar hi = pat.at(q + 2).toCaseFolded();
                    if (lc >= lo && lc <= hi)
                        in = true;
                    q += 3;
                } else {
                    if (lc == lo)
                        in = true;
                    ++q;
                }
            }
            p = close + 1;
            return in != negate;
        }
        // An unclosed bracket stands for itself.
    }
    ++p;
    return pc.toCaseFolded() == c.toCaseFolded();
}

} // namespace

bool LikeMatch(QStringView text, QStringView pat)
{
    qsizetype t = 0, p = 0, starP = -1, starT = 0;
    const qsizetype n = text.size(), m = pat.size();
    while (t < n) {
        if (p < m && pat.at(p) == QLatin1Char('*')) {
            starP = ++p;
            starT = t;
            continue;
        }
        qsizetype next = p;
        if (p < m && matchOne(pat, next, text.at(t))) {
            p = next;
            ++t;
            continue;
        }
        if (starP >= 0) {
            p = starP;
            t = ++starT;
            continue;
        }
        return false;
    }
    while (p < m && pat.at(p) == QLatin1Char('*'))
        ++p;
    return p == m;
}

bool PatternTakesAll(const QString &pattern)
{
    return pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0;
}

bool FileMatchesPattern(const QString &name, const QString &pattern)
{
    return PatternTakesAll(pattern) || LikeMatch(QStringView(name).right(4), QStringView(pattern).right(4));
}
