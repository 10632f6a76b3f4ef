#include "mainwin/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Form1 w;
    if (!w.store())
        return 1; // the user has been told why the ledger file cannot be opened
    w.show();
    return QApplication::exec();
}
