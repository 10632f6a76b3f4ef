// The shopkeepers' manual (ledger/manual.h says where it is), shown by F1 in the program's own
// help window at the section of the window F1 was pressed in.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace ui {

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
