// Adding categories, products and transactions in the main window.
#include "mainwin/form1.h"

// Not built yet.
void Form1::Command1_Click() {}
void Form1::Command3_Click() {}
void Form1::Command8_Click() {}
