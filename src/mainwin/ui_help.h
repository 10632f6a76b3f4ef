// The shopkeepers' manual: index.html with its pictures, in help/ beside the program (the build
// folder) or where an installation puts it (share/warehouse/help beside bin/), shown by F1 in
// the program's own help window at the section of the window F1 was pressed in.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

namespace ui {

// The folders looked in for index.html, in this order.
QStringList manualFolders();
// Tests look elsewhere; an empty list goes back to the folders beside the program.
void setManualFolders(const QStringList &folders);
// The manual's index.html, or empty when there is none.
QString manualFile();
// What `warehouse --help` says about the manual: the file found, or where an installation keeps it.
QString manualHint();

class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *owner);
    // Opens index.html at the section named section (a window's objectName).
    void showSection(const QString &file, const QString &section);

    QTextBrowser *Browser1;
};

// The help window of the program that window belongs to, if one was opened.
HelpWindow *helpWindow(QWidget *window);

// F1 in window: the manual at the window's section; without a manual, help.HLP as showHelp
// (ui_app.h) opens it, or the message that it is missing.
void showManual(QWidget *window);

} // namespace ui
