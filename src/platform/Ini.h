#pragma once
// Private-profile INI files with the rules the program was written against:
// - section and key names compare without regard to letter case;
// - blanks around names and values are dropped, and one pair of matching quotes around a
//   value is taken off;
// - a buffer of n characters gives at most n-1 of them;
// - a missing file reads as empty and is created by the first write;
// - section names are listed in file order.
// On top of that, a write never leaves a half-written file: it runs under a lock file
// (so two processes take turns) and replaces the file atomically (temp file + rename).
// Files are written as UTF-8; files brought over from Windows (Windows-1252) are read too.
#include <QString>

namespace vb {

// Copies the value (or def when the key, section or file is missing) into out, cut to
// bufferSize-1 characters; gives the number of characters copied.
int GetPrivateProfileString(const QString& section, const QString& key, const QString& def, QString& out,
                            int bufferSize, const QString& file);

// Convenience form: the value itself.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, int bufferSize,
                                const QString& file);

// Writes key=value into section. A null key deletes the whole section; a null value
// deletes the key. Gives false when the file could not be written; IniLastError() says why.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value, const QString& file);

// The section names in file order, each followed by a NUL, cut to fit bufferSize: at most
// bufferSize-2 characters and a final NUL, so the last name may come back cut short.
// Gives the number of characters placed before the final NUL.
int GetPrivateProfileSectionNames(QString& out, int bufferSize, const QString& file);

// How long a write waits for another writer's lock, in ms; a negative value restores the
// default (20 s).
void SetIniLockTimeout(int ms);

// Why the last failed write failed, naming the file.
QString IniLastError();

// Decodes the bytes of an INI or language file: UTF-8 (a BOM is dropped), or Windows-1252
// when the bytes are not valid UTF-8.
QString DecodeIniBytes(const QByteArray& bytes);

} // namespace vb
