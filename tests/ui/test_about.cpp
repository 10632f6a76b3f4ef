// The about box and the analysis chooser.
#include "about/form3.h"
#include "about/form7.h"
#include "mainwin/form1.h"
#include "stats/form6.h"
#include "support_main.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QtTest>

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxResetsTheStatusLine();
    void aboutBoxSaysWhereTheLedgerLives();
    void chooserOpensTheDailyStatistics();
    void chooserCancelCreatesNothing();
};

void TestAbout::aboutBoxResetsTheStatusLine()
{
    Session s;
    auto &[folder, boxes, w] = s;
    // A stock-value line from an earlier find stays on the status line until something resets it.
    w.statusmode = Form1::StatusFindAmount;
    w.runtotal = 70;
    w.axd(QString(), 2);
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：70元"));

    w.Command13->click();
    Form3 *about = w.form3();
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("关于"));
    QCOMPARE(about->Label1->text(), QStringLiteral("禾岚小型仓储管理软件"));
    QCOMPARE(about->Label2->text(), QStringLiteral("    VER 1.2"));
    about->Command1->click();
    QVERIFY(!about->isVisible());
    QCOMPARE(w.statusmode, Form1::StatusWelcome);
    // Back in the main window, its activation rewrites the status line.
    QTRY_COMPARE(w.Label5->text(), kWelcome);
    QVERIFY(boxes.seen.isEmpty());
}

void TestAbout::aboutBoxSaysWhereTheLedgerLives()
{
    FreshFolder top;
    Boxes boxes;
    qputenv("XDG_DATA_HOME", "/srv/data");
    // Folder names that read as markup are shown as they are, on the first of three lines.
    const QString shop = top.file(QStringLiteral("<i>shop</i>"));
    QVERIFY(QDir().mkpath(shop));
    Form1 w(ledger::FileStore::open(QDir(shop).filePath(QStringLiteral("1.mdb"))));
    w.show();
    w.Command13->click();
    const QLabel *place = w.form3()->Label5;
    qunsetenv("XDG_DATA_HOME");
    QVERIFY(place->isVisible());
    const QStringList lines = place->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(QStringLiteral("账本：")) && lines[0].endsWith(QStringLiteral("/1.mdb")),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("从菜单启动时：/srv/data/warehouse"));
    QCOMPARE(lines[2], QStringLiteral("另选文件夹：warehouse --folder 文件夹"));
    QVERIFY(place->sizeHint().height() >= 3 * place->fontMetrics().lineSpacing());
    QVERIFY(place->sizeHint().width() >= place->fontMetrics().horizontalAdvance(lines[2]));
    // The tooltip names the ledger in full: the file the main window has just created.
    const QString file = QDir(shop).filePath(QStringLiteral("1.mdb"));
    QVERIFY(QFileInfo::exists(file));
    QTextDocument tip; // as the tooltip shows it
    tip.setHtml(place->toolTip());
    QVERIFY(tip.toPlainText().contains(QFileInfo(file).absoluteFilePath()));
    QVERIFY(boxes.seen.isEmpty());
}

void TestAbout::chooserOpensTheDailyStatistics()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form7 *chooser = w.form7();
    chooser->show();
    QCOMPARE(chooser->windowTitle(), QStringLiteral("智能分析"));
    QVERIFY(!chooser->Option1->isChecked());
    QVERIFY(!chooser->Label1->text().isEmpty());

    chooser->Command1->click(); // "每日统计" never chosen: it is the only analysis
    QVERIFY(!chooser->isVisible());
    QVERIFY(w.hasForm(6));
    Form6 *stats = w.form6();
    QVERIFY(stats->isVisible());
    QCOMPARE(stats->windowTitle(), QStringLiteral("每日统计"));
    QCOMPARE(stats->Combo1->count(), 4); // loaded on first showing
}

void TestAbout::chooserCancelCreatesNothing()
{
    Session s;
    auto &[folder, boxes, w] = s;
    Form7 *chooser = w.form7();
    chooser->show();
    w.hide();
    chooser->Command2->click();
    QVERIFY(!chooser->isVisible());
    QVERIFY(w.isVisible());
    QVERIFY(!w.hasForm(6));
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
