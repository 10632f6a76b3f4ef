#include "ledger/row_loader.h"

#include "ledger/columns.h"
#include "ledger/text.h"

#include <sqlite3.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

namespace ledger {

namespace {

// Shares one QString among the equal texts of a column (names, categories, dates, prices,
// quantities repeat across a large ledger), which keeps the loaded ledger small, spares a
// conversion per field and lets the analyses group products by the texts' addresses. Exact up
// to kMaxTexts different texts a column; beyond that a new text is simply converted.
class Interner {
public:
    Interner() : m_slots(1024) {}

    // n < 0: a column never written.
    QString text(const char *p, int n)
    {
        if (n < 0)
            return QString();
        if (n == 0)
            return QStringLiteral("");
        quint32 h = 2166136261u; // FNV-1a
        for (int i = 0; i < n; ++i)
            h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot &slot = m_slots[i];
            if (slot.bytes.isNull()) {
                QString text = exactFromUtf8(p, n);
                if (m_used >= kMaxTexts)
                    return text;
                slot = {h, QByteArray(p, n), text};
                if (++m_used * 2 > m_slots.size())
                    grow();
                return text;
            }
            if (slot.hash == h && slot.bytes.size() == n &&
                std::memcmp(slot.bytes.constData(), p, static_cast<std::size_t>(n)) == 0)
                return slot.text;
        }
    }

private:
    static constexpr std::size_t kMaxTexts = 1 << 16;
    struct Slot {
        quint32 hash = 0;
        QByteArray bytes; // null: a free slot
        QString text;
    };

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const std::size_t mask = m_slots.size() - 1;
        for (Slot &s : old) {
            if (s.bytes.isNull())
                continue;
            std::size_t i = s.hash & mask;
            while (!m_slots[i].bytes.isNull())
                i = (i + 1) & mask;
            m_slots[i] = std::move(s);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
};

// Rows copied out of SQLite as raw bytes, so that another thread turns them into records while
// this one decrypts the next pages (each takes about half of loading a large ledger).
struct RawBatch {
    static constexpr int kFields = static_cast<int>(kTextColumns.size());
    static constexpr std::size_t kRows = 4096;
    std::vector<qint64> ids;
    std::vector<int> kinds;   // kNoKind for a null kind
    std::vector<int> lengths; // kFields a row; -1 for null
    std::string bytes;
    static constexpr int kNoKind = RowLoader::kNoKind;

    void add(sqlite3_stmt *st)
    {
        ids.push_back(sqlite3_column_int64(st, 0));
        kinds.push_back(sqlite3_column_type(st, 1) == SQLITE_NULL ? kNoKind : sqlite3_column_int(st, 1));
        for (int c = 2; c < 2 + kFields; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_NULL) {
                lengths.push_back(-1);
                continue;
            }
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
            const int n = sqlite3_column_bytes(st, c);
            lengths.push_back(n);
            bytes.append(p, static_cast<std::size_t>(n));
        }
    }
    void add(qint64 id, int kind, const RowLoader::Field *fields)
    {
        ids.push_back(id);
        kinds.push_back(kind);
        for (int c = 0; c < kFields; ++c) {
            lengths.push_back(fields[c].size);
            if (fields[c].size > 0)
                bytes.append(fields[c].data, static_cast<std::size_t>(fields[c].size));
        }
    }
    bool full() const { return ids.size() >= kRows; }
};

} // namespace

// Turns batches into records, in order, on its own thread.
class RowBuilder {
public:
    explicit RowBuilder(std::vector<Record> &rows) : m_rows(rows), m_thread([this] { run(); }) {}
    ~RowBuilder() { finish(); }

    void push(RawBatch &&batch)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(batch));
        }
        m_ready.notify_one();
    }
    // Waits until every pushed batch is in the rows.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        m_thread.join();
    }

private:
    void run()
    {
        for (;;) {
            RawBatch batch;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_ready.wait(lock, [this] { return m_done || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                batch = std::move(m_queue.front());
                m_queue.pop_front();
            }
            build(batch);
        }
    }

    void build(const RawBatch &b)
    {
        const char *p = b.bytes.data();
        const int *len = b.lengths.data();
        auto field = [&](Interner *pool) {
            const int n = *len++;
            const char *at = p;
            if (n > 0)
                p += n;
            if (pool)
                return pool->text(at, n);
            if (n < 0)
                return QString();
            return n == 0 ? QStringLiteral("") : exactFromUtf8(at, n);
        };
        for (std::size_t i = 0; i < b.ids.size(); ++i) {
            Record &r = m_rows.emplace_back();
            r.id = b.ids[i];
            r.hasKind = b.kinds[i] != RawBatch::kNoKind;
            r.kind = r.hasKind ? b.kinds[i] : 0;
            for (std::size_t c = 0; c < kTextColumns.size(); ++c)
                r.*kTextColumns[c].field = field(kTextColumns[c].repeats ? &m_pools[c] : nullptr);
        }
    }

    std::vector<Record> &m_rows;
    Interner m_pools[kTextColumns.size()]; // one a text column; used where its texts repeat
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<RawBatch> m_queue;
    bool m_done = false;
    std::thread m_thread;
};

namespace {

// A large ledger fills hundreds of megabytes page by page; in large pages that costs a
// fraction of the page faults.
void adviseLargePages(void *data, std::size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t kLarge = 2u << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

} // namespace

int loadRows(sqlite3_stmt *st, std::vector<Record> &rows)
{
    adviseLargePages(rows.data(), rows.capacity() * sizeof(Record));
    int rc = SQLITE_OK;
    RowBuilder builder(rows);
    RawBatch batch;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        batch.add(st);
        if (batch.full())
            builder.push(std::exchange(batch, RawBatch{}));
    }
    builder.push(std::move(batch));
    builder.finish();
    return rc;
}

struct RowLoader::Batch : RawBatch {};

RowLoader::RowLoader(std::vector<Record> &rows) : m_batch(std::make_unique<Batch>())
{
    adviseLargePages(rows.data(), rows.capacity() * sizeof(Record));
    m_builder = std::make_unique<RowBuilder>(rows);
}

RowLoader::~RowLoader() = default; // the builder's thread finishes with it

void RowLoader::add(qint64 id, int kind, const Field *fields)
{
    m_batch->add(id, kind, fields);
    if (m_batch->full())
        m_builder->push(std::exchange(static_cast<RawBatch &>(*m_batch), RawBatch{}));
}

void RowLoader::finish()
{
    m_builder->push(std::exchange(static_cast<RawBatch &>(*m_batch), RawBatch{}));
    m_builder->finish();
}

} // namespace ledger
