// glib first: mdbtools.h includes it inside extern "C", where its C++ parts do not compile.
// Both before Qt, whose keyword macros glib's headers must not see.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include "ledger/jet_import.h"
#include "ledger/file_store.h"

#include "ledger/columns.h"
#include "ledger/durable.h"
#include "ledger/ledger_table.h"
#include "ledger/sqlite_db.h"
#include "ledger/text.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ledger::jet {

namespace {

constexpr int kOffsetMask = 0x1fff; // row offsets carry flags in their top bits
constexpr int kOverflowRow = 0x8000; // the row holds only a pointer to where it was moved

[[noreturn]] void refuse(const QString &path, const QString &why)
{
    throw StoreError(StoreError::Kind::NotConverted, QDir::toNativeSeparators(path), why);
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
    // As stored: QString::fromUtf16 would drop a leading U+FEFF and byte-swap after a U+FFFE.
    out = QString(reinterpret_cast<const QChar *>(units.data()), static_cast<qsizetype>(units.size()));
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
        // One byte can become three (0x80, the euro sign), four bytes four.
        std::string buf(static_cast<std::size_t>(n) * 3 + 4, '\0');
        char *in = const_cast<char *>(reinterpret_cast<const char *>(p));
        std::size_t inLeft = static_cast<std::size_t>(n);
        char *o = buf.data();
        std::size_t outLeft = buf.size();
        if (iconv(m_cd, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        out = exactFromUtf8(buf.data(), static_cast<qsizetype>(buf.size() - outLeft));
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

MdbColumn *column(MdbTableDef *table, unsigned i) { return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i)); }

bool isInteger(int type) { return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT; }

// The nine columns by name; 标号 any integer type, the others text or memo (Access lets the
// shopkeeper widen or retype them, and every value is still checked to fit).
bool sameColumns(MdbTableDef *table)
{
    if (table->num_cols != std::size(kColumns))
        return false;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const int type = column(table, i)->col_type;
        if (QString::fromUtf8(column(table, i)->name) != columnName(kColumns[i]) ||
            !(i == 0 ? isInteger(type) : type == MDB_TEXT || type == MDB_MEMO))
            return false;
    }
    return true;
}

[[noreturn]] void damaged(const QString &path, const QString &what) { throw damagedFile(path, what); }

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
            damaged(m_path, QStringLiteral("第 %1 条记录读不出").arg(number));
        // libmdb skips deleted rows but would read such a pointer as if it were the row.
        if (start & kOverflowRow)
            refuse(m_path, QStringLiteral("第 %1 条记录被 Access 移到了别处（溢出记录），"
                                          "请先在 Access 中“压缩和修复数据库”后再转换")
                               .arg(number));
        start &= kOffsetMask;
        if (!validRow(m_mdb, start, size))
            damaged(m_path, QStringLiteral("第 %1 条记录不在它的页中").arg(number));
        std::vector<MdbField> &fields = m_fields;
        mdb_crack_row(m_table, start, size, fields.data());
        Record r;
        r.hasKind = !fields[0].is_null;
        if (r.hasKind)
            r.kind = kind(fields[0], number);
        for (int i = 1; i < static_cast<int>(std::size(kColumns)); ++i) {
            const Column &c = kColumns[i];
            QString &t = r.*c.field;
            t = text(fields[static_cast<std::size_t>(i)], number, i);
            if (characters(t) > c.width)
                refuse(m_path, QStringLiteral("第 %1 条记录的“%2”有 %3 个字，超过了新账本允许的 %4 个字")
                                   .arg(number)
                                   .arg(columnName(c))
                                   .arg(characters(t))
                                   .arg(c.width));
        }
        return r;
    }

    // A row that lies after the page's table of row offsets and inside the page.
    static bool validRow(MdbHandle *mdb, int start, std::size_t size)
    {
        const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        const int tableEnd = mdb->fmt->row_count_offset + 2 + 2 * rows;
        return size > 0 && start >= tableEnd && start + static_cast<qint64>(size) <= mdb->fmt->pg_size;
    }

private:
    bool inPage(int start, int size) const
    {
        return start >= 0 && size >= 0 && start + size <= static_cast<int>(m_mdb->fmt->pg_size);
    }

    int kind(const MdbField &f, qint64 number) const
    {
        const int type = column(m_table, 0)->col_type;
        const int size = type == MDB_BYTE ? 1 : type == MDB_INT ? 2 : 4;
        if (f.siz != size || !inPage(f.start, size))
            damaged(m_path, QStringLiteral("第 %1 条记录的“标号”读不出").arg(number));
        const qint64 v = type == MDB_BYTE ? m_mdb->pg_buf[f.start]
                         : type == MDB_INT ? static_cast<qint16>(mdb_get_int16(m_mdb->pg_buf, f.start))
                                           : static_cast<qint32>(mdb_get_int32(m_mdb->pg_buf, f.start));
        if (v < -32768 || v > 32767)
            refuse(m_path, QStringLiteral("第 %1 条记录的“标号”是 %2，超出了新账本允许的 -32768 到 32767").arg(number).arg(v));
        return static_cast<int>(v);
    }

    // Where a memo's text is: in the row after its 12-byte head, or alone on a page of long
    // values. A memo spread over several pages is far longer than any field of the ledger.
    bool memo(const MdbField &f, const unsigned char *&p, int &n, qint64 number, int column)
    {
        if (f.siz < MDB_MEMO_OVERHEAD)
            return false;
        const unsigned char *head = m_mdb->pg_buf + f.start;
        const auto length = static_cast<quint32>(mdb_get_int32(const_cast<unsigned char *>(head), 0));
        if (length & 0x80000000u) {
            p = head + MDB_MEMO_OVERHEAD;
            n = f.siz - MDB_MEMO_OVERHEAD;
            return true;
        }
        if ((length & 0xc0000000u) != 0x40000000u)
            refuse(m_path, QStringLiteral("第 %1 条记录的“%2”太长，超过了新账本允许的 %3 个字")
                               .arg(number)
                               .arg(columnName(kColumns[column]))
                               .arg(kColumns[column].width));
        void *page = nullptr;
        int start = 0;
        std::size_t size = 0;
        const int pointer = static_cast<int>(mdb_get_int32(const_cast<unsigned char *>(head), 4));
        if (mdb_find_pg_row(m_mdb, pointer, &page, &start, &size) != 0 || start < 0 ||
            start + static_cast<qint64>(size) > m_mdb->fmt->pg_size || size != (length & 0x3fffffffu))
            return false;
        p = static_cast<const unsigned char *>(page) + start;
        n = static_cast<int>(size);
        return true;
    }

    QString text(const MdbField &f, qint64 number, int column)
    {
        if (f.is_null)
            return QString();
        if (f.siz == 0)
            return QStringLiteral("");
        if (!inPage(f.start, f.siz))
            damaged(m_path, QStringLiteral("第 %1 条记录读不出").arg(number));
        const unsigned char *p = m_mdb->pg_buf + f.start;
        int n = f.siz;
        if (jet::column(m_table, static_cast<unsigned>(column))->col_type == MDB_MEMO && !memo(f, p, n, number, column))
            damaged(m_path, QStringLiteral("第 %1 条记录的“%2”读不出").arg(number).arg(columnName(kColumns[column])));
        QString out;
        if (n > 0 && !(m_jet3 ? m_gbk.decode(p, n, out) : decodeUcs2(p, n, out)))
            refuse(m_path, QStringLiteral("第 %1 条记录的“%2”不是可以识别的文字，文件可能已损坏")
                               .arg(number)
                               .arg(columnName(kColumns[column])));
        return n == 0 ? QStringLiteral("") : out;
    }

    QString m_path;
    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    bool m_jet3;
    std::vector<MdbField> m_fields; // one per column, refilled for every row
    GbkDecoder m_gbk;
};

// Walks every page the table's usage map names, as libmdb does, but finds what it would skip
// without a word: a page of the table that is not a readable data page, a row offset outside
// its page. Returns the rows the pages hold that are not marked deleted.
qint64 liveRowsOnPages(const QString &path, MdbHandle *mdb, MdbTableDef *table)
{
    const auto owner = static_cast<long>(table->entry->table_pg);
    const int rco = mdb->fmt->row_count_offset;
    qint64 live = 0;
    for (gint32 pg = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned>(table->map_sz), 0); pg > 0;
         pg = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned>(table->map_sz), static_cast<guint32>(pg))) {
        if (mdb_read_pg(mdb, static_cast<unsigned long>(pg)) != mdb->fmt->pg_size)
            damaged(path, QStringLiteral("第 %1 页读不出").arg(pg));
        const unsigned char type = mdb->pg_buf[0];
        // Long values (memos) and indexes of the table are on its pages too.
        if (type == 0x01 && std::memcmp(mdb->pg_buf + 4, "LVAL", 4) == 0)
            continue;
        if (type == 0x03 || type == 0x04)
            continue;
        if (type != 0x01 || mdb_get_int32(mdb->pg_buf, 4) != owner)
            damaged(path, QStringLiteral("第 %1 页不是账本表的数据页").arg(pg));
        const int rows = mdb_get_int16(mdb->pg_buf, rco);
        for (int i = 0; i < rows; ++i) {
            const int offset = mdb_get_int16(mdb->pg_buf, rco + 2 + 2 * i);
            if (offset & 0x4000) // deleted
                continue;
            const int next = i == 0 ? static_cast<int>(mdb->fmt->pg_size)
                                    : mdb_get_int16(mdb->pg_buf, rco + 2 * i) & kOffsetMask;
            const int start = offset & kOffsetMask;
            if (!Reader::validRow(mdb, start, static_cast<std::size_t>(std::max(0, next - start))))
                damaged(path, QStringLiteral("第 %1 页的第 %2 个记录位置不对").arg(pg).arg(i + 1));
            ++live;
        }
    }
    return live;
}

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

// Writes the rows into a new ledger at tmp and reads them back.
void build(const QString &path, const QString &tmp, const std::vector<Record> &rows, const Progress &progress)
{
    {
        auto store = FileStore::open(tmp);
        store->addAll(rows, [&](std::size_t n) {
            if (progress)
                progress(40 + static_cast<int>(50 * n / rows.size()));
        });
    }
    auto store = FileStore::open(tmp);
    if (!store->passesIntegrityCheck() || store->rows().size() != rows.size() ||
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

StoreError damagedFile(const QString &path, const QString &what)
{
    return StoreError(StoreError::Kind::NotConverted, QDir::toNativeSeparators(path),
                      QStringLiteral("文件已损坏（%1），请先在 Access 中“压缩和修复数据库”后再转换").arg(what));
}

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

qint64 readRows(const QString &path, const RowSink &sink, const Progress &progress)
{
    // Names of tables and columns in a Jet 3 file are in its code page too.
    qputenv("MDB_JET3_CHARSET", "CP936");
    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        refuse(path, QStringLiteral("文件已损坏或无法读取"));
    const qint64 size = QFileInfo(path).size();
    if (size % mdb->fmt->pg_size != 0)
        damaged(path, QStringLiteral("文件长 %1 字节，不是整数个 %2 字节的页").arg(size).arg(mdb->fmt->pg_size));
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
        refuse(path, QStringLiteral("账本表“库”的字段与本软件的不同（应为 %1）").arg(ledgerColumns().join(u'、')));

    const qint64 declared = table->num_rows;
    qint64 count = 0;
    Reader reader(path, mdb.get(), table.get());
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        sink(reader.current(++count));
        if (progress && count % 1024 == 0 && declared > 0)
            progress(static_cast<int>(40 * std::min(count, declared) / declared));
    }
    // libmdb passes over what it cannot read: the rows must be exactly those the table declares.
    const qint64 live = liveRowsOnPages(path, mdb.get(), table.get());
    if (count != declared || live != declared)
        damaged(path, QStringLiteral("表中应有 %1 条记录，读出 %2 条").arg(declared).arg(count));
    return count;
}

std::vector<Record> readLedger(const QString &path, const Progress &progress)
{
    std::vector<Record> rows;
    readRows(path, [&rows](const Record &r) { rows.push_back(r); }, progress);
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
        for (const Column &c : kTextColumns)
            add(r.*c.field);
    }
    return hash.result();
}

qint64 convert(const QString &path, const QString &kept, const Progress &progress, const ReaderLimits &limits)
{
    const std::vector<Record> rows = readApart(path, progress, limits);
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
        if (e.kind() == StoreError::Kind::NotConverted)
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
