#include "mainwin/ui_export.h"

#include "browse/ui_tx_list.h"

#include "ledger/ledger_folder.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "stats/form6.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace ui {

namespace {

// Eats right-button clicks on the lines, so that opening the menu selects nothing and runs no
// click handler of the list.
class RightClickGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return static_cast<QMouseEvent *>(e)->button() == Qt::RightButton;
        default:
            return false;
        }
    }
};

// The ledger of the running program, which no export may overwrite.
QString ledgerPath()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *main = qobject_cast<Form1 *>(top); main && main->store())
            return main->store()->path();
    return ledger::kLedgerFileName; // the program runs in the ledger's folder
}

const QString kLastFolder = QStringLiteral("export/folder");

// In the user's configuration folder (~/.config/warehouse/warehouse.conf).
QSettings settings() { return QSettings(QStringLiteral("warehouse"), QStringLiteral("warehouse")); }

// The folder used last, else the desktop's documents folder, else the home folder; never the
// ledger's folder, which a start from the menu keeps out of sight.
QString startFolder()
{
    const QString last = settings().value(kLastFolder).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// Says where the file went; "打开文件夹" shows it in the desktop's file manager.
void tellWhere(QWidget *parent, const QString &path)
{
    QMessageBox box(QMessageBox::NoIcon, kTipTitle,
                    QStringLiteral("已导出到文件“%1”！").arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok | QMessageBox::Open, parent);
    box.button(QMessageBox::Open)->setText(QStringLiteral("打开文件夹"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (box.exec() == QMessageBox::Open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void exportToFile(QAbstractItemView *view, const ExportSource &source)
{
    const QString name = QStringLiteral("%1-%2.csv").arg(source.name, QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    QFileDialog dialog(view->window(), QStringLiteral("导出到文件"), QDir(startFolder()).filePath(name),
                       QStringLiteral("CSV 文件 (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString why = ledger::exportTargetProblem(path, ledgerPath());
    if (why.isEmpty())
        why = ledger::writeCsvFile(path, exportTable(view, source));
    if (!why.isEmpty()) {
        message(view->window(), QStringLiteral("无法导出到文件“%1”：%2！").arg(QDir::toNativeSeparators(path), why));
        return;
    }
    settings().setValue(kLastFolder, QFileInfo(path).absolutePath());
    tellWhere(view->window(), path);
}

QStringList lineText(const QListWidget *list, int row) { return {list->item(row)->text()}; }

} // namespace

ledger::Table exportTable(const QAbstractItemView *view, const ExportSource &source)
{
    ledger::Table table;
    table.header = source.header;
    QList<int> rows;
    const auto mode = view->selectionMode();
    if (mode == QAbstractItemView::MultiSelection || mode == QAbstractItemView::ExtendedSelection)
        for (const QModelIndex &index : view->selectionModel()->selectedRows())
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        for (int row = 0; row < view->model()->rowCount(); ++row)
            rows << row;
    for (int row : rows)
        table.rows << source.cells(row);
    return table;
}

void addExportMenu(QAbstractItemView *view, const ExportSource &source)
{
    auto *toFile = new QAction(QStringLiteral("导出到文件…"), view);
    toFile->setObjectName(QStringLiteral("exportToFile"));
    QObject::connect(toFile, &QAction::triggered, view, [view, source] { exportToFile(view, source); });
    auto *copy = new QAction(QStringLiteral("复制"), view);
    copy->setObjectName(QStringLiteral("exportCopy"));
    QObject::connect(copy, &QAction::triggered, view, [view, source] {
        QGuiApplication::clipboard()->setText(ledger::toTsv(exportTable(view, source)));
    });
    view->addActions({toFile, copy});
    view->viewport()->installEventFilter(new RightClickGuard(view));
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, view, [view](const QPoint &pos) {
        QMenu::exec(view->actions(), view->viewport()->mapToGlobal(pos), nullptr, view);
    });
}

void addExportMenus(Form1 *main)
{
    addExportMenu(main->List1, {QStringLiteral("类"), {QStringLiteral("类")},
                                [main](int row) { return lineText(main->List1, row); }});
    addExportMenu(main->List2, {QStringLiteral("商品"), {QStringLiteral("商品名")},
                                [main](int row) { return lineText(main->List2, row); }});
    // The record behind each line, not its padded text.
    addExportMenu(main->List3, {QStringLiteral("交易记录"), ledger::transactionHeader(), [main](int row) {
                                    return ledger::transactionCells(main->lineRecord(row));
                                }});
}

void addExportMenus(Form6 *stats)
{
    const QStringList header{QStringLiteral("日期"), QStringLiteral("进货总额"), QStringLiteral("出货总额"),
                             QStringLiteral("索引号")};
    addExportMenu(stats->List1, {QStringLiteral("每日统计"), header, [stats](int row) {
                                     return stats->jkg(stats->List1->item(row)->text(), 1).split(ledger::kSep);
                                 }});
}

} // namespace ui
