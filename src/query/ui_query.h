// Control construction shared by the find and calculation dialogs.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>

class QComboBox;
class QWidget;

namespace ui {

// A drop-down combo box with an editable text part. Typed text stays exactly as typed and never
// becomes a list entry. clicked runs when an entry is chosen from the list (also the one
// already chosen) or with the arrow keys, and when code changes the chosen entry; never on
// typing or on losing the focus.
QComboBox *dropDown(QWidget *parent, const char *name, QRect geometry, std::function<void()> clicked);

// Replaces the list with names and leaves the text empty, without running the click handler.
void refill(QComboBox *combo, const QStringList &names);

// A typed category or product with a "|" in it would shift the fields of the request: says so
// and answers true.
bool rejectsSeparator(QWidget *dialog, const QString &category, const QString &product);

} // namespace ui
