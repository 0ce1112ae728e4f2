// The summaries of a folder's items, kept between runs so that opening a large calendar does
// not parse every file. Each entry carries its file's etag; an entry whose file changed is
// simply not used. The cache is only ever a copy: deleting it costs one slow start.
#include "calendar/FileIo.h"
#include "calendar/Model.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>

namespace cal::detail {

namespace {
constexpr quint32 kMagic = 0x414c4d43; // "ALMC"
constexpr quint32 kVersion = 4;

QDataStream& operator<<(QDataStream& out, const Summary& s)
{
    out << s.uid << s.start << s.end << s.markers[0] << s.markers[1] << s.markers[2] << s.recurring << s.allDay;
    out << s.subject << s.body << s.location << s.busyStatus << s.reminderMinutes << s.reminderSet << s.playSound;
    if (!s.recurring)
        return out;
    out << s.zoneKey << s.zoneInFile << s.dtstart << s.rrules << s.exdates << s.seriesEnd;
    out << quint32(s.rdates.size());
    for (const RDateInfo& r : s.rdates)
        out << r.start << r.end;
    out << quint32(s.overrides.size());
    for (const OverrideInfo& o : s.overrides)
        out << o.rid << o.start << o.end;
    return out;
}

QDataStream& operator>>(QDataStream& in, Summary& s)
{
    in >> s.uid >> s.start >> s.end >> s.markers[0] >> s.markers[1] >> s.markers[2] >> s.recurring >> s.allDay;
    in >> s.subject >> s.body >> s.location >> s.busyStatus >> s.reminderMinutes >> s.reminderSet >> s.playSound;
    if (!s.recurring)
        return in;
    in >> s.zoneKey >> s.zoneInFile >> s.dtstart >> s.rrules >> s.exdates >> s.seriesEnd;
    quint32 n = 0;
    in >> n;
    for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        RDateInfo r;
        in >> r.start >> r.end;
        s.rdates << r;
    }
    in >> n;
    for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        OverrideInfo o;
        in >> o.rid >> o.start >> o.end;
        s.overrides << o;
    }
    return in;
}

// Floating times and dates were read in the system's zone: a cache made in another zone is
// not valid.
QByteArray ZoneStamp()
{
    return QTimeZone::systemTimeZoneId();
}
} // namespace

QString CachePath(const QString& location, Collection collection)
{
    const QByteArray key = QCryptographicHash::hash((location + QLatin1Char('|') + CollectionName(collection)).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(24);
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/almbro/calendar-") +
           QString::fromLatin1(key) + QStringLiteral(".cache");
}

std::vector<std::shared_ptr<Resource>> ReadCache(const QString& path)
{
    std::vector<std::shared_ptr<Resource>> result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QByteArray data = file.readAll();
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0, count = 0;
    QByteArray zone;
    in >> magic >> version >> zone >> count;
    if (magic != kMagic || version != kVersion || zone != ZoneStamp() || in.status() != QDataStream::Ok)
        return result;
    // Read straight into the items the folder keeps: no copy of 100,000 summaries.
    result.reserve(std::min<quint32>(count, quint32(data.size() / 16)));
    for (quint32 i = 0; i < count; ++i) {
        auto r = std::make_shared<Resource>();
        in >> r->name >> r->etag >> r->summary;
        if (in.status() != QDataStream::Ok)
            return {}; // damaged: start afresh rather than trust part of it
        result.push_back(std::move(r));
    }
    // Written in folder order, which is by name but for items added since the last full load.
    const auto byName = [](const std::shared_ptr<Resource>& a, const std::shared_ptr<Resource>& b) { return a->name < b->name; };
    if (!std::is_sorted(result.begin(), result.end(), byName))
        std::stable_sort(result.begin(), result.end(), byName);
    return result;
}

void WriteCache(const QString& path, const FolderData& folder)
{
    QByteArray data;
    {
        QDataStream out(&data, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        quint32 count = 0;
        for (const auto& r : folder.items)
            if (!r->deleted && !r->name.isEmpty())
                ++count;
        out << kMagic << kVersion << ZoneStamp() << count;
        for (const auto& r : folder.items)
            if (!r->deleted && !r->name.isEmpty())
                out << r->name << r->etag << r->summary;
    }
    const QFileInfo info(path);
    QDir().mkpath(info.path());
    AtomicWrite(info.path(), info.fileName(), data);
}

} // namespace cal::detail
