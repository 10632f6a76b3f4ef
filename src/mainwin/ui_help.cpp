#include "mainwin/ui_help.h"

#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace ui {

namespace {

const QString kIndex = QStringLiteral("index.html");

QStringList &chosenFolders()
{
    static QStringList folders;
    return folders;
}

// The window every other one belongs to: the main window.
QWidget *ownerOf(QWidget *window)
{
    QWidget *w = window->window();
    while (w->parentWidget())
        w = w->parentWidget()->window();
    return w;
}

} // namespace

QStringList manualFolders()
{
    if (!chosenFolders().isEmpty())
        return chosenFolders();
    const QDir bin(QCoreApplication::applicationDirPath());
    return {bin.filePath(QStringLiteral("help")), QDir::cleanPath(bin.filePath(QStringLiteral("../share/warehouse/help")))};
}

void setManualFolders(const QStringList &folders) { chosenFolders() = folders; }

QString manualFile()
{
    for (const QString &folder : manualFolders()) {
        const QFileInfo index(QDir(folder).filePath(kIndex));
        if (index.isFile())
            return index.absoluteFilePath();
    }
    return {};
}

QString manualHint()
{
    const QString found = manualFile();
    return found.isEmpty() ? QDir(manualFolders().constLast()).filePath(kIndex) : found;
}

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
    const QString manual = manualFile();
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
