// Runs the program as main does, in the current folder, answering every message box and
// printing it as "BOX title|text"; quits by itself shortly after the window is up.
//   program_driver [CATEGORY]   also adds CATEGORY with the main window's "添加" button
// Like the program, it is its own reader of Access ledgers (the window tests point the
// conversion at it).
#include "ledger/jet_import.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_backup.h"
#include "support.h"

#include <QLineEdit>
#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    if (const std::optional<int> rc = ledger::jet::runReader(argc, argv))
        return *rc;
    QApplication app(argc, argv);
    Boxes boxes;
    const QString category = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    std::function<void()> whenUp = [&] {
        auto *w = qobject_cast<Form1 *>(QApplication::activeWindow());
        for (QWidget *top : QApplication::topLevelWidgets())
            if (!w)
                w = qobject_cast<Form1 *>(top);
        if (!w) { // a question comes before the window (the Access carry-over)
            QTimer::singleShot(50, &app, whenUp);
            return;
        }
        ui::waitForBackups(w); // the start's backup first, so that its report comes in a fixed order
        if (!category.isEmpty()) {
            w->Text1->setText(category);
            w->Command1_Click();
        }
        QTimer::singleShot(200, &app, &QApplication::quit);
    };
    QTimer::singleShot(0, &app, whenUp);
    const int rc = ui::runProgram();
    for (const auto &[title, text] : boxes.seen)
        std::printf("BOX %s|%s\n", title.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stdout);
    return rc;
}
