#include "calendar/FileIo.h"

#include "calendar/Store.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"

#include <QAtomicInt>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <thread>
#include <dirent.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace cal::detail {

namespace {
const char kTempMark[] = ".almbro-tmp-";

FileStamp FromStat(const struct stat& st)
{
    FileStamp s;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.size = st.st_size;
    s.inode = st.st_ino;
    s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

void WriteAll(int fd, const QByteArray& data, const QString& path)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(path, SystemReason(errno)));
        }
        p += n;
        left -= n;
    }
}
} // namespace

QString SystemReason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray FileStamp::Etag() const
{
    // One allocation and no format parsing: opening a calendar makes one etag per file.
    char text[96];
    char* p = std::to_chars(text, text + 24, static_cast<long long>(mtimeNs)).ptr;
    *p++ = '-';
    p = std::to_chars(p, p + 24, static_cast<long long>(size)).ptr;
    *p++ = '-';
    p = std::to_chars(p, p + 22, static_cast<unsigned long long>(inode)).ptr;
    *p++ = '-';
    p = std::to_chars(p, p + 22, static_cast<long long>(ctimeNs)).ptr;
    return QByteArray(text, p - text);
}

std::optional<FileStamp> StatFile(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FromStat(st);
}

std::optional<FileStamp> StatAt(int dirFd, const char* name)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FromStat(st);
}

QByteArray TempName(const QByteArray& finalName)
{
    static QAtomicInt counter;
    return '.' + finalName + kTempMark + QByteArray::number(qint64(::getpid())) + '-' +
           QByteArray::number(counter.fetchAndAddRelaxed(1));
}

bool IsOurTempName(const char* name, const char* finalSuffix, long* pid)
{
    // "." final-name mark pid "-" counter, and nothing else.
    if (name[0] != '.')
        return false;
    const char* mark = std::strstr(name, kTempMark);
    if (!mark)
        return false;
    const size_t suffixLength = std::strlen(finalSuffix);
    const auto finalLength = size_t(mark - name - 1);
    if (finalLength <= suffixLength || std::strncmp(mark - suffixLength, finalSuffix, suffixLength) != 0)
        return false;
    const char* digits = mark + sizeof(kTempMark) - 1;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || value <= 0 || errno != 0)
        return false;
    const char* counter = end + 1;
    if (!*counter)
        return false;
    for (const char* c = counter; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    if (pid)
        *pid = value;
    return true;
}

void RemoveDeadTemps(int dirFd, const char* finalSuffix)
{
    const int fd = ::dup(dirFd);
    if (fd < 0)
        return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        long pid = 0;
        if (IsOurTempName(entry->d_name, finalSuffix, &pid) && pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 &&
            errno == ESRCH)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

namespace {
int SyncPath(const QByteArray& path, bool directory)
{
    const int fd = ::open(path.constData(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int rc = directory ? ::fsync(fd) : ::fdatasync(fd);
    const int err = rc == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

void SyncFolder(const QByteArray& dirPath, const QString& shown)
{
    const int err = SyncPath(dirPath, true);
    if (err != 0 && err != EINVAL)
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(err)));
}
} // namespace

PendingWrites::~PendingWrites()
{
    CloseFolders();
}

void PendingWrites::CloseFolders()
{
    for (const auto& folder : m_folders)
        if (folder.second >= 0)
            ::close(folder.second);
    m_folders.clear();
}

void PendingWrites::Watch(const QByteArray& dir)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& folder : m_folders)
        if (folder.first == dir)
            return;
    m_folders.emplace_back(dir, ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

void PendingWrites::Add(const QByteArray& dir, const QByteArray& name, qint64 bytes)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_files.emplace_back(dir, name);
    m_bytes += bytes;
}

namespace {
// Bytes the whole machine has waiting to be written back, from /proc/meminfo; -1 when unknown.
qint64 DirtyBytes()
{
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[8192];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    text[n] = 0;
    qint64 total = 0;
    int found = 0;
    for (const char* key : {"\nDirty:", "\nWriteback:"}) {
        const char* at = std::strstr(text, key);
        if (!at)
            return -1;
        total += std::strtoll(at + std::strlen(key), nullptr, 10) * 1024;
        ++found;
    }
    return found == 2 ? total : -1;
}

// A whole batch made durable by one flush of each file system (syncfs), instead of one flush
// of the disk per file. Only while the rest of the machine has little waiting to be written:
// syncfs also writes back every other program's data on that file system, and a batch must not
// wait behind someone's large copy. False when it was not used or reported a failure; the
// files are then flushed one by one, which also tells which of them failed.
bool SyncFileSystems(const std::vector<std::pair<QByteArray, int>>& folders, qint64 batchBytes)
{
    constexpr qint64 kOthersAtMost = 32LL * 1024 * 1024;
    const qint64 dirty = DirtyBytes();
    if (folders.empty() || dirty < 0 || dirty > batchBytes + kOthersAtMost)
        return false;
    // Each descriptor was opened before the first write: a write-back failure since then, of any
    // file on that file system, makes syncfs fail.
    return std::ranges::all_of(folders, [](const auto& folder) {
        return folder.second >= 0 && ::syncfs(folder.second) == 0;
    });
}
} // namespace

void PendingWrites::Commit()
{
    if (m_files.empty())
        return;
    // Each small file dirties at least a page of its own and one of its folder's.
    constexpr qint64 kPage = 4096;
    // Files left from a failed commit are flushed one by one: syncfs tells a failure only once.
    if (!m_carried && SyncFileSystems(m_folders, m_bytes + qint64(m_files.size()) * 2 * kPage)) {
        m_files.clear();
        m_bytes = 0;
        CloseFolders();
        return;
    }
    // The flushes wait on the disk, not the processor: several at once let it take them
    // together.
    const size_t count = m_files.size();
    std::vector<int> errors(count, 0);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = 0; (i = next.fetch_add(1)) < count;)
            errors[i] = SyncPath(m_files[i].first + '/' + m_files[i].second, false);
    };
    std::vector<std::thread> helpers;
    const size_t threads = std::min<size_t>(8, count) - 1;
    for (size_t i = 0; i < threads; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (...) {
            break;
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();
    std::vector<std::pair<QByteArray, QByteArray>> failed;
    int firstError = 0;
    QString firstFailed;
    std::vector<QByteArray> folders;
    for (size_t i = 0; i < count; ++i) {
        // A file removed or replaced since is no longer ours to flush.
        if (errors[i] != 0 && errors[i] != ENOENT) {
            if (!firstError) {
                firstError = errors[i];
                firstFailed = QFile::decodeName(m_files[i].first + '/' + m_files[i].second);
            }
            failed.push_back(m_files[i]);
        }
        if (std::find(folders.begin(), folders.end(), m_files[i].first) == folders.end())
            folders.push_back(m_files[i].first);
    }
    m_files = std::move(failed);
    m_bytes = 0;
    m_carried = !m_files.empty();
    CloseFolders();
    for (const QByteArray& folder : folders)
        SyncFolder(folder, QFile::decodeName(folder));
    if (firstError)
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(firstFailed, SystemReason(firstError)));
}

QString ExistsText(const QString& path)
{
    return Words(Message::AlreadyExists).arg(path);
}

QString ChangedText(const QString& path)
{
    return Words(Message::ChangedNotSaved).arg(path);
}

namespace {
// A new file made without a name and linked into place once whole: one change of the folder
// instead of a temporary name's creation and its rename, and nothing left behind by a crash.
// Gives false, having changed nothing, where the file system makes no unnamed files or does not
// link one into place.
bool WriteNewUnnamed(const QByteArray& dirPath, const QByteArray& finalPath, const QByteArray& data,
                     PendingWrites* pending, std::optional<FileStamp>* written, const QString& shown)
{
    const int fd = ::open(dirPath.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return false;
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(errno)));
    }
    try {
        WriteAll(fd, data, shown);
        if (!pending && ::fdatasync(fd) != 0)
            vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(errno)));
    } catch (...) {
        ::close(fd);
        throw;
    }
    // Linking by the descriptor's name in /proc needs no privilege; it never replaces a file
    // another program made meanwhile. Any other refusal (no /proc in a container, a file system
    // that will not link) leaves the write to the temporary name, which says its own error.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, finalPath.constData(), AT_SYMLINK_FOLLOW) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EEXIST)
            vb::Raise(ErrCalendar, ExistsText(shown));
        return false;
    }
    struct stat st {};
    if (written)
        *written = ::fstat(fd, &st) == 0 ? std::optional<FileStamp>(FromStat(st)) : std::nullopt;
    ::close(fd);
    return true;
}
} // namespace

void AtomicWrite(const QString& dir, const QString& name, const QByteArray& data, PendingWrites* pending,
                 std::optional<FileStamp>* written, const QByteArray* expected)
{
    const QByteArray dirPath = QFile::encodeName(dir);
    const QByteArray finalName = QFile::encodeName(name);
    const QByteArray temp = TempName(finalName);
    const QString shown = dir + QLatin1Char('/') + name;
    const QByteArray tempPath = dirPath + '/' + temp;
    const QByteArray finalPath = dirPath + '/' + finalName;
    if (pending)
        pending->Watch(dirPath);
    // A rewritten file keeps the permissions it had (a private calendar stays private).
    struct stat old {};
    const bool existed = ::stat(finalPath.constData(), &old) == 0 && S_ISREG(old.st_mode);
    // Checked again just before the write: a write made later than it was asked for must not
    // take the place of what another program wrote in between.
    if (expected != nullptr && expected->isEmpty() && existed)
        vb::Raise(ErrCalendar, ExistsText(shown));
    if (expected != nullptr && !expected->isEmpty() && (!existed || FromStat(old).Etag() != *expected))
        vb::Raise(ErrCalendar, ChangedText(shown));
    if (expected != nullptr && expected->isEmpty() && WriteNewUnnamed(dirPath, finalPath, data, pending, written, shown)) {
        if (pending)
            pending->Add(dirPath, finalName, data.size());
        else
            SyncFolder(dirPath, shown);
        return;
    }
    const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? 0600 : 0644);
    if (fd < 0)
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(errno)));
    try {
        if (existed && ::fchmod(fd, old.st_mode & 07777) != 0)
            vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(errno)));
        WriteAll(fd, data, shown);
        if (!pending && ::fdatasync(fd) != 0)
            vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(errno)));
    } catch (...) {
        ::close(fd);
        ::unlink(tempPath.constData());
        throw;
    }
    // A new file never replaces one made meanwhile, where the file system can tell.
    int renamed = -1;
    if (expected != nullptr && expected->isEmpty()) {
        renamed = ::renameat2(AT_FDCWD, tempPath.constData(), AT_FDCWD, finalPath.constData(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EEXIST) {
            ::close(fd);
            ::unlink(tempPath.constData());
            vb::Raise(ErrCalendar, ExistsText(shown));
        }
    }
    if (renamed != 0 && ::rename(tempPath.constData(), finalPath.constData()) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(tempPath.constData());
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotWrite).arg(shown, SystemReason(err)));
    }
    // The file still open is the one renamed into place, whatever another program did since.
    struct stat st {};
    if (written)
        *written = ::fstat(fd, &st) == 0 ? std::optional<FileStamp>(FromStat(st)) : std::nullopt;
    ::close(fd);
    if (pending)
        pending->Add(dirPath, finalName, data.size());
    else
        SyncFolder(dirPath, shown);
}

namespace {
// Two threads: one writes while the other waits on the disk (a rename over an old file flushes
// the new one's data and frees the old one's blocks), and the caller keeps a core for making
// the next items. The queue holds enough to keep them busy through a slow file.
constexpr size_t kWriterThreads = 2;
constexpr size_t kQueuedMost = 64;
} // namespace

BackgroundWrites::BackgroundWrites(PendingWrites* pending)
    : m_pending(pending)
{
}

BackgroundWrites::~BackgroundWrites()
{
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [this] { return m_queue.empty() && m_running == 0; });
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

quint64 BackgroundWrites::Post(const QString& dir, const QString& name, const QByteArray& data,
                               const QByteArray& ifMatch)
{
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_threads.size() < kWriterThreads) {
        try {
            m_threads.emplace_back([this] { Work(); });
        } catch (...) {
            if (m_threads.empty())
                vb::Raise(vb::ErrOutOfMemory, Words(Message::NoWriterThread).arg(Key(dir, name)));
        }
    }
    m_changed.wait(hold, [this] { return m_queue.size() < kQueuedMost; });
    const quint64 ticket = m_nextTicket++;
    m_queue.push_back(Job{ticket, dir, name, data, ifMatch});
    ++m_busy[Key(dir, name)];
    hold.unlock();
    m_changed.notify_all();
    return ticket;
}

void BackgroundWrites::WaitFor(const QString& dir, const QString& name)
{
    const QString key = Key(dir, name);
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this, &key] { return !m_busy.contains(key); });
}

void BackgroundWrites::WaitAll()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_queue.empty() && m_running == 0; });
}

std::vector<BackgroundWrites::Result> BackgroundWrites::TakeDone()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_handedOut += m_done.size();
    return std::exchange(m_done, {});
}

bool BackgroundWrites::Outstanding() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_handedOut + 1 < m_nextTicket;
}

void BackgroundWrites::Work()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return; // stopped
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        hold.unlock();
        m_changed.notify_all(); // a place in the queue is free
        Result result;
        result.ticket = job.ticket;
        try {
            AtomicWrite(job.dir, job.name, job.data, m_pending, &result.written, &job.ifMatch);
        } catch (...) {
            const vb::ErrObject e = vb::CurrentError();
            result.number = e.Number();
            result.error = e.Description();
        }
        job.data = QByteArray(); // freed on this thread, not under the lock
        hold.lock();
        m_done.push_back(std::move(result));
        if (--m_busy[Key(job.dir, job.name)] == 0)
            m_busy.remove(Key(job.dir, job.name));
        --m_running;
        hold.unlock();
        m_changed.notify_all();
        hold.lock();
    }
}

QByteArray ReadWholeFile(const QString& path, std::optional<FileStamp>* stamp)
{
    // Plain system calls, one read of the size the file has: opening a large calendar reads
    // every file once, and QFile's buffering and growing copies cost more than the reading.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            vb::Raise(vb::ErrFileNotFound, Words(Message::FileNotFound).arg(path));
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotRead).arg(path, SystemReason(err)));
    }
    struct stat st {};
    QByteArray data;
    qsizetype done = 0;
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else {
        if (stamp)
            *stamp = S_ISREG(st.st_mode) ? std::optional<FileStamp>(FromStat(st)) : std::nullopt;
        data.resize(qsizetype(st.st_size) + 1);
        for (;;) {
            if (done == data.size())
                data.resize(data.size() * 2 + 4096); // the file grew while we read it
            const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                err = errno;
                break;
            }
            if (n == 0)
                break;
            done += n;
        }
    }
    ::close(fd);
    if (err != 0)
        vb::Raise(vb::ErrDeviceIO, Words(Message::CannotRead).arg(path, SystemReason(err)));
    data.truncate(done);
    return data;
}

} // namespace cal::detail
