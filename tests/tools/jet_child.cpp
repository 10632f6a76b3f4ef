// Converts the Access ledger FOLDER/1.mdb as the program does at start, for the crash test:
//   jet_child FOLDER      prints "reading" when it starts and "converted N" when done
#include "ledger/jet_import.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("1.mdb"));
    std::printf("reading\n");
    std::fflush(stdout);
    try {
        const qint64 n = ledger::jet::convert(path, ledger::jet::keptPath(path));
        std::printf("converted %lld\n", static_cast<long long>(n));
    } catch (const ledger::StoreError &e) {
        std::printf("error %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
