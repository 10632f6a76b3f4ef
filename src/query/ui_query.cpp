#include "query/ui_query.h"

#include "ledger/text.h"
#include "mainwin/ui_app.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <memory>

namespace ui {

QComboBox *dropDown(QWidget *parent, const char *name, QRect geometry, std::function<void()> clicked)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(geometry);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(8);
    // The text typed is the text sent: no completion (which is case-insensitive and completes
    // inline, "可乐" becoming "可乐大瓶"), and no entry picked when editing ends or Return is
    // pressed, which would also run the click handler on a mere change of focus.
    c->setCompleter(nullptr);
    QObject::disconnect(c->lineEdit(), &QLineEdit::editingFinished, c, nullptr);
    QObject::disconnect(c->lineEdit(), &QLineEdit::returnPressed, c, nullptr);
    // A choice that changes the entry emits currentIndexChanged and then activated; run the
    // handler once for it, and also when the entry already chosen is chosen again.
    auto changed = std::make_shared<bool>(false);
    QObject::connect(c, &QComboBox::currentIndexChanged, c, [c, changed, clicked](int index) {
        if (index < 0)
            return;
        *changed = true;
        // A change made by code is not followed by activated.
        QTimer::singleShot(0, c, [changed] { *changed = false; });
        clicked();
    });
    QObject::connect(c, &QComboBox::activated, c, [changed, clicked](int) {
        if (!*changed)
            clicked();
        *changed = false;
    });
    return c;
}

void refill(QComboBox *combo, const QStringList &names)
{
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(names);
    // Filling an empty box would otherwise choose its first entry.
    combo->setCurrentIndex(-1);
    combo->clearEditText();
}

bool rejectsSeparator(QWidget *dialog, const QString &category, const QString &product)
{
    const std::pair<const QString *, const char *> fields[] = {{&category, "类"}, {&product, "商品名"}};
    for (const auto &[text, field] : fields) {
        if (text->contains(ledger::kSep)) {
            message(dialog, QString::fromUtf8(field) + QStringLiteral("中不能含有“|”竖线系统默认分隔符！"));
            return true;
        }
    }
    return false;
}

} // namespace ui
