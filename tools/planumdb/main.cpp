#include "planumdb/Commands.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // Without TZ the C library looks at /etc/localtime again for every local time it works
    // out, and a seed works out millions; the same zone named once is read once.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = planumdb::Run(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
