#include "calendar/VdirStore.h"

#include "calendar/Compare.h"
#include "calendar/FileIo.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace cal::detail {

namespace {
bool IsItemFileName(const char* name)
{
    const size_t n = std::strlen(name);
    return name[0] != '.' && n > 4 && std::strcmp(name + n - 4, ".ics") == 0;
}

// File names are nearly always ASCII, which every locale's codec reads alike: skip the codec.
QString DecodeName(const char* name)
{
    const size_t n = std::strlen(name);
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(name[i]) >= 0x80)
            return QFile::decodeName(name);
    return QString::fromLatin1(name, qsizetype(n));
}

void CheckName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        !name.endsWith(QLatin1String(".ics")))
        vb::Raise(vb::ErrInvalidProcedureCall, QStringLiteral("Not a calendar item file name: \"%1\"").arg(name));
}
} // namespace

VdirStore::VdirStore(const QString& root)
    : m_root(QDir::cleanPath(root))
{
    const QFileInfo rootInfo(m_root);
    if (rootInfo.exists() && !rootInfo.isDir())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::FolderNotFolder).arg(m_root));
    // A mistyped location must not become a new tree of folders that no calendar client shows.
    if (!rootInfo.exists() && !QFileInfo(rootInfo.absolutePath()).isDir())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::FolderNoParent)
                                                 .arg(m_root, rootInfo.absolutePath()));
    // A folder that already holds .ics files is another client's collection (vdirsyncer, khal):
    // it is the calendar itself. Three collections are made only in an empty or new folder.
    m_enkel = rootInfo.isDir() && !QDir(m_root).entryList({QStringLiteral("*.ics")}, QDir::Files).isEmpty();
    for (const Collection c : {Collection::Calendar, Collection::Notes, Collection::Tasks}) {
        if (m_enkel && c != Collection::Calendar)
            continue;
        const QString path = CollectionPath(c);
        const QFileInfo info(path);
        if (info.exists() && !info.isDir())
            vb::Raise(vb::ErrCannotCreateObject,
                      Words(Message::FolderNotFolder).arg(path));
        if (!info.exists() && !QDir().mkpath(path))
            vb::Raise(vb::ErrCannotCreateObject, Words(Message::FolderNotMade).arg(path));
        if (::access(QFile::encodeName(path).constData(), R_OK | X_OK) != 0)
            vb::Raise(vb::ErrCannotCreateObject,
                      Words(Message::FolderNotRead).arg(path, SystemReason(errno)));
    }
}

QString VdirStore::CollectionPath(Collection collection) const
{
    if (m_enkel)
        return collection == Collection::Calendar ? m_root : QString();
    return m_root + QLatin1Char('/') + CollectionName(collection);
}

QString VdirStore::Describe(Collection collection, const QString& name) const
{
    return CollectionPath(collection) + QLatin1Char('/') + name;
}

QList<ResourceInfo> VdirStore::List(Collection collection)
{
    const QString path = CollectionPath(collection);
    if (path.isEmpty())
        return {}; // another client's collection holds appointments only
    // The listing shows every write made so far as it ended.
    if (m_background)
        m_background->WaitAll();
    DIR* dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        vb::Raise(vb::ErrPathNotFound, Words(Message::FolderNotRead).arg(path, SystemReason(errno)));
    const int fd = ::dirfd(dir);
    // First the names (one read of the folder), then a stat of each file: a file changed in
    // place keeps its name and inode, so only its own time and size tell.
    std::vector<char> names;
    std::vector<size_t> starts;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        long pid = 0;
        if (IsOurTempName(name, ".ics", &pid)) {
            // Left behind by a run that died between writing and renaming: never an item.
            if (pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
                ::unlinkat(fd, name, 0);
            continue;
        }
        if (!IsItemFileName(name))
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
            continue;
        starts.push_back(names.size());
        names.insert(names.end(), name, name + std::strlen(name) + 1);
    }
    // Listed by name, which is how the folder keeps its items: sorting the bytes here, where
    // they lie side by side, is cheaper than sorting the strings made from them.
    std::sort(starts.begin(), starts.end(),
              [&names](size_t a, size_t b) { return std::strcmp(names.data() + a, names.data() + b) < 0; });
    const size_t count = starts.size();
    std::vector<ResourceInfo> found(count);
    std::atomic<size_t> next{0};
    auto work = [&] {
        constexpr size_t kChunk = 512;
        for (size_t begin = 0; (begin = next.fetch_add(kChunk)) < count;) {
            for (size_t i = begin; i < std::min(count, begin + kChunk); ++i) {
                const char* name = names.data() + starts[i];
                if (const auto stamp = StatAt(fd, name))
                    found[i] = {DecodeName(name), stamp->Etag()};
            }
        }
    };
    // The stats are system calls that cost some microseconds each in a virtual machine: a
    // second thread takes half of a large folder when a processor is free.
    std::thread helper;
    if (count >= 4096 && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(work);
        } catch (...) {
            // no thread to be had: this one does it all
        }
    }
    work();
    if (helper.joinable())
        helper.join();
    ::closedir(dir);
    QList<ResourceInfo> result;
    result.reserve(qsizetype(count));
    for (ResourceInfo& info : found)
        if (!info.name.isEmpty())
            result.append(std::move(info));
    return result;
}

QByteArray VdirStore::Read(Collection collection, const QString& name, QByteArray* etag)
{
    CheckName(name);
    WaitFor(collection, name);
    const QString path = Describe(collection, name);
    // The stamp before the read (of the file opened): if the file changes while we read it,
    // the next listing shows a newer etag and it is read again.
    std::optional<FileStamp> stamp;
    QByteArray data = ReadWholeFile(path, &stamp);
    if (etag)
        *etag = stamp ? stamp->Etag() : QByteArray();
    return data;
}

std::optional<QByteArray> VdirStore::Refused(Collection collection, const QString& name, const QByteArray& data,
                                             const QByteArray& ifMatch, WriteKind kind)
{
    CheckName(name);
    if (CollectionPath(collection).isEmpty())
        vb::Raise(ErrCalendar, Words(Message::FolderAppointments).arg(m_root));
    WaitFor(collection, name);
    const QString path = Describe(collection, name);
    const auto current = StatFile(path);
    if (ifMatch.isEmpty() && current)
        vb::Raise(ErrCalendar, ExistsText(path));
    if (!ifMatch.isEmpty() && (!current || current->Etag() != ifMatch))
        vb::Raise(ErrCalendar, ChangedText(path));
    if (!ifMatch.isEmpty() && kind == WriteKind::MaybeSame) {
        // An item equal to the stored one: the file, and its etag, stay as they are.
        try {
            if (SameItem(ReadWholeFile(path), data))
                return ifMatch;
        } catch (...) {
            // unreadable: it is replaced
        }
    }
    return std::nullopt;
}

QByteArray VdirStore::Write(Collection collection, const QString& name, const QByteArray& data,
                            const QByteArray& ifMatch, WriteKind kind)
{
    if (auto same = Refused(collection, name, data, ifMatch, kind))
        return *same;
    std::optional<FileStamp> written;
    AtomicWrite(CollectionPath(collection), name, data, &m_pending, &written, &ifMatch);
    return written ? written->Etag() : QByteArray();
}

void VdirStore::WriteLater(Collection collection, const QString& name, const QByteArray& data,
                           const QByteArray& ifMatch, const WriteDone& done, WriteKind kind)
{
    Answer();
    if (auto same = Refused(collection, name, data, ifMatch, kind)) {
        done(WriteOutcome{*same, 0, QString()});
        return;
    }
    if (!m_background)
        m_background = std::make_unique<BackgroundWrites>(&m_pending);
    m_owed.insert(m_background->Post(CollectionPath(collection), name, data, ifMatch), done);
}

void VdirStore::WaitFor(Collection collection, const QString& name)
{
    if (m_background)
        m_background->WaitFor(CollectionPath(collection), name);
}

void VdirStore::Answer()
{
    if (!m_background)
        return;
    std::vector<BackgroundWrites::Result> results = m_background->TakeDone();
    // In the order they were asked for, as a store that answers at once would have.
    std::sort(results.begin(), results.end(), [](const auto& a, const auto& b) { return a.ticket < b.ticket; });
    for (BackgroundWrites::Result& result : results) {
        const WriteDone done = m_owed.take(result.ticket);
        if (!done)
            continue;
        WriteOutcome outcome;
        if (result.error.isEmpty()) {
            outcome.etag = result.written ? result.written->Etag() : QByteArray();
        } else {
            outcome.number = result.number;
            outcome.error = std::move(result.error);
        }
        done(outcome);
    }
}

void VdirStore::Settle(Collection collection, const QString& name)
{
    WaitFor(collection, name);
    Answer();
}

void VdirStore::Commit()
{
    if (m_background) {
        m_background->WaitAll();
        Answer();
    }
    m_pending.Commit();
}

VdirStore::~VdirStore()
{
    try {
        if (m_background)
            m_background->WaitAll(); // answers nobody waits for any more
        m_pending.Commit();
    } catch (...) {
        // Nothing to tell anyone any more; whoever needed to know called Commit.
    }
}

void VdirStore::Remove(Collection collection, const QString& name, const QByteArray& ifMatch)
{
    CheckName(name);
    if (CollectionPath(collection).isEmpty())
        vb::Raise(ErrCalendar, Words(Message::FolderAppointments).arg(m_root));
    WaitFor(collection, name);
    const QString path = Describe(collection, name);
    const auto current = StatFile(path);
    if (!current)
        return;
    if (!ifMatch.isEmpty() && current->Etag() != ifMatch)
        vb::Raise(ErrCalendar,
                  Words(Message::ChangedNotDeleted).arg(path));
    const QByteArray folder = QFile::encodeName(CollectionPath(collection));
    m_pending.Watch(folder);
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        vb::Raise(vb::ErrPermissionDenied, Words(Message::CannotDelete).arg(path, SystemReason(errno)));
    // The folder's flush at the next commit makes the removal durable.
    m_pending.Add(folder, QFile::encodeName(name), 0);
}

} // namespace cal::detail
