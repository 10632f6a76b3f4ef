// Converts the Access ledger FOLDER/1.mdb as the program does at start, for the crash test:
//   jet_child FOLDER      prints "reading" when it starts and "converted N" when done
// It is also the reader the conversion starts (jet_child --read-jet-ledger FILE), which misbehaves
// as JET_CHILD_MISBEHAVE says: "hang", "grow" (eats memory), "crash", "garbage", "silent".
#include "ledger/jet_import.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

void misbehave(const QByteArray &how)
{
    if (how == "hang")
        std::this_thread::sleep_for(std::chrono::hours(1));
    if (how == "grow") {
        std::vector<std::vector<char>> eaten;
        for (;;) {
            eaten.emplace_back(std::size_t(32) << 20, '\x01');
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (how == "crash")
        std::abort();
    if (how == "garbage")
        std::printf("R\x7f\xff\xff\xff garbage");
    std::exit(0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], ledger::jet::kReaderOption) == 0 && qEnvironmentVariableIsSet("JET_CHILD_MISBEHAVE"))
        misbehave(qgetenv("JET_CHILD_MISBEHAVE"));
    if (const std::optional<int> rc = ledger::jet::runReader(argc, argv))
        return *rc;
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
