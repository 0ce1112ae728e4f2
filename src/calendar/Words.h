#pragma once
// The words of the calendar's messages that a user can meet: files that cannot be read or
// written, items another program changed, calendar servers that refuse or do not answer.
// Each has built-in English words and a key in the language files. A program that knows the
// user's language hands the words in once, before it opens a calendar; the writer threads read
// them as well, so they are kept behind a lock.
#include <QString>
#include <functional>

namespace cal {

enum class Message {
    CannotWrite,         // %1 file, %2 the system's reason
    CannotRead,          // %1 file, %2 the system's reason
    FileNotFound,        // %1 file
    AlreadyExists,       // %1 item
    ChangedNotSaved,     // %1 item
    ChangedNotDeleted,   // %1 item
    CannotDelete,        // %1 file, %2 the system's reason
    NoWriterThread,      // %1 item
    FolderNotFolder,     // %1 folder
    FolderNoParent,      // %1 folder, %2 the folder above it
    FolderNotMade,       // %1 folder
    FolderNotRead,       // %1 folder, %2 the system's reason
    FolderAppointments,  // %1 folder
    FileNotFile,         // %1 file
    FileFolderNotMade,   // %1 file
    NotIcalendar,        // %1 file
    NotIcalendarData,    // %1 file
    NoVcalendar,         // %1 file
    NotInFile,           // %1 item
    FileLocked,          // %1 file
    NotSavedAsNamed,     // %1 item
    HoldsNoKind,         // %1 item, %2 the kind of component (VEVENT)
    ZoneUnusable,        // %1 item, %2 zone
    NoValidStart,        // %1 item, %2 UID
    NoValidLength,       // %1 item, %2 UID
    EndsBeforeStart,     // %1 subject, %2 end, %3 start
    CalendarQuit,        //
    ItemDeleted,         //
    ServerUnreachable,   // %1 server, %2 the network's reason
    ServerTimeout,       // %1 server, %2 seconds
    ServerTls,           // %1 server, %2 the network's reason
    ServerNoUser,        // %1 server
    ServerUnauthorized,  // %1 server, %2 user
    ServerForbidden,     // %1 server, %2 path
    ServerNotFound,      // %1 server, %2 path
    ServerFailed,        // %1 server, %2 status, %3 its text
    ServerRefused,       // %1 server, %2 path, %3 status, %4 its text
    ServerNoCalendar,    // %1 server, %2 path
    ServerNoNamed,       // %1 server, %2 name, %3 the names it has
    ServerNotDav,        // %1 server, %2 path, %3 reason
    ServerBadAnswer,     // %1 server, %2 path, %3 reason
    ServerNoAnswer,      // %1 item
    ServerChanged,       // %1 item
    ServerRemoved,       // %1 item
    ServerExists,        // %1 item
    ServerNotDeleted,    // %1 item
    ServerNotThere,      // %1 item
    AddressUnusable,     // %1 address
    AddressPassword,     // %1 server
    NoPassword,          // %1 user, %2 address, %3 host
    PasswordFileMissing, // %1 file, %2 reason
    PasswordFileOpen,    // %1 file
    PasswordFileNotOwn,  // %1 file
    PasswordFileEmpty,   // %1 file
    NoCertificate,       // %1 file
    NoneOfThem,          // the list of names when there is none
    NoPasswordFile,      // the rest of NoPassword (a language file's line holds 254 characters)
    Count
};

// The words of a message in the language handed in, else the built-in English.
QString Words(Message message);
// The message's key in the language files ("R6500").
QString WordsKey(Message message);
// The built-in English.
QString BuiltInWords(Message message);
// Takes every message's words from wordsOf(key); an empty answer keeps the built-in words.
void TakeWords(const std::function<QString(const QString& key)>& wordsOf);

} // namespace cal
