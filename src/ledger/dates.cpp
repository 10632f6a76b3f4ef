#include "ledger/dates.h"

namespace ledger {

namespace {

// Reads 1..maxDigits ASCII digits at pos.
bool readDigits(const QString &s, qsizetype &pos, int maxDigits, int &value, int &count)
{
    value = 0;
    count = 0;
    while (pos < s.size() && count < maxDigits && s.at(pos) >= u'0' && s.at(pos) <= u'9') {
        value = value * 10 + (s.at(pos).unicode() - u'0');
        ++pos;
        ++count;
    }
    return count > 0;
}

constexpr QChar kYear = u'年', kMonth = u'月', kDay = u'日';

bool isSeparator(QChar c) { return c == u'-' || c == u'/' || c == u'.' || c == kYear; }

QString two(int v) { return QString::number(v % 100).rightJustified(2, u'0'); }

} // namespace

std::optional<QDate> readDate(const QString &text)
{
    const QString s = text.trimmed();
    qsizetype pos = 0;
    int year = 0, month = 0, day = 0, n = 0;
    if (!readDigits(s, pos, 4, year, n) || (n != 2 && n != 4))
        return std::nullopt;
    if (pos < s.size() && s.at(pos) >= u'0' && s.at(pos) <= u'9')
        return std::nullopt;
    const int yearDigits = n;
    if (pos >= s.size() || !isSeparator(s.at(pos)))
        return std::nullopt;
    const QChar sep = s.at(pos++);
    // Written out in Chinese the month ends with 月 and the day with an optional 日.
    const bool chinese = sep == kYear;
    if (!readDigits(s, pos, 2, month, n))
        return std::nullopt;
    if (pos >= s.size() || s.at(pos) != (chinese ? kMonth : sep))
        return std::nullopt;
    ++pos;
    if (!readDigits(s, pos, 2, day, n))
        return std::nullopt;
    if (chinese && pos < s.size() && s.at(pos) == kDay)
        ++pos;
    if (pos != s.size())
        return std::nullopt;
    if (yearDigits == 2)
        year += year < 30 ? 2000 : 1900;
    const QDate d(year, month, day);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QString dateYYMMDD(const QDate &d) { return two(d.year()) + u'-' + two(d.month()) + u'-' + two(d.day()); }
QString dateYYMM(const QDate &d) { return two(d.year()) + u'-' + two(d.month()); }
QString dateYY(const QDate &d) { return two(d.year()); }

QString dateYYMMDD(const QString &text)
{
    const auto d = readDate(text);
    return d ? dateYYMMDD(*d) : QString();
}

QString dateYYMM(const QString &text)
{
    const auto d = readDate(text);
    return d ? dateYYMM(*d) : QString();
}

QString dateYY(const QString &text)
{
    const auto d = readDate(text);
    return d ? dateYY(*d) : QString();
}

int dayNumber(const QDate &d) { return d.year() % 100 * 10000 + d.month() * 100 + d.day(); }

int dayNumber(const QString &text)
{
    const auto d = readDate(text);
    return d ? dayNumber(*d) : kNoDay;
}

int DayMemo::day(const QString &text)
{
    // Records come roughly in date order, in two or three spellings of the same day.
    for (int i = 0; i < 2; ++i)
        if (text == m_lastText[i])
            return m_lastDay[i];
    int day = kNoDay;
    const auto it = m_seen.constFind(text);
    if (it != m_seen.constEnd()) {
        day = *it;
    } else {
        day = dayNumber(text);
        if (m_seen.size() < (1 << 20))
            m_seen.insert(text, day);
    }
    m_lastText[m_next] = text;
    m_lastDay[m_next] = day;
    m_next ^= 1;
    return day;
}

QString currentDateText(const QDate &today)
{
    return QString::number(today.year()) + u'/' + QString::number(today.month()) + u'/' +
           QString::number(today.day());
}

QString pickedDateText(const QDate &d)
{
    const QString year = QString::number(d.year()).rightJustified(4, u'0');
    return year.mid(2, 2) + u'-' + QString::number(d.month()) + u'-' + QString::number(d.day());
}

} // namespace ledger
