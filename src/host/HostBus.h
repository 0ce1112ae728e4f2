#pragma once
// Where a host finds Application on the D-Bus session bus.
#include <QDBusConnection>
#include <QString>

namespace host {

QString ServiceName();   // the well-known name: "org.almbro.Almbro"
QString ObjectPath();    // "/Application"
QString InterfaceName(); // "org.almbro.Almbro.Application"

enum class Published { Ok, NoBus, NameTaken };

struct PublishResult {
    Published outcome = Published::Ok;
    QString message; // what went wrong, for stderr
};

// Registers an Application (owned by the application object) at ObjectPath on connection and
// takes ServiceName, without queueing behind or replacing another owner. With the environment
// variable ALMBRO_TEST_INTERFACE set to 1 the object also carries the test interface.
[[nodiscard]] PublishResult PublishApplication(QDBusConnection connection);

} // namespace host
