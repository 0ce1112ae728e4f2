#pragma once
// The numbers and words of the errors the booking component raises, kept in one place.
// The numbers follow the database engine the original callers knew, so a message such as
// "Error no: 3218 (...)" means the same to a Planum user as it always did.
#include "platform/ErrObject.h"

#include <QString>
#include <QStringList>

namespace booking {

enum BookingError : long {
    ErrNoCurrentRecord = 3021, // a recordset read past its end
    ErrReadOnly = 3027,        // a write on a connection opened read-only
    ErrDiskIO = 3043,          // the file could not be read or written
    ErrDamaged = 3049,         // the file is damaged or not a booking database
    ErrDatabaseExists = 3204,  // creating a database over an existing file
    ErrLocked = 3218,          // another program holds the database longer than the busy timeout
    ErrNoSuchField = 3265,     // a recordset field name that is not there
    ErrDatabase = 3146,        // any other failure reported by the database driver
    ErrNotOpen = 3420,         // a call on a connection that is not open, or a closed recordset
    ErrDriverMissing = 3170,   // the database driver is not installed
};

// moc cannot read enumerators with Swedish letters and never needs these, so it skips them.
#ifndef Q_MOC_RUN
// What ÖppnaDatabas answers. Only Öppnad (1) opens; every other answer leaves the file as it
// was and says why, so a caller (or planumdb) can tell the user something useful.
enum ÖppnaSvar : qint32 {
    Öppnad = 1,         // open and ready
    IngenSökväg = 0,    // the path is empty
    FilSaknas = -1,     // nothing there, or a folder
    InteDatabas = -2,   // not a database file at all (a text file, an empty file)
    AnnanDatabas = -3,  // a database of another program
    NyareVersion = -4,  // a booking database of a newer schema than this program knows
    KanInteÖppna = -5,  // could not be read: permissions, damage, held exclusively
    EjTillgänglig = -6, // a kind of database this build cannot open (its driver is not installed)
};
#endif

// Raises a component error with its own description; detail (the driver's words, a name)
// follows after ": " when given.
[[noreturn]] void RaiseBooking(long number, const QString& detail = QString());

// Texts the component shows or hands out; every hard-coded user text of the library is here.
namespace texts {
QString Description(long number);
QString NamelessResource(qint32 id);   // the list line of a resource without a name
QString OpenResultText(qint32 result); // what an answer of ÖppnaDatabas means
// Details of raised errors.
QString NotADate(const QString& what);
QString NotABookingNumber(const QString& text);
QString YearOutOfRange(int year);
QString EndBeforeStart(const QString& end, const QString& start);
// The message of a busy database with the processes that hold it named after its first words.
QString LockedBy(const QString& description, const QStringList& holders);
QString MustBeOneOf(const QString& name, const QString& allowed, qint32 value);
QString MustNotBeNegative(const QString& name, qint32 value);
QString RecordsetClosed();
QString PathNotFound(const QString& path);
QString PermissionDenied(const QString& why);
QString SchemaVersion(qint64 version);
QString NeedsUpgradeReadOnly(qint64 version);
QString NotAServerAddress(const QString& why);
QString PasswordInLocation();
QString MissingParts(const QStringList& parts);
QString NoBookingTables(const QString& location);
QString ConnectionLost(const QString& location, const QString& why);
} // namespace texts

} // namespace booking
