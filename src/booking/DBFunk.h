#pragma once
// DBFunk: a connection to one Planum booking database, and the operations the wizard, the
// transfer run and planumdb use. The methods keep the names Planum's own callers know; a
// connection is made, told who calls (Anropskod), then opened with ÖppnaDatabas, and nothing
// else is called unless that answered 1.
//
// Storage
//   One SQLite file per database through QtSql (QSQLITE), or a PostgreSQL database (QPSQL)
//   shared by many desks; each DBFunk has a connection of its own name. The engine is chosen
//   in one place (Backend.cpp, BackendFor) by the form of the location: a "postgresql://"
//   URL (libpq's URI form; its password only from ~/.pgpass, PGPASSFILE or a service file)
//   is a server database, anything else a file. Every statement is plain SQL with bound
//   parameters, the same text for both engines; the few differences (types, the mark, locks)
//   live in Backend.cpp. On a server the mark and schema version are the one row of table
//   "Databas", and a save holds a transaction-level advisory lock on its resource for the
//   clash check and the write, so two desks never book the same time.
//   Tables: Personer (ID, FörNamn, EfterNamn, Placering), Statusar (ID, TheText, BackColor,
//   ForColor, Blockerar), Bokningar (Nyckel and every DBPost property, plus the writer's
//   Program, Anropskod and the time it was last changed, Ändrad). Times are local wall-clock
//   text "yyyy-MM-dd HH:mm:ss". A file is ours when PRAGMA application_id is "PLNM"; the
//   schema version is PRAGMA user_version (Schema.h), and opening an older version for
//   writing runs the upgrade steps. WAL, foreign keys on, a busy timeout.
//   Bookings are half-open intervals [StartTid, SlutTid): one that ends when the next begins
//   does not clash with it. Each booking carries its duration class (BookingTime.h), so a
//   range fetch and a clash check are a handful of index seeks, whatever the table's size;
//   the indexes hold every column those two read, so neither touches the table itself.
//
// Errors
//   A failing call raises vb::ErrObject, which the caller reports as its own:
//     3021 no current record (a recordset read past its end)    3027 written while read-only
//     3043 disk or I/O error       3049 the file is damaged       3146 other driver error
//     3204 database already exists (SkapaDatabas)                 3218 locked by another
//     program for longer than the busy timeout (nothing was written)
//     3265 no such field in a recordset    3420 not open / recordset closed
//     3170 the database driver is not installed
//     5 an argument outside the values below    13 a text or time that is not a date
//   ÖppnaDatabas does not raise for a file it cannot use: it answers why (ÖppnaSvar,
//   BookingErrors.h) and SenasteFel() words it.
//
// The numbers the callers pass
//   Anropskod(-9): who calls. -9 is an outside program working through the component (the
//     wizard, the transfer run); 0, the default, is Planum itself. The code of the connection
//     is stored with every booking it saves, beside the DBProgram name from SättProgram.
//   ÖppnaDatabas(path, 0, 0): the second number is the busy timeout in milliseconds, 0 for
//     the default of 5 seconds; the third is the mode, 0 read-write, 1 read-only (planumdb
//     list). Opening never creates or changes a file that is not a booking database: the
//     file is read through SQLite alone (any other descriptor of it, once closed, would drop
//     the locks of every connection to it in this process), and nothing is written until
//     its mark and tables are known to be ours. Tables or columns missing answer -5, naming
//     them. Answers: 1 open; 0 no path; -1 missing file
//     or a folder; -2 not a database (a text or empty file); -3 a database of another
//     program; -4 a newer schema version; -5 could not be read; -6 not available in this
//     build (its driver is missing). A server that is down or refuses the login answers -5,
//     a server database without the Planum tables -3, both with the server's words.
//   HämtaPoster(start, end, -9): the active bookings that overlap [start, end] (the texts are
//     read with the locale's date parsing, short date plus time, ISO 8601 also), ordered by
//     StartTid then Nyckel. The third number picks the resource: -9 all resources, a resource
//     number only that one. Fields: Nyckel, PersonID, StartTid, SlutTid, Anteckningx (the
//     note). A booking is listed when it starts at or before the end and ends after the start
//     (one without length: starts within the range).
//   HämtaPersoner(0, 0, 0, 0, 0): sortering (0 by ID, 1 by EfterNamn, FörNamn in the
//     locale's order, nameless ones last); utanNamnlösa (0 keep resources without a name,
//     1 leave them out); utelämna (a resource number to leave out, 0 none); endastID (only
//     this resource, 0 all); högst (at most this many, 0 no limit). Fields: ID, FörNamn,
//     EfterNamn, Placering.
//   FyllAllaResurser(list, 2, 0, 0, 0, n, 0, 0): visning (1 the display name, 2 the display
//     name, ", " and the place when there is one); sortering and utanNamnlösa as for
//     HämtaPersoner; läggTill (0 empty the list first, 1 add below); n comes back as the
//     number of lines added; utelämna as for HämtaPersoner; högst as for HämtaPersoner. A
//     resource without a name is listed as "(Namnlös resurs N)". Item data = resource number.
//   Krockar(person, start, end, True, status, nyckel): True when another active booking of
//     the resource overlaps [start, end). The Boolean says whether statuses count: True,
//     statuses that do not block (Avbokad, Väntelista) are no clash, and a booking whose own
//     status does not block clashes with nothing (a status the database does not know
//     blocks); False, every active booking counts. The booking numbered nyckel (decimal
//     text; "" or "0" for a new one) is left out. A booking without length clashes only with
//     one it lies strictly inside. An end before the start answers True: such a booking can
//     never be saved. Typ plays no part.
//   SparaPost(post, asNew, number, result): in one write transaction, inserts (asNew True:
//     a new number, also for a post read with HämtaPost, which then is copied) or updates by
//     Nyckel. result: 0 saved (number = the booking's Nyckel, also set in post); 1 it would
//     clash (Krockar with statuses) and Överlapp is False; 2 a time missing or the end before
//     the start; 3 update of a booking that is not there; 4 PersonID or ExtraPersonID is not
//     a resource; 5 Status is not a status. On any answer but 0 nothing is written and
//     number is 0. An inactive booking (Aktiv False) never clashes.
//   DBPost: Typ 0 customer booking, 1 internal, 2 absence (no effect on clashes); Antal the
//     whole hours not charged (Minuter is the caller's charged minutes, stored as given);
//     Aktiv False = cancelled, kept but not listed and never clashing; ExtraPersonID the
//     resource responsible for the booking, 0 none; Status -1 "(Ingen status)" until set.
//   Statuses: the default ones are -1 (Ingen status), 0 Preliminär, 1 Bokad, 2 Bekräftad,
//     3 Avbokad, 4 Väntelista, 5 Utförd; 3 and 4 do not block their resource.
//   PersonNamn(id): first name, one blank, last name, each trimmed, the whole trimmed;
//     empty for a resource without a name and for a number that is no resource. The
//     connection keeps all names and looks at the database's change counter when they are
//     over 100 ms old: a change by another program shows within that time, its own at once.
#include "booking/BookingErrors.h"
#include "booking/DBPost.h"
#include "booking/DBProgram.h"
#include "booking/ListBoxSink.h"
#include "booking/Recordset.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace booking {

class DBFunk {
public:
    DBFunk();
    ~DBFunk();
    DBFunk(const DBFunk&) = delete;
    DBFunk& operator=(const DBFunk&) = delete;

    // Whether later saves may overlap other bookings of the resource. False by default.
    void Överlapp(bool tillåt);
    bool Överlapp() const;
    void Anropskod(qint32 kod);
    qint32 Anropskod() const;

    QString PersonNamn(qint32 personID);
    [[nodiscard]] bool Krockar(qint32 personID, const QDateTime& start, const QDateTime& slut, bool medStatus, qint32 status,
                 const QString& nyckel);
    void SparaPost(DBPost& post, bool somNy, qint32& nyttNummer, qint32& resultat);
    // The result SparaPost would give post now (0: it would be saved), with nothing written;
    // also on a connection opened read-only.
    qint32 PrövaPost(const DBPost& post, bool somNy);
    void FyllAllaResurser(ListBoxSink& lista, qint32 visning, qint32 sortering, qint32 utanNamnlösa, qint32 läggTill,
                          qint32& antal, qint32 utelämna, qint32 högst);
    [[nodiscard]] std::optional<DBPost> HämtaPost(qint32 nyckel);
    [[nodiscard]] qint32 ÖppnaDatabas(const QString& sökväg, qint32 väntetid, qint32 läge);
    bool SättProgram(const DBProgram& program);
    Recordset HämtaStatusar();
    Recordset HämtaPersoner(qint32 sortering, qint32 utanNamnlösa, qint32 utelämna, qint32 endastID, qint32 högst);
    Recordset HämtaPoster(const QString& start, const QString& slut, qint32 resurs);

    // Makes a new, empty booking database with the default statuses. Never replaces a file:
    // an existing path raises 3204, a missing folder 76.
    static void SkapaDatabas(const QString& sökväg);
    // Whether a location names a server database (a postgresql:// URL) rather than a file.
    static bool ÄrServerdatabas(const QString& sökväg);

    void Stäng();
    bool ÄrÖppen() const;
    bool ÄrSkrivskyddad() const;
    QString Sökväg() const;
    // Why the last ÖppnaDatabas did not answer 1 (empty after a successful open).
    QString SenasteFel() const;
    // Whether a call failed because the server connection went away (a server that was
    // stopped or cut off mid-run): the caller can tell "the database is gone" from an error
    // in one booking. Nothing of the call that failed was saved.
    bool FörbindelsenBröts() const;
    // All bookings in the database, active or not.
    qint64 AntalBokningar();

    struct Impl;

private:
    friend class BulkWriter;
    std::unique_ptr<Impl> d;
};

// The busy timeout when ÖppnaDatabas is given 0.
constexpr qint32 kStandardVäntetidMs = 5000;

} // namespace booking
