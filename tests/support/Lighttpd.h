#pragma once
// A real lighttpd in front of a test's Radicale, for what Radicale does not do itself: HTTP
// Digest authentication (one user, in an htdigest file made here) and, if asked, TLS with a
// self-signed certificate made here (openssl). It runs in the test's folder on a free port on
// 127.0.0.1, in the foreground as a child of the test, and passes every request on to Radicale
// with the authenticated user in X-Remote-User.
#include "support/TestServer.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStandardPaths>

namespace testenv {

class Lighttpd : public TestServer {
public:
    static QString Executable()
    {
        return QStandardPaths::findExecutable(QStringLiteral("lighttpd"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    }

    Lighttpd(const QString& folder, quint16 backendPort, const QString& user, const QString& password,
             const QString& realm = QStringLiteral("Almbro test"))
        : TestServer(folder), m_backendPort(backendPort), m_user(user), m_password(password), m_realm(realm)
    {
        QDir().mkpath(Folder() + QStringLiteral("/www"));
    }

    // Serve https with a self-signed certificate for 127.0.0.1; its PEM file's path.
    QString UseTls() { return MakeCertificate(QStringLiteral("front")); }

    bool Start()
    {
        // htdigest: user:realm:MD5(user:realm:password)
        const QByteArray ha1 =
            QCryptographicHash::hash((m_user + QLatin1Char(':') + m_realm + QLatin1Char(':') + m_password).toUtf8(),
                                     QCryptographicHash::Md5)
                .toHex();
        if (!WriteFile(QStringLiteral("htdigest"),
                       (m_user + QLatin1Char(':') + m_realm + QLatin1Char(':')).toUtf8() + ha1 + '\n'))
            return false;
        QString modules = QStringLiteral("\"mod_auth\", \"mod_authn_file\", \"mod_setenv\", \"mod_proxy\", "
                                         "\"mod_accesslog\"");
        QString tls;
        if (!Certificate().isEmpty()) {
            modules += QStringLiteral(", \"mod_openssl\"");
            tls = QStringLiteral("ssl.engine = \"enable\"\nssl.pemfile = \"%1\"\nssl.privkey = \"%2\"\n")
                      .arg(Certificate(), Key());
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
                .arg(modules, Folder())
                .arg(PickPort())
                .arg(m_realm, m_user)
                .arg(m_backendPort)
                .arg(tls);
        return WriteFile(QStringLiteral("lighttpd.conf"), config.toUtf8()) &&
               Launch(Executable(),
                      {QStringLiteral("-D"), QStringLiteral("-f"), Folder() + QStringLiteral("/lighttpd.conf")},
                      QStringLiteral("lighttpd.out"));
    }

    // The requests the front server answered with this status, from its access log.
    int Count(int status) const
    {
        return int(ReadFile(QStringLiteral("lighttpd-access.log"))
                       .count(QRegularExpression(QStringLiteral("\" %1 ").arg(status))));
    }

private:
    quint16 m_backendPort = 0;
    QString m_user;
    QString m_password;
    QString m_realm;
};

} // namespace testenv
