#pragma once
// A vdir: one folder per collection, one .ics file per item, the layout khal and vdirsyncer use.
#include "calendar/FileIo.h"
#include "calendar/Store.h"

namespace cal::detail {

class VdirStore : public Store {
public:
    // A folder that holds .ics files is one collection, the calendar (no notes, no tasks).
    // Otherwise creates the root and the three collection folders when they are missing; raises
    // 429 naming the folder when that fails, the folder cannot be read, or the root's parent
    // folder does not exist.
    explicit VdirStore(const QString& root);
    ~VdirStore() override;
    VdirStore(const VdirStore&) = delete;
    VdirStore& operator=(const VdirStore&) = delete;

    QString Location() const override { return m_root; }
    QString Describe(Collection collection, const QString& name) const override;
    QList<ResourceInfo> List(Collection collection) override;
    QByteArray Read(Collection collection, const QString& name, QByteArray* etag) override;
    [[nodiscard]] QByteArray Write(Collection collection, const QString& name, const QByteArray& data,
                     const QByteArray& ifMatch, WriteKind kind = WriteKind::MaybeSame) override;
    void Remove(Collection collection, const QString& name, const QByteArray& ifMatch) override;
    // Checks the write at once (a refusal raises here, as Write's would); the file itself is
    // written on a thread of its own, and done hears how that ended at the latest in Commit,
    // on the caller's thread.
    void WriteLater(Collection collection, const QString& name, const QByteArray& data, const QByteArray& ifMatch,
                    const WriteDone& done, WriteKind kind = WriteKind::MaybeSame) override;
    void Settle(Collection collection, const QString& name) override;
    bool WantsSummaryCache() const override { return true; }
    bool ReadsInParallel() const override { return true; }
    // Each write is renamed into place as soon as it is made (WriteLater's on their own
    // threads); here the late writes' outcomes are told, then the files and their folder are
    // flushed together (also when the store is closed).
    void Commit() override;

    // Empty for notes and tasks of a single collection.
    QString CollectionPath(Collection collection) const;

private:
    // Raises when the write is refused; answers the etag kept when the item is the stored one.
    std::optional<QByteArray> Refused(Collection collection, const QString& name, const QByteArray& data,
                                      const QByteArray& ifMatch, WriteKind kind);
    // Waits for a write of the file still under way.
    void WaitFor(Collection collection, const QString& name);
    // Tells the late writes that have ended how they ended.
    void Answer();

    QString m_root;
    bool m_enkel = false; // one collection: the root is the calendar
    PendingWrites m_pending;
    // WriteLater's answers still owed, by ticket; the threads made on the first WriteLater.
    QHash<quint64, WriteDone> m_owed;
    std::unique_ptr<BackgroundWrites> m_background;
};

} // namespace cal::detail
