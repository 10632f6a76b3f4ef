// Seeded random inputs for the text helpers: nothing may crash, and the documented properties
// hold for every input.
#include "ledger/dates.h"
#include "ledger/entry_check.h"
#include "ledger/stats.h"
#include "ledger/file_store.h"
#include "ledger/text.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace ledger;

namespace {

// Characters that tend to break things: separators, signs, digits, blanks, wide and
// right-to-left letters, quotes, control characters, characters outside the BMP.
const QString kAlphabet = QStringLiteral("0123456789.-+eE /|\t\n元苹果ａ１'\"%;_\\\x01\x7f") +
                          QString::fromUtf8("ש٣😀") + QChar(0x202E);

QString randomText(QRandomGenerator &rng, int maxLength)
{
    QString s;
    const int n = static_cast<int>(rng.bounded(maxLength + 1));
    for (int i = 0; i < n; ++i) {
        qsizetype at = rng.bounded(kAlphabet.size());
        if (kAlphabet.at(at).isLowSurrogate())
            --at;
        s += kAlphabet.at(at);
        if (kAlphabet.at(at).isHighSurrogate())
            s += kAlphabet.at(at + 1);
    }
    return s;
}

QString withoutSeparators(QString s) { return s.remove(u'|'); }

} // namespace

TEST(Fuzz, NumbersParseAndFormatConsistently)
{
    QRandomGenerator rng(1);
    for (int i = 0; i < 50000; ++i) {
        const QString text = randomText(rng, 24);
        const double v = parseNumber(text);
        ASSERT_TRUE(std::isfinite(v)) << text.toStdString();
        const QString shown = formatNumber(v);
        ASSERT_EQ(formatNumber(parseNumber(shown)), shown) << text.toStdString();
        ASSERT_FALSE(shown.contains(u',')) << shown.toStdString();
    }
    for (int i = 0; i < 20000; ++i) {
        const double v = (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(30) - 10);
        const QString shown = formatNumber(v);
        ASSERT_NEAR(parseNumber(shown), v, std::abs(v) * 1e-14) << shown.toStdString();
        (void)roundPrice(v);
        (void)roundEven(v * 1e10);
    }
}

TEST(Fuzz, DatesReadBackToTheSameDay)
{
    QRandomGenerator rng(2);
    int readable = 0;
    for (int i = 0; i < 50000; ++i) {
        QString text;
        if (i % 2) {
            // Plausible shapes: mostly digits and separators.
            const char *shapes[] = {"%1-%2-%3", "%1/%2/%3", "%1.%2.%3", "%1-%2/%3", " %1-%2-%3 "};
            text = QString::fromLatin1(shapes[rng.bounded(5)])
                       .arg(rng.bounded(3000))
                       .arg(rng.bounded(15))
                       .arg(rng.bounded(35));
        } else {
            text = randomText(rng, 12);
        }
        const auto d = readDate(text);
        if (!d) {
            ASSERT_TRUE(dateYYMMDD(text).isNull());
            continue;
        }
        ++readable;
        ASSERT_TRUE(d->isValid());
        const QString key = dateYYMMDD(text);
        ASSERT_EQ(key.size(), 8);
        ASSERT_EQ(dateYYMM(text), key.left(5));
        ASSERT_EQ(dateYY(text), key.left(2));
        if (d->year() >= 1930 && d->year() <= 2029) {
            ASSERT_EQ(dateYYMMDD(pickedDateText(*d)), key) << text.toStdString();
            ASSERT_EQ(dateYYMMDD(currentDateText(*d)), key) << text.toStdString();
        }
    }
    EXPECT_GT(readable, 1000);
}

TEST(Fuzz, RequestsSplitIntoElevenFields)
{
    QRandomGenerator rng(3);
    for (int i = 0; i < 50000; ++i) {
        const QString text = randomText(rng, 40);
        const QStringList f = splitRequest(text);
        ASSERT_EQ(f.size(), kRequestFields);
        for (const QString &field : f)
            ASSERT_FALSE(field.contains(u'|'));
        if (text.count(u'|') < kRequestFields) {
            QStringList used = f.mid(0, text.count(u'|') + 1);
            ASSERT_EQ(used.join(u'|'), text);
        }
    }
}

TEST(Fuzz, TransactionLineReadsBackToItsRecord)
{
    QRandomGenerator rng(4);
    for (int i = 0; i < 30000; ++i) {
        // Fields as they are stored: never a "|"; a name has no trailing space and the numeric
        // columns no leading space (the line's padding could not be told apart from them).
        QStringList f;
        for (int k = 0; k < 9; ++k)
            f << withoutSeparators(randomText(rng, 12));
        f[1] = trimTrailingSpaces(f[1]);
        for (int k : {3, 5, 6, 7, 8})
            f[k] = trimLeadingSpaces(f[k]);
        const QString line = makeTxLine(f.join(u'|'));
        ASSERT_EQ(line.count(u'|'), 6) << line.toStdString();
        const QStringList back = splitRequest(txLineToRequest(line));
        ASSERT_EQ(back[0], QStringLiteral("3"));
        ASSERT_EQ(back[1], f[1]);
        ASSERT_EQ(back[2], f[3]);
        ASSERT_EQ(back[3], f[5]);
        ASSERT_EQ(back[4], f[6]);
        ASSERT_EQ(back[5], f[7]);
        ASSERT_EQ(back[6], f[8]);
        if (displayWidth(f[1]) <= 20) {
            ASSERT_EQ(displayWidth(line.section(u'|', 0, 0)), 20);
        }
        // Lines made from any text at all never fail.
        (void)txLineToRequest(randomText(rng, 80));
        (void)makeTxLine(randomText(rng, 80));
    }
}

TEST(Fuzz, EntryCheckAcceptsOnlyWhatCanBeStored)
{
    QRandomGenerator rng(5);
    const QString fields[] = {QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("单价"), QStringLiteral("数量")};
    int accepted = 0;
    for (int i = 0; i < 50000; ++i) {
        const QString field = fields[i % 4];
        const QString text = i % 3 ? randomText(rng, 14) : QString::number(rng.bounded(100000)) + (i % 2 ? QStringLiteral(".5") : QString());
        const EntryCheck c = checkEntry(text, field);
        ASSERT_EQ(c.rejected, !c.messages.isEmpty());
        ASSERT_LE(c.messages.size(), 2);
        for (const QString &m : c.messages)
            ASSERT_TRUE(m.startsWith(field));
        if (c.rejected)
            continue;
        ++accepted;
        ASSERT_FALSE(text.isEmpty());
        ASSERT_LE(charCount(text), 10);
        ASSERT_FALSE(text.contains(u'|'));
        for (QChar ch : text) {
            const bool digit = ch >= u'0' && ch <= u'9';
            if (field == QStringLiteral("单价")) {
                ASSERT_TRUE(digit || ch == u'.');
            }
            if (field == QStringLiteral("数量")) {
                ASSERT_TRUE(digit);
            }
        }
    }
    EXPECT_GT(accepted, 5000);
}

TEST(Fuzz, OddNamesAreStoredAndReadBackUnchanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.mdb"));
    const QStringList names = {
        QStringLiteral("O'Brien"),       QStringLiteral("\"quoted\""),  QStringLiteral("'); DROP TABLE 库;--"),
        QStringLiteral("100%"),          QStringLiteral("_%_"),         QString::fromUtf8("😀😀"),
        QStringLiteral("a\tb\nc\x01"),   QString::fromUtf8("שלום"),     QStringLiteral("\u202Eabc"),
        QStringLiteral("一二三四五六七八九十一二三四五六七八九十"), QStringLiteral(" lead"), QStringLiteral("trail "),
        QStringLiteral("SELECT * FROM"), QStringLiteral("\\"),          QString(QChar(0x7f)),
    };
    {
        auto store = FileStore::open(path);
        for (const QString &n : names) {
            Record r;
            r.kind = kProduct;
            r.name = n;
            r.cat = n;
            r.method = QStringLiteral("进货");
            store->add(r);
        }
    }
    auto store = FileStore::open(path);
    ASSERT_EQ(store->rows().size(), static_cast<size_t>(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(store->rows()[static_cast<size_t>(i)].name, names[i]);
        EXPECT_EQ(store->rows()[static_cast<size_t>(i)].cat, names[i]);
    }
}

TEST(Fuzz, FeedbackTextsAndDayLinesNeverFail)
{
    QRandomGenerator rng(6);
    for (int i = 0; i < 30000; ++i) {
        const QString text = randomText(rng, 50);
        const QString item = padFeedback(text, true, false);
        const QString line = padFeedback(text, false, true);
        ASSERT_TRUE(item.endsWith(text));
        ASSERT_TRUE(line.endsWith(text));
        ASSERT_EQ(trimLeadingSpaces(line), trimLeadingSpaces(text));
        // Period items: 10 - n spaces before an even-length text, 11 - n before an odd one.
        if (charCount(text) <= 11) {
            ASSERT_EQ(charCount(item) - charCount(text), charCount(text) % 2 ? 11 - charCount(text) : 10 - charCount(text));
        }
        ASSERT_EQ(padFeedback(text, false, false), QString(24, u' ') + QStringLiteral(" 请选中按照用户选范围统计"));
        // A day line made from any four fields reads back to them.
        QStringList f;
        for (int k = 0; k < 4; ++k)
            f << withoutSeparators(randomText(rng, 10));
        f[0] = trimTrailingSpaces(f[0]);
        for (int k = 1; k < 4; ++k)
            f[k] = trimLeadingSpaces(f[k]);
        ASSERT_EQ(dayLine(dayLine(f.join(u'|'), 0), 1), f.join(u'|'));
        (void)dayLine(randomText(rng, 60), 1);
        (void)dateKey(randomText(rng, 12));
    }
}
