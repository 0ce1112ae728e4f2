#pragma once
// A CalDAV calendar collection, mirrored into a vdir under $XDG_CACHE_HOME/almbro/caldav/.
// Opening brings the mirror up to date (sync-collection, else a comparison of ETags); reads
// come from the mirror; every write goes to the server first, on the condition that the item
// is still the version we read (If-Match, or If-None-Match: * for a new one), and the mirror
// takes only what the server accepted. An item another client changed is read again and not
// overwritten. The three collections share the server's one calendar collection: each lists
// the items of its own kind (events, journal entries, to-dos).
#include "calendar/Store.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QUrl>
#include <memory>

namespace cal::detail {

class VdirStore;
namespace dav {
class Client;
struct Reply;
}

class CalDavStore : public Store {
public:
    // Finds the collection, opens the mirror and brings it up to date. Raises 429 naming the
    // server and the cause when any of that fails; the mirror is then as it was.
    explicit CalDavStore(const QString& location);
    ~CalDavStore() override;
    CalDavStore(const CalDavStore&) = delete;
    CalDavStore& operator=(const CalDavStore&) = delete;

    QString Location() const override { return m_location; }
    QString Describe(Collection collection, const QString& name) const override;
    QList<ResourceInfo> List(Collection collection) override;
    QByteArray Read(Collection collection, const QString& name, QByteArray* etag) override;
    [[nodiscard]] QByteArray Write(Collection collection, const QString& name, const QByteArray& data,
                     const QByteArray& ifMatch, WriteKind kind = WriteKind::MaybeSame) override;
    void Remove(Collection collection, const QString& name, const QByteArray& ifMatch) override;
    // Sends the PUT and returns while it is under way: a batch of saves keeps several on the
    // wire. Waits only when every place is taken, or for an earlier write of the same item.
    void WriteLater(Collection collection, const QString& name, const QByteArray& data, const QByteArray& ifMatch,
                    const WriteDone& done, WriteKind kind = WriteKind::MaybeSame) override;
    // Waits for every write under way, then keeps the mirror's record.
    void Commit() override;
    bool WantsSummaryCache() const override { return true; }

    // The collection found, the mirror's folder and the requests sent so far.
    QUrl CollectionUrl() const { return m_collection; }
    QString MirrorRoot() const;
    qint64 RequestCount() const;
    // The most requests that were on the wire at one time.
    int MostAtOnce() const;

private:
    struct Entry {
        QString href; // the path on the server, decoded
        QByteArray etag;
        Collection kind = Collection::Calendar;
    };
    void Sync();
    bool SyncByToken(QStringList* changed);
    void SyncByEtags(QStringList* changed);
    void Fetch(const QStringList& paths);
    void Take(const QString& path, const QByteArray& data, const QByteArray& etag);
    void Drop(const QString& path);
    void LoadState();
    void SaveState();
    QString NameOf(const QString& path) const;
    QUrl UrlOf(const QString& path) const;
    QString PathOf(const QString& href) const;
    void Written(const QString& where, const QString& path, const QString& name, const QByteArray& data,
                 const dav::Reply& reply, const WriteDone& done);
    void Settled(const QString& name, const WriteOutcome& outcome, const WriteDone& done);
    void WaitFor(const QString& name);

    QString m_location;
    QUrl m_collection;
    std::unique_ptr<dav::Client> m_client;
    std::unique_ptr<VdirStore> m_mirror;
    QMap<QString, Entry> m_entries;  // by name, in name order
    QHash<QString, QString> m_names; // path -> name
    QByteArray m_syncToken;
    bool m_stateDirty = false;
    QSet<QString> m_writing; // names with a write under way
};

} // namespace cal::detail
