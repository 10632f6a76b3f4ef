#include "mainwin/ui_help.h"

#include "ledger/manual.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace ui {

namespace {

// The window every other one belongs to: the main window.
QWidget *ownerOf(QWidget *window)
{
    QWidget *w = window->window();
    while (w->parentWidget())
        w = w->parentWidget()->window();
    return w;
}

} // namespace

HelpWindow::HelpWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    // Not a "Form": going back from the manual to a window is no activation of that window.
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("帮助 - 禾岚小型仓储管理软件"));
    Browser1 = control<QTextBrowser>(this, "Browser1");
    Browser1->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser1);
    resize(900, 660);
    dialogKeys(this, nullptr, nullptr);
}

void HelpWindow::showSection(const QString &file, const QString &section)
{
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(section);
    Browser1->setSource(url);
    present(this);
}

HelpWindow *helpWindow(QWidget *window)
{
    return ownerOf(window)->findChild<HelpWindow *>(QString(), Qt::FindDirectChildrenOnly);
}

void showManual(QWidget *window)
{
    const QString manual = ledger::manualFile();
    if (manual.isEmpty()) {
        showHelp(window);
        return;
    }
    HelpWindow *help = helpWindow(window);
    if (!help)
        help = new HelpWindow(ownerOf(window));
    help->showSection(manual, window->window()->objectName());
}

} // namespace ui
