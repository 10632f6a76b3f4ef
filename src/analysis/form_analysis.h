// What the analysis windows share: a heading over a list of fixed-width lines, a note under
// it and a close button. Each window fills the list afresh whenever it becomes active.
#pragma once

#include <QAbstractListModel>
#include <QWidget>
#include <functional>

class Form1;
class QLabel;
class QListView;
class QPushButton;
class QVBoxLayout;

// The lines of an analysis list, each spelled from its result row only when the view draws it.
class LineModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    void setLines(int count, std::function<QString(int)> line);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    int m_count = 0;
    std::function<QString(int)> m_line;
};

class AnalysisWindow : public QWidget {
    Q_OBJECT

public:
    AnalysisWindow(Form1 *main, const char *objectName, const QString &title);

    QLabel *Label1;        // the heading over the list
    QListView *List1;
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
    // A list of fixed-width lines (the monospace font, one height for every line).
    QListView *makeList(const char *objectName);
    // Shows count lines; line(row) spells one.
    static void setLines(QListView *list, int count, std::function<QString(int)> line);
    // A width that shows lines of this many display columns without a scroll bar.
    static int listWidth(int columns);

    Form1 *m_main;

private:
    QVBoxLayout *m_column;
};
