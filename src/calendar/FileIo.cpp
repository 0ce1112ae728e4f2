#include "calendar/FileIo.h"

#include "platform/ErrObject.h"

#include <QAtomicInt>
#include <QFile>

#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
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
            vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot write %1: %2").arg(path, SystemReason(errno)));
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
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FromStat(st);
}

std::optional<FileStamp> StatAt(int dirFd, const char* name)
{
    struct stat st;
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

bool IsOurTempName(const char* name, long* pid)
{
    if (name[0] != '.')
        return false;
    const char* mark = std::strstr(name, kTempMark);
    if (!mark)
        return false;
    char* end = nullptr;
    const long value = std::strtol(mark + sizeof(kTempMark) - 1, &end, 10);
    if (end == mark + sizeof(kTempMark) - 1 || *end != '-')
        return false;
    if (pid)
        *pid = value;
    return true;
}

void AtomicWrite(const QString& dir, const QString& name, const QByteArray& data)
{
    const QByteArray dirPath = QFile::encodeName(dir);
    const QByteArray finalName = QFile::encodeName(name);
    const QByteArray temp = TempName(finalName);
    const QString shown = dir + QLatin1Char('/') + name;
    const QByteArray tempPath = dirPath + '/' + temp;
    const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot write %1: %2").arg(shown, SystemReason(errno)));
    try {
        WriteAll(fd, data, shown);
        if (::fdatasync(fd) != 0)
            vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot write %1: %2").arg(shown, SystemReason(errno)));
    } catch (...) {
        ::close(fd);
        ::unlink(tempPath.constData());
        throw;
    }
    ::close(fd);
    if (::rename(tempPath.constData(), (dirPath + '/' + finalName).constData()) != 0) {
        const int err = errno;
        ::unlink(tempPath.constData());
        vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot write %1: %2").arg(shown, SystemReason(err)));
    }
}

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            vb::Raise(vb::ErrFileNotFound, QStringLiteral("File not found: %1").arg(path));
        vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        vb::Raise(vb::ErrDeviceIO, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

} // namespace cal::detail
