#include "planumdb/Commands.h"
#include "platform/Locale.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    vb::HoldLocalZone(); // a seed works out millions of local times
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = planumdb::Run(QCoreApplication::arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
