#include "calendar/Calendar.h"

#include "calendar/Model.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"
#include "platform/Logging.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

namespace cal {

using namespace detail;

QDateTime EmptyDate()
{
    return QDateTime(QDate(4501, 1, 1), QTime(0, 0));
}

namespace {
OpenProgress g_openProgress;
}

void SetOpenProgress(OpenProgress progress)
{
    g_openProgress = std::move(progress);
}

namespace detail {

namespace {
// A series without an end, searched without an upper bound, is expanded this far past the
// search's lower bound (or today).
constexpr int kOpenEndedYears = 10;
// Parsed items kept in memory besides those with unsaved changes.
constexpr size_t kParsedKept = 256;

qint64 EmptyDateUtc()
{
    static const qint64 utc = EmptyDate().toSecsSinceEpoch();
    return utc;
}

std::shared_ptr<AppState> App(const FolderData& folder)
{
    auto app = folder.app.lock();
    if (!app || app->quit || !app->store)
        vb::Raise(ErrCalendar, Words(Message::CalendarQuit));
    return app;
}

QString FallbackUid(const QString& name)
{
    return name.endsWith(QLatin1String(".ics")) ? name.chopped(4) : name;
}

QString RidText(qint64 rid)
{
    // Listing a month asks this for every occurrence: plain arithmetic, not a QDateTime.
    const qint64 days = rid >= 0 ? rid / 86400 : (rid - 86399) / 86400;
    const qint64 secs = rid - days * 86400;
    const QDate date = QDate::fromJulianDay(days + 2440588);
    if (date.year() < 1 || date.year() > 9999)
        return QDateTime::fromSecsSinceEpoch(rid, Qt::UTC).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    char text[20];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", date.year(), date.month(), date.day(),
                  int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
    return QString::fromLatin1(text, 16);
}

void IndexAdd(FolderData& f, Resource* r)
{
    for (int i = 0; i < 3; ++i)
        if (!r->summary.markers[i].isEmpty())
            f.markerIndex[i][r->summary.markers[i].toCaseFolded()].append(r);
    f.startIndexDirty = true;
}

void IndexRemove(FolderData& f, Resource* r)
{
    for (int i = 0; i < 3; ++i) {
        if (r->summary.markers[i].isEmpty())
            continue;
        const QString key = r->summary.markers[i].toCaseFolded();
        auto it = f.markerIndex[i].find(key);
        if (it == f.markerIndex[i].end())
            continue;
        it->removeAll(r);
        if (it->isEmpty())
            f.markerIndex[i].erase(it);
    }
    f.startIndexDirty = true;
}

QHash<QString, std::shared_ptr<Resource>>& ByName(FolderData& f)
{
    if (!f.byNameMade) {
        f.byName.reserve(qsizetype(f.items.size()));
        for (const auto& r : f.items)
            if (!r->deleted && !r->name.isEmpty())
                f.byName.insert(r->name, r);
        f.byNameMade = true;
    }
    return f.byName;
}

void RebuildStartIndex(FolderData& f)
{
    if (!f.startIndexDirty)
        return;
    f.startIndex.clear();
    f.series.clear();
    f.startIndex.reserve(f.items.size());
    for (const auto& r : f.items) {
        if (r->summary.recurring)
            f.series.push_back(r.get());
        else
            f.startIndex.emplace_back(r->summary.start, r.get());
    }
    std::stable_sort(f.startIndex.begin(), f.startIndex.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    f.startIndexDirty = false;
}

void EnsureLoaded(FolderData& f)
{
    if (f.loaded)
        return;
    auto app = App(f);
    Store& store = *app->store;
    QList<ResourceInfo> list;
    auto listNames = [&list, &store, &f] {
        list = store.List(f.collection);
        // A store may list its items by name already (a vdir does): then this costs one pass.
        const auto byName = [](const ResourceInfo& a, const ResourceInfo& b) { return a.name < b.name; };
        if (!std::is_sorted(list.begin(), list.end(), byName))
            std::sort(list.begin(), list.end(), byName);
    };
    Cache cache;
    QString cachePath;
    if (store.WantsSummaryCache()) {
        cachePath = CachePath(app->location, f.collection);
        // Listing the files is work for the file system, reading the cache work for the
        // processor: side by side they take the time of the longer one. The list is made on
        // the helper thread, so the items the folder keeps are allocated here.
        std::exception_ptr failed;
        std::thread lister([&] {
            try {
                listNames();
            } catch (...) {
                failed = std::current_exception();
            }
        });
        try {
            cache = ReadCache(cachePath);
        } catch (...) {
            cache = {}; // only a copy: without it every file is read
        }
        lister.join();
        if (failed)
            std::rethrow_exception(failed);
    } else {
        listNames();
    }
    bool changed = cache.items.size() != size_t(list.size());
    f.items.reserve(size_t(list.size()));
    // Both are sorted by name: one merge pass pairs each file with its cached summary. The
    // item takes the listing's name and etag, which are equal to the cached ones.
    std::vector<std::shared_ptr<Resource>> found(size_t(list.size()));
    std::vector<qsizetype> toRead;
    auto cached = cache.items.begin();
    for (qsizetype i = 0; i < list.size(); ++i) {
        ResourceInfo& info = list[i];
        while (cached != cache.items.end() && cached->name < QStringView(info.name))
            ++cached;
        if (cached != cache.items.end() && cached->name == QStringView(info.name) && cached->etag == info.etag) {
            std::shared_ptr<Resource> r = std::move(cached->resource);
            r->name = std::move(info.name);
            r->etag = std::move(info.etag);
            found[size_t(i)] = std::move(r);
            ++cached;
        } else {
            toRead.push_back(i);
        }
    }
    if (!toRead.empty())
        changed = true;
    // The files the cache does not know are read and summarised on every core: without a cache
    // that is the whole calendar.
    std::vector<QString> errors(toRead.size());
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    // Whoever shows the progress hears of it on this thread only, never more than every 50 ms.
    const OpenProgress progress = toRead.empty() ? OpenProgress() : g_openProgress;
    QElapsedTimer sinceReport;
    auto report = [&](size_t count) {
        if (!progress)
            return;
        try {
            progress(store.Location(), qint64(count), qint64(toRead.size()));
        } catch (...) {
            // a display that failed stops nothing
        }
        sinceReport.start();
    };
    report(0);
    auto work = [&](bool reporting) {
        constexpr size_t kChunk = 64;
        for (size_t begin = 0; (begin = next.fetch_add(kChunk)) < toRead.size();) {
            const size_t chunkEnd = std::min(toRead.size(), begin + kChunk);
            if (reporting && progress && sinceReport.elapsed() >= 50)
                report(done.load());
            for (size_t k = begin; k < chunkEnd; ++k) {
                const ResourceInfo& info = list[toRead[k]];
                auto r = std::make_shared<Resource>();
                r->name = info.name;
                try {
                    const QByteArray data = store.Read(f.collection, info.name, &r->etag);
                    if (auto quick = QuickSummary(data, f.collection, FallbackUid(info.name))) {
                        r->summary = std::move(*quick);
                        found[size_t(toRead[k])] = std::move(r);
                        continue;
                    }
                    const QString where = store.Describe(f.collection, info.name);
                    ComponentPtr vcal = ParseCalendar(data, where);
                    // A vdir collection may hold other kinds of items too (tasks beside events):
                    // those are not ours to list, and not errors.
                    if (!MainComponent(vcal.get(), f.collection))
                        continue;
                    r->summary = Summarize(vcal.get(), f.collection, where, FallbackUid(info.name));
                    found[size_t(toRead[k])] = std::move(r);
                } catch (...) {
                    // Left in place, untouched, and reported; the rest of the calendar stays usable.
                    errors[k] = vb::CurrentError().Description();
                }
            }
            done.fetch_add(chunkEnd - begin);
        }
    };
    std::vector<std::thread> helpers;
    if (store.ReadsInParallel() && toRead.size() >= 256) {
        const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
        for (unsigned t = 1; t < cores; ++t) {
            try {
                helpers.emplace_back(work, false);
            } catch (...) {
                break; // no thread to be had: the others do it all
            }
        }
    }
    work(true);
    for (std::thread& t : helpers)
        t.join();
    if (!toRead.empty())
        report(toRead.size());
    for (const QString& e : errors)
        if (!e.isEmpty()) {
            f.loadErrors << e;
            qCWarning(lcCalendar).noquote() << e;
        }
    for (std::shared_ptr<Resource>& r : found) {
        if (!r)
            continue;
        r->order = f.nextOrder++;
        IndexAdd(f, r.get());
        f.items.push_back(std::move(r));
    }
    f.loaded = true;
    f.startIndexDirty = true;
    if (changed && !cachePath.isEmpty()) {
        try {
            WriteCache(cachePath, f);
        } catch (...) {
            qCWarning(lcCalendar).noquote() << vb::CurrentError().Description();
        }
    } else if (changed) {
        f.cacheDirty = true;
    }
}

icalcomponent* EnsureParsed(FolderData& f, const std::shared_ptr<Resource>& r)
{
    if (r->vcalendar)
        return r->vcalendar.get();
    auto app = App(f);
    Store& store = *app->store;
    const QString where = store.Describe(f.collection, r->name);
    QByteArray etag;
    const QByteArray data = store.Read(f.collection, r->name, &etag);
    ComponentPtr vcal = ParseCalendar(data, where);
    if (etag != r->etag) {
        // Another program changed the file since we summarised it: take the new version.
        Summary s = Summarize(vcal.get(), f.collection, where, FallbackUid(r->name));
        IndexRemove(f, r.get());
        r->summary = std::move(s);
        r->etag = etag;
        IndexAdd(f, r.get());
        f.cacheDirty = true;
        ++f.generation;
    }
    r->vcalendar = std::move(vcal);
    f.parsedLru.push_back(r);
    while (f.parsedLru.size() > kParsedKept) {
        if (auto old = f.parsedLru.front().lock())
            if (!old->dirty && old != r)
                old->vcalendar.reset();
        f.parsedLru.pop_front();
    }
    return r->vcalendar.get();
}

struct Candidate {
    std::shared_ptr<Resource> resource;
    Occurrence occurrence;
    bool isOccurrence = false;
};

} // namespace

struct SearchState {
    Filter filter;
    std::shared_ptr<FolderData> folder;
    std::vector<Candidate> candidates;
    size_t next = 0;

    static Item Make(const std::shared_ptr<FolderData>& folder, const std::shared_ptr<Resource>& resource,
                     const Occurrence* occurrence = nullptr)
    {
        Item item;
        item.m_folder = folder;
        item.m_resource = resource;
        if (occurrence) {
            item.m_occurrence = true;
            item.m_rid = occurrence->rid;
            item.m_start = occurrence->start;
            item.m_end = occurrence->end;
        }
        return item;
    }
};

namespace {
FilterValue ToFilterValue(const QVariant& v, PropType type)
{
    FilterValue out;
    switch (type) {
    case PropType::Text: out.text = v.toString(); break;
    case PropType::Date: out.utc = v.toDateTime().toSecsSinceEpoch(); break;
    case PropType::Number: out.number = v.toDouble(); break;
    case PropType::Bool: out.flag = v.toBool(); break;
    }
    return out;
}

// An item as the filter sees it: the summary where it has the answer, the parsed item otherwise.
class CandidateSource : public FilterSource {
public:
    CandidateSource(const std::shared_ptr<FolderData>& folder, const Candidate& c)
        : m_folder(folder)
        , m_c(c)
    {
    }

    FilterValue Value(const PropDef& property) const override
    {
        const Resource& r = *m_c.resource;
        if (!r.dirty && (!m_c.isOccurrence || !HasOverride())) {
            const qint64 start = m_c.isOccurrence ? m_c.occurrence.start : r.summary.start;
            const qint64 end = m_c.isOccurrence ? m_c.occurrence.end : r.summary.end;
            FilterValue v;
            switch (property.id) {
            case pStart: v.utc = start == kNoTime ? EmptyDateUtc() : start; return v;
            case pEnd: v.utc = end == kNoTime ? EmptyDateUtc() : end; return v;
            // NOLINTNEXTLINE(bugprone-integer-division): whole minutes, as Duration counts them
    case pDuration: v.number = start == kNoTime || end == kNoTime ? 0 : double((end - start) / 60); return v;
            case pBillingInformation: v.text = r.summary.markers[0]; return v;
            case pMileage: v.text = r.summary.markers[1]; return v;
            case pReminderSoundFile: v.text = r.summary.markers[2]; return v;
            case pIsRecurring: v.flag = r.summary.recurring; return v;
            case pSubject: v.text = r.summary.Texts().subject; return v;
            case pBody: v.text = r.summary.Texts().body; return v;
            case pLocation: v.text = r.summary.Texts().location; return v;
            default: break;
            }
        }
        const Item item = SearchState::Make(m_folder, m_c.resource, m_c.isOccurrence ? &m_c.occurrence : nullptr);
        return ToFilterValue(item.Get(QString::fromLatin1(property.name)), property.type);
    }

private:
    bool HasOverride() const { return m_c.resource->summary.Governing(m_c.occurrence.rid) != nullptr; }

    const std::shared_ptr<FolderData>& m_folder;
    const Candidate& m_c;
};

int CollectionIndex(Collection c)
{
    return c == Collection::Calendar ? 0 : c == Collection::Notes ? 1 : 2;
}
} // namespace

} // namespace detail

// ---------------------------------------------------------------- Item

Collection Item::Class() const
{
    if (!m_folder)
        vb::Raise(vb::ErrObjectRequired, QStringLiteral("Object variable not set"));
    return m_folder->collection;
}

QVariant Item::Get(const QString& property) const
{
    const PropDef* def = FindProp(Class(), property);
    if (!def)
        vb::Raise(vb::ErrNoSuchProperty,
                  QStringLiteral("The item has no property \"%1\"").arg(property));
    return GetProp(def->id);
}

void Item::Set(const QString& property, const QVariant& value)
{
    const PropDef* def = FindProp(Class(), property);
    if (!def)
        vb::Raise(vb::ErrNoSuchProperty,
                  QStringLiteral("The item has no property \"%1\"").arg(property));
    SetProp(def->id, value);
}

QVariant Item::GetProp(int prop) const
{
    if (!m_resource)
        vb::Raise(vb::ErrObjectRequired, QStringLiteral("Object variable not set"));
    FolderData& f = *m_folder;
    App(f);
    if (!PropApplies(f.collection, prop))
        vb::Raise(vb::ErrNoSuchProperty, QStringLiteral("The item has no property \"%1\"").arg(PropById(prop).name));
    Resource& r = *m_resource;
    const QString suffix = m_occurrence ? QLatin1Char('#') + RidText(m_rid) : QString();
    if (prop == pEntryID && !r.dirty)
        return r.summary.Texts().uid + suffix;
    if (prop == pIsRecurring && !r.dirty)
        return r.summary.recurring || m_occurrence;
    icalcomponent* vcal = nullptr;
    icalcomponent* override = nullptr;
    if (!r.dirty && !m_occurrence) {
        switch (prop) {
        case pStart: return r.summary.start == kNoTime ? EmptyDate() : QDateTime::fromSecsSinceEpoch(r.summary.start);
        case pEnd: return r.summary.end == kNoTime ? EmptyDate() : QDateTime::fromSecsSinceEpoch(r.summary.end);
        default: break;
        }
    }
    // The summary answers for an occurrence too, unless the occurrence has changes of its own.
    const bool ownChanges = m_occurrence && r.summary.Governing(m_rid) != nullptr;
    if (!r.dirty && !ownChanges) {
        switch (prop) {
        case pBillingInformation: return r.summary.markers[0];
        case pMileage: return r.summary.markers[1];
        case pReminderSoundFile: return r.summary.markers[2];
        case pSubject: return r.summary.Texts().subject;
        case pBody: return r.summary.Texts().body;
        case pLocation: return r.summary.Texts().location;
        case pBusyStatus: return r.summary.busyStatus;
        case pReminderSet: return r.summary.reminderSet;
        case pReminderPlaySound: return r.summary.playSound;
        // An occurrence without changes of its own has the series' alarm, which the summary
        // holds (an absolute trigger counts from the series' start, as for the series).
        case pReminderMinutesBeforeStart: return r.summary.reminderMinutes;
        case pStart:
            if (m_occurrence)
                return QDateTime::fromSecsSinceEpoch(m_start);
            break;
        case pEnd:
            if (m_occurrence)
                return QDateTime::fromSecsSinceEpoch(m_end);
            break;
        case pDuration:
            if (m_occurrence)
                return int((m_end - m_start) / 60);
            if (r.summary.start != kNoTime && r.summary.end != kNoTime)
                return int((r.summary.end - r.summary.start) / 60);
            break;
        default: break;
        }
    }
    vcal = EnsureParsed(f, m_resource);
    bool ownTimes = false; // the occurrence's own component, with its own start and end
    if (m_occurrence) {
        override = OverrideComponent(vcal, f.collection, m_rid);
        ownTimes = override != nullptr;
        if (!override)
            override = GoverningComponent(vcal, f.collection, r.summary, m_rid);
    }
    if (m_occurrence && !ownTimes) {
        switch (prop) {
        case pStart: return QDateTime::fromSecsSinceEpoch(m_start);
        case pEnd: return QDateTime::fromSecsSinceEpoch(m_end);
        case pDuration: return int((m_end - m_start) / 60);
        default: break;
        }
    }
    icalcomponent* c = override ? override : MainComponent(vcal, f.collection);
    QVariant value = detail::GetProp(vcal, c, prop);
    if (prop == pEntryID) {
        const QString uid = value.toString();
        return (uid.isEmpty() ? FallbackUid(r.name) : uid) + suffix;
    }
    if (prop == pIsRecurring)
        return value.toBool() || m_occurrence;
    return value;
}

void Item::SetProp(int prop, const QVariant& value)
{
    if (!m_resource)
        vb::Raise(vb::ErrObjectRequired, QStringLiteral("Object variable not set"));
    FolderData& f = *m_folder;
    auto app = App(f);
    // A change begun on an item whose save is still under way starts from that save's answer.
    if (m_resource && m_resource->pending)
        app->store->Settle(f.collection, m_resource->name);
    const PropDef& def = PropById(prop);
    if (!PropApplies(f.collection, prop))
        vb::Raise(vb::ErrNoSuchProperty, QStringLiteral("The item has no property \"%1\"").arg(def.name));
    if (prop == pEntryID || prop == pCreationTime || prop == pLastModificationTime || prop == pIsRecurring)
        vb::Raise(ErrCalendar, QStringLiteral("The property %1 is read-only").arg(def.name));
    if (m_resource->deleted)
        vb::Raise(ErrCalendar, Words(Message::ItemDeleted));
    const QByteArray seen = m_resource->etag;
    const bool wasParsed = m_resource->vcalendar != nullptr;
    icalcomponent* vcal = EnsureParsed(f, m_resource);
    if (!wasParsed && !m_resource->dirty && m_resource->etag != seen)
        m_resource->conflict = true;
    icalcomponent* c = m_occurrence ? EnsureOverride(vcal, f.collection, {m_start, m_end, m_rid},
                                                     GoverningComponent(vcal, f.collection, m_resource->summary, m_rid))
                                    : MainComponent(vcal, f.collection);
    const qint64 key = m_occurrence ? m_rid : kNoTime;
    // An export sets every field of an appointment that is mostly as it was: a value equal to
    // the stored one changes nothing, and an item without a change is not written again.
    if (m_occurrence || m_resource->changed || m_resource->name.isEmpty() ||
        detail::SetPropChanges(vcal, c, prop, value)) {
        detail::SetProp(vcal, c, prop, value, m_resource->endSet.contains(key));
        m_resource->changed = true;
    }
    m_resource->dirty = true;
    if (!m_resource->name.isEmpty())
        f.dirty.insert(m_resource.get());
    if (prop == pEnd || prop == pDuration)
        m_resource->endSet.insert(key);
    if (m_occurrence && (prop == pStart || prop == pEnd || prop == pDuration)) {
        m_start = detail::GetProp(vcal, c, pStart).toDateTime().toSecsSinceEpoch();
        m_end = detail::GetProp(vcal, c, pEnd).toDateTime().toSecsSinceEpoch();
    }
}

QString Item::Subject() const { return GetProp(pSubject).toString(); }
void Item::SetSubject(const QString& value) { SetProp(pSubject, value); }
QString Item::Body() const { return GetProp(pBody).toString(); }
void Item::SetBody(const QString& value) { SetProp(pBody, value); }
QString Item::Location() const { return GetProp(pLocation).toString(); }
void Item::SetLocation(const QString& value) { SetProp(pLocation, value); }
QDateTime Item::Start() const { return GetProp(pStart).toDateTime(); }
void Item::SetStart(const QDateTime& value) { SetProp(pStart, value); }
QDateTime Item::End() const { return GetProp(pEnd).toDateTime(); }
void Item::SetEnd(const QDateTime& value) { SetProp(pEnd, value); }
qint64 Item::StartSecs() const { return TimeSecs(pStart); }
qint64 Item::EndSecs() const { return TimeSecs(pEnd); }

qint64 Item::TimeSecs(int prop) const
{
    static_assert(kNoSecs == kNoTime);
    if (m_resource && m_folder && !m_resource->dirty && m_folder->collection == Collection::Calendar) {
        App(*m_folder);
        const Resource& r = *m_resource;
        if (!m_occurrence)
            return prop == pStart ? r.summary.start : r.summary.end;
        if (!r.summary.Governing(m_rid))
            return prop == pStart ? m_start : m_end;
    }
    const QDateTime when = GetProp(prop).toDateTime();
    return when == EmptyDate() ? kNoSecs : when.toSecsSinceEpoch();
}

int Item::Duration() const { return GetProp(pDuration).toInt(); }
void Item::SetDuration(int minutes) { SetProp(pDuration, minutes); }
int Item::BusyStatus() const { return GetProp(pBusyStatus).toInt(); }
void Item::SetBusyStatus(int value) { SetProp(pBusyStatus, value); }
int Item::ReminderMinutesBeforeStart() const { return GetProp(pReminderMinutesBeforeStart).toInt(); }
void Item::SetReminderMinutesBeforeStart(int minutes) { SetProp(pReminderMinutesBeforeStart, minutes); }
bool Item::ReminderSet() const { return GetProp(pReminderSet).toBool(); }
void Item::SetReminderSet(bool value) { SetProp(pReminderSet, value); }
bool Item::ReminderPlaySound() const { return GetProp(pReminderPlaySound).toBool(); }
void Item::SetReminderPlaySound(bool value) { SetProp(pReminderPlaySound, value); }
QString Item::ReminderSoundFile() const { return GetProp(pReminderSoundFile).toString(); }
void Item::SetReminderSoundFile(const QString& value) { SetProp(pReminderSoundFile, value); }
QString Item::BillingInformation() const { return GetProp(pBillingInformation).toString(); }
void Item::SetBillingInformation(const QString& value) { SetProp(pBillingInformation, value); }
QString Item::Mileage() const { return GetProp(pMileage).toString(); }
void Item::SetMileage(const QString& value) { SetProp(pMileage, value); }
QString Item::EntryID() const { return GetProp(pEntryID).toString(); }
QDateTime Item::CreationTime() const { return GetProp(pCreationTime).toDateTime(); }
QDateTime Item::LastModificationTime() const { return GetProp(pLastModificationTime).toDateTime(); }
bool Item::AllDayEvent() const { return GetProp(pAllDayEvent).toBool(); }
bool Item::IsRecurring() const { return GetProp(pIsRecurring).toBool(); }
QDateTime Item::StartDate() const { return GetProp(pStartDate).toDateTime(); }
QDateTime Item::DueDate() const { return GetProp(pDueDate).toDateTime(); }
QDateTime Item::DateCompleted() const { return GetProp(pDateCompleted).toDateTime(); }

namespace {
// The late answer to a save: the new version tag, or a refusal. After a refusal the folder shows
// what the store holds: a new item is not there, a changed one is read again as the store has it
// now (another client's version, or the one from before).
void SaveAnswered(FolderData& f, const std::shared_ptr<Resource>& r, bool isNew, const QString& uid,
                  const WriteOutcome& outcome)
{
    r->pending = false;
    if (outcome.error.isEmpty()) {
        r->etag = outcome.etag;
        return;
    }
    if (auto app = f.app.lock())
        app->failedSaves.append(WriteOutcome{uid.toUtf8(), outcome.number, outcome.error});
    bool gone = isNew;
    if (!isNew) {
        r->vcalendar.reset();
        r->etag.clear(); // differs from any the store has: read again
        r->dirty = false;
        r->endSet.clear();
        try {
            EnsureParsed(f, r);
            r->vcalendar.reset();
        } catch (...) {
            gone = true;
        }
    }
    if (gone) {
        IndexRemove(f, r.get());
        if (f.byNameMade)
            f.byName.remove(r->name);
        auto it = std::find(f.items.begin(), f.items.end(), r);
        if (it != f.items.end())
            f.items.erase(it);
        r->deleted = true;
        r->vcalendar.reset();
    }
    f.dirty.remove(r.get());
    ++f.generation;
    f.cacheDirty = true;
}
} // namespace

void Item::Save()
{
    if (!m_resource)
        vb::Raise(vb::ErrObjectRequired, QStringLiteral("Object variable not set"));
    FolderData& f = *m_folder;
    auto app = App(f);
    Store& store = *app->store;
    EnsureLoaded(f);
    const std::shared_ptr<Resource>& r = m_resource;
    // The outcome of its last save comes first: it may have been refused, or have brought the
    // version tag this save is conditioned on.
    if (r->pending)
        store.Settle(f.collection, r->name);
    if (r->deleted)
        vb::Raise(ErrCalendar, Words(Message::ItemDeleted));
    icalcomponent* vcal = EnsureParsed(f, r);
    if (r->conflict) {
        r->conflict = false;
        vb::Raise(ErrCalendar, Words(Message::ChangedNotSaved)
                                   .arg(store.Describe(f.collection, r->name)));
    }
    const bool isNew = r->name.isEmpty();
    if (!isNew && !r->changed) {
        // Every value set was the one stored: the file, and its etag, stay as they are.
        r->dirty = false;
        f.dirty.remove(r.get());
        r->endSet.clear();
        return;
    }
    PrepareForSave(vcal);
    const QByteArray data = Serialize(vcal);
    // Read back from the text written, as the next opening will read it; the parsed item
    // answers whatever that reading is not sure of.
    std::optional<Summary> quick = QuickSummary(data, f.collection, FallbackUid(r->name));
    Summary s = quick ? std::move(*quick)
                      : Summarize(vcal, f.collection, isNew ? store.Location() : store.Describe(f.collection, r->name),
                                  FallbackUid(r->name));
    if (f.collection == Collection::Calendar && s.end != kNoTime && s.end < s.start)
        vb::Raise(ErrCalendar, Words(Message::EndsBeforeStart)
                                   .arg(detail::GetProp(vcal, MainComponent(vcal, f.collection), pSubject).toString(),
                                        QDateTime::fromSecsSinceEpoch(s.end).toString(Qt::ISODate),
                                        QDateTime::fromSecsSinceEpoch(s.start).toString(Qt::ISODate)));
    const QString name = isNew ? store.NameForUid(s.Texts().uid) : r->name;
    if (isNew && ByName(f).contains(name))
        vb::Raise(ErrCalendar, Words(Message::AlreadyExists).arg(store.Describe(f.collection, name)));
    // The store answers at once, or later (then the item stands in the folder as saved until the
    // answer says otherwise).
    struct Call {
        bool returned = false;
        std::optional<WriteOutcome> early;
    };
    auto call = std::make_shared<Call>();
    const std::shared_ptr<FolderData> folder = m_folder;
    const QString uid = s.Texts().uid;
    // An update is known to differ from what was read (an unchanged item returned above).
    store.WriteLater(
        f.collection, name, data, isNew ? QByteArray() : r->etag,
        [call, folder, r, isNew, uid](const WriteOutcome& outcome) {
            if (!call->returned)
                call->early = outcome;
            else
                SaveAnswered(*folder, r, isNew, uid, outcome);
        },
        isNew ? Store::WriteKind::MaybeSame : Store::WriteKind::Changed);
    call->returned = true;
    if (call->early && !call->early->error.isEmpty())
        vb::Raise(call->early->number, call->early->error);
    if (isNew) {
        r->name = name;
        r->order = f.nextOrder++;
        f.items.push_back(r);
        ByName(f).insert(name, r);
    } else {
        IndexRemove(f, r.get());
    }
    r->etag = call->early ? call->early->etag : QByteArray();
    r->pending = !call->early;
    r->summary = std::move(s);
    IndexAdd(f, r.get());
    r->dirty = false;
    r->changed = false;
    f.dirty.remove(r.get());
    r->endSet.clear();
    // A long export must not keep every item it wrote parsed in memory.
    r->vcalendar.reset();
    ++f.generation;
    f.cacheDirty = true;
}

void Item::Delete()
{
    if (!m_resource)
        vb::Raise(vb::ErrObjectRequired, QStringLiteral("Object variable not set"));
    FolderData& f = *m_folder;
    auto app = App(f);
    if (m_resource->deleted)
        return;
    if (m_occurrence) {
        AddExdate(EnsureParsed(f, m_resource), f.collection, m_rid);
        m_resource->dirty = true;
        m_resource->changed = true;
        f.dirty.insert(m_resource.get());
        Item series = SearchState::Make(m_folder, m_resource);
        series.Save();
        return;
    }
    if (m_resource->pending)
        app->store->Settle(f.collection, m_resource->name);
    if (m_resource->deleted)
        return;
    if (!m_resource->name.isEmpty()) {
        EnsureLoaded(f);
        app->store->Remove(f.collection, m_resource->name, m_resource->etag);
        IndexRemove(f, m_resource.get());
        f.dirty.remove(m_resource.get());
        if (f.byNameMade)
            f.byName.remove(m_resource->name);
        auto it = std::find(f.items.begin(), f.items.end(), m_resource);
        if (it != f.items.end())
            f.items.erase(it);
        ++f.generation;
        f.cacheDirty = true;
    }
    m_resource->deleted = true;
    m_resource->vcalendar.reset();
}

// ---------------------------------------------------------------- Items

void Items::Sort(const QString& property, bool descending)
{
    QString name = property.trimmed();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2).trimmed();
    const PropDef* def = FindProp(m_folder->collection, name);
    if (!def)
        vb::Raise(ErrCalendar, QStringLiteral("The property \"%1\" cannot be sorted on: it is not valid").arg(name));
    m_sortProperty = QString::fromLatin1(def->name);
    m_descending = descending;
}

void Items::SetIncludeRecurrences(bool value)
{
    m_includeRecurrences = value;
}

const std::vector<std::shared_ptr<Resource>>& Items::Ordered() const
{
    FolderData& f = *m_folder;
    App(f);
    EnsureLoaded(f);
    if (m_orderedGeneration == f.generation && m_orderedSort == m_sortProperty && m_orderedDescending == m_descending &&
        m_ordered.size() == f.items.size())
        return m_ordered;
    m_orderedGeneration = f.generation;
    m_orderedSort = m_sortProperty;
    m_orderedDescending = m_descending;
    std::vector<std::shared_ptr<Resource>>& items = m_ordered;
    items = f.items;
    if (m_sortProperty.isEmpty())
        return items;
    const PropDef* def = FindProp(f.collection, m_sortProperty);
    if (def->id == pStart) {
        std::stable_sort(items.begin(), items.end(), [this](const auto& a, const auto& b) {
            return m_descending ? b->summary.start < a->summary.start : a->summary.start < b->summary.start;
        });
        return items;
    }
    std::vector<std::pair<FilterValue, std::shared_ptr<Resource>>> keyed;
    keyed.reserve(items.size());
    for (const auto& r : items)
        keyed.emplace_back(ToFilterValue(SearchState::Make(m_folder, r).Get(m_sortProperty), def->type), r);
    auto less = [def](const FilterValue& a, const FilterValue& b) {
        switch (def->type) {
        case PropType::Text: return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
        case PropType::Date: return a.utc < b.utc;
        case PropType::Number: return a.number < b.number;
        case PropType::Bool: return int(a.flag) < int(b.flag);
        }
        return false;
    };
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return m_descending ? less(b.first, a.first) : less(a.first, b.first);
    });
    items.clear();
    for (auto& k : keyed)
        items.push_back(std::move(k.second));
    return items;
}

int Items::Count() const
{
    FolderData& f = *m_folder;
    App(f);
    EnsureLoaded(f);
    return int(f.items.size());
}

cal::Item Items::Item(int index) const
{
    const auto& items = Ordered();
    if (index < 1 || index > int(items.size()))
        vb::Raise(vb::ErrSubscriptOutOfRange, QStringLiteral("Array index out of bounds: item %1 of %2").arg(index).arg(items.size()));
    return SearchState::Make(m_folder, items[size_t(index - 1)]);
}

cal::Item Items::Find(const QString& filterText)
{
    FolderData& f = *m_folder;
    auto app = App(f);
    EnsureLoaded(f);
    auto search = std::make_shared<SearchState>();
    search->filter = Filter::Parse(filterText, SchemaFor(f.collection));
    search->folder = m_folder;
    m_search.reset();

    const bool byStart = m_sortProperty == QLatin1String("Start");
    // As in Outlook, occurrences are given only for a collection sorted on Start.
    const bool expand = m_includeRecurrences && byStart && f.collection == Collection::Calendar;
    const Filter::Range range = f.collection == Collection::Calendar ? search->filter.StartRange(pStart, pEnd)
                                                                      : Filter::Range();
    qint64 high = range.high;
    if (expand && high == std::numeric_limits<qint64>::max()) {
        const qint64 from = range.low == std::numeric_limits<qint64>::min() ? QDateTime::currentSecsSinceEpoch() : range.low;
        high = QDateTime::fromSecsSinceEpoch(from).addYears(kOpenEndedYears).toSecsSinceEpoch();
    }
    auto& out = search->candidates;
    auto addSeries = [&](const std::shared_ptr<Resource>& r) {
        const Summary& s = r->summary;
        if (s.start != kNoTime && s.start > high)
            return;
        if (s.seriesEnd != kForever && s.seriesEnd < range.low && s.overrides.isEmpty())
            return;
        icalcomponent* vcal = s.zoneInFile ? EnsureParsed(f, r) : nullptr;
        std::vector<Occurrence> occurrences;
        if (!Expand(s, vcal, range.low, high, occurrences)) {
            // A rule that repeats every minute or second would fill any list: named, not listed.
            const QString reason =
                QStringLiteral("%1: the series \"%2\" repeats more often than %3 times in the range searched; it was "
                               "skipped")
                    .arg(app->store->Describe(f.collection, r->name), s.Texts().subject)
                    .arg(kMaxOccurrences);
            if (!f.loadErrors.contains(reason)) {
                f.loadErrors << reason;
                qCWarning(lcCalendar).noquote() << reason;
            }
            return;
        }
        for (const Occurrence& o : occurrences)
            out.push_back({r, o, true});
    };
    auto addItem = [&](const std::shared_ptr<Resource>& r) {
        if (expand && r->summary.recurring)
            addSeries(r);
        else
            out.push_back({r, {r->summary.start, r->summary.end, kNoTime}, false});
    };

    const auto keys = search->filter.IndexKeys({pBillingInformation, pMileage, pReminderSoundFile});
    if (keys) {
        QSet<Resource*> seen;
        std::vector<Resource*> found;
        for (const auto& [prop, value] : *keys) {
            const int slot = prop == pBillingInformation ? 0 : prop == pMileage ? 1 : 2;
            const auto it = f.markerIndex[slot].constFind(value.toCaseFolded());
            if (it == f.markerIndex[slot].constEnd())
                continue;
            for (Resource* r : *it)
                if (!seen.contains(r)) {
                    seen.insert(r);
                    found.push_back(r);
                }
        }
        std::sort(found.begin(), found.end(), [](Resource* a, Resource* b) { return a->order < b->order; });
        for (Resource* r : found)
            addItem(r->shared_from_this());
    } else if (f.collection == Collection::Calendar) {
        RebuildStartIndex(f);
        auto it = std::lower_bound(f.startIndex.begin(), f.startIndex.end(), range.low,
                                   [](const auto& e, qint64 v) { return e.first < v; });
        for (; it != f.startIndex.end() && it->first <= range.high; ++it)
            out.push_back({it->second->shared_from_this(), {it->second->summary.start, it->second->summary.end, kNoTime}, false});
        for (Resource* r : f.series) {
            const auto shared = r->shared_from_this();
            if (expand)
                addSeries(shared);
            else if (r->summary.start >= range.low && r->summary.start <= range.high)
                out.push_back({shared, {r->summary.start, r->summary.end, kNoTime}, false});
        }
    } else {
        for (const auto& r : f.items)
            addItem(r);
    }
    // Items with unsaved changes are judged by what they hold now.
    for (Resource* d : std::as_const(f.dirty)) {
        const auto r = d->shared_from_this();
        if (r && std::none_of(out.begin(), out.end(), [&](const Candidate& c) { return c.resource == r; }))
            addItem(r);
    }

    if (byStart) {
        std::stable_sort(out.begin(), out.end(), [this](const Candidate& a, const Candidate& b) {
            if (a.occurrence.start != b.occurrence.start)
                return m_descending ? b.occurrence.start < a.occurrence.start : a.occurrence.start < b.occurrence.start;
            return a.resource->order < b.resource->order;
        });
    } else if (m_sortProperty.isEmpty()) {
        std::stable_sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
            if (a.resource->order != b.resource->order)
                return a.resource->order < b.resource->order;
            return a.occurrence.start < b.occurrence.start;
        });
    } else {
        const auto& ordered = Ordered();
        QHash<const Resource*, int> position;
        for (size_t i = 0; i < ordered.size(); ++i)
            position.insert(ordered[i].get(), int(i));
        std::stable_sort(out.begin(), out.end(), [&](const Candidate& a, const Candidate& b) {
            return position.value(a.resource.get()) < position.value(b.resource.get());
        });
    }
    m_search = search;
    return FindNext();
}

cal::Item Items::FindNext()
{
    if (!m_search)
        vb::Raise(91, QStringLiteral("Object variable or With block variable not set: FindNext without a Find"));
    SearchState& s = *m_search;
    App(*s.folder);
    while (s.next < s.candidates.size()) {
        const Candidate& c = s.candidates[s.next++];
        if (c.resource->deleted)
            continue;
        try {
            if (s.filter.Matches(CandidateSource(s.folder, c)))
                return SearchState::Make(s.folder, c.resource, c.isOccurrence ? &c.occurrence : nullptr);
        } catch (...) {
            // One unreadable file does not end the search; it is reported and skipped.
            const vb::ErrObject e = vb::CurrentError();
            s.folder->loadErrors << e.Description();
            qCWarning(lcCalendar).noquote() << e.Description();
        }
    }
    return cal::Item();
}

// ---------------------------------------------------------------- folders, namespace, application

QString MAPIFolder::Name() const
{
    return CollectionName(m_folder->collection);
}

cal::Items MAPIFolder::Items() const
{
    App(*m_folder);
    cal::Items items;
    items.m_folder = m_folder;
    return items;
}

QStringList MAPIFolder::LoadErrors() const
{
    App(*m_folder);
    EnsureLoaded(*m_folder);
    return m_folder->loadErrors;
}

MAPIFolder NameSpace::GetDefaultFolder(int folderType) const
{
    if (!m_app || m_app->quit)
        vb::Raise(ErrCalendar, Words(Message::CalendarQuit));
    Collection c = Collection::Calendar;
    switch (folderType) {
    case olFolderCalendar: c = Collection::Calendar; break;
    case olFolderNotes: c = Collection::Notes; break;
    case olFolderTasks: c = Collection::Tasks; break;
    default:
        vb::Raise(vb::ErrInvalidProcedureCall, QStringLiteral("There is no default folder number %1").arg(folderType));
    }
    MAPIFolder folder;
    folder.m_folder = m_app->folders[CollectionIndex(c)];
    return folder;
}

namespace {
std::weak_ptr<Application> g_running;
}

std::shared_ptr<Application> Application::GetRunning()
{
    auto app = g_running.lock();
    if (app && !app->HasQuit())
        return app;
    return nullptr;
}

std::shared_ptr<Application> Application::Create(const QString& location)
{
    InitIcal();
    std::shared_ptr<Application> app(new Application);
    app->m_app = std::make_shared<AppState>();
    app->m_app->location = location;
    app->m_app->store = OpenStore(location);
    for (Collection c : {Collection::Calendar, Collection::Notes, Collection::Tasks}) {
        auto folder = std::make_shared<FolderData>();
        folder->app = app->m_app;
        folder->collection = c;
        app->m_app->folders[CollectionIndex(c)] = folder;
    }
    g_running = app;
    return app;
}

NameSpace Application::GetNamespace(const QString& type) const
{
    if (m_app->quit)
        vb::Raise(ErrCalendar, Words(Message::CalendarQuit));
    if (type.compare(QLatin1String("MAPI"), Qt::CaseInsensitive) != 0)
        vb::Raise(vb::ErrInvalidProcedureCall, QStringLiteral("There is no namespace \"%1\"; only MAPI").arg(type));
    NameSpace ns;
    ns.m_app = m_app;
    return ns;
}

cal::Item Application::CreateItem(int itemType, const QString& uidPrefix) const
{
    if (m_app->quit)
        vb::Raise(ErrCalendar, Words(Message::CalendarQuit));
    Collection c = Collection::Calendar;
    switch (itemType) {
    case olAppointmentItem: c = Collection::Calendar; break;
    case olNoteItem: c = Collection::Notes; break;
    case olTaskItem: c = Collection::Tasks; break;
    default: vb::Raise(vb::ErrInvalidProcedureCall, QStringLiteral("Items of type %1 cannot be created").arg(itemType));
    }
    auto r = std::make_shared<Resource>();
    r->vcalendar = NewItemCalendar(c, uidPrefix);
    r->dirty = true;
    return SearchState::Make(m_app->folders[CollectionIndex(c)], r);
}

void Application::Commit()
{
    if (!m_app || m_app->quit || !m_app->store)
        vb::Raise(ErrCalendar, Words(Message::CalendarQuit));
    m_app->store->Commit();
}

QList<SaveFailure> Application::TakeSaveFailures()
{
    QList<SaveFailure> out;
    if (!m_app)
        return out;
    for (const WriteOutcome& failed : std::exchange(m_app->failedSaves, {}))
        out.append(SaveFailure{QString::fromUtf8(failed.etag), failed.number, failed.error});
    return out;
}

void Application::Quit()
{
    if (!m_app || m_app->quit)
        return;
    if (m_app->store) {
        try {
            m_app->store->Commit();
        } catch (...) {
            qCWarning(lcCalendar).noquote() << vb::CurrentError().Description();
        }
        // Nobody asked for these: they are not lost from sight all the same.
        for (const auto& failed : std::exchange(m_app->failedSaves, {}))
            qWarning().noquote() << failed.error;
    }
    if (m_app->store && m_app->store->WantsSummaryCache()) {
        for (const auto& folder : m_app->folders) {
            if (!folder->loaded || !folder->cacheDirty)
                continue;
            try {
                WriteCache(CachePath(m_app->location, folder->collection), *folder);
                folder->cacheDirty = false;
            } catch (...) {
                qCWarning(lcCalendar).noquote() << vb::CurrentError().Description();
            }
        }
    }
    m_app->quit = true;
    m_app->store.reset();
}

bool Application::HasQuit() const
{
    return !m_app || m_app->quit;
}

QString Application::Location() const
{
    return m_app ? m_app->location : QString();
}

Application::~Application()
{
    Quit();
}

} // namespace cal
