#pragma once
// File helpers shared by the file stores (private to the calendar library).
#include <QByteArray>
#include <QString>
#include <optional>

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

// Temporary files start with "." and do not end in ".ics", so no reader of the folder takes
// one for an item, and carry our process id so that a later run can remove those of a process
// that died before it could rename them.
QByteArray TempName(const QByteArray& finalName);
bool IsOurTempName(const char* name, long* pid);

// Writes data to a temporary file in dir, flushes it to disk, then renames it over dir/name, so
// that a reader sees the old file or the new one, never a part. Raises 57 (device I/O error) with
// the path and the system's reason when any step fails; the old file is then untouched.
void AtomicWrite(const QString& dir, const QString& name, const QByteArray& data);

// Reads a whole file; raises 53 when it is missing and 57 when it cannot be read.
QByteArray ReadWholeFile(const QString& path);

QString SystemReason(int err);

} // namespace cal::detail
