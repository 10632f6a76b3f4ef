// 回收站: deletions made in the main window put back exactly, refused twice, asked about when
// their names exist again, cleared, and the window opened from the chooser and the lists' menus.
#include "about/form7.h"
#include "ledger/history.h"
#include "recycle/form_recycle.h"
#include "support_main.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>

using namespace ledger;

namespace {

const QString kSnacks = QStringLiteral("零食"), kChips = QStringLiteral("薯片"), kCookies = QStringLiteral("饼干");

// 零食 with 薯片 (three stock-ins, one without a total) and 饼干 (one), 饮料 with 可乐 (one),
// with 零食 and 薯片 chosen at the end.
void addLedger(Form1 &w)
{
    addChosenProduct(w, QStringLiteral("饮料"), QStringLiteral("可乐"));
    addTx(w, QStringLiteral("2"), QStringLiteral("6"));
    addChosenProduct(w, kSnacks, kCookies);
    addTx(w, QStringLiteral("3"), QStringLiteral("1"));
    addProduct(w, kChips);
    choose(w, kSnacks, kChips);
    w.Check2->setChecked(false);
    addTx(w, QStringLiteral("1.5"), QStringLiteral("10"));
    addTx(w, QStringLiteral("2"), QStringLiteral("4"));
    addTx(w, QStringLiteral("0.5"), QStringLiteral("8"));
}

FormRecycle *openFromChooser(Form1 &w)
{
    Form7 *chooser = w.form7();
    chooser->show();
    chooser->Option6->setChecked(true);
    chooser->Command1->click();
    FormRecycle *win = chooser->recycle();
    [&] { QVERIFY(QTest::qWaitForWindowActive(win)); }();
    win->Form_Activate(); // the lists as they are now, activated or not
    return win;
}

QAction *action(QWidget *list, const char *name)
{
    return list->findChild<QAction *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

// From the context menu of a list of the main window, which keeps its choices meanwhile.
FormRecycle *openFromMenu(Form1 &w, QWidget *list)
{
    action(list, "openRecycle")->trigger();
    auto *win = w.findChild<FormRecycle *>();
    [&] {
        QVERIFY(win);
        QVERIFY(QTest::qWaitForWindowActive(win));
    }();
    win->Form_Activate();
    return win;
}

QStringList copied(QWidget *list)
{
    QGuiApplication::clipboard()->clear();
    action(list, "exportCopy")->trigger();
    return QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
}

// The deletions of the main window, as a user makes them with 零食 and 薯片 chosen.
void deleteAsUser(Form1 &w, const QString &what)
{
    if (what == QStringLiteral("line")) {
        clickLine(w.List3, 1);
        w.Command9_Click();
    } else if (what == QStringLiteral("lines")) {
        w.Command6_Click();
        w.Command9_Click();
    } else if (what == QStringLiteral("product")) {
        w.Command4_Click();
    } else {
        w.Command2_Click();
    }
}

// A main window on a ledger of its own holding addLedger()'s rows. A test takes it apart:
// Shop s; auto &[folder, boxes, w] = s;
struct Shop : Session {
    Shop() { addLedger(w); }
    // Every row of 库 with its id, NULL apart from empty, in stored order, read underneath.
    QString table() const { return underneath(folder).table(); }
    // 薯片 deleted with its transactions, then the 回收站 opened from the chooser.
    FormRecycle *productDeleted()
    {
        w.Command4_Click();
        return openFromChooser(w);
    }
};

} // namespace

class TestRecycle : public QObject {
    Q_OBJECT

private slots:
    void restoreGivesBackTheLedger_data();
    void restoreGivesBackTheLedger();
    void restoringTwiceIsRefused();
    void namesThatExistAgainAreAskedAbout_data();
    void namesThatExistAgainAreAskedAbout();
    void rowsWhosePlaceWasTakenGoToTheEnd();
    void clearAsksFirst();
    void openedFromTheChooserAndTheListsMenus_data();
    void openedFromTheChooserAndTheListsMenus();
    void listsExportWhatTheyShow();
    void theRecordIsReadAPageAtATime();
};

void TestRecycle::restoreGivesBackTheLedger_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("summary");  // the line's text after its time
    QTest::addColumn<int>("rows");         // deleted
    QTest::addColumn<QString>("showsBack"); // the list of Form1 that shows them again at once
    QTest::addColumn<int>("codesLeft");     // of 薯片's one scanner code, while deleted
    QTest::newRow("line") << "line" << "删除 1 条交易记录" << 1 << "List3" << 1;
    QTest::newRow("lines") << "lines" << "删除 3 条交易记录" << 3 << "List3" << 1;
    QTest::newRow("product") << "product" << "删除商品“薯片”：3 条交易记录" << 4 << "List2" << 0;
    QTest::newRow("category") << "category" << "删除类“零食”：2 个商品、4 条交易记录" << 7 << "List1" << 0;
}

void TestRecycle::restoreGivesBackTheLedger()
{
    QFETCH(QString, what);
    QFETCH(QString, summary);
    QFETCH(int, rows);
    QFETCH(QString, showsBack);
    QFETCH(int, codesLeft);
    Shop s;
    auto &[folder, boxes, w] = s;
    w.store()->setProductCode({QStringLiteral("6901234567892"), kSnacks, kChips});
    const QString before = s.table();
    const QList<QStringList> shown = {lines(w.List1), lines(w.List2), lines(w.List3)};
    const std::size_t count = stored(w).size();
    QCOMPARE(shown[2].size(), 3);
    deleteAsUser(w, what);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("你是否确定删除！")});
    QCOMPARE(stored(w).size(), count - static_cast<std::size_t>(rows));
    QVERIFY(s.table() != before);
    QCOMPARE(static_cast<int>(w.store()->productCodes().size()), codesLeft);

    FormRecycle *win = openFromMenu(w, w.List3);
    QCOMPARE(win->windowTitle(), QStringLiteral("回收站"));
    QCOMPARE(win->List1->count(), 1);
    const QString line = win->List1->item(0)->text();
    QCOMPARE(line, changeLine(win->deletion(0)));
    QVERIFY2(line.endsWith(QStringLiteral("  ") + summary), qPrintable(line));
    QCOMPARE(win->Table1->rowCount(), rows);
    QCOMPARE(lines(win->List2).value(0), line); // the newest entry of the record
    QCOMPARE(lines(win->List2).size(), static_cast<int>(w.store()->history(1000).size()));

    win->Command1->click();
    QCOMPARE(boxes.texts().size(), 1); // nothing asked, nothing told
    QCOMPARE(s.table(), before);
    QCOMPARE(win->List1->count(), 0);
    QCOMPARE(win->Table1->rowCount(), 0);
    QVERIFY(lines(win->List2).value(0).contains(QStringLiteral("恢复第")));
    QCOMPARE(w.store()->productCodes().size(), 1u);
    // The list that lost them shows them again, the choices kept.
    QWidget *list = w.findChild<QWidget *>(showsBack);
    const int index = QStringList{"List1", "List2", "List3"}.indexOf(showsBack);
    QCOMPARE(lines(static_cast<QAbstractItemView *>(list)), shown[index]);
    if (what != QStringLiteral("category"))
        QCOMPARE(w.Label2->text(), kSnacks);
    choose(w, kSnacks, kChips);
    QCOMPARE((QList<QStringList>{lines(w.List1), lines(w.List2), lines(w.List3)}), shown);
    // A restored line is deleted like any other.
    clickLine(w.List3, 0);
    w.Command9_Click();
    QCOMPARE(lines(w.List3), shown[2].mid(1));
    QCOMPARE(stored(w).size(), count - 1);
}

void TestRecycle::restoringTwiceIsRefused()
{
    Shop s;
    auto &[folder, boxes, w] = s;
    FormRecycle *win = s.productDeleted();
    QCOMPARE(win->List1->count(), 1);
    // Another program puts it back while the window still lists it.
    const RestoredDeletion first = ledgerIn(folder)->restoreDeletion(win->deletion(0).number);
    const QString after = s.table();
    boxes.clear();
    win->Command1->click();
    const QString failed = onServerLedger() ? QStringLiteral("删除的记录未能恢复到服务器“%1”上的账本：")
                                            : QStringLiteral("删除的记录未能恢复到账本文件“%1”：");
    QCOMPARE(boxes.texts(), QStringList{failed.arg(w.store()->path()) +
                                        QStringLiteral("这次删除已经恢复过了（第 %1 号操作），不能再恢复一次！").arg(first.entry)});
    QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提示：")});
    QCOMPARE(s.table(), after);
    QCOMPARE(win->List1->count(), 0); // listed afresh

    boxes.clear();
    win->Command1->click(); // nothing left to choose
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("请选择要恢复的删除！")});
    QCOMPARE(s.table(), after);
}

void TestRecycle::namesThatExistAgainAreAskedAbout_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("asked");
    QTest::newRow("category, other direction") << "category" << "类“零食”";
    QTest::newRow("product") << "product" << "商品“薯片”（零食）";
}

void TestRecycle::namesThatExistAgainAreAskedAbout()
{
    QFETCH(QString, what);
    QFETCH(QString, asked);
    Shop s;
    auto &[folder, boxes, w] = s;
    deleteAsUser(w, what);
    if (what == QStringLiteral("category")) {
        w.Option2->setChecked(true); // a category row holds the direction it was added with
        addCategory(w, kSnacks);
    } else {
        addProduct(w, kChips);
    }
    const QString before = s.table();
    FormRecycle *win = openFromChooser(w);
    boxes.clear();
    boxes.answers = {QMessageBox::No};
    win->Command1->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("账本中又有了%1，恢复后会有同名的两份。是否仍然恢复？").arg(asked)});
    QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提问：")});
    QCOMPARE(s.table(), before);
    QCOMPARE(win->List1->count(), 1);

    boxes.answers = {QMessageBox::Yes};
    win->Command1->click();
    QCOMPARE(boxes.texts().size(), 2);
    QCOMPARE(win->List1->count(), 0);
    const int kind = what == QStringLiteral("category") ? kCategory : kProduct;
    const QString name = kind == kCategory ? kSnacks : kChips;
    int named = 0;
    for (const Record &r : stored(w))
        named += r.isKind(kind) && r.name == name;
    QCOMPARE(named, 2);
}

void TestRecycle::rowsWhosePlaceWasTakenGoToTheEnd()
{
    Shop s;
    auto &[folder, boxes, w] = s;
    const qint64 newest = stored(w).back().id;
    clickLine(w.List3, 2); // the newest row
    w.Command9_Click();
    // An older release gives its new row the highest rowid plus one: the deleted row's. On a
    // server another tool can give it that id.
    QVERIFY(underneath(folder).exec("INSERT INTO \"库\" (\"标号\", \"名称\", \"方法\") VALUES (1, '外来', '进货')",
                                    "INSERT INTO \"库\" (id, \"标号\", \"名称\", \"方法\")"
                                    " SELECT max(id) + 1, 1, '外来', '进货' FROM \"库\""));
    QCOMPARE(underneath(folder).table().section(u'\n', -1).section(u',', 0, 0), QString::number(newest));
    FormRecycle *win = openFromChooser(w);
    boxes.clear();
    win->Command1->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("已恢复 1 条记录。其中 1 条原来的位置已被后来添加的记录占用，放到了最后。")});
    QCOMPARE(stored(w).back().name, kChips);
    QCOMPARE(stored(w).at(stored(w).size() - 2).name, QStringLiteral("外来"));
}

void TestRecycle::clearAsksFirst()
{
    Shop s;
    auto &[folder, boxes, w] = s;
    FormRecycle *win = openFromChooser(w);
    boxes.clear();
    win->Command2->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("回收站是空的！")});

    choose(w, kSnacks, kChips); // the main window was active again
    clickLine(w.List3, 0);
    w.Command9_Click();
    w.Command4_Click();
    win->Form_Activate();
    QCOMPARE(win->List1->count(), 2);
    const std::size_t entries = w.store()->history(1000).size();
    boxes.clear();
    boxes.answers = {QMessageBox::Cancel};
    win->Command2->click();
    const QString question = QStringLiteral("清空后，回收站里删除的记录都不能再恢复。你是否确定清空！");
    QCOMPARE(boxes.texts(), QStringList{question});
    QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提问：")});
    QCOMPARE(w.store()->deletions().size(), 2u);
    QCOMPARE(win->List1->count(), 2);

    win->Command2->click();
    QCOMPARE(boxes.texts(), QStringList(2, question));
    QVERIFY(w.store()->deletions().empty());
    QCOMPARE(win->List1->count(), 0);
    QCOMPARE(win->Table1->rowCount(), 0);
    QCOMPARE(w.store()->history(1000).size(), entries); // the record of changes stays
    QCOMPARE(lines(win->List2).size(), static_cast<int>(entries));
}

void TestRecycle::openedFromTheChooserAndTheListsMenus_data()
{
    QTest::addColumn<QString>("from");
    QTest::newRow("chooser") << "Form7";
    QTest::newRow("categories") << "List1";
    QTest::newRow("products") << "List2";
    QTest::newRow("transactions") << "List3";
}

void TestRecycle::openedFromTheChooserAndTheListsMenus()
{
    QFETCH(QString, from);
    Shop s;
    auto &[folder, boxes, w] = s;
    w.Command4_Click();
    boxes.clear();
    FormRecycle *win = nullptr;
    if (from == QStringLiteral("Form7")) {
        Form7 *chooser = w.form7();
        QCOMPARE(chooser->Option6->text(), QStringLiteral("回收站"));
        // Below the other choices and above the notice, inside the window.
        QVERIFY(chooser->Option6->geometry().top() > chooser->Option5->geometry().bottom());
        QVERIFY(chooser->Option6->geometry().bottom() < chooser->Label1->geometry().top());
        QVERIFY(chooser->Label1->geometry().bottom() <= chooser->height());
        win = openFromChooser(w);
        QVERIFY(!chooser->isVisible());
    } else {
        auto *list = w.findChild<QAbstractItemView *>(from);
        const QList<QAction *> menu = list->actions();
        // Added after the export, which stays.
        QVERIFY(menu.indexOf(action(list, "exportToFile")) >= 0);
        QVERIFY(menu.indexOf(action(list, "exportCopy")) < menu.indexOf(action(list, "openRecycle")));
        QCOMPARE(action(list, "openRecycle")->text(), QStringLiteral("回收站…"));
        action(list, "openRecycle")->trigger();
        win = w.findChild<FormRecycle *>();
        QVERIFY(win);
        QVERIFY(QTest::qWaitForWindowActive(win));
    }
    QVERIFY(win->isVisible());
    QCOMPARE(win->objectName(), QStringLiteral("FormRecycle"));
    QTRY_COMPARE(win->List1->count(), 1); // filled when it became active
    QVERIFY(win->List1->item(0)->text().endsWith(QStringLiteral("删除商品“薯片”：3 条交易记录")));
    QVERIFY(boxes.seen.isEmpty());
    win->Command3->click();
    QVERIFY(!win->isVisible());
}

void TestRecycle::listsExportWhatTheyShow()
{
    Shop s;
    auto &[folder, boxes, w] = s;
    FormRecycle *win = s.productDeleted();
    const ChangeEntry deletion = win->deletion(0);
    QCOMPARE(copied(win->List1),
             (QStringList{QStringLiteral("时间\t计算机\t删除"),
                          deletion.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u'\t' + deletion.computer + u'\t' +
                              deletion.summary}));
    const QStringList rows = copied(win->Table1);
    QCOMPARE(rows.size(), 1 + win->Table1->rowCount());
    QCOMPARE(rows.value(0), QStringLiteral("标号\t名称\t类\t价格\t数量\t总额\t日期\t方法\t交易号码"));
    QCOMPARE(rows.value(1), QStringLiteral("2\t薯片\t零食\t\t\t\t\t进货\t"));
    const std::vector<ChangeEntry> all = w.store()->history(1000);
    const QStringList entries = copied(win->List2);
    QCOMPARE(entries.size(), static_cast<int>(all.size()) + 1);
    QCOMPARE(entries.value(1).split(u'\t').value(0), QString::number(all.front().number));
    QCOMPARE(entries.value(1).split(u'\t').value(3), all.front().summary);
    QCOMPARE(entries.last().split(u'\t').value(0), QString::number(all.back().number));
}

void TestRecycle::theRecordIsReadAPageAtATime()
{
    Shop s;
    auto &[folder, boxes, w] = s;
    // A thousand more entries, numbered on from the last.
    QVERIFY(underneath(folder).exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)"
        " INSERT INTO \"操作记录\" (\"时间\", \"种类\", \"说明\") SELECT 0, '外部', 'x' || i FROM n",
        "WITH c AS (UPDATE \"操作编号\" SET n = n + 1000 RETURNING n - 1000 AS n)"
        " INSERT INTO \"操作记录\" (\"编号\", \"时间\", \"种类\", \"说明\", \"行数\")"
        " SELECT c.n + i, to_timestamp(0), '外部', 'x' || i, 0 FROM c, generate_series(1, 1000) i"));
    const int all = static_cast<int>(w.store()->history(5000).size());
    QVERIFY(all > 1000);
    FormRecycle *win = openFromChooser(w);
    QAbstractItemModel *entries = win->List2->model();
    QCOMPARE(entries->rowCount(), 500);
    QCOMPARE(entries->index(0, 0).data().toString(), changeLine(w.store()->history(1).front()));
    QVERIFY(entries->canFetchMore({}));
    entries->fetchMore({});
    QCOMPARE(entries->rowCount(), 1000);
    entries->fetchMore({});
    QCOMPARE(entries->rowCount(), all);
    QVERIFY(!entries->canFetchMore({}));
    QCOMPARE(lines(win->List2), [&] {
        QStringList expected;
        for (const ChangeEntry &e : w.store()->history(5000))
            expected << changeLine(e);
        return expected;
    }());
}

QTEST_MAIN(TestRecycle)
#include "test_recycle.moc"
