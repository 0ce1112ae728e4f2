#include "platform/LogFile.h"

#include <QFile>
#include <QMutex>
#include <QSet>

#include <cstdio>

namespace vb {

bool AppendToLog(const QString& file, const QString& text)
{
    QFile log(file);
    const QByteArray bytes = text.toUtf8();
    // The flush is what meets a full disk; the write alone only fills Qt's buffer.
    if (log.open(QIODevice::Append | QIODevice::Text) && log.write(bytes) == bytes.size() && log.flush())
        return true;
    const QString why = log.errorString();
    static QMutex mutex;
    static QSet<QString> reported;
    QMutexLocker lock(&mutex);
    if (!reported.contains(file)) {
        reported.insert(file);
        std::fprintf(stderr, "Almbro: the run log %s could not be written: %s\n", qPrintable(file), qPrintable(why));
        std::fflush(stderr);
    }
    return false;
}

} // namespace vb
