#include "about/form7.h"

#include "mainwin/form1.h"

Form7::Form7(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("智能分析"));
}

