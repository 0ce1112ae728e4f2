#include "booking/BookingErrors.h"

namespace booking {

QString texts::Description(long number)
{
    switch (number) {
    case ErrNoCurrentRecord: return QStringLiteral("Ingen aktuell post");
    case ErrReadOnly: return QStringLiteral("Databasen är öppnad skrivskyddad");
    case ErrDiskIO: return QStringLiteral("Disk- eller nätverksfel");
    case ErrDamaged: return QStringLiteral("Databasfilen är skadad eller inte en Planum-databas");
    case ErrDatabaseExists: return QStringLiteral("Databasen finns redan");
    case ErrLocked: return QStringLiteral("Databasen är låst av ett annat program");
    case ErrNoSuchField: return QStringLiteral("Fältet finns inte i posten");
    case ErrDatabase: return QStringLiteral("Databasfel");
    case ErrNotOpen: return QStringLiteral("Ingen databas är öppen");
    case ErrDriverMissing: return QStringLiteral("Databasdrivrutinen saknas");
    default: return vb::DefaultDescription(number);
    }
}

QString texts::NamelessResource(qint32 id)
{
    return QStringLiteral("(Namnlös resurs %1)").arg(id);
}

QString texts::OpenResultText(qint32 result)
{
    switch (result) {
    case Öppnad: return QStringLiteral("Databasen är öppen");
    case IngenSökväg: return QStringLiteral("Ingen databas är angiven");
    case FilSaknas: return QStringLiteral("Databasfilen finns inte");
    case InteDatabas: return QStringLiteral("Filen är inte en databas");
    case AnnanDatabas: return QStringLiteral("Filen är en databas för ett annat program, inte en Planum-databas");
    case NyareVersion: return QStringLiteral("Databasen är av en nyare version än programmet kan läsa");
    case KanInteÖppna: return QStringLiteral("Databasen kan inte öppnas");
    case EjTillgänglig: return QStringLiteral("Den sortens databas kan inte öppnas av den här versionen");
    default: return QStringLiteral("Okänt svar %1").arg(result);
    }
}

void RaiseBooking(long number, const QString& detail)
{
    QString description = texts::Description(number);
    if (!detail.isEmpty())
        description += QStringLiteral(": ") + detail;
    vb::Raise(number, description);
}

} // namespace booking
