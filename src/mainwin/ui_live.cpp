#include "mainwin/ui_live.h"

#include "ledger/server_store.h"
#include "mainwin/form1.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

namespace ui {

namespace {

class Follower : public QObject {
public:
    Follower(Form1 *main, ledger::ServerStore *store) : QObject(main), m_main(main), m_store(store)
    {
        connect(store, &ledger::Store::changedElsewhere, this, [this] {
            m_relist = true;
            QTimer::singleShot(0, this, &Follower::settle);
        });
        connect(&m_timer, &QTimer::timeout, this, &Follower::look);
        m_timer.start(kLookEvery);
        watch();
    }

private:
    static constexpr int kLookEvery = 1000; // ms

    // A notifier on the connection's socket of now.
    void watch()
    {
        const int socket = m_store->noticeSocket();
        if (socket == m_socket)
            return;
        delete m_notifier;
        m_notifier = nullptr;
        m_socket = socket;
        if (socket < 0)
            return;
        m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Follower::look);
    }

    void look()
    {
        // Read at once, also while a dialog is open: a notifier left unread fires again and again.
        m_noticed = m_store->changeNoticed() || m_noticed;
        settle();
    }

    void settle()
    {
        if (QApplication::activeModalWidget()) { // the timer comes back
            watch();
            return;
        }
        if (m_noticed) {
            m_noticed = false;
            try {
                m_store->rows(); // announces changedElsewhere() when it took something in
            } catch (const ledger::StoreError &) {
                // told by the next action, which also connects again
            }
        }
        watch();
        if (m_relist) {
            m_relist = false;
            m_main->relist();
        }
    }

    Form1 *m_main;
    ledger::ServerStore *m_store;
    QTimer m_timer;
    QSocketNotifier *m_notifier = nullptr;
    int m_socket = -1;
    bool m_noticed = false, m_relist = false;
};

} // namespace

void followOtherComputers(Form1 *main)
{
    if (auto *store = dynamic_cast<ledger::ServerStore *>(main->store()))
        new Follower(main, store);
}

} // namespace ui
