// What the analysis windows share: a heading over a list of fixed-width lines, a note under
// it and a close button. Each window fills the list afresh whenever it becomes active.
#pragma once

#include <QWidget>

class Form1;
class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

class AnalysisWindow : public QWidget {
    Q_OBJECT

public:
    AnalysisWindow(Form1 *main, const char *objectName, const QString &title);

    QLabel *Label1;        // the heading over the list
    QListWidget *List1;
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
    static void setLines(QListWidget *list, const QStringList &lines);
    // A width that shows lines of this many display columns without a scroll bar.
    static int listWidth(int columns);

    Form1 *m_main;

private:
    QVBoxLayout *m_column;
};
