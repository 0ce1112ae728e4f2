#include "settings/cBrowseForFolder.h"

#include "platform/SpecialFolders.h"

#include <QStringList>

using namespace vb;

QString cBrowseForFolder::NextPart(QString& S, const QString& Sep)
{
    const qsizetype at = S.indexOf(Sep);
    QString part = S.left(at + Sep.size());
    S = S.mid(at + Sep.size());
    return part;
}

bool cBrowseForFolder::CreatePath(QString P)
{
    const QString sep = QStringLiteral("/");
    if (!P.endsWith(sep))
        P += sep;
    // The "drive" of a path here is its root "/".
    QString drive;
    if (P.startsWith(sep))
        drive = NextPart(P, sep);
    QStringList parts;
    while (!P.isEmpty())
        parts.append(NextPart(P, sep));
    if (parts.isEmpty())
        return false;
    parts.first().prepend(drive);
    QString path;
    for (const QString& part : parts) {
        path += part;
        CreateDirectory(path);
    }
    return true;
}

QString cBrowseForFolder::GetFolderPath(qint32 FolderToGet)
{
    const auto path = SpecialFolderPath(FolderToGet);
    if (!path || !CreatePath(*path))
        return QStringLiteral("NO!");
    return *path;
}
