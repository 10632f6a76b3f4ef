// Adding categories, products and transactions in the main window.
#include "browse/ui_tx_list.h"
#include "ledger/dates.h"
#include "ledger/adding.h"
#include "ledger/entry_check.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

using namespace ledger;

namespace {

// Exact text, case and width sensitive.
bool listHolds(const QListWidget *list, const QString &text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            return true;
    return false;
}

const QString kDuplicate = QStringLiteral("类不能有重复！");

// After a refusal the next key goes to the box it was about; text the check kept is selected,
// so that typing replaces it.
void refocus(QWidget *box)
{
    box->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(box))
        edit->selectAll();
}

} // namespace

void Form1::Command1_Click()
{
    const QString name = Text1->text();
    if (pd(name, QStringLiteral("类"))) {
        Text1->clear();
        refocus(Text1);
        return;
    }
    if (listHolds(List1, name)) {
        ui::message(this, kDuplicate);
        Text1->clear();
        refocus(Text1);
        return;
    }
    // Stored first: a name that could not be written is not listed, and stays in the box.
    lastreq = QStringLiteral("1|") + name;
    if (axd(lastreq, 0) != 0)
        return;
    List1->addItem(name);
    axd(QString(), 6);
    axd(QString(), 12);
    Text1->clear();
}

void Form1::Command3_Click()
{
    if (Label2->text().isEmpty()) {
        ui::message(this, QStringLiteral("请选择类！"));
        refocus(List1);
        return;
    }
    const QString name = Text2->text();
    if (pd(name, QStringLiteral("商品名"))) {
        Text2->clear();
        refocus(Text2);
        return;
    }
    if (listHolds(List2, name)) {
        ui::message(this, kDuplicate);
        Text2->clear();
        refocus(Text2);
        return;
    }
    lastreq = QStringLiteral("2|") + name + kSep + Label2->text();
    if (axd(lastreq, 0) != 0)
        return;
    List2->addItem(name);
    Text2->clear();
}

void Form1::Command8_Click()
{
    const QString dir = direction();
    // Six draws on every click, whatever happens next, so the sequence of numbers depends only
    // on the clicks.
    std::array<float, 6> d{};
    for (int i = 0; i < 5; ++i)
        d[i] = m_rnd.next();
    qint64 rowCount = -1;
    QString readError;
    try {
        rowCount = static_cast<qint64>(rows().size());
    } catch (const StoreError &e) {
        readError = e.message();
    }
    d[5] = m_rnd.next();

    const QString target = checkTransactionTarget(Label2->text(), Label4->text(), readError);
    if (!target.isNull()) {
        ui::message(this, target);
        if (Label2->text().isEmpty())
            refocus(List1);
        else if (Label4->text().isEmpty())
            refocus(List2);
        return;
    }
    if (Check1->isChecked())
        Text6->setText(currentDateText());
    const QString date = Text6->text();
    const TransactionCheck check = checkTransactionValues(Text4->text(), Text5->text(), date);
    for (const QString &m : check.messages)
        ui::message(this, m);
    if (check.rejected) {
        if (check.clearField == QStringLiteral("单价"))
            Text4->clear();
        else if (check.clearField == QStringLiteral("数量"))
            Text5->clear();
        const std::pair<QString, QLineEdit *> boxes[] = {
            {QStringLiteral("单价"), Text4}, {QStringLiteral("数量"), Text5}, {QStringLiteral("日期"), Text6}};
        for (const auto &[field, box] : boxes)
            if (check.field == field)
                refocus(box);
        return;
    }
    const QString &total = check.total;
    const QString number = QString::number(transactionNumber(d, rowCount));
    const QString product = Label4->text(), category = Label2->text();
    const QString head = QStringList{QStringLiteral("3"), product, category, Text4->text(), Text5->text(),
                                     total, date}.join(kSep);
    if (axd(head + kSep + number, 0) != 0)
        return;
    const Record stored = m_lastAdded;
    axd(jkg(head + kSep + dir + kSep + number, 0), 5);
    List3->lines()->setRecord(List3->count() - 1, *m_store, stored);
    Text4->clear();
    Text5->clear();
}
