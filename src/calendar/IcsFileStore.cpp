#include "calendar/IcsFileStore.h"

#include "calendar/Compare.h"

#include "calendar/Ical.h"
#include "calendar/Model.h"
#include "platform/ErrObject.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>

namespace cal::detail {

namespace {
int Slot(Collection c)
{
    return c == Collection::Calendar ? 0 : c == Collection::Notes ? 1 : 2;
}

std::optional<Collection> CollectionOf(icalcomponent_kind kind)
{
    switch (kind) {
    case ICAL_VEVENT_COMPONENT: return Collection::Calendar;
    case ICAL_VJOURNAL_COMPONENT: return Collection::Notes;
    case ICAL_VTODO_COMPONENT: return Collection::Tasks;
    default: return std::nullopt;
    }
}

void CollectTzids(icalcomponent* c, QSet<QByteArray>& out)
{
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
        if (icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
            out.insert(QByteArray(icalparameter_get_tzid(tz)));
    }
}

QByteArray Hash(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

ComponentPtr NewShell()
{
    ComponentPtr vcal(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(vcal.get(), icalproperty_new_prodid("-//Almbro//Almbro for Linux//SV"));
    icalcomponent_add_property(vcal.get(), icalproperty_new_version("2.0"));
    return vcal;
}

// Moves every component of from into to, VTIMEZONEs only when to has none with that TZID.
void MoveComponents(icalcomponent* from, icalcomponent* to, QSet<QByteArray>& zones)
{
    std::vector<icalcomponent*> all;
    for (icalcomponent* c = icalcomponent_get_first_component(from, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(from, ICAL_ANY_COMPONENT))
        all.push_back(c);
    for (icalcomponent* c : all) {
        icalcomponent_remove_component(from, c);
        if (icalcomponent_isa(c) == ICAL_VTIMEZONE_COMPONENT) {
            const QByteArray id = VTimezoneId(c);
            if (zones.contains(id)) {
                icalcomponent_free(c);
                continue;
            }
            zones.insert(id);
        }
        icalcomponent_add_component(to, c);
    }
}
} // namespace

IcsFileStore::IcsFileStore(const QString& path)
    : m_path(QFileInfo(path).absoluteFilePath())
{
    InitIcal();
    const QFileInfo info(m_path);
    if (info.exists()) {
        if (!info.isFile())
            vb::Raise(vb::ErrCannotCreateObject, QStringLiteral("The calendar file %1 is not a file").arg(m_path));
        try {
            Reload(true);
        } catch (...) {
            vb::Raise(vb::ErrCannotCreateObject, vb::CurrentError().Description());
        }
    } else if (!QDir().mkpath(info.path())) {
        vb::Raise(vb::ErrCannotCreateObject, QStringLiteral("Cannot create the folder of the calendar file %1").arg(m_path));
    }
}

QString IcsFileStore::Describe(Collection, const QString& name) const
{
    QString uid = name;
    if (uid.endsWith(QLatin1String(".ics")))
        uid.chop(4);
    return QStringLiteral("%1 (item %2)").arg(m_path, uid);
}

void IcsFileStore::Reload(bool force)
{
    const auto stamp = StatFile(m_path);
    if (!force && stamp == m_stamp)
        return;
    if (!stamp) {
        m_header.clear();
        for (int i = 0; i < 3; ++i) {
            m_entries[i].clear();
            m_order[i].clear();
        }
        m_stamp.reset();
        return;
    }
    Load(ReadWholeFile(m_path));
    m_stamp = stamp;
}

void IcsFileStore::Load(const QByteArray& text)
{
    ComponentPtr vcal = ParseCalendar(text, m_path);
    QHash<QByteArray, icalcomponent*> zones;
    for (icalcomponent* z = icalcomponent_get_first_component(vcal.get(), ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(vcal.get(), ICAL_VTIMEZONE_COMPONENT))
        zones.insert(VTimezoneId(z), z);

    struct Group {
        Collection collection;
        std::vector<icalcomponent*> components;
    };
    QHash<QString, Group> groups[3];
    QStringList order[3];
    std::vector<icalcomponent*> items;
    for (icalcomponent* c = icalcomponent_get_first_component(vcal.get(), ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(vcal.get(), ICAL_ANY_COMPONENT))
        if (CollectionOf(icalcomponent_isa(c)))
            items.push_back(c);
    for (icalcomponent* c : items) {
        const Collection collection = *CollectionOf(icalcomponent_isa(c));
        QString uid = FromUtf8(icalcomponent_get_uid(c));
        if (uid.isEmpty())
            uid = QStringLiteral("nouid-") + QString::fromLatin1(Hash(Serialize(c)).left(16));
        const QString name = NameForUid(uid);
        const int slot = Slot(collection);
        auto it = groups[slot].find(name);
        if (it == groups[slot].end()) {
            it = groups[slot].insert(name, Group{collection, {}});
            order[slot] << name;
        }
        icalcomponent_remove_component(vcal.get(), c);
        it->components.push_back(c);
    }
    QHash<QString, Entry> entries[3];
    for (int slot = 0; slot < 3; ++slot) {
        for (const QString& name : order[slot]) {
            Group& g = groups[slot][name];
            ComponentPtr resource = NewShell();
            QSet<QByteArray> used;
            for (icalcomponent* c : g.components)
                CollectTzids(c, used);
            for (const QByteArray& id : used)
                if (icalcomponent* z = zones.value(id))
                    icalcomponent_add_component(resource.get(), icalcomponent_new_clone(z));
            for (icalcomponent* c : g.components)
                icalcomponent_add_component(resource.get(), c);
            Entry e;
            e.data = Serialize(resource.get());
            e.etag = Hash(e.data);
            entries[slot].insert(name, e);
        }
    }
    // What is left (the calendar's own properties, its VTIMEZONEs, components we do not use)
    // is written back as it was.
    m_header = Serialize(vcal.get());
    for (int slot = 0; slot < 3; ++slot) {
        m_entries[slot] = std::move(entries[slot]);
        m_order[slot] = std::move(order[slot]);
    }
}

QByteArray IcsFileStore::Compose() const
{
    ComponentPtr out = m_header.isEmpty() ? NewShell() : ParseCalendar(m_header, m_path);
    QSet<QByteArray> zones;
    for (icalcomponent* z = icalcomponent_get_first_component(out.get(), ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(out.get(), ICAL_VTIMEZONE_COMPONENT))
        zones.insert(VTimezoneId(z));
    for (int slot = 0; slot < 3; ++slot) {
        for (const QString& name : m_order[slot]) {
            ComponentPtr resource = ParseCalendar(m_entries[slot].value(name).data, Describe(Collection::Calendar, name));
            MoveComponents(resource.get(), out.get(), zones);
        }
    }
    return Serialize(out.get());
}

QList<ResourceInfo> IcsFileStore::List(Collection collection)
{
    Reload(false);
    QList<ResourceInfo> result;
    const int slot = Slot(collection);
    for (const QString& name : m_order[slot])
        result.append({name, m_entries[slot].value(name).etag});
    return result;
}

QByteArray IcsFileStore::Read(Collection collection, const QString& name, QByteArray* etag)
{
    Reload(false);
    const auto it = m_entries[Slot(collection)].constFind(name);
    if (it == m_entries[Slot(collection)].constEnd())
        vb::Raise(vb::ErrFileNotFound, QStringLiteral("%1 is no longer in the file").arg(Describe(collection, name)));
    if (etag)
        *etag = it->etag;
    return it->data;
}

void IcsFileStore::Replace(Collection collection, const QString& name, const QByteArray* data, const QByteArray& ifMatch)
{
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(5000))
        vb::Raise(vb::ErrPermissionDenied,
                  QStringLiteral("The calendar file %1 is locked by another program (%1.lock)").arg(m_path));
    // Whatever another program wrote since we read the file is kept: we change only our item.
    Reload(false);
    const int slot = Slot(collection);
    const auto current = m_entries[slot].constFind(name);
    const bool exists = current != m_entries[slot].constEnd();
    if (data && ifMatch.isEmpty() && exists)
        vb::Raise(ErrCalendar, QStringLiteral("%1 already exists; it was not overwritten").arg(Describe(collection, name)));
    if (!ifMatch.isEmpty() && (!exists || current->etag != ifMatch))
        vb::Raise(ErrCalendar, QStringLiteral("%1 was changed or removed by another program since it was read; it was "
                                              "not overwritten")
                                   .arg(Describe(collection, name)));
    // Check the new item reads before it goes into the file.
    if (data)
        ParseCalendar(*data, Describe(collection, name));
    const auto savedEntries = m_entries[slot];
    const auto savedOrder = m_order[slot];
    if (data) {
        if (!exists)
            m_order[slot] << name;
        m_entries[slot].insert(name, Entry{*data, Hash(*data)});
    } else {
        m_entries[slot].remove(name);
        m_order[slot].removeAll(name);
    }
    try {
        const QFileInfo info(m_path);
        AtomicWrite(info.path(), info.fileName(), Compose());
    } catch (...) {
        m_entries[slot] = savedEntries;
        m_order[slot] = savedOrder;
        throw;
    }
    m_stamp = StatFile(m_path);
}

QByteArray IcsFileStore::Write(Collection collection, const QString& name, const QByteArray& data, const QByteArray& ifMatch)
{
    if (!ifMatch.isEmpty()) {
        // An item equal to the stored one leaves the file as it is.
        Reload(false);
        const auto current = m_entries[Slot(collection)].constFind(name);
        if (current != m_entries[Slot(collection)].constEnd() && current->etag == ifMatch && SameItem(current->data, data))
            return ifMatch;
    }
    Replace(collection, name, &data, ifMatch);
    return Hash(data);
}

void IcsFileStore::Remove(Collection collection, const QString& name, const QByteArray& ifMatch)
{
    Replace(collection, name, nullptr, ifMatch);
}

} // namespace cal::detail
