#pragma once

#include <QWidget>

class Form1;

class Form4 : public QWidget {
    Q_OBJECT

public:
    explicit Form4(Form1 *main);
    void days(const QString &dat);

private:
    Form1 *m_main;
};
