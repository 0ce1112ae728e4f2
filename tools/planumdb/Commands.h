#pragma once
// The commands of planumdb:
//   planumdb init PATH
//   planumdb seed PATH [--resources N] [--bookings M] [--from DATE] [--days D] [--seed S] [--if-missing]
//   planumdb list PATH [--from DATE] [--to DATE] [--resource N]
//   planumdb info PATH
//   planumdb demo [--ini FILE] [--db PATH]
// A path that is not a booking database makes every command fail with a message and a
// non-zero status, and the file is left as it was. PATH may be a postgresql:// location.
#include <QStringList>
#include <QTextStream>

namespace planumdb {

enum ExitStatus : int {
    ExitOk = 0,
    ExitUsage = 1,     // a wrong command line
    ExitNotUsable = 2, // the path is not a booking database this program can use
    ExitFailed = 3,    // the database failed while working (locked, disk full, ...)
};

// Runs one command (the arguments after the program name), writing to out and err.
int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

QString UsageText();

} // namespace planumdb
