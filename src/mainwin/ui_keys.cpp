#include "mainwin/ui_keys.h"

#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>

namespace ui {

namespace {

// Keys reach the window only when no control used them: a list, a calendar or an open
// drop-down list keeps its own Enter and Esc.
class DialogKeys : public QObject {
public:
    DialogKeys(QWidget *window, QPushButton *ok, QPushButton *cancel) : QObject(window), m_ok(ok), m_cancel(cancel) {}

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(e);
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (key->key() == Qt::Key_Escape) {
            if (m_cancel)
                m_cancel->click();
            else
                static_cast<QWidget *>(o)->close();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_ok && m_ok->isEnabled()) {
            m_ok->click();
            return true;
        }
        return false;
    }

private:
    QPointer<QPushButton> m_ok, m_cancel;
};

} // namespace

void dialogKeys(QWidget *window, QPushButton *ok, QPushButton *cancel)
{
    window->installEventFilter(new DialogKeys(window, ok, cancel));
    for (QPushButton *b : window->findChildren<QPushButton *>())
        b->setAutoDefault(true);
    if (ok)
        ok->setDefault(true);
}

} // namespace ui
