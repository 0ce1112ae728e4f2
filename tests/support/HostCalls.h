#pragma once
// Calls to a running Almbro on a session bus, as a host makes them, and the folders such a run
// needs: language files and Planum.ini in a documents folder.
#include "support/TestEnv.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace testenv {

inline const QString kService = QStringLiteral("org.almbro.Almbro");
inline const QString kPath = QStringLiteral("/Application");
inline const QString kApplication = QStringLiteral("org.almbro.Almbro.Application");
inline const QString kTest = QStringLiteral("org.almbro.Almbro.Test");

inline QDBusMessage CallAlmbro(const QDBusConnection& bus, const QString& interface, const QString& method,
                               const QVariantList& args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(args);
    return QDBusConnection(bus).call(message, QDBus::Block, 60000);
}

// The one answer of a call, or an empty variant after an error (printed).
inline QVariant Answer(const QDBusMessage& reply, int index = 0)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() <= index) {
        qWarning("%s: %s", qPrintable(reply.errorName()), qPrintable(reply.errorMessage()));
        return {};
    }
    return reply.arguments().at(index);
}

// Starts a session bus daemon of its own with env (XDG_DATA_DIRS says where it looks for
// service files; programs it starts get env too); gives its address, empty when it did not start.
inline QString StartBusDaemon(QProcess& daemon, const QProcessEnvironment& env)
{
    daemon.setProcessEnvironment(env);
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted())
        return {};
    QByteArray address;
    while (!address.contains('\n') && daemon.waitForReadyRead(30000))
        address += daemon.readAllStandardOutput();
    return QString::fromUtf8(address.trimmed());
}

// Planum.ini naming the language code and a database; with languageFrom, the language files
// are copied beside it.
inline void WritePlanumFolder(const QString& folder, const QString& database, const QString& languageFrom = {})
{
    QDir().mkpath(folder);
    if (!languageFrom.isEmpty())
        WithLanguageFiles(folder, languageFrom);
    QFile ini(folder + QStringLiteral("/Planum.ini"));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(ini.fileName()));
    ini.write("[System]\nLang=EN\nDataBas1=" + database.toUtf8() + "\n");
}

} // namespace testenv
