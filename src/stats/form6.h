#pragma once

#include <QWidget>

class Form1;

class Form6 : public QWidget {
    Q_OBJECT

public:
    explicit Form6(Form1 *main);
    void day1(const QString &day);
    void day2(const QString &day);

private:
    Form1 *m_main;
};
