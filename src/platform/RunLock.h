#pragma once
// RunLock: one run at a time per calendar and per database. A run that writes holds an advisory
// lock on each place it writes to for the length of its transfer; a second run waits a bounded
// time, then gives up and can name the run that holds the place. The lock is the kernel's
// (flock on a small file in the user's runtime folder), so a run that died never blocks: its
// lock went with its process.
#include <QString>
#include <QStringList>
#include <memory>

namespace vb {

class RunLock {
public:
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Locks what (a path, made absolute and canonical where it exists, or a URL), waiting at most
    // waitSeconds. Nullptr when another process still holds it then; holder then says which
    // ("process 1234, since 2026-12-05T03:00:01"), or why the lock could not be taken at all.
    static std::unique_ptr<RunLock> Acquire(const QString& what, int waitSeconds, QString* holder);

    // The file that carries the lock for what (for messages and tests).
    static QString LockFileFor(const QString& what);

    // The processes other than this one that hold a lock on any of files, as the kernel lists
    // them in /proc/locks: "process 1234, planumdb". Those that hold a write lock when there are
    // any, else all. The files are looked up by their inode only, never opened: closing a
    // descriptor of a database file would drop this process's own locks on it.
    static QStringList FileLockHolders(const QStringList& files);

private:
    explicit RunLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

} // namespace vb
