#pragma once

#include <QWidget>

class Form1;

class Form3 : public QWidget {
    Q_OBJECT

public:
    explicit Form3(Form1 *main);

private:
    Form1 *m_main;
};
