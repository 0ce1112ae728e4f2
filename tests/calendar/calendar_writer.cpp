// Saves appointments with large bodies into the calendar at argv[1] until it is killed, so a
// test can kill it in the middle of a save.
#include "calendar/Calendar.h"

#include <QCoreApplication>
#include <QDateTime>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    auto calendar = cal::Application::Create(QString::fromLocal8Bit(argv[1]));
    const QString body(200000, QLatin1Char('x'));
    for (int i = 0;; ++i) {
        cal::Item item = calendar->CreateItem(cal::olAppointmentItem);
        item.SetStart(QDateTime(QDate(2026, 1, 1), QTime(8, 0)).addSecs(qint64(i) * 3600));
        item.SetSubject(QString::number(i));
        item.SetBody(body);
        item.Save();
    }
}
