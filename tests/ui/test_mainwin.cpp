// The main window as the program starts it: first start, the date box, the status line, the
// ledger file it opens or refuses, and activation.
#include "ledger/backup.h"
#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "ledger/facts.h"
#include "sqlite_db.h"
#include "support_main.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>

namespace {

// The ledger 1.mdb of a folder, opened as the program's start opens it: its rows are read in the
// background.
std::unique_ptr<ledger::Store> startingLedgerIn(const FreshFolder &folder)
{
    return ledger::FileStore::open(folder.file(QStringLiteral("1.mdb")), ledger::Store::kLockWait,
                                   ledger::FileStore::Purpose::Work, ledger::FileStore::Reading::InBackground);
}

// The main window as the program's start makes it, on the ledger of writeSpreadLedger(), shown,
// its reading thread held until something waits for the rows. Each wait is noted with whether
// the busy cursor showed while it lasted.
struct HeldStart {
    FreshFolder folder;
    Boxes boxes;
    std::vector<ledger::Record> all = sqldb::writeSpreadLedger(folder.file(QStringLiteral("1.mdb")));
    std::unique_ptr<Form1> w;
    sqldb::ReaderGate gate; // goes before the window, letting its reading thread end
    QList<bool> busyCursor;

    HeldStart()
    {
        std::unique_ptr<ledger::Store> store = startingLedgerIn(folder);
        // Connected before the window's own handler: it sees the cursor before it is restored.
        QObject::connect(store.get(), &ledger::Store::waiting, [this](bool busy) {
            if (busy) {
                gate.release();
                return;
            }
            const QCursor *cursor = QApplication::overrideCursor();
            busyCursor << (cursor && cursor->shape() == Qt::WaitCursor);
        });
        w = std::make_unique<Form1>(std::move(store));
        w->show();
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void aRunningProgramKeepsARestoreAway()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        ledger::FileStore::open(QStringLiteral("1.mdb"))->add([] {
            ledger::Record r;
            r.kind = ledger::kCategory;
            r.name = QStringLiteral("水果");
            return r;
        }());
        const ledger::BackupResult backup = ledger::backupLedger(QStringLiteral("1.mdb"), QDateTime::currentDateTime().addDays(-1));
        QVERIFY(backup.ok());
        // While the window is up, a restore is tried; then the program ends.
        ledger::RestoreResult whileRunning;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<Form1 *>(w) && w->isVisible() && !QApplication::activeModalWidget()) {
                    poll.stop();
                    whileRunning = ledger::restoreBackup(QStringLiteral("1.mdb"), backup.path, QDateTime::currentDateTime());
                    QApplication::quit();
                }
        });
        poll.start();
        QCOMPARE(ui::runProgram(), 0);
        QVERIFY(!whileRunning.ok());
        QVERIFY2(whileRunning.error.contains(QStringLiteral("正被本软件打开，请先关闭程序再恢复")), qPrintable(whileRunning.error));
        // Closed: the restore goes through.
        QVERIFY(ledger::restoreBackup(QStringLiteral("1.mdb"), backup.path, QDateTime::currentDateTime()).ok());
    }

    void aLedgerFolderThatCannotBeMadeIsReported()
    {
        FreshFolder folder;
        Boxes boxes;
        QFile plain(folder.file(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString bad = folder.file(QStringLiteral("plain/books"));
        InFolder in(folder.path());
        QVERIFY(!ui::enterLedgerFolder(bad));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].first, QStringLiteral("系统提示："));
        QCOMPARE(boxes.seen[0].second, QStringLiteral("无法使用文件夹“%1”！").arg(bad));
        QCOMPARE(QDir::currentPath(), QDir(folder.path()).canonicalPath());
    }

    void firstStartShowsAnEmptyLedger()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        QVERIFY(QFile::exists(folder.file(QStringLiteral("1.mdb"))));
        QVERIFY(w.store());
        QCOMPARE(w.windowTitle(), QStringLiteral("禾岚小型仓储管理软件 VER 1.2"));
        QCOMPARE(w.size(), QSize(792, 344));
        QVERIFY(w.Option1->isChecked());
        QVERIFY(w.Check1->isChecked());
        QVERIFY(w.Check2->isChecked());
        QCOMPARE(w.Text6->text(), ledger::currentDateText());
        QCOMPARE(w.List1->count(), 0);
        QCOMPARE(w.List2->count(), 0);
        QCOMPARE(w.List3->count(), 0);
        QCOMPARE(w.Label5->text(), kWelcome);
        QCOMPARE(w.Label9->text(),
                 QStringLiteral("商品名：               价格：     数量：     总额：     日期：   方法：  交易代码："));
        QCOMPARE(w.List3->selectionMode(), QAbstractItemView::MultiSelection);
        QVERIFY(boxes.seen.isEmpty());
        // Every control is reachable by its name, where its position puts it.
        const char *names[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7",
                               "Label8", "Label9", "List1", "List2", "List3", "Frame1", "Option1",
                               "Option2", "Text1", "Text2", "Text4", "Text5", "Text6", "Check1",
                               "Check2", "Command1", "Command2", "Command3", "Command4", "Command5",
                               "Command6", "Command7", "Command8", "Command9", "Command11",
                               "Command12", "Command13"};
        for (const char *name : names)
            QVERIFY2(w.findChild<QWidget *>(QString::fromLatin1(name)), name);
        QCOMPARE(w.List3->geometry(), QRect(264, 32, 521, 200));
        QCOMPARE(w.Command13->geometry(), QRect(728, 312, 41, 17));
        QCOMPARE(w.Option2->parentWidget(), w.Frame1);
    }

    void secondStartKeepsTheRecords()
    {
        FreshFolder folder;
        Boxes boxes;
        {
            Form1 w(ledgerIn(folder));
            w.show();
            QCOMPARE(w.axd(QStringLiteral("1|水果"), 0), 0);
        }
        Form1 again(ledgerIn(folder));
        again.show();
        QCOMPARE(again.store()->count(), 1);
        QCOMPARE(again.store()->rows()[0].name, QStringLiteral("水果"));
    }

    void theWindowShowsItsCategoriesBeforeEveryRowIsRead()
    {
        HeldStart s;
        QCOMPARE(lines(s.w->List1), (QStringList{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}));
        QVERIFY(s.busyCursor.isEmpty());
        QVERIFY(s.w->store()->reading());
        QVERIFY(s.w->store()->loadedRows().empty());
        QCOMPARE(s.w->List2->count(), 0);
        QCOMPARE(s.w->List3->count(), 0);
        QCOMPARE(s.w->Label5->text(), kWelcome);
        QVERIFY(s.boxes.seen.isEmpty());
    }

    void anOperationOnRowsNotYetReadWaitsForEveryRow_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *o : {"products", "add", "analysis"})
            QTest::newRow(o) << QString::fromLatin1(o);
    }

    void anOperationOnRowsNotYetReadWaitsForEveryRow()
    {
        QFETCH(QString, operation);
        HeldStart s;
        Form1 &w = *s.w;
        QVERIFY(w.store()->reading());
        if (operation == QStringLiteral("products")) {
            choose(w, QStringLiteral("乙"));
            QCOMPARE(lines(w.List2), QStringList{QStringLiteral("梨")}); // stored after 3000 rows
        } else if (operation == QStringLiteral("add")) {
            addCategory(w, QStringLiteral("丁"));
            QCOMPARE(w.store()->rows().size(), s.all.size() + 1);
            QCOMPARE(w.store()->rows()[s.all.size() - 1].name, s.all.back().name);
            QCOMPARE(lines(w.List1).last(), QStringLiteral("丁"));
        } else {
            qsizetype facts = 0;
            QVERIFY(w.readFacts([&](const ledger::LedgerFacts &f) { facts = static_cast<qsizetype>(f.facts().size()); }));
            QCOMPARE(facts, static_cast<qsizetype>(s.all.size()));
        }
        QCOMPARE(s.busyCursor, QList<bool>{true});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(s.boxes.seen.isEmpty());
    }

    void operationZeroStoresTheRequestWithTheDirection()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        w.Option2->setChecked(true);
        w.axd(QStringLiteral("2|苹果|水果"), 0);
        w.Option1->setChecked(true);
        w.axd(QStringLiteral("3|苹果|水果|2.5|4|10||7"), 0);
        const auto &rows = w.store()->rows();
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(ledger::recordText(rows[0]), QStringLiteral("2|苹果|水果|||||出货|"));
        QVERIFY(rows[0].price.isNull());
        QCOMPARE(ledger::recordText(rows[1]), QStringLiteral("3|苹果|水果|2.5|4|10||进货|7"));
        QVERIFY(rows[1].date.isNull()); // an empty field leaves the column null
        QCOMPARE(w.Label5->text(), kWelcome);
        QVERIFY(boxes.seen.isEmpty());
    }

    void failedWriteIsReportedAndNothingStored()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        QCOMPARE(w.axd(QStringLiteral("3|x|y|1|1|1|a date text that is far too long|1"), 0), 1);
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提示：")});
        QCOMPARE(boxes.texts()[0], QStringLiteral("记录未能保存到账本文件“%1”：内容超出字段允许的长度！").arg(w.store()->path()));
        QCOMPARE(w.store()->count(), 0);
        QCOMPARE(w.axd(QStringLiteral("1|ok"), 0), 0); // and the program goes on
        QCOMPARE(w.store()->count(), 1);
    }

    void statusLineFollowsTheSelector()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        w.statusmode = Form1::StatusFindAmount;
        w.runtotal = 70;
        w.axd(QString(), 2); // keeps the selector
        QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：70元"));
        w.axd(QString(), 3);
        QCOMPARE(w.statusmode, Form1::StatusWelcome);
        QCOMPARE(w.Label5->text(), kWelcome);
        w.statusmode = Form1::StatusFindAmount;
        w.runtotal = -12.5;
        w.axd(QString(), 2);
        QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：-12.5元"));
        w.axd(QString(), 99); // an unknown code still rewrites the line
        QCOMPARE(w.Label5->text(), kWelcome);
        w.statusmode = Form1::StatusFindAmount;
        w.setx(0);
        w.axd(QString(), 2);
        QCOMPARE(w.Label5->text(), kWelcome);
    }

    void autoDateNeedsAPickedDateToBeTurnedOff()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        w.Text6->setText(QStringLiteral("typed"));
        w.Check1->setChecked(false);
        QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{{QStringLiteral("系统提示："), QStringLiteral("请先选择日期！")}}));
        QVERIFY(w.Check1->isChecked());
        QCOMPARE(w.Text6->text(), ledger::currentDateText());

        boxes.clear();
        w.days(QStringLiteral("27-3-5")); // as the date picker delivers it
        QCOMPARE(w.Text6->text(), ledger::currentDateText()); // auto date still on
        w.Check1->setChecked(false);
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(w.Text6->text(), QStringLiteral("27-3-5"));
        w.Check1->setChecked(true);
        QCOMPARE(w.Text6->text(), ledger::currentDateText());
    }

    void activationRefillsAfterADialogIsHidden()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        w.axd(QStringLiteral("1|水果"), 0);
        QCOMPARE(w.List1->count(), 0); // the list is refilled on activation, not by a plain store
        w.List2->addItem(QStringLiteral("stale"));
        w.Label9->clear();
        w.Command5_Click(); // the date picker becomes the active window
        QVERIFY(w.form2()->isVisible());
        w.form2()->Command2_Click();
        QCOMPARE(w.List1->count(), 1);
        QCOMPARE(w.List1->item(0)->text(), QStringLiteral("水果"));
        QCOMPARE(w.List2->count(), 0);
        QVERIFY(!w.Label9->text().isEmpty());
        // Coming back from another application is no activation.
        w.List2->addItem(QStringLiteral("kept"));
        QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &deactivate);
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.List2->count(), 1);
        QVERIFY(boxes.seen.isEmpty());
    }

    void helpKeyWithoutHelpFile()
    {
        Session s;
        auto &[folder, boxes, w] = s;
        QTest::keyClick(w.Text1, Qt::Key_F1);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("找不到帮助文件“help.HLP”！")});
    }

    void namesFitTheirPlaces_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("product");
        QTest::addColumn<bool>("cut");
        QTest::newRow("ten characters") << QStringLiteral("一二三四五六七八九十") << QStringLiteral("甲乙丙丁戊己庚辛壬癸") << true;
        QTest::newRow("short") << QStringLiteral("水果") << QStringLiteral("苹果") << false;
    }

    void namesFitTheirPlaces()
    {
        QFETCH(QString, category);
        QFETCH(QString, product);
        QFETCH(bool, cut);
        Session s;
        auto &[folder, boxes, w] = s;
        addCategory(w, category);
        choose(w, category);
        addProduct(w, product);
        choose(w, category, product);
        // Drawn before the heading or label beside them, the lists without sideways scrolling.
        QVERIFY(w.Label2->geometry().right() < w.Label3->geometry().left());
        QVERIFY(w.Label4->geometry().right() < w.Label9->geometry().left());
        for (QListWidget *list : {w.List1, w.List2}) {
            QVERIFY(list->visualItemRect(list->item(0)).right() <= list->viewport()->width());
            QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        }
        // The whole name as a tooltip where it is cut short.
        auto tip = [](QWidget *widget, QPoint at) {
            QToolTip::hideText();
            if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
                return QStringLiteral("(an earlier tooltip stays)");
            QHelpEvent e(QEvent::ToolTip, at, widget->mapToGlobal(at));
            QApplication::sendEvent(widget, &e);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        const QString noTip;
        QCOMPARE(tip(w.Label2, QPoint(2, 2)), cut ? category : noTip);
        QCOMPARE(tip(w.Label4, QPoint(2, 2)), cut ? product : noTip);
        QCOMPARE(tip(w.List1->viewport(), w.List1->visualItemRect(w.List1->item(0)).center()), cut ? category : noTip);
        QCOMPARE(tip(w.List2->viewport(), w.List2->visualItemRect(w.List2->item(0)).center()), cut ? product : noTip);
        // The texts stay whole: the add handler reads the names back from the labels.
        QCOMPARE(w.Label2->text(), category);
        QCOMPARE(w.Label4->text(), product);
        addTx(w, QStringLiteral("1"), QStringLiteral("2"));
        const ledger::Record added = stored(w).back();
        QCOMPARE(added.name, product);
        QCOMPARE(added.cat, category);
        QVERIFY(boxes.seen.isEmpty());
    }

    void unreadableFileIsReportedAndLeftAlone()
    {
        FreshFolder folder;
        Boxes boxes;
        const QByteArray garbage("this is not a ledger, just text\n");
        {
            QFile f(folder.file(QStringLiteral("1.mdb")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        QCOMPARE(ui::runProgram(folder.path()), 1);
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提示：")});
        QCOMPARE(boxes.texts()[0], QStringLiteral("无法打开账本文件“%1”：文件已损坏、不是本软件的账本文件或密码不符！")
                                       .arg(folder.file(QStringLiteral("1.mdb"))));
        QFile f(folder.file(QStringLiteral("1.mdb")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), garbage);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwin.moc"
