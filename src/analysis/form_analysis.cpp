#include "analysis/form_analysis.h"

#include "analysis/analysis_model.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "mainwin/ui_export.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

AnalysisWindow::AnalysisWindow(Form1 *main, const char *objectName, const QString &title, AnalysisModel *list)
    : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(title);
    Label1 = ui::control<QLabel>(this, "Label1");
    List1 = makeTable("List1", list);
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

QTableView *AnalysisWindow::makeTable(const char *objectName, AnalysisModel *model)
{
    auto *table = ui::control<QTableView>(this, objectName);
    model->setParent(table);
    auto *proxy = new FigureSortModel(table);
    proxy->setSourceModel(model);
    table->setModel(proxy);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One row at a time: the export menu then takes every row.
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->setShowGrid(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    // The columns as wide as their texts, the wide one taking the rest of the room.
    QHeaderView *header = table->horizontalHeader();
    for (int c = 0; c < model->columnCount(); ++c)
        header->setSectionResizeMode(c, model->isWide(c) ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    return table;
}

void AnalysisWindow::addExport(QTableView *table, const QString &name, const QStringList &header,
                               std::function<QStringList(int modelRow)> cells)
{
    const auto *proxy = static_cast<const QSortFilterProxyModel *>(table->model());
    ui::addExportMenu(table, {name, header, [proxy, cells = std::move(cells)](int row) {
                                  return cells(proxy->mapToSource(proxy->index(row, 0)).row());
                              }});
}

int AnalysisWindow::listWidth(int columns)
{
    const QFontMetrics fm(QFont(ui::monoFontFamily(), 9));
    return fm.horizontalAdvance(QString(columns, u'0')) + 40;
}
