#include "calendar/IcsFileStore.h"

#include "calendar/Compare.h"
#include "calendar/Words.h"

#include "calendar/Ical.h"
#include "calendar/Model.h"
#include "platform/ErrObject.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>

#include <algorithm>

namespace cal::detail {

namespace {
int Slot(Collection c)
{
    return c == Collection::Calendar ? 0 : c == Collection::Notes ? 1 : 2;
}

int SlotOf(const QByteArray& kind)
{
    if (kind == "VEVENT")
        return 0;
    if (kind == "VJOURNAL")
        return 1;
    if (kind == "VTODO")
        return 2;
    return -1;
}

QByteArray Hash(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

QByteArrayView Span(const QByteArray& text, qsizetype begin, qsizetype end)
{
    return QByteArrayView(text).sliced(begin, end - begin);
}

// A span's bytes with a line break at the end (the last line of a file may lack one).
QByteArray Terminated(QByteArrayView span, const QByteArray& lineBreak)
{
    QByteArray out = span.toByteArray();
    if (!out.endsWith('\n'))
        out.append(lineBreak);
    return out;
}

const char kNewCalendar[] = "BEGIN:VCALENDAR\r\nPRODID:-//Almbro//Almbro for Linux//SV\r\nVERSION:2.0\r\n";
} // namespace

IcsFileStore::IcsFileStore(const QString& path)
    : m_path(QFileInfo(path).absoluteFilePath())
{
    InitIcal();
    const QFileInfo info(m_path);
    if (info.exists()) {
        if (!info.isFile())
            vb::Raise(vb::ErrCannotCreateObject, Words(Message::FileNotFile).arg(m_path));
        try {
            Reload(true);
        } catch (...) {
            vb::Raise(vb::ErrCannotCreateObject, vb::CurrentError().Description());
        }
    } else if (!QDir().mkpath(info.path())) {
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::FileFolderNotMade).arg(m_path));
    }
}

QString IcsFileStore::Describe(Collection /*collection*/, const QString& name) const
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
        Load(QByteArray());
        m_stamp.reset();
        return;
    }
    Load(ReadWholeFile(m_path));
    m_stamp = stamp;
}

QByteArray IcsFileStore::EntryData(const QList<qsizetype>& components, QByteArray* etag) const
{
    const QByteArray lineBreak = LineBreakOf(m_text);
    QByteArray items;
    for (const qsizetype i : components) {
        const RawComponent& c = m_split.components[i];
        items += Terminated(Span(m_text, c.begin, c.end), lineBreak);
    }
    QByteArray out = "BEGIN:VCALENDAR" + lineBreak;
    for (const RawLine& line : m_split.properties)
        out += Terminated(Span(m_text, line.begin, line.end), lineBreak);
    const qsizetype headerEnd = out.size();
    // The zones the item names, as the file defines them.
    for (const QByteArray& tzid : TzidsIn(items))
        for (const RawComponent& z : m_split.components)
            if (z.kind == "VTIMEZONE" && z.tzid == tzid) {
                out += Terminated(Span(m_text, z.begin, z.end), lineBreak);
                break;
            }
    // The version is the item's own bytes and its zones': a change to the calendar's own lines
    // (its name, say) is no change of the item.
    if (etag)
        *etag = Hash(QByteArrayView(out).sliced(headerEnd).toByteArray() + items);
    out += items;
    out += "END:VCALENDAR" + lineBreak;
    return out;
}

void IcsFileStore::Load(const QByteArray& input)
{
    QHash<QString, Entry> entries[3];
    QStringList order[3];
    RawCalendar split;
    if (!input.isEmpty()) {
        QByteArrayView text(input);
        if (text.startsWith("\xEF\xBB\xBF"))
            text = text.sliced(3);
        const QByteArray start = text.first(std::min<qsizetype>(text.size(), 64)).toByteArray().trimmed().toUpper();
        if (!start.startsWith("BEGIN:VCALENDAR"))
            vb::Raise(ErrCalendar,
                      Words(Message::NotIcalendar).arg(m_path));
        split = SplitCalendar(input);
        if (!split.ok)
            vb::Raise(ErrCalendar, Words(Message::NotIcalendarData).arg(m_path));
    }
    for (qsizetype i = 0; i < split.components.size(); ++i) {
        const RawComponent& c = split.components[i];
        const int slot = SlotOf(c.kind);
        if (slot < 0)
            continue;
        QString uid = QString::fromUtf8(c.uid.trimmed());
        if (uid.isEmpty())
            uid = QStringLiteral("nouid-") + QString::fromLatin1(Hash(Span(input, c.begin, c.end).toByteArray()).left(16));
        const QString name = NameForUid(uid);
        auto it = entries[slot].find(name);
        if (it == entries[slot].end()) {
            it = entries[slot].insert(name, Entry());
            order[slot] << name;
        }
        it->components << i;
    }
    m_text = input;
    m_split = std::move(split);
    for (int slot = 0; slot < 3; ++slot) {
        for (Entry& e : entries[slot]) {
            e.data = EntryData(e.components, &e.etag);
        }
        m_entries[slot] = std::move(entries[slot]);
        m_order[slot] = std::move(order[slot]);
    }
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
        vb::Raise(vb::ErrFileNotFound, Words(Message::NotInFile).arg(Describe(collection, name)));
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
                  Words(Message::FileLocked).arg(m_path));
    // Whatever another program wrote since we read the file is kept: we change only our item.
    Reload(false);
    const int slot = Slot(collection);
    const auto current = m_entries[slot].constFind(name);
    const bool exists = current != m_entries[slot].constEnd();
    if (data && ifMatch.isEmpty() && exists)
        vb::Raise(ErrCalendar, Words(Message::AlreadyExists).arg(Describe(collection, name)));
    if (!ifMatch.isEmpty() && (!exists || current->etag != ifMatch))
        vb::Raise(ErrCalendar, Words(Message::ChangedNotSaved)
                                   .arg(Describe(collection, name)));
    const QByteArray lineBreak = m_text.isEmpty() ? QByteArray("\r\n") : LineBreakOf(m_text);
    // The new item's own components, and the zones it needs that the file does not define.
    QByteArray insert;
    if (data) {
        ParseCalendar(*data, Describe(collection, name)); // it must read before it goes in
        const RawCalendar item = SplitCalendar(*data);
        QSet<QByteArray> known;
        for (const RawComponent& z : m_split.components)
            if (z.kind == "VTIMEZONE")
                known.insert(z.tzid);
        QByteArray zones, components;
        for (const RawComponent& c : item.components) {
            const QByteArrayView bytes = Span(*data, c.begin, c.end);
            if (c.kind == "VTIMEZONE") {
                if (!known.contains(c.tzid)) {
                    known.insert(c.tzid);
                    zones += Terminated(bytes, "\r\n");
                }
            } else if (SlotOf(c.kind) == slot) {
                components += Terminated(bytes, "\r\n");
            }
        }
        insert = WithLineBreaks(zones + components, lineBreak);
    }
    QByteArray text;
    if (m_text.isEmpty()) {
        text = WithLineBreaks(QByteArray(kNewCalendar), lineBreak) + insert + "END:VCALENDAR" + lineBreak;
    } else {
        // Cut the item's old components out; the new ones go where the first of them was, or
        // before END:VCALENDAR for a new item.
        QList<std::pair<qsizetype, qsizetype>> cuts;
        if (exists)
            for (const qsizetype i : current->components)
                cuts.append({m_split.components[i].begin, m_split.components[i].end});
        std::sort(cuts.begin(), cuts.end());
        qsizetype at = cuts.isEmpty() ? m_split.endLine : cuts.first().first;
        text.reserve(m_text.size() + insert.size());
        qsizetype copied = 0;
        bool inserted = false;
        auto insertHere = [&] {
            if (inserted)
                return;
            // An END:VCALENDAR right after text without a line break: give that line its break.
            if (!text.isEmpty() && !text.endsWith('\n') && !insert.isEmpty())
                text += lineBreak;
            text += insert;
            inserted = true;
        };
        for (const auto& [begin, end] : cuts) {
            text.append(m_text.constData() + copied, begin - copied);
            if (begin == at)
                insertHere();
            copied = end;
        }
        if (!inserted) {
            text.append(m_text.constData() + copied, at - copied);
            copied = at;
            insertHere();
        }
        text.append(m_text.constData() + copied, m_text.size() - copied);
    }
    const QFileInfo info(m_path);
    AtomicWrite(info.path(), info.fileName(), text);
    // The file is now what we wrote: read it from memory, stamped as it is on disk.
    Load(text);
    m_stamp = StatFile(m_path);
}

QByteArray IcsFileStore::Write(Collection collection, const QString& name, const QByteArray& data, const QByteArray& ifMatch,
                               WriteKind kind)
{
    if (!ifMatch.isEmpty() && kind == WriteKind::MaybeSame) {
        // An item equal to the stored one leaves the file as it is.
        Reload(false);
        const auto current = m_entries[Slot(collection)].constFind(name);
        if (current != m_entries[Slot(collection)].constEnd() && current->etag == ifMatch && SameItem(current->data, data))
            return ifMatch;
    }
    Replace(collection, name, &data, ifMatch);
    const auto it = m_entries[Slot(collection)].constFind(name);
    if (it == m_entries[Slot(collection)].constEnd())
        vb::Raise(ErrCalendar, Words(Message::NotSavedAsNamed).arg(Describe(collection, name)));
    return it->etag;
}

void IcsFileStore::Remove(Collection collection, const QString& name, const QByteArray& ifMatch)
{
    Replace(collection, name, nullptr, ifMatch);
}

} // namespace cal::detail
