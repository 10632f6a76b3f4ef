// Browsing and deletion in the main window: the lists, the transaction line, selection and
// deletion.
#include "browse/ui_tx_list.h"
#include "ledger/browse.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_backup.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

using namespace ledger;

namespace {

// Runs one write to the ledger; on failure tells the user why and answers false.
template <class F> bool storeWrite(QWidget *parent, F write)
{
    try {
        write();
        return true;
    } catch (const StoreError &e) {
        ui::message(parent, e.message());
        return false;
    }
}

// "删除" after "全选" or "反选" needs a current line to confirm against.
void ensureCurrentLine(ui::TxList *list)
{
    if (!list->currentIndex().isValid() && list->count() > 0)
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::NoUpdate);
}

// Removing a line is no click on the line that becomes current, nor a choice of it: a
// single-selection list would select its neighbour, which the next "删除" would then remove.
void removeCurrentLine(QListWidget *list)
{
    const QSignalBlocker quiet(list);
    delete list->takeItem(list->currentRow());
    list->selectionModel()->clear();
}

} // namespace

QString Form1::jkg(const QString &str, int kf) { return kf == 0 ? makeTxLine(str) : txLineToRequest(str); }

int Form1::lenx(const QString &str) { return displayWidth(str); }

void Form1::op1(const QStringList &f)
{
    const QString category = currentCategory();
    const QString dir = direction();
    openStore().removeWhere([&](const Record &r) { return deleteRemoves(r, f, category, dir); });
}

void Form1::op2()
{
    const std::vector<Record> &all = rows();
    if (all.empty())
        return;
    const QStringList names = categoryNames(all);
    List1->clear();
    List1->addItems(names);
}

void Form1::op3()
{
    const QStringList names = productNames(rows(), currentCategory());
    List2->clear();
    List2->addItems(names);
}

void Form1::op4()
{
    runtotal = 0;
    const QString dir = direction();
    const std::vector<Record> &all = rows();
    if (all.empty())
        return;
    const TxListing listing = listTransactions(all, currentCategory(), currentProduct(), dir,
                                               Check2->isChecked(), QDate::currentDate());
    fillList3(listing.records);
    m_qsum = listing.quantitySum;
    runtotal = listing.amountSum;
    if (!listing.records.empty())
        statusmode = StatusTotals;
}

void Form1::fillList3(const RecordRefs &records)
{
    // Each line is spelled (transactionLine, as jkg(recordText(r), 0)) only when drawn.
    List3->lines()->setRecords(m_store.get(), records);
}

void Form1::op5(const QString &line) { List3->lines()->appendText(line); }

bool Form1::pds(const QString &strs)
{
    if (strs.isEmpty()) {
        ui::message(this, QStringLiteral("请选项要删除的项目！"));
        return true;
    }
    return !ui::confirm(this, QStringLiteral("你是否确定删除！"));
}

void Form1::List1_Click()
{
    ui::setAutoText(Label4, QString());
    List3->clear();
    ui::setAutoText(Label2, currentCategory());
    axd(QString(), 3);
    Text2->setText(QString());
}

void Form1::List2_Click()
{
    ui::setAutoText(Label4, currentProduct());
    axd(QString(), 4);
}

void Form1::Check2_Click() { axd(QString(), 4); }
void Form1::Option1_Click() { axd(QString(), 4); }
void Form1::Option2_Click() { axd(QString(), 4); }

void Form1::Command2_Click()
{
    const QString category = currentCategory();
    if (pds(category))
        return;
    // Operation 1 takes the category, its products and its transactions in one write.
    lastreq = QStringLiteral("1|") + category;
    const QStringList f = splitRequest(lastreq);
    const QString dir = direction();
    ui::backupBeforeDeletion(this, [&](const Record &r) { return deleteRemoves(r, f, category, dir); });
    if (axd(lastreq, 1) != 0)
        return;
    List2->clear();
    List3->clear();
    removeCurrentLine(List1);
    ui::setAutoText(Label2, QString());
    ui::setAutoText(Label4, QString());
    Text4->setText(QString());
    Text5->setText(QString());
    axd(QString(), 6);
    axd(QString(), 12);
}

void Form1::Command4_Click()
{
    const QString product = currentProduct();
    if (pds(product))
        return;
    ui::backupBeforeDeletion(this, [&](const Record &r) { return r.name == product && r.cat == Label2->text(); });
    lastreq = QStringLiteral("2|") + product + kSep + Label2->text();
    if (axd(lastreq, 1) != 0)
        return;
    removeCurrentLine(List2);
    List3->clear();
    Text4->setText(QString());
    Text5->setText(QString());
    ui::setAutoText(Label4, QString());
}

void Form1::Command6_Click()
{
    List3->selectAll();
    ensureCurrentLine(List3);
}

void Form1::Command7_Click()
{
    if (List3->count() > 0) {
        const QItemSelection all(List3->model()->index(0, 0), List3->model()->index(List3->count() - 1, 0));
        List3->selectionModel()->select(all, QItemSelectionModel::Toggle);
    }
    ensureCurrentLine(List3);
}

void Form1::Command9_Click()
{
    const int current = List3->currentRow();
    if (pds(current >= 0 ? List3->lineText(current) : QString()))
        return;
    const std::vector<int> selected = List3->selectedRows();
    ui::backupBeforeDeletion(this, static_cast<int>(selected.size()));
    if (selected.empty()) {
        writeStatus();
        return;
    }
    std::vector<SelectedLine> lines;
    lines.reserve(selected.size());
    for (int row : selected) {
        SelectedLine line{lineRecord(row), {}};
        if (line.record.id == 0) // only a line without its row is deleted by its fields
            line.request = splitRequest(jkg(List3->lineText(row), 1));
        lines.push_back(std::move(line));
    }
    statusmode = StatusWelcome;
    // One write: should it fail, every line still stands for its rows in the file.
    if (storeWrite(this, [&] { removeLines(openStore(), lines, currentCategory(), direction()); })) {
        List3->lines()->removeLines(selected);
        // The line that moved into the place of a removed one is not chosen: the next "删除"
        // must find nothing to delete, not ask about a line that is not selected.
        List3->selectionModel()->clearCurrentIndex();
    }
    writeStatus();
}
