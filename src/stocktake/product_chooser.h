// Asks which product a code the ledger does not know belongs to: the ledger's products in a list
// that narrows as a name is typed.
#pragma once

#include "ledger/products.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QListView;
class QSortFilterProxyModel;
class QStandardItemModel;

class ProductChooser : public QDialog {
    Q_OBJECT

public:
    ProductChooser(const QString &code, const std::vector<ledger::Product> &products, QWidget *parent);

    QLineEdit *Text1; // narrows the list to the names holding its text
    QListView *List1;

    // The index in products of the chosen product, or none.
    std::optional<std::size_t> chosen() const;

private:
    QStandardItemModel *m_items;
    QSortFilterProxyModel *m_filter;
};
