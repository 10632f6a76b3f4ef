#include "about/form7.h"

#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "recycle/form_recycle.h"
#include "stats/form6.h"
#include "stocktake/form_stocktake.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

Form7::Form7(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    using ui::control;
    using ui::twips;
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("智能分析"));
    // Grown downwards for the analyses under the daily statistics.
    setFixedSize(twips(0, 0, 4680, 4245).size());

    auto option = [this](const char *name, const QString &caption, int top) {
        return control<ui::OptionButton>(this, name, caption, twips(360, top, 1695, 255));
    };
    Option1 = option("Option1", QStringLiteral("每日统计"), 480);
    Option2 = option("Option2", QStringLiteral("库存预警"), 840);
    Option3 = option("Option3", QStringLiteral("商品排行"), 1200);
    Option4 = option("Option4", QStringLiteral("库存金额"), 1560);
    Option5 = option("Option5", QStringLiteral("盘点"), 1920);
    Option6 = option("Option6", QStringLiteral("回收站"), 2280);
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("确定"), twips(3360, 480, 1095, 375));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("取消"), twips(3360, 1320, 1095, 375));
    Label1 = control<QLabel>(this, "Label1",
                             QStringLiteral("这里的分析功能还在不断完善中。您在使用中有什么意见和建议，"
                                            "欢迎告诉我们，帮助我们把它做得更好！"),
                             twips(120, 2640, 3255, 1335));
    Label1->setWordWrap(true);

    connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form7::Command2_Click);
    QWidget *order[] = {Option1, Command1, Option2, Option3, Command2, Option4, Option5, Option6}; // row by row
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    ui::dialogKeys(this, Command1, Command2);
}

void Form7::Command1_Click()
{
    // Without a choice it is the daily statistics, as when that was the only analysis.
    hide();
    QWidget *chosen = nullptr;
    if (Option2->isChecked())
        chosen = lowStock();
    else if (Option3->isChecked())
        chosen = ranking();
    else if (Option4->isChecked())
        chosen = stockValue();
    else if (Option5->isChecked())
        chosen = stockTake();
    else if (Option6->isChecked())
        chosen = recycle();
    else
        chosen = m_main->form6();
    ui::present(chosen);
}

void Form7::Command2_Click()
{
    hide();
    ui::present(m_main);
}

FormLowStock *Form7::lowStock() { return ui::window(m_lowStock, m_main); }

FormRanking *Form7::ranking() { return ui::window(m_ranking, m_main); }

FormStockValue *Form7::stockValue() { return ui::window(m_stockValue, m_main); }

FormStockTake *Form7::stockTake() { return ui::window(m_stockTake, m_main); }

FormRecycle *Form7::recycle() { return ui::window(m_recycle, m_main); }
