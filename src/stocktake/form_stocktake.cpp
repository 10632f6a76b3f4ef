#include "stocktake/form_stocktake.h"

#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"
#include "mainwin/ui_keys.h"
#include "stocktake/form_stocktake_records.h"
#include "stocktake/product_chooser.h"
#include "stocktake/stocktake_model.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTableView>
#include <QVBoxLayout>

using namespace ledger;

FormStockTake::FormStockTake(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("FormStockTake"));
    setWindowTitle(QStringLiteral("盘点"));
    Combo1 = ui::control<QComboBox>(this, "Combo1");
    Combo1->setFocusPolicy(Qt::ClickFocus);
    Combo1->setMinimumContentsLength(10);
    Text1 = ui::control<QLineEdit>(this, "Text1");
    Text1->setPlaceholderText(QStringLiteral("扫描条码，或输入数量和“*”再扫描（如 12*）"));
    Text1->installEventFilter(this);
    Label1 = ui::control<QLabel>(this, "Label1");
    Label1->setTextFormat(Qt::PlainText);
    auto button = [this](const char *name, const QString &caption) {
        auto *b = ui::control<QPushButton>(this, name, caption);
        b->setFocusPolicy(Qt::NoFocus); // the scan box keeps the keyboard
        return b;
    };
    Command1 = button("Command1", QStringLiteral("过账"));
    Command2 = button("Command2", QStringLiteral("打印盘点表…"));
    Command3 = button("Command3", QStringLiteral("保存为PDF…"));
    Command4 = button("Command4", QStringLiteral("盘点记录"));
    Command5 = button("Command5", QStringLiteral("重新盘点"));
    Command6 = button("Command6", QStringLiteral("关闭"));

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("类："), this));
    top->addWidget(Combo1);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("扫描："), this));
    top->addWidget(Text1, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Command1, Command2, Command3, Command4, Command5})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(Command6);
    auto *column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(buildTable(), 1);
    column->addWidget(Label1);
    column->addWidget(new QLabel(QStringLiteral("双击实盘数量可直接输入；扫描框为空时按回车，输入所选商品的数量。"
                                                "差异金额按平均进货价计算。"),
                                 this));
    column->addLayout(buttons);
    resize(720, 560);

    connect(Combo1, &QComboBox::activated, this, &FormStockTake::Combo1_Click);
    connect(Text1, &QLineEdit::returnPressed, this, &FormStockTake::Text1_Enter);
    const std::pair<QPushButton *, void (FormStockTake::*)()> handlers[] = {
        {Command1, &FormStockTake::Command1_Click}, {Command2, &FormStockTake::Command2_Click},
        {Command3, &FormStockTake::Command3_Click}, {Command4, &FormStockTake::Command4_Click},
        {Command5, &FormStockTake::Command5_Click}, {Command6, &FormStockTake::Command6_Click}};
    for (const auto &[b, slot] : handlers)
        connect(b, &QPushButton::clicked, this, slot);
    ui::dialogKeys(this, nullptr, Command6); // Enter stays the scanner's
}

QWidget *FormStockTake::buildTable()
{
    m_model = new StockTakeModel(m_take, this);
    m_sort = new StockTakeSort(this);
    m_sort->setSourceModel(m_model);
    m_sort->setSortRole(StockTakeModel::SortRole);
    Table1 = ui::control<QTableView>(this, "Table1");
    Table1->setModel(m_sort);
    Table1->setFocusPolicy(Qt::NoFocus);
    Table1->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table1->setSelectionMode(QAbstractItemView::SingleSelection);
    Table1->setEditTriggers(QAbstractItemView::NoEditTriggers); // a count is typed on purpose only
    Table1->verticalHeader()->hide();
    Table1->verticalHeader()->setDefaultSectionSize(Table1->fontMetrics().height() + 6);
    Table1->horizontalHeader()->setStretchLastSection(true);
    Table1->setSortingEnabled(true);
    Table1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); // stored order first
    auto *delegate = new CountDelegate(Table1);
    Table1->setItemDelegateForColumn(StockTakeModel::Count, delegate);
    connect(delegate, &QAbstractItemDelegate::closeEditor, this, [this] { Text1->setFocus(); });
    connect(Table1, &QTableView::doubleClicked, this, [this](const QModelIndex &index) { editCount(index.row()); });
    ui::addExportMenu(Table1, {windowTitle(), StockTakeModel::headers(), [this](int row) {
                                   return m_model->cells(m_sort->mapToSource(m_sort->index(row, 0)).row());
                               }});
    return Table1;
}

void FormStockTake::Form_Activate()
{
    // A count in progress stays; otherwise the book figures are those of now.
    if (!m_take.anyCounted())
        start();
    keepFocus();
}

void FormStockTake::start()
{
    Store *store = m_main->store();
    if (!store)
        return;
    try {
        m_take.begin(*store);
        m_take.setCodes(store->productCodes());
    } catch (const StoreError &e) {
        ui::message(this, e.message());
    }
    const QString chosen = Combo1->currentIndex() > 0 ? Combo1->currentText() : QString();
    Combo1->clear();
    Combo1->addItem(QStringLiteral("全部类"));
    QSet<QString> listed;
    for (const CountLine &l : m_take.lines())
        if (!listed.contains(l.product.category)) {
            listed.insert(l.product.category);
            Combo1->addItem(l.product.category);
        }
    Combo1->setCurrentIndex(std::max(0, Combo1->findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive)));
    Combo1_Click();
    Label1->clear();
}

void FormStockTake::Combo1_Click()
{
    m_model->showCategory(Combo1->currentIndex() > 0 ? Combo1->currentText() : QString());
    Text1->setFocus();
}

bool FormStockTake::eventFilter(QObject *watched, QEvent *event)
{
    // The arrow keys of the scan box move through the list, which never takes the keyboard.
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(Table1, &copy);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormStockTake::Text1_Enter()
{
    const QString text = Text1->text();
    if (text.trimmed().isEmpty()) {
        editCount(Table1->currentIndex().row());
        return;
    }
    static const QRegularExpression quantityOnly(QStringLiteral("^\\s*[0-9]+\\s*\\*\\s*$"));
    const std::optional<Scan> scan = readScan(text);
    if (!scan && quantityOnly.match(text).hasMatch() && text.trimmed().size() <= 7)
        return; // "12*": the code comes next
    Text1->clear();
    if (!scan) {
        refuse(QStringLiteral("数量应为1到999999之间的整数，写在条码前，如“12*”！"));
        return;
    }
    if (checkCode(scan->code) == CodeCheck::Misread) {
        refuse(QStringLiteral("条码%1的校验位不符，可能没有扫清楚。本次没有计数，请重新扫描！").arg(scan->code));
        return;
    }
    std::optional<std::size_t> line = m_take.lineOfCode(scan->code);
    if (!line)
        line = askProduct(scan->code);
    if (line)
        count(*line, scan->quantity);
    keepFocus();
}

void FormStockTake::keepFocus()
{
    // A closed message box or dialog may leave no window active: take the keyboard back.
    if (!isVisible())
        return;
    if (!isActiveWindow())
        activateWindow();
    Text1->setFocus();
}

void FormStockTake::refuse(const QString &text)
{
    QApplication::beep();
    Label1->setText(QStringLiteral("未计数。"));
    ui::message(this, text);
    keepFocus();
}

std::optional<std::size_t> FormStockTake::askProduct(const QString &code)
{
    std::vector<Product> products;
    for (const CountLine &l : m_take.lines())
        products.push_back(l.product);
    ProductChooser chooser(code, products, this);
    if (chooser.exec() != QDialog::Accepted || !chooser.chosen())
        return std::nullopt;
    const std::size_t line = *chooser.chosen();
    m_take.remember(code, line);
    try {
        const Product &p = products[line];
        m_main->store()->setProductCode({code, p.category, p.name});
    } catch (const StoreError &e) {
        ui::message(this, e.message()); // counted all the same; known until the window starts afresh
    }
    return line;
}

void FormStockTake::count(std::size_t line, qint64 pieces)
{
    m_take.addCount(line, pieces);
    m_model->lineChanged(line);
    const CountLine &l = m_take.lines()[line];
    Label1->setText(QStringLiteral("%1 / %2：+%3，实盘 %4，账面 %5")
                        .arg(l.product.category, l.product.name)
                        .arg(pieces)
                        .arg(l.count.value_or(0))
                        .arg(l.book));
    const int row = m_model->rowOf(line);
    if (row < 0)
        return; // of another category: counted, not shown
    const QModelIndex shown = m_sort->mapFromSource(m_model->index(row, StockTakeModel::Count));
    Table1->setCurrentIndex(shown);
    Table1->scrollTo(shown);
}

void FormStockTake::editCount(int row)
{
    const QModelIndex cell = m_sort->index(row, StockTakeModel::Count);
    if (!cell.isValid() || !(cell.flags() & Qt::ItemIsEditable))
        return;
    Table1->setCurrentIndex(cell);
    Table1->edit(cell);
}

QString FormStockTake::names(const std::vector<std::size_t> &lines) const
{
    QStringList out;
    for (std::size_t i = 0; i < lines.size() && i < 20; ++i)
        out << m_take.lines()[lines[i]].product.category + u'/' + m_take.lines()[lines[i]].product.name;
    if (lines.size() > 20)
        out << QStringLiteral("等 %1 种").arg(lines.size());
    return out.join(QStringLiteral("、"));
}

bool FormStockTake::postDespite(const std::vector<std::size_t> &moved)
{
    QMessageBox box(QMessageBox::Question, ui::kAskTitle,
                    QStringLiteral("开始盘点以后，下列商品又有交易被添加或删除，账面库存已经变了：%1。"
                                   "“重新盘点”清除它们的实盘数量并取现在的账面；“仍然过账”按现在的账面过账！")
                        .arg(names(moved)),
                    QMessageBox::Retry | QMessageBox::Ignore | QMessageBox::Cancel, this);
    box.button(QMessageBox::Retry)->setText(QStringLiteral("重新盘点"));
    box.button(QMessageBox::Ignore)->setText(QStringLiteral("仍然过账"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Retry);
    const int answer = box.exec();
    if (answer == QMessageBox::Retry) {
        m_take.recount(moved, *m_main->store());
        Combo1_Click();
    }
    return answer == QMessageBox::Ignore;
}

void FormStockTake::Command1_Click()
{
    post();
    keepFocus();
}

void FormStockTake::post()
{
    Store *store = m_main->store();
    if (!store || !m_take.anyCounted()) {
        ui::message(this, QStringLiteral("还没有盘点任何商品！"));
        return;
    }
    StockTakeRecord posted;
    try {
        const std::vector<std::size_t> moved = m_take.moved(*store);
        if (!moved.empty() && !postDespite(moved))
            return;
        QString question = QStringLiteral("按实盘数量过账已盘点的 %1 种商品：盘亏记为单价0的出货，"
                                          "盘盈按平均进货价记为进货。")
                               .arg(std::count_if(m_take.lines().cbegin(), m_take.lines().cend(),
                                                  [](const CountLine &l) { return l.count.has_value(); }));
        if (const auto unpriced = m_take.surplusWithoutPrice(); !unpriced.empty())
            question += QStringLiteral("下列商品盘盈但没有进货价，将按单价0记为进货：%1。").arg(names(unpriced));
        if (!ui::confirm(this, question + QStringLiteral("确定过账吗？")))
            return;
        posted = postStockTake(m_take, *store, m_main->rnd(), QDateTime::currentDateTime(),
                               QSysInfo::machineHostName());
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        return;
    }
    const auto rows = std::count_if(posted.lines.cbegin(), posted.lines.cend(),
                                    [](const StockTakeLine &l) { return l.rowId != 0; });
    ui::message(this, QStringLiteral("过账完成：盘点 %1 种商品，记入 %2 笔交易！").arg(posted.lines.size()).arg(rows));
    start();
}

CountSheet FormStockTake::countSheet() const
{
    CountSheet sheet{Combo1->currentText(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")), {}};
    for (int row = 0; row < m_sort->rowCount(); ++row)
        if (const auto line = m_model->lineAt(m_sort->mapToSource(m_sort->index(row, 0)).row()))
            sheet.lines.push_back(m_take.lines()[*line]);
    return sheet;
}

void FormStockTake::Command2_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted && drawCountSheet(printer, countSheet()) == 0)
        ui::message(this, QStringLiteral("盘点表没能打印！"));
    keepFocus();
}

void FormStockTake::Command3_Click()
{
    const QString name = QStringLiteral("盘点表-%1.pdf").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    QFileDialog dialog(this, QStringLiteral("保存为PDF"), QDir::current().filePath(name),
                       QStringLiteral("PDF 文件 (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = dialog.selectedFiles().constFirst();
        if (saveCountSheet(path, countSheet()) == 0)
            ui::message(this, QStringLiteral("无法保存文件“%1”！").arg(QDir::toNativeSeparators(path)));
    }
    keepFocus();
}

FormStockTakeRecords *FormStockTake::records() { return ui::window(m_records, m_main); }

void FormStockTake::Command4_Click() { ui::present(records()); }

void FormStockTake::Command5_Click()
{
    if (!m_take.anyCounted() || ui::confirm(this, QStringLiteral("清除全部实盘数量，按现在的账面重新盘点吗？")))
        start();
    keepFocus();
}

void FormStockTake::Command6_Click()
{
    hide();
    ui::present(m_main);
}
