#pragma once
// The shell's special folders, on Linux.
#include <QString>
#include <optional>

namespace vb {

constexpr int CSIDL_PERSONAL = 5;        // the user's documents: the XDG documents folder
constexpr int CSIDL_COMMON_APPDATA = 35; // data shared by all users: the value "Common AppData"
                                         // of the machine's Shell Folders key when an installation
                                         // set it, else the first folder of XDG_DATA_DIRS
                                         // (default /usr/local/share)

// The key and value where the registry keeps the common application-data folder.
QString ShellFoldersKey();
QString CommonAppDataValue();

// The folder's path without a trailing "/", or nothing for a number we do not map.
std::optional<QString> SpecialFolderPath(int csidl);

// Creates one folder level; false when it could not be made (it exists, no access, ...).
bool CreateDirectory(const QString& path);

} // namespace vb
