// Shared by the window tests: answers message boxes without a person and gives each test a
// fresh folder of its own.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QPair>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <utility>

// The main window's status line when nothing else is shown there.
inline const QString kWelcome =
    QStringLiteral("                         欢迎您使用禾岚小型仓库管理软件！（按F1帮助）");

// The lines a list shows, read through its model as a list widget or a list view shows them.
inline QStringList lines(const QAbstractItemView *list)
{
    QStringList out;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        out << list->model()->index(i, 0).data().toString();
    return out;
}

inline QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// Watches for modal message boxes, records their title and text and answers them: with the
// next queued answer, else OK (or the only button). whileOpen runs once, with the next box
// open, before it is answered.
class Boxes : public QObject {
public:
    Boxes()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &Boxes::poll);
        m_timer.start();
    }

    QList<QPair<QString, QString>> seen; // (title, text)
    QList<QMessageBox::StandardButton> answers;
    std::function<void()> whileOpen;

    QStringList texts() const
    {
        QStringList out;
        for (const auto &p : seen)
            out << p.second;
        return out;
    }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &p : seen)
            out << p.first;
        return out;
    }
    void clear() { seen.clear(); }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == m_last)
            return;
        m_last = box;
        seen.append({box->windowTitle(), box->text()});
        if (whileOpen)
            std::exchange(whileOpen, {})();
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!answers.isEmpty())
            answer = answers.takeFirst();
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->buttons().value(0);
        QPointer<QMessageBox> guard(box);
        QTimer::singleShot(0, box, [guard, button] {
            if (guard)
                button->click();
        });
    }

    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

// A fresh empty folder for the lifetime of the object; the current folder stays as it is.
// The folder is the current one while this lives: for the code that works in the current folder
// as the program's start leaves it (the start itself, backups beside "1.mdb").
class InFolder {
public:
    explicit InFolder(const QString &path) : m_old(QDir::currentPath()) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(m_old); }
    InFolder(const InFolder &) = delete;
    InFolder &operator=(const InFolder &) = delete;

private:
    QString m_old;
};

class FreshFolder {
public:
    FreshFolder() = default;
    explicit FreshFolder(const QString &pattern) : m_dir(pattern) {}
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
