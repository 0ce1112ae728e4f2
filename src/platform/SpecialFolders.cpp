#include "platform/SpecialFolders.h"

#include "platform/Registry.h"

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

// What the registry says, as Windows keeps the folder there too; empty when nothing is set.
QString CommonAppDataFromRegistry()
{
    HKEY key = 0;
    if (RegOpenKey(HKEY_LOCAL_MACHINE, ShellFoldersKey(), &key) != ERROR_SUCCESS)
        return QString();
    long size = 4096;
    QString value;
    const long status = RegQueryValueEx(key, CommonAppDataValue(), nullptr, &value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value.trimmed() : QString();
}
} // namespace

QString ShellFoldersKey()
{
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
}

QString CommonAppDataValue()
{
    return QStringLiteral("Common AppData");
}

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
        const QString installed = CommonAppDataFromRegistry();
        if (!installed.isEmpty())
            return WithoutTrailingSlash(installed);
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
