#include "mainwin/ui_app.h"

#include "ledger/backup.h"
#include "ledger/ledger_folder.h"
#include "ledger/file_store.h"
#include "ledger/server_ledger.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"
#include "mainwin/ui_backup.h"
#include "mainwin/ui_help.h"
#include "mainwin/ui_jet_import.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace ui {

namespace {

bool isForm(QObject *o)
{
    auto *w = qobject_cast<QWidget *>(o);
    return w && w->isWindow() && w->objectName().startsWith(QStringLiteral("Form"));
}

class Tracker : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    QPointer<QWidget> active;
    QList<QPointer<QWidget>> history; // most recently active last

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(e)->key() == Qt::Key_F1 && qobject_cast<QWidget *>(o) &&
                !static_cast<QKeyEvent *>(e)->isAutoRepeat()) {
                auto *w = static_cast<QWidget *>(o);
                if (w->window() && isForm(w->window())) {
                    showManual(w->window());
                    return true;
                }
            }
            break;
        case QEvent::Show:
        case QEvent::WindowActivate:
            if (isForm(o))
                activate(static_cast<QWidget *>(o));
            break;
        case QEvent::Hide:
            if (isForm(o))
                hidden(static_cast<QWidget *>(o));
            break;
        default:
            break;
        }
        return false;
    }

private:
    void activate(QWidget *w)
    {
        if (active == w)
            return;
        active = w;
        history.removeAll(QPointer<QWidget>(w));
        history.removeAll(QPointer<QWidget>());
        history.append(w);
        if (w->metaObject()->indexOfMethod("Form_Activate()") >= 0)
            QMetaObject::invokeMethod(w, "Form_Activate", Qt::DirectConnection);
    }

    void hidden(QWidget *w)
    {
        history.removeAll(QPointer<QWidget>(w));
        if (active != w)
            return;
        active = nullptr;
        for (auto it = history.crbegin(); it != history.crend(); ++it) {
            QWidget *next = *it;
            if (next && next->isVisible()) {
                activate(next);
                next->activateWindow();
                return;
            }
        }
    }
};

// The application object holds the tracker: its state ends with the application.
Tracker *tracker() { return qApp ? qApp->findChild<Tracker *>(QString(), Qt::FindDirectChildrenOnly) : nullptr; }

} // namespace

QString monoFontFamily() { return QStringLiteral("Noto Sans Mono CJK SC"); }

void setupApplication()
{
    if (!qApp || tracker())
        return;
    // The whole interface is Chinese, the calendar's month and day names included.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9));
    auto *qt = new QTranslator(qApp);
    if (qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qt);
    qApp->installEventFilter(new Tracker(qApp));
}

QWidget *activeForm()
{
    const Tracker *t = tracker();
    return t ? t->active : nullptr;
}

void plainLabels(QWidget *window)
{
    for (QLabel *label : window->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
}

void message(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool confirm(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QRect twips(int left, int top, int width, int height)
{
    auto px = [](int v) { return (v + 7) / 15; };
    return QRect(px(left), px(top), px(width), px(height));
}

void setAutoText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->adjustSize();
}

void present(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void onListClick(QListWidget *list, std::function<void()> handler)
{
    // The chosen line is the current line when it is selected. The handler runs each time
    // another line becomes the chosen one, however that came about (a press, a drag, the
    // keyboard, code), once the line is both current and selected, which the view makes it in
    // either order. A click that chose nothing new (on the line already chosen) is handled
    // when the button is released. Focus coming into the list makes a line current without
    // selecting it: that chooses nothing.
    struct State : QObject {
        QPersistentModelIndex handled; // the chosen line the handler last ran for
        bool ranSincePress = false;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)
                ranSincePress = false;
            return false;
        }
    };
    auto *state = new State;
    state->setParent(list);
    list->viewport()->installEventFilter(state);
    auto run = [state, handler] {
        state->ranSincePress = true;
        handler();
    };
    auto chosenChanged = [list, state, run] {
        const QListWidgetItem *item = list->currentItem();
        const QModelIndex chosen = item && item->isSelected() ? list->currentIndex() : QModelIndex();
        if (chosen == state->handled)
            return;
        state->handled = chosen;
        if (chosen.isValid())
            run();
    };
    QObject::connect(list, &QListWidget::currentRowChanged, list, chosenChanged);
    QObject::connect(list, &QListWidget::itemSelectionChanged, list, chosenChanged);
    QObject::connect(list, &QListWidget::itemClicked, list, [state, run] {
        if (!state->ranSincePress)
            run();
    });
}

bool enterLedgerFolder(const QString &chosen)
{
    const QString folder = ledger::ledgerFolderForStart(chosen);
    if (ledger::enterFolder(folder))
        return true;
    setupApplication();
    message(nullptr, QStringLiteral("无法使用文件夹“%1”！").arg(QDir::toNativeSeparators(folder)));
    return false;
}

namespace {

// The folder's server ledger. When the server asks for a password that libpq's usual places
// (~/.pgpass, PGPASSFILE, PGPASSWORD) do not give, a password box asks for it; the answer is
// kept in memory only, for this connection. Null, after telling why, when it cannot be opened.
std::unique_ptr<ledger::Store> openServerLedger(const QString &conninfo)
{
    QString password;
    for (;;) {
        try {
            auto store = ledger::ServerStore::open(conninfo, password);
            // Deletions older than the days they are kept go at a start, as on a file ledger.
            try {
                store->pruneDeletions(QDateTime::currentDateTime());
            } catch (const ledger::StoreError &) {
                // kept for the next start
            }
            return store;
        } catch (const ledger::StoreError &e) {
            if (!password.isNull() || !ledger::ServerStore::asksForPassword(e)) {
                message(nullptr, e.message());
                return nullptr;
            }
        }
        const QString server = ledger::pgdb::describeServer(conninfo);
        QInputDialog box;
        box.setWindowTitle(QStringLiteral("连接账本服务器"));
        box.setLabelText(QStringLiteral("服务器“%1”要求输入密码：").arg(server));
        box.setTextEchoMode(QLineEdit::Password);
        box.setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
        box.setOkButtonText(QStringLiteral("确定"));
        box.setCancelButtonText(QStringLiteral("取消"));
        box.setWindowModality(Qt::ApplicationModal);
        if (box.exec() != QDialog::Accepted) {
            message(nullptr, QStringLiteral("没有输入服务器“%1”的密码，程序未连接账本，没有做任何改动。").arg(server));
            return nullptr;
        }
        password = box.textValue();
        if (password.isNull())
            password = QStringLiteral(""); // asked once: an empty answer is still the answer
    }
}

} // namespace

int runProgram(const QString &folder)
{
    setupApplication();
    const QString file = folder.isEmpty() ? QStringLiteral("1.mdb") : QDir(folder).filePath(QStringLiteral("1.mdb"));
    // A folder whose settings name a server works on the ledger there (see --server).
    if (const QString server = ledger::serverConnection(QFileInfo(file).absolutePath()); !server.isEmpty()) {
        std::unique_ptr<ledger::Store> store = openServerLedger(server);
        if (!store)
            return 1;
        Form1 w(std::move(store));
        w.show();
        ui::keepServerBackupsBeside(&w, file);
        ui::startDailyBackup(&w);
        return QApplication::exec();
    }
    if (!offerJetCarryOver(file))
        return 1;
    // Tells a restore that this program has the ledger open (and waits for one under way).
    const ledger::LedgerInUse inUse(file);
    std::unique_ptr<ledger::Store> store;
    try {
        // The window comes up with its categories while the other rows are read.
        store = ledger::FileStore::open(file, ledger::Store::kLockWait, ledger::FileStore::Purpose::Work,
                                        ledger::FileStore::Reading::InBackground);
    } catch (const ledger::StoreError &e) {
        // An existing file that cannot be opened is left alone; the program cannot go on.
        message(nullptr, e.message());
        return 1;
    }
    Form1 w(std::move(store));
    w.show();
    ui::startDailyBackup(&w); // after the window is up: a large ledger takes a while to copy
    // Once every row is read, the analyses read them once (a fifth of a second for a million):
    // done while the user looks at the new window rather than when the first analysis is asked
    // for.
    auto *whenRead = new QTimer(&w);
    QObject::connect(whenRead, &QTimer::timeout, &w, [&w, whenRead] {
        if (w.store()->reading())
            return;
        whenRead->stop();
        try {
            w.store()->facts();
        } catch (const ledger::StoreError &) {
            // told with the next operation that reads the ledger
        }
    });
    whenRead->start(100);
    return QApplication::exec();
}

void showHelp(QWidget *parent)
{
    const QFileInfo help(QStringLiteral("help.HLP"));
    if (!help.exists()) {
        message(parent, QStringLiteral("找不到帮助文件“help.HLP”！"));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help.absoluteFilePath())))
        message(parent, QStringLiteral("无法打开帮助文件“help.HLP”！"));
}

} // namespace ui

#include "ui_app.moc"
