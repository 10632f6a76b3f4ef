#include "about/form3.h"

#include "mainwin/form1.h"

Form3::Form3(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("关于"));
}

