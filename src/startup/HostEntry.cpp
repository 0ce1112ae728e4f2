#include "startup/HostEntry.h"

#include "host/HostBus.h"
#include "platform/Program.h"
#include "settings/ExitStatus.h"

#include <cstdio>

void StartHostEntry()
{
    const host::PublishResult result = host::PublishApplication(QDBusConnection::sessionBus());
    switch (result.outcome) {
    case host::Published::Ok:
        std::fprintf(stderr, "almbro: started by a host: %s %s waits for its call.\n", qPrintable(host::ServiceName()),
                     qPrintable(host::ObjectPath()));
        return;
    case host::Published::NameTaken:
        // The running one answers the host; a second would show a second wizard.
        std::fprintf(stderr, "almbro: %s; another Almbro serves the host, this one ends.\n",
                     qPrintable(result.message));
        vb::EndProgram(ExitOk);
        return;
    case host::Published::NoBus:
        std::fprintf(stderr, "almbro: %s\n", qPrintable(result.message));
        vb::EndProgram(ExitError);
        return;
    }
}
