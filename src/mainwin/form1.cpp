#include "mainwin/form1.h"

#include "about/form3.h"
#include "about/form7.h"
#include "browse/ui_tx_list.h"
#include "ledger/dates.h"
#include "ledger/entry_check.h"
#include "ledger/text.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_export.h"
#include "mainwin/ui_live.h"
#include "mainwin/ui_names.h"
#include "query/form4.h"
#include "query/form5.h"
#include "recycle/form_recycle.h"
#include "stats/form6.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

using namespace ledger;

namespace {

const QString kWelcome =
    QStringLiteral("                         欢迎您使用禾岚小型仓库管理软件！（按F1帮助）");
const QString kListHeader = QStringLiteral(
    "商品名：               价格：     数量：     总额：     日期：   方法：  交易代码：");

QLabel *autoLabel(QWidget *parent, const char *name, int left, int top)
{
    auto *l = ui::control<QLabel>(parent, name);
    l->move(ui::twips(left, top, 0, 0).topLeft());
    return l;
}

// The name of the chosen category or product, ending before the label at right (twips).
QLabel *nameLabel(QWidget *parent, const char *name, int left, int top, int right)
{
    auto *l = ui::control<ui::NameLabel>(parent, name);
    const QRect place = ui::twips(left, top, right - left - 60, 0);
    l->move(place.topLeft());
    l->setMaximumWidth(place.width());
    return l;
}

// A list whose chosen line stays chosen: Ctrl+click or Ctrl+Space on it would leave no line
// selected and run the click handler with an empty name.
class ChoiceList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override
    {
        const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
        if (selectionMode() == SingleSelection && (flags & QItemSelectionModel::Deselect))
            return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
        return flags;
    }
};

} // namespace

Form1::Form1(std::unique_ptr<Store> store) : m_store(std::move(store))
{
    ui::setupApplication();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("禾岚小型仓储管理软件 VER 1.2"));
    setFixedSize(ui::twips(0, 0, 11880, 5160).size());
    buildControls();
    connectHandlers();
    Form_Load();
}

Form1::~Form1()
{
    // The other windows are top-level windows of their own; they go with the main window.
    delete m_form2;
    delete m_form3;
    delete m_form4;
    delete m_form5;
    delete m_form6;
    delete m_form7;
}

void Form1::buildControls()
{
    using ui::control;
    using ui::twips;
    Label1 = control<QLabel>(this, "Label1", QStringLiteral("类："), twips(240, 120, 360, 180));
    Label2 = nameLabel(this, "Label2", 600, 120, 1920);
    Label3 = control<QLabel>(this, "Label3", QStringLiteral("商品名："), twips(1920, 120, 720, 180));
    Label4 = nameLabel(this, "Label4", 2640, 120, 4005);
    Label9 = autoLabel(this, "Label9", 4005, 120);
    List1 = control<ChoiceList>(this, "List1", twips(240, 480, 1575, 3480));
    List2 = control<ChoiceList>(this, "List2", twips(1920, 480, 1815, 3480));
    List3 = control<ui::TxList>(this, "List3", twips(3960, 480, 7815, 3000));
    Label5 = autoLabel(this, "Label5", 4080, 3600);
    Frame1 = control<QGroupBox>(this, "Frame1", QStringLiteral("方式："), twips(3840, 3900, 1935, 615));
    Option1 = control<ui::OptionButton>(Frame1, "Option1", kStockIn, twips(240, 240, 735, 255));
    Option2 = control<ui::OptionButton>(Frame1, "Option2", kStockOut, twips(1080, 240, 735, 255));
    Text1 = control<QLineEdit>(this, "Text1", twips(240, 4080, 1575, 375));
    Text2 = control<QLineEdit>(this, "Text2", twips(1920, 4080, 1815, 375));
    Label6 = control<QLabel>(this, "Label6", QStringLiteral("单价："), twips(5880, 4200, 540, 180));
    Text4 = control<QLineEdit>(this, "Text4", twips(6480, 4080, 1095, 375));
    Label7 = control<QLabel>(this, "Label7", QStringLiteral("数量："), twips(7680, 4200, 540, 180));
    Text5 = control<QLineEdit>(this, "Text5", twips(8280, 4080, 1095, 375));
    Label8 = control<QLabel>(this, "Label8", QStringLiteral("日期："), twips(9480, 4200, 540, 180));
    Text6 = control<QLineEdit>(this, "Text6", twips(10080, 4080, 1095, 375));
    Command5 = control<QPushButton>(this, "Command5", QStringLiteral("选择"), twips(11280, 4080, 495, 375));
    Check1 = control<ui::CheckBox>(this, "Check1", QStringLiteral("自动填写日期"), twips(5880, 4560, 1455, 255));
    Check2 = control<ui::CheckBox>(this, "Check2", QStringLiteral("只显示本月记录"), twips(5880, 4800, 1695, 255));
    Check2->setChecked(true);
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("添加"), twips(360, 4680, 615, 255));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("删除"), twips(1080, 4680, 615, 255));
    Command3 = control<QPushButton>(this, "Command3", QStringLiteral("添加"), twips(2160, 4680, 615, 255));
    Command4 = control<QPushButton>(this, "Command4", QStringLiteral("删除"), twips(2880, 4680, 615, 255));
    Command6 = control<QPushButton>(this, "Command6", QStringLiteral("全选"), twips(4200, 4680, 615, 255));
    Command7 = control<QPushButton>(this, "Command7", QStringLiteral("反选"), twips(4920, 4680, 615, 255));
    Command8 = control<QPushButton>(this, "Command8", QStringLiteral("添加"), twips(8040, 4680, 615, 255));
    Command9 = control<QPushButton>(this, "Command9", QStringLiteral("删除"), twips(8760, 4680, 615, 255));
    Command11 = control<QPushButton>(this, "Command11", QStringLiteral("计算"), twips(9480, 4680, 615, 255));
    Command12 = control<QPushButton>(this, "Command12", QStringLiteral("查找"), twips(10200, 4680, 615, 255));
    Command13 = control<QPushButton>(this, "Command13", QStringLiteral("关于"), twips(10920, 4680, 615, 255));

    // The fixed-width lines and their header only line up in a monospace CJK font.
    const QFont mono(ui::monoFontFamily(), 9);
    List3->setFont(mono);
    Label9->setFont(mono);
    ui::plainLabels(this);
    ui::fitNames(List1);
    ui::fitNames(List2);

    // Tab goes row by row, left to right, except that the transaction's "添加" follows its price
    // and quantity.
    QWidget *order[] = {List1,    List2,    List3,    Text1,    Text2,    Option1,  Option2,   Text4,
                        Text5,    Command8, Text6,    Command5, Check1,   Check2,   Command1,  Command2,
                        Command3, Command4, Command6, Command7, Command9, Command11, Command12, Command13};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // Buttons are small; keep their captions readable.
    for (QPushButton *b : findChildren<QPushButton *>())
        b->setStyleSheet(QStringLiteral("padding: 0px;"));
}

void Form1::connectHandlers()
{
    ui::onListClick(List1, [this] { List1_Click(); });
    ui::onListClick(List2, [this] { List2_Click(); });
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) { if (on) Option1_Click(); });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) { if (on) Option2_Click(); });
    connect(Check1, &QCheckBox::stateChanged, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::stateChanged, this, &Form1::Check2_Click);
    const std::pair<QPushButton *, void (Form1::*)()> buttons[] = {
        {Command1, &Form1::Command1_Click},   {Command2, &Form1::Command2_Click},
        {Command3, &Form1::Command3_Click},   {Command4, &Form1::Command4_Click},
        {Command5, &Form1::Command5_Click},   {Command6, &Form1::Command6_Click},
        {Command7, &Form1::Command7_Click},   {Command8, &Form1::Command8_Click},
        {Command9, &Form1::Command9_Click},   {Command11, &Form1::Command11_Click},
        {Command12, &Form1::Command12_Click}, {Command13, &Form1::Command13_Click},
    };
    for (const auto &[button, slot] : buttons)
        connect(button, &QPushButton::clicked, this, slot);
    // Price, quantity, Enter: the transaction is added.
    connect(Text5, &QLineEdit::returnPressed, Command8, &QPushButton::click);
    ui::addExportMenus(this);
    addRecycleMenus(this);
}

void Form1::Form_Load()
{
    Text6->setText(currentDateText());
    if (m_store) { // lines still showing a row the store deletes keep it
        connect(m_store.get(), &ledger::Store::rowsRemoving, this, [this](const std::vector<std::size_t> &positions) {
            for (const std::size_t p : positions)
                List3->lines()->rowGone(m_store->loadedRows()[p]);
        });
        // An operation that needs the rows still being read waits for them.
        connect(m_store.get(), &ledger::Store::waiting, this, [](bool busy) {
            if (busy)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        });
        ui::followOtherComputers(this);
    }
    Option1->setChecked(true);
    Check1->setChecked(true);
}

void Form1::Form_Activate()
{
    axd(QString(), 2);
    List2->clear();
    ui::setAutoText(Label4, QString());
    ui::setAutoText(Label2, QString());
    ui::setAutoText(Label9, kListHeader);
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Closing the main window ends the program; every change is already in the file.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this)
            w->hide();
    QApplication::quit();
}

Store &Form1::openStore()
{
    return *m_store;
}

const std::vector<Record> &Form1::rows() { return openStore().rows(); }

QString Form1::direction() const { return Option1->isChecked() ? Option1->text() : Option2->text(); }

QString Form1::currentCategory() const
{
    const QListWidgetItem *item = List1->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

QString Form1::currentProduct() const
{
    const QListWidgetItem *item = List2->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

int Form1::axd(const QString &str, int ff) { return axd(str, ff, Given()); }

int Form1::axd(const QString &str, int ff, const Given &given)
{
    if (ff != 2)
        statusmode = StatusWelcome;
    const QStringList f = splitRequest(str);
    m_qsum = 0;
    bool trailer = true;
    int result = 0;
    try {
        switch (ff) {
        case 0: op0(f); break;
        case 1: op1(f, given); break;
        case 2: op2(); break;
        case 3: op3(); break;
        case 4: op4(given.extend); break;
        case 5: op5(str); break;
        case 6: op6(); break;
        case 7: op7(); break;
        case 8: op8(f, given.find); break;
        case 12: op12(); break;
        case 11: op11(); break;
        case 13: op13(f); break;
        case 101: trailer = op101(f); break;
        case 102: trailer = op102(given.period); break;
        default: break;
        }
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        result = 1;
    }
    if (trailer)
        writeStatus();
    return result;
}

bool Form1::readFacts(const std::function<void(const LedgerFacts &)> &use)
{
    try {
        use(openStore().facts());
        return true;
    } catch (const StoreError &e) {
        ui::message(this, e.message());
        return false;
    }
}

void Form1::writeStatus()
{
    if (statusmode == StatusTotals) {
        if (m_qsum == 0)
            return;
        ui::setAutoText(Label5, totalsLine(m_qsum, runtotal));
    } else if (statusmode == StatusFindAmount) {
        ui::setAutoText(Label5, QStringLiteral("         积压总金额：") + formatNumber(runtotal) + QStringLiteral("元"));
    } else {
        ui::setAutoText(Label5, kWelcome);
    }
}

void Form1::setx(int value) { statusmode = static_cast<StatusMode>(value); }

void Form1::op0(const QStringList &f)
{
    Record r;
    r.kind = static_cast<int>(parseNumber(f[0]));
    r.name = f[1].isNull() ? QStringLiteral("") : f[1];
    auto optional = [](const QString &v) { return v.isEmpty() ? QString() : v; };
    r.cat = optional(f[2]);
    r.price = optional(f[3]);
    r.qty = optional(f[4]);
    r.total = optional(f[5]);
    r.date = optional(f[6]);
    r.txno = optional(f[7]);
    r.method = direction();
    m_lastAdded = openStore().add(r);
}

bool Form1::pd(const QString &strs, const QString &kk)
{
    const EntryCheck check = checkEntry(strs, kk);
    for (const QString &m : check.messages)
        ui::message(this, m);
    return check.rejected;
}

void Form1::Check1_Click()
{
    if (!Check1->isChecked() && pickdate.isEmpty()) {
        Check1->setChecked(true); // runs this handler again, nested
        ui::message(this, QStringLiteral("请先选择日期！"));
    }
    Text6->setText(Check1->isChecked() ? currentDateText() : pickdate);
}

void Form1::days(const QString &dat)
{
    List3->clear();
    pickdate = dat;
    if (!Check1->isChecked())
        Text6->setText(dat);
}

void Form1::Command5_Click()
{
    form2()->sety(0); // the picker may still be open for the statistics window
    form2()->setx(-1);
    ui::present(form2());
}

namespace {
// Hide then show, so that the window's activation runs on every click.
void reopen(QWidget *w)
{
    w->hide();
    ui::present(w);
}
} // namespace

void Form1::Command11_Click() { reopen(form5()); }
void Form1::Command12_Click() { reopen(form4()); }
void Form1::Command13_Click() { reopen(form3()); }

Form2 *Form1::form2() { return ui::window(m_form2, this); }

Form3 *Form1::form3() { return ui::window(m_form3, this); }

Form4 *Form1::form4() { return ui::window(m_form4, this); }

Form5 *Form1::form5() { return ui::window(m_form5, this); }

Form6 *Form1::form6() { return ui::window(m_form6, this); }

Form7 *Form1::form7() { return ui::window(m_form7, this); }

bool Form1::hasForm(int number) const
{
    switch (number) {
    case 1: return true;
    case 2: return m_form2;
    case 3: return m_form3;
    case 4: return m_form4;
    case 5: return m_form5;
    case 6: return m_form6;
    case 7: return m_form7;
    default: return false;
    }
}

Record Form1::lineRecord(int row) const { return List3->lines()->record(row); }
