#pragma once
// A registry stand-in with the open/query/close calls of the Windows registry and its error
// codes. Linux has no registry: the tree starts empty (so, for example, no Terminal Server key
// exists) and lives in memory. An installation describes the machine in a file of the
// REGEDIT4 format that the program imports at start; tests create keys directly.
#include <QString>
#include <cstdint>

namespace vb {

using HKEY = std::int32_t;
constexpr HKEY HKEY_CLASSES_ROOT = HKEY(0x80000000U);
constexpr HKEY HKEY_CURRENT_USER = HKEY(0x80000001U);
constexpr HKEY HKEY_LOCAL_MACHINE = HKEY(0x80000002U);
constexpr HKEY HKEY_USERS = HKEY(0x80000003U);

enum RegError : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_MORE_DATA = 234,
};

constexpr long REG_SZ = 1;
constexpr long KEY_READ = 0x20019;

long RegOpenKey(HKEY parent, const QString& subKey, HKEY* result);
long RegOpenKeyEx(HKEY parent, const QString& subKey, long options, long samDesired, HKEY* result);
// The default value of subKey below key; *size in characters including the terminator.
long RegQueryValue(HKEY key, const QString& subKey, QString* value, long* size);
// A named value of key; *size in characters including the terminator.
long RegQueryValueEx(HKEY key, const QString& valueName, long* type, QString* data, long* size);
long RegCloseKey(HKEY key);

// Creates a key (and its parents) with an optional value; an empty name sets the default value.
void RegCreateKeyForTest(HKEY root, const QString& path, const QString& valueName = QString(),
                         const QString& value = QString());
// Adds the keys and string values of a file in the REGEDIT4 format (the format regedit exports):
// "[HKEY_...\\path]" lines make keys, "name"="value" and @="value" lines set values, ";" starts a
// comment. Gives ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when there is no such file, or
// ERROR_INVALID_PARAMETER for a file it does not understand, with *badLine (1-based) the first line
// it could not read; nothing of such a file is imported.
long RegImportFile(const QString& path, int* badLine = nullptr);

// Empties the whole tree and closes every handle.
void RegResetForTest();

} // namespace vb
