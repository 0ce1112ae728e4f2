#pragma once
// WebDAV and CalDAV XML: the request bodies we send and a reader for the multistatus answers
// (RFC 4918, 4791, 5397, 6578). Private to the calendar library.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace cal::detail::dav {

// One <response> of a multistatus: the properties found (status 200) for one href.
struct PropResponse {
    QString href;              // as the server wrote it, percent-encoded
    int status = 200;          // the response's own status (404 for a member gone, in a sync report)
    QByteArray etag;           // getetag, quotes kept
    bool isCollection = false; // resourcetype
    bool isCalendar = false;
    QString displayName;
    QStringList components;   // supported-calendar-component-set; empty when not given
    QString principal;        // current-user-principal href
    QStringList calendarHome; // calendar-home-set hrefs
    QByteArray calendarData;  // calendar-data (a calendar-multiget or a GET-free listing)
    QByteArray syncToken;     // sync-token as a property
};

struct Multistatus {
    QList<PropResponse> responses;
    QByteArray syncToken; // the report's own sync-token (sync-collection)
};

// Parses a 207 body. Returns false with a reason when it is not a multistatus.
bool ParseMultistatus(const QByteArray& body, Multistatus* out, QString* reason);

// True when an error body names the precondition (e.g. "valid-sync-token").
bool NamesPrecondition(const QByteArray& body, const QString& name);

// PROPFIND for discovery: resource type, display name, home set, components, and the current
// user's principal when asked (some servers answer that question only to a user who logged in).
QByteArray PropfindDiscovery(bool principal);
// PROPFIND Depth 1 for a collection's members: etag and resource type, plus the sync token.
QByteArray PropfindEtags();
// REPORT sync-collection from token (empty: the initial sync), asking for etags.
QByteArray SyncCollection(const QByteArray& token);
// REPORT calendar-multiget for these hrefs (as the server names them), asking for etag and data.
QByteArray CalendarMultiget(const QStringList& hrefs);

} // namespace cal::detail::dav
