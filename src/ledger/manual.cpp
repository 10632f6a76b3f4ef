#include "ledger/manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ledger {

namespace {

const QString kIndex = QStringLiteral("index.html");

QStringList &chosenFolders()
{
    static QStringList folders;
    return folders;
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

} // namespace ledger
