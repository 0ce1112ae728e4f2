// Calendar benchmark: a vdir calendar of 100,000 appointments (10% recurring), an export of
// 10,000 bookings through DuplicateAppointment then NewAppointment, the same export again (all
// updates), and opening the calendar plus listing one month as the import list does.
// Prints its figures; it is not a test.
//
//   bench_calendar [folder] [appointments] [exports] [only]
//
// Runs in its own temporary HOME/XDG folders (or under the given folder), never the user's.
// only = "list" or "reexport" repeats just that step on a folder an earlier full run kept (for
// profiling one step); "hostile" times inputs built to cost without bound instead.
#include "calendar/Calendar.h"
#include "outlook/COutLook.h"
#include "platform/Locale.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

#include "support/CalendarGenerator.h"

using benchsupport::Generate;
using benchsupport::PeakRssKb;

namespace {
QTextStream out(stdout);

AppointmentRec Record(int nyckel, int shiftHours)
{
    AppointmentRec rec;
    const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(8, 0)).addDays(nyckel % 365).addSecs(3600 * ((nyckel % 8) + shiftHours));
    rec.Start = vb::FormatShortDateTime(start);
    rec.End = vb::FormatShortDateTime(start.addSecs(5400));
    rec.Subject = QStringLiteral("Bokning %1").arg(nyckel);
    rec.Body = QStringLiteral("Resurs %1\r\nExporterad").arg(nyckel % 40);
    rec.Location = QStringLiteral("Sal %1").arg(nyckel % 12);
    rec.BillingInformation = rec.Mileage = rec.ReminderSoundFile = QString::number(100000 + nyckel);
    return rec;
}

// Processor time in seconds: of the calling thread (the export's own path: what a quiet
// machine's wall time comes to when the writer threads have a core), and of the whole process.
double ThreadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double ProcessCpu()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Export(int exports, int shiftHours, int* updated, int* created)
{
    bool ok = false;
    COutLook outlook(nullptr, ok);
    QElapsedTimer t;
    const double thread0 = ThreadCpu();
    const double process0 = ProcessCpu();
    t.start();
    *updated = *created = 0;
    for (int n = 1; n <= exports; ++n) {
        AppointmentRec rec = Record(n, shiftHours);
        if (outlook.DuplicateAppointment(rec, false))
            ++*updated;
        else if (outlook.NewAppointment(rec))
            ++*created;
    }
    // Done means on disk: the run's writes are flushed together before the time is taken.
    const qint64 beforeCommit = t.nsecsElapsed();
    outlook.Commit();
    const double seconds = t.nsecsElapsed() / 1e9;
    out << QStringLiteral("  (of which the closing flush of every written file and the folder: %1 s)\n")
               .arg((t.nsecsElapsed() - beforeCommit) / 1e9, 0, 'f', 2);
    out << QStringLiteral("  (processor time: %1 s on the exporting thread, %2 s in all threads)\n")
               .arg(ThreadCpu() - thread0, 0, 'f', 2)
               .arg(ProcessCpu() - process0, 0, 'f', 2);
    return seconds;
}
// Each hostile input alone in a fresh vdir: the time to open the calendar and list March 2026
// with the import list's filter (the input is listed or skipped with a reason).
int Hostile(const QString& root)
{
    const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n";
    const QByteArray zone =
        "BEGIN:VTIMEZONE\r\nTZID:Minutzon\r\nBEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=MINUTELY;BYSECOND=0\r\n"
        "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:16010101T000030\r\n"
        "RRULE:FREQ=MINUTELY;BYSECOND=30\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
    auto event = [](const QByteArray& start, const QByteArray& extra) {
        return "BEGIN:VEVENT\r\nUID:hostile\r\nDTSTART;" + start + "\r\nDURATION:PT1H\r\nSUMMARY:hostile\r\n" + extra +
               "END:VEVENT\r\n";
    };
    const QList<std::pair<QString, QByteArray>> inputs = {
        {QStringLiteral("VTIMEZONE changing every minute since 1601"), head + zone + event("TZID=Minutzon:20260305T100000", {})},
        {QStringLiteral("series every minute, forever"), head + event("TZID=Europe/Stockholm:20260101T000000", "RRULE:FREQ=MINUTELY\r\n")},
        {QStringLiteral("series every second, COUNT=1000000000"),
         head + event("TZID=Europe/Stockholm:20260101T000000", "RRULE:FREQ=SECONDLY;COUNT=1000000000\r\n")},
        {QStringLiteral("a 16 MB DESCRIPTION line"),
         head + event("TZID=Europe/Stockholm:20260305T100000", "DESCRIPTION:" + QByteArray(16 << 20, 'x') + "\r\n")},
    };
    int n = 0;
    for (const auto& [name, text] : inputs) {
        const QString store = root + QStringLiteral("/hostile-%1").arg(++n);
        QDir().mkpath(store + QStringLiteral("/Calendar"));
        QFile f(store + QStringLiteral("/Calendar/hostile.ics"));
        f.open(QIODevice::WriteOnly);
        f.write(text + "END:VCALENDAR\r\n");
        f.close();
        QElapsedTimer t;
        t.start();
        auto calendar = cal::Application::Create(store);
        cal::Items items = calendar->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items();
        items.Sort(QStringLiteral("[Start]"));
        items.SetIncludeRecurrences(true);
        int rows = 0;
        for (cal::Item i = items.Find(QStringLiteral("[Start] >= \"2026-03-01\" AND [End] <= \"2026-04-01\"")); i; i = items.FindNext())
            ++rows;
        const QStringList errors = calendar->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).LoadErrors();
        out << QStringLiteral("%1: %2 s, %3 rows, %4\n")
                   .arg(name)
                   .arg(t.nsecsElapsed() / 1e9, 0, 'f', 3)
                   .arg(rows)
                   .arg(errors.isEmpty() ? QStringLiteral("listed") : QStringLiteral("skipped: ") + errors.first().section(QLatin1String(": "), 1));
        calendar->Quit();
        out.flush();
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/almbro-bench-XXXXXX"));
    const QString root = argc > 1 && argv[1][0] ? QString::fromLocal8Bit(argv[1]) : temp.path();
    QDir().mkpath(root); // a calendar is made only in a folder that exists
    const int appointments = argc > 2 ? atoi(argv[2]) : 100000;
    const int exports = argc > 3 ? atoi(argv[3]) : 10000;
    const QString only = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    qputenv("HOME", (root + QStringLiteral("/home")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/home/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/home/.cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/home/.config")).toUtf8());
    qputenv("TZ", "Europe/Stockholm");
    const QString store = root + QStringLiteral("/calendar");
    qputenv("ALMBRO_CALENDAR", store.toUtf8());
    QCoreApplication app(argc, argv);
    vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden));

    if (only == QLatin1String("hostile"))
        return Hostile(root);
    const QByteArray vtimezone = benchsupport::OwnVTimezone(root + QStringLiteral("/template"));

    out << "Calendar benchmark: " << appointments << " appointments (10% recurring) in " << store << "\n";
    QElapsedTimer t;
    t.start();
    if (only.isEmpty()) {
        Generate(store + QStringLiteral("/Calendar"), appointments, vtimezone);
        out << QStringLiteral("generate (plain writes, not measured against a goal): %1 s\n").arg(t.nsecsElapsed() / 1e9, 0, 'f', 2);
        out.flush();

        {
            t.restart();
            auto calendar = cal::Application::Create(store);
            const int count = calendar->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items().Count();
            out << QStringLiteral("first open, no cache (parses every file): %1 s, %2 items\n")
                       .arg(t.nsecsElapsed() / 1e9, 0, 'f', 2)
                       .arg(count);
            calendar->Quit();
            out.flush();
        }

        {
            t.restart();
            auto calendar = cal::Application::Create(store);
            const int count = calendar->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items().Count();
            out << QStringLiteral("open with the cache: %1 s, %2 items\n").arg(t.nsecsElapsed() / 1e9, 0, 'f', 2).arg(count);
            calendar->Quit();
            out.flush();
        }
    }

    int updated = 0, created = 0;
    if (only.isEmpty()) {
        const double s = Export(exports, 0, &updated, &created);
        out << QStringLiteral("first export of %1 bookings: %2 s (%3 new, %4 updated)\n").arg(exports).arg(s, 0, 'f', 2).arg(created).arg(updated);
        out.flush();
    }
    if (only.isEmpty() || only == QLatin1String("reexport")) {
        // A repeated run moves the bookings by another hour than the run before it, so every
        // save is a change; the last shift is kept beside the calendar.
        int shift = 1;
        if (!only.isEmpty()) {
            QFile last(root + QStringLiteral("/reexport-shift"));
            const int before = last.open(QIODevice::ReadOnly) ? last.readAll().trimmed().toInt() : 1;
            last.close();
            shift = before >= 2 && before < 6 ? before + 1 : 2;
            if (last.open(QIODevice::WriteOnly | QIODevice::Truncate))
                last.write(QByteArray::number(shift));
        }
        const double s = Export(exports, shift, &updated, &created);
        out << QStringLiteral("re-export of %1 bookings: %2 s (%3 new, %4 updated)\n").arg(exports).arg(s, 0, 'f', 2).arg(created).arg(updated);
        out.flush();
    }

    {
        t.restart();
        bool ok = false;
        COutLook outlook(nullptr, ok);
        const QString filter = QStringLiteral("[Start] >= \"%1\" AND [End] <= \"%2\"")
                                   .arg(vb::FormatShortDate(QDate(2026, 3, 1)), vb::FormatShortDate(QDate(2026, 4, 1)));
        int rows = 0, planum = 0;
        qint64 firstRowNs = 0;
        for (AppointmentRec r = outlook.GetAppointment(filter, false); r.Body != COutLook::IngenTräff;
             r = outlook.GetAppointment(QString(), true)) {
            if (rows == 0)
                firstRowNs = t.nsecsElapsed();
            ++rows;
            if (!r.BillingInformation.isEmpty())
                ++planum;
        }
        out << QStringLiteral("open + list March 2026 through GetAppointment: %1 s, %2 rows (%3 from Planum); "
                              "first row after %4 s\n")
                   .arg(t.nsecsElapsed() / 1e9, 0, 'f', 2)
                   .arg(rows)
                   .arg(planum)
                   .arg(firstRowNs / 1e9, 0, 'f', 2);
    }
    out << QStringLiteral("peak resident memory: %1 MB\n").arg(PeakRssKb() / 1024.0, 0, 'f', 0);
    return 0;
}
