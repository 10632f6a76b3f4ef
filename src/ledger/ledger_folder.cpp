#include "ledger/ledger_folder.h"

#include <QDir>
#include <QFileInfo>

namespace ledger {

namespace {

// Same folder even when one of the two names goes through a symbolic link.
bool sameFolder(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

} // namespace

QString userLedgerFolder(const QString &home, const QString &xdgDataHome)
{
    const QString base = QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome
                                                           : QDir(home).filePath(QStringLiteral(".local/share"));
    return QDir::cleanPath(QDir(base).filePath(kProgramName));
}

QString ledgerFolder(const QString &chosen, const QString &current, const QString &home,
                     const QString &xdgDataHome)
{
    if (!chosen.isEmpty())
        return QDir::cleanPath(QDir(current).absoluteFilePath(chosen));
    if (QFileInfo::exists(QDir(current).filePath(kLedgerFileName)) || !sameFolder(current, home))
        return QDir::cleanPath(current);
    return userLedgerFolder(home, xdgDataHome);
}

QString ledgerFolderForStart(const QString &chosen)
{
    return ledgerFolder(chosen, QDir::currentPath(), QDir::homePath(), qEnvironmentVariable("XDG_DATA_HOME"));
}

bool enterFolder(const QString &folder)
{
    return QDir().mkpath(folder) && QDir::setCurrent(folder);
}

} // namespace ledger
