// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
// Both before Qt, whose keyword macros glib's headers must not see.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include "ledger/jet_import.h"

#include "ledger/durable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ledger::jet {

namespace {

const std::array<QString, 9> kColumns = {
    QStringLiteral("标号"), QStringLiteral("名称"), QStringLiteral("类"),
    QStringLiteral("价格"), QStringLiteral("数量"), QStringLiteral("总额"),
    QStringLiteral("日期"), QStringLiteral("方法"), QStringLiteral("交易号码")};
// Widths of the text columns in the new ledger, in characters.
constexpr std::array<int, 9> kWidths = {0, 20, 20, 20, 20, 20, 20, 4, 20};
constexpr int kOffsetMask = 0x1fff; // row offsets carry flags in their top bits
constexpr int kOverflowRow = 0x8000; // the row holds only a pointer to where it was moved

const QString kCannotConvert = QStringLiteral("无法转换旧账本文件“%1”：%2！原文件未作任何改动。");

[[noreturn]] void refuse(const QString &path, const QString &why)
{
    throw StoreError(kCannotConvert.arg(QDir::toNativeSeparators(path), why));
}

QByteArray header(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(20) : QByteArray();
}

bool isAce(const QString &path) { return header(path).mid(4, 15) == "Standard ACE DB"; }

struct MdbCloser {
    void operator()(MdbHandle *m) const { mdb_close(m); }
};
struct TableFreer {
    void operator()(MdbTableDef *t) const { mdb_free_tabledef(t); }
};

// Jet 4 text: UCS-2 little endian, or "compressed" (FF FE, then one byte per character whose
// high byte is zero, a zero byte switching between one and two bytes per character).
bool decodeUcs2(const unsigned char *p, int n, QString &out)
{
    std::u16string units;
    units.reserve(static_cast<std::size_t>(n));
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        bool compressed = true;
        for (int i = 2; i < n;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(p[i++]);
            } else {
                if (i + 1 >= n)
                    return false;
                units.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
                i += 2;
            }
        }
    } else {
        if (n % 2 != 0)
            return false;
        for (int i = 0; i < n; i += 2)
            units.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
    }
    out = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
    return true;
}

// Jet 3 text is in the writing machine's code page; a simplified-Chinese Windows wrote GBK.
class GbkDecoder {
public:
    GbkDecoder() : m_cd(iconv_open("UTF-8", "CP936")) {}
    ~GbkDecoder()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    GbkDecoder(const GbkDecoder &) = delete;
    GbkDecoder &operator=(const GbkDecoder &) = delete;

    bool decode(const unsigned char *p, int n, QString &out)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string buf(static_cast<std::size_t>(n) * 2 + 4, '\0');
        char *in = const_cast<char *>(reinterpret_cast<const char *>(p));
        std::size_t inLeft = static_cast<std::size_t>(n);
        char *o = buf.data();
        std::size_t outLeft = buf.size();
        if (iconv(m_cd, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        out = QString::fromUtf8(buf.data(), static_cast<qsizetype>(buf.size() - outLeft));
        return true;
    }

private:
    iconv_t m_cd;
};

qsizetype characters(const QString &s)
{
    qsizetype n = s.size();
    for (QChar c : s)
        if (c.isLowSurrogate())
            --n;
    return n;
}

bool sameColumns(MdbTableDef *table)
{
    if (table->num_cols != kColumns.size())
        return false;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        const int type = i == 0 ? MDB_INT : MDB_TEXT;
        if (QString::fromUtf8(col->name) != kColumns[i] || col->col_type != type)
            return false;
    }
    return true;
}

class Reader {
public:
    Reader(QString path, MdbHandle *mdb, MdbTableDef *table)
        : m_path(std::move(path)), m_mdb(mdb), m_table(table), m_jet3(mdb->f->jet_version == MDB_VER_JET3),
          m_fields(table->num_cols)
    {
    }

    // The row libmdb has just fetched, from its raw bytes.
    Record current(qint64 number)
    {
        int start = 0;
        std::size_t size = 0;
        if (mdb_find_row(m_mdb, static_cast<int>(m_table->cur_row) - 1, &start, &size) != 0)
            damaged();
        // libmdb skips deleted rows but would read such a pointer as if it were the row.
        if (start & kOverflowRow)
            refuse(m_path, QStringLiteral("第 %1 条记录被 Access 移到了别处（溢出记录），"
                                          "请先在 Access 中“压缩和修复数据库”后再转换")
                               .arg(number));
        start &= kOffsetMask;
        std::vector<MdbField> &fields = m_fields;
        mdb_crack_row(m_table, start, size, fields.data());
        Record r;
        const MdbField &kind = fields[0];
        r.hasKind = !kind.is_null;
        if (r.hasKind) {
            if (!inPage(kind.start, 2))
                damaged();
            r.kind = static_cast<qint16>(mdb_get_int16(m_mdb->pg_buf, kind.start));
        }
        QString *texts[] = {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno};
        for (int i = 1; i < 9; ++i) {
            *texts[i - 1] = text(fields[static_cast<std::size_t>(i)], number, i);
            if (characters(*texts[i - 1]) > kWidths[static_cast<std::size_t>(i)])
                refuse(m_path, QStringLiteral("第 %1 条记录的“%2”有 %3 个字，超过了新账本允许的 %4 个字")
                                   .arg(number)
                                   .arg(kColumns[static_cast<std::size_t>(i)])
                                   .arg(characters(*texts[i - 1]))
                                   .arg(kWidths[static_cast<std::size_t>(i)]));
        }
        return r;
    }

private:
    bool inPage(int start, int size) const
    {
        return start >= 0 && size >= 0 && start + size <= static_cast<int>(m_mdb->fmt->pg_size);
    }

    QString text(const MdbField &f, qint64 number, int column)
    {
        if (f.is_null)
            return QString();
        if (f.siz == 0)
            return QStringLiteral("");
        if (!inPage(f.start, f.siz))
            damaged();
        const unsigned char *p = m_mdb->pg_buf + f.start;
        QString out;
        if (!(m_jet3 ? m_gbk.decode(p, f.siz, out) : decodeUcs2(p, f.siz, out)))
            refuse(m_path, QStringLiteral("第 %1 条记录的“%2”不是可以识别的文字，文件可能已损坏")
                               .arg(number)
                               .arg(kColumns[static_cast<std::size_t>(column)]));
        return out;
    }

    [[noreturn]] void damaged() const { refuse(m_path, QStringLiteral("文件已损坏，无法读出其中的记录")); }

    QString m_path;
    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    bool m_jet3;
    std::vector<MdbField> m_fields; // one per column, refilled for every row
    GbkDecoder m_gbk;
};

void removeQuietly(const QString &path) { QFile::remove(path); }

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    if (sa.st_size != sb.st_size)
        return false;
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

QString integrity(Store &store)
{
    sqlite3_stmt *st = nullptr;
    QString out;
    if (sqlite3_prepare_v2(store.handle(), "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            out += QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

// Writes the rows into a new ledger at tmp and reads them back.
void build(const QString &path, const QString &tmp, const std::vector<Record> &rows, const Progress &progress)
{
    {
        auto store = Store::open(tmp);
        store->addAll(rows, [&](std::size_t n) {
            if (progress)
                progress(40 + static_cast<int>(50 * n / rows.size()));
        });
    }
    auto store = Store::open(tmp);
    if (integrity(*store) != QStringLiteral("ok") || store->rows().size() != rows.size() ||
        checksum(store->rows()) != checksum(rows))
        refuse(path, QStringLiteral("新账本写入后核对不符（磁盘可能有问题）"));
}

// Keeps the original under kept: a second name for the same file, or a copy where the file
// system has no hard links.
void keepOriginal(const QString &path, const QString &kept)
{
    if (QFileInfo::exists(kept) && sameFile(path, kept))
        return;
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) == 0)
        return;
    const QString part = kept + QStringLiteral(".tmp");
    removeQuietly(part);
    bool ok = QFile::copy(path, part);
    if (ok) {
        QFile f(part);
        ok = f.open(QIODevice::ReadWrite) && ::fsync(f.handle()) == 0;
    }
    if (!ok || ::rename(QFile::encodeName(part).constData(), QFile::encodeName(kept).constData()) != 0) {
        removeQuietly(part);
        refuse(path, QStringLiteral("无法把原文件保留为“%1”（文件夹不可写或磁盘已满）").arg(QFileInfo(kept).fileName()));
    }
}

} // namespace

bool isJetFile(const QString &path)
{
    const QByteArray head = header(path).mid(4, 15);
    return head == "Standard Jet DB" || head == "Standard ACE DB";
}

QString keptPath(const QString &path)
{
    const QFileInfo fi(path);
    const QString stem = fi.completeBaseName();
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? stem + QStringLiteral(".jet.mdb") : QStringLiteral("%1.jet%2.mdb").arg(stem).arg(n);
        const QString candidate = fi.dir().filePath(name);
        if (!QFileInfo::exists(candidate) || sameFile(path, candidate))
            return candidate;
    }
}

std::vector<Record> readLedger(const QString &path, const Progress &progress)
{
    // Names of tables and columns in a Jet 3 file are in its code page too.
    qputenv("MDB_JET3_CHARSET", "CP936");
    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        refuse(path, QStringLiteral("文件已损坏或无法读取"));
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        refuse(path, isAce(path) ? QStringLiteral("文件设有 Access 数据库密码（Office 加密），请先在 Access 中撤消密码")
                                 : QStringLiteral("文件已损坏，读不出其中的表"));
    MdbCatalogEntry *entry = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && QString::fromUtf8(e->object_name) == QStringLiteral("库"))
            entry = e;
    }
    if (!entry)
        refuse(path, QStringLiteral("文件中没有账本表“库”"));
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()))
        refuse(path, QStringLiteral("文件已损坏，读不出账本表“库”"));
    if (!sameColumns(table.get()))
        refuse(path, QStringLiteral("账本表“库”的字段与本软件的不同（应为 %1）").arg(QStringList(kColumns.begin(), kColumns.end()).join(u'、')));

    std::vector<Record> rows;
    rows.reserve(table->num_rows);
    Reader reader(path, mdb.get(), table.get());
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        rows.push_back(reader.current(static_cast<qint64>(rows.size()) + 1));
        if (progress && rows.size() % 1024 == 0 && table->num_rows > 0)
            progress(static_cast<int>(40 * std::min<std::size_t>(rows.size(), table->num_rows) / table->num_rows));
    }
    return rows;
}

QByteArray checksum(const std::vector<Record> &rows)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    auto add = [&](const QString &s) {
        const QByteArray u = s.toUtf8();
        const qint32 n = s.isNull() ? -1 : static_cast<qint32>(u.size());
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&n), sizeof n));
        hash.addData(u);
    };
    for (const Record &r : rows) {
        add(r.hasKind ? QString::number(r.kind) : QString());
        for (const QString *s : {&r.name, &r.cat, &r.price, &r.qty, &r.total, &r.date, &r.method, &r.txno})
            add(*s);
    }
    return hash.result();
}

qint64 convert(const QString &path, const QString &kept, const Progress &progress)
{
    const std::vector<Record> rows = readLedger(path, progress);
    const QString tmp = path + QStringLiteral(".tmp");
    auto dropTmp = [&] {
        removeQuietly(tmp);
        removeQuietly(tmp + QStringLiteral("-journal"));
    };
    dropTmp(); // left by an interrupted conversion
    try {
        build(path, tmp, rows, progress);
        if (progress)
            progress(95);
        keepOriginal(path, kept);
        syncFolderOf(path);
    } catch (const StoreError &e) {
        dropTmp();
        if (e.message().contains(QStringLiteral("原文件未作任何改动")))
            throw;
        refuse(path, e.message().chopped(1)); // the store's sentence, without its "！"
    }
    // The moment the new ledger takes the name; the original is safe under kept by now.
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        dropTmp();
        refuse(path, QStringLiteral("无法把新账本换上（%1）").arg(why));
    }
    syncFolderOf(path);
    if (progress)
        progress(100);
    return static_cast<qint64>(rows.size());
}

} // namespace ledger::jet
