// The program started in a folder whose ledger is on a server that asks for a password (the
// test server's "shop" over TCP, scram-sha-256) and libpq's usual places give none: a password
// box asks for it; cancelled or wrong, the start ends with a message and changes nothing.
#include "ledger/history.h"
#include "ledger/pg_db.h"
#include "ledger/server_ledger.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "pg_test_server.h"
#include "support.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QtTest>

namespace {

const QString kPassword = QStringLiteral("shop-secret");

// What the password box showed, and what the start did.
struct Start {
    int exitCode = -1;
    int boxesAsked = 0;
    QString title, label;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    qint64 rowsShown = -1; // by the main window, when it came up
    QStringList messages;
};

// Starts the program in folder; answer: typed into the password box, or null to cancel it.
Start start(const QString &folder, const QString &answer)
{
    Start s;
    Boxes boxes;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget()); box && box->isVisible()) {
            ++s.boxesAsked;
            s.title = box->windowTitle();
            s.label = box->labelText();
            s.echo = box->textEchoMode();
            if (answer.isNull()) {
                box->reject();
            } else {
                box->setTextValue(answer);
                box->accept();
            }
            return;
        }
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<Form1 *>(top); form && form->isVisible() && s.rowsShown < 0) {
                s.rowsShown = form->store()->count();
                QTimer::singleShot(0, qApp, &QApplication::quit);
            }
    });
    poll.start();
    s.exitCode = ui::runProgram(folder);
    s.messages = boxes.texts();
    return s;
}

} // namespace

class TestServerStart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!testpg::conninfo(QStringLiteral("tcp")).isEmpty(), "no test server: run the tests with ctest");
        m_db = std::make_unique<testpg::Database>();
        // The folder names the server without the password, as --server leaves it.
        m_conninfo = ledger::withoutPassword(testpg::conninfo(QStringLiteral("tcp"))) + QStringLiteral(" dbname=") + m_db->name();
        ledger::Record r;
        r.kind = ledger::kCategory;
        r.name = QStringLiteral("零食");
        ledger::ServerStore::createLedger(m_conninfo, {r}, kPassword);
        qputenv("PGPASSFILE", "/nonexistent");
        qunsetenv("PGPASSWORD");
    }
    void cleanupTestCase() { m_db.reset(); }

    void passwordBox_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // a part of the one message told, or empty for none
        QTest::newRow("right") << kPassword << 0 << QString();
        QTest::newRow("cancelled") << QString() << 1 << QStringLiteral("没有输入服务器");
        QTest::newRow("wrong") << QStringLiteral("wrong") << 1 << QStringLiteral("密码不正确");
    }
    void passwordBox()
    {
        QFETCH(QString, answer);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const FreshFolder folder;
        {
            QString said;
            QTextStream out(&said), err(&said);
            qputenv("PGPASSWORD", kPassword.toUtf8());
            QVERIFY2(ledger::useServer(folder.file(QStringLiteral("1.mdb")), m_conninfo, out, err) == 0, qPrintable(said));
            qunsetenv("PGPASSWORD");
        }
        const QString server = ledger::pgdb::describeServer(m_conninfo);
        const Start s = start(folder.path(), answer);
        QCOMPARE(s.exitCode, exitCode);
        QCOMPARE(s.boxesAsked, 1);
        QCOMPARE(s.title, QStringLiteral("连接账本服务器"));
        QVERIFY2(s.label.contains(server), qPrintable(s.label));
        QCOMPARE(s.echo, QLineEdit::Password);
        QCOMPARE(s.rowsShown, exitCode == 0 ? 1 : -1);
        if (message.isEmpty()) {
            QCOMPARE(s.messages, QStringList());
        } else {
            QCOMPARE(s.messages.size(), 1);
            QVERIFY2(s.messages.front().contains(message) && s.messages.front().contains(server),
                     qPrintable(s.messages.front()));
            QVERIFY(!s.messages.front().contains(kPassword));
        }
        // Nothing changed: the folder holds no ledger file, the server's ledger is as it was.
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("1.mdb"))));
        const auto store = ledger::ServerStore::open(m_conninfo, kPassword);
        QCOMPARE(store->count(), 1);
        QCOMPARE(store->history(10).size(), std::size_t(1));
    }

private:
    std::unique_ptr<testpg::Database> m_db;
    QString m_conninfo;
};

QTEST_MAIN(TestServerStart)
#include "test_server_start.moc"
