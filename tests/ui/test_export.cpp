// The lists' context menus (export to a CSV file, copy for a spreadsheet) and the backups the
// windows make: before deletions of several records, and the one report of a failure.
#include "ledger/backup.h"
#include "ledger/csv.h"
#include "mainwin/ui_backup.h"
#include "stats/form6.h"
#include "support.h"
#include "support_desktop.h"
#include "support_main.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>

using namespace ledger;

namespace {

QAction *action(QWidget *list, const char *name)
{
    return list->findChild<QAction *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

QString clipboardAfterCopy(QWidget *list)
{
    QGuiApplication::clipboard()->clear();
    action(list, "exportCopy")->trigger();
    return QGuiApplication::clipboard()->text();
}

// A shop with one category holding one product and two stock-ins.
void shop(Form1 &w)
{
    addChosenProduct(w, QStringLiteral("水果"), QStringLiteral("苹果"));
    w.Check2->setChecked(false);
    addTx(w, QStringLiteral("2.5"), QStringLiteral("4"));
    addTx(w, QStringLiteral("3"), QStringLiteral("10"));
}

QStringList backups() { return QDir(QStringLiteral("备份")).entryList(QDir::Files | QDir::Hidden); }

// Types path into the save dialog once it is up and accepts it; proposed gets the file the
// dialog offered.
void answerSaveDialog(QObject *owner, QString *proposed, const QString &path)
{
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, owner, [proposed, path, poll] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name)
            return;
        poll->deleteLater();
        *proposed = dialog->selectedFiles().value(0);
        name->setText(path);
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted); // no checks of the name
    });
    poll->start(10);
}

// A home folder of its own, and settings kept in a folder of their own.
class UserFolders {
public:
    UserFolders() : m_home(qgetenv("HOME")), m_config(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", home().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_folder.file(QStringLiteral("config")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings());
    }
    ~UserFolders()
    {
        qputenv("HOME", m_home);
        if (m_config.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_config);
    }
    QString home() const { return m_folder.path(); }
    QString settings() const { return m_folder.file(QStringLiteral("settings")); }

private:
    FreshFolder m_folder;
    QByteArray m_home, m_config;
};

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ui::setBackupClock({}); }

    void menusOnEveryListOpenWithoutChangingTheSelection()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        Form1 w(ledger::FileStore::open(QStringLiteral("1.mdb")));
        w.show();
        shop(w);
        QList<QWidget *> lists{w.List1, w.List2, w.List3, w.form6()->List1};
        for (QWidget *list : lists) {
            QStringList texts;
            for (const QAction *a : list->actions())
                texts << a->text();
            QStringList expected{QStringLiteral("导出到文件…"), QStringLiteral("复制")};
            if (list == w.form6()->List1) // the day list also draws its chart
                expected << QStringLiteral("图表");
            else // the main window's lists also open the 回收站, after a separator
                expected << QString() << QStringLiteral("回收站…");
            QCOMPARE(texts, expected);
        }
        // A right click on another category selects nothing and lists nothing; the menu opens.
        addCategory(w, QStringLiteral("饮料"));
        choose(w, QStringLiteral("水果"), QStringLiteral("苹果"));
        const QRect second = w.List1->visualItemRect(w.List1->item(rowOf(w.List1, QStringLiteral("饮料"))));
        QTest::mouseClick(w.List1->viewport(), Qt::RightButton, {}, second.center());
        QCOMPARE(w.List1->currentItem()->text(), QStringLiteral("水果"));
        QCOMPARE(w.List3->count(), 2);
        QStringList shown;
        QTimer::singleShot(50, this, [&shown] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (const QAction *a : menu->actions())
                    shown << a->text();
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, second.center(), w.List1->viewport()->mapToGlobal(second.center()));
        QApplication::sendEvent(w.List1->viewport(), &event);
        QCOMPARE(shown, (QStringList{QStringLiteral("导出到文件…"), QStringLiteral("复制"), QString(),
                                     QStringLiteral("回收站…")}));
    }

    void copyTakesTheRecordsOfTheSelectedLinesOrOfAll()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        Form1 w(ledger::FileStore::open(QStringLiteral("1.mdb")));
        w.show();
        shop(w);
        QCOMPARE(w.List3->count(), 2);
        const QString header = QStringLiteral("商品名\t价格\t数量\t总额\t日期\t方法\t交易号码\n");
        // The record's fields, not the padded line; the number comes from the random formula.
        const QString first = QStringLiteral("苹果\t2.5\t4\t10\t%1\t进货\t%2\n")
                                  .arg(w.Text6->text(), w.lineRecord(0).txno);
        const QString second = QStringLiteral("苹果\t3\t10\t30\t%1\t进货\t%2\n")
                                   .arg(w.Text6->text(), w.lineRecord(1).txno);
        QCOMPARE(clipboardAfterCopy(w.List3), header + first + second);
        w.List3->setSelected(1, true);
        QCOMPARE(clipboardAfterCopy(w.List3), header + second);
        QCOMPARE(clipboardAfterCopy(w.List1), QStringLiteral("类\n水果\n"));
        QCOMPARE(clipboardAfterCopy(w.List2), QStringLiteral("商品名\n苹果\n"));

        Form6 *stats = w.form6();
        stats->List1->addItem(stats->jkg(QStringLiteral("26-12-7|1500|30|1"), 0));
        stats->List1->addItem(stats->jkg(QStringLiteral("2026/12/8|0|-7.5|2"), 0));
        QCOMPARE(clipboardAfterCopy(stats->List1),
                 QStringLiteral("日期\t进货总额\t出货总额\t索引号\n26-12-7\t1500\t30\t1\n2026/12/8\t0\t-7.5\t2\n"));
        QVERIFY(boxes.seen.isEmpty());
    }

    void exportWritesTheChosenFileOrSaysWhyNot()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        Form1 w(ledger::FileStore::open(QStringLiteral("1.mdb")));
        w.show();
        shop(w);
        UserFolders user;
        const QString target = folder.file(QStringLiteral("导出.csv"));
        QString proposed;
        answerSaveDialog(this, &proposed, target);
        action(w.List3, "exportToFile")->trigger();
        QCOMPARE(QFileInfo(proposed).fileName(),
                 QStringLiteral("交易记录-%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
        Table expected;
        expected.header = transactionHeader();
        for (int row = 0; row < 2; ++row)
            expected.rows << transactionCells(w.lineRecord(row));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), toCsv(expected));
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("已导出到文件“%1”！").arg(target)});
        boxes.clear();

        // A folder where the file should go: refused with the reason, nothing written.
        QVERIFY(QDir().mkpath(folder.file(QStringLiteral("占用.csv"))));
        answerSaveDialog(this, &proposed, folder.file(QStringLiteral("占用.csv")));
        action(w.List1, "exportToFile")->trigger();
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提示：")});
        QVERIFY2(boxes.texts()[0].startsWith(QStringLiteral("无法导出到文件“")), qPrintable(boxes.texts()[0]));
        QVERIFY(QFileInfo(folder.file(QStringLiteral("占用.csv"))).isDir());

        // Neither the ledger nor a file among the backups, whatever the save dialog allowed.
        QVERIFY(QDir().mkpath(folder.file(QStringLiteral("备份"))));
        auto bytes = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray ledgerBytes = bytes(folder.file(QStringLiteral("1.mdb")));
        const std::pair<QString, QString> refused[] = {
            {folder.file(QStringLiteral("1.mdb")), QStringLiteral("这是账本文件本身")},
            {folder.file(QStringLiteral("备份/导出.csv")), QStringLiteral("这是备份文件夹中的文件")}};
        for (const auto &[path, why] : refused) {
            boxes.clear();
            answerSaveDialog(this, &proposed, path);
            action(w.List3, "exportToFile")->trigger();
            QCOMPARE(boxes.texts(), QStringList{QStringLiteral("无法导出到文件“%1”：%2！").arg(path, why)});
        }
        QCOMPARE(bytes(folder.file(QStringLiteral("1.mdb"))), ledgerBytes);
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("备份/导出.csv"))));
    }

    void exportStartsWhereTheUserLooks_data()
    {
        QTest::addColumn<bool>("documents"); // the home folder has a documents folder
        QTest::addColumn<bool>("exported");  // a file was exported before, to a folder...
        QTest::addColumn<bool>("gone");      // ...which is gone since
        QTest::addColumn<QString>("expected");
        QTest::newRow("documents folder") << true << false << false << QStringLiteral("Documents");
        QTest::newRow("no documents folder") << false << false << false << QString();
        QTest::newRow("folder used last") << true << true << false << QStringLiteral("报表");
        QTest::newRow("folder used last is gone") << true << true << true << QStringLiteral("Documents");
    }

    void exportStartsWhereTheUserLooks()
    {
        QFETCH(bool, documents);
        QFETCH(bool, exported);
        QFETCH(bool, gone);
        QFETCH(QString, expected);
        UserFolders user;
        Session s;
        auto &[folder, boxes, w] = s;
        InFolder in(folder.path());
        addCategory(w, QStringLiteral("水果"));
        QDir home(user.home());
        if (documents)
            QVERIFY(home.mkpath(QStringLiteral("Documents")));
        QString proposed;
        if (exported) {
            // Told where the file went, and the folder opened in the file manager.
            Desktop desktop;
            const QString file = home.filePath(QStringLiteral("报表/类.csv"));
            QVERIFY(home.mkpath(QStringLiteral("报表")));
            answerSaveDialog(this, &proposed, file);
            boxes.answers << QMessageBox::Open;
            action(w.List1, "exportToFile")->trigger();
            QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{
                                     {QStringLiteral("系统提示："), QStringLiteral("已导出到文件“%1”！").arg(file)}}));
            QCOMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(home.filePath(QStringLiteral("报表")))});
            // Remembered in the settings folder, not beside the ledger.
            QVERIFY(!QDir(user.settings()).isEmpty());
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                     onServerLedger() ? QStringList{} : QStringList{QStringLiteral("1.mdb")});
            if (gone)
                QVERIFY(QDir(home.filePath(QStringLiteral("报表"))).removeRecursively());
        }
        answerSaveDialog(this, &proposed, folder.file(QStringLiteral("again.csv")));
        action(w.List1, "exportToFile")->trigger();
        QCOMPARE(QFileInfo(proposed).absolutePath(), QDir::cleanPath(home.filePath(expected)));
    }

    void deletionsOfSeveralRecordsAreBackedUpAtMostEveryTenMinutes()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
        ui::setBackupClock([&now] { return now; });
        Form1 w(ledger::FileStore::open(QStringLiteral("1.mdb")));
        w.show();
        shop(w);
        addCategory(w, QStringLiteral("空类"));
        addCategory(w, QStringLiteral("饮料"));
        choose(w, QStringLiteral("饮料"));
        addProduct(w, QStringLiteral("可乐"));

        // One record: no backup.
        choose(w, QStringLiteral("空类"));
        w.Command2_Click();
        QVERIFY(backups().isEmpty());
        // Several lines: a backup holding them all.
        choose(w, QStringLiteral("水果"), QStringLiteral("苹果"));
        const qint64 before = w.store()->count();
        w.Command6_Click();
        w.Command9_Click();
        QCOMPARE(w.List3->count(), 0);
        QCOMPARE(backups(), QStringList{QStringLiteral("1-20261207-1000.mdb")});
        QCOMPARE(checkLedgerFile(QStringLiteral("备份/1-20261207-1000.mdb")).rows, before);
        // Nine minutes later: none; eleven: one more.
        now = now.addSecs(9 * 60);
        choose(w, QStringLiteral("饮料"));
        w.Command2_Click();
        QCOMPARE(backups().size(), 1);
        now = now.addSecs(2 * 60);
        choose(w, QStringLiteral("水果"));
        w.Command2_Click();
        QCOMPARE(backups(), (QStringList{QStringLiteral("1-20261207-1000.mdb"), QStringLiteral("1-20261207-1011.mdb")}));
        QCOMPARE(boxes.titles(), QStringList(4, QStringLiteral("系统提问：")));
    }

    // On a server ledger whose folder is known the same backups are made, as ledger files of
    // the server's rows; without it (as in the other tests) none.
    void serverLedgerIsBackedUpAtTheStartAndBeforeDeletions()
    {
        if (!onServerLedger())
            QSKIP("a server ledger's backups");
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
        ui::setBackupClock([&now] { return now; });
        Form1 w(ledgerIn(folder));
        w.show();
        shop(w);
        ui::backupBeforeDeletion(&w, 5);
        QVERIFY(backups().isEmpty());
        ui::keepServerBackupsBeside(&w, folder.file(QStringLiteral("1.mdb")));
        ui::startDailyBackup(&w);
        ui::waitForBackups(&w);
        QCOMPARE(backups(), QStringList{QStringLiteral("1-20261207-1000.mdb")});
        QCOMPARE(checkLedgerFile(QStringLiteral("备份/1-20261207-1000.mdb")).rows, w.store()->count());
        // Today's is there: no second one at a second start.
        ui::startDailyBackup(&w);
        ui::waitForBackups(&w);
        QCOMPARE(backups().size(), 1);
        now = now.addSecs(3600);
        const qint64 before = w.store()->count();
        choose(w, QStringLiteral("水果"));
        w.Command2_Click();
        QCOMPARE(backups(), (QStringList{QStringLiteral("1-20261207-1000.mdb"), QStringLiteral("1-20261207-1100.mdb")}));
        QCOMPARE(checkLedgerFile(QStringLiteral("备份/1-20261207-1100.mdb")).rows, before);
        QVERIFY(w.store()->count() < before);
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提问：")});
    }

    void failingBackupIsReportedOnceAndTheProgramGoesOn()
    {
        FreshFolder folder;
        InFolder in(folder.path());
        Boxes boxes;
        QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
        ui::setBackupClock([&now] { return now; });
        {
            QFile blocker(QStringLiteral("备份")); // a file where the folder should be
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        Form1 w(ledger::FileStore::open(QStringLiteral("1.mdb")));
        w.show();
        shop(w);
        ui::startDailyBackup(&w);
        ui::waitForBackups(&w);
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提示：")});
        QVERIFY2(boxes.texts()[0].startsWith(QStringLiteral("无法备份账本文件“1.mdb”：")), qPrintable(boxes.texts()[0]));
        boxes.clear();
        // The deletion's backup fails as well, silently; the deletion is done.
        now = now.addSecs(3600);
        choose(w, QStringLiteral("水果"));
        w.Command2_Click();
        QCOMPARE(boxes.titles(), QStringList{QStringLiteral("系统提问：")});
        QCOMPARE(w.store()->count(), 0);
        QVERIFY(QFileInfo(QStringLiteral("备份")).isFile());
    }
};

QTEST_MAIN(TestExport)
#include "test_export.moc"
