#include "about/form7.h"

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
    setFixedSize(twips(0, 0, 4680, 2445).size());

    Option1 = new ui::OptionButton(QStringLiteral("每日统计"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(twips(360, 480, 1695, 255));
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
    Label1->setGeometry(twips(120, 840, 3255, 1335));
    Label1->setWordWrap(true);

    connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form7::Command2_Click);
}

void Form7::Command1_Click()
{
    // Daily statistics is the only analysis, so the option need not be ticked.
    hide();
    Form6 *stats = m_main->form6();
    stats->show();
    stats->raise();
    stats->activateWindow();
}

void Form7::Command2_Click()
{
    hide();
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}
