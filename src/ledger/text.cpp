#include "ledger/text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace ledger {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// The common stored number, digits with at most one point and a sign ("12", "-3.75", "12.5元"),
// read without the general route. With at most 15 digits the digits and the power of ten are
// exact doubles, so their quotient is the correctly rounded value, as strtod gives it. Anything
// else (blanks, which may join digits, an exponent, more digits) is left to the general route.
bool plainDecimal(const QString &text, double &value)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-'))
        negative = *p++ == u'-';
    quint64 digits = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (; p < end; ++p) {
        const char16_t c = p->unicode();
        if (c >= u'0' && c <= u'9') {
            if (++count > 15)
                return false;
            digits = digits * 10 + (c - u'0');
            decimals += point ? 1 : 0;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0)
        return false;
    if (p < end) {
        const char16_t c = p->unicode();
        if (isBlank(*p) || c == u'e' || c == u'E' || c == u'd' || c == u'D')
            return false;
    }
    const double v = static_cast<double>(digits) / kPow10[decimals];
    value = negative ? -v : v;
    return true;
}


} // namespace

double parseNumber(const QString &text)
{
    double plain = 0;
    if (plainDecimal(text, plain))
        return plain;
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        if (isBlank(c))
            continue;
        s.push_back(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '\x01');
    }
    size_t i = 0;
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        num.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        num.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        num.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            num.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exp.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            exp.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits)
            num += exp;
    }
    // from_chars always reads "." as the point; strtod would follow the process locale.
    const char *first = num.data() + (num.front() == '+' ? 1 : 0);
    double v = 0.0;
    if (std::from_chars(first, num.data() + num.size(), v).ec != std::errc())
        return 0.0;
    return std::isfinite(v) ? v : 0.0;
}

QString formatNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0.0)
        return QStringLiteral("0");
    // to_chars writes what "%.15g" writes in the C locale, whatever the process locale is.
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr;
    QString s = QString::fromLatin1(buf, end - buf);
    const qsizetype e = s.indexOf(u'e');
    if (e < 0)
        return s;
    // 1e+15 -> 1E+15, 1e-07 -> 1E-07
    QString mant = s.left(e);
    QString exp = s.mid(e + 1);
    return mant + u'E' + exp;
}

qint64 roundEven(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lim = 9.2e18;
    if (value >= lim)
        return static_cast<qint64>(lim);
    if (value <= -lim)
        return -static_cast<qint64>(lim);
    return static_cast<qint64>(std::nearbyint(value)); // default mode: to nearest, ties to even
}

QStringList splitRequest(const QString &request)
{
    QStringList fields(kRequestFields);
    qsizetype from = 0;
    for (int index = 0; index < kRequestFields; ++index) {
        const qsizetype to = request.indexOf(kSep, from);
        const qsizetype end = to < 0 ? request.size() : to;
        if (end > from) // an empty field stays null
            fields[index] = request.mid(from, end - from);
        if (to < 0)
            break;
        from = to + 1;
    }
    return fields;
}

QString exactFromUtf8(const char *bytes, qsizetype size)
{
    QString out = QString::fromUtf8(bytes, size);
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0)
        out.prepend(QChar(0xFEFF));
    return out;
}

int charCount(const QString &text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++n;
    }
    return n;
}

int displayWidth(const QString &text)
{
    int w = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        w += (u >= 32 && u <= 126) ? 1 : 2;
    }
    return w;
}

QString trimLeadingSpaces(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    return text.mid(i);
}

QString trimTrailingSpaces(const QString &text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == u' ')
        --n;
    return text.left(n);
}

QString makeTxLine(const QString &recordText)
{
    const QStringList f = splitRequest(recordText);
    return makeTxLine(f[1], f[3], f[4], f[5], f[6], f[7], f[8]);
}

QString makeTxLine(const QString &name, const QString &price, const QString &qty, const QString &total,
                   const QString &date, const QString &method, const QString &txno)
{
    QString line;
    line.reserve(100);
    auto pad = [&line](qsizetype n) {
        if (n > 0)
            line.resize(line.size() + n, u' ');
    };
    auto right = [&](const QString &v, int width) {
        line += kSep;
        pad(width - charCount(v));
        line += v;
    };
    line += name;
    pad(20 - displayWidth(name));
    right(price, 10);
    right(qty, 10);
    right(total, 10);
    right(date, 8);
    line += kSep;
    line += method;
    right(txno, 10);
    return line;
}

QString txLineToRequest(const QString &line)
{
    const QStringList f = splitRequest(line);
    QStringList out;
    out << QStringLiteral("3") << trimTrailingSpaces(f[0]) << trimLeadingSpaces(f[1]);
    for (int i = 3; i <= 8; ++i)
        out << trimLeadingSpaces(f[i]);
    return out.join(kSep);
}

} // namespace ledger

namespace ledger {
double roundPrice(double t)
{
    double r = std::floor(t * 100.0) / 100.0;
    if (std::fmod(std::floor(t * 1000.0), 10.0) >= 5.0)
        r += 0.01;
    return r;
}
} // namespace ledger

namespace ledger {
QString totalsLine(qint64 quantitySum, double amountSum)
{
    const double average = roundPrice(amountSum / static_cast<double>(quantitySum));
    return QStringLiteral("合计：数量和＝%1个 总额和＝%2元 价格平均＝%3元（保留两位小数）")
        .arg(QString::number(quantitySum), formatNumber(amountSum), formatNumber(average));
}
} // namespace ledger
