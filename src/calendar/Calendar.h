#pragma once
// The calendar object model: the part of Outlook's automation model that Almbro uses, over
// iCalendar stores. Application -> NameSpace ("MAPI") -> default folders 9 (calendar, VEVENT),
// 12 (notes, VJOURNAL), 13 (tasks, VTODO) -> Items (Sort, IncludeRecurrences, Find, FindNext,
// Count, Item) -> items with their properties, Save and Delete.
//
// Objects are handles: copies refer to the same thing. Every operation that fails raises a
// vb::ErrObject with a number and a description that names the file concerned.
#include "calendar/Store.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <limits>
#include <memory>

namespace cal {

constexpr int olFolderCalendar = 9;
constexpr int olFolderNotes = 12;
constexpr int olFolderTasks = 13;

constexpr int olAppointmentItem = 1;
constexpr int olTaskItem = 3;
constexpr int olNoteItem = 5;

enum OlBusyStatus : int { olFree = 0, olTentative = 1, olBusy = 2, olOutOfOffice = 3, olWorkingElsewhere = 4 };

// Outlook's empty date, 4501-01-01 00:00: what a date property without a value reads as.
QDateTime EmptyDate();
// The empty date as seconds since the epoch (see Item::StartSecs).
constexpr qint64 kNoSecs = std::numeric_limits<qint64>::min();

namespace detail {
struct AppState;
struct FolderData;
struct Resource;
struct SearchState;
} // namespace detail

class Item;
class Items;
class MAPIFolder;
class NameSpace;

// One appointment, note or task, or one occurrence of a recurring appointment. A default-made
// Item is Outlook's Nothing.
class Item {
public:
    Item() = default;
    explicit operator bool() const { return bool(m_resource); }
    bool IsNothing() const { return !m_resource; }
    Collection Class() const;

    // Any property by its Outlook name (case ignored): Subject, Body, Location, Start, End,
    // Duration, BusyStatus, ReminderMinutesBeforeStart, ReminderSet, ReminderPlaySound,
    // ReminderSoundFile, BillingInformation, Mileage, EntryID, CreationTime,
    // LastModificationTime, AllDayEvent, IsRecurring, Categories; tasks also StartDate, DueDate,
    // DateCompleted, Complete. Dates are local QDateTime, numbers int, flags bool. Raises 438
    // for a property the item does not have, 13 for a value of the wrong kind.
    QVariant Get(const QString& property) const;
    void Set(const QString& property, const QVariant& value);

    QString Subject() const;
    void SetSubject(const QString& value);
    // Texts use CR LF line breaks, as Outlook's do; the file keeps iCalendar's.
    QString Body() const;
    void SetBody(const QString& value);
    QString Location() const;
    void SetLocation(const QString& value);
    // Setting Start keeps the length, unless End was set since the last Save (then End stays);
    // setting End changes the length; setting Duration (minutes) moves End.
    QDateTime Start() const;
    void SetStart(const QDateTime& value);
    QDateTime End() const;
    void SetEnd(const QDateTime& value);
    // Start and End as UTC seconds since the epoch, kNoSecs for the empty date: what a long
    // listing compares and formats, without a local-time conversion per item.
    qint64 StartSecs() const;
    qint64 EndSecs() const;
    int Duration() const;
    void SetDuration(int minutes);
    int BusyStatus() const;
    void SetBusyStatus(int value);
    int ReminderMinutesBeforeStart() const;
    void SetReminderMinutesBeforeStart(int minutes);
    bool ReminderSet() const;
    void SetReminderSet(bool value);
    bool ReminderPlaySound() const;
    void SetReminderPlaySound(bool value);
    QString ReminderSoundFile() const;
    void SetReminderSoundFile(const QString& value);
    QString BillingInformation() const;
    void SetBillingInformation(const QString& value);
    QString Mileage() const;
    void SetMileage(const QString& value);
    // The UID, and for one occurrence of a series also its original start:
    // "<uid>#20261123T073000Z". Stable across runs.
    QString EntryID() const;
    QDateTime CreationTime() const;
    QDateTime LastModificationTime() const;
    bool AllDayEvent() const;
    bool IsRecurring() const;
    // Tasks.
    QDateTime StartDate() const;
    QDateTime DueDate() const;
    QDateTime DateCompleted() const;

    // Writes the item to the store. For one occurrence, the changes become an exception of the
    // series. Raises when the store refuses (another program changed the file since we read it,
    // the disk is full, ...); the file is then as it was.
    void Save();
    // Deletes the item (for one occurrence: just that occurrence).
    void Delete();

private:
    friend class Items;
    friend class Application;
    friend struct detail::SearchState;
    QVariant GetProp(int prop) const;
    void SetProp(int prop, const QVariant& value);
    qint64 TimeSecs(int prop) const;

    std::shared_ptr<detail::FolderData> m_folder;
    std::shared_ptr<detail::Resource> m_resource;
    qint64 m_rid = 0;
    qint64 m_start = 0;
    qint64 m_end = 0;
    bool m_occurrence = false;
};

using AppointmentItem = Item;
using NoteItem = Item;
using TaskItem = Item;

class Items {
public:
    // Sorts by one property, "[Start]" or "Start"; an unsorted collection is in folder order.
    void Sort(const QString& property, bool descending = false);
    // With a sort on Start, True makes Find and FindNext give each occurrence of a recurring
    // item in start order.
    void SetIncludeRecurrences(bool value);
    bool IncludeRecurrences() const { return m_includeRecurrences; }

    // The first item that meets the filter, or Nothing. See Filter.h for the language.
    cal::Item Find(const QString& filter);
    // The next one after the last that Find or FindNext gave; raises 91 when no Find was made.
    cal::Item FindNext();

    // The items of the folder (a recurring item counts once).
    int Count() const;
    // 1-based, in the collection's order; raises 9 out of range.
    cal::Item Item(int index) const;

private:
    friend class MAPIFolder;
    const std::vector<std::shared_ptr<detail::Resource>>& Ordered() const;

    std::shared_ptr<detail::FolderData> m_folder;
    QString m_sortProperty;
    bool m_descending = false;
    bool m_includeRecurrences = false;
    std::shared_ptr<detail::SearchState> m_search;
    // The order of the last Ordered(), kept while the folder and the sort stay as they were.
    mutable std::vector<std::shared_ptr<detail::Resource>> m_ordered;
    mutable quint64 m_orderedGeneration = ~quint64(0);
    mutable QString m_orderedSort;
    mutable bool m_orderedDescending = false;
};

class MAPIFolder {
public:
    QString Name() const;
    cal::Items Items() const;
    // Files of this folder that could not be read (each message names the file and why).
    // They are left as they are and skipped.
    QStringList LoadErrors() const;

private:
    friend class NameSpace;
    std::shared_ptr<detail::FolderData> m_folder;
};

class NameSpace {
public:
    // 9 calendar, 12 notes, 13 tasks; raises 5 for any other number.
    MAPIFolder GetDefaultFolder(int folderType) const;

private:
    friend class Application;
    std::shared_ptr<detail::AppState> m_app;
};

// A save the store refused after Save had returned.
struct SaveFailure {
    QString entryId; // the item's UID
    long number = 0;
    QString description;
};

// How an opening comes on that must read files its summary cache lacks (every file, the first
// time): the calendar's location, the files read so far and the files to read. Called on the
// thread that opens, at the start (0 of total), about every 50 ms and at the end (total of
// total), so that a window can show it and stay drawn; not called for an opening the cache
// answers. One for the process; an empty function stops it.
using OpenProgress = std::function<void(const QString& location, qint64 done, qint64 total)>;
void SetOpenProgress(OpenProgress progress);

class Application {
public:
    // The application already running in this process (GetObject), or nullptr.
    static std::shared_ptr<Application> GetRunning();
    // Starts the application on the store at location (CreateObject); it is then the running
    // one. Raises 429 (cannot create object), naming the path, when the store cannot be opened.
    static std::shared_ptr<Application> Create(const QString& location = StoreLocation());

    // "MAPI" only; raises 5 for another type.
    NameSpace GetNamespace(const QString& type) const;
    // 1 appointment, 3 task, 5 note: a new unsaved item. Its UID is uidPrefix followed by a
    // new UUID, so a caller can tell its own items from copies other programs made of them.
    cal::Item CreateItem(int itemType, const QString& uidPrefix = QString()) const;
    // Makes every item saved so far durable: a batch of saves is flushed to disk together here
    // (each save is atomic on its own). Raises 57 naming a file the disk refused.
    void Commit();
    // The saves a store refused after Save had returned, since the last call: a CalDAV server
    // answers a batch of saves while later ones go out, all of them by the end of Commit. Each
    // such item stands in its folder as the store holds it (a new one not at all).
    QList<SaveFailure> TakeSaveFailures();
    // Commits, writes the search caches and closes the store; the application is no longer
    // running.
    void Quit();
    bool HasQuit() const;
    QString Location() const;

    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

private:
    Application() = default;
    std::shared_ptr<detail::AppState> m_app;
};

} // namespace cal
