#include "stocktake/product_chooser.h"

#include "mainwin/ui_app.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QVBoxLayout>

ProductChooser::ProductChooser(const QString &code, const std::vector<ledger::Product> &products, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ProductChooser"));
    setWindowTitle(QStringLiteral("这是哪种商品？"));
    auto *prompt = ui::control<QLabel>(this, "Label1",
                                       QStringLiteral("条码“%1”还没有登记。请选择它所属的商品，以后扫描这个条码就会记到该商品上：").arg(code));
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    Text1 = ui::control<QLineEdit>(this, "Text1");
    Text1->setPlaceholderText(QStringLiteral("输入商品名或类查找"));
    m_items = new QStandardItemModel(this);
    for (std::size_t i = 0; i < products.size(); ++i) {
        auto *item = new QStandardItem(products[i].category + QStringLiteral(" / ") + products[i].name);
        item->setData(static_cast<qulonglong>(i), Qt::UserRole);
        item->setEditable(false);
        m_items->appendRow(item);
    }
    m_filter = new QSortFilterProxyModel(this);
    m_filter->setSourceModel(m_items);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    List1 = ui::control<QListView>(this, "List1");
    List1->setModel(m_filter);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));

    auto *column = new QVBoxLayout(this);
    column->addWidget(prompt);
    column->addWidget(Text1);
    column->addWidget(List1, 1);
    column->addWidget(buttons);
    resize(360, 420);

    connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setFilterFixedString(text.trimmed());
        if (m_filter->rowCount() > 0)
            List1->setCurrentIndex(m_filter->index(0, 0));
    });
    // Enter in the search box takes the first product found.
    connect(Text1, &QLineEdit::returnPressed, this, [this] {
        if (chosen())
            accept();
    });
    connect(List1, &QListView::doubleClicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (chosen())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<std::size_t> ProductChooser::chosen() const
{
    const QModelIndex current = List1->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return static_cast<std::size_t>(current.data(Qt::UserRole).toULongLong());
}
