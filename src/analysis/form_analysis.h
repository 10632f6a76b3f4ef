// What the analysis windows share: a heading over a table, a note under it and a close button.
// Each window fills its tables afresh whenever it becomes active.
#pragma once

#include <QWidget>
#include <functional>

class AnalysisModel;
class Form1;
class QLabel;
class QPushButton;
class QTableView;
class QVBoxLayout;

class AnalysisWindow : public QWidget {
    Q_OBJECT

public:
    // list: the model of List1, which the window takes.
    AnalysisWindow(Form1 *main, const char *objectName, const QString &title, AnalysisModel *list);

    QLabel *Label1;        // the heading over the list
    QTableView *List1;
    QLabel *Label2;        // the note under the list
    QPushButton *Command1; // "关闭"

public slots:
    void Form_Activate();
    void Command1_Click();

protected:
    // Reads the ledger and fills the window.
    virtual void refresh() = 0;
    // The layout the controls sit in, top to bottom, for a window to add its own.
    QVBoxLayout *column() const { return m_column; }
    // A table of model's rows, sorted by the figures of the heading clicked (in the model's
    // order until one is); model becomes the table's.
    QTableView *makeTable(const char *objectName, AnalysisModel *model);
    // The export menu of a table: its rows in the order shown, cells(modelRow) spelling one.
    static void addExport(QTableView *table, const QString &name, const QStringList &header,
                          std::function<QStringList(int modelRow)> cells);

    // A window width of this many display columns of the monospace font.
    static int listWidth(int columns);

    Form1 *m_main;

private:
    QVBoxLayout *m_column;
};
