// libsecret pulls in GLib, whose headers use names Qt defines as macros: it comes first.
#include <libsecret/secret.h>

#include "calendar/CalDavCredentials.h"
#include "calendar/Words.h"

#include "calendar/Store.h"
#include "platform/ErrObject.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace cal::detail::dav {

namespace {
// A session bus to ask: without one, libsecret would try to start one.
bool HaveSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat st {};
    return !runtime.isEmpty() && ::stat(QFile::encodeName(runtime + QStringLiteral("/bus")).constData(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}

QString FromSecretService(const QString& host, const QString& user)
{
    if (!HaveSessionBus())
        return QString();
    static const SecretSchema schema = {"org.almbro.Calendar",
                                        SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    GError* error = nullptr;
    const QByteArray hostBytes = QUrl(host).host().toUtf8();
    const QByteArray userBytes = user.toUtf8();
    gchar* secret = secret_password_lookup_sync(&schema, nullptr, &error, "service", "almbro", "server",
                                                hostBytes.constData(), "user", userBytes.constData(), nullptr);
    if (error) {
        // No Secret Service in this session (or it is locked and will not open): the file is next.
        g_error_free(error);
        return QString();
    }
    if (!secret)
        return QString();
    QString password = QString::fromUtf8(secret);
    secret_password_free(secret);
    return password;
}

QString FromFile(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::stat(encoded.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        vb::Raise(
            vb::ErrCannotCreateObject,
            Words(Message::PasswordFileMissing).arg(path, QString::fromLocal8Bit(std::strerror(errno ? errno : ENOENT))));
    if (st.st_uid != ::getuid())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::PasswordFileNotOwn).arg(path));
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::PasswordFileOpen).arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::PasswordFileMissing).arg(path, file.errorString()));
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::PasswordFileEmpty).arg(path));
    return QString::fromUtf8(line);
}
} // namespace

QString LookUpPassword(const QString& host, const QString& user)
{
    QString secret = FromSecretService(host, user);
    if (!secret.isEmpty())
        return secret;
    const QString file = CalendarSetting("ALMBRO_CALENDAR_PASSWORD_FILE", QStringLiteral("CalendarPasswordFile"));
    if (!file.isEmpty())
        return FromFile(file);
    vb::Raise(vb::ErrCannotCreateObject, Words(Message::NoPassword).arg(user, host, QUrl(host).host()) + QLatin1Char(' ') +
                                                 Words(Message::NoPasswordFile));
}

QList<QSslCertificate> NamedCertificates()
{
    const QString path = CalendarSetting("ALMBRO_CALENDAR_CERTIFICATE", QStringLiteral("CalendarCertificate"));
    if (path.isEmpty())
        return {};
    QList<QSslCertificate> found = QSslCertificate::fromPath(path, QSsl::Pem);
    if (found.isEmpty())
        found = QSslCertificate::fromPath(path, QSsl::Der);
    if (found.isEmpty())
        vb::Raise(vb::ErrCannotCreateObject, Words(Message::NoCertificate).arg(path));
    return found;
}

} // namespace cal::detail::dav
