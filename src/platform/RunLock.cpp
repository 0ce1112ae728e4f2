#include "platform/RunLock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vb {

namespace {
QString LockFolder()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QDir::tempPath() + QStringLiteral("/almbro-") + QString::number(getuid());
    return base + QStringLiteral("/almbro/locks");
}

// One name for one place, however it was written.
QString Canonical(const QString& what)
{
    if (what.contains(QStringLiteral("://")))
        return QUrl(what).adjusted(QUrl::RemoveUserInfo | QUrl::NormalizePathSegments).toString();
    const QFileInfo info(what);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString ReadHolder(int fd)
{
    char buffer[256] = {};
    const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
    const QString text = n > 0 ? QString::fromUtf8(buffer, int(n)).trimmed() : QString();
    return text.isEmpty() ? QStringLiteral("another process") : text;
}
} // namespace

QString RunLock::LockFileFor(const QString& what)
{
    const QByteArray key = QCryptographicHash::hash(Canonical(what).toUtf8(), QCryptographicHash::Sha1).toHex();
    return LockFolder() + QLatin1Char('/') + QString::fromLatin1(key.left(24)) + QStringLiteral(".lock");
}

std::unique_ptr<RunLock> RunLock::Acquire(const QString& what, int waitSeconds, QString* holder)
{
    const QString path = LockFileFor(what);
    QDir().mkpath(QFileInfo(path).path());
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (holder)
            *holder = QStringLiteral("the lock file %1 cannot be opened: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + qint64(qMax(0, waitSeconds)) * 1000;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const bool busy = error == EWOULDBLOCK || error == EINTR;
        if (!busy || QDateTime::currentMSecsSinceEpoch() >= deadline) {
            if (holder)
                *holder = busy ? ReadHolder(fd) : QString::fromLocal8Bit(std::strerror(error));
            ::close(fd);
            return nullptr;
        }
        QThread::msleep(100);
    }
    // Who holds it, for the message of a run that has to wait.
    const QByteArray me = QStringLiteral("process %1, since %2")
                              .arg(QCoreApplication::applicationPid())
                              .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                              .toUtf8();
    if (::ftruncate(fd, 0) == 0)
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, me.constData(), size_t(me.size()), 0); // a note only
    return std::unique_ptr<RunLock>(new RunLock(fd));
}

QStringList RunLock::FileLockHolders(const QStringList& files)
{
    struct Id {
        unsigned major, minor;
        quint64 inode;
    };
    QList<Id> ids;
    for (const QString& file : files) {
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) == 0)
            ids.append({unsigned(major(st.st_dev)), unsigned(minor(st.st_dev)), quint64(st.st_ino)});
    }
    QFile list(QStringLiteral("/proc/locks"));
    if (ids.isEmpty() || !list.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const qint64 self = QCoreApplication::applicationPid();
    QList<qint64> writers, all;
    // "1: POSIX  ADVISORY  WRITE 2161 fe:00:1839477 120 120"; a waiting request has "->" after
    // the number and holds nothing.
    const QList<QByteArray> lines = list.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f.at(1) == "->")
            continue;
        const QList<QByteArray> where = f.at(5).split(':');
        bool okPid = false, okMajor = false, okMinor = false, okInode = false;
        const qint64 pid = f.at(4).toLongLong(&okPid);
        if (where.size() != 3 || !okPid || pid <= 0 || pid == self)
            continue;
        const Id id{where.at(0).toUInt(&okMajor, 16), where.at(1).toUInt(&okMinor, 16), where.at(2).toULongLong(&okInode)};
        if (!okMajor || !okMinor || !okInode)
            continue;
        const bool ours = std::any_of(ids.cbegin(), ids.cend(), [&](const Id& i) {
            return i.major == id.major && i.minor == id.minor && i.inode == id.inode;
        });
        if (!ours)
            continue;
        if (!all.contains(pid))
            all.append(pid);
        if (f.at(3) == "WRITE" && !writers.contains(pid))
            writers.append(pid);
    }
    QStringList holders;
    for (const qint64 pid : writers.isEmpty() ? all : writers) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
        holders << (name.isEmpty() ? QStringLiteral("process %1").arg(pid) : QStringLiteral("process %1, %2").arg(pid).arg(name));
    }
    return holders;
}

RunLock::~RunLock()
{
    if (m_fd >= 0) {
        [[maybe_unused]] const int cleared = ::ftruncate(m_fd, 0); // the note goes with the lock
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
}

} // namespace vb
