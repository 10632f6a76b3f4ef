// The context menus "导出到文件…" and "复制" of the lists: the lines shown, or the selected ones
// of a list where several can be selected, as a table for spreadsheets.
#pragma once

#include "ledger/csv.h"

#include <QString>
#include <QStringList>
#include <functional>

class Form1;
class Form6;
class QAbstractItemView;

namespace ui {

// What a list exports: a name for the default file name, the column names, and the cells of
// one line of the list (by row).
struct ExportSource {
    QString name;
    QStringList header;
    std::function<QStringList(int row)> cells;
};

// Adds the two actions to the list's context menu. A right click opens the menu without
// changing the selection.
void addExportMenu(QAbstractItemView *view, const ExportSource &source);

// The table the menu takes now: the selected lines of a multiple-selection list when some are
// selected, else every line.
ledger::Table exportTable(const QAbstractItemView *view, const ExportSource &source);

// The menus of the main window's category, product and transaction lists, and of the
// statistics window's day list.
void addExportMenus(Form1 *main);
void addExportMenus(Form6 *stats);

} // namespace ui
