#include "host/HostBus.h"

#include "host/Application.h"
#include "host/ApplicationAdaptor.h"
#include "host/TestAdaptor.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>

namespace host {

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
            return {Published::NameTaken,
                    ServiceName() + QStringLiteral(" is already taken on the session bus")};
        return {Published::NoBus, QStringLiteral("cannot take ") + ServiceName() + QStringLiteral(": ") +
                                      reply.error().message()};
    }
    return {};
}

} // namespace host
