#include "mainwin/ui_live.h"

#include "ledger/server_store.h"
#include "mainwin/form1.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>

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
        m_step.setSingleShot(true);
        connect(&m_step, &QTimer::timeout, this, &Follower::look);
        watch();
    }

private:
    static constexpr int kLookEvery = 1000, kStepEvery = 50; // ms
    static constexpr std::chrono::seconds kFirstWait{1}, kLongestWait{16};

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
        if (m_store->noticeSocket() < 0)
            connectAgain();
        else
            m_wait = kFirstWait;
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

    // A connection lost while nobody acts (the server restarted, the session was ended) is made
    // again a step at a time, so that the window never waits for a server that does not answer;
    // after a failed attempt the next waits twice as long as the one before, up to kLongestWait.
    void connectAgain()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now < m_nextTry)
            return;
        try {
            if (m_store->reconnect()) {
                m_noticed = true; // what the others changed meanwhile
                m_wait = kFirstWait;
            } else {
                m_step.start(kStepEvery);
            }
        } catch (const ledger::StoreError &) {
            m_nextTry = now + m_wait;
            m_wait = std::min<std::chrono::seconds>(m_wait * 2, kLongestWait);
        }
    }

    Form1 *m_main;
    ledger::ServerStore *m_store;
    QTimer m_timer, m_step;
    std::chrono::steady_clock::time_point m_nextTry;
    std::chrono::seconds m_wait = kFirstWait;
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
