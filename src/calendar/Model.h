#pragma once
// The object model's insides (private to the calendar library): stored items with the summary
// that searches use without parsing, the folders, and the mapping between Outlook's properties
// and iCalendar.
#include "calendar/Calendar.h"
#include "calendar/Filter.h"
#include "calendar/Ical.h"
#include "calendar/Store.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <deque>
#include <optional>
#include <memory>
#include <vector>

namespace cal::detail {

enum Prop : int {
    pSubject,
    pBody,
    pLocation,
    pStart,
    pEnd,
    pDuration,
    pBusyStatus,
    pReminderMinutesBeforeStart,
    pReminderSet,
    pReminderPlaySound,
    pReminderSoundFile,
    pBillingInformation,
    pMileage,
    pEntryID,
    pCreationTime,
    pLastModificationTime,
    pAllDayEvent,
    pIsRecurring,
    pCategories,
    pStartDate,
    pDueDate,
    pDateCompleted,
    pComplete,
    pPropCount
};

// The three marker properties, in the order of Summary::markers.
constexpr int kMarkerProps[3] = {pBillingInformation, pMileage, pReminderSoundFile};

const PropDef* FindProp(Collection collection, const QString& name);
// Does an item of the collection have the property?
bool PropApplies(Collection collection, int prop);
const PropDef& PropById(int id);
const FilterSchema& SchemaFor(Collection collection);

struct OverrideInfo {
    qint64 rid = kNoTime;
    qint64 start = kNoTime;
    qint64 end = kNoTime;
    // RANGE=THISANDFUTURE: the change holds for every later occurrence too, up to the next
    // such change.
    bool thisAndFuture = false;
};

struct RDateInfo {
    qint64 start = kNoTime;
    qint64 end = kNoTime; // kNoTime: the series' own length
};

struct CacheBytes;

// The texts of a summary that only the items a listing shows need.
struct SummaryTexts {
    QString uid, subject, body, location;
};

// What a search needs of an item without parsing it; cached between runs.
struct Summary { // NOLINT(bugprone-reserved-identifier): the implicit copy of markers[3]
    qint64 start = kNoTime;
    qint64 end = kNoTime;
    QString markers[3];
    // What the import list reads of every item, so that listing a month opens no file. Read
    // from the summary cache: the texts stay encoded in the cache's bytes until first asked
    // for, since making 100,000 sets of strings that are mostly never read is most of the
    // opening's cost.
    const SummaryTexts& Texts() const
    {
        if (lazyTexts)
            DecodeTexts();
        return texts;
    }
    SummaryTexts& EditTexts()
    {
        if (lazyTexts)
            DecodeTexts();
        return texts;
    }
    void DecodeTexts() const;
    mutable SummaryTexts texts;
    // The cache's bytes and where this item's encoded texts start in them; null once decoded.
    mutable std::shared_ptr<const CacheBytes> lazyTexts;
    qint32 lazyOffset = 0;
    qint32 busyStatus = 2;
    qint32 reminderMinutes = 0;
    bool reminderSet = false;
    bool playSound = false;
    bool recurring = false;
    bool allDay = false;
    // Recurrence, enough to expand the series without the file.
    QByteArray zoneKey;      // the system database zone of DTSTART; empty: UTC, floating or a date
    bool zoneInFile = false; // the zone is defined only by the file: expand from a full parse
    QByteArray dtstart;      // DTSTART as written: "20261102T083000", "...Z" or "20261102"
    QList<QByteArray> rrules;
    QList<qint64> exdates;
    QList<RDateInfo> rdates;
    QList<OverrideInfo> overrides;
    qint64 seriesEnd = kForever;
    // Only single occurrences (RECURRENCE-ID) whose series is not in the resource, as web
    // calendars export them: each is listed as it is, and nothing else.
    bool orphans = false;

    // The changed component an occurrence takes its texts and length from: its own, or the
    // latest RANGE=THISANDFUTURE change before it. Null: the series' own.
    const OverrideInfo* Governing(qint64 rid) const;
};

// One occurrence (or the item itself when rid is kNoTime).
struct Occurrence {
    qint64 start = kNoTime;
    qint64 end = kNoTime;
    qint64 rid = kNoTime;
};

struct Resource : std::enable_shared_from_this<Resource> {
    QString name;    // empty until first saved
    QByteArray etag;
    Summary summary;
    ComponentPtr vcalendar; // the full parse, when loaded
    bool dirty = false;     // changed in memory since read or saved
    // A property was given a value other than the one it had since the item was read or saved
    // (dirty alone may mean only that values equal to the stored ones were set).
    bool changed = false;
    bool deleted = false;
    qint64 order = 0;
    QSet<qint64> endSet; // components (by rid) whose End was set since the last save
    // Changes were begun on a version newer than the one the item was read as: another program
    // changed the file in between. The next Save is refused once.
    bool conflict = false;
    // Saved to a store that answers later (a CalDAV server): the outcome has not come yet.
    bool pending = false;
};

struct AppState;

struct FolderData {
    std::weak_ptr<AppState> app;
    Collection collection = Collection::Calendar;
    bool loaded = false;
    std::vector<std::shared_ptr<Resource>> items; // folder order
    // Made on first use (saving a new item, deleting one): a listing never needs it.
    QHash<QString, std::shared_ptr<Resource>> byName;
    bool byNameMade = false;
    QHash<QString, QList<Resource*>> markerIndex[3]; // case-folded value -> items
    bool startIndexDirty = true;
    std::vector<std::pair<qint64, Resource*>> startIndex; // items that do not recur, by start
    std::vector<Resource*> series;                         // items that recur
    qint64 nextOrder = 0;
    quint64 generation = 0;
    bool cacheDirty = false;
    QStringList loadErrors;
    QSet<Resource*> dirty; // stored items with unsaved changes
    std::deque<std::weak_ptr<Resource>> parsedLru;
};

struct AppState {
    std::unique_ptr<Store> store;
    // Saves the store refused after Save had returned: the item's UID and why.
    QList<WriteOutcome> failedSaves; // etag holds the UID
    QString location;
    bool quit = false;
    std::shared_ptr<FolderData> folders[3];
};

// --- iCalendar mapping (Codec.cpp) ---

// The X- properties that hold Outlook's fields iCalendar has no property for.
extern const char kXBilling[];
extern const char kXMileage[];
extern const char kXSoundFile[];
extern const char kXPlaySound[];
extern const char kXBusy[];
// A text as Outlook gives it: CR LF line breaks.
QString ToOutlookText(const char* text);
// The busy status an X-MICROSOFT-CDO-BUSYSTATUS value names (busy for anything unknown).
int BusyFromText(const QString& text);

icalcomponent_kind ComponentKind(Collection collection);
// A new calendar holding one new item with a fresh UID, DTSTAMP and CREATED.
ComponentPtr NewItemCalendar(Collection collection, const QString& uidPrefix = QString());
// The item itself (not an overridden occurrence) of a resource.
icalcomponent* MainComponent(icalcomponent* vcalendar, Collection collection);
icalcomponent* OverrideComponent(icalcomponent* vcalendar, Collection collection, qint64 rid);
// Makes the component that holds the changes of one occurrence (RECURRENCE-ID) if needed, as a
// copy of from (the RANGE=THISANDFUTURE change the occurrence follows) or else of the series.
icalcomponent* EnsureOverride(icalcomponent* vcalendar, Collection collection, const Occurrence& occurrence,
                              icalcomponent* from = nullptr);
// The component an occurrence takes its properties from when it has none of its own: the
// RANGE=THISANDFUTURE change before it, or null for the series.
icalcomponent* GoverningComponent(icalcomponent* vcalendar, Collection collection, const Summary& summary, qint64 rid);
// Reads the summary; raises ErrCalendar naming where for an item that cannot be used (an event
// without a valid start, an impossible length). fallbackUid: for items without a UID.
Summary Summarize(icalcomponent* vcalendar, Collection collection, const QString& where, const QString& fallbackUid);

QVariant GetProp(icalcomponent* vcalendar, icalcomponent* component, int prop);
// Sets one property on component; for Start and End, endWasSet tells whether End was set
// explicitly since the last save (then a new Start keeps that End, not the length).
void SetProp(icalcomponent* vcalendar, icalcomponent* component, int prop, const QVariant& value, bool endWasSet);
// False when setting the property to value would leave the item as it is (the same text, the
// same instant of a date-time start or end); true when it changes it or when that is not certain.
bool SetPropChanges(icalcomponent* vcalendar, icalcomponent* component, int prop, const QVariant& value);
// Stamps DTSTAMP and LAST-MODIFIED and adds the VTIMEZONEs the item's times need.
void PrepareForSave(icalcomponent* vcalendar);
// Marks one occurrence as removed (EXDATE on the series).
void AddExdate(icalcomponent* vcalendar, Collection collection, qint64 rid);

// Appends the occurrences of a recurring item whose start lies in [low, high], in no particular
// order. vcalendar is needed only when summary.zoneInFile. Bounded: at most kMaxOccurrences per
// series and kMaxSteps of the rule; false when a bound was reached (the list is then partial
// and the series is not to be listed).
constexpr int kMaxOccurrences = 10000;
constexpr int kMaxSteps = 100000;
bool Expand(const Summary& summary, icalcomponent* vcalendar, qint64 low, qint64 high, std::vector<Occurrence>& out);

// --- the summary from the text alone (QuickSummary.cpp) ---
// The summary of a resource read straight from its text, for the shape nearly every file of a
// large calendar has: one event that does not recur, times in UTC, floating, as dates or in a
// zone of the system's database, plain texts. Equal to Summarize over a full parse whenever it
// answers; nothing when the text holds anything else (recurrence, a zone only the file defines,
// other components, parameters or escapes it does not know, anything malformed): then the
// full parse decides.
std::optional<Summary> QuickSummary(QByteArrayView text, Collection collection, const QString& fallbackUid);

// --- summary cache (Cache.cpp) ---
QString CachePath(const QString& location, Collection collection);
// One item of the summary cache. name and etag point into the cache's bytes, which the
// Cache keeps; the resource has its summary but neither name nor etag yet: those are taken
// from the file listing when the file is unchanged, so that opening allocates them once.
struct CachedItem {
    QStringView name;
    QByteArrayView etag;
    std::shared_ptr<Resource> resource;
};

struct Cache {
    std::shared_ptr<const CacheBytes> data;
    std::vector<CachedItem> items; // sorted by name
};

// The cache's items; none when the cache is missing, damaged or made for another zone.
Cache ReadCache(const QString& path);
void WriteCache(const QString& path, const FolderData& folder);

} // namespace cal::detail
