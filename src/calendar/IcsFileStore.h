#pragma once
// Every item in one .ics file, for people who subscribe to a single calendar file.
// Writes take a lock file, re-read the file if another program changed it since we read it,
// refuse to overwrite an item that changed there, and replace the file atomically. A write
// changes the bytes of its own item only (its components, and a VTIMEZONE it needs that the
// file lacks): other programs' items, the calendar's own lines, and the file's line breaks
// stay exactly as they were.
#include "calendar/FileIo.h"
#include "calendar/RawIcs.h"
#include "calendar/Store.h"

#include <QHash>
#include <optional>

namespace cal::detail {

class IcsFileStore : public Store {
public:
    // Raises 429 naming the file when it exists but cannot be read or is not iCalendar, or when
    // its folder cannot be made. A missing file is made on the first write.
    explicit IcsFileStore(const QString& path);

    QString Location() const override { return m_path; }
    QString Describe(Collection collection, const QString& name) const override;
    QList<ResourceInfo> List(Collection collection) override;
    QByteArray Read(Collection collection, const QString& name, QByteArray* etag) override;
    [[nodiscard]] QByteArray Write(Collection collection, const QString& name, const QByteArray& data,
                     const QByteArray& ifMatch, WriteKind kind = WriteKind::MaybeSame) override;
    void Remove(Collection collection, const QString& name, const QByteArray& ifMatch) override;
    bool WantsSummaryCache() const override { return false; }

private:
    struct Entry {
        QList<qsizetype> components; // indexes into m_split.components, file order
        QByteArray data;             // a VCALENDAR holding the item and the VTIMEZONEs it uses
        QByteArray etag;
    };
    void Reload(bool force);
    void Load(const QByteArray& input);
    QByteArray EntryData(const QList<qsizetype>& components, QByteArray* etag) const;
    void Replace(Collection collection, const QString& name, const QByteArray* data, const QByteArray& ifMatch);

    QString m_path;
    std::optional<FileStamp> m_stamp; // of the file as last read; nothing when it did not exist
    // The file as last read, and where its parts are: a save replaces the bytes of one item
    // and leaves every other byte as it was.
    QByteArray m_text;
    RawCalendar m_split;
    QHash<QString, Entry> m_entries[3];
    QStringList m_order[3]; // file order
};

} // namespace cal::detail
