// The summaries of a folder's items, kept between runs so that opening a large calendar does
// not parse every file. Each entry carries its file's etag; an entry whose file changed is
// simply not used. The cache is only ever a copy: deleting it costs one slow start.
//
// The format is this program's own, in the machine's byte order (the magic number tells a
// cache from another byte order apart): opening reads it with plain loads instead of a stream
// per field, names stay UTF-16 so the file listing can be compared with them in place, and an
// item's texts are decoded only when asked for.
#include "calendar/FileIo.h"
#include "calendar/Model.h"
#include "platform/Locale.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cal::detail {

// The cache's bytes, in memory of their own: the texts of items not yet shown point into them.
struct CacheBytes {
    char* data = nullptr;
    size_t size = 0;
    size_t mapped = 0;
    CacheBytes() = default;
    CacheBytes(const CacheBytes&) = delete;
    CacheBytes& operator=(const CacheBytes&) = delete;
    ~CacheBytes()
    {
        if (data)
            ::munmap(data, mapped);
    }
};

namespace {
// Where the items read from the cache live: a few large blocks instead of 100,000 small
// allocations, each block given large pages where the system has them (the first touch of
// every small page is a fault that costs microseconds in a virtual machine). A block is freed
// when the last item in it is gone; every item holds the arena through its allocator.
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena()
    {
        for (const auto& [p, size] : m_blocks)
            ::munmap(p, size);
    }
    void* Take(size_t size, size_t align)
    {
        size_t pad = (align - reinterpret_cast<uintptr_t>(m_next) % align) % align; // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        if (!m_next || pad + size > m_left) {
            const size_t block = std::max<size_t>(kBlock, size + align);
            void* p = ::mmap(nullptr, block, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED)
                throw std::bad_alloc();
            ::madvise(p, block, MADV_HUGEPAGE);
            m_blocks.emplace_back(static_cast<char*>(p), block);
            m_next = static_cast<char*>(p);
            m_left = block;
            pad = 0;
        }
        void* result = m_next + pad;
        m_next += pad + size;
        m_left -= pad + size;
        return result;
    }

private:
    static constexpr size_t kBlock = size_t(16) << 20;
    std::vector<std::pair<char*, size_t>> m_blocks;
    char* m_next = nullptr;
    size_t m_left = 0;
};

template <class T> struct ArenaAllocator {
    using value_type = T;
    explicit ArenaAllocator(std::shared_ptr<Arena> a)
        : arena(std::move(a))
    {
    }
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>& other)
        : arena(other.arena)
    {
    }
    T* allocate(size_t n) { return static_cast<T*>(arena->Take(n * sizeof(T), alignof(T))); }
    void deallocate(T* /*p*/, size_t /*n*/) {}
    template <class U> bool operator==(const ArenaAllocator<U>& other) const { return arena == other.arena; }
    std::shared_ptr<Arena> arena;
};

constexpr quint32 kMagic = 0x414c4d43; // "ALMC"
constexpr quint32 kVersion = 6;

constexpr quint32 fRecurring = 1, fAllDay = 2, fReminderSet = 4, fPlaySound = 8, fZoneInFile = 16, fOrphans = 32;

// Every field is a multiple of two bytes long, so the UTF-16 names are aligned in place.
class Out {
public:
    QByteArray data;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the cache is a byte image of its values
    template <class T> void Num(T v) { data.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void Utf16(const QString& s)
    {
        Num(quint32(s.size()));
        data.append(reinterpret_cast<const char*>(s.constData()), s.size() * 2); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    }
    void Bytes(QByteArrayView b)
    {
        Num(quint32(b.size()));
        data.append(b.data(), b.size());
        if ((b.size() & 1) != 0)
            data.append('\0');
    }
};

// Reads with bounds checks: a damaged cache makes ok false, never a read past the end.
class In {
public:
    In(const char* begin, const char* end)
        : p(begin)
        , end(end)
    {
    }
    template <class T> T Num()
    {
        T v{};
        if (end - p < qsizetype(sizeof v))
            return Fail(), v;
        std::memcpy(&v, p, sizeof v);
        p += sizeof v;
        return v;
    }
    QByteArrayView Bytes()
    {
        const auto n = Num<quint32>();
        const qsizetype padded = qsizetype(n) + (n & 1);
        if (end - p < padded)
            return Fail(), QByteArrayView();
        const QByteArrayView v(p, n);
        p += padded;
        return v;
    }
    QStringView Utf16()
    {
        const auto n = Num<quint32>();
        if ((end - p) / 2 < qsizetype(n))
            return Fail(), QStringView();
        const QStringView v(reinterpret_cast<const char16_t*>(p), n); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        p += qsizetype(n) * 2;
        return v;
    }
    // A count of elements of at least size bytes each that the rest can hold.
    quint32 Count(size_t size)
    {
        const auto n = Num<quint32>();
        if (size_t(end - p) / size < n)
            return Fail(), 0;
        return n;
    }
    void Fail()
    {
        ok = false;
        p = end;
    }
    const char* p;
    const char* end;
    bool ok = true;
};

void WriteTexts(Out& out, const Summary& s)
{
    if (s.lazyTexts) {
        // Still as read: copy the encoded block unchanged.
        const char* block = s.lazyTexts->data + s.lazyOffset;
        quint32 length = 0;
        std::memcpy(&length, block, sizeof length);
        out.data.append(block, qsizetype(sizeof length) + length);
        return;
    }
    Out texts;
    for (const QString* t : {&s.texts.uid, &s.texts.subject, &s.texts.body, &s.texts.location})
        texts.Bytes(t->toUtf8());
    out.Num(quint32(texts.data.size()));
    out.data.append(texts.data);
}

void WriteSummary(Out& out, const Summary& s)
{
    out.Num(s.start);
    out.Num(s.end);
    out.Num(qint32(s.busyStatus));
    out.Num(qint32(s.reminderMinutes));
    out.Num(quint32((s.recurring ? fRecurring : 0) | (s.allDay ? fAllDay : 0) | (s.reminderSet ? fReminderSet : 0) |
                    (s.playSound ? fPlaySound : 0) | (s.zoneInFile ? fZoneInFile : 0) | (s.orphans ? fOrphans : 0)));
    for (const QString& m : s.markers)
        out.Utf16(m);
    WriteTexts(out, s);
    if (!s.recurring)
        return;
    out.Bytes(s.zoneKey);
    out.Bytes(s.dtstart);
    out.Num(quint32(s.rrules.size()));
    for (const QByteArray& r : s.rrules)
        out.Bytes(r);
    out.Num(quint32(s.exdates.size()));
    for (const qint64 e : s.exdates)
        out.Num(e);
    out.Num(s.seriesEnd);
    out.Num(quint32(s.rdates.size()));
    for (const RDateInfo& r : s.rdates) {
        out.Num(r.start);
        out.Num(r.end);
    }
    out.Num(quint32(s.overrides.size()));
    for (const OverrideInfo& o : s.overrides) {
        out.Num(o.rid);
        out.Num(o.start);
        out.Num(o.end);
        out.Num(quint32(o.thisAndFuture ? 1 : 0));
    }
}

bool ReadSummary(In& in, Summary& s, const std::shared_ptr<const CacheBytes>& bytes)
{
    s.start = in.Num<qint64>();
    s.end = in.Num<qint64>();
    s.busyStatus = in.Num<qint32>();
    s.reminderMinutes = in.Num<qint32>();
    const auto flags = in.Num<quint32>();
    s.recurring = (flags & fRecurring) != 0;
    s.allDay = (flags & fAllDay) != 0;
    s.reminderSet = (flags & fReminderSet) != 0;
    s.playSound = (flags & fPlaySound) != 0;
    s.zoneInFile = (flags & fZoneInFile) != 0;
    s.orphans = (flags & fOrphans) != 0;
    for (QString& m : s.markers) {
        const QStringView v = in.Utf16();
        if (!v.isEmpty())
            m = v.toString();
    }
    // The texts: checked now, so that decoding them later cannot fail.
    const char* block = in.p;
    const auto length = in.Num<quint32>();
    if (!in.ok || quint64(in.end - in.p) < length)
        return false;
    In texts(in.p, in.p + length);
    for (int i = 0; i < 4; ++i)
        texts.Bytes();
    if (!texts.ok || texts.p != texts.end)
        return false;
    in.p += length;
    s.lazyTexts = bytes;
    s.lazyOffset = qint32(block - bytes->data);
    if (!s.recurring)
        return in.ok;
    s.zoneKey = in.Bytes().toByteArray();
    s.dtstart = in.Bytes().toByteArray();
    for (quint32 n = in.Count(4); n > 0; --n)
        s.rrules << in.Bytes().toByteArray();
    for (quint32 n = in.Count(8); n > 0; --n)
        s.exdates << in.Num<qint64>();
    s.seriesEnd = in.Num<qint64>();
    for (quint32 n = in.Count(16); n > 0; --n) {
        RDateInfo r;
        r.start = in.Num<qint64>();
        r.end = in.Num<qint64>();
        s.rdates << r;
    }
    for (quint32 n = in.Count(28); n > 0; --n) {
        OverrideInfo o;
        o.rid = in.Num<qint64>();
        o.start = in.Num<qint64>();
        o.end = in.Num<qint64>();
        o.thisAndFuture = in.Num<quint32>() == 1;
        s.overrides << o;
    }
    return in.ok;
}

// A checksum of the cache's bytes past its header, eight at a time: a cache edited or damaged
// by hand is rebuilt, never believed.
quint64 Checksum(const char* p, size_t size)
{
    quint64 h = 0x9e3779b97f4a7c15ULL ^ size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 w = 0;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x100000001b3ULL;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ quint8(p[i])) * 0x100000001b3ULL;
    h ^= h >> 32;
    return h * 0xff51afd7ed558ccdULL;
}
constexpr qsizetype kChecksumAt = 8, kHeaderSize = 16;

// Floating times and dates were read in the system's zone: a cache made in another zone is
// not valid.
QByteArray ZoneStamp()
{
    return vb::LocalZoneId();
}

// The whole file in memory of its own. Large pages where the system gives them: the first
// touch of each small page costs more than reading the bytes into it.
std::shared_ptr<CacheBytes> ReadBytes(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::shared_ptr<CacheBytes> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = size_t(st.st_size);
        constexpr size_t kLarge = size_t(2) << 20;
        const size_t mapped = (size + kLarge - 1) & ~(kLarge - 1);
        void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            ::madvise(p, mapped, MADV_HUGEPAGE);
            bytes = std::make_shared<CacheBytes>();
            bytes->data = static_cast<char*>(p);
            bytes->mapped = mapped;
            size_t done = 0;
            while (done < size) {
                const ssize_t n = ::read(fd, bytes->data + done, size - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                done += size_t(n);
            }
            bytes->size = done;
            if (done != size)
                bytes.reset();
        }
    }
    ::close(fd);
    return bytes;
}
} // namespace

void Summary::DecodeTexts() const
{
    const std::shared_ptr<const CacheBytes> bytes = std::move(lazyTexts);
    lazyTexts.reset();
    In in(bytes->data + lazyOffset, bytes->data + bytes->size);
    in.Num<quint32>();
    for (QString* t : {&texts.uid, &texts.subject, &texts.body, &texts.location}) {
        const QByteArrayView v = in.Bytes();
        *t = QString::fromUtf8(v.data(), v.size());
    }
}

QString CachePath(const QString& location, Collection collection)
{
    const QByteArray key = QCryptographicHash::hash((location + QLatin1Char('|') + CollectionName(collection)).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(24);
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/almbro/calendar-") +
           QString::fromLatin1(key) + QStringLiteral(".cache");
}

Cache ReadCache(const QString& path)
{
    Cache cache;
    const std::shared_ptr<const CacheBytes> bytes = ReadBytes(path);
    if (!bytes)
        return cache;
    In in(bytes->data, bytes->data + bytes->size);
    const auto magic = in.Num<quint32>();
    const auto version = in.Num<quint32>();
    const auto checksum = in.Num<quint64>();
    if (!in.ok || magic != kMagic || version != kVersion ||
        checksum != Checksum(bytes->data + kHeaderSize, bytes->size - kHeaderSize))
        return cache;
    const QByteArrayView zone = in.Bytes();
    const quint32 count = in.Count(40);
    if (!in.ok || zone != ZoneStamp())
        return cache;
    cache.items.reserve(count);
    const ArenaAllocator<Resource> allocator(std::make_shared<Arena>());
    for (quint32 i = 0; i < count; ++i) {
        CachedItem item;
        item.name = in.Utf16();
        item.etag = in.Bytes();
        item.resource = std::allocate_shared<Resource>(allocator);
        if (!ReadSummary(in, item.resource->summary, bytes))
            return {}; // damaged: start afresh rather than trust part of it
        cache.items.push_back(std::move(item));
    }
    if (in.p != in.end)
        return {};
    // Written by name; sorted here all the same, since the merge with the listing relies on it.
    const auto byName = [](const CachedItem& a, const CachedItem& b) { return a.name < b.name; };
    if (!std::is_sorted(cache.items.begin(), cache.items.end(), byName))
        std::stable_sort(cache.items.begin(), cache.items.end(), byName);
    cache.data = bytes;
    return cache;
}

void WriteCache(const QString& path, const FolderData& folder)
{
    std::vector<const Resource*> items;
    items.reserve(folder.items.size());
    for (const auto& r : folder.items)
        if (!r->deleted && !r->name.isEmpty())
            items.push_back(r.get());
    // By name, as the next opening lists the files: items saved since the last opening are
    // at the end of the folder.
    const auto byName = [](const Resource* a, const Resource* b) { return a->name < b->name; };
    if (!std::is_sorted(items.begin(), items.end(), byName))
        std::stable_sort(items.begin(), items.end(), byName);
    Out out;
    out.data.reserve(qsizetype(items.size()) * 256 + 64);
    out.Num(kMagic);
    out.Num(kVersion);
    out.Num(quint64(0)); // the checksum, once the rest is written
    out.Bytes(ZoneStamp());
    out.Num(quint32(items.size()));
    for (const Resource* r : items) {
        out.Utf16(r->name);
        out.Bytes(r->etag);
        WriteSummary(out, r->summary);
    }
    const quint64 checksum = Checksum(out.data.constData() + kHeaderSize, size_t(out.data.size() - kHeaderSize));
    std::memcpy(out.data.data() + kChecksumAt, &checksum, sizeof checksum);
    const QFileInfo info(path);
    QDir().mkpath(info.path());
    // A cache write cut short leaves its temporary file behind: the next write clears those
    // of processes that are gone.
    const int dir = ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        RemoveDeadTemps(dir, ".cache");
        ::close(dir);
    }
    AtomicWrite(info.path(), info.fileName(), out.data);
}

} // namespace cal::detail
