#include "ledger/calc.h"

#include "ledger/dates.h"
#include "ledger/text.h"

namespace ledger {

namespace {


bool isMonth(const QString &date, int month)
{
    const int day = dayNumber(date);
    return day != kNoDay && day / 100 == month;
}

} // namespace

void CalcTotals::add(const Record &r, const QString &stockIn, bool inMonth)
{
    add(r.method == stockIn, parseNumber(r.qty), parseNumber(r.total), inMonth);
}

void CalcTotals::add(bool stockIn, double qty, double total, bool inMonth)
{
    if (stockIn) {
        netStock = roundEven(static_cast<double>(netStock) + qty);
        inAmount += total;
        inQty += qty;
    } else {
        outAmount += total;
        netStock = roundEven(static_cast<double>(netStock) - qty);
        outQty += qty;
        if (inMonth) {
            monthOutQty += qty;
            monthOutAmount += total;
        }
    }
}

CalcTotals sumProduct(const std::vector<Record> &rows, const QString &category, const QString &product,
                      Calculation calcno, const QString &stockIn, const QDate &today)
{
    CalcTotals t;
    const int month = dayNumber(today) / 100;
    for (const Record &r : rows) {
        if (!r.isKind(kTransaction) || r.cat != category || r.name != product)
            continue;
        // The date is read only for the stock-outs of calculation 5.
        t.add(r, stockIn, calcno != CalcMonthProfit || (r.method != stockIn && isMonth(r.date, month)));
    }
    return t;
}

Calculation calculation(double number)
{
    for (Calculation c : {CalcStock, CalcTurnover, CalcProfit, CalcStockValue, CalcMonthProfit})
        if (number == static_cast<int>(c))
            return c;
    return number >= static_cast<int>(CalcProfit) ? CalcNotesOnly : CalcNone;
}

CalcFigures deriveFigures(const CalcTotals &t)
{
    CalcFigures f;
    if (t.outQty == 0)
        f.zero = CalcFigures::NoStockOut;
    if (t.inQty == 0)
        f.zero = CalcFigures::NoStockIn;
    if (f.zero == CalcFigures::BothPresent) {
        f.outAvg = roundPrice(t.outAmount / t.outQty);
        f.inAvg = roundPrice(t.inAmount / t.inQty);
        f.profit = (f.outAvg - f.inAvg) * t.outQty;
        f.monthProfit = (f.outAvg - f.inAvg) * t.monthOutQty;
    } else if (f.zero == CalcFigures::NoStockOut) {
        // The stock value needs stock-ins only.
        f.inAvg = roundPrice(t.inAmount / t.inQty);
    }
    if (f.hasStockValue())
        f.stockValue = f.inAvg * static_cast<double>(t.netStock);
    return f;
}

std::vector<CalcMessage> calculate(const std::vector<Record> &rows, const QString &category,
                                   const QString &product, Calculation calcno, const QString &stockIn,
                                   const QDate &today)
{
    const CalcTotals t = sumProduct(rows, category, product, calcno, stockIn, today);
    const CalcFigures f = deriveFigures(t);

    std::vector<CalcMessage> boxes;
    if (calcno == CalcStock)
        boxes.push_back({kResultTitle, QStringLiteral("此商品库存：") + QString::number(t.netStock)});
    else if (calcno == CalcTurnover)
        boxes.push_back({kResultTitle, QStringLiteral("此商品营业额：") + formatNumber(t.outAmount)});
    else if (calcno == CalcProfit && f.hasProfit())
        boxes.push_back({kResultTitle, QStringLiteral("此商品营业利润：") + formatNumber(f.profit)});
    else if (calcno == CalcStockValue && f.hasStockValue())
        boxes.push_back({kResultTitle, QStringLiteral("此商品库存积压货款：") + formatNumber(f.stockValue)});
    else if (calcno == CalcMonthProfit && f.hasProfit())
        boxes.push_back({kResultTitle, QStringLiteral("此商品本月营业利润：") + formatNumber(f.monthProfit)});

    // The stock value does without stock-outs, so it has no note about them.
    const bool noStockOut = f.zero == CalcFigures::NoStockOut && calcno != CalcStockValue;
    if (calcno >= CalcProfit) {
        if (noStockOut)
            boxes.push_back({kTipTitle, QStringLiteral("出货商品数为0！")});
        else if (f.zero == CalcFigures::NoStockIn)
            boxes.push_back({kTipTitle, QStringLiteral("进货货商品数为0！")});
    }
    return boxes;
}

} // namespace ledger
