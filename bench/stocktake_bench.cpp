// 盘点 on the generated ledger: every product listed, one scan, and posting a difference for
// every product. Run last: posting adds a row per product to the ledger.
#include "bench.h"

#include "about/form7.h"
#include "ledger/calc.h"
#include "mainwin/form1.h"
#include "stocktake/form_stocktake.h"
#include "stocktake/stocktake_model.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTableView>

using namespace ledger;

namespace bench {

void timeStockTake(Form1 *main)
{
    Store &store = *main->store();
    FormStockTake *win = main->form7()->stockTake();
    win->show();
    const Timing listed = median([&] {
        win->Form_Activate();
        win->Table1->viewport()->grab(); // drawn as the screen would
    });
    const qint64 products = win->model()->rowCount() - 1;
    const CountLine first = win->take().lines().front();
    store.setProductCode({QStringLiteral("4006381333931"), first.product.category, first.product.name});
    win->Form_Activate(); // reads the code
    const Timing scanned = median([&] {
        win->Text1->setText(QStringLiteral("4006381333931"));
        win->Text1_Enter();
        win->Table1->viewport()->grab(); // drawn as the screen would
    });
    check(win->take().lines().front().count.value_or(0) >= 1, "a scan counts");

    // A difference for every product: one more on the shelf than in the book.
    StockTake take;
    take.begin(store);
    for (std::size_t i = 0; i < take.lines().size(); ++i)
        take.setCount(i, take.lines()[i].book + 1);
    Rnd rnd;
    StockTakeRecord posted;
    const Timing post = median([&] { posted = postStockTake(take, store, rnd, QDateTime::currentDateTime(), QStringLiteral("bench")); }, 1);
    for (std::size_t i = 0; i < take.lines().size(); i += take.lines().size() / 20 + 1) {
        const CountLine &l = take.lines()[i];
        check(sumProduct(store.rows(), l.product.category, l.product.name, CalcStock, kIn, QDate::currentDate()).netStock ==
                  *l.count,
              "stock after posting");
    }
    row(QStringLiteral("stock-take: every product listed (window, drawn)"), listed, std::nullopt, std::nullopt, products);
    row(QStringLiteral("stock-take: one scan shown (window, drawn)"), scanned, std::nullopt, std::nullopt);
    row(QStringLiteral("stock-take: posting a difference for every product (committed)"), post, std::nullopt,
        std::nullopt, static_cast<qint64>(posted.lines.size()));
}

} // namespace bench
