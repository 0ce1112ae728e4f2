#include "booking/BookingErrors.h"

namespace booking {

QString texts::Description(long number)
{
    switch (number) {
    case ErrNoCurrentRecord:
        return QStringLiteral("Ingen aktuell post");
    case ErrReadOnly:
        return QStringLiteral("Databasen är öppnad skrivskyddad");
    case ErrDiskIO:
        return QStringLiteral("Disk- eller nätverksfel");
    case ErrDamaged:
        return QStringLiteral("Databasfilen är skadad eller inte en Planum-databas");
    case ErrDatabaseExists:
        return QStringLiteral("Databasen finns redan");
    case ErrLocked:
        return QStringLiteral("Databasen är låst av ett annat program");
    case ErrNoSuchField:
        return QStringLiteral("Fältet finns inte i posten");
    case ErrDatabase:
        return QStringLiteral("Databasfel");
    case ErrNotOpen:
        return QStringLiteral("Ingen databas är öppen");
    case ErrDriverMissing:
        return QStringLiteral("Databasdrivrutinen saknas");
    default:
        return vb::DefaultDescription(number);
    }
}

QString texts::NamelessResource(qint32 id)
{
    return QStringLiteral("(Namnlös resurs %1)").arg(id);
}

QString texts::OpenResultText(qint32 result)
{
    switch (result) {
    case Öppnad:
        return QStringLiteral("Databasen är öppen");
    case IngenSökväg:
        return QStringLiteral("Ingen databas är angiven");
    case FilSaknas:
        return QStringLiteral("Databasfilen finns inte");
    case InteDatabas:
        return QStringLiteral("Filen är inte en databas");
    case AnnanDatabas:
        return QStringLiteral("Filen är en databas för ett annat program, inte en Planum-databas");
    case NyareVersion:
        return QStringLiteral("Databasen är av en nyare version än programmet kan läsa");
    case KanInteÖppna:
        return QStringLiteral("Databasen kan inte öppnas");
    case EjTillgänglig:
        return QStringLiteral("Den sortens databas kan inte öppnas av den här versionen");
    default:
        return QStringLiteral("Okänt svar %1").arg(result);
    }
}

QString texts::LockedBy(const QString& description, const QStringList& holders)
{
    if (holders.isEmpty())
        return description;
    const QString head = Description(ErrLocked);
    const QString who = QStringLiteral(" (%1)").arg(holders.join(QStringLiteral("; ")));
    return description.startsWith(head) ? QString(description).insert(head.size(), who) : description + who;
}

QString texts::NotADate(const QString& what)
{
    return QStringLiteral("Type mismatch: %1 är inget datum").arg(what);
}

QString texts::NotABookingNumber(const QString& text)
{
    return QStringLiteral("Type mismatch: \"%1\" är inget bokningsnummer").arg(text);
}

QString texts::YearOutOfRange(int year)
{
    return QStringLiteral("Årtalet %1 ligger utanför 1-9999").arg(year);
}

QString texts::EndBeforeStart(const QString& end, const QString& start)
{
    return QStringLiteral("Sluttiden %1 ligger före starttiden %2").arg(end, start);
}

QString texts::MustBeOneOf(const QString& name, const QString& allowed, qint32 value)
{
    return QStringLiteral("%1 ska vara %2, inte %3").arg(name, allowed).arg(value);
}

QString texts::MustNotBeNegative(const QString& name, qint32 value)
{
    return QStringLiteral("%1 kan inte vara negativt (%2)").arg(name).arg(value);
}

QString texts::RecordsetClosed()
{
    return QStringLiteral("postmängden är stängd");
}

QString texts::PathNotFound(const QString& path)
{
    return QStringLiteral("Path not found: \"%1\"").arg(path);
}

QString texts::PermissionDenied(const QString& why)
{
    return QStringLiteral("Permission denied: %1").arg(why);
}

QString texts::SchemaVersion(qint64 version)
{
    return QStringLiteral("version %1").arg(version);
}

QString texts::NeedsUpgradeReadOnly(qint64 version)
{
    return QStringLiteral("version %1 behöver uppgraderas och filen är öppnad skrivskyddad").arg(version);
}

QString texts::NotAServerAddress(const QString& why)
{
    return QStringLiteral("adressen till databasservern går inte att läsa (%1)").arg(why);
}

QString texts::PasswordInLocation()
{
    return QStringLiteral("adressen får inte innehålla något lösenord; lägg lösenordet i ~/.pgpass, "
                          "PGPASSFILE eller en tjänstefil");
}

QString texts::MissingParts(const QStringList& parts)
{
    return QStringLiteral("databasen saknar %1").arg(parts.join(QStringLiteral(", ")));
}

QString texts::NoBookingTables(const QString& location)
{
    return QStringLiteral("%1 har inga Planum-tabeller").arg(location);
}

QString texts::ConnectionLost(const QString& location, const QString& why)
{
    const QString text =
        QStringLiteral("förbindelsen med databasservern %1 bröts; det som inte var sparat är inte sparat").arg(location);
    return why.trimmed().isEmpty() ? text : text + QStringLiteral(" (") + why.trimmed() + QLatin1Char(')');
}

void RaiseBooking(long number, const QString& detail)
{
    QString description = texts::Description(number);
    if (!detail.isEmpty())
        description += QStringLiteral(": ") + detail;
    vb::Raise(number, description);
}

} // namespace booking
