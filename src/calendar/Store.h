#pragma once
// Where calendar items are kept. A store holds three collections of resources; a resource is the
// iCalendar text of one item (a VEVENT, VJOURNAL or VTODO with its overridden occurrences and the
// VTIMEZONEs it uses). The shape follows CalDAV: list names with version tags, read one, write one
// only if it is still the version we read, remove one. A vdir folder and a single .ics file are the
// stores we have; a CalDAV collection fits the same interface.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace cal {

enum class Collection { Calendar, Notes, Tasks };

// "Calendar", "Notes", "Tasks": the vdir collection folders.
QString CollectionName(Collection collection);

struct ResourceInfo {
    QString name;    // unique in its collection, e.g. "<uid>.ics"
    QByteArray etag; // changes whenever the resource changes
};

// How a write that a store finished later ended: the new etag, or the error Write would have
// raised (number and description).
struct WriteOutcome {
    QByteArray etag;
    long number = 0;
    QString error; // empty: written
};
using WriteDone = std::function<void(const WriteOutcome&)>;

class Store {
public:
    virtual ~Store() = default;

    // The setting the store was opened from, for messages.
    virtual QString Location() const = 0;
    // What to name in a message about one resource (a file path for file stores).
    virtual QString Describe(Collection collection, const QString& name) const = 0;

    virtual QList<ResourceInfo> List(Collection collection) = 0;
    // Raises 53 when the resource is gone, 57 when it cannot be read.
    virtual QByteArray Read(Collection collection, const QString& name, QByteArray* etag = nullptr) = 0;
    // Replaces or creates the resource atomically, durably at the latest at Commit(); returns
    // the new etag. ifMatch is the etag that was read (empty for a new resource); a resource
    // that changed meanwhile is not overwritten: that raises ErrCalendar. With MaybeSame a
    // resource equal in meaning to the stored one is left as it is (and keeps its etag); with
    // Changed the caller knows it differs from what was read, and the store need not compare.
    enum class WriteKind { MaybeSame, Changed };
    [[nodiscard]] virtual QByteArray Write(Collection collection, const QString& name, const QByteArray& data,
                             const QByteArray& ifMatch, WriteKind kind = WriteKind::MaybeSame) = 0;
    virtual void Remove(Collection collection, const QString& name, const QByteArray& ifMatch) = 0;
    // Write, for a store that can have several writes under way (a CalDAV server): it may send
    // the write on and return before it is done; done then gets the outcome later, at the
    // latest in Commit(), and must not raise. What can be refused at once raises here as Write
    // does. The default writes at once and calls done before returning.
    virtual void WriteLater(Collection collection, const QString& name, const QByteArray& data,
                            const QByteArray& ifMatch, const WriteDone& done,
                            WriteKind kind = WriteKind::MaybeSame)
    {
        done(WriteOutcome{Write(collection, name, data, ifMatch, kind), 0, QString()});
    }

    // Waits for the write of name that WriteLater left under way, whose done has then been
    // called; makes nothing durable that Commit would not. The default: Commit().
    virtual void Settle(Collection collection, const QString& name) { Commit(); }

    // The name a new item with this UID gets.
    virtual QString NameForUid(const QString& uid) const;

    // True when parsing the whole store costs enough that a summary cache pays off.
    virtual bool WantsSummaryCache() const = 0;

    // Makes every write so far durable. A store may make a batch of writes durable together
    // here instead of one by one (each write is atomic all the same); the default: each write
    // was durable when it returned. Waits for the writes WriteLater left under way, whose
    // outcomes all come before it returns. Raises 57 when the disk refuses.
    virtual void Commit() {}
    // True when Read may be called from several threads at once (opening reads the resources
    // the summary cache lacks on every core).
    virtual bool ReadsInParallel() const { return false; }
};

// The number the calendar layer raises for its own failures (a filter it cannot read, a resource
// another program changed since we read it, data that is not iCalendar), each with a description
// that says what and where.
constexpr long ErrCalendar = 440;

// Where the calendar is: the environment variable ALMBRO_CALENDAR, else the key "Calendar" in
// section "System" of Planum.ini (the documents folder's Planum/Planum.ini).
//   a folder path          -> vdir (one .ics file per item in Calendar/, Notes/, Tasks/)
//   a path ending ".ics"   -> one iCalendar file holding every item
//   "http://", "https://"  -> a CalDAV calendar collection, or a server or principal to find one on
//                             ("#name" picks a calendar by display name or last path segment)
// Unset or empty: $XDG_DATA_HOME/almbro/calendar (a vdir).
QString StoreLocation();

// One setting of the calendar layer: the environment variable when it is set and not blank,
// else iniKey in section "System" of Planum.ini, else empty.
QString CalendarSetting(const char* environment, const QString& iniKey);

// Opens the store the location names; the only place that picks a backend. Raises 429
// (cannot create object) with a description naming the path when it cannot be opened.
std::unique_ptr<Store> OpenStore(const QString& location);

} // namespace cal
