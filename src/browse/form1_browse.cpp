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
#include <QSet>
#include <QSignalBlocker>
#include <algorithm>

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

// Removes the line of a deleted name wherever it is now: the list may have been refilled
// while the deletion was being confirmed. Removing the chosen line is no click on the line
// that becomes current, nor a choice of it: a single-selection list would select its
// neighbour, which the next "删除" would then remove.
void removeLine(QListWidget *list, const QString &name)
{
    const QList<QListWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return;
    const bool chosen = found[0] == list->currentItem();
    const QSignalBlocker quiet(list);
    delete list->takeItem(list->row(found[0]));
    if (chosen)
        list->selectionModel()->clear();
}

// Makes the line of this name the chosen one, if the list has it: no click, the list's
// signals being blocked by the caller.
bool chooseName(QListWidget *list, const QString &name)
{
    const QList<QListWidgetItem *> found = name.isEmpty() ? QList<QListWidgetItem *>() : list->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    list->setCurrentItem(found.constFirst());
    return true;
}

// Whether the lists below a name label show another name than the one deleted: then they
// stay as they are.
bool showsOther(const QLabel *label, const QString &name) { return !label->text().isEmpty() && label->text() != name; }

// A line of the transaction list as its deletion needs it.
SelectedLine selectedLine(const ui::TxList *list, int row)
{
    SelectedLine line{list->lines()->record(row), {}};
    if (line.record.id == 0) // only a line without its row is deleted by its fields
        line.request = splitRequest(txLineToRequest(list->lineText(row)));
    return line;
}

} // namespace

QString Form1::jkg(const QString &str, int kf) { return kf == 0 ? makeTxLine(str) : txLineToRequest(str); }

int Form1::lenx(const QString &str) { return displayWidth(str); }

void Form1::op1(const QStringList &f, const Given &g)
{
    openStore().removeWhere([&](const Record &r) { return deleteRemoves(r, f, g.category, g.direction); });
}

void Form1::op2()
{
    // The categories come before the other rows of a ledger still being read.
    const RecordRefs categories = openStore().categoryRows();
    if (categories.empty() && !openStore().hasRows())
        return;
    const QStringList names = categoryNames(categories);
    List1->clear();
    List1->addItems(names);
}

void Form1::op3()
{
    const QStringList names = productNames(openStore().productRows(), currentCategory());
    List2->clear();
    List2->addItems(names);
}

Form1::ProductListing Form1::wantedListing() const
{
    ProductListing wanted;
    wanted.category = currentCategory();
    wanted.product = currentProduct();
    wanted.direction = direction();
    wanted.monthOnly = Check2->isChecked();
    wanted.today = QDate::currentDate();
    return wanted;
}

bool Form1::listingContinues(const ProductListing &wanted) const
{
    const ProductListing &l = m_listing;
    return l.category == wanted.category && l.product == wanted.product && l.direction == wanted.direction &&
           l.monthOnly == wanted.monthOnly && l.today == wanted.today && List3->lines()->fills() == l.fill &&
           List3->count() == l.lines && m_store->rewrites() == l.rewrites && m_store->loadedRows().size() >= l.rows;
}

void Form1::op4(bool extend)
{
    runtotal = 0;
    ProductListing wanted = wantedListing();
    // Without a chosen product no line is listed, which is known before every row is read.
    if (wanted.category.isEmpty() || wanted.product.isEmpty()) {
        if (openStore().hasRows())
            fillList3({});
        return;
    }
    const std::vector<Record> &all = rows();
    if (all.empty())
        return;
    TxListing listing;
    const auto list = [&](std::size_t from) {
        extendListing(listing, all, from, wanted.category, wanted.product, wanted.direction, wanted.monthOnly,
                      wanted.today);
    };
    if (extend && listingContinues(wanted)) {
        // Only the rows appended since, their lines after the others: the model keeps its
        // choice and its place.
        listing.quantitySum = m_listing.quantitySum;
        listing.amountSum = m_listing.amountSum;
        list(m_listing.rows);
        List3->lines()->appendRecords(listing.records);
        wanted.fill = m_listing.fill;
    } else {
        list(0);
        fillList3(listing.records);
        wanted.fill = List3->lines()->fills();
    }
    wanted.lines = List3->count();
    wanted.rows = all.size();
    wanted.rewrites = m_store->rewrites();
    wanted.quantitySum = m_qsum = listing.quantitySum;
    wanted.amountSum = runtotal = listing.amountSum;
    m_listing = std::move(wanted);
    if (m_listing.lines > 0)
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

void Form1::forgetCategory()
{
    List2->clear();
    List3->clear();
    ui::setAutoText(Label2, QString());
    ui::setAutoText(Label4, QString());
    Text4->setText(QString());
    Text5->setText(QString());
}

void Form1::forgetProduct()
{
    List3->clear();
    Text4->setText(QString());
    Text5->setText(QString());
    ui::setAutoText(Label4, QString());
}

bool Form1::namesStand()
{
    const std::vector<Record> &all = rows();
    if (m_store->rewrites() != m_namesRewrites || all.size() < m_namesRows)
        return false;
    return std::none_of(all.cbegin() + static_cast<std::ptrdiff_t>(m_namesRows), all.cend(),
                        [](const Record &r) { return r.isKind(kCategory) || r.isKind(kProduct); });
}

void Form1::relist()
{
    // Chosen again without a click, which would empty the boxes and List3's choice.
    const QString category = currentCategory(), product = currentProduct();
    const bool listed = !product.isEmpty() && List3->lines()->fills() == m_listing.fill;
    try {
        // A list filled again, its name chosen again; a name gone is unchosen as after a deletion.
        const auto refill = [this](QListWidget *list, void (Form1::*fill)(), const QString &name,
                                   void (Form1::*forget)()) {
            const QSignalBlocker quiet(list);
            (this->*fill)();
            if (chooseName(list, name))
                return true;
            if (!name.isEmpty())
                (this->*forget)();
            return false;
        };
        if (!namesStand() && (!refill(List1, &Form1::op2, category, &Form1::forgetCategory) ||
                              !refill(List2, &Form1::op3, product, &Form1::forgetProduct)))
            return;
        m_namesRewrites = m_store->rewrites();
        m_namesRows = m_store->loadedRows().size();
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        return;
    }
    if (listed)
        relistTransactions();
}

void Form1::relistTransactions()
{
    Given appended;
    appended.extend = true;
    if (listingContinues(wantedListing())) {
        axd(QString(), 4, appended); // the lines, their choice and the view stay as they are
        return;
    }
    const ui::TxLines *lines = List3->lines();
    QSet<qint64> chosen;
    for (const int row : List3->selectedRows())
        chosen.insert(lines->id(row));
    const auto idAt = [&](int row) { return row >= 0 ? lines->id(row) : 0; };
    const qint64 current = idAt(List3->currentRow()), top = idAt(List3->indexAt(QPoint(1, 1)).row());
    axd(QString(), 4); // as a click on the product lists them, with the totals
    QItemSelection selection;
    const auto at = [&](int row) { return List3->model()->index(row, 0); };
    int first = -1; // of the run of chosen lines that row continues
    for (int row = 0; row <= List3->count(); ++row) {
        const qint64 id = row < List3->count() ? lines->id(row) : 0;
        const bool on = id != 0 && chosen.contains(id);
        if (on && first < 0)
            first = row;
        if (!on && first >= 0) {
            selection.select(at(first), at(row - 1));
            first = -1;
        }
        if (id != 0 && id == current)
            List3->selectionModel()->setCurrentIndex(at(row), QItemSelectionModel::NoUpdate);
        if (id != 0 && id == top)
            List3->scrollTo(at(row), QAbstractItemView::PositionAtTop);
    }
    List3->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void Form1::Check2_Click() { axd(QString(), 4); }
void Form1::Option1_Click() { axd(QString(), 4); }
void Form1::Option2_Click() { axd(QString(), 4); }

// The deletions take what they delete before their question: while it is open, a refill or
// another choice may change the lists, and what was confirmed must be what goes.
void Form1::Command2_Click()
{
    const QString category = currentCategory();
    const QString dir = direction();
    if (pds(category))
        return;
    // Operation 1 takes the category, its products and its transactions in one write.
    lastreq = QStringLiteral("1|") + category;
    const QStringList f = splitRequest(lastreq);
    ui::backupBeforeDeletion(this, [&](const Record &r) { return deleteRemoves(r, f, category, dir); });
    Given confirmed;
    confirmed.category = category;
    confirmed.direction = dir;
    if (axd(lastreq, 1, confirmed) != 0)
        return;
    removeLine(List1, category);
    if (!showsOther(Label2, category))
        forgetCategory();
    axd(QString(), 6);
    axd(QString(), 12);
}

void Form1::Command4_Click()
{
    const QString product = currentProduct();
    const QString category = Label2->text();
    if (pds(product))
        return;
    ui::backupBeforeDeletion(this, [&](const Record &r) { return r.name == product && r.cat == category; });
    lastreq = QStringLiteral("2|") + product + kSep + category;
    if (axd(lastreq, 1) != 0 || showsOther(Label2, category))
        return;
    removeLine(List2, product);
    if (!showsOther(Label4, product))
        forgetProduct();
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
    const std::vector<int> selected = List3->selectedRows();
    std::vector<SelectedLine> lines;
    lines.reserve(selected.size());
    for (int row : selected)
        lines.push_back(selectedLine(List3, row));
    const QString category = currentCategory();
    const QString dir = direction();
    if (pds(current >= 0 ? List3->lineText(current) : QString()))
        return;
    ui::backupBeforeDeletion(this, static_cast<int>(selected.size()));
    if (selected.empty()) {
        writeStatus();
        return;
    }
    // The lines still showing what was confirmed: the list may have been refilled meanwhile.
    std::vector<int> rows;
    rows.reserve(selected.size());
    for (std::size_t i = 0; i < selected.size(); ++i) {
        const int row = selected[i];
        if (row >= List3->count())
            break;
        const SelectedLine now = selectedLine(List3, row);
        if (now.record.id == lines[i].record.id && now.request == lines[i].request)
            rows.push_back(row);
    }
    statusmode = StatusWelcome;
    // One write: should it fail, every line still stands for its rows in the file.
    if (storeWrite(this, [&] { removeLines(openStore(), lines, category, dir); })) {
        List3->lines()->removeLines(rows);
        // The line that moved into the place of a removed one is not chosen: the next "删除"
        // must find nothing to delete, not ask about a line that is not selected.
        List3->selectionModel()->clearCurrentIndex();
    }
    writeStatus();
}
