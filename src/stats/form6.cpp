#include "stats/form6.h"

#include "mainwin/form1.h"

Form6::Form6(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("每日统计"));
}

void Form6::day1(const QString &) {}
void Form6::day2(const QString &) {}

