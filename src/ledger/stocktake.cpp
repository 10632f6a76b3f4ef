#include "ledger/stocktake.h"

#include "ledger/adding.h"
#include "ledger/dates.h"
#include "ledger/facts.h"
#include "ledger/text.h"

#include <QRegularExpression>

namespace ledger {

namespace {

QString keyOf(const Product &p) { return p.category + QChar(0x1f) + p.name; }

// Mixes a row's id and content into one value; the sum over a product's rows changes when one
// is added or deleted, also when a new row took the id of a deleted one.
quint64 rowMark(const Record &r)
{
    quint64 x = static_cast<quint64>(r.id) * 0x9E3779B97F4A7C15ull ^ qHash(r.txno, 0) ^
                qHash(r.qty, 1) * 0xC2B2AE3D27D4EB4Full ^ qHash(r.method, 2);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 29);
}

struct Figures {
    CalcTotals totals;
    quint64 mark = 0;
    qint64 book() const { return totals.netStock; }
    std::optional<double> price() const
    {
        const CalcFigures f = deriveFigures(totals);
        return f.hasStockValue() ? std::optional<double>(f.inAvg) : std::nullopt;
    }
};

// The figures of every product of the facts, by its index there.
std::vector<Figures> figuresOf(Store &store, const LedgerFacts *&factsOut)
{
    const LedgerFacts &facts = store.facts();
    const std::vector<Record> &rows = store.loadedRows();
    std::vector<Figures> out(facts.products().size());
    const std::vector<RowFact> &all = facts.facts();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const RowFact &f = all[i];
        if (f.product < 0)
            continue;
        Figures &fig = out[static_cast<std::size_t>(f.product)];
        fig.totals.add(f.stockIn, f.qty, f.total, false);
        fig.mark += rowMark(rows[i]);
    }
    factsOut = &facts;
    return out;
}

} // namespace

std::optional<Scan> readScan(const QString &text)
{
    static const QRegularExpression counted(QStringLiteral("^([0-9]+)\\s*\\*\\s*(.*)$"));
    Scan scan;
    scan.code = text.trimmed();
    const QRegularExpressionMatch m = counted.match(scan.code);
    if (m.hasMatch()) {
        const QString number = m.captured(1);
        scan.quantity = number.size() <= 6 ? number.toLongLong() : 0;
        scan.code = m.captured(2);
        if (scan.quantity < 1)
            return std::nullopt;
    }
    if (scan.code.isEmpty())
        return std::nullopt;
    return scan;
}

CodeCheck checkCode(const QString &code)
{
    const auto n = code.size();
    if (n != 12 && n != 13)
        return CodeCheck::Unchecked;
    for (const QChar c : code)
        if (c < u'0' || c > u'9')
            return CodeCheck::Unchecked;
    // From the right, leaving out the check digit: weights 3, 1, 3, 1, ...
    int sum = 0;
    for (qsizetype i = n - 2, weight = 3; i >= 0; --i, weight = 4 - weight)
        sum += static_cast<int>(weight) * (code[i].unicode() - u'0');
    const int check = (10 - sum % 10) % 10;
    return check == code[n - 1].unicode() - u'0' ? CodeCheck::Valid : CodeCheck::Misread;
}

CountTotals countTotals(const std::vector<CountLine> &lines, const std::vector<std::size_t> &which)
{
    CountTotals t;
    for (const std::size_t i : which) {
        const CountLine &l = lines[i];
        t.book += l.book;
        if (!l.count)
            continue;
        ++t.counted;
        t.count += *l.count;
        t.difference += l.difference();
        t.value += l.value();
    }
    return t;
}

void StockTake::begin(Store &store)
{
    const LedgerFacts *facts = nullptr;
    const std::vector<Figures> figures = figuresOf(store, facts);
    m_lines.clear();
    m_marks.clear();
    m_byProduct.clear();
    m_lines.reserve(figures.size());
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const Product &p = facts->products()[i];
        m_byProduct.insert(keyOf(p), m_lines.size());
        m_lines.push_back({p, figures[i].book(), figures[i].price(), std::nullopt});
        m_marks.push_back(figures[i].mark);
    }
}

bool StockTake::anyCounted() const
{
    return std::any_of(m_lines.cbegin(), m_lines.cend(), [](const CountLine &l) { return l.count.has_value(); });
}

std::optional<std::size_t> StockTake::lineOf(const Product &p) const
{
    const auto it = m_byProduct.constFind(keyOf(p));
    return it == m_byProduct.cend() ? std::nullopt : std::optional<std::size_t>(*it);
}

void StockTake::setCount(std::size_t line, std::optional<qint64> count) { m_lines[line].count = count; }

void StockTake::addCount(std::size_t line, qint64 pieces)
{
    m_lines[line].count = m_lines[line].count.value_or(0) + pieces;
}

void StockTake::setCodes(const std::vector<ProductCode> &codes)
{
    m_codes.clear();
    for (const ProductCode &c : codes)
        if (const auto line = lineOf({c.category, c.name}))
            m_codes.insert(c.code, *line);
}

std::optional<std::size_t> StockTake::lineOfCode(const QString &code) const
{
    const auto it = m_codes.constFind(code);
    return it == m_codes.cend() ? std::nullopt : std::optional<std::size_t>(*it);
}

void StockTake::remember(const QString &code, std::size_t line) { m_codes.insert(code, line); }

std::vector<std::size_t> StockTake::moved(Store &store) const
{
    const LedgerFacts *facts = nullptr;
    const std::vector<Figures> figures = figuresOf(store, facts);
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].count)
            continue;
        const int now = facts->product(m_lines[i].product.category, m_lines[i].product.name);
        if (now < 0 || figures[static_cast<std::size_t>(now)].mark != m_marks[i])
            out.push_back(i);
    }
    return out;
}

void StockTake::recount(const std::vector<std::size_t> &lines, Store &store)
{
    const LedgerFacts *facts = nullptr;
    const std::vector<Figures> figures = figuresOf(store, facts);
    for (const std::size_t i : lines) {
        CountLine &l = m_lines[i];
        l.count.reset();
        const int now = facts->product(l.product.category, l.product.name);
        const Figures fig = now < 0 ? Figures{} : figures[static_cast<std::size_t>(now)];
        l.book = fig.book();
        l.price = fig.price();
        m_marks[i] = fig.mark;
    }
}

std::vector<std::size_t> StockTake::surplusWithoutPrice() const
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].difference() > 0 && !m_lines[i].price)
            out.push_back(i);
    return out;
}

Posting preparePosting(const StockTake &take, Store &store, Rnd &rnd, const QDateTime &now,
                       const QString &computer)
{
    const LedgerFacts *facts = nullptr;
    const std::vector<Figures> figures = figuresOf(store, facts);
    const auto rowCount = static_cast<qint64>(store.loadedRows().size());
    const QString date = currentDateText(now.date());
    Posting posting;
    posting.record.when = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    posting.record.computer = computer;
    for (const CountLine &l : take.lines()) {
        const int p = facts->product(l.product.category, l.product.name);
        if (!l.count || p < 0)
            continue; // not counted, or deleted since: nothing to correct
        const Figures &fig = figures[static_cast<std::size_t>(p)];
        StockTakeLine line{l.product.category, l.product.name, fig.book(), *l.count, 0, QString()};
        posting.record.lines.push_back(line);
        const qint64 difference = line.difference();
        if (difference == 0)
            continue;
        Record r;
        r.kind = kTransaction;
        r.name = l.product.name;
        r.cat = l.product.category;
        r.price = difference < 0 ? QStringLiteral("0") : formatNumber(fig.price().value_or(0));
        r.qty = QString::number(difference < 0 ? -difference : difference);
        r.total = totalText(r.price, r.qty);
        r.date = date;
        r.method = difference < 0 ? kStockOut : kStockIn;
        // The draws of one click of the main window's "添加": five, the row count, one more.
        std::array<float, 6> d{};
        for (float &draw : d)
            draw = rnd.next();
        r.txno = QString::number(transactionNumber(d, rowCount + static_cast<qint64>(posting.rows.size())));
        posting.rows.push_back(r);
    }
    return posting;
}

StockTakeRecord postStockTake(const StockTake &take, Store &store, Rnd &rnd, const QDateTime &now,
                              const QString &computer)
{
    Posting posting = preparePosting(take, store, rnd, now, computer);
    return store.postStockTake(std::move(posting.record), posting.rows);
}

QStringList stockTakeColumns()
{
    return {QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("账面库存"), QStringLiteral("实盘数量"),
            QStringLiteral("差异"), QStringLiteral("交易号码")};
}

QStringList stockTakeCells(const StockTakeLine &line)
{
    return {line.category, line.name, QString::number(line.book), QString::number(line.count),
            QString::number(line.difference()), line.txno};
}

} // namespace ledger
