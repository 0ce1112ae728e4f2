#include "booking/DBPost.h"
#include "booking/BookingErrors.h"

namespace booking {

QString PostTextName(PostText which)
{
    static const std::array<QString, kPostTextCount> names = {
        QStringLiteral("Bokningsnr"),
        QStringLiteral("Telefon"),
        QStringLiteral("Beställare"),
        QStringLiteral("Märke"),
        QStringLiteral("Beställningsnummer"),
        QStringLiteral("Beställningsdatum"),
        QStringLiteral("Leverans_postadress"),
        QStringLiteral("Leveransadress"),
        QStringLiteral("Kundnamn"),
        QStringLiteral("Dokument"),
        QStringLiteral("Följesedelsnr"),
        QStringLiteral("Notering"),
    };
    return names[std::size_t(which)];
}

void DBPost::Antal(qint32 v)
{
    if (v < 0)
        vb::Raise(vb::ErrInvalidProcedureCall, texts::MustNotBeNegative(QStringLiteral("Antal"), v));
    m_antal = v;
}

void DBPost::Typ(qint32 v)
{
    if (v != TypKund && v != TypIntern && v != TypFrånvaro)
        vb::Raise(vb::ErrInvalidProcedureCall,
                  texts::MustBeOneOf(QStringLiteral("Typ"), QStringLiteral("0, 1 eller 2"), v));
    m_typ = v;
}

QStringList Skillnader(const DBPost& före, const DBPost& efter)
{
    QStringList changed;
    for (int i = 0; i < kPostTextCount; ++i)
        if (före.Text(PostText(i)) != efter.Text(PostText(i)))
            changed << PostTextName(PostText(i));
    const auto differs = [&](bool d, const char* name) {
        if (d)
            changed << QLatin1String(name);
    };
    differs(före.StartTid() != efter.StartTid(), "StartTid");
    differs(före.SlutTid() != efter.SlutTid(), "SlutTid");
    differs(före.PersonID() != efter.PersonID(), "PersonID");
    differs(före.ExtraPersonID() != efter.ExtraPersonID(), "ExtraPersonID");
    differs(före.Antal() != efter.Antal(), "Antal");
    differs(före.Typ() != efter.Typ(), "Typ");
    differs(före.Status() != efter.Status(), "Status");
    differs(före.Aktiv() != efter.Aktiv(), "Aktiv");
    differs(före.Betalningsvillkor() != efter.Betalningsvillkor(), "Betalningsvillkor");
    differs(före.Minuter() != efter.Minuter(), "Minuter");
    return changed;
}

} // namespace booking
