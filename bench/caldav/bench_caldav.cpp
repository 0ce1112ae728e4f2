// An export of bookings through COutLook into a CalDAV collection on a local Radicale server,
// then the same export unchanged: times, and the requests the server logged by method.
// Usage: bench_caldav [bookings=500]; ALMBRO_CALENDAR_REQUESTS sets the writes at once (1 to 6).
#include "outlook/COutLook.h"
#include "platform/Locale.h"
#include "support/Radicale.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {
QTextStream out(stdout);
const QStringList kMethods{"PROPFIND", "REPORT", "GET", "PUT", "DELETE"};

AppointmentRec Booking(int key)
{
    const QDateTime start(QDate(2026, 3, 2).addDays(key % 28), QTime(7, 0).addSecs(900 * (key / 28)));
    AppointmentRec rec;
    rec.Start = start.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    rec.End = start.addSecs(900).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    rec.Subject = QStringLiteral("Kund %1").arg(key % 300);
    rec.Body = QStringLiteral("Bokning %1\r\nrad två").arg(key);
    rec.Location = QStringLiteral("Gatan %1").arg(key % 70);
    rec.BillingInformation = rec.Mileage = rec.ReminderSoundFile = QString::number(100000 + key);
    return rec;
}

QMap<QString, int> Counts(const testenv::Radicale& server)
{
    QMap<QString, int> counts;
    for (const QString& m : kMethods)
        counts[m] = server.Count(m);
    return counts;
}

void Run(const QString& title, testenv::Radicale& server, int bookings)
{
    const QMap<QString, int> before = Counts(server);
    QElapsedTimer total;
    total.start();
    bool ok = false;
    qint64 opened = 0;
    int done = 0;
    {
        COutLook o(nullptr, ok);
        opened = total.elapsed();
        for (int key = 0; key < bookings; ++key) {
            AppointmentRec rec = Booking(key);
            AppointmentRec again = rec;
            done += o.DuplicateAppointment(again, false) || o.NewAppointment(rec);
        }
        // As the transfer run ends: the writes still under way are answered here.
        o.Commit();
        done -= int(o.EjSparade().size());
    }
    const qint64 ms = total.elapsed();
    const QMap<QString, int> after = Counts(server);
    QStringList requests;
    int sum = 0;
    for (const QString& m : kMethods) {
        requests << QStringLiteral("%1 %2").arg(m).arg(after[m] - before[m]);
        sum += after[m] - before[m];
    }
    out << QStringLiteral("| %1 | %2 / %3 | %4 s | %5 s | %6 (%7) |")
               .arg(title)
               .arg(done)
               .arg(bookings)
               .arg(ms / 1000.0, 0, 'f', 2)
               .arg(opened / 1000.0, 0, 'f', 2)
               .arg(sum)
               .arg(requests.join(QStringLiteral(", ")))
        << Qt::endl;
}
} // namespace

int main(int argc, char** argv)
{
    testenv::SetUpTemporaryHome();
    qputenv("TZ", "Europe/Stockholm");
    QCoreApplication app(argc, argv);
    vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden));
    const int bookings = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 500;
    testenv::Radicale server(testenv::Root() + QStringLiteral("/radicale"));
    server.AddCalendar(QStringLiteral("planum"), QStringLiteral("bookings"), QStringLiteral("Bokningar"));
    if (!server.Start()) {
        out << "Radicale did not start" << Qt::endl;
        return 1;
    }
    qputenv("ALMBRO_CALENDAR", server.Url(QStringLiteral("planum"), QStringLiteral("bookings")).toUtf8());
    out << "| run | done | time | of which opening | requests logged by the server |" << Qt::endl;
    out << "|---|---|---|---|---|" << Qt::endl;
    Run(QStringLiteral("first export into an empty collection"), server, bookings);
    Run(QStringLiteral("the same export again, unchanged"), server, bookings);
    // A fresh mirror: the collection read anew (sync-collection and calendar-multiget).
    QDir(qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/almbro")).removeRecursively();
    Run(QStringLiteral("unchanged, with an empty mirror"), server, bookings);
    out << "most PUTs the server worked on at once: " << server.MostAtOnce(QStringLiteral("PUT")) << Qt::endl;
    server.Stop();
    return 0;
}
