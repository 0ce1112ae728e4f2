#pragma once
// Every item in one .ics file, for people who subscribe to a single calendar file.
// Writes take a lock file, re-read the file if another program changed it since we read it,
// refuse to overwrite an item that changed there, and replace the file atomically.
#include "calendar/FileIo.h"
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
    QByteArray Write(Collection collection, const QString& name, const QByteArray& data,
                     const QByteArray& ifMatch) override;
    void Remove(Collection collection, const QString& name, const QByteArray& ifMatch) override;
    bool WantsSummaryCache() const override { return false; }

private:
    struct Entry {
        QByteArray data; // a VCALENDAR holding the item and the VTIMEZONEs it uses
        QByteArray etag;
    };
    void Reload(bool force);
    void Load(const QByteArray& text);
    QByteArray Compose() const;
    void Replace(Collection collection, const QString& name, const QByteArray* data, const QByteArray& ifMatch);

    QString m_path;
    std::optional<FileStamp> m_stamp; // of the file as last read; nothing when it did not exist
    QByteArray m_header;              // the calendar's own properties, kept as they were
    QHash<QString, Entry> m_entries[3];
    QStringList m_order[3]; // file order
};

} // namespace cal::detail
