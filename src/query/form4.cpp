#include "query/form4.h"

#include "about/form7.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "query/ui_query.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

using ui::control;
using ui::twips;

Form4::Form4(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("查找"));
    setFixedSize(twips(0, 0, 5910, 3480).size());

    Label4 = control<QLabel>(this, "Label4", QStringLiteral("此窗口从数据库中查询数据"), twips(1920, 120, 2895, 255));
    Check1 = control<ui::CheckBox>(this, "Check1", QStringLiteral("所有商品名"), twips(240, 360, 1335, 495));
    Label1 = control<QLabel>(this, "Label1", QStringLiteral("类："), twips(1680, 600, 360, 180));
    Combo1 = ui::dropDown(this, "Combo1", twips(2400, 480, 2055, 300), [this] { Combo1_Click(); });
    Check5 = control<ui::CheckBox>(this, "Check5", QStringLiteral("所有类"), twips(240, 840, 1335, 495));
    Label2 = control<QLabel>(this, "Label2", QStringLiteral("商品名："), twips(1680, 1080, 720, 180));
    Combo2 = ui::dropDown(this, "Combo2", twips(2400, 960, 2055, 300), [] {});
    Check4 = control<ui::CheckBox>(this, "Check4", ledger::kStockIn, twips(240, 1320, 1335, 495));
    Label3 = control<QLabel>(this, "Label3", QStringLiteral("日期方法："), twips(2160, 1680, 900, 180));
    Check3 = control<ui::CheckBox>(this, "Check3", ledger::kStockOut, twips(240, 1800, 1335, 495));
    Frame1 = control<QGroupBox>(this, "Frame1", QStringLiteral("方法："), twips(1680, 2040, 2895, 975));
    Option1 = control<ui::OptionButton>(Frame1, "Option1", QStringLiteral("小于"), twips(240, 360, 975, 375));
    Option2 = control<ui::OptionButton>(Frame1, "Option2", QStringLiteral("等于"), twips(1080, 360, 975, 375));
    Option3 = control<ui::OptionButton>(Frame1, "Option3", QStringLiteral("大于"), twips(1920, 360, 855, 375));
    Check2 = control<ui::CheckBox>(this, "Check2", QStringLiteral("日期相关"), twips(240, 2280, 1335, 495));
    Check6 = control<ui::CheckBox>(this, "Check6", QStringLiteral("智能分析"), twips(240, 2760, 1335, 495));
    // The only way to the statistics and analyses: say so where a newcomer looks.
    Check6->setToolTip(QStringLiteral("勾选后按“确定”，打开“智能分析”窗口，"
                                      "从中选择每日统计、库存预警、商品排行、库存金额、盘点或回收站"));
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("确定"), twips(4800, 720, 975, 495));
    Command3 = control<QPushButton>(this, "Command3", QStringLiteral("日期"), twips(4800, 1440, 975, 495));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("取消"), twips(4800, 2160, 975, 495));

    // Row by row, left to right.
    QWidget *order[] = {Check1, Combo1, Check5, Combo2, Command1, Check4, Command3,
                        Check3, Check2, Option1, Option2, Option3, Command2, Check6};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Check6, &QCheckBox::stateChanged, this, &Form4::Check6_Click);
    // Every click counts, also on the option already chosen.
    connect(Option1, &QRadioButton::clicked, this, &Form4::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &Form4::Option2_Click);
    connect(Option3, &QRadioButton::clicked, this, &Form4::Option3_Click);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
    ui::dialogKeys(this, Command1, Command2);
    ui::plainLabels(this);
}

void Form4::days(const QString &dat) { datetext = dat; }

void Form4::Form_Activate()
{
    if (!filled) {
        m_main->axd(QString(), 6);
        datemethod = 0;
        filled = true;
    }
    Check6->setChecked(false);
}

void Form4::Combo1_Click() { m_main->axd(QString(), 7); }

void Form4::Check6_Click()
{
    const bool enable = !Check6->isChecked();
    QWidget *search[] = {Check1, Check2, Check3, Check4, Check5, Option1, Option2, Option3, Combo1, Combo2};
    for (QWidget *w : search)
        w->setEnabled(enable);
}

void Form4::chooseMethod(QRadioButton *option, int method)
{
    if (datetext.isEmpty()) {
        // An exclusive group refuses to leave every button unselected unless told.
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
        ui::message(this, QStringLiteral("请选择日期！"));
        return;
    }
    ui::setAutoText(Label3, QStringLiteral("日期") + option->text() + datetext + QStringLiteral("的记录"));
    datemethod = method;
}

void Form4::Option1_Click() { chooseMethod(Option1, 1); }
void Form4::Option2_Click() { chooseMethod(Option2, 2); }
void Form4::Option3_Click() { chooseMethod(Option3, 3); }

void Form4::Command3_Click()
{
    Form2 *picker = m_main->form2();
    picker->sety(0); // it may still be open for the statistics window
    picker->setx(0);
    ui::present(picker);
}

void Form4::Command1_Click()
{
    if (Check6->isChecked()) {
        ui::present(m_main->form7());
        hide();
        return;
    }
    if (!Check5->isChecked() && Combo1->currentText().isEmpty()) {
        ui::message(this, QStringLiteral("请选择类！"));
        return;
    }
    if (!Check1->isChecked() && Combo2->currentText().isEmpty()) {
        ui::message(this, QStringLiteral("请选择商品名！"));
        return;
    }
    if (!Check2->isChecked()) {
        datemethod = 0;
    } else if (datetext.isEmpty()) {
        ui::message(this, QStringLiteral("请选择日期！"));
        return;
    } else if (datemethod == 0) {
        ui::message(this, QStringLiteral("请选择日期方法！"));
        return;
    }
    if (ui::rejectsSeparator(this, Combo1->currentText(), Combo2->currentText()))
        return;
    const QString request = Combo1->currentText() + u'|' + Combo2->currentText() + u'|' + datetext + u'|' +
                            QString::number(datemethod);
    m_main->axd(request, 8, Form1::Given{options(), {}});
    hide();
}

void Form4::Command2_Click()
{
    m_main->setx(0);
    hide();
}

ledger::FindOptions Form4::options() const
{
    ledger::FindOptions o;
    o.anyCategory = Check5->isChecked();
    o.anyProduct = Check1->isChecked();
    o.stockIn = Check4->isChecked();
    o.stockOut = Check3->isChecked();
    return o;
}

void Form4::setEveryOption(bool on)
{
    for (QCheckBox *c : {Check1, Check5, Check4, Check3})
        c->setChecked(on);
}
