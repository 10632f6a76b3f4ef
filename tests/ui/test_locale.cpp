// The windows under a locale that writes a decimal comma: numbers are read and written with a
// point all the same, so a ledger means the same on every machine.
#include "query/form4.h"
#include "query/form5.h"
#include "query_support.h"
#include "support.h"
#include "support_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

#include <clocale>
#include <cstdlib>

using namespace ledger;

class TestLocale : public QObject {
    Q_OBJECT

private slots:
    void numbersKeepTheirPoint();
};

void TestLocale::numbersKeepTheirPoint()
{
    // The application took the comma locale from the environment, as the program does.
    QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), QByteArray("de_DE.UTF-8"));
    QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));

    Session s;
    auto &[folder, boxes, w] = s;
    addChosenProduct(w, QStringLiteral("c"), QStringLiteral("p"));
    addTx(w, QStringLiteral("2.5"), QStringLiteral("4"));
    w.Option2->click();
    addTx(w, QStringLiteral("3.75"), QStringLiteral("2"));
    QStringList totals;
    for (const Record &r : stored(w))
        if (r.kind == kTransaction)
            totals << r.total;
    QCOMPARE(totals, (QStringList{QStringLiteral("10"), QStringLiteral("7.5")}));

    // Calculations: turnover 7.5; profit (3.75 - 2.5) * 2.
    w.Command11_Click();
    Form5 *calc = w.form5();
    calc->Combo1->setCurrentIndex(0);
    calc->Combo2->setCurrentIndex(0);
    for (QRadioButton *option : {calc->Option2, calc->Option3}) {
        w.Command11_Click();
        option->click();
        calc->Command1_Click();
    }
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("此商品营业额：7.5"), QStringLiteral("此商品营业利润：2.5")}));

    // Find: the net amount of everything, 10 - 7.5.
    w.Command12_Click();
    Form4 *find = w.form4();
    for (QCheckBox *check : {find->Check1, find->Check3, find->Check4, find->Check5})
        check->setChecked(true);
    find->Command1_Click();
    QCOMPARE(w.List3->count(), 2);
    QCOMPARE(w.Label5->text(), QStringLiteral("         积压总金额：2.5元"));
}

int main(int argc, char *argv[])
{
    // A comma locale generated for this run, so the test needs no locale installed on the
    // machine (localedef comes with libc, its sources with the locales package).
    QTemporaryDir locales;
    const QByteArray command = "localedef -i de_DE -f UTF-8 '" + locales.filePath(QStringLiteral("de_DE.UTF-8")).toLocal8Bit() + "'";
    if (!locales.isValid() || std::system(command.constData()) != 0) {
        std::fprintf(stderr, "could not generate de_DE.UTF-8 with localedef\n");
        return 1;
    }
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    TestLocale test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_locale.moc"
