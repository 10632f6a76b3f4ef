#include "query/form4.h"

#include "mainwin/form1.h"

Form4::Form4(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("查找"));
}

void Form4::days(const QString &) {}

