// Browsing and deletion in the main window: the lists, the transaction line, selection and
// deletion.
#include "ledger/text.h"
#include "mainwin/form1.h"

using namespace ledger;

QString Form1::jkg(const QString &str, int kf) { return kf == 0 ? makeTxLine(str) : txLineToRequest(str); }

int Form1::lenx(const QString &str) { return displayWidth(str); }

// Not built yet.
void Form1::op1(const QStringList &) {}
void Form1::op2() {}
void Form1::op3() {}
void Form1::op4() {}
void Form1::op5(const QString &) {}
bool Form1::pds(const QString &) { return true; }
void Form1::List1_Click() {}
void Form1::List2_Click() {}
void Form1::Check2_Click() {}
void Form1::Option1_Click() {}
void Form1::Option2_Click() {}
void Form1::Command2_Click() {}
void Form1::Command4_Click() {}
void Form1::Command6_Click() {}
void Form1::Command7_Click() {}
void Form1::Command9_Click() {}
