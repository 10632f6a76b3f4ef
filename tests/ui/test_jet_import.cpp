// Starting the program on an Access (Jet) ledger: the question, the conversion with its final
// count, and "取消" or a refusal leaving the folder exactly as it was.
#include "../jet/jet_rows.h"
#include "ledger/jet_import.h"
#include "ledger/file_store.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "support.h"

#include <QListWidget>
#include <QtTest>

namespace {

// Runs the program as main does, answering its boxes, until the main window is up.
int start()
{
    QTimer quit;
    quit.setInterval(20);
    QObject::connect(&quit, &QTimer::timeout, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<Form1 *>(w) && w->isVisible() && !QApplication::activeModalWidget())
                QApplication::quit();
    });
    quit.start();
    return ui::runProgram();
}

std::map<QString, QByteArray> folderBytes(const QString &dir)
{
    std::map<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        out[name] = fileBytes(QDir(dir).filePath(name));
    return out;
}

} // namespace

class TestJetImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ledger::jet::setReaderProgram(QStringLiteral(PROGRAM_DRIVER)); }
    void convertsOnOkAndOpensTheNewLedger();
    void cancelAndRefusalChangeNothing();
};

void TestJetImport::convertsOnOkAndOpensTheNewLedger()
{
    FreshFolder folder;
    InFolder in(folder.path());
    QVERIFY(QFile::copy(generatedJet(QStringLiteral("ledger_jet4")), folder.file(QStringLiteral("1.mdb"))));
    const QByteArray original = fileBytes(folder.file(QStringLiteral("1.mdb")));
    {
        Boxes boxes;
        QCOMPARE(start(), 0);
        QCOMPARE(boxes.titles(), QStringList({ui::kAskTitle, ui::kTipTitle}));
        QVERIFY(boxes.texts()[0].contains(QStringLiteral("原文件将原样保留为“1.jet.mdb”")));
        QCOMPARE(boxes.texts()[1], QStringLiteral("已把 15 条记录转入新账本“1.mdb”，原文件保留为“1.jet.mdb”。"));
    }
    QCOMPARE(fileBytes(folder.file(QStringLiteral("1.jet.mdb"))), original);
    const auto expected = expectedJetRows(QStringLiteral("ledger_jet4"));
    {
        auto store = ledger::FileStore::open(folder.file(QStringLiteral("1.mdb")));
        QCOMPARE(store->rows().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            QVERIFY2(store->rows()[i].sameContent(expected[i]), qPrintable(ledger::recordText(store->rows()[i])));
    }
    // The second start opens the new ledger without asking.
    Boxes again;
    QCOMPARE(start(), 0);
    QVERIFY(again.seen.isEmpty());
    QCOMPARE(fileBytes(folder.file(QStringLiteral("1.jet.mdb"))), original);
}

void TestJetImport::cancelAndRefusalChangeNothing()
{
    const std::vector<std::pair<QString, QMessageBox::StandardButton>> cases = {
        {QStringLiteral("ledger_jet4"), QMessageBox::Cancel}, {QStringLiteral("refused_columns"), QMessageBox::Ok}};
    for (const auto &[stem, answer] : cases) {
        FreshFolder folder;
        InFolder in(folder.path());
        QVERIFY(QFile::copy(generatedJet(stem), folder.file(QStringLiteral("1.mdb"))));
        const auto before = folderBytes(folder.path());
        Boxes boxes;
        boxes.answers = {answer};
        QCOMPARE(start(), 1);
        QCOMPARE(folderBytes(folder.path()), before);
        if (answer == QMessageBox::Ok) {
            QCOMPARE(boxes.seen.size(), 2);
            QVERIFY(boxes.texts()[1].contains(QStringLiteral("字段与本软件的不同")));
        } else {
            QCOMPARE(boxes.seen.size(), 1);
        }
    }
}

QTEST_MAIN(TestJetImport)
#include "test_jet_import.moc"
