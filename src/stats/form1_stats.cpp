// The main window's side of the daily statistics window.
#include "mainwin/form1.h"

// Not built yet.
bool Form1::op101(const QStringList &) { return true; }
bool Form1::op102(const QStringList &) { return true; }
