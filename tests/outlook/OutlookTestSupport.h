#pragma once
// What the COutLook tests share: a booking as the transfer run hands it over, the import list's
// filter and its walk.
#include "outlook/COutLook.h"
#include "platform/Locale.h"

namespace outlooktest {

// The verdict a COutLook's making sets, made before the COutLook that sets it.
struct OkFlag {
    bool ok = false;
};

// A COutLook made as a run makes one; ok tells whether the calendar opened.
struct Opened : OkFlag, COutLook {
    explicit Opened(const IDatumFönster* dates = nullptr, const IOutLookTexter* texter = nullptr)
        : COutLook(dates, ok, texter)
    {
    }
};

// A booking with its key in all three markers, as the transfer run writes one.
inline AppointmentRec Booking(int key, const QString& start, const QString& end,
                              const QString& subject = QStringLiteral("Bokning"))
{
    AppointmentRec rec;
    rec.Start = start;
    rec.End = end;
    rec.Subject = subject;
    rec.Body = QStringLiteral("Anteckning");
    rec.Location = QStringLiteral("Sal 1");
    rec.BillingInformation = rec.Mileage = rec.ReminderSoundFile = QString::number(key);
    return rec;
}

// The import list's filter for the days from..to: the end day plus one.
inline QString ImportFilter(const QDate& from, const QDate& to)
{
    return QStringLiteral("[Start] >= \"%1\" AND [End] <= \"%2\"")
        .arg(vb::FormatShortDate(from), vb::FormatShortDate(to.addDays(1)));
}

// The subjects a search and its find-next walk give, in their order.
inline QStringList Walk(COutLook& o, const QString& filter)
{
    QStringList out;
    AppointmentRec r = o.GetAppointment(filter, false);
    while (r.Body != COutLook::IngenTräff) {
        out << r.Subject;
        r = o.GetAppointment(QString(), true);
    }
    return out;
}

} // namespace outlooktest
