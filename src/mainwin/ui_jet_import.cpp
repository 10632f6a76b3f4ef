#include "mainwin/ui_jet_import.h"

#include "ledger/jet_import.h"
#include "mainwin/ui_app.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace ui {

bool offerJetCarryOver(const QString &path)
{
    if (!ledger::jet::isJetFile(path))
        return true;
    setupApplication();
    const QString file = QFileInfo(path).fileName();
    const QString kept = ledger::jet::keptPath(path);
    const QString keptName = QFileInfo(kept).fileName();
    if (!confirm(nullptr, QStringLiteral("账本文件“%1”是旧的 Access（Jet）格式。要把它转换为本软件的加密账本吗？\n"
                                         "原文件将原样保留为“%2”。")
                              .arg(file, keptName)))
        return false;

    QProgressDialog progress(QStringLiteral("正在转换账本文件“%1”……").arg(file), QString(), 0, 100);
    progress.setWindowTitle(kTipTitle);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    qint64 count = 0;
    try {
        count = ledger::jet::convert(path, kept, [&](int percent) {
            progress.setValue(percent);
            QCoreApplication::processEvents();
        });
    } catch (const ledger::StoreError &e) {
        progress.close();
        message(nullptr, e.message());
        return false;
    } catch (const std::exception &) { // out of memory: no file of the shop's should end the program
        progress.close();
        message(nullptr, ledger::jet::damagedFile(path, QStringLiteral("内存不足，无法读出")).message());
        return false;
    }
    progress.close();
    message(nullptr, QStringLiteral("已把 %1 条记录转入新账本“%2”，原文件保留为“%3”。").arg(count).arg(file, keptName));
    return true;
}

} // namespace ui
