// The main window's side of the find and calculation dialogs: filling their combo boxes, the
// find query and the calculations.
#include "ledger/browse.h"
#include "ledger/calc.h"
#include "ledger/find.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "query/form4.h"
#include "query/form5.h"
#include "query/ui_query.h"

#include <QComboBox>
#include <QDate>
#include <QListWidget>
#include <QRadioButton>

using namespace ledger;

namespace {

// Both dialogs: a refill of the categories empties both boxes.
void fillCategories(QComboBox *categories, QComboBox *products, const RecordRefs &rows)
{
    ui::refill(categories, categoryNames(rows));
    ui::refill(products, {});
}

} // namespace

void Form1::op6() { fillCategories(form4()->Combo1, form4()->Combo2, openStore().categoryRows()); }

void Form1::op7() { ui::refill(form4()->Combo2, productNames(openStore().productRows(), form4()->Combo1->currentText())); }

void Form1::op12() { fillCategories(form5()->Combo1, form5()->Combo2, openStore().categoryRows()); }

void Form1::op11() { ui::refill(form5()->Combo2, productNames(openStore().productRows(), form5()->Combo1->currentText())); }

void Form1::op8(const QStringList &f, const FindOptions &o)
{
    runtotal = 0;
    const std::vector<Record> &all = rows();
    if (all.empty())
        return; // List3 keeps what it shows
    const FindQuery q{o, f[0], f[1], f[2], dateCondition(parseNumber(f[3]))};
    const FindResult found = findTransactions(all, q);

    fillList3(found.matches);
    runtotal = found.net;
    if (!found.matches.empty())
        statusmode = q.condition == DateDayDetail ? StatusWelcome : StatusFindAmount;
}

void Form1::op13(const QStringList &f)
{
    const std::vector<CalcMessage> boxes =
        calculate(rows(), f[0], f[1], calculation(parseNumber(f[2])), Option1->text(), QDate::currentDate());
    for (const CalcMessage &m : boxes)
        ui::message(this, m.text, m.title);
}
