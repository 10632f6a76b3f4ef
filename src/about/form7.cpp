#include "about/form7.h"

#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "stats/form6.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

Form7::Form7(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    using ui::twips;
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("智能分析"));
    // Grown downwards for the analyses under the daily statistics.
    setFixedSize(twips(0, 0, 4680, 3525).size());

    Option1 = new ui::OptionButton(QStringLiteral("每日统计"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(twips(360, 480, 1695, 255));
    auto option = [this](const char *name, const QString &caption, int top) {
        auto *o = new QRadioButton(caption, this);
        o->setObjectName(QString::fromLatin1(name));
        o->setGeometry(twips(360, top, 1695, 255));
        return o;
    };
    Option2 = option("Option2", QStringLiteral("库存预警"), 840);
    Option3 = option("Option3", QStringLiteral("商品排行"), 1200);
    Option4 = option("Option4", QStringLiteral("库存金额"), 1560);
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(3360, 480, 1095, 375));
    Command2 = new QPushButton(QStringLiteral("取消"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(twips(3360, 1320, 1095, 375));
    Label1 = new QLabel(QStringLiteral("这里的分析功能还在不断完善中。您在使用中有什么意见和建议，"
                                       "欢迎告诉我们，帮助我们把它做得更好！"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(120, 1920, 3255, 1335));
    Label1->setWordWrap(true);

    connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form7::Command2_Click);
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
    else
        chosen = m_main->form6();
    chosen->show();
    chosen->raise();
    chosen->activateWindow();
}

void Form7::Command2_Click()
{
    hide();
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

FormLowStock *Form7::lowStock()
{
    if (!m_lowStock)
        m_lowStock = new FormLowStock(m_main);
    return m_lowStock;
}

FormRanking *Form7::ranking()
{
    if (!m_ranking)
        m_ranking = new FormRanking(m_main);
    return m_ranking;
}

FormStockValue *Form7::stockValue()
{
    if (!m_stockValue)
        m_stockValue = new FormStockValue(m_main);
    return m_stockValue;
}
