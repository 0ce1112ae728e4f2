// Lists the calendar's appointments between two days through COutLook, one line per item:
// start|end|subject|booking number. A separate process, so a test can read back what another
// process wrote.
#include "outlook/COutLook.h"
#include "platform/Locale.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden));
    const QDate from = QDate::fromString(QString::fromLatin1(argv[1]), Qt::ISODate);
    const QDate to = QDate::fromString(QString::fromLatin1(argv[2]), Qt::ISODate);
    bool ok = false;
    COutLook outlook(nullptr, ok);
    if (!ok)
        return 1;
    QTextStream out(stdout);
    const QString filter = QStringLiteral("[Start] >= \"%1\" AND [End] <= \"%2\"")
                               .arg(vb::FormatShortDate(from), vb::FormatShortDate(to.addDays(1)));
    for (AppointmentRec r = outlook.GetAppointment(filter, false); r.Body != COutLook::IngenTräff;
         r = outlook.GetAppointment(QString(), true))
        out << r.Start << '|' << r.End << '|' << r.Subject << '|' << r.BillingInformation << '\n';
    return 0;
}
