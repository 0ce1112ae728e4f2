#pragma once
// What the file-reading fuzz targets share: a Qt application object and a private temporary
// home, so that nothing a target writes lands in the real user's folders.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace fuzz {

// The temporary root, made (with HOME and the XDG folders inside it) on first use.
inline QString Root()
{
    static QTemporaryDir* dir = [] {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        auto* d = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/almbro-fuzz-XXXXXX"));
        qputenv("HOME", d->path().toUtf8());
        qputenv("XDG_CACHE_HOME", (d->path() + QStringLiteral("/cache")).toUtf8());
        qputenv("XDG_DATA_HOME", (d->path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", d->path().toUtf8());
        return d;
    }();
    return dir->path();
}

inline void WriteFile(const QString& path, const uint8_t* data, size_t size)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char*>(data), qint64(size));
}

} // namespace fuzz
