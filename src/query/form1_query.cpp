// The main window's side of the find and calculation dialogs.
#include "mainwin/form1.h"

// Not built yet.
void Form1::op6() {}
void Form1::op7() {}
void Form1::op8(const QStringList &) {}
void Form1::op11() {}
void Form1::op12() {}
void Form1::op13(const QStringList &) {}
