#include "analysis/form_analysis.h"

#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
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
    List1 = ui::control<QListWidget>(this, "List1");
    List1->setFont(mono);
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
}

void AnalysisWindow::Form_Activate() { refresh(); }

void AnalysisWindow::Command1_Click()
{
    hide();
    ui::present(m_main);
}

void AnalysisWindow::setLines(QListWidget *list, const QStringList &lines)
{
    list->setUpdatesEnabled(false);
    list->clear();
    list->addItems(lines);
    list->setUpdatesEnabled(true);
}

int AnalysisWindow::listWidth(int columns)
{
    const QFontMetrics fm(QFont(ui::monoFontFamily(), 9));
    return fm.horizontalAdvance(QString(columns, u'0')) + 40;
}
