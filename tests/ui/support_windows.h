// Shared by the tests that go through every window of the program: each window opened by its
// name, as the user opens it.
#pragma once

#include "about/form3.h"
#include "about/form7.h"
#include "analysis/form_daychart.h"
#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "query/form4.h"
#include "query/form5.h"
#include "recycle/form_recycle.h"
#include "stats/form6.h"
#include "stocktake/form_stocktake.h"

#include <QAction>
#include <QMenu>
#include <functional>
#include <map>

// The window of that objectName, shown and active. The chart comes from the statistics list's
// menu.
inline QWidget *openWindow(Form1 &w, const QString &name)
{
    const std::map<QString, std::function<QWidget *()>> windows = {
        {QStringLiteral("Form1"), [&w] { return &w; }},
        {QStringLiteral("Form2"), [&w] { return w.form2(); }},
        {QStringLiteral("Form3"), [&w] { return w.form3(); }},
        {QStringLiteral("Form4"), [&w] { return w.form4(); }},
        {QStringLiteral("Form5"), [&w] { return w.form5(); }},
        {QStringLiteral("Form6"), [&w] { return w.form6(); }},
        {QStringLiteral("Form7"), [&w] { return w.form7(); }},
        {QStringLiteral("FormLowStock"), [&w] { return w.form7()->lowStock(); }},
        {QStringLiteral("FormRanking"), [&w] { return w.form7()->ranking(); }},
        {QStringLiteral("FormStockValue"), [&w] { return w.form7()->stockValue(); }},
        {QStringLiteral("FormStockTake"), [&w] { return w.form7()->stockTake(); }},
        {QStringLiteral("FormRecycle"), [&w] { return w.form7()->recycle(); }},
        {QStringLiteral("FormDayChart"), [&w]() -> QWidget * {
             QMenu menu;
             addChartAction(&menu, w.form6());
             menu.actions().constFirst()->trigger();
             return w.form6()->findChild<FormDayChart *>();
         }},
    };
    QWidget *window = windows.at(name)();
    ui::present(window);
    return window;
}

// Every window but the main one.
inline const QStringList kSecondaryWindows = {
    QStringLiteral("Form2"),          QStringLiteral("Form3"),       QStringLiteral("Form4"),
    QStringLiteral("Form5"),          QStringLiteral("Form6"),       QStringLiteral("Form7"),
    QStringLiteral("FormLowStock"),   QStringLiteral("FormRanking"), QStringLiteral("FormStockValue"),
    QStringLiteral("FormDayChart"),   QStringLiteral("FormStockTake"), QStringLiteral("FormRecycle")};
