#include "scenario.h"

#include "ledger/backup.h"
#include "ledger/file_store.h"
#include "sqlite_db.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace powercut {

namespace {

const QByteArray kLedger = "1.mdb";
const QByteArray kKeptJet = "1.jet.mdb";
const QByteArray kExport = "全部.csv";
const QByteArray kOldExport = "标号,名称\r\nold export\r\n";

// Scratch space: a memory file system where there is one (the cuts are rebuilt thousands of times).
QString scratchBase()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

QString rowsText(const std::vector<ledger::Record> &rows)
{
    QStringList lines{QStringLiteral("rows:")};
    for (const ledger::Record &r : rows)
        lines << ledger::recordText(r);
    return lines.join(u'\n');
}

QString brief(const QString &state)
{
    if (!state.startsWith(QStringLiteral("rows:")))
        return state;
    return QStringLiteral("%1 rows").arg(state.count(u'\n'));
}

const char *opName(Op op)
{
    static const char *const names[] = {"?",       "start",  "create", "write",   "truncate",
                                        "fsync",   "dirsync", "sync",  "rename",  "link",
                                        "unlink",  "mkdir",  "rmdir",  "print",   "unsupported"};
    return op < sizeof names / sizeof *names ? names[op] : "?";
}

} // namespace

Scenario::Scenario(const std::vector<Step> &steps) : m_dir(scratchBase() + QStringLiteral("/powercut-XXXXXX"))
{
    m_folder = QDir(m_dir.path()).filePath(QStringLiteral("shop"));
    m_log = QDir(m_dir.path()).filePath(QStringLiteral("calls.log"));
    makeFolder();
    std::map<qint64, QByteArray> inodes;
    m_initial = readFolder(m_folder, &inodes);
    std::vector<int> ends;
    for (const Step &step : steps) {
        const int start = static_cast<int>(readLog(m_log).size());
        if (!run(step))
            break;
        if (step.setUp)
            m_setUps.push_back({start, static_cast<int>(readLog(m_log).size())});
    }
    m_replayer = std::make_unique<Replayer>(m_initial, inodes, readLog(m_log));
    learnAcknowledgements();
}

void Scenario::makeFolder()
{
    QDir().mkpath(m_folder);
    QFile::copy(QStringLiteral(JET_DATA "/generated/ledger_jet4.mdb"), QDir(m_folder).filePath(kLedger));
    QFile csv(QDir(m_folder).filePath(QString::fromUtf8(kExport)));
    csv.open(QIODevice::WriteOnly);
    csv.write(kOldExport);
    csv.close();
    // Thirty daily backups from about three months ago: the next backup thins them out.
    const QString templ = QDir(m_dir.path()).filePath(QStringLiteral("old.mdb"));
    {
        auto store = ledger::FileStore::open(templ);
        ledger::Record r;
        r.kind = ledger::kCategory;
        r.name = QStringLiteral("旧类");
        store->add(r);
    }
    const QDir backups(QDir(m_folder).filePath(QStringLiteral("备份")));
    backups.mkpath(QStringLiteral("."));
    for (int day = 71; day <= 100; ++day)
        QFile::copy(templ, backups.filePath(QStringLiteral("1-%1-1200.mdb")
                                                .arg(QDate::currentDate().addDays(-day).toString(QStringLiteral("yyyyMMdd")))));
}

bool Scenario::run(const Step &step)
{
    QStringList args;
    for (const QString &a : step.command)
        args << QString(a).replace(QStringLiteral("{F}"), m_folder);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(POWERCUT_SHIM));
    env.insert(QStringLiteral("POWERCUT_DIR"), m_folder);
    env.insert(QStringLiteral("POWERCUT_LOG"), m_log);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_folder);
    p.start(args.first(), args.mid(1));
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed (%2): %3 %4")
                      .arg(args.join(u' '))
                      .arg(p.exitCode())
                      .arg(QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()));
        return false;
    }
    return true;
}

void Scenario::learnAcknowledgements()
{
    const auto &ops = m_replayer->ops();
    static const QRegularExpression kept(QStringLiteral("原来的账本已保存为“([^”]+)”"));
    for (int i = 0; i < static_cast<int>(ops.size()); ++i) {
        const LogOp &op = ops[static_cast<std::size_t>(i)];
        if (op.op == Start && op.path.contains("--restore") && m_restoreStart < 0)
            m_restoreStart = i;
        if (op.op != Mark || insideSetUp(i))
            continue;
        m_marks.push_back(i);
        const QString text = QString::fromUtf8(op.data);
        if (const auto m = kept.match(text); m.hasMatch())
            m_keptByRestore = m.captured(1).toUtf8();
        if (text.contains(QStringLiteral("已把账本的")))
            m_exportMark = i;
    }
    for (int m : m_marks)
        m_states.push_back(ledgerState(m_replayer->at({m, Loss::None, 0}), kLedger));
    const Folder last = m_replayer->at({static_cast<int>(ops.size()), Loss::None, 0});
    m_finalState = ledgerState(last, kLedger);
    m_exportFinal = last.files.count(kExport) ? last.files.at(kExport) : QByteArray();
    for (std::size_t k = 0; k < m_marks.size(); ++k)
        if (m_marks[k] < m_restoreStart)
            m_beforeRestore = m_states[k];
}

bool Scenario::insideSetUp(int pos) const
{
    return std::any_of(m_setUps.cbegin(), m_setUps.cend(),
                       [pos](const std::pair<int, int> &s) { return s.first < pos && pos < s.second; });
}

std::vector<int> Scenario::interestingPositions() const
{
    std::set<int> out;
    const auto &ops = m_replayer->ops();
    for (int i = 0; i < static_cast<int>(ops.size()); ++i) {
        const Op op = ops[static_cast<std::size_t>(i)].op;
        if (op == FileSync || op == FolderSync || op == SyncAll || op == Mark || op == Rename || op == Link ||
            op == Unlink || op == Create || op == MakeFolder) {
            out.insert(i);
            out.insert(i + 1);
        }
    }
    std::vector<int> kept;
    for (int pos : out)
        if (!insideSetUp(pos))
            kept.push_back(pos);
    return kept;
}

QString Scenario::ledgerState(const Folder &f, const QByteArray &name)
{
    if (!f.has(name))
        return QStringLiteral("missing");
    const QByteArray &bytes = f.files.at(name);
    if (bytes.isEmpty())
        return QStringLiteral("empty");
    if (bytes.mid(4, 15) == "Standard Jet DB")
        return bytes == m_initial.files.at(kLedger) ? QStringLiteral("jet") : QStringLiteral("jet changed");
    const QByteArray journalName = name + "-journal";
    const QByteArray journal = f.has(journalName) ? f.files.at(journalName) : QByteArray("none");
    const QByteArray key = QCryptographicHash::hash(bytes + '\0' + journal, QCryptographicHash::Sha1);
    if (const auto it = m_seen.constFind(key); it != m_seen.cend())
        return *it;
    QTemporaryDir scratch(scratchBase() + QStringLiteral("/powercut-check-XXXXXX"));
    Folder alone;
    alone.files[kLedger] = bytes;
    if (f.has(journalName))
        alone.files[kLedger + "-journal"] = journal;
    writeFolder(scratch.path(), alone);
    QString state;
    try {
        // As the next start opens it: a journal left behind is rolled back first.
        auto store = ledger::FileStore::open(QDir(scratch.path()).filePath(QString::fromUtf8(kLedger)));
        const QString verdict = sqldb::integrity(store->handle());
        state = verdict == QStringLiteral("ok") ? rowsText(store->rows()) : QStringLiteral("damaged: ") + verdict;
    } catch (const ledger::StoreError &e) {
        state = QStringLiteral("unreadable: ") + e.message();
    }
    m_seen.insert(key, state);
    return state;
}

std::optional<QString> Scenario::checkLedger(const Cut &cut, const Folder &f)
{
    const QString state = ledgerState(f, kLedger);
    const auto k = static_cast<std::size_t>(std::lower_bound(m_marks.cbegin(), m_marks.cend(), cut.pos) - m_marks.cbegin());
    const QString before = k == 0 ? ledgerState(m_initial, kLedger) : m_states[k - 1];
    const QString after = k < m_marks.size() ? m_states[k] : m_finalState;
    if (state != before && state != after)
        return QStringLiteral("ledger: it is %1; acknowledged before the cut: %2, next: %3")
            .arg(brief(state), brief(before), brief(after));
    const bool wasJet = ledgerState(m_initial, kLedger) == QStringLiteral("jet");
    const QByteArray &original = m_initial.files.at(kLedger);
    if (wasJet && state != QStringLiteral("jet") && (!f.has(kKeptJet) || f.files.at(kKeptJet) != original))
        return QStringLiteral("Access original: the ledger was carried over but 1.jet.mdb is %1")
            .arg(f.has(kKeptJet) ? QStringLiteral("changed") : QStringLiteral("missing"));
    if (f.has(kKeptJet) && f.files.at(kKeptJet) != original)
        return QStringLiteral("Access original: 1.jet.mdb differs from it");
    if (m_restoreStart >= 0 && cut.pos > m_restoreStart && state != m_beforeRestore) {
        const QString kept = ledgerState(f, m_keptByRestore);
        if (kept != m_beforeRestore)
            return QStringLiteral("restore: the ledger was replaced, but the copy of the replaced one (%1) is %2")
                .arg(QString::fromUtf8(m_keptByRestore), brief(kept));
    }
    return std::nullopt;
}

std::optional<QString> Scenario::checkBackups(const Cut &, const Folder &f)
{
    static const QRegularExpression named(QStringLiteral("^备份/1-\\d{8}-(\\d{4}|\\d{6})(-\\d+)?\\.mdb$"));
    for (const auto &[path, bytes] : f.files) {
        if (!named.match(QString::fromUtf8(path)).hasMatch())
            continue;
        const QString state = ledgerState(f, path);
        if (!state.startsWith(QStringLiteral("rows:")))
            return QStringLiteral("backup: %1 is %2").arg(QString::fromUtf8(path), state);
    }
    return std::nullopt;
}

std::optional<QString> Scenario::checkExport(const Cut &cut, const Folder &f)
{
    if (!f.has(kExport))
        return QStringLiteral("export: the file is gone");
    const QByteArray &bytes = f.files.at(kExport);
    if (bytes != kOldExport && bytes != m_exportFinal)
        return QStringLiteral("export: the file is half written (%1 bytes of %2)").arg(bytes.size()).arg(m_exportFinal.size());
    if (m_exportMark >= 0 && cut.pos > m_exportMark && bytes != m_exportFinal)
        return QStringLiteral("export: the acknowledged export is lost");
    return std::nullopt;
}

std::optional<QString> Scenario::check(const Cut &cut)
{
    const Folder f = m_replayer->at(cut);
    if (auto why = checkLedger(cut, f))
        return why;
    if (auto why = checkBackups(cut, f))
        return why;
    return checkExport(cut, f);
}

QString Scenario::describe(const Cut &cut) const
{
    const auto &ops = m_replayer->ops();
    QString last = QStringLiteral("nothing");
    for (int m : m_marks)
        if (m < cut.pos)
            last = QString::fromUtf8(ops[static_cast<std::size_t>(m)].data).trimmed().left(60);
    QString before = QStringLiteral("the start");
    if (cut.pos > 0) {
        const LogOp &op = ops[static_cast<std::size_t>(cut.pos - 1)];
        before = QStringLiteral("%1 %2%3").arg(QString::fromLatin1(opName(op.op)), QString::fromUtf8(op.path),
                                               op.path2.isEmpty() ? QString() : QStringLiteral(" -> ") + QString::fromUtf8(op.path2));
        if (op.op == Write || op.op == FileSync || op.op == Truncate)
            before += QStringLiteral(" file %1 at %2").arg(op.file).arg(op.off);
    }
    static const char *const losses[] = {"all unsynced lost", "nothing lost", "random loss"};
    return QStringLiteral("cut at op %1 of %2, after %3 (%4, seed %5), last acknowledged: \"%6\"")
        .arg(cut.pos)
        .arg(ops.size())
        .arg(before, QString::fromLatin1(losses[static_cast<int>(cut.loss)]))
        .arg(cut.seed)
        .arg(last);
}

int Scenario::after(Op op, const QByteArray &pathEnd, int nth, int from) const
{
    const auto &ops = m_replayer->ops();
    for (int i = std::max(from, 0); i < static_cast<int>(ops.size()); ++i) {
        const LogOp &o = ops[static_cast<std::size_t>(i)];
        if (o.op == op && (o.path.endsWith(pathEnd) || o.path2.endsWith(pathEnd)) && nth-- == 0)
            return i + 1;
    }
    return -1;
}

int Scenario::markIndex(const QString &contains) const
{
    for (int m : m_marks)
        if (QString::fromUtf8(m_replayer->ops()[static_cast<std::size_t>(m)].data).contains(contains))
            return m;
    return -1;
}

} // namespace powercut
