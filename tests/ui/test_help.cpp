// F1 and the manual: the help window at each window's section, the manual's pictures, what
// happens without a manual, and where an installation puts it and `warehouse --help` finds it.
#include "ledger/manual.h"
#include "mainwin/ui_help.h"
#include "support_desktop.h"
#include "support_main.h"
#include "support_windows.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QString kManual = QStringLiteral(MANUAL_DIR);

QString manualText()
{
    QFile f(kManual + QStringLiteral("/index.html"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ledger::setManualFolders({}); }
    void f1OpensTheManualAtTheWindowsSection_data();
    void f1OpensTheManualAtTheWindowsSection();
    void manualShowsEveryPicture();
    void withoutTheManual_data();
    void withoutTheManual();
    void installedAndNamedByHelpOption();
};

void TestHelp::f1OpensTheManualAtTheWindowsSection_data()
{
    QTest::addColumn<QString>("window");
    for (const QString &name : QStringList{QStringLiteral("Form1")} + kSecondaryWindows)
        QTest::newRow(qPrintable(name)) << name;
}

void TestHelp::f1OpensTheManualAtTheWindowsSection()
{
    QFETCH(QString, window);
    ledger::setManualFolders({kManual});
    Session s;
    auto &[folder, boxes, w] = s;
    QWidget *shown = openWindow(w, window);
    QCOMPARE(shown->objectName(), window);
    QVERIFY(QTest::qWaitForWindowActive(shown));
    QTest::keyClick(shown->focusWidget() ? shown->focusWidget() : shown, Qt::Key_F1);

    ui::HelpWindow *help = ui::helpWindow(&w);
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->Browser1->source().toLocalFile(), QFileInfo(kManual + QStringLiteral("/index.html")).absoluteFilePath());
    QCOMPARE(help->Browser1->source().fragment(), window);
    // The section is there, and the page was turned to it.
    QVERIFY2(manualText().contains(QStringLiteral("<a name=\"%1\"></a>").arg(window)), qPrintable(window));
    QTRY_VERIFY(help->Browser1->verticalScrollBar()->value() > 0);
    QVERIFY(boxes.seen.isEmpty());

    // Esc closes it; the window F1 was pressed in is as it was.
    QTest::keyClick(help->Browser1, Qt::Key_Escape);
    QVERIFY(!help->isVisible());
    QVERIFY(shown->isVisible());
}

void TestHelp::manualShowsEveryPicture()
{
    const QString html = manualText();
    QVERIFY(!html.isEmpty());
    const QRegularExpression source(QStringLiteral("<img src=\"([^\"]+)\""));
    QStringList pictures;
    for (const QRegularExpressionMatch &m : source.globalMatch(html))
        pictures << m.captured(1);
    QCOMPARE(pictures.size(), kSecondaryWindows.size() + 1); // a picture of every window
    for (const QString &picture : pictures) {
        const QImage image(kManual + u'/' + picture);
        QVERIFY2(!image.isNull(), qPrintable(picture));
        QVERIFY2(image.width() > 150 && image.height() > 80, qPrintable(picture));
        // Drawn, not blank: more than a handful of colours.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 8, qPrintable(picture));
    }
    // Every link inside the page leads to a section of it.
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    for (const QRegularExpressionMatch &m : link.globalMatch(html))
        QVERIFY2(html.contains(QStringLiteral("<a name=\"%1\"></a>").arg(m.captured(1))), qPrintable(m.captured(1)));
}

void TestHelp::withoutTheManual_data()
{
    QTest::addColumn<bool>("hlpFile");
    QTest::newRow("nothing") << false;
    QTest::newRow("help.HLP only") << true;
}

void TestHelp::withoutTheManual()
{
    QFETCH(bool, hlpFile);
    FreshFolder empty;
    ledger::setManualFolders({empty.path()});
    Desktop desktop;
    Session s;
    auto &[folder, boxes, w] = s;
    InFolder in(folder.path());
    if (hlpFile) {
        QFile hlp(QStringLiteral("help.HLP"));
        QVERIFY(hlp.open(QIODevice::WriteOnly));
    }
    QTest::keyClick(w.Text1, Qt::Key_F1);
    QVERIFY(!ui::helpWindow(&w));
    if (hlpFile) {
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(QStringLiteral("help.HLP")).absoluteFilePath())});
    } else {
        QCOMPARE(boxes.seen, (QList<QPair<QString, QString>>{{QStringLiteral("系统提示："), QStringLiteral("找不到帮助文件“help.HLP”！")}}));
        QVERIFY(desktop.opened.isEmpty());
    }
}

void TestHelp::installedAndNamedByHelpOption()
{
    // The program in the build folder finds the manual beside it.
    QProcess help;
    help.start(QStringLiteral(WAREHOUSE_PROGRAM), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(30000));
    const QString said = QString::fromUtf8(help.readAllStandardOutput());
    QVERIFY2(said.contains(QStringLiteral("F1")) &&
                 said.contains(QFileInfo(kManual + QStringLiteral("/index.html")).absoluteFilePath()),
             qPrintable(said));

    // An installation puts it under share/warehouse/help, where the installed program finds it
    // and where the manual page says it is for the package's prefix.
    FreshFolder prefix;
    QProcess install;
    install.start(QStringLiteral(CMAKE_PROGRAM), {QStringLiteral("--install"), QStringLiteral(BUILD_DIR),
                                                  QStringLiteral("--prefix"), prefix.path()});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    const QString installed = prefix.file(QStringLiteral("share/warehouse/help/index.html"));
    QVERIFY(QFileInfo::exists(installed));
    QVERIFY(QImage(prefix.file(QStringLiteral("share/warehouse/help/images/form1.png"))).width() > 150);
    help.start(prefix.file(QStringLiteral("bin/warehouse")), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(30000));
    QVERIFY2(QString::fromUtf8(help.readAllStandardOutput()).contains(installed), qPrintable(installed));
    QFile man(QStringLiteral(SOURCE_DIR "/data/warehouse.1"));
    QVERIFY(man.open(QIODevice::ReadOnly));
    QVERIFY(man.readAll().contains("/usr/share/warehouse/help/index.html"));
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
