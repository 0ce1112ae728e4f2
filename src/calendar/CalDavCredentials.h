#pragma once
// Where the CalDAV store finds a password and a server certificate. A password is kept in
// memory only: never in a message, a log line or a command line. Private to the calendar library.
#include <QList>
#include <QSslCertificate>
#include <QString>

namespace cal::detail::dav {

// The password of user on server (e.g. "https://cal.example.org:5232"): from the Secret
// Service when the session has one and it holds a password with the attributes
// service=almbro, server=<host>, user=<user>; else from the file ALMBRO_CALENDAR_PASSWORD_FILE
// or key "CalendarPasswordFile" of Planum.ini names, which must be the user's own and readable
// by the user alone (its first line is the password). Raises 429 with a message saying what
// to do when neither gives one, or when the file is readable by others.
QString LookUpPassword(const QString& host, const QString& user);

// The certificate(s) in the file ALMBRO_CALENDAR_CERTIFICATE or key "CalendarCertificate"
// names (PEM or DER): a self-signed server is trusted when it shows one of them. Nothing when
// no file is named; raises 429 when the named file holds no certificate.
QList<QSslCertificate> NamedCertificates();

} // namespace cal::detail::dav
