// Model-based random test: long random runs of adds, deletions, listings, finds, calculations
// and restarts, each step checked against a small in-memory model of the ledger kept here.
#include "ledger/dates.h"
#include "ledger/text.h"
#include "ledger/find.h"
#include "support.h"
#include "support_main.h"

#include <QRadioButton>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

using namespace ledger;

namespace {

struct Row {
    int kind;
    QString name, cat, price, qty, total, date, method, txno;
    QString text() const
    {
        return QStringList{QString::number(kind), name, cat, price, qty, total, date, method, txno}.join(u'|');
    }
};

const QStringList kCats = {QStringLiteral("水果"), QStringLiteral("饮料"), QStringLiteral("A"), QStringLiteral("b'c")};
const QStringList kProducts = {QStringLiteral("苹果"), QStringLiteral("梨"), QStringLiteral("Cola"), QStringLiteral("x%y")};
const QStringList kPrices = {QStringLiteral("2.5"), QStringLiteral("10"), QStringLiteral("0.5"), QStringLiteral("3.25")};
const QStringList kQtys = {QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("0"), QStringLiteral("7")};
const QStringList kDates = {QStringLiteral("24-6-15"), QStringLiteral("2024/6/15"), QStringLiteral("26-12-1"),
                            QString(), QStringLiteral("不是日期")};
const QString kIn = QStringLiteral("进货");
const QString kOut = QStringLiteral("出货");

bool same(const QString &stored, const QString &wanted) { return !stored.isNull() && !wanted.isEmpty() && stored == wanted; }

class Model {
public:
    std::vector<Row> rows;

    QStringList texts() const
    {
        QStringList out;
        for (const Row &r : rows)
            out << r.text();
        return out;
    }
    QStringList categories() const
    {
        QStringList out;
        for (const Row &r : rows)
            if (r.kind == 1)
                out << r.name;
        return out;
    }
    QStringList products(const QString &cat) const
    {
        QStringList out;
        for (const Row &r : rows)
            if (r.kind == 2 && same(r.cat, cat))
                out << r.name;
        return out;
    }
    std::vector<size_t> listed(const QString &cat, const QString &product, const QString &dir) const
    {
        std::vector<size_t> out;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].kind == 3 && same(rows[i].cat, cat) && same(rows[i].name, product) && rows[i].method == dir)
                out.push_back(i);
        return out;
    }
    qint64 remaining(const QString &cat, const QString &product) const
    {
        qint64 net = 0;
        for (const Row &r : rows)
            if (r.kind == 3 && same(r.cat, cat) && same(r.name, product)) {
                const double q = parseNumber(r.qty);
                net = roundEven(static_cast<double>(net) + (r.method == kIn ? q : -q));
            }
        return net;
    }
};

class ModelTest : public QObject {
    Q_OBJECT

private slots:
    void randomRunsMatchTheModel()
    {
        // On tmpfs where there is one: every add syncs the file, and thousands of steps add up.
        const auto folder = QDir(QStringLiteral("/dev/shm")).exists()
                                ? std::make_unique<FreshFolder>(QStringLiteral("/dev/shm/ledger-model-XXXXXX"))
                                : std::make_unique<FreshFolder>();
        Boxes boxes;
        QRandomGenerator rng(424242);
        Model model;
        auto w = std::make_unique<Form1>(ledgerIn(*folder));
        w->show();
        int restarts = 0, steps = 0, checks = 0;
        constexpr int kSteps = 5000;
        for (; steps < kSteps; ++steps) {
            const int op = static_cast<int>(rng.bounded(100));
            const QString cat = kCats[rng.bounded(kCats.size())];
            const QString product = kProducts[rng.bounded(kProducts.size())];
            boxes.clear();
            if (op < 10) { // a category
                w->axd(QStringLiteral("1|") + cat, 0);
                model.rows.push_back({1, cat, {}, {}, {}, {}, {}, w->Option1->isChecked() ? kIn : kOut, {}});
            } else if (op < 22) { // a product
                w->axd(QStringLiteral("2|%1|%2").arg(product, cat), 0);
                model.rows.push_back({2, product, cat, {}, {}, {}, {}, w->Option1->isChecked() ? kIn : kOut, {}});
            } else if (op < 50) { // a transaction, in either direction
                const bool in = rng.bounded(2) == 0;
                (in ? w->Option1 : w->Option2)->setChecked(true);
                const QString price = kPrices[rng.bounded(kPrices.size())];
                const QString qty = kQtys[rng.bounded(kQtys.size())];
                const QString total = formatNumber(parseNumber(price) * parseNumber(qty));
                const QString date = kDates[rng.bounded(kDates.size())];
                const QString txno = QString::number(rng.bounded(1000));
                w->axd(QStringList{QStringLiteral("3"), product, cat, price, qty, total, date, txno}.join(u'|'), 0);
                model.rows.push_back({3, product, cat, price, qty, total, date.isEmpty() ? QString() : date,
                                      in ? kIn : kOut, txno});
            } else if (op < 65) { // list a product's transactions, maybe delete some lines
                w->Check2->setChecked(false);
                const QString dir = rng.bounded(2) ? kIn : kOut;
                (dir == kIn ? w->Option1 : w->Option2)->setChecked(true);
                w->axd(QString(), 2);
                const int c = rowOf(w->List1, cat);
                if (c < 0) {
                    QCOMPARE(model.categories().contains(cat), false);
                    continue;
                }
                w->List1->setCurrentRow(c);
                QCOMPARE(lines(w->List2), model.products(cat));
                const int p = rowOf(w->List2, product);
                if (p < 0)
                    continue;
                w->List2->setCurrentRow(p);
                const std::vector<size_t> listed = model.listed(cat, product, dir);
                QStringList expected;
                for (size_t i : listed)
                    expected << makeTxLine(model.rows[i].text());
                QCOMPARE(lines(w->List3), expected);
                ++checks;
                if (!listed.empty() && rng.bounded(2)) {
                    std::vector<size_t> gone;
                    for (int i = 0; i < w->List3->count(); ++i)
                        if (rng.bounded(3) == 0) {
                            w->List3->setSelected(i, true);
                            w->List3->selectionModel()->setCurrentIndex(w->List3->model()->index(i, 0), QItemSelectionModel::NoUpdate);
                            gone.push_back(listed[static_cast<size_t>(i)]);
                        }
                    if (gone.empty())
                        continue;
                    boxes.answers = {QMessageBox::Ok};
                    w->Command9_Click();
                    for (auto it = gone.rbegin(); it != gone.rend(); ++it)
                        model.rows.erase(model.rows.begin() + static_cast<long>(*it));
                    QCOMPARE(w->List3->count(), static_cast<int>(listed.size() - gone.size()));
                }
            } else if (op < 72) { // delete a product of a category with its transactions
                w->axd(QStringLiteral("2|%1|%2").arg(product, cat), 1);
                std::erase_if(model.rows, [&](const Row &r) { return same(r.cat, cat) && same(r.name, product); });
            } else if (op < 82) { // find everything, or one day
                const bool oneDay = rng.bounded(2);
                const QString day = QStringLiteral("24-6-15");
                w->axd(oneDay ? QStringLiteral("||%1|2").arg(day) : QStringLiteral("|||0"), 8,
                       Form1::Given{ledger::kEveryTransaction, {}});
                QStringList expected;
                double net = 0;
                for (const Row &r : model.rows)
                    if (r.kind == 3 && (!oneDay || (!r.date.isNull() && dateYYMMDD(r.date) == dateYYMMDD(day)))) {
                        expected << makeTxLine(r.text());
                        net += (r.method == kIn ? 1 : -1) * parseNumber(r.total);
                    }
                if (!model.rows.empty())
                    QCOMPARE(lines(w->List3), expected);
                if (!expected.isEmpty())
                    QCOMPARE(w->Label5->text(), QStringLiteral("         积压总金额：%1元").arg(formatNumber(net)));
                ++checks;
            } else if (op < 96) { // remaining stock
                w->axd(QStringLiteral("%1|%2|1").arg(cat, product), 13);
                QCOMPARE(boxes.texts(), QStringList{QStringLiteral("此商品库存：%1").arg(model.remaining(cat, product))});
                ++checks;
            } else { // the program is closed and started again
                w.reset();
                w = std::make_unique<Form1>(ledgerIn(*folder));
                w->show();
                ++restarts;
                QCOMPARE(lines(w->List1), model.categories().isEmpty() ? QStringList() : model.categories());
            }
            // After every step the file holds exactly the model's rows, in order.
            QStringList stored;
            for (const Record &r : w->store()->rows())
                stored << recordText(r);
            QCOMPARE(stored, model.texts());
            QVERIFY2(boxes.seen.size() <= 1, qPrintable(boxes.texts().join(u'/')));
        }
        qInfo("%d steps, %d restarts, %d answers compared, %zu rows at the end", steps, restarts, checks,
              model.rows.size());
        w.reset();
    }
};

} // namespace

QTEST_MAIN(ModelTest)
#include "test_model.moc"
