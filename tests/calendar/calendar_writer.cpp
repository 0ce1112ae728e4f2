// Exports "bookings" into the calendar at argv[1] as the export does (the appointment with the
// booking's number is updated, else a new one is made), with large bodies, until it is killed
// or, with argv[2], for that many bookings; the run's writes are then made durable together.
// A test kills it in the middle of a save, then runs it again to the end.
#include "calendar/Calendar.h"

#include <QCoreApplication>
#include <QDateTime>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const long bookings = argc > 2 ? std::atol(argv[2]) : -1;
    auto calendar = cal::Application::Create(QString::fromLocal8Bit(argv[1]));
    cal::Items items = calendar->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(cal::olFolderCalendar).Items();
    const QString body(200000, QLatin1Char('x'));
    for (long i = 0; bookings < 0 || i < bookings; ++i) {
        cal::Item item = items.Find(QStringLiteral("[BillingInformation] = \"%1\"").arg(i));
        if (!item) {
            item = calendar->CreateItem(cal::olAppointmentItem);
            item.SetBillingInformation(QString::number(i));
        }
        item.SetStart(QDateTime(QDate(2026, 1, 1), QTime(8, 0)).addSecs(qint64(i) * 3600));
        item.SetSubject(QString::number(i));
        item.SetBody(body);
        item.Save();
    }
    calendar->Commit();
    calendar->Quit();
    return 0;
}
