#include "platform/SpecialFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace vb {

namespace {
QString WithoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}
} // namespace

std::optional<QString> SpecialFolderPath(int csidl)
{
    switch (csidl) {
    case CSIDL_PERSONAL: {
        const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (path.isEmpty())
            return std::nullopt;
        return WithoutTrailingSlash(path);
    }
    case CSIDL_COMMON_APPDATA: {
        const QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
        QString first = dirs.section(QLatin1Char(':'), 0, 0).trimmed();
        if (first.isEmpty())
            first = QStringLiteral("/usr/local/share");
        return WithoutTrailingSlash(first);
    }
    default:
        return std::nullopt;
    }
}

bool CreateDirectory(const QString& path)
{
    QDir dir;
    if (dir.exists(path))
        return false;
    return dir.mkdir(path);
}

} // namespace vb
