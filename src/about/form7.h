#pragma once

#include <QWidget>

class Form1;

class Form7 : public QWidget {
    Q_OBJECT

public:
    explicit Form7(Form1 *main);

private:
    Form1 *m_main;
};
