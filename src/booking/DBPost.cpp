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

} // namespace booking
