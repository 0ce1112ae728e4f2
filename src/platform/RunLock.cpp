#include "platform/RunLock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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
        (void)!::pwrite(fd, me.constData(), size_t(me.size()), 0);
    return std::unique_ptr<RunLock>(new RunLock(fd));
}

RunLock::~RunLock()
{
    if (m_fd >= 0) {
        (void)!::ftruncate(m_fd, 0);
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
}

} // namespace vb
