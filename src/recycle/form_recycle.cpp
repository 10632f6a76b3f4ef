#include "recycle/form_recycle.h"

#include "about/form7.h"
#include "ledger/columns.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"
#include "mainwin/ui_keys.h"

#include <QAbstractListModel>
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace ledger;

namespace {

// The entries of the record of changes, newest first, read a page at a time as the list is
// scrolled down: a ledger of a million adds has a million entries.
class EntryLines : public QAbstractListModel {
public:
    EntryLines(Store *store, QObject *parent) : QAbstractListModel(parent), m_store(store) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
            return {};
        return changeLine(at(index.row()));
    }
    bool canFetchMore(const QModelIndex &parent) const override { return !parent.isValid() && m_more; }
    // Asked by the view as it is scrolled down: a page that cannot be read ends the list.
    void fetchMore(const QModelIndex &parent) override
    {
        if (parent.isValid())
            return;
        try {
            fetch();
        } catch (const StoreError &) {
            // No more pages: the window says why when it is next activated.
        }
    }
    // Starts again from the newest entry. Throws StoreError when the ledger cannot be read.
    void reload()
    {
        beginResetModel();
        m_entries.clear();
        m_more = true;
        endResetModel();
        fetch();
    }
    const ChangeEntry &at(int row) const { return m_entries[static_cast<std::size_t>(row)]; }

private:
    static constexpr std::size_t kPage = 500;

    void fetch()
    {
        if (!m_more)
            return;
        m_more = false; // until this page is read whole
        std::vector<ChangeEntry> read = m_store->history(static_cast<int>(m_entries.size() + kPage));
        m_more = read.size() == m_entries.size() + kPage;
        if (read.size() <= m_entries.size())
            return;
        beginInsertRows({}, rowCount(), static_cast<int>(read.size()) - 1);
        m_entries.insert(m_entries.end(), std::make_move_iterator(read.begin() + static_cast<std::ptrdiff_t>(m_entries.size())),
                         std::make_move_iterator(read.end()));
        endInsertRows();
    }

    Store *m_store;
    std::vector<ChangeEntry> m_entries;
    bool m_more = true;
};

QStringList columnNames()
{
    QStringList names;
    for (const Column &c : kColumns)
        names << columnName(c);
    return names;
}

// The nine fields of a row as the table shows them; a column never written shows empty.
QStringList cells(const Record &r)
{
    QStringList out{r.hasKind ? QString::number(r.kind) : QString()};
    for (const Column &c : kTextColumns)
        out << r.*c.field;
    return out;
}

EntryLines *entryLines(const QListView *list) { return static_cast<EntryLines *>(list->model()); }

} // namespace

FormRecycle::FormRecycle(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    using ui::control;
    setObjectName(QStringLiteral("FormRecycle"));
    setWindowTitle(QStringLiteral("回收站"));
    Label1 = control<QLabel>(this, "Label1", QStringLiteral("删除的记录（最新的在前，保留 %1 天）：").arg(kDeletionDays));
    List1 = control<QListWidget>(this, "List1");
    Label2 = control<QLabel>(this, "Label2", QStringLiteral("所选的这次删除删掉的记录："));
    Table1 = control<QTableWidget>(this, "Table1");
    Table1->setColumnCount(static_cast<int>(std::size(kColumns)));
    Table1->setHorizontalHeaderLabels(columnNames());
    Table1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table1->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table1->verticalHeader()->hide();
    Table1->verticalHeader()->setDefaultSectionSize(Table1->fontMetrics().height() + 6);
    Table1->setWordWrap(false);
    Table1->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table1->horizontalHeader()->setStretchLastSection(true);
    Label3 = control<QLabel>(this, "Label3", QStringLiteral("操作记录（最新的在前）："));
    List2 = control<QListView>(this, "List2");
    List2->setModel(new EntryLines(main->store(), List2));
    List2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List2->setUniformItemSizes(true);
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("恢复"));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("清空"));
    Command3 = control<QPushButton>(this, "Command3", QStringLiteral("关闭"));
    ui::plainLabels(this);

    auto *column = new QVBoxLayout(this);
    column->addWidget(Label1);
    column->addWidget(List1, 2);
    column->addWidget(Label2);
    column->addWidget(Table1, 3);
    column->addWidget(Label3);
    column->addWidget(List2, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    buttons->addWidget(Command3);
    column->addLayout(buttons);
    resize(760, 640);

    connect(List1, &QListWidget::currentRowChanged, this, &FormRecycle::List1_Click);
    connect(Command1, &QPushButton::clicked, this, &FormRecycle::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FormRecycle::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormRecycle::Command3_Click);
    ui::dialogKeys(this, nullptr, Command3);

    ui::addExportMenu(List1, {windowTitle(), {QStringLiteral("时间"), QStringLiteral("计算机"), QStringLiteral("删除")},
                              [this](int row) {
                                  const ChangeEntry &e = deletion(row);
                                  return QStringList{e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.computer,
                                                     e.summary};
                              }});
    ui::addExportMenu(Table1, {QStringLiteral("删除的记录"), columnNames(), [this](int row) {
                                   return cells(m_rows.at(static_cast<std::size_t>(row)).row);
                               }});
    ui::addExportMenu(List2, {QStringLiteral("操作记录"),
                              {QStringLiteral("编号"), QStringLiteral("时间"), QStringLiteral("计算机"),
                               QStringLiteral("操作"), QStringLiteral("行数"), QStringLiteral("校验")},
                              [this](int row) {
                                  const ChangeEntry &e = entryLines(List2)->at(row);
                                  return QStringList{QString::number(e.number),
                                                     e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.computer,
                                                     e.summary, QString::number(e.count), e.checksum};
                              }});
}

void FormRecycle::Form_Activate()
{
    // The deletion chosen before stays chosen while it is kept.
    const qint64 chosen = List1->currentRow() >= 0 ? deletion(List1->currentRow()).number : 0;
    try {
        m_deletions = m_main->store()->deletions();
        entryLines(List2)->reload();
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        m_deletions.clear();
    }
    const QSignalBlocker quiet(List1);
    List1->clear();
    int row = m_deletions.empty() ? -1 : 0;
    for (std::size_t i = 0; i < m_deletions.size(); ++i) {
        List1->addItem(changeLine(m_deletions[i]));
        if (m_deletions[i].number == chosen)
            row = static_cast<int>(i);
    }
    List1->setCurrentRow(row);
    List1_Click();
}

void FormRecycle::List1_Click()
{
    const int chosen = List1->currentRow();
    m_rows.clear();
    Table1->setRowCount(0);
    if (chosen < 0 || chosen >= static_cast<int>(m_deletions.size()))
        return;
    try {
        m_rows = m_main->store()->deletedRows(deletion(chosen).number);
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        return;
    }
    Table1->setRowCount(static_cast<int>(m_rows.size()));
    for (int row = 0; row < Table1->rowCount(); ++row) {
        const QStringList texts = cells(m_rows[static_cast<std::size_t>(row)].row);
        for (int c = 0; c < texts.size(); ++c)
            Table1->setItem(row, c, new QTableWidgetItem(texts[c]));
    }
}

bool FormRecycle::restoreDespite(const QStringList &clashes)
{
    QMessageBox box(QMessageBox::Question, ui::kAskTitle,
                    QStringLiteral("账本中又有了%1，恢复后会有同名的两份。是否仍然恢复？").arg(clashes.join(QStringLiteral("、"))),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

void FormRecycle::Command1_Click()
{
    const int chosen = List1->currentRow();
    if (chosen < 0 || chosen >= static_cast<int>(m_deletions.size())) {
        ui::message(this, QStringLiteral("请选择要恢复的删除！"));
        return;
    }
    Store *store = m_main->store();
    RestoredDeletion done;
    try {
        const QStringList clashes = restoreClashes(store->deletedRows(deletion(chosen).number), store->rows());
        if (!clashes.isEmpty() && !restoreDespite(clashes))
            return;
        done = store->restoreDeletion(deletion(chosen).number);
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        Form_Activate(); // another program may have restored or cleared it
        return;
    }
    m_main->relist();
    Form_Activate();
    if (!done.movedToEnd.empty())
        ui::message(this, QStringLiteral("已恢复 %1 条记录。其中 %2 条原来的位置已被后来添加的记录占用，放到了最后。")
                              .arg(done.rows)
                              .arg(done.movedToEnd.size()));
}

void FormRecycle::Command2_Click()
{
    if (m_deletions.empty()) {
        ui::message(this, QStringLiteral("回收站是空的！"));
        return;
    }
    if (!ui::confirm(this, QStringLiteral("清空后，回收站里删除的记录都不能再恢复。你是否确定清空！")))
        return;
    try {
        m_main->store()->clearDeletions();
    } catch (const StoreError &e) {
        ui::message(this, e.message());
    }
    Form_Activate();
}

void FormRecycle::Command3_Click()
{
    hide();
    ui::present(m_main);
}

void addRecycleMenus(Form1 *main)
{
    for (QAbstractItemView *list : std::initializer_list<QAbstractItemView *>{main->List1, main->List2, main->List3}) {
        auto *line = new QAction(list);
        line->setSeparator(true);
        auto *open = new QAction(QStringLiteral("回收站…"), list);
        open->setObjectName(QStringLiteral("openRecycle"));
        QObject::connect(open, &QAction::triggered, main, [main] { ui::present(main->form7()->recycle()); });
        list->addActions({line, open});
    }
}
