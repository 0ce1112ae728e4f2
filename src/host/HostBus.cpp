#include "host/HostBus.h"

#include "host/Application.h"
#include "host/ApplicationAdaptor.h"
#include "host/TestAdaptor.h"

#include "platform/Program.h"
#include "settings/ExitStatus.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QWidget>
#include <cstdio>

namespace host {

namespace {
// A run that still waits for the host's call when the bus goes away can never be called: it
// ends. Once the wizard is shown the person at it decides.
class BusWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public slots:
    void Disconnected() // NOLINT(readability-convert-member-functions-to-static): a slot
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                return;
        std::fprintf(stderr, "almbro: the session bus is gone before the host called; this run ends.\n");
        vb::EndProgram(ExitOk);
    }
};
} // namespace

QString ServiceName()
{
    return QStringLiteral("org.almbro.Almbro");
}

QString ObjectPath()
{
    return QStringLiteral("/Application");
}

QString InterfaceName()
{
    return QStringLiteral("org.almbro.Almbro.Application");
}

PublishResult PublishApplication(QDBusConnection connection)
{
    if (!connection.isConnected())
        return {Published::NoBus, QStringLiteral("no D-Bus session bus: ") + connection.lastError().message()};
    QDBusConnectionInterface* bus = connection.interface();
    if (bus->isServiceRegistered(ServiceName()))
        return {Published::NameTaken, ServiceName() + QStringLiteral(" is already taken on the session bus")};

    auto* application = new Application(QCoreApplication::instance());
    new ApplicationAdaptor(application);
    if (qEnvironmentVariable("ALMBRO_TEST_INTERFACE") == QLatin1String("1"))
        new TestAdaptor(application);
    if (!connection.registerObject(ObjectPath(), application, QDBusConnection::ExportAdaptors)) {
        delete application;
        return {Published::NoBus, QStringLiteral("cannot register ") + ObjectPath() + QStringLiteral(": ") +
                                      connection.lastError().message()};
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus->registerService(
        ServiceName(), QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        connection.unregisterObject(ObjectPath());
        delete application;
        // Another start took the name between the look and the request.
        if (reply.isValid())
            return {Published::NameTaken, ServiceName() + QStringLiteral(" is already taken on the session bus")};
        return {Published::NoBus,
                QStringLiteral("cannot take ") + ServiceName() + QStringLiteral(": ") + reply.error().message()};
    }
    connection.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                       QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                       new BusWatch(application), SLOT(Disconnected()));
    return {};
}

} // namespace host

#include "HostBus.moc"
