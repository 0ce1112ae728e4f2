#pragma once
// File helpers shared by the file stores (private to the calendar library).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace cal::detail {

// A file's version as an etag: modification time in nanoseconds, size, inode and change
// time. Any rewrite through rename gets a new inode; an in-place edit gets a new change time
// even when the program that made it sets the modification time back (as copying tools that
// keep times do), and no program can set the change time.
struct FileStamp {
    qint64 mtimeNs = 0;
    qint64 size = -1;
    quint64 inode = 0;
    qint64 ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
    QByteArray Etag() const;
};

std::optional<FileStamp> StatFile(const QString& path);
std::optional<FileStamp> StatAt(int dirFd, const char* name);

// Temporary files are named ".<final name>.almbro-tmp-<pid>-<n>": they start with "." and do not
// end in ".ics", so no reader of the folder takes one for an item, and carry our process id so
// that a later run can remove those of a process that died before it could rename them.
QByteArray TempName(const QByteArray& finalName);
// True only for a name TempName could have made for a file ending in finalSuffix (".ics",
// ".cache"): a user's own dotfile never matches by accident of a similar name.
bool IsOurTempName(const char* name, const char* finalSuffix, long* pid);
// Removes the temporary files of processes that are gone from the folder dirFd.
void RemoveDeadTemps(int dirFd, const char* finalSuffix);

// Files renamed into place whose data and folders are yet to be flushed: a batch of writes
// costs one round of flushes, made several at a time, instead of one flush per file.
class PendingWrites {
public:
    PendingWrites() = default;
    ~PendingWrites();
    PendingWrites(const PendingWrites&) = delete;
    PendingWrites& operator=(const PendingWrites&) = delete;
    // Called before a write into dir begins: from then on a failure to write back any file of
    // that folder's file system is seen at Commit. May be called from several threads at once.
    void Watch(const QByteArray& dir);
    // A file written into place (bytes: its size). May be called from several threads at once.
    void Add(const QByteArray& dir, const QByteArray& name, qint64 bytes);
    // Makes every file added since the last commit durable, with its folder. Raises 57 naming a
    // file that could not be flushed (it stays pending).
    void Commit();
    bool Empty() const { return m_files.empty(); }

private:
    void CloseFolders();

    std::mutex m_lock; // Watch and Add; Commit runs when no write is under way
    std::vector<std::pair<QByteArray, QByteArray>> m_files; // folder, name
    std::vector<std::pair<QByteArray, int>> m_folders;      // folder, descriptor held since Watch
    qint64 m_bytes = 0;
    bool m_carried = false; // files left from a commit that failed
};

// Writes data to a temporary file in dir, then renames it over dir/name, so that a reader sees
// the old file or the new one, never a part. A file that was there keeps its permissions.
// Without pending, the data is flushed before the rename and the folder after it; with pending,
// both wait for pending->Commit(). Raises 57 (device I/O error) with the path and the system's
// reason when any step fails; the old file is then untouched.
// written, when given, gets the new file's version.
// expected, when given, is the version the file must still have when the new one is renamed
// over it (an empty one: there must be no file yet); otherwise that raises ErrCalendar with
// ExistsText or ChangedText, and the file another program wrote stays.
void AtomicWrite(const QString& dir, const QString& name, const QByteArray& data, PendingWrites* pending = nullptr,
                 std::optional<FileStamp>* written = nullptr, const QByteArray* expected = nullptr);

// Why a write was refused: a new item's file is there already; the file changed since it was read.
QString ExistsText(const QString& path);
QString ChangedText(const QString& path);

// Atomic writes (AtomicWrite into pending) done on a few threads of their own: the file
// system's part of a save (temporary file, write, rename over the old file, the old file's
// blocks freed) then overlaps the making of the next item. Writes of different files may end
// in any order; a caller that writes a file again first waits for its earlier write (WaitFor).
class BackgroundWrites {
public:
    explicit BackgroundWrites(PendingWrites* pending);
    // Waits for every write under way, then stops the threads.
    ~BackgroundWrites();
    BackgroundWrites(const BackgroundWrites&) = delete;
    BackgroundWrites& operator=(const BackgroundWrites&) = delete;

    // How one write ended: the new file's version, or the error AtomicWrite raised.
    struct Result {
        quint64 ticket = 0;
        std::optional<FileStamp> written;
        long number = 0;
        QString error; // empty: written
    };
    // Queues the write of data to dir/name, on the condition that the file still has the
    // version ifMatch (none: a new file), and answers its ticket; waits while many are queued,
    // so that memory stays bounded whatever the batch. Raises 7 when no thread can be had.
    quint64 Post(const QString& dir, const QString& name, const QByteArray& data, const QByteArray& ifMatch);
    // Waits until no write of dir/name is queued or under way.
    void WaitFor(const QString& dir, const QString& name);
    // Waits until every write posted is done.
    void WaitAll();
    // The writes done since the last call, in no particular order.
    std::vector<Result> TakeDone();
    // Writes posted whose result TakeDone has not handed out yet.
    bool Outstanding() const;

private:
    struct Job {
        quint64 ticket;
        QString dir;
        QString name;
        QByteArray data;
        QByteArray ifMatch;
    };
    void Work();
    static QString Key(const QString& dir, const QString& name) { return dir + QLatin1Char('/') + name; }

    PendingWrites* m_pending;
    mutable std::mutex m_lock;
    std::condition_variable m_changed; // a job queued or finished, or the end
    std::deque<Job> m_queue;
    QHash<QString, int> m_busy;        // paths queued or being written
    std::vector<Result> m_done;
    size_t m_running = 0;              // jobs taken by a thread and not finished
    quint64 m_nextTicket = 1;
    quint64 m_handedOut = 0;           // results returned by TakeDone
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

// Reads a whole file; raises 53 when it is missing and 57 when it cannot be read. stamp, when
// given, gets the file's version as it was before the read (nothing for a file that is not a
// regular one).
QByteArray ReadWholeFile(const QString& path, std::optional<FileStamp>* stamp = nullptr);

QString SystemReason(int err);

} // namespace cal::detail
