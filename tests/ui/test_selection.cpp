// What the main window takes as the user's choice: the line the user clicked and nothing else,
// a category deleted whole or not at all, clicks anywhere on a box, names shown as typed.
#include "browse/ui_tx_list.h"
#include "mainwin/ui_app.h"
#include "query/form4.h"
#include "query/form5.h"
#include "stats/form6.h"
#include "support.h"
#include "support_main.h"

#include <QComboBox>
#include <QRadioButton>
#include <algorithm>

using namespace ledger;

namespace {

const QString kNothingChosen = QStringLiteral("请选项要删除的项目！");
const QString kSure = QStringLiteral("你是否确定删除！");

bool noLineChosen(const QListWidget *list) { return list->selectedItems().isEmpty() && !list->currentItem(); }

// 水果 (苹果, 梨, 桃 with one stock-in each) and 饮料 (可乐 with one stock-in).
void addSample(Form1 &w)
{
    for (const char *category : {"水果", "饮料", "杂货"})
        addCategory(w, QString::fromUtf8(category));
    const std::pair<const char *, QStringList> products[] = {
        {"水果", {QStringLiteral("苹果"), QStringLiteral("梨"), QStringLiteral("桃")}},
        {"饮料", {QStringLiteral("可乐")}},
    };
    for (const auto &[category, names] : products) {
        choose(w, QString::fromUtf8(category));
        for (const QString &p : names) {
            addProduct(w, p);
            choose(w, QString::fromUtf8(category), p);
            addTx(w, QStringLiteral("2"), QStringLiteral("3"));
        }
    }
}

struct CommitFault {
    int failAt = 0; // the commit, counted from 1, that fails
    int seen = 0;
    static int hook(void *self)
    {
        auto *f = static_cast<CommitFault *>(self);
        return ++f->seen == f->failAt; // non-zero turns the commit into a rollback
    }
};

// A label asks for room for every character of its text, as it does for plain text.
bool showsLiterally(const QLabel *label)
{
    return label->sizeHint().width() >= QFontMetrics(label->font()).horizontalAdvance(label->text());
}

} // namespace

class TestSelection : public QObject {
    Q_OBJECT

private slots:
    void everyChangeOfTheChosenLineIsHandledOnce_data();
    void everyChangeOfTheChosenLineIsHandledOnce();
    void slippedClickChoosesWhatItHighlights();
    void deletionLeavesNoLineChosen();
    void removedLinesLeaveTheOthersInOrder();
    void categoryGoesWithEverythingOrNothing();
    void chosenLineStaysChosen();
    void clickAnywhereOnABox();
    void namesShownAsTyped();
};

void TestSelection::everyChangeOfTheChosenLineIsHandledOnce_data()
{
    // Steps: "c2" click line 2, "p0" press on line 0, "m1" move there with the button down,
    // "r1" release there, "tab" focus from the keyboard, "space" and "down" keys.
    QTest::addColumn<int>("chosen"); // before the steps; -1 none
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QList<int>>("handled"); // the chosen line at each run of the handler
    QTest::newRow("click another line") << 0 << "c2" << QList<int>{2};
    QTest::newRow("click the chosen line") << 0 << "c0" << QList<int>{0};
    QTest::newRow("slipped click") << 0 << "p1 m2 r2" << QList<int>{1, 2};
    QTest::newRow("slip off the chosen line") << 0 << "p0 m1 r1" << QList<int>{1};
    QTest::newRow("drag there and back") << 0 << "p0 m1 m0 r0" << QList<int>{1, 0};
    QTest::newRow("drag over lines") << -1 << "p0 m1 m2 m3 r3" << QList<int>{0, 1, 2, 3};
    QTest::newRow("arrow key") << 1 << "down" << QList<int>{2};
    QTest::newRow("tab then space") << -1 << "tab space" << QList<int>{0};
}

void TestSelection::everyChangeOfTheChosenLineIsHandledOnce()
{
    QFETCH(int, chosen);
    QFETCH(QString, steps);
    QFETCH(QList<int>, handled);
    QListWidget list;
    list.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    list.setCurrentRow(chosen);
    QList<int> seen;
    ui::onListClick(&list, [&list, &seen] {
        QVERIFY(list.currentItem() && list.currentItem()->isSelected());
        seen << list.currentRow();
    });
    list.show();
    list.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    auto at = [&list](QStringView step) { return list.visualItemRect(list.item(step.mid(1).toInt())).center(); };
    QWidget *pad = list.viewport();
    for (const QString &step : steps.split(u' ')) {
        if (step == u"tab")
            list.setFocus(Qt::TabFocusReason);
        else if (step == u"space" || step == u"down")
            QTest::keyClick(&list, step == u"space" ? Qt::Key_Space : Qt::Key_Down);
        else if (step.startsWith(u'c'))
            QTest::mouseClick(pad, Qt::LeftButton, {}, at(step));
        else if (step.startsWith(u'p'))
            QTest::mousePress(pad, Qt::LeftButton, {}, at(step));
        else if (step.startsWith(u'm'))
            QTest::mouseMove(pad, at(step));
        else
            QTest::mouseRelease(pad, Qt::LeftButton, {}, at(step));
    }
    QCOMPARE(seen, handled);
    QCOMPARE(list.selectedItems().size(), 1);
    QCOMPARE(list.currentRow(), handled.last());
}

// A press on one line released on another: the line left highlighted is the one the labels
// name and the one added to.
void TestSelection::slippedClickChoosesWhatItHighlights()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    auto slip = [](QListWidget *list, const QString &from, const QString &to) {
        const QPoint a = list->visualItemRect(list->item(rowOf(list, from))).center();
        const QPoint b = list->visualItemRect(list->item(rowOf(list, to))).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, a);
        QTest::mouseMove(list->viewport(), b);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, b);
    };
    choose(w, QStringLiteral("水果"));
    slip(w.List2, QStringLiteral("苹果"), QStringLiteral("梨"));
    QCOMPARE(w.Label4->text(), QStringLiteral("梨"));
    QCOMPARE(w.List3->count(), 1);
    QVERIFY(w.List3->lineText(0).startsWith(QStringLiteral("梨")));
    addTx(w, QStringLiteral("7"), QStringLiteral("1"));
    QCOMPARE(stored(w).back().name, QStringLiteral("梨"));

    slip(w.List1, QStringLiteral("水果"), QStringLiteral("杂货"));
    QCOMPARE(w.Label2->text(), QStringLiteral("杂货"));
    QCOMPARE(w.List2->count(), 0);
    addProduct(w, QStringLiteral("绳"));
    QCOMPARE(stored(w).back().cat, QStringLiteral("杂货"));

    // Into the category list from the keyboard, then Space.
    w.Form_Activate();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.List1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.List1, Qt::Key_Space);
    QCOMPARE(w.List1->selectedItems().size(), 1);
    QCOMPARE(w.Label2->text(), w.List1->selectedItems()[0]->text());
    QCOMPARE(w.List2->count(), 3);
    QVERIFY(boxes.seen.isEmpty());
}

void TestSelection::removedLinesLeaveTheOthersInOrder()
{
    // A few lines go range by range, many in one pass; either way the rest keep their order.
    for (int n : {9, 301}) {
        ui::TxList list(nullptr);
        for (int i = 0; i < n; ++i)
            list.addItem(QString::number(i));
        std::vector<int> gone;
        for (int i = 0; i < n; i += (i % 7 == 0 ? 1 : 2))
            gone.push_back(i);
        list.setSelected(n - 1, true);
        list.lines()->removeLines(gone);
        QStringList expected;
        for (int i = 0; i < n; ++i)
            if (std::find(gone.begin(), gone.end(), i) == gone.end())
                expected << QString::number(i);
        QCOMPARE(lines(&list), expected);
    }
}

void TestSelection::deletionLeavesNoLineChosen()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);

    // A product: its neighbour is not taken for chosen, and a second "删除" finds nothing to delete.
    choose(w, QStringLiteral("水果"), QStringLiteral("梨"));
    w.Command4_Click();
    QVERIFY(noLineChosen(w.List2));
    QVERIFY(w.Label4->text().isEmpty());
    w.Option2->click();
    w.Option1->click();
    QCOMPARE(w.List3->count(), 0);
    w.Command4_Click();
    QCOMPARE(boxes.texts(), (QStringList{kSure, kNothingChosen}));
    QCOMPARE(lines(w.List2), (QStringList{QStringLiteral("苹果"), QStringLiteral("桃")}));

    // A category: the same.
    boxes.clear();
    choose(w, QStringLiteral("饮料"));
    w.Command2_Click();
    QVERIFY(noLineChosen(w.List1));
    QVERIFY(w.List2->count() == 0);
    w.Command2_Click();
    QCOMPARE(boxes.texts(), (QStringList{kSure, kNothingChosen}));
    QCOMPARE(lines(w.List1), (QStringList{QStringLiteral("水果"), QStringLiteral("杂货")}));
    QCOMPARE(countKind(w, kCategory), 2);

    // Transaction lines: after deleting the chosen ones no other line is chosen.
    choose(w, QStringLiteral("水果"), QStringLiteral("桃"));
    for (int i = 0; i < 3; ++i)
        addTx(w, QString::number(i + 5), QStringLiteral("1"));
    clickLine(w.List3, 1);
    clickLine(w.List3, 2);
    boxes.clear();
    w.Command9_Click();
    QCOMPARE(boxes.texts(), QStringList{kSure});
    QCOMPARE(w.List3->count(), 2);
    QVERIFY(w.List3->selectedRows().empty());
    QCOMPARE(w.List3->currentRow(), -1);
    w.Command9_Click();
    QCOMPARE(boxes.texts(), (QStringList{kSure, kNothingChosen}));
    QCOMPARE(w.List3->count(), 2);
}

void TestSelection::categoryGoesWithEverythingOrNothing()
{
    if (onServerLedger())
        QSKIP("commits are failed through the file's engine; the server's are tested in pg_store_test");
    // The n-th commit from "删除" on fails, n = 1, 2, ...: each time the file holds the category
    // with everything filed under it, or none of it.
    for (int failAt = 1;; ++failAt) {
        QVERIFY(failAt < 10);
        Session s;
        auto &[folder, boxes, w] = s;
        addSample(w);
        const std::vector<Record> before = stored(w);
        choose(w, QStringLiteral("水果"));
        CommitFault fault{failAt};
        sqlite3_commit_hook(static_cast<ledger::FileStore *>(w.store())->handle(), &CommitFault::hook, &fault);
        w.Command2_Click();
        sqlite3_commit_hook(static_cast<ledger::FileStore *>(w.store())->handle(), nullptr, nullptr);

        const std::vector<Record> after = FileStore::open(folder.file(QStringLiteral("1.mdb")))->rows();
        if (fault.seen < failAt) { // went through without meeting the failure
            QCOMPARE(after.size(), before.size() - 7);
            for (const Record &r : after)
                QVERIFY(r.name != QStringLiteral("水果") && r.cat != QStringLiteral("水果"));
            QCOMPARE(boxes.texts(), QStringList{kSure});
            break;
        }
        QCOMPARE(after.size(), before.size());
        QCOMPARE(boxes.texts().size(), 2);
        QVERIFY(boxes.texts()[1].startsWith(QStringLiteral("记录未能从账本文件")));
        QVERIFY(lines(w.List1).contains(QStringLiteral("水果")));
    }
}

// Ctrl+click or Ctrl+Space on the chosen line leaves it chosen.
static void keepChosen(QListWidget *list)
{
    const QString chosen = list->currentItem()->text();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->currentItem()).center());
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->selectedItems()[0]->text(), chosen);
}

void TestSelection::chosenLineStaysChosen()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addSample(w);
    choose(w, QStringLiteral("水果"), QStringLiteral("梨"));
    keepChosen(w.List2);
    QCOMPARE(w.Label4->text(), QStringLiteral("梨"));
    QCOMPARE(w.List3->count(), 1);
    keepChosen(w.List1);
    QCOMPARE(w.Label2->text(), QStringLiteral("水果"));
    QCOMPARE(w.List2->count(), 3);
    QCOMPARE(boxes.texts(), QStringList{});
}

void TestSelection::clickAnywhereOnABox()
{
    Session s;
    auto &[folder, boxes, w] = s;
    w.Command12_Click();
    Form4 *find = w.form4();
    w.Command11_Click();
    Form5 *calc = w.form5();
    const QList<QAbstractButton *> buttons = {w.Check2, w.Option2, find->Check1, find->Check3,
                                              calc->Option1, calc->Option3};
    for (QAbstractButton *b : buttons) {
        const bool was = b->isChecked();
        // Far right and bottom of the rectangle, away from the box and its caption.
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().bottomRight() - QPoint(1, 1));
        QVERIFY2(b->isChecked() != was, qPrintable(b->objectName()));
    }
    QCOMPARE(calc->calcno, 3);
}

void TestSelection::namesShownAsTyped()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("<i>c</i>"), QStringLiteral("<b>AB</b>"));
    w.days(QStringLiteral("03-5-6"));
    w.Check1->setChecked(false);
    w.Text6->setText(QStringLiteral("<br>"));
    addTx(w, QStringLiteral("1"), QStringLiteral("1"));
    QVERIFY(showsLiterally(w.Label2));
    QVERIFY(showsLiterally(w.Label4));

    Form6 *stats = w.form6();
    stats->Combo1->setCurrentIndex(0); // every record: the one date fills both date labels
    QCOMPARE(stats->Label3->text(), QStringLiteral("<br>"));
    QVERIFY(showsLiterally(stats->Label3));
    QVERIFY(showsLiterally(stats->Label4));
}

QTEST_MAIN(TestSelection)
#include "test_selection.moc"
