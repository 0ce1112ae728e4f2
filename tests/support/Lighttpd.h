#pragma once
// A real lighttpd in front of a test's Radicale, for what Radicale does not do itself: HTTP
// Digest authentication (one user, in an htdigest file made here) and, if asked, TLS with a
// self-signed certificate made here (openssl). It runs in the test's folder on a free port on
// 127.0.0.1, in the foreground as a child of the test, and passes every request on to Radicale
// with the authenticated user in X-Remote-User.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace testenv {

class Lighttpd {
public:
    static QString Executable()
    {
        return QStandardPaths::findExecutable(QStringLiteral("lighttpd"), {QStringLiteral("/usr/sbin"),
                                                                           QStringLiteral("/usr/bin")});
    }

    Lighttpd(const QString& folder, quint16 backendPort, const QString& user, const QString& password,
             const QString& realm = QStringLiteral("Almbro test"))
        : m_folder(folder), m_backendPort(backendPort), m_user(user), m_password(password), m_realm(realm)
    {
        QDir().mkpath(m_folder + QStringLiteral("/www"));
    }
    ~Lighttpd() { Stop(); }

    // Serve https with a self-signed certificate for 127.0.0.1; its PEM file's path.
    QString UseTls()
    {
        m_certificate = m_folder + QStringLiteral("/front.pem");
        m_key = m_folder + QStringLiteral("/front.key");
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

    bool Start()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        // htdigest: user:realm:MD5(user:realm:password)
        QFile users(m_folder + QStringLiteral("/htdigest"));
        if (!users.open(QIODevice::WriteOnly))
            return false;
        const QByteArray ha1 =
            QCryptographicHash::hash((m_user + QLatin1Char(':') + m_realm + QLatin1Char(':') + m_password).toUtf8(),
                                     QCryptographicHash::Md5)
                .toHex();
        users.write((m_user + QLatin1Char(':') + m_realm + QLatin1Char(':')).toUtf8() + ha1 + '\n');
        users.close();
        QString modules = QStringLiteral("\"mod_auth\", \"mod_authn_file\", \"mod_setenv\", \"mod_proxy\", "
                                         "\"mod_accesslog\"");
        QString tls;
        if (!m_certificate.isEmpty()) {
            modules += QStringLiteral(", \"mod_openssl\"");
            tls = QStringLiteral("ssl.engine = \"enable\"\nssl.pemfile = \"%1\"\nssl.privkey = \"%2\"\n")
                      .arg(m_certificate, m_key);
        }
        const QString config =
            QStringLiteral("server.modules = (%1)\n"
                           "server.document-root = \"%2/www\"\n"
                           "server.bind = \"127.0.0.1\"\n"
                           "server.port = %3\n"
                           "server.errorlog = \"%2/lighttpd-error.log\"\n"
                           "accesslog.filename = \"%2/lighttpd-access.log\"\n"
                           "auth.backend = \"htdigest\"\n"
                           "auth.backend.htdigest.userfile = \"%2/htdigest\"\n"
                           "auth.require = ( \"/\" => ( \"method\" => \"digest\", \"realm\" => \"%4\", "
                           "\"require\" => \"valid-user\" ) )\n"
                           "setenv.add-request-header = ( \"X-Remote-User\" => \"%5\" )\n"
                           "proxy.server = ( \"\" => ( ( \"host\" => \"127.0.0.1\", \"port\" => %6 ) ) )\n"
                           "%7")
                .arg(modules, m_folder)
                .arg(m_port)
                .arg(m_realm, m_user)
                .arg(m_backendPort)
                .arg(tls);
        QFile conf(m_folder + QStringLiteral("/lighttpd.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(config.toUtf8());
        conf.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_folder + QStringLiteral("/lighttpd.out"), QIODevice::Append);
        m_process->start(Executable(), {QStringLiteral("-D"), QStringLiteral("-f"), conf.fileName()});
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

    // The requests the front server answered with this status, from its access log.
    int Count(int status) const
    {
        QFile log(m_folder + QStringLiteral("/lighttpd-access.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        const QString text = QString::fromUtf8(log.readAll());
        return int(text.count(QRegularExpression(QStringLiteral("\" %1 ").arg(status))));
    }

private:
    QString m_folder;
    quint16 m_backendPort = 0;
    QString m_user;
    QString m_password;
    QString m_realm;
    QString m_certificate;
    QString m_key;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};

} // namespace testenv
