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
    bool WantsSummaryCache() const override { return true; }
    bool ReadsInParallel() const override { return true; }
    // Each write is renamed into place at once; the files and their folder are flushed together
    // here (and when the store is closed).
    void Commit() override;

    // Empty for notes and tasks of a single collection.
    QString CollectionPath(Collection collection) const;

private:
    QString m_root;
    bool m_enkel = false; // one collection: the root is the calendar
    PendingWrites m_pending;
};

} // namespace cal::detail
