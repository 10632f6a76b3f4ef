// Reading a Jet file in a child process: the child is this program started with kReaderOption;
// it sends its rows back through a pipe as frames of QDataStream, and the parent watches its
// time and memory.
#include "ledger/jet_import.h"

#include "ledger/columns.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstring>
#include <exception>
#include <unistd.h>
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace ledger::jet {

namespace {

// The frames: progress (qint32), a row, the refusal (the file as named and why), the end (the row count).
enum Frame : quint8 { kProgress = 'P', kRow = 'R', kRefusal = 'E', kEnd = 'D' };

QString &readerProgram()
{
    static QString program;
    return program;
}

QDataStream &operator<<(QDataStream &out, const Record &r)
{
    out << r.hasKind << static_cast<qint32>(r.kind);
    for (const Column &c : kTextColumns)
        out << r.*c.field;
    return out;
}

QDataStream &operator>>(QDataStream &in, Record &r)
{
    qint32 kind = 0;
    in >> r.hasKind >> kind;
    r.kind = kind;
    for (const Column &c : kTextColumns)
        in >> r.*c.field;
    return in;
}

// The child's resident memory in bytes (0 when it cannot be read).
qint64 residentBytes(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

ReaderLimits effective(const QString &path, ReaderLimits limits)
{
    const qint64 size = QFileInfo(path).size();
    if (limits.time.count() == 0)
        limits.time = std::chrono::milliseconds(120000 + 2000 * (size >> 20));
    if (limits.memoryBytes == 0)
        limits.memoryBytes = (qint64(1) << 30) + 4 * size;
    return limits;
}

// What the parent has received so far.
struct Received {
    std::vector<Record> rows;
    QString refusalObject, refusal; // the file as the child named it, and why it refused
    qint64 count = -1; // set by the end frame
    bool garbled = false;
};

// Reads every complete frame that has come, up to the last one; garbled when they make no sense.
void readFrames(QDataStream &in, Received &got, const Progress &progress)
{
    while (got.count < 0 && got.refusal.isEmpty() && !got.garbled) {
        in.startTransaction();
        quint8 kind = 0;
        in >> kind;
        qint32 percent = 0;
        Record r;
        switch (kind) {
        case kProgress:
            in >> percent;
            break;
        case kRow:
            in >> r;
            break;
        case kRefusal:
            in >> got.refusalObject >> got.refusal;
            break;
        case kEnd:
            in >> got.count;
            break;
        default:
            if (in.status() == QDataStream::Ok)
                got.garbled = true;
        }
        if (!in.commitTransaction())
            return; // the rest of the frame is still on its way
        if (kind == kRow)
            got.rows.push_back(std::move(r));
        else if (kind == kProgress && progress)
            progress(std::clamp(percent, 0, 40));
    }
}

} // namespace

void setReaderProgram(const QString &program) { readerProgram() = program; }

std::vector<Record> readApart(const QString &path, const Progress &progress, const ReaderLimits &asked)
{
    const ReaderLimits limits = effective(path, asked);
    QProcess child;
    child.setProgram(readerProgram().isEmpty() ? QCoreApplication::applicationFilePath() : readerProgram());
    child.setArguments({QString::fromLatin1(kReaderOption), QFileInfo(path).absoluteFilePath()});
    child.setStandardErrorFile(QProcess::nullDevice());
#ifdef __linux__
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }); // dies with the parent
#endif
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted())
        throw StoreError(StoreError::Kind::NotConverted, QDir::toNativeSeparators(path),
                         QStringLiteral("无法启动读取它的程序（%1）").arg(child.errorString()));
    QDataStream in(&child);
    in.setVersion(QDataStream::Qt_6_0);
    Received got;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        readFrames(in, got, progress);
        if (got.count >= 0 || !got.refusal.isEmpty() || got.garbled)
            break;
        if (child.state() == QProcess::NotRunning) // all it wrote has been read; the rest is no frame
            break;
        QString exceeded;
        if (clock.elapsed() > limits.time.count())
            exceeded = QStringLiteral("读取它超过了 %1 秒").arg(limits.time.count() / 1000);
        else if (residentBytes(child.processId()) > limits.memoryBytes)
            exceeded = QStringLiteral("读取它占用了超过 %1 MB 内存").arg(limits.memoryBytes >> 20);
        if (!exceeded.isEmpty()) {
            child.kill();
            child.waitForFinished();
            throw damagedFile(path, exceeded);
        }
        child.waitForReadyRead(50);
    }
    if (!got.refusal.isEmpty()) {
        if (!child.waitForFinished(5000)) // it has said all it will
            child.kill();
        child.waitForFinished();
        throw StoreError(StoreError::Kind::NotConverted, got.refusalObject, got.refusal);
    }
    const bool finished = got.count >= 0 && child.waitForFinished(int(limits.time.count())) &&
                          child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    if (!finished || got.count != static_cast<qint64>(got.rows.size())) {
        child.kill();
        child.waitForFinished();
        throw damagedFile(path, QStringLiteral("读取它的程序意外中止"));
    }
    return std::move(got.rows);
}

std::optional<int> runReader(int argc, char *argv[])
{
    if (argc != 3 || std::strcmp(argv[1], kReaderOption) != 0)
        return std::nullopt;
    // The frames get a descriptor of their own; whatever the reader library prints goes to stderr.
    const int fd = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    QFile pipe;
    if (fd < 0 || !pipe.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return 2;
    QDataStream out(&pipe);
    out.setVersion(QDataStream::Qt_6_0);
    const QString path = QString::fromLocal8Bit(argv[2]);
    int rc = 0;
    try {
        const qint64 count = readRows(path, [&out](const Record &r) { out << quint8(kRow) << r; },
                                      [&out](int percent) { out << quint8(kProgress) << qint32(percent); });
        out << quint8(kEnd) << count;
    } catch (const StoreError &e) {
        out << quint8(kRefusal) << e.object() << e.reason();
        rc = 1;
    } catch (const std::exception &) { // std::bad_alloc for a row count no file can hold
        const StoreError damage = damagedFile(path, QStringLiteral("读取时出错"));
        out << quint8(kRefusal) << damage.object() << damage.reason();
        rc = 1;
    }
    pipe.flush();
    return rc;
}

} // namespace ledger::jet
