// The analyses of the chooser and the chart of the daily statistics, through their windows.
#include "about/form7.h"
#include "analysis/analysis_model.h"
#include "analysis/form_daychart.h"
#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "stats/form6.h"
#include "support_main.h"

#include <QAction>
#include <QChart>
#include <QClipboard>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QToolTip>
#include <QValueAxis>
#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

// 水果: 苹果 sold out (10 in, 12 out), 梨 plenty; 饮料: 可乐 sold last month only.
void addLedger(Form1 &w)
{
    const QDate today = QDate::currentDate();
    w.axd(QStringLiteral("1|水果"), 0);
    w.axd(QStringLiteral("2|苹果|水果"), 0);
    w.axd(QStringLiteral("2|梨|水果"), 0);
    w.axd(QStringLiteral("1|饮料"), 0);
    w.axd(QStringLiteral("2|可乐|饮料"), 0);
    auto add = [&](const char *name, const char *cat, bool in, const char *qty, const char *total, const QDate &d) {
        (in ? w.Option1 : w.Option2)->setChecked(true);
        w.axd(QStringLiteral("3|%1|%2|1|%3|%4|%5|1")
                  .arg(QString::fromUtf8(name), QString::fromUtf8(cat), QString::fromLatin1(qty),
                       QString::fromLatin1(total), ledger::pickedDateText(d)),
              0);
    };
    add("苹果", "水果", true, "10", "50", today.addDays(-3));
    add("苹果", "水果", false, "12", "96", today);
    add("梨", "水果", true, "100", "300", today.addDays(-3));
    add("梨", "水果", false, "2", "10", today);
    add("可乐", "饮料", true, "20", "40", today.addMonths(-1));
    add("可乐", "饮料", false, "5", "15", today.addMonths(-1));
    // A text the ledger can hold but no number reads: it counts 0 and ends nothing.
    add("梨", "水果", false, "abc", "x", today);
}

// What "复制" of a list's context menu puts on the clipboard.
QString copied(QAbstractItemView *list)
{
    QGuiApplication::clipboard()->clear();
    list->findChild<QAction *>(QStringLiteral("exportCopy"), Qt::FindDirectChildrenOnly)->trigger();
    return QGuiApplication::clipboard()->text();
}

// The texts of a table as shown: one row, one column, or the headings.
QStringList shownRow(const QAbstractItemView *table, int row)
{
    QStringList out;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        out << table->model()->index(row, c).data().toString();
    return out;
}

QStringList shownColumn(const QAbstractItemView *table, int column)
{
    QStringList out;
    for (int r = 0; r < table->model()->rowCount(); ++r)
        out << table->model()->index(r, column).data().toString();
    return out;
}

QStringList headings(const QTableView *table)
{
    QStringList out;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        out << table->model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

int count(QAbstractItemView *list) { return list->model()->rowCount(); }

// A click on a column heading, as the user makes it.
void clickHeading(QTableView *table, int column)
{
    QHeaderView *header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void chooserOpensEachAnalysis();
    void lowStockListsWhatRunsOut();
    void rankingSortsByTheClickedHeading();
    void stockValueSetsNegativeStockApart();
    void chartOfTheStatisticsList();
    void chartPlacesEachDayAtItsKey();
    void listsCopyTheirFiguresAsTables();
    void listsSortByTheFigures_data();
    void listsSortByTheFigures();
    void listModelsPassTheModelTester();
};

void TestAnalysis::chooserOpensEachAnalysis()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form7 *chooser = w.form7();
    const std::pair<QRadioButton *, QString> options[] = {{chooser->Option2, QStringLiteral("库存预警")},
                                                          {chooser->Option3, QStringLiteral("商品排行")},
                                                          {chooser->Option4, QStringLiteral("库存金额")}};
    for (const auto &[option, title] : options) {
        QCOMPARE(option->text(), title);
        // Below the daily statistics and above the notice, inside the window.
        QVERIFY(option->geometry().top() > chooser->Option1->geometry().bottom());
        QVERIFY(option->geometry().bottom() < chooser->Label1->geometry().top());
        chooser->show();
        option->setChecked(true);
        chooser->Command1->click();
        QVERIFY(!chooser->isVisible());
        QWidget *win = option == chooser->Option2 ? static_cast<QWidget *>(chooser->lowStock())
                       : option == chooser->Option3 ? static_cast<QWidget *>(chooser->ranking())
                                                    : static_cast<QWidget *>(chooser->stockValue());
        QVERIFY(win->isVisible());
        QCOMPARE(win->windowTitle(), title);
        QVERIFY(!w.hasForm(6));
        win->hide();
    }
    QVERIFY(chooser->Label1->geometry().bottom() <= chooser->height());
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::lowStockListsWhatRunsOut()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormLowStock *win = w.form7()->lowStock();
    win->show();
    QTRY_COMPARE(count(win->List1), 1);
    QCOMPARE(headings(win->List1), QStringList({QStringLiteral("类"), QStringLiteral("商品名"), QStringLiteral("库存"),
                                                QStringLiteral("日均出货"), QStringLiteral("可售天数"),
                                                QStringLiteral("状态")}));
    QCOMPARE(shownRow(win->List1, 0), QStringList({QStringLiteral("水果"), QStringLiteral("苹果"), QStringLiteral("-2"),
                                                   QStringLiteral("0.4"), QStringLiteral("0"), QStringLiteral("缺货")}));
    win->Check1->setChecked(true);
    QCOMPARE(count(win->List1), 3);
    // 梨: 98 left at 2 in 30 days; 可乐 lasts fewer days.
    QCOMPARE(shownColumn(win->List1, 1), QStringList({QStringLiteral("苹果"), QStringLiteral("可乐"), QStringLiteral("梨")}));
    QCOMPARE(shownRow(win->List1, 2), QStringList({QStringLiteral("水果"), QStringLiteral("梨"), QStringLiteral("98"),
                                                   QStringLiteral("0.07"), QStringLiteral("1470"), QString()}));
    // A rate taken over 90 days is starred.
    w.axd(QStringLiteral("2|茶|饮料"), 0);
    w.Option2->setChecked(true);
    w.axd(QStringLiteral("3|茶|饮料|1|1|1|%1|1").arg(ledger::pickedDateText(QDate::currentDate().addDays(-60))), 0);
    win->Form_Activate();
    QCOMPARE(shownRow(win->List1, 1), QStringList({QStringLiteral("饮料"), QStringLiteral("茶"), QStringLiteral("-1"),
                                                   QStringLiteral("*0.01"), QStringLiteral("0"), QStringLiteral("缺货")}));
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::rankingSortsByTheClickedHeading()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormRanking *win = w.form7()->ranking();
    win->show();
    QTRY_COMPARE(count(win->List1), 3);
    // By profit: 苹果 (8 - 5) x 12 = 36, 梨 (5 - 3) x 2 = 4, 可乐 (3 - 2) x 5 = 5.
    auto names = [win] { return shownColumn(win->List1, 1).join(u','); };
    QCOMPARE(names(), QStringLiteral("苹果,可乐,梨"));
    QCOMPARE(shownRow(win->List1, 0), QStringList({QStringLiteral("水果"), QStringLiteral("苹果"), QStringLiteral("12"),
                                                   QStringLiteral("96"), QStringLiteral("36"), QStringLiteral("80%")}));
    QCOMPARE(win->Header1, win->List1->horizontalHeader());
    const int quantity = static_cast<int>(ledger::RankColumn::Quantity);
    clickHeading(win->List1, quantity);
    QCOMPARE(names(), QStringLiteral("苹果,可乐,梨")); // 12, 5, 2
    QCOMPARE(win->Header1->sortIndicatorSection(), quantity);
    QCOMPARE(win->Header1->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeading(win->List1, quantity);
    QCOMPARE(names(), QStringLiteral("梨,可乐,苹果"));
    QCOMPARE(win->Header1->sortIndicatorOrder(), Qt::AscendingOrder);
    // This month: 可乐 sold last month only.
    win->Combo1->setCurrentIndex(2);
    QCOMPARE(count(win->List1), 2);
    QCOMPARE(names(), QStringLiteral("梨,苹果")); // still by quantity, the smallest first
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::stockValueSetsNegativeStockApart()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockValue *win = w.form7()->stockValue();
    win->show();
    // 梨: 98 pieces at 3 = 294; 可乐: 15 at 2 = 30; 苹果 (-2) apart.
    QTRY_COMPARE(count(win->List1), 3);
    QCOMPARE(headings(win->List1), QStringList({QStringLiteral("类"), QStringLiteral("商品数"),
                                                QStringLiteral("库存数量"), QStringLiteral("库存金额(元)")}));
    QCOMPARE(shownRow(win->List1, 0), QStringList({QStringLiteral("水果"), QStringLiteral("1"), QStringLiteral("98"),
                                                   QStringLiteral("294")}));
    QCOMPARE(shownRow(win->List1, 1).last(), QStringLiteral("30"));
    QCOMPARE(shownRow(win->List1, 2), QStringList({QStringLiteral("合计"), QString(), QString(), QStringLiteral("324")}));
    QCOMPARE(count(win->List2), 1);
    QCOMPARE(shownRow(win->List2, 0), QStringList({QStringLiteral("水果"), QStringLiteral("苹果"), QStringLiteral("-2"),
                                                   QStringLiteral("-10"), QStringLiteral("库存为负")}));
    QVERIFY(win->Label3->isHidden());
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::chartOfTheStatisticsList()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    Form6 *stats = w.form6();
    stats->show();
    stats->day1(ledger::pickedDateText(QDate::currentDate().addMonths(-1)));
    stats->day2(ledger::pickedDateText(QDate::currentDate()));
    stats->Combo1->setCurrentIndex(0);
    stats->Command1_Click();
    QCOMPARE(stats->List1->count(), 3);

    QMenu menu;
    addChartAction(&menu, stats);
    QCOMPARE(menu.actions().size(), 1);
    QCOMPARE(menu.actions().first()->text(), QStringLiteral("图表"));
    menu.actions().first()->trigger();
    auto *chart = stats->findChild<FormDayChart *>();
    QVERIFY(chart && chart->isVisible());
    // Every day from the first to the last listed one, the days between at 0.
    const qint64 span = QDate::currentDate().addMonths(-1).daysTo(QDate::currentDate()) + 1;
    QCOMPARE(static_cast<qint64>(chart->data().days.size()), span);
    const auto series = chart->Chart1->chart()->series();
    QCOMPARE(series.size(), 2);
    auto *in = qobject_cast<QLineSeries *>(series[0]);
    auto *out = qobject_cast<QLineSeries *>(series[1]);
    QCOMPARE(in->name(), QStringLiteral("进货总额"));
    QCOMPARE(out->count(), static_cast<int>(span));
    QCOMPARE(out->at(out->count() - 1).y(), 96.0 + 10.0);
    QCOMPARE(in->at(1).y(), 0.0);
    QVERIFY(chart->Chart1->chart()->legend()->isVisible());
    // The tooltip of the last day.
    emit out->hovered(out->at(out->count() - 1), true);
    QCOMPARE(QToolTip::text(), chart->tipText(static_cast<int>(span) - 1));
    QVERIFY(QToolTip::text().contains(QStringLiteral("出货总额：106 元")));

    // A picture to look at.
    const QString png = folder.file(QStringLiteral("chart.png"));
    QVERIFY(chart->grab().save(png));
    if (qEnvironmentVariableIsSet("CHART_PNG"))
        chart->grab().save(qEnvironmentVariable("CHART_PNG"));
    QVERIFY(QImage(png).width() >= 600);
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::chartPlacesEachDayAtItsKey()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.axd(QStringLiteral("1|水果"), 0);
    w.axd(QStringLiteral("2|苹果|水果"), 0);
    auto add = [&w](bool in, const char *total, const char *date) {
        (in ? w.Option1 : w.Option2)->setChecked(true);
        w.axd(QStringLiteral("3|苹果|水果|1|1|%1|%2|1").arg(QLatin1String(total), QLatin1String(date)), 0);
    };
    add(true, "10", "2026-12-5");
    add(false, "4", "1926/12/5"); // the same day by its key 26-12-05, and the text its line shows
    add(true, "-30", "26-12-7");
    Form6 *stats = w.form6();
    stats->show();
    stats->Combo1->setCurrentIndex(3);
    stats->day1(QStringLiteral("26-12-1"));
    stats->day2(QStringLiteral("26-12-31"));
    stats->Command1_Click();
    QCOMPARE(stats->List1->count(), 2);

    QMenu menu;
    addChartAction(&menu, stats);
    menu.actions().first()->trigger();
    auto *chart = stats->findChild<FormDayChart *>();
    QVERIFY(chart);
    const std::vector<ledger::ChartDay> &days = chart->data().days;
    QCOMPARE(days.size(), 3u);
    QCOMPARE(days.front().date, QDate(2026, 12, 5));
    QCOMPARE(days.front().in, 10.0);
    QCOMPARE(days.front().out, 4.0);
    QCOMPARE(days.back().in, -30.0);
    // The value axis takes in the negative day.
    auto *y = qobject_cast<QValueAxis *>(chart->Chart1->chart()->axes(Qt::Vertical).value(0));
    QVERIFY(y);
    QVERIFY(y->min() <= -30 && y->max() >= 10);
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::listsCopyTheirFiguresAsTables()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormLowStock *low = w.form7()->lowStock();
    low->show();
    QTRY_COMPARE(count(low->List1), 1);
    // 苹果: 12 sold in 30 days, 0.4 a day, -2 left.
    QCOMPARE(copied(low->List1), QStringLiteral("类\t商品名\t库存\t日均出货\t按天数计\t可售天数\t状态\n"
                                                "水果\t苹果\t-2\t0.4\t30\t0\t缺货\n"));

    FormRanking *rank = w.form7()->ranking();
    rank->show();
    QTRY_COMPARE(count(rank->List1), 3);
    const QString header = QStringLiteral("类\t商品名\t出货数量\t营业额\t营业利润\t利润占比(%)\n");
    const QString apple = QStringLiteral("水果\t苹果\t12\t96\t36\t80\n");
    const QString cola = QStringLiteral("饮料\t可乐\t5\t15\t5\t11.11\n");
    const QString pear = QStringLiteral("水果\t梨\t2\t10\t4\t8.89\n");
    QCOMPARE(copied(rank->List1), header + apple + cola + pear);
    // In the order shown after a click on a heading.
    clickHeading(rank->List1, static_cast<int>(ledger::RankColumn::Profit));
    QCOMPARE(copied(rank->List1), header + pear + cola + apple);

    FormStockValue *value = w.form7()->stockValue();
    value->show();
    QTRY_COMPARE(count(value->List1), 3);
    QCOMPARE(copied(value->List1), QStringLiteral("类\t商品数\t库存数量\t库存金额(元)\n水果\t1\t98\t294\n"
                                                  "饮料\t1\t15\t30\n合计\t\t\t324\n"));
    clickHeading(value->List1, 3);
    clickHeading(value->List1, 3);
    QCOMPARE(copied(value->List1), QStringLiteral("类\t商品数\t库存数量\t库存金额(元)\n饮料\t1\t15\t30\n"
                                                  "水果\t1\t98\t294\n合计\t\t\t324\n"));
    QCOMPARE(copied(value->List2), QStringLiteral("类\t商品名\t库存\t金额(元)\t原因\n水果\t苹果\t-2\t-10\t库存为负\n"));
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::listsSortByTheFigures_data()
{
    QTest::addColumn<bool>("ranking"); // else the stock value
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("order"); // the products of the ranking, the categories of the value
    // 桃 was sold but never bought: no profit, last whichever way profit or share is sorted.
    // As text, 96 would sort before 15 and 294 before 30.
    QTest::newRow("ranking as opened") << true << 4 << 0 << QStringLiteral("苹果,可乐,梨,桃");
    QTest::newRow("profit, smallest first") << true << 4 << 1 << QStringLiteral("梨,可乐,苹果,桃");
    QTest::newRow("share") << true << 5 << 1 << QStringLiteral("苹果,可乐,梨,桃");
    QTest::newRow("share, smallest first") << true << 5 << 2 << QStringLiteral("梨,可乐,苹果,桃");
    QTest::newRow("quantity") << true << 2 << 1 << QStringLiteral("苹果,可乐,梨,桃");
    QTest::newRow("quantity, smallest first") << true << 2 << 2 << QStringLiteral("桃,梨,可乐,苹果");
    QTest::newRow("turnover") << true << 3 << 1 << QStringLiteral("苹果,可乐,梨,桃");
    QTest::newRow("product names") << true << 1 << 1 << QStringLiteral("可乐,桃,梨,苹果");
    QTest::newRow("product names reversed") << true << 1 << 2 << QStringLiteral("苹果,梨,桃,可乐");
    QTest::newRow("categories, ties as shown before") << true << 0 << 1 << QStringLiteral("苹果,梨,桃,可乐");
    QTest::newRow("value as opened") << false << 3 << 0 << QStringLiteral("水果,饮料,合计");
    QTest::newRow("value") << false << 3 << 1 << QStringLiteral("水果,饮料,合计");
    QTest::newRow("value, smallest first") << false << 3 << 2 << QStringLiteral("饮料,水果,合计");
    QTest::newRow("stock, smallest first") << false << 2 << 2 << QStringLiteral("饮料,水果,合计");
    QTest::newRow("category names reversed") << false << 0 << 2 << QStringLiteral("饮料,水果,合计");
}

void TestAnalysis::listsSortByTheFigures()
{
    QFETCH(bool, ranking);
    QFETCH(int, column);
    QFETCH(int, clicks);
    QFETCH(QString, order);
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    w.axd(QStringLiteral("2|桃|水果"), 0);
    w.Option2->setChecked(true);
    w.axd(QStringLiteral("3|桃|水果|9|1|9|%1|1").arg(ledger::pickedDateText(QDate::currentDate())), 0);
    AnalysisWindow *win = ranking ? static_cast<AnalysisWindow *>(w.form7()->ranking()) : w.form7()->stockValue();
    win->show();
    QTRY_COMPARE(count(win->List1), ranking ? 4 : 3);
    for (int i = 0; i < clicks; ++i)
        clickHeading(win->List1, column);
    QCOMPARE(shownColumn(win->List1, ranking ? 1 : 0).join(u','), order);
    // Read again: the order stays.
    win->Form_Activate();
    QCOMPARE(shownColumn(win->List1, ranking ? 1 : 0).join(u','), order);
    QVERIFY(boxes.seen.isEmpty());
}

void TestAnalysis::listModelsPassTheModelTester()
{
    Session s;
    auto &[folder, boxes, w] = s;
    FormLowStock *low = w.form7()->lowStock();
    FormRanking *rank = w.form7()->ranking();
    FormStockValue *value = w.form7()->stockValue();
    const QList<QTableView *> tables = {low->List1, rank->List1, value->List1, value->List2};
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
    for (QTableView *table : tables) {
        auto *proxy = qobject_cast<QSortFilterProxyModel *>(table->model());
        QVERIFY(proxy);
        for (QAbstractItemModel *model : {proxy->sourceModel(), static_cast<QAbstractItemModel *>(proxy)})
            testers.push_back(std::make_unique<QAbstractItemModelTester>(
                model, QAbstractItemModelTester::FailureReportingMode::QtTest));
    }
    // Empty, then filled, read again with other choices and sorted by every column both ways.
    for (AnalysisWindow *win : std::initializer_list<AnalysisWindow *>{low, rank, value})
        win->show();
    addLedger(w);
    for (AnalysisWindow *win : std::initializer_list<AnalysisWindow *>{low, rank, value})
        win->Form_Activate();
    low->Check1->setChecked(true);
    rank->Combo1->setCurrentIndex(2);
    QCOMPARE(count(low->List1), 3);
    QCOMPARE(count(rank->List1), 2);
    QCOMPARE(count(value->List2), 1);
    for (QTableView *table : tables)
        for (int column = 0; column < table->model()->columnCount(); ++column) {
            clickHeading(table, column);
            clickHeading(table, column);
            QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), column);
        }
    QVERIFY(boxes.seen.isEmpty());
}

QTEST_MAIN(TestAnalysis)
#include "test_analysis.moc"
