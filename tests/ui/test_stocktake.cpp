// 盘点 through its window: scanner input as the scanner types it, unknown codes, check digits,
// typed counts, posting checked against the calculations, a count interrupted by another
// program, the count sheet's pages and the record of posted stock-takes.
#include "about/form7.h"
#include "ledger/calc.h"
#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "stocktake/count_sheet.h"
#include "stocktake/form_stocktake.h"
#include "stocktake/form_stocktake_records.h"
#include "stocktake/product_chooser.h"
#include "stocktake/stocktake_model.h"
#include "support_main.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace ledger;

namespace {

const QString kCola = QStringLiteral("4006381333931"); // EAN-13, filed under 可乐
const QString kTea = QStringLiteral("036000291452");   // UPC-A, not filed

// 饮料: 可乐 (6 in the book, 5 a piece), 茶 (-2, no stock-in price); 零食: 饼干 (10).
void addLedger(Form1 &w)
{
    w.axd(QStringLiteral("1|饮料"), 0);
    w.axd(QStringLiteral("2|可乐|饮料"), 0);
    w.axd(QStringLiteral("2|茶|饮料"), 0);
    w.axd(QStringLiteral("1|零食"), 0);
    w.axd(QStringLiteral("2|饼干|零食"), 0);
    auto add = [&](const char *name, const char *cat, bool in, const char *qty, const char *total) {
        (in ? w.Option1 : w.Option2)->setChecked(true);
        w.axd(QStringLiteral("3|%1|%2|1|%3|%4|%5|1")
                  .arg(QString::fromUtf8(name), QString::fromUtf8(cat), QString::fromLatin1(qty),
                       QString::fromLatin1(total), currentDateText()),
              0);
    };
    add("可乐", "饮料", true, "10", "50");
    add("可乐", "饮料", false, "4", "32");
    add("茶", "饮料", false, "2", "20");
    add("饼干", "零食", true, "10", "30");
    w.Option1->setChecked(true);
    w.store()->setProductCode({kCola, QStringLiteral("饮料"), QStringLiteral("可乐")});
}

FormStockTake *open(Form1 &w)
{
    Form7 *chooser = w.form7();
    chooser->show();
    chooser->Option5->setChecked(true);
    chooser->Command1->click();
    FormStockTake *win = chooser->stockTake();
    [&] {
        QVERIFY(QTest::qWaitForWindowActive(win));
        QTRY_VERIFY(win->Text1->hasFocus());
    }();
    return win;
}

// What the scanner does: the code's characters as fast key presses, then Enter, into whatever
// has the keyboard.
void scan(const QString &text)
{
    QTRY_VERIFY(QApplication::focusWidget());
    QWidget *target = QApplication::focusWidget();
    QTest::keyClicks(target, text);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

// The count of a product as the list shows it ("" before it is counted).
QString shownCount(FormStockTake *win, const QString &name)
{
    const QAbstractItemModel *m = win->Table1->model();
    for (int row = 0; row < m->rowCount(); ++row)
        if (m->index(row, StockTakeModel::Name).data().toString() == name)
            return m->index(row, StockTakeModel::Count).data().toString();
    return QStringLiteral("(not listed)");
}

QStringList column(const QAbstractItemView *view, int col)
{
    QStringList out;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        out << view->model()->index(row, col).data().toString();
    return out;
}

// Answers the product question, once it is up, by typing filter and taking the first product
// found (or cancelling when filter is null).
void answerProduct(QObject *owner, const QString &filter)
{
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, filter] {
        auto *chooser = qobject_cast<ProductChooser *>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        poll->deleteLater();
        if (filter.isNull()) {
            chooser->reject();
            return;
        }
        chooser->Text1->setText(filter); // as typed with an input method
        QTest::keyClick(chooser->Text1, Qt::Key_Return);
    });
    poll->start(10);
}

qint64 bookOf(Form1 &w, const char *cat, const char *name)
{
    return sumProduct(w.store()->rows(), QString::fromUtf8(cat), QString::fromUtf8(name), CalcStock, kStockIn,
                      QDate::currentDate())
        .netStock;
}

int pdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return static_cast<int>(QString::fromLatin1(f.readAll()).count(page));
}

} // namespace

class TestStockTake : public QObject {
    Q_OBJECT

private slots:
    void chooserOpensTheStockTake();
    void listsBookFiguresWithEmptyCountsAndATotal();
    void scannerInput_data();
    void scannerInput();
    void unknownCodeIsAskedForOnceAndKept();
    void countIsTypedByChoosingItsCell();
    void postingMakesTheBookEqualTheCounts();
    void countInterruptedByAnotherProgram();
    void countSheetHasAPagePerFortyProducts_data();
    void countSheetHasAPagePerFortyProducts();
};

void TestStockTake::chooserOpensTheStockTake()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form7 *chooser = w.form7();
    QCOMPARE(chooser->Option5->text(), QStringLiteral("盘点"));
    QVERIFY(chooser->Option5->geometry().top() > chooser->Option4->geometry().bottom());
    QVERIFY(chooser->Option5->geometry().bottom() < chooser->Label1->geometry().top());
    QVERIFY(chooser->Label1->geometry().bottom() <= chooser->height());
    FormStockTake *win = open(w);
    QVERIFY(!chooser->isVisible());
    QCOMPARE(win->windowTitle(), QStringLiteral("盘点"));
    QTRY_VERIFY(win->Text1->hasFocus());
    QVERIFY(boxes.seen.isEmpty());
}

void TestStockTake::listsBookFiguresWithEmptyCountsAndATotal()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    QCOMPARE(column(win->Table1, StockTakeModel::Name),
             (QStringList{QStringLiteral("可乐"), QStringLiteral("茶"), QStringLiteral("饼干"), QStringLiteral("已盘 0 种")}));
    QCOMPARE(column(win->Table1, StockTakeModel::Book),
             (QStringList{QStringLiteral("6"), QStringLiteral("-2"), QStringLiteral("10"), QStringLiteral("14")}));
    QCOMPARE(column(win->Table1, StockTakeModel::Count), (QStringList{QString(), QString(), QString(), QStringLiteral("0")}));
    // One category; sorted either way the total stays last.
    win->Combo1->setCurrentIndex(win->Combo1->findText(QStringLiteral("饮料")));
    win->Combo1_Click();
    const QStringList stored = {QStringLiteral("6"), QStringLiteral("-2"), QStringLiteral("4")};
    QCOMPARE(column(win->Table1, StockTakeModel::Book), stored);
    win->Table1->sortByColumn(StockTakeModel::Book, Qt::AscendingOrder);
    QCOMPARE(column(win->Table1, StockTakeModel::Book), (QStringList{QStringLiteral("-2"), QStringLiteral("6"), QStringLiteral("4")}));
    win->Table1->sortByColumn(StockTakeModel::Book, Qt::DescendingOrder);
    QCOMPARE(column(win->Table1, StockTakeModel::Book), stored);
    // "复制" takes the lines as shown, total included.
    QGuiApplication::clipboard()->clear();
    win->Table1->findChild<QAction *>(QStringLiteral("exportCopy"))->trigger();
    const QStringList copied = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(copied.size(), 4);
    QCOMPARE(copied.first().split(u'\t'), StockTakeModel::headers());
    QVERIFY(copied.last().startsWith(QStringLiteral("合计\t")));
    QVERIFY(boxes.seen.isEmpty());
}

void TestStockTake::scannerInput_data()
{
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<QString>("cola");
    QTest::addColumn<QStringList>("messages");
    const QString misread = QStringLiteral("4006381333932");
    QTest::newRow("one scan") << QStringList{kCola} << QStringLiteral("1") << QStringList{};
    QTest::newRow("three scans") << QStringList{kCola, kCola, kCola} << QStringLiteral("3") << QStringList{};
    QTest::newRow("12* in front") << QStringList{QStringLiteral("12*") + kCola, kCola} << QStringLiteral("13") << QStringList{};
    QTest::newRow("12* typed, then the scan") << QStringList{QStringLiteral("12*|") + kCola} << QStringLiteral("12")
                                               << QStringList{};
    QTest::newRow("misread check digit") << QStringList{misread, kCola} << QStringLiteral("1")
                                         << QStringList{QStringLiteral("条码%1的校验位不符，可能没有扫清楚。本次没有计数，请重新扫描！").arg(misread)};
    QTest::newRow("quantity out of range") << QStringList{QStringLiteral("0*") + kCola} << QString()
                                           << QStringList{QStringLiteral("数量应为1到999999之间的整数，写在条码前，如“12*”！")};
}

void TestStockTake::scannerInput()
{
    QFETCH(QStringList, scans);
    QFETCH(QString, cola);
    QFETCH(QStringList, messages);
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    for (const QString &text : scans) {
        // The window's other boxes and buttons in between leave the keyboard with the scan box.
        QTest::mouseClick(win->Combo1, Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        win->Combo1->setCurrentIndex(0);
        emit win->Combo1->activated(0);
        if (win->take().anyCounted())
            boxes.answers << QMessageBox::Cancel; // "重新盘点" asks once counts exist: keep them
        QTest::mouseClick(win->Command5, Qt::LeftButton);
        QTRY_VERIFY(win->Text1->hasFocus());
        if (text.contains(u'|')) { // typed by hand, then scanned
            QTest::keyClicks(QApplication::focusWidget(), text.section(u'|', 0, 0));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            scan(text.section(u'|', 1));
        } else {
            scan(text);
        }
    }
    QStringList seen = boxes.texts();
    seen.removeAll(QStringLiteral("清除全部实盘数量，按现在的账面重新盘点吗？"));
    QCOMPARE(seen, messages);
    QCOMPARE(shownCount(win, QStringLiteral("可乐")), cola);
    QCOMPARE(win->Text1->text(), QString());
    QTRY_VERIFY(win->Text1->hasFocus());
}

void TestStockTake::unknownCodeIsAskedForOnceAndKept()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    answerProduct(this, QString()); // cancelled: nothing counted, nothing kept
    scan(kTea);
    QCOMPARE(shownCount(win, QStringLiteral("茶")), QString());
    answerProduct(this, QStringLiteral("茶"));
    scan(QStringLiteral("2*") + kTea);
    QCOMPARE(shownCount(win, QStringLiteral("茶")), QStringLiteral("2"));
    scan(kTea); // known now: no question
    QCOMPARE(shownCount(win, QStringLiteral("茶")), QStringLiteral("3"));
    QVERIFY(!qobject_cast<ProductChooser *>(QApplication::activeModalWidget()));
    // A code of no EAN length is taken as it is, and the ledger keeps what was answered.
    answerProduct(this, QStringLiteral("饼"));
    scan(QStringLiteral("SHOP-7"));
    QCOMPARE(shownCount(win, QStringLiteral("饼干")), QStringLiteral("1"));
    QStringList kept;
    for (const ProductCode &c : ledgerIn(folder)->productCodes())
        kept << c.code + u'=' + c.name;
    QCOMPARE(kept, (QStringList{kCola + QStringLiteral("=可乐"), kTea + QStringLiteral("=茶"), QStringLiteral("SHOP-7=饼干")}));
    QVERIFY(boxes.seen.isEmpty());
}

void TestStockTake::countIsTypedByChoosingItsCell()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    const QAbstractItemModel *m = win->Table1->model();
    // A double-click on the row of 茶.
    const QRect cell = win->Table1->visualRect(m->index(1, StockTakeModel::Count));
    QTest::mouseClick(win->Table1->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(win->Table1->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->objectName() == QStringLiteral("CountEditor"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7x"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(shownCount(win, QStringLiteral("茶")), QStringLiteral("7")); // the view commits after the key
    QCOMPARE(m->index(1, StockTakeModel::Difference).data().toString(), QStringLiteral("9"));
    QCOMPARE(m->index(1, StockTakeModel::Value).data().toString(), QStringLiteral("-")); // no stock-in price
    QTRY_VERIFY(win->Text1->hasFocus());
    // Enter in the empty scan box types the count of the chosen line; the arrows choose it.
    QTest::keyClick(win->Text1, Qt::Key_Up);
    QCOMPARE(win->Table1->currentIndex().row(), 0);
    QTest::keyClick(win->Text1, Qt::Key_Return);
    QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->objectName() == QStringLiteral("CountEditor"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(shownCount(win, QStringLiteral("可乐")), QStringLiteral("5"));
    QCOMPARE(m->index(0, StockTakeModel::Value).data().toString(), QStringLiteral("-5"));
    QCOMPARE(m->index(3, StockTakeModel::Count).data().toString(), QStringLiteral("12"));
    QTRY_VERIFY(win->Text1->hasFocus());
    QVERIFY(boxes.seen.isEmpty());
}

void TestStockTake::postingMakesTheBookEqualTheCounts()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    const auto profit = [&] {
        return deriveFigures(sumProduct(w.store()->rows(), QStringLiteral("饮料"), QStringLiteral("可乐"), CalcProfit,
                                        kStockIn, QDate::currentDate()))
            .profit;
    };
    const double profitBefore = profit(); // (8 - 5) x 4
    win->Command1->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("还没有盘点任何商品！")});
    boxes.clear();
    scan(QStringLiteral("4*") + kCola); // 2 short
    answerProduct(this, QStringLiteral("茶"));
    scan(QStringLiteral("5*") + kTea); // 7 over, no stock-in price
    const qint64 rowsBefore = w.store()->count();
    win->Command1->click();
    QCOMPARE(boxes.titles().first(), QStringLiteral("系统提问："));
    QCOMPARE(boxes.texts().first(),
             QStringLiteral("按实盘数量过账已盘点的 2 种商品：盘亏记为单价0的出货，盘盈按平均进货价记为进货。"
                            "下列商品盘盈但没有进货价，将按单价0记为进货：饮料/茶。确定过账吗？"));
    QCOMPARE(boxes.texts().last(), QStringLiteral("过账完成：盘点 2 种商品，记入 2 笔交易！"));
    QCOMPARE(w.store()->count(), rowsBefore + 2);
    QCOMPARE(bookOf(w, "饮料", "可乐"), qint64(4));
    QCOMPARE(bookOf(w, "饮料", "茶"), qint64(5));
    QCOMPARE(bookOf(w, "零食", "饼干"), qint64(10));
    QVERIFY(qAbs(profit() - (profitBefore - 2 * 5)) <= 0.01 * 6);
    // The window starts afresh from the new book; the record can be listed and exported.
    QCOMPARE(shownCount(win, QStringLiteral("可乐")), QString());
    QCOMPARE(column(win->Table1, StockTakeModel::Book).first(), QStringLiteral("4"));
    win->Command4->click();
    FormStockTakeRecords *records = win->records();
    QTRY_COMPARE(records->List1->count(), 1);
    QVERIFY(records->List1->item(0)->text().contains(QStringLiteral("盘点 2 种商品，有差异 2 种")));
    QCOMPARE(records->Table1->rowCount(), 2);
    QCOMPARE(records->Table1->item(0, 2)->text(), QStringLiteral("6"));
    QCOMPARE(records->Table1->item(0, 4)->text(), QStringLiteral("-2"));
    QGuiApplication::clipboard()->clear();
    records->Table1->findChild<QAction *>(QStringLiteral("exportCopy"))->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text().count(u'\n'), 3);
}

void TestStockTake::countInterruptedByAnotherProgram()
{
    Session s;
    auto &[folder, boxes, w] = s;
    addLedger(w);
    FormStockTake *win = open(w);
    scan(QStringLiteral("4*") + kCola);
    {
        auto other = ledgerIn(folder); // another program sells one 可乐
        Record r;
        r.kind = kTransaction;
        r.name = QStringLiteral("可乐");
        r.cat = QStringLiteral("饮料");
        r.price = r.total = QStringLiteral("8");
        r.qty = QStringLiteral("1");
        r.date = currentDateText();
        r.method = kStockOut;
        r.txno = QStringLiteral("1");
        other->add(r);
    }
    const QString question = QStringLiteral("开始盘点以后，下列商品又有交易被添加或删除，账面库存已经变了：饮料/可乐。"
                                            "“重新盘点”清除它们的实盘数量并取现在的账面；“仍然过账”按现在的账面过账！");
    const qint64 rowsBefore = w.store()->count();
    boxes.answers << QMessageBox::Retry;
    win->Command1->click();
    QCOMPARE(boxes.texts(), QStringList{question});
    QCOMPARE(w.store()->count(), rowsBefore);
    QCOMPARE(shownCount(win, QStringLiteral("可乐")), QString());
    QCOMPARE(column(win->Table1, StockTakeModel::Book).first(), QStringLiteral("5"));
    boxes.clear();
    // Counted again, and another sale: posted anyway against the book of now.
    scan(QStringLiteral("3*") + kCola);
    auto other = ledgerIn(folder);
    other->removeWhere([](const Record &r) { return r.txno == QStringLiteral("1"); });
    boxes.answers << QMessageBox::Ignore << QMessageBox::Ok;
    win->Command1->click();
    QCOMPARE(boxes.texts().first(), question);
    QCOMPARE(boxes.texts().last(), QStringLiteral("过账完成：盘点 1 种商品，记入 1 笔交易！"));
    QCOMPARE(bookOf(w, "饮料", "可乐"), qint64(3));
}

void TestStockTake::countSheetHasAPagePerFortyProducts_data()
{
    QTest::addColumn<int>("products");
    QTest::addColumn<int>("pages");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("forty") << 40 << 1;
    QTest::newRow("forty-one") << 41 << 2;
    QTest::newRow("a hundred") << 100 << 3;
}

void TestStockTake::countSheetHasAPagePerFortyProducts()
{
    QFETCH(int, products);
    QFETCH(int, pages);
    CountSheet sheet{QStringLiteral("全部类"), QStringLiteral("2026-12-07"), {}};
    for (int i = 0; i < products; ++i)
        sheet.lines.push_back({{QStringLiteral("饮料"), QStringLiteral("商品%1").arg(i)}, i, std::nullopt, std::nullopt});
    FreshFolder folder;
    const QString path = folder.file(QStringLiteral("盘点表.pdf"));
    QCOMPARE(saveCountSheet(path, sheet), pages);
    QCOMPARE(pdfPages(path), pages);
    // A file that cannot be written is reported, not half made.
    QCOMPARE(saveCountSheet(folder.file(QStringLiteral("无此文件夹/盘点表.pdf")), sheet), 0);
}

QTEST_MAIN(TestStockTake)
#include "test_stocktake.moc"
