#include "mainwin/ui_app.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return ui::runProgram();
}
