#include "analysis/form_analysis.h"

#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

AnalysisWindow::AnalysisWindow(Form1 *main, const char *objectName, const QString &title)
    : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(title);
    const QFont mono(ui::monoFontFamily(), 9);
    Label1 = ui::control<QLabel>(this, "Label1");
    Label1->setFont(mono);
    List1 = makeList("List1");
    Label2 = ui::control<QLabel>(this, "Label2");
    Label2->setWordWrap(true);
    Command1 = ui::control<QPushButton>(this, "Command1", QStringLiteral("关闭"));

    m_column = new QVBoxLayout(this);
    m_column->addWidget(Label1);
    m_column->addWidget(List1, 1);
    m_column->addWidget(Label2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    m_column->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &AnalysisWindow::Command1_Click);
    ui::dialogKeys(this, nullptr, Command1);
}

void AnalysisWindow::Form_Activate() { refresh(); }

void AnalysisWindow::Command1_Click()
{
    hide();
    ui::present(m_main);
}

void LineModel::setLines(int count, std::function<QString(int)> line)
{
    beginResetModel();
    m_count = count;
    m_line = std::move(line);
    endResetModel();
}

int LineModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_count; }

QVariant LineModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_count)
        return {};
    return m_line(index.row());
}

QListView *AnalysisWindow::makeList(const char *objectName)
{
    auto *list = ui::control<QListView>(this, objectName);
    list->setFont(QFont(ui::monoFontFamily(), 9));
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setModel(new LineModel(list));
    return list;
}

void AnalysisWindow::setLines(QListView *list, int count, std::function<QString(int)> line)
{
    static_cast<LineModel *>(list->model())->setLines(count, std::move(line));
}

int AnalysisWindow::listWidth(int columns)
{
    const QFontMetrics fm(QFont(ui::monoFontFamily(), 9));
    return fm.horizontalAdvance(QString(columns, u'0')) + 40;
}
