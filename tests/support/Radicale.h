#pragma once
// A real Radicale CalDAV server for one test: its own storage in a temporary folder, a free
// port on 127.0.0.1, optionally htpasswd authentication, and its log kept to count requests.
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace testenv {

class Radicale {
public:
    // user/password: htpasswd authentication with this one user (plain text in the test's own
    // folder); empty: no authentication.
    explicit Radicale(const QString& folder, const QString& user = QString(), const QString& password = QString())
        : m_folder(folder), m_user(user), m_password(password)
    {
        QDir().mkpath(m_folder + QStringLiteral("/store/collection-root"));
    }
    ~Radicale() { Stop(); }

    // A calendar collection <owner>/<name>/ made in the storage before the server reads it.
    void AddCalendar(const QString& owner, const QString& name, const QString& displayName,
                     const QString& components = QStringLiteral("VEVENT,VJOURNAL,VTODO"))
    {
        const QString dir = m_folder + QStringLiteral("/store/collection-root/") + owner + QLatin1Char('/') + name;
        QDir().mkpath(dir);
        QFile props(dir + QStringLiteral("/.Radicale.props"));
        QVERIFY(props.open(QIODevice::WriteOnly));
        props.write(QStringLiteral("{\"C:supported-calendar-component-set\": \"%1\", \"D:displayname\": \"%2\", "
                                   "\"tag\": \"VCALENDAR\"}")
                        .arg(components, displayName)
                        .toUtf8());
    }

    // Serve https with a self-signed certificate for 127.0.0.1 made here (openssl); its PEM
    // file's path.
    QString UseTls()
    {
        m_certificate = m_folder + QStringLiteral("/server.pem");
        m_key = m_folder + QStringLiteral("/server.key");
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                       QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                       QStringLiteral("-keyout"), m_key, QStringLiteral("-out"), m_certificate});
        openssl.waitForFinished(60000);
        return m_certificate;
    }

    // Behind a front server that authenticates: the user it names in X-Remote-User is the user,
    // who may reach only their own collections.
    void TrustFrontServer() { m_trustFront = true; }
    quint16 Port() const { return m_port; }
    // The server dies (SIGKILL, from its own storage hook) right after its n-th write, before it
    // answers it: a server gone mid-run, at a moment a test can name. 0: it does not.
    void DieAfterWrites(int n) { m_dieAfter = n; }

    // Starts on a free port (the same one again after Stop); false when it does not answer.
    bool Start()
    {
        if (m_port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
        }
        QStringList args{QStringLiteral("-m"),
                         QStringLiteral("radicale"),
                         QStringLiteral("--config"),
                         QString(),
                         QStringLiteral("--server-hosts"),
                         QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("--storage-filesystem-folder"),
                         m_folder + QStringLiteral("/store"),
                         QStringLiteral("--logging-level"),
                         QStringLiteral("info")};
        if (m_trustFront) {
            args << QStringLiteral("--auth-type") << QStringLiteral("http_x_remote_user")
                 << QStringLiteral("--rights-type") << QStringLiteral("owner_only");
        } else if (m_user.isEmpty()) {
            // Anyone may read and write everything.
            QFile rights(m_folder + QStringLiteral("/rights"));
            if (!rights.open(QIODevice::WriteOnly))
                return false;
            rights.write("[all]\nuser: .*\ncollection: .*\npermissions: RrWw\n");
            rights.close();
            args << QStringLiteral("--auth-type") << QStringLiteral("none") << QStringLiteral("--rights-type")
                 << QStringLiteral("from_file") << QStringLiteral("--rights-file") << rights.fileName();
        } else {
            QFile users(m_folder + QStringLiteral("/users"));
            if (!users.open(QIODevice::WriteOnly))
                return false;
            users.write((m_user + QLatin1Char(':') + m_password + QLatin1Char('\n')).toUtf8());
            users.close();
            args << QStringLiteral("--auth-type") << QStringLiteral("htpasswd")
                 << QStringLiteral("--auth-htpasswd-filename") << users.fileName()
                 << QStringLiteral("--auth-htpasswd-encryption") << QStringLiteral("plain")
                 << QStringLiteral("--rights-type") << QStringLiteral("owner_only");
        }
        if (m_dieAfter > 0)
            args << QStringLiteral("--storage-hook")
                 << QStringLiteral("n=$(( $(cat ../writes 2>/dev/null || echo 0) + 1 )); echo $n > ../writes; "
                                   "[ $n -lt %1 ] || kill -9 $PPID")
                        .arg(m_dieAfter);
        if (!m_certificate.isEmpty())
            args << QStringLiteral("--ssl") << QStringLiteral("True") << QStringLiteral("--certificate")
                 << m_certificate << QStringLiteral("--key") << m_key;
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_folder + QStringLiteral("/radicale.log"), QIODevice::Append);
        m_process->start(QStringLiteral("/usr/bin/python3"), args);
        if (!m_process->waitForStarted(10000))
            return false;
        for (int i = 0; i < 200; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return true;
            if (m_process->state() != QProcess::Running)
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    void Stop()
    {
        if (!m_process)
            return;
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
        m_process.reset();
    }

    QString Root() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/")
            .arg(m_certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
            .arg(m_port);
    }
    // The collection's address, without user name.
    QString Url(const QString& owner, const QString& name) const
    {
        return Root() + owner + QLatin1Char('/') + name + QLatin1Char('/');
    }

    // The requests of one method the server logged so far ("PUT", "GET", "REPORT", ...).
    int Count(const QString& method) const
    {
        QFile log(m_folder + QStringLiteral("/radicale.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        const QString text = QString::fromUtf8(log.readAll());
        return int(text.count(QRegularExpression(QStringLiteral("\\] %1 request for ").arg(method))));
    }

    // The most requests of one method the server was working on at one time: each is logged
    // when it comes in and again when it is answered.
    int MostAtOnce(const QString& method) const
    {
        QFile log(m_folder + QStringLiteral("/radicale.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        int open = 0, most = 0;
        const QString came = QStringLiteral("] %1 request for ").arg(method);
        const QString went = QStringLiteral("] %1 response status for ").arg(method);
        for (const QString& line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'))) {
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
        QMap<QString, QByteArray> out;
        const QDir dir(m_folder + QStringLiteral("/store/collection-root/") + owner + QLatin1Char('/') + name);
        for (const QString& file : dir.entryList({QStringLiteral("*.ics")}, QDir::Files)) {
            QFile f(dir.filePath(file));
            if (f.open(QIODevice::ReadOnly))
                out.insert(file, f.readAll());
        }
        return out;
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
    QString m_folder;
    QString m_user;
    QString m_password;
    QString m_certificate;
    QString m_key;
    quint16 m_port = 0;
    bool m_trustFront = false;
    int m_dieAfter = 0;
    std::unique_ptr<QProcess> m_process;
};

} // namespace testenv
