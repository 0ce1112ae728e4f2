#include "calendar/CalDavDiscovery.h"

#include "calendar/CalDavXml.h"
#include "calendar/Words.h"
#include "platform/ErrObject.h"

namespace cal::detail::dav {

namespace {
QUrl WithSlash(QUrl url)
{
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        url.setPath(path + QLatin1Char('/'));
    return url;
}

QString LastSegment(const QUrl& url)
{
    const QString path = url.path(QUrl::FullyDecoded);
    return path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}

// PROPFIND with the discovery properties. Nothing when the resource is not there (404, 405):
// the caller tries elsewhere.
bool Ask(Client& client, const QUrl& url, int depth, Multistatus* out, int* status = nullptr, bool principal = true)
{
    Request request{"PROPFIND",
                    url,
                    PropfindDiscovery(principal),
                    "application/xml; charset=utf-8",
                    {{"Depth", QByteArray::number(depth)}}};
    const Reply reply = client.Send(request);
    if (status)
        *status = reply.status;
    if (reply.status == 404 || reply.status == 405 || reply.status == 501)
        return false;
    if (reply.status != 207)
        vb::Raise(vb::ErrCannotCreateObject, client.Describe(reply, url));
    QString reason;
    if (!ParseMultistatus(reply.body, out, &reason))
        vb::Raise(vb::ErrCannotCreateObject,
                  Words(Message::ServerNotDav).arg(Client::ServerOf(url), url.path(), reason));
    return true;
}

// The response about url itself (servers answer with their own spelling of the path).
const PropResponse* Self(const Multistatus& ms, const QUrl& url)
{
    const QString want = WithSlash(url).path(QUrl::FullyDecoded);
    for (const PropResponse& r : ms.responses)
        if (WithSlash(url.resolved(QUrl(r.href))).path(QUrl::FullyDecoded) == want)
            return &r;
    return ms.responses.isEmpty() ? nullptr : &ms.responses.first();
}

bool HoldsEvents(const PropResponse& r)
{
    return r.components.isEmpty() || r.components.contains(QStringLiteral("VEVENT"));
}
} // namespace

QUrl FindCalendar(Client& client, const QUrl& start, const QString& wanted)
{
    const QString server = Client::ServerOf(start);
    QUrl home;
    {
        // First without the principal: a calendar's own address needs no more, even where only
        // a logged-in user may ask who is logged in.
        Multistatus first;
        if (Ask(client, start, 0, &first, nullptr, false)) {
            const PropResponse* self = Self(first, start);
            if (self && self->isCalendar)
                return WithSlash(start);
        }
        Multistatus ms;
        if (Ask(client, start, 0, &ms)) {
            const PropResponse* self = Self(ms, start);
            if (self && !self->calendarHome.isEmpty())
                home = start.resolved(QUrl(self->calendarHome.first()));
            else if (self && !self->principal.isEmpty()) {
                const QUrl principal = start.resolved(QUrl(self->principal));
                Multistatus pm;
                if (Ask(client, principal, 0, &pm)) {
                    const PropResponse* p = Self(pm, principal);
                    if (p && !p->calendarHome.isEmpty())
                        home = principal.resolved(QUrl(p->calendarHome.first()));
                }
            }
        }
        if (home.isEmpty() && start.path(QUrl::FullyDecoded).size() <= 1) {
            // A bare server address: the well-known place leads to the principal.
            QUrl wellKnown = start;
            wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
            Multistatus wm;
            if (Ask(client, wellKnown, 0, &wm)) {
                const PropResponse* w = wm.responses.isEmpty() ? nullptr : &wm.responses.first();
                if (w && !w->calendarHome.isEmpty())
                    home = wellKnown.resolved(QUrl(w->calendarHome.first()));
                else if (w && !w->principal.isEmpty()) {
                    const QUrl principal = wellKnown.resolved(QUrl(w->principal));
                    Multistatus pm;
                    if (Ask(client, principal, 0, &pm)) {
                        const PropResponse* p = Self(pm, principal);
                        if (p && !p->calendarHome.isEmpty())
                            home = principal.resolved(QUrl(p->calendarHome.first()));
                    }
                }
            }
        }
    }
    // Without a home set the address itself may hold the calendars.
    if (home.isEmpty())
        home = start;
    home = WithSlash(home);
    home.setFragment(QString());
    Multistatus members;
    int status = 0;
    if (!Ask(client, home, 1, &members, &status, false))
        vb::Raise(vb::ErrCannotCreateObject, client.Describe(Reply{status, {}, {}, {}}, home));
    QStringList names;
    const QString homePath = home.path(QUrl::FullyDecoded);
    for (const PropResponse& r : members.responses) {
        QUrl url = WithSlash(home.resolved(QUrl(r.href)));
        if (!r.isCalendar || url.path(QUrl::FullyDecoded) == homePath)
            continue;
        const QString segment = LastSegment(url);
        names << (r.displayName.isEmpty() ? segment : r.displayName);
        if (wanted.isEmpty() ? HoldsEvents(r) : (r.displayName == wanted || segment == wanted))
            return url;
    }
    if (!wanted.isEmpty())
        vb::Raise(vb::ErrCannotCreateObject,
                  Words(Message::ServerNoNamed).arg(
                      server, wanted, names.isEmpty() ? Words(Message::NoneOfThem) : names.join(QStringLiteral(", "))));
    vb::Raise(vb::ErrCannotCreateObject, Words(Message::ServerNoCalendar).arg(server, home.path()));
}

} // namespace cal::detail::dav
