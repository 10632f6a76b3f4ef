#include "ledger/calc.h"

#include "ledger/dates.h"
#include "ledger/text.h"

namespace ledger {

namespace {

const QString kTip = QStringLiteral("系统提示：");
const QString kResult = QStringLiteral("计算结果：");

// Which quantity sum is missing: none, the stock-ins (this wins), the stock-outs.
enum ZeroFlag { BothPresent = 0, NoStockIn = 1, NoStockOut = 2 };

bool isMonth(const QString &date, int month)
{
    const int day = dayNumber(date);
    return day != kNoDay && day / 100 == month;
}

} // namespace

CalcTotals sumProduct(const std::vector<Record> &rows, const QString &category, const QString &product,
                      double calcno, const QString &stockIn, const QDate &today)
{
    CalcTotals t;
    const int month = dayNumber(today) / 100;
    for (const Record &r : rows) {
        if (!r.hasKind || r.kind != kTransaction || r.cat != category || r.name != product)
            continue;
        const double qty = parseNumber(r.qty);
        const double total = parseNumber(r.total);
        if (r.method == stockIn) {
            t.netStock = roundEven(static_cast<double>(t.netStock) + qty);
            t.inAmount += total;
            t.inQty += qty;
        } else {
            t.outAmount += total;
            t.netStock = roundEven(static_cast<double>(t.netStock) - qty);
            t.outQty += qty;
            if (calcno != CalcMonthProfit || isMonth(r.date, month))
                t.monthOutQty += qty;
        }
    }
    return t;
}

std::vector<CalcMessage> calculate(const std::vector<Record> &rows, const QString &category,
                                   const QString &product, double calcno, const QString &stockIn,
                                   const QDate &today)
{
    const CalcTotals t = sumProduct(rows, category, product, calcno, stockIn, today);

    int zero = BothPresent;
    if (t.outQty == 0)
        zero = NoStockOut;
    if (t.inQty == 0)
        zero = NoStockIn;

    double outAvg = 0, inAvg = 0, profit = 0, monthProfit = 0;
    if (zero == BothPresent) {
        outAvg = roundPrice(t.outAmount / t.outQty);
        inAvg = roundPrice(t.inAmount / t.inQty);
        profit = (outAvg - inAvg) * t.outQty;
        monthProfit = (outAvg - inAvg) * t.monthOutQty;
    }
    // The stock value needs stock-ins only.
    if (calcno == CalcStockValue && zero == NoStockOut) {
        inAvg = roundPrice(t.inAmount / t.inQty);
        zero = BothPresent;
    }

    std::vector<CalcMessage> boxes;
    if (calcno == CalcStock)
        boxes.push_back({kResult, QStringLiteral("此商品库存：") + QString::number(t.netStock)});
    else if (calcno == CalcTurnover)
        boxes.push_back({kResult, QStringLiteral("此商品营业额：") + formatNumber(t.outAmount)});
    else if (calcno == CalcProfit && zero == BothPresent)
        boxes.push_back({kResult, QStringLiteral("此商品营业利润：") + formatNumber(profit)});
    else if (calcno == CalcStockValue && zero == BothPresent)
        boxes.push_back({kResult, QStringLiteral("此商品库存积压货款：") +
                                      formatNumber(inAvg * static_cast<double>(t.netStock))});
    else if (calcno == CalcMonthProfit && zero == BothPresent)
        boxes.push_back({kResult, QStringLiteral("此商品本月营业利润：") + formatNumber(monthProfit)});

    if (calcno >= CalcProfit) {
        if (zero == NoStockOut)
            boxes.push_back({kTip, QStringLiteral("出货商品数为0！")});
        else if (zero == NoStockIn)
            boxes.push_back({kTip, QStringLiteral("进货货商品数为0！")});
    }
    return boxes;
}

} // namespace ledger
