#include "calendar/CalDavXml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace cal::detail::dav {

namespace {
const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

bool Is(const QXmlStreamReader& xml, const QString& ns, const char* name)
{
    return xml.namespaceUri() == ns && xml.name() == QLatin1String(name);
}

// "HTTP/1.1 404 Not Found" -> 404
int StatusOf(const QString& line)
{
    const QStringList parts = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

// The hrefs directly inside the current element (current-user-principal, calendar-home-set).
QStringList ReadHrefs(QXmlStreamReader& xml)
{
    QStringList hrefs;
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "href"))
            hrefs << xml.readElementText().trimmed();
        else
            xml.skipCurrentElement();
    }
    return hrefs;
}

void ReadProp(QXmlStreamReader& xml, PropResponse& r)
{
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "getetag")) {
            r.etag = xml.readElementText().trimmed().toUtf8();
        } else if (Is(xml, kDav, "displayname")) {
            r.displayName = xml.readElementText().trimmed();
        } else if (Is(xml, kDav, "sync-token")) {
            r.syncToken = xml.readElementText().trimmed().toUtf8();
        } else if (Is(xml, kCalDav, "calendar-data")) {
            r.calendarData = xml.readElementText().toUtf8();
        } else if (Is(xml, kDav, "resourcetype")) {
            while (xml.readNextStartElement()) {
                if (Is(xml, kDav, "collection"))
                    r.isCollection = true;
                else if (Is(xml, kCalDav, "calendar"))
                    r.isCalendar = true;
                xml.skipCurrentElement();
            }
        } else if (Is(xml, kCalDav, "supported-calendar-component-set")) {
            while (xml.readNextStartElement()) {
                if (Is(xml, kCalDav, "comp"))
                    r.components << xml.attributes().value(QStringLiteral("name")).toString().toUpper();
                xml.skipCurrentElement();
            }
        } else if (Is(xml, kDav, "current-user-principal")) {
            const QStringList hrefs = ReadHrefs(xml);
            if (!hrefs.isEmpty())
                r.principal = hrefs.first();
        } else if (Is(xml, kCalDav, "calendar-home-set")) {
            r.calendarHome = ReadHrefs(xml);
        } else {
            xml.skipCurrentElement();
        }
    }
}

void ReadResponse(QXmlStreamReader& xml, PropResponse& r)
{
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "href")) {
            r.href = xml.readElementText().trimmed();
        } else if (Is(xml, kDav, "status")) {
            r.status = StatusOf(xml.readElementText());
        } else if (Is(xml, kDav, "propstat")) {
            // Properties the server could not give come in a propstat of their own (404):
            // only those of a 2xx propstat count.
            PropResponse found;
            int status = 200;
            while (xml.readNextStartElement()) {
                if (Is(xml, kDav, "prop"))
                    ReadProp(xml, found);
                else if (Is(xml, kDav, "status"))
                    status = StatusOf(xml.readElementText());
                else
                    xml.skipCurrentElement();
            }
            if (status >= 200 && status < 300) {
                if (!found.etag.isEmpty())
                    r.etag = found.etag;
                r.isCollection = r.isCollection || found.isCollection;
                r.isCalendar = r.isCalendar || found.isCalendar;
                if (!found.displayName.isEmpty())
                    r.displayName = found.displayName;
                if (!found.components.isEmpty())
                    r.components = found.components;
                if (!found.principal.isEmpty())
                    r.principal = found.principal;
                if (!found.calendarHome.isEmpty())
                    r.calendarHome = found.calendarHome;
                if (!found.calendarData.isEmpty())
                    r.calendarData = found.calendarData;
                if (!found.syncToken.isEmpty())
                    r.syncToken = found.syncToken;
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

void Start(QXmlStreamWriter& w, const char* root)
{
    w.writeStartDocument();
    w.writeNamespace(kDav, QStringLiteral("d"));
    w.writeNamespace(kCalDav, QStringLiteral("c"));
    const QString name = QString::fromLatin1(root);
    const int colon = int(name.indexOf(QLatin1Char(':')));
    w.writeStartElement(name.startsWith(QLatin1String("c:")) ? kCalDav : kDav, name.mid(colon + 1));
}
} // namespace

bool ParseMultistatus(const QByteArray& body, Multistatus* out, QString* reason)
{
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || !Is(xml, kDav, "multistatus")) {
        *reason = xml.hasError() ? xml.errorString() : QStringLiteral("the answer is not a WebDAV multistatus");
        return false;
    }
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "response")) {
            PropResponse r;
            ReadResponse(xml, r);
            if (!r.href.isEmpty())
                out->responses << r;
        } else if (Is(xml, kDav, "sync-token")) {
            out->syncToken = xml.readElementText().trimmed().toUtf8();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError()) {
        *reason = xml.errorString();
        return false;
    }
    return true;
}

bool NamesPrecondition(const QByteArray& body, const QString& name)
{
    QXmlStreamReader xml(body);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == name)
            return true;
    }
    return false;
}

QByteArray PropfindDiscovery(bool principal)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    Start(w, "d:propfind");
    w.writeStartElement(kDav, QStringLiteral("prop"));
    w.writeEmptyElement(kDav, QStringLiteral("resourcetype"));
    w.writeEmptyElement(kDav, QStringLiteral("displayname"));
    if (principal)
        w.writeEmptyElement(kDav, QStringLiteral("current-user-principal"));
    w.writeEmptyElement(kCalDav, QStringLiteral("calendar-home-set"));
    w.writeEmptyElement(kCalDav, QStringLiteral("supported-calendar-component-set"));
    w.writeEndDocument();
    return out;
}

QByteArray PropfindEtags()
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    Start(w, "d:propfind");
    w.writeStartElement(kDav, QStringLiteral("prop"));
    w.writeEmptyElement(kDav, QStringLiteral("resourcetype"));
    w.writeEmptyElement(kDav, QStringLiteral("getetag"));
    w.writeEmptyElement(kDav, QStringLiteral("sync-token"));
    w.writeEndDocument();
    return out;
}

QByteArray SyncCollection(const QByteArray& token)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    Start(w, "d:sync-collection");
    w.writeTextElement(kDav, QStringLiteral("sync-token"), QString::fromUtf8(token));
    w.writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
    w.writeStartElement(kDav, QStringLiteral("prop"));
    w.writeEmptyElement(kDav, QStringLiteral("getetag"));
    w.writeEndDocument();
    return out;
}

QByteArray CalendarMultiget(const QStringList& hrefs)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    Start(w, "c:calendar-multiget");
    w.writeStartElement(kDav, QStringLiteral("prop"));
    w.writeEmptyElement(kDav, QStringLiteral("getetag"));
    w.writeEmptyElement(kCalDav, QStringLiteral("calendar-data"));
    w.writeEndElement();
    for (const QString& href : hrefs)
        w.writeTextElement(kDav, QStringLiteral("href"), href);
    w.writeEndDocument();
    return out;
}

} // namespace cal::detail::dav
