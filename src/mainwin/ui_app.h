// What every window of the program shares: application set-up, message boxes, positions given
// in twips, and the click and activation behaviour the handlers are written against.
#pragma once

#include "ledger/text.h"

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <type_traits>

class QCheckBox;
class QListWidget;
class QLabel;
class QRadioButton;

namespace ui {

using ledger::kResultTitle;
using ledger::kTipTitle;
inline const QString kAskTitle = QStringLiteral("系统提问：");

// Fonts, the Chinese translation of the standard buttons, F1 help and the activation
// tracker. Safe to call more than once; the first window calls it.
void setupApplication();

// Monospace font in which a Chinese character is exactly two ASCII characters wide.
QString monoFontFamily();

// A modal box with one OK button.
void message(QWidget *parent, const QString &text, const QString &title = kTipTitle);
// A modal box with OK and Cancel; true for OK. Closing the box counts as Cancel.
bool confirm(QWidget *parent, const QString &text, const QString &title = kAskTitle);

// Position and size in twips (15 to a pixel).
QRect twips(int left, int top, int width, int height);

// A control of type W that handlers and tests find by its name, with its caption when W has
// one, placed at geometry unless that is empty (a laid-out window places it itself).
template <class W>
W *control(QWidget *parent, const char *name, const QString &caption = QString(), QRect geometry = QRect())
{
    W *w;
    if constexpr (std::is_constructible_v<W, const QString &, QWidget *>)
        w = new W(caption, parent);
    else
        w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    if (!geometry.isNull())
        w->setGeometry(geometry);
    return w;
}
template <class W> W *control(QWidget *parent, const char *name, QRect geometry)
{
    return control<W>(parent, name, QString(), geometry);
}

// Sets a label's text and fits the label to it.
void setAutoText(QLabel *label, const QString &text);

// Brings a window to the front and makes it the active one.
void present(QWidget *window);

// The window kept in slot, created with owner the first time it is asked for (and again
// should it have been deleted).
template <class W, class Owner> W *window(QPointer<W> &slot, Owner *owner)
{
    if (!slot)
        slot = new W(owner);
    return slot;
}

// An option button or check box that takes a click anywhere in its rectangle, not only on its
// box and caption.
template <class Button> class WholeButton : public Button {
public:
    using Button::Button;

protected:
    bool hitButton(const QPoint &pos) const override { return this->rect().contains(pos); }
};
using OptionButton = WholeButton<QRadioButton>;
using CheckBox = WholeButton<QCheckBox>;

// Every label of the window shows its text as it is: names and dates come from the user, and
// a name like "<b>AB</b>" must not be read as markup.
void plainLabels(QWidget *window);

// Calls handler once whenever another line becomes the chosen (current and selected) one, by
// mouse, keyboard or code, and on a click on the line already chosen.
void onListClick(QListWidget *list, std::function<void()> handler);

// Activation: a window of the program whose objectName starts with "Form" gets its
// Form_Activate slot called when it is shown or becomes active coming from another window of
// the program; not when a message box closes or when the user returns from another
// application. When the active one is hidden, the window that was active before it (the main
// window if none) becomes active again.
QWidget *activeForm();

// Makes the folder this start keeps its ledger in the current folder (see
// ledger/ledger_folder.h; chosen is the --folder option, empty when not given), creating it
// if missing. Says so and returns false when that fails.
bool enterLedgerFolder(const QString &chosen);

// What main does: opens the ledger file 1.mdb in folder (the current folder when empty), shows
// the main window on it and runs the program. Returns 1 when the file cannot be opened (the user
// has been told why; the file is left alone).
int runProgram(const QString &folder = QString());

// Opens help.HLP of the current folder with the desktop's viewer; says so if it is missing.
void showHelp(QWidget *parent);

} // namespace ui
