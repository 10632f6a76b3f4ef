#include "query/form5.h"

#include "mainwin/form1.h"

Form5::Form5(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("计算"));
}

