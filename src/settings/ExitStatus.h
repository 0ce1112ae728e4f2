#pragma once
// The program's exit statuses, for schedulers and scripts.
#include <QString>

enum ExitStatus : int {
    ExitOk = 0,              // ended normally; an unattended run did every item it handled
    ExitError = 1,           // a run-time error ended the program or the transfer
    ExitNoDisplay = 2,       // a window was needed and there is no display
    ExitNoLanguageFile = 3,  // the language marker file is missing
    ExitProfileNotFound = 4, // the profile named on the command line does not exist
    ExitCannotOpen = 5,      // the booking database or the calendar could not be opened
    ExitIncomplete = 6,      // the run ended, but some items were not done, or nothing was transferred
    ExitBusy = 7,            // another run held the calendar or the database for longer than the wait
};

// A word for the log: "ok", "error", ...
inline QString ExitStatusName(int status)
{
    switch (status) {
    case ExitOk:
        return QStringLiteral("ok");
    case ExitError:
        return QStringLiteral("error");
    case ExitNoDisplay:
        return QStringLiteral("no-display");
    case ExitNoLanguageFile:
        return QStringLiteral("no-language-file");
    case ExitProfileNotFound:
        return QStringLiteral("profile-not-found");
    case ExitCannotOpen:
        return QStringLiteral("cannot-open");
    case ExitIncomplete:
        return QStringLiteral("incomplete");
    case ExitBusy:
        return QStringLiteral("busy");
    default:
        return QStringLiteral("status-") + QString::number(status);
    }
}
