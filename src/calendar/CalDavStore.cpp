#include "calendar/CalDavStore.h"

#include "calendar/CalDavCredentials.h"
#include "calendar/CalDavDiscovery.h"
#include "calendar/CalDavHttp.h"
#include "calendar/CalDavXml.h"
#include "calendar/Compare.h"
#include "calendar/FileIo.h"
#include "calendar/VdirStore.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"
#include "platform/Logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace cal::detail {

namespace {
const QString kStateFile = QStringLiteral("state.json");
constexpr int kMultigetChunk = 100;

Collection Mirrored()
{
    return Collection::Calendar;
}

// Which folder an item belongs in, by its first component: a scan, not a parse, as the opening
// does it for every item that came.
Collection KindOf(const QByteArray& data)
{
    qsizetype best = -1;
    Collection kind = Collection::Calendar;
    const std::pair<const char*, Collection> kinds[] = {{"BEGIN:VEVENT", Collection::Calendar},
                                                        {"BEGIN:VJOURNAL", Collection::Notes},
                                                        {"BEGIN:VTODO", Collection::Tasks}};
    for (const auto& [marker, collection] : kinds) {
        const qsizetype at = data.indexOf(marker);
        if (at >= 0 && (best < 0 || at < best)) {
            best = at;
            kind = collection;
        }
    }
    return kind;
}

QUrl WithoutUser(QUrl url)
{
    url.setUserInfo(QString());
    return url;
}
} // namespace

CalDavStore::CalDavStore(const QString& location) : m_location(location)
{
    QUrl start = QUrl::fromUserInput(location.trimmed());
    if (!start.isValid() || start.host().isEmpty())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::AddressUnusable).arg(location));
    if (!start.password().isEmpty())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::AddressPassword).arg(dav::Client::ServerOf(start)));
    const QString user = start.userName();
    const QString wanted = start.fragment(QUrl::FullyDecoded);
    start = WithoutUser(start);
    start.setFragment(QString());
    if (start.path().isEmpty())
        start.setPath(QStringLiteral("/"));

    dav::ClientOptions options;
    options.user = user;
    const QString server = dav::Client::ServerOf(start);
    options.password = [server, user] { return dav::LookUpPassword(server, user); };
    options.trusted = dav::NamedCertificates();
    bool ok = false;
    const int seconds = CalendarSetting("ALMBRO_CALENDAR_TIMEOUT", QStringLiteral("CalendarTimeout")).toInt(&ok);
    if (ok && seconds > 0)
        options.timeoutMs = seconds * 1000;
    // Requests at once in a batch of writes: QNetworkAccessManager opens at most six
    // connections to one server, so more would only queue inside it.
    const int requests = CalendarSetting("ALMBRO_CALENDAR_REQUESTS", QStringLiteral("CalendarRequests")).toInt(&ok);
    options.inFlight = ok && requests >= 1 ? std::min(requests, 6) : 6;
    m_client = std::make_unique<dav::Client>(options);

    m_collection = dav::FindCalendar(*m_client, start, wanted);
    const QByteArray key =
        QCryptographicHash::hash((user + QLatin1Char('@') + m_collection.toString()).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(24);
    // The mirrors' folder is ours to make; a mirror is made only inside it.
    const QString mirrors =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/almbro/caldav");
    QDir().mkpath(mirrors);
    m_mirror = std::make_unique<VdirStore>(mirrors + QLatin1Char('/') + QString::fromLatin1(key));
    LoadState();
    Sync();
}

CalDavStore::~CalDavStore()
{
    try {
        Commit();
    } catch (...) {
        qCWarning(lcCalDav).noquote() << vb::CurrentError().Description();
    }
}

QString CalDavStore::MirrorRoot() const
{
    return m_mirror->Location();
}

qint64 CalDavStore::RequestCount() const
{
    return m_client->RequestCount();
}

int CalDavStore::MostAtOnce() const
{
    return m_client->MostAtOnce();
}

QString CalDavStore::Describe(Collection /*collection*/, const QString& name) const
{
    const auto it = m_entries.constFind(name);
    const QString path = it != m_entries.cend() ? it->href : m_collection.path(QUrl::FullyDecoded) + name;
    return UrlOf(path).toDisplayString();
}

QUrl CalDavStore::UrlOf(const QString& path) const
{
    QUrl url = m_collection;
    url.setPath(path, QUrl::DecodedMode);
    return url;
}

QString CalDavStore::PathOf(const QString& href) const
{
    return m_collection.resolved(QUrl(href)).path(QUrl::FullyDecoded);
}

QString CalDavStore::NameOf(const QString& path) const
{
    const auto known = m_names.constFind(path);
    if (known != m_names.cend())
        return *known;
    // The server's own name when it makes a good file name; other clients name items as they
    // like, and those get a name made from the path.
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9@_+=-][A-Za-z0-9@._+=-]{0,150}\\.ics$"));
    QString segment = path.section(QLatin1Char('/'), -1);
    if (safe.match(segment).hasMatch() && !m_entries.contains(segment))
        return segment;
    return QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".ics");
}

// ---------------------------------------------------------------- the mirror's own record

void CalDavStore::LoadState()
{
    QFile file(m_mirror->Location() + QLatin1Char('/') + kStateFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    // A record of another collection, or none that can be read: the mirror is made anew.
    if (state.value(QStringLiteral("collection")).toString() != m_collection.toString())
        return;
    m_syncToken = state.value(QStringLiteral("token")).toString().toUtf8();
    for (const auto& value : state.value(QStringLiteral("items")).toArray()) {
        const QJsonArray item = value.toArray();
        const QString name = item.at(0).toString();
        const QString path = item.at(1).toString();
        if (name.isEmpty() || path.isEmpty())
            continue;
        m_entries.insert(name, Entry{path, item.at(2).toString().toUtf8(), Collection(item.at(3).toInt())});
        m_names.insert(path, name);
    }
}

void CalDavStore::SaveState()
{
    if (!m_stateDirty)
        return;
    QJsonArray items;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        items.append(QJsonArray{it.key(), it->href, QString::fromUtf8(it->etag), int(it->kind)});
    QJsonObject state;
    state.insert(QStringLiteral("collection"), m_collection.toString());
    state.insert(QStringLiteral("token"), QString::fromUtf8(m_syncToken));
    state.insert(QStringLiteral("items"), items);
    AtomicWrite(m_mirror->Location(), kStateFile, QJsonDocument(state).toJson(QJsonDocument::Compact));
    m_stateDirty = false;
}

void CalDavStore::Take(const QString& path, const QByteArray& data, const QByteArray& etag)
{
    const QString name = NameOf(path);
    const QString file = m_mirror->Describe(Mirrored(), name);
    bool same = false;
    if (StatFile(file)) {
        try {
            same = ReadWholeFile(file) == data;
        } catch (...) {
        }
    }
    if (!same)
        AtomicWrite(m_mirror->CollectionPath(Mirrored()), name, data);
    m_entries.insert(name, Entry{path, etag, KindOf(data)});
    m_names.insert(path, name);
    m_stateDirty = true;
}

void CalDavStore::Drop(const QString& path)
{
    const auto known = m_names.constFind(path);
    if (known == m_names.cend())
        return;
    const QString name = *known; // NOLINT(performance-unnecessary-copy-initialization): m_names loses it below
    m_mirror->Remove(Mirrored(), name, QByteArray());
    m_entries.remove(name);
    m_names.remove(path);
    m_stateDirty = true;
}

// ---------------------------------------------------------------- bringing the mirror up to date

void CalDavStore::Sync()
{
    QStringList changed;
    if (!SyncByToken(&changed)) {
        changed.clear();
        SyncByEtags(&changed);
    }
    QSet<QString> present;
    for (const ResourceInfo& info : m_mirror->List(Mirrored()))
        present.insert(info.name);
    // An item whose mirrored file is gone (someone cleaned the cache) is fetched again.
    const QSet<QString> asked(changed.cbegin(), changed.cend());
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (!present.contains(it.key()) && !asked.contains(it->href))
            changed << it->href;
    Fetch(changed);
    // Files that no record names (left by a run that ended between the two) are not the server's.
    for (const QString& name : present)
        if (!m_entries.contains(name))
            m_mirror->Remove(Mirrored(), name, QByteArray());
    SaveState();
}

bool CalDavStore::SyncByToken(QStringList* changed)
{
    const QString self = m_collection.path(QUrl::FullyDecoded);
    const bool initial = m_syncToken.isEmpty();
    QByteArray token = m_syncToken;
    QSet<QString> seen;
    QList<QString> gone;
    for (int round = 0; round < 100; ++round) {
        const dav::Request request{
            "REPORT", m_collection, dav::SyncCollection(token), "application/xml; charset=utf-8", {}};
        const dav::Reply reply = m_client->Send(request);
        if (reply.status == 0 || reply.status == 401)
            vb::Raise(vb::ErrCannotCreateObject, m_client->Describe(reply, m_collection));
        if (reply.status != 207) {
            // No sync-collection here, or a token the server no longer knows: compare ETags.
            qCInfo(lcCalDav) << "sync-collection answered" << reply.status << "- comparing ETags";
            m_syncToken.clear();
            return false;
        }
        dav::Multistatus ms;
        QString reason;
        if (!dav::ParseMultistatus(reply.body, &ms, &reason))
            return false;
        bool truncated = false;
        for (const dav::PropResponse& r : ms.responses) {
            const QString path = PathOf(r.href);
            if (path == self || path + QLatin1Char('/') == self) {
                truncated = truncated || r.status == 507;
                continue;
            }
            if (path.endsWith(QLatin1Char('/')))
                continue; // a collection inside: not an item
            if (r.status == 404) {
                gone << path;
                continue;
            }
            seen.insert(path);
            const auto known = m_names.constFind(path);
            if (known == m_names.cend() || r.etag.isEmpty() || m_entries.value(*known).etag != r.etag)
                *changed << path;
        }
        token = ms.syncToken;
        if (!truncated || token.isEmpty())
            break;
    }
    for (const QString& path : gone)
        Drop(path);
    if (initial) {
        // A first listing names every member: what the mirror holds beyond that is gone.
        const QList<QString> paths = m_names.keys();
        for (const QString& path : paths)
            if (!seen.contains(path))
                Drop(path);
    }
    m_syncToken = token;
    m_stateDirty = true;
    return true;
}

void CalDavStore::SyncByEtags(QStringList* changed)
{
    const QString self = m_collection.path(QUrl::FullyDecoded);
    const dav::Request request{
        "PROPFIND", m_collection, dav::PropfindEtags(), "application/xml; charset=utf-8", {{"Depth", "1"}}};
    const dav::Reply reply = m_client->Send(request);
    if (reply.status != 207)
        vb::Raise(vb::ErrCannotCreateObject, m_client->Describe(reply, m_collection));
    dav::Multistatus ms;
    QString reason;
    if (!dav::ParseMultistatus(reply.body, &ms, &reason))
        vb::Raise(
            vb::ErrCannotCreateObject,
            Words(Message::ServerBadAnswer).arg(dav::Client::ServerOf(m_collection), m_collection.path(), reason));
    QSet<QString> seen;
    for (const dav::PropResponse& r : ms.responses) {
        const QString path = PathOf(r.href);
        if (path == self || path + QLatin1Char('/') == self) {
            m_syncToken = r.syncToken;
            continue;
        }
        if (r.isCollection || path.endsWith(QLatin1Char('/')))
            continue;
        seen.insert(path);
        const auto known = m_names.constFind(path);
        if (known == m_names.cend() || r.etag.isEmpty() || m_entries.value(*known).etag != r.etag)
            *changed << path;
    }
    const QList<QString> paths = m_names.keys();
    for (const QString& path : paths)
        if (!seen.contains(path))
            Drop(path);
    m_stateDirty = true;
}

void CalDavStore::Fetch(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    struct Got {
        QString path;
        QByteArray data;
        QByteArray etag;
    };
    QList<Got> got;
    QStringList missing;
    QList<dav::Request> requests;
    for (qsizetype i = 0; i < paths.size(); i += kMultigetChunk) {
        QStringList hrefs;
        for (const QString& path : paths.mid(i, kMultigetChunk))
            hrefs << UrlOf(path).path(QUrl::FullyEncoded);
        requests << dav::Request{
            "REPORT", m_collection, dav::CalendarMultiget(hrefs), "application/xml; charset=utf-8", {{"Depth", "1"}}};
    }
    const QList<dav::Reply> replies = m_client->SendAll(requests);
    QSet<QString> answered;
    bool multigetWorks = true;
    for (const dav::Reply& reply : replies) {
        if (reply.status == 0 || reply.status == 401)
            vb::Raise(vb::ErrCannotCreateObject, m_client->Describe(reply, m_collection));
        dav::Multistatus ms;
        QString reason;
        if (reply.status != 207 || !dav::ParseMultistatus(reply.body, &ms, &reason)) {
            multigetWorks = false;
            break;
        }
        for (const dav::PropResponse& r : ms.responses) {
            const QString path = PathOf(r.href);
            answered.insert(path);
            if (r.status == 404)
                missing << path;
            else if (!r.calendarData.isEmpty())
                got << Got{path, r.calendarData, r.etag};
            else
                answered.remove(path);
        }
    }
    // What multiget did not give comes one GET at a time (several in flight).
    QStringList rest;
    for (const QString& path : paths)
        if (!multigetWorks || !answered.contains(path))
            rest << path;
    if (!multigetWorks)
        got.clear(), missing.clear();
    QList<dav::Request> gets;
    for (const QString& path : rest)
        gets << dav::Request{"GET", UrlOf(path), {}, {}, {}};
    const QList<dav::Reply> getReplies = m_client->SendAll(gets);
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const dav::Reply& reply = getReplies[i];
        if (reply.status == 404)
            missing << rest[i];
        else if (reply.ok())
            got << Got{rest[i], reply.body, reply.etag};
        else
            vb::Raise(vb::ErrCannotCreateObject, m_client->Describe(reply, UrlOf(rest[i])));
    }
    // Only once everything came: a failure above leaves the mirror as it was.
    for (const Got& g : got)
        Take(g.path, g.data, g.etag);
    for (const QString& path : missing)
        Drop(path);
}

// ---------------------------------------------------------------- the store

QList<ResourceInfo> CalDavStore::List(Collection collection)
{
    QList<ResourceInfo> list;
    list.reserve(m_entries.size());
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (it->kind == collection)
            list.append(ResourceInfo{it.key(), it->etag});
    return list;
}

QByteArray CalDavStore::Read(Collection collection, const QString& name, QByteArray* etag)
{
    WaitFor(name);
    const auto it = m_entries.constFind(name);
    if (it == m_entries.cend())
        vb::Raise(vb::ErrFileNotFound, Words(Message::ServerNotThere).arg(Describe(collection, name)));
    QByteArray data = m_mirror->Read(Mirrored(), name, nullptr);
    if (etag)
        *etag = it->etag;
    return data;
}

void CalDavStore::WaitFor(const QString& name)
{
    if (m_writing.contains(name))
        m_client->Wait([this, &name] { return !m_writing.contains(name); });
}

void CalDavStore::Commit()
{
    m_client->Wait([this] { return m_writing.isEmpty(); });
    SaveState();
}

QByteArray CalDavStore::Write(Collection collection, const QString& name, const QByteArray& data,
                              const QByteArray& ifMatch, WriteKind kind)
{
    std::optional<WriteOutcome> outcome;
    WriteLater(collection, name, data, ifMatch, [&outcome](const WriteOutcome& o) { outcome = o; }, kind);
    m_client->Wait([&outcome] { return outcome.has_value(); });
    if (!outcome)
        vb::Raise(vb::ErrDeviceIO, Words(Message::ServerNoAnswer).arg(Describe(collection, name)));
    if (!outcome->error.isEmpty())
        vb::Raise(outcome->number, outcome->error);
    return outcome->etag;
}

void CalDavStore::WriteLater(Collection collection, const QString& name, const QByteArray& data,
                             const QByteArray& ifMatch, const WriteDone& done, WriteKind kind)
{
    // An item goes to the server once at a time, and a new write waits for a place on the wire.
    WaitFor(name);
    m_client->Wait([this] { return m_client->Pending() < m_client->InFlight(); });
    const auto it = m_entries.constFind(name);
    const QString where = Describe(collection, name);
    if (ifMatch.isEmpty() && it != m_entries.cend())
        vb::Raise(ErrCalendar, Words(Message::ServerExists).arg(where));
    if (!ifMatch.isEmpty()) {
        if (it == m_entries.cend())
            vb::Raise(ErrCalendar, Words(Message::ServerRemoved).arg(where));
        if (it->etag != ifMatch)
            vb::Raise(ErrCalendar, Words(Message::ServerChanged).arg(where));
        // The item as it is on the server: nothing to send.
        bool same = false;
        if (kind == WriteKind::MaybeSame) {
            try {
                same = SameItem(m_mirror->Read(Mirrored(), name, nullptr), data);
            } catch (...) {
                // an unreadable mirror file: the server gets the item
            }
        }
        if (same) {
            done(WriteOutcome{ifMatch, 0, QString()});
            return;
        }
    }
    const QString path = it != m_entries.cend() ? it->href : m_collection.path(QUrl::FullyDecoded) + name;
    dav::Request put{"PUT", UrlOf(path), data, "text/calendar; charset=utf-8", {}};
    if (ifMatch.isEmpty())
        put.headers << qMakePair(QByteArray("If-None-Match"), QByteArray("*"));
    else
        put.headers << qMakePair(QByteArray("If-Match"), ifMatch);
    m_writing.insert(name);
    m_client->Post(put, [this, where, path, name, data, done](const dav::Reply& reply) {
        Written(where, path, name, data, reply, done);
    });
}

void CalDavStore::Written(const QString& where, const QString& path, const QString& name, const QByteArray& data,
                          const dav::Reply& reply, const WriteDone& done)
{
    const QUrl url = UrlOf(path);
    WriteOutcome outcome;
    try {
        if (reply.ok() && !reply.etag.isEmpty() && !reply.etag.startsWith("W/")) {
            // A strong ETag in the answer: the server keeps what we sent.
            m_names.insert(path, name);
            Take(path, data, reply.etag);
            outcome.etag = reply.etag;
        } else if (reply.ok() || reply.status == 412) {
            // The server changed what it stored, or another client changed the item: the mirror
            // takes the server's version.
            const bool accepted = reply.ok();
            m_client->Post(dav::Request{"GET", url, {}, {}, {}},
                           [this, where, path, name, data, url, accepted, done](const dav::Reply& get) {
                               WriteOutcome outcome;
                               try {
                                   if (get.status == 404 && !accepted) {
                                       Drop(path);
                                       outcome = {{}, ErrCalendar, Words(Message::ServerRemoved).arg(where)};
                                   } else if (!get.ok()) {
                                       outcome = {{}, vb::ErrDeviceIO, m_client->Describe(get, url)};
                                   } else {
                                       m_names.insert(path, name);
                                       Take(path, get.body, get.etag);
                                       // A retried request that had gone through, or another
                                       // client that made the same change.
                                       if (accepted || SameItem(get.body, data)) {
                                           outcome.etag = get.etag;
                                       } else {
                                           qCInfo(lcCalDav).noquote()
                                               << where << "changed on the server; kept as it is there";
                                           outcome = {{}, ErrCalendar, Words(Message::ServerChanged).arg(where)};
                                       }
                                   }
                               } catch (...) {
                                   const vb::ErrObject e = vb::CurrentError();
                                   outcome = {{}, e.Number(), e.Description()};
                               }
                               Settled(name, outcome, done);
                           });
            return;
        } else {
            outcome = {{}, vb::ErrDeviceIO, m_client->Describe(reply, url)};
        }
    } catch (...) {
        // The mirror refused the server's answer: the item is not done.
        const vb::ErrObject e = vb::CurrentError();
        outcome = {{}, e.Number(), e.Description()};
    }
    Settled(name, outcome, done);
}

void CalDavStore::Settled(const QString& name, const WriteOutcome& outcome, const WriteDone& done)
{
    m_writing.remove(name);
    done(outcome);
}

void CalDavStore::Remove(Collection collection, const QString& name, const QByteArray& ifMatch)
{
    WaitFor(name);
    const auto it = m_entries.constFind(name);
    if (it == m_entries.cend())
        return;
    const QString where = Describe(collection, name);
    const QString path = it->href;
    const QUrl url = UrlOf(path);
    if (!ifMatch.isEmpty() && it->etag != ifMatch)
        vb::Raise(ErrCalendar, Words(Message::ServerNotDeleted).arg(where));
    dav::Request request{"DELETE", url, {}, {}, {}};
    if (!ifMatch.isEmpty())
        request.headers << qMakePair(QByteArray("If-Match"), ifMatch);
    const dav::Reply reply = m_client->Send(request);
    if (reply.ok() || reply.status == 404) {
        Drop(path);
        return;
    }
    if (reply.status == 412) {
        const dav::Reply get = m_client->Send(dav::Request{"GET", url, {}, {}, {}});
        if (get.ok())
            Take(path, get.body, get.etag);
        else if (get.status == 404)
            Drop(path);
        vb::Raise(ErrCalendar, Words(Message::ServerNotDeleted).arg(where));
    }
    vb::Raise(vb::ErrDeviceIO, m_client->Describe(reply, url));
}

} // namespace cal::detail
