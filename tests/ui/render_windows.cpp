// Renders every window of the program to PNG files, with a few sample records, so that the
// layout can be looked at without a display:
//   QT_QPA_PLATFORM=offscreen ./render_windows OUTPUT_FOLDER
#include "about/form3.h"
#include "about/form7.h"
#include "analysis/form_daychart.h"
#include "analysis/form_lowstock.h"
#include "analysis/form_ranking.h"
#include "analysis/form_stockvalue.h"
#include "ledger/dates.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "query/form4.h"
#include "query/form5.h"
#include "recycle/form_recycle.h"
#include "stats/form6.h"
#include "stocktake/form_stocktake.h"
#include "support_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens")).absolutePath();
    QDir().mkpath(out);
    Session s;
    auto &[folder, boxes, w] = s;

    // A little of everything, through the same handlers a user would press.
    w.Text1->setText(QStringLiteral("水果"));
    w.Command1_Click();
    w.Text1->setText(QStringLiteral("Drinks"));
    w.Command1_Click();
    w.List1->setCurrentRow(0);
    w.Text2->setText(QStringLiteral("苹果"));
    w.Command3_Click();
    w.Text2->setText(QStringLiteral("Kiwi fruit"));
    w.Command3_Click();
    w.List2->setCurrentRow(0);
    const char *entries[][2] = {{"2.5", "10"}, {"12.75", "3"}, {"0.5", "1000"}};
    for (const auto &e : entries) {
        w.Text4->setText(QString::fromLatin1(e[0]));
        w.Text5->setText(QString::fromLatin1(e[1]));
        w.Command8_Click();
    }
    w.List2->setCurrentRow(1);
    w.Text4->setText(QStringLiteral("8"));
    w.Text5->setText(QStringLiteral("2"));
    w.Command8_Click();
    w.List2->setCurrentRow(0);
    w.Check2->setChecked(false);

    auto save = [&](QWidget *win, const QString &name) {
        win->show();
        QApplication::processEvents();
        win->grab().save(out + u'/' + name + QStringLiteral(".png"));
    };
    save(&w, QStringLiteral("form1"));
    // The lines of an ASCII-named product under those of a Chinese-named one: the columns must
    // line up.
    for (const ledger::Record &r : w.store()->rows())
        if (r.kind == ledger::kTransaction && r.name == QStringLiteral("Kiwi fruit"))
            w.axd(w.jkg(ledger::recordText(r), 0), 5);
    save(&w, QStringLiteral("form1_mixed"));
    save(w.form2(), QStringLiteral("form2"));
    save(w.form3(), QStringLiteral("form3"));
    // The find dialog with a date condition chosen, the calculation dialog with a calculation.
    Form4 *find = w.form4();
    find->show();
    find->Check5->setChecked(true);
    find->Check4->setChecked(true);
    find->Check2->setChecked(true);
    find->Combo2->setEditText(QStringLiteral("苹果"));
    find->days(QStringLiteral("06-3-9"));
    find->Option2->click();
    save(find, QStringLiteral("form4"));
    Form5 *calc = w.form5();
    calc->show();
    calc->Combo1->setCurrentIndex(0);
    calc->Combo2->setCurrentIndex(0);
    calc->Option5->click();
    save(calc, QStringLiteral("form5"));
    // Days written in both date forms and directions, then every record's day lines.
    const char *days[][3] = {{"26-3-1", "1500", "1"}, {"26-3-2", "320.5", "0"}, {"2026/3/1", "12", "0"},
                             {"26-3-3", "88", "1"}, {"26-03-02", "100", "1"}};
    for (const auto &d : days) {
        (d[2][0] == '1' ? w.Option1 : w.Option2)->setChecked(true);
        w.axd(QStringLiteral("3|苹果|水果|1|1|%1|%2|1").arg(QString::fromLatin1(d[1]), QString::fromLatin1(d[0])), 0);
    }
    w.form6()->show();
    w.form6()->Combo1->setCurrentIndex(0);
    w.form6()->Command1_Click();
    save(w.form6(), QStringLiteral("form6"));
    w.form6()->Label3_MouseMove(); // the longest feedback: the reminder to choose the user range
    save(w.form6(), QStringLiteral("form6_reminder"));
    save(w.form7(), QStringLiteral("form7"));
    // The analyses, with a sale that leaves 苹果 short and one of a Latin-named product.
    w.Option2->setChecked(true);
    w.axd(QStringLiteral("3|苹果|水果|1|1040|1500|%1|1").arg(ledger::pickedDateText(QDate::currentDate())), 0);
    w.axd(QStringLiteral("3|Kiwi fruit|Drinks|8|1|10|%1|1").arg(ledger::pickedDateText(QDate::currentDate())), 0);
    save(w.form7()->lowStock(), QStringLiteral("analysis_lowstock"));
    save(w.form7()->ranking(), QStringLiteral("analysis_ranking"));
    save(w.form7()->stockValue(), QStringLiteral("analysis_stockvalue"));
    FormStockTake *take = w.form7()->stockTake();
    take->show();
    take->Form_Activate();
    for (const char *typed : {"3", "1"}) { // counts typed into the first two lines
        take->Table1->model()->setData(take->Table1->model()->index(typed[0] == '3' ? 0 : 1, 3),
                                       QString::fromLatin1(typed));
    }
    save(take, QStringLiteral("stocktake"));
    QMenu menu;
    addChartAction(&menu, w.form6());
    menu.actions().first()->trigger();
    save(w.form6()->findChild<FormDayChart *>(), QStringLiteral("analysis_chart"));
    // Two deletions in the 回收站: one sale, then the Latin-named product with its transactions.
    w.store()->removeExact(w.store()->rows().back());
    w.store()->removeWhere([](const ledger::Record &r) { return r.name == QStringLiteral("Kiwi fruit"); });
    FormRecycle *bin = w.form7()->recycle();
    bin->show();
    bin->Form_Activate();
    save(bin, QStringLiteral("recycle"));
    qInfo("windows written to %s", qPrintable(out));
    return 0;
}
