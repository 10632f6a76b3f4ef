#include "browse/ui_tx_list.h"
#include "query/form5.h"

#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "query/ui_query.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

using ui::control;
using ui::twips;

Form5::Form5(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("计算"));
    setFixedSize(twips(0, 0, 5130, 3300).size());

    Label1 = control<QLabel>(this, "Label1", QStringLiteral("类："), twips(480, 480, 360, 180));
    Combo1 = ui::dropDown(this, "Combo1", twips(1200, 360, 1815, 300), [this] { Combo1_Click(); });
    Label2 = control<QLabel>(this, "Label2", QStringLiteral("商品名："), twips(480, 960, 720, 180));
    Combo2 = ui::dropDown(this, "Combo2", twips(1200, 840, 1815, 300), [] {});
    Option1 = control<ui::OptionButton>(this, "Option1", QStringLiteral("选中商品的剩余"), twips(480, 1440, 3495, 255));
    Option2 = control<ui::OptionButton>(this, "Option2", QStringLiteral("选中商品的营业额"), twips(480, 1800, 3495, 255));
    Option5 = control<ui::OptionButton>(this, "Option5", QStringLiteral("库存积压总货款"), twips(480, 2160, 3495, 255));
    Option3 = control<ui::OptionButton>(this, "Option3", QStringLiteral("选中商品的营业利润额"), twips(480, 2520, 3495, 255));
    Option4 = control<ui::OptionButton>(this, "Option4", QStringLiteral("选中商品的本月营业利润额"), twips(480, 2880, 3495, 255));
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("计算"), twips(3720, 360, 1095, 375));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("取消"), twips(3720, 840, 1095, 375));

    // Row by row, left to right.
    QWidget *order[] = {Combo1, Command1, Combo2, Command2, Option1, Option2, Option5, Option3, Option4};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    const std::pair<QRadioButton *, void (Form5::*)()> options[] = {
        {Option1, &Form5::Option1_Click}, {Option2, &Form5::Option2_Click}, {Option3, &Form5::Option3_Click},
        {Option4, &Form5::Option4_Click}, {Option5, &Form5::Option5_Click},
    };
    for (const auto &[option, slot] : options)
        connect(option, &QRadioButton::clicked, this, slot); // also on the option already chosen
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);
    ui::dialogKeys(this, Command1, Command2);
    ui::plainLabels(this);

    Form_Load();
}

void Form5::Form_Load() { calcno = 0; }

void Form5::Form_Activate()
{
    if (filled)
        return;
    m_main->axd(QString(), 12);
    calcno = 0;
    filled = true;
}

void Form5::Combo1_Click() { m_main->axd(QString(), 11); }

// The last two options were numbered against their order on screen: Option4 is calculation 5
// and Option5 calculation 4.
void Form5::Option1_Click() { calcno = 1; }
void Form5::Option2_Click() { calcno = 2; }
void Form5::Option3_Click() { calcno = 3; }
void Form5::Option4_Click() { calcno = 5; }
void Form5::Option5_Click() { calcno = 4; }

void Form5::Command1_Click()
{
    if (Combo1->currentText().isEmpty()) {
        ui::message(this, QStringLiteral("请选择类！"));
        return;
    }
    if (Combo2->currentText().isEmpty()) {
        ui::message(this, QStringLiteral("请选择商品名！"));
        return;
    }
    if (calcno == 0) {
        ui::message(this, QStringLiteral("请选择计算方法！"));
        return;
    }
    if (ui::rejectsSeparator(this, Combo1->currentText(), Combo2->currentText()))
        return;
    m_main->axd(Combo1->currentText() + u'|' + Combo2->currentText() + u'|' + QString::number(calcno), 13);
    m_main->List3->clear();
    hide();
}

void Form5::Command2_Click()
{
    m_main->setx(0);
    m_main->List3->clear();
    hide();
}
