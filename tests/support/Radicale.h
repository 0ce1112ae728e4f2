#pragma once
// A real Radicale CalDAV server for one test: its own storage in a temporary folder, a free
// port on 127.0.0.1, optionally htpasswd authentication, and its log kept to count requests.
#include "support/TestEnv.h"
#include "support/TestServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>

#include <algorithm>

namespace testenv {

class Radicale : public TestServer {
public:
    // user/password: htpasswd authentication with this one user (plain text in the test's own
    // folder); empty: no authentication.
    explicit Radicale(const QString& folder, const QString& user = QString(), const QString& password = QString())
        : TestServer(folder), m_user(user), m_password(password)
    {
        QDir().mkpath(Folder() + QStringLiteral("/store/collection-root"));
    }

    // A calendar collection <owner>/<name>/ made in the storage before the server reads it.
    void AddCalendar(const QString& owner, const QString& name, const QString& displayName,
                     const QString& components = QStringLiteral("VEVENT,VJOURNAL,VTODO"))
    {
        const QString dir = QStringLiteral("store/collection-root/%1/%2").arg(owner, name);
        QDir().mkpath(Folder() + QLatin1Char('/') + dir);
        QVERIFY(WriteFile(dir + QStringLiteral("/.Radicale.props"),
                          QStringLiteral("{\"C:supported-calendar-component-set\": \"%1\", \"D:displayname\": \"%2\", "
                                         "\"tag\": \"VCALENDAR\"}")
                              .arg(components, displayName)
                              .toUtf8()));
    }

    // Serve https with a self-signed certificate for 127.0.0.1 made here; its PEM file's path.
    QString UseTls() { return MakeCertificate(QStringLiteral("server")); }

    // Behind a front server that authenticates: the user it names in X-Remote-User is the user,
    // who may reach only their own collections.
    void TrustFrontServer() { m_trustFront = true; }
    // The server dies (SIGKILL, from its own storage hook) right after its n-th write, before it
    // answers it: a server gone mid-run, at a moment a test can name. 0: it does not.
    void DieAfterWrites(int n) { m_dieAfter = n; }

    // Starts on a free port (the same one again after Stop); false when it does not answer.
    bool Start()
    {
        QStringList args{QStringLiteral("-m"),
                         QStringLiteral("radicale"),
                         QStringLiteral("--config"),
                         QString(),
                         QStringLiteral("--server-hosts"),
                         QStringLiteral("127.0.0.1:%1").arg(PickPort()),
                         QStringLiteral("--storage-filesystem-folder"),
                         Folder() + QStringLiteral("/store"),
                         QStringLiteral("--logging-level"),
                         QStringLiteral("info")};
        if (m_trustFront) {
            args << QStringLiteral("--auth-type") << QStringLiteral("http_x_remote_user")
                 << QStringLiteral("--rights-type") << QStringLiteral("owner_only");
        } else if (m_user.isEmpty()) {
            // Anyone may read and write everything.
            if (!WriteFile(QStringLiteral("rights"), "[all]\nuser: .*\ncollection: .*\npermissions: RrWw\n"))
                return false;
            args << QStringLiteral("--auth-type") << QStringLiteral("none") << QStringLiteral("--rights-type")
                 << QStringLiteral("from_file") << QStringLiteral("--rights-file")
                 << Folder() + QStringLiteral("/rights");
        } else {
            if (!WriteFile(QStringLiteral("users"),
                           (m_user + QLatin1Char(':') + m_password + QLatin1Char('\n')).toUtf8()))
                return false;
            args << QStringLiteral("--auth-type") << QStringLiteral("htpasswd")
                 << QStringLiteral("--auth-htpasswd-filename") << Folder() + QStringLiteral("/users")
                 << QStringLiteral("--auth-htpasswd-encryption") << QStringLiteral("plain")
                 << QStringLiteral("--rights-type") << QStringLiteral("owner_only");
        }
        if (m_dieAfter > 0)
            args << QStringLiteral("--storage-hook")
                 << QStringLiteral("n=$(( $(cat ../writes 2>/dev/null || echo 0) + 1 )); echo $n > ../writes; "
                                   "[ $n -lt %1 ] || kill -9 $PPID")
                        .arg(m_dieAfter);
        if (!Certificate().isEmpty())
            args << QStringLiteral("--ssl") << QStringLiteral("True") << QStringLiteral("--certificate")
                 << Certificate() << QStringLiteral("--key") << Key();
        return Launch(QStringLiteral("/usr/bin/python3"), args, QStringLiteral("radicale.log"));
    }

    // The collection's address, without user name.
    QString Url(const QString& owner, const QString& name) const
    {
        return Root() + owner + QLatin1Char('/') + name + QLatin1Char('/');
    }

    // The requests of one method the server logged so far ("PUT", "GET", "REPORT", ...).
    int Count(const QString& method) const
    {
        return int(ReadFile(QStringLiteral("radicale.log"))
                       .count(QRegularExpression(QStringLiteral("\\] %1 request for ").arg(method))));
    }

    // The most requests of one method the server was working on at one time: each is logged
    // when it comes in and again when it is answered.
    int MostAtOnce(const QString& method) const
    {
        int open = 0, most = 0;
        const QString came = QStringLiteral("] %1 request for ").arg(method);
        const QString went = QStringLiteral("] %1 response status for ").arg(method);
        for (const QString& line : ReadFile(QStringLiteral("radicale.log")).split(QLatin1Char('\n'))) {
            if (line.contains(came))
                most = std::max(most, ++open);
            else if (line.contains(went))
                --open;
        }
        return most;
    }

    // The .ics files the server stores in a collection, by name, with their contents.
    QMap<QString, QByteArray> Stored(const QString& owner, const QString& name) const
    {
        return Snapshot(Folder() + QStringLiteral("/store/collection-root/") + owner + QLatin1Char('/') + name);
    }

    // A plain HTTP request, as another client makes one; returns the status.
    int Http(const QByteArray& verb, const QString& url, const QByteArray& body = QByteArray(),
             QByteArray* answer = nullptr, QByteArray* etag = nullptr) const
    {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(url)};
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/calendar; charset=utf-8"));
        if (!m_user.isEmpty())
            request.setRawHeader("Authorization",
                                 "Basic " + (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64());
        QNetworkReply* reply = manager.sendCustomRequest(request, verb, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (answer)
            *answer = reply->readAll();
        if (etag)
            *etag = reply->rawHeader("ETag");
        reply->deleteLater();
        return status;
    }

private:
    QString m_user;
    QString m_password;
    bool m_trustFront = false;
    int m_dieAfter = 0;
};

} // namespace testenv
