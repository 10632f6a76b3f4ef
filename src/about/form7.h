// The analysis chooser, opened from the find dialog: the daily statistics, and the low stock,
// ranking, stock value, stock-take and 回收站 windows.
#pragma once

#include <QPointer>
#include <QWidget>

class Form1;
class FormLowStock;
class FormRanking;
class FormRecycle;
class FormStockTake;
class FormStockValue;
class QLabel;
class QPushButton;
class QRadioButton;

class Form7 : public QWidget {
    Q_OBJECT

public:
    explicit Form7(Form1 *main);

    QRadioButton *Option1, *Option2, *Option3, *Option4, *Option5, *Option6;
    QPushButton *Command1, *Command2;
    QLabel *Label1;

    // The analysis windows, each created on first use.
    FormLowStock *lowStock();
    FormRanking *ranking();
    FormStockValue *stockValue();
    FormStockTake *stockTake();
    FormRecycle *recycle();

public slots:
    void Command1_Click();
    void Command2_Click();

private:
    Form1 *m_main;
    QPointer<FormLowStock> m_lowStock;
    QPointer<FormRanking> m_ranking;
    QPointer<FormStockValue> m_stockValue;
    QPointer<FormStockTake> m_stockTake;
    QPointer<FormRecycle> m_recycle;
};
