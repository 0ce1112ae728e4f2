#pragma once
// The path of a special folder by its CSIDL number, with every missing folder level created.
#include <QString>

class cBrowseForFolder {
public:
    // The path without a trailing "/", or "NO!" when the folder cannot be resolved.
    static QString GetFolderPath(qint32 FolderToGet);

    // Creates the missing levels of P, the root first; false when P has no level below the
    // root to create. Failures of single levels (it exists, no access) are ignored.
    static bool CreatePath(QString P);

private:
    static QString NextPart(QString& S, const QString& Sep);
};
