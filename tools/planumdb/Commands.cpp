#include "planumdb/Commands.h"
#include "booking/Backend.h"
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "platform/RunLock.h"
#include "platform/SpecialFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <memory>
#include <optional>

namespace planumdb {

namespace {

bool OnServer(const QString& location)
{
    return booking::detail::BackendFor(location) == booking::detail::BackendKind::PostgreSQL;
}

// Every message of the tool.
namespace msg {
QString NotUsable(const QString& path, qint32 verdict, const QString& reason)
{
    QString why;
    switch (verdict) {
    case booking::IngenSökväg:
        why = QStringLiteral("no path given");
        break;
    case booking::FilSaknas:
        why = QStringLiteral("no such file");
        break;
    case booking::InteDatabas:
        why = QStringLiteral("not a database file");
        break;
    case booking::AnnanDatabas:
        why = QStringLiteral("a database of another program, not a Planum database");
        break;
    case booking::NyareVersion:
        why = QStringLiteral("a Planum database of a newer version than this program reads");
        break;
    case booking::KanInteÖppna:
        why = QStringLiteral("the database cannot be opened");
        break;
    case booking::EjTillgänglig:
        why = QStringLiteral("this kind of database is not supported by this build");
        break;
    default:
        why = QStringLiteral("cannot be used (answer %1)").arg(verdict);
        break;
    }
    if (OnServer(path)) // the server's own words say more than ours
        return QStringLiteral("planumdb: %1: %2 (%3); the database was left as it was").arg(path, why, reason);
    return QStringLiteral("planumdb: %1: %2; the file was left as it was").arg(path, why);
}
QString Failed(const vb::ErrObject& e)
{
    return QStringLiteral("planumdb: error %1 (%2)").arg(e.Number()).arg(e.Description());
}
QString Exists(const QString& path)
{
    return QStringLiteral("planumdb: %1 already exists; init never replaces a file").arg(path);
}
QString Created(const QString& path)
{
    return QStringLiteral("created %1").arg(path);
}
QString Seeded(const QString& path, const SeedCounts& counts)
{
    return QStringLiteral("seeded %1: %2 resources, %3 bookings").arg(path).arg(counts.resources).arg(counts.bookings);
}
QString AlreadyThere(const QString& path)
{
    return QStringLiteral("%1 is already a Planum database; left as it is").arg(path);
}
QString BadOption(const QString& option)
{
    return QStringLiteral("planumdb: unknown or incomplete option \"%1\"").arg(option);
}
QString BadNumber(const QString& option, const QString& value)
{
    return QStringLiteral("planumdb: %1 needs a number, not \"%2\"").arg(option, value);
}
QString BadDate(const QString& option, const QString& value)
{
    return QStringLiteral("planumdb: %1 needs a date, not \"%2\"").arg(option, value);
}
QString UnknownCommand(const QString& command)
{
    return QStringLiteral("planumdb: unknown command \"%1\"").arg(command);
}
QString MissingPath()
{
    return QStringLiteral("planumdb: the command needs a PATH");
}
QString AlreadySet(const QString& ini, const QString& path)
{
    return QStringLiteral("%1 already names a database (DataBas1=%2); left as it is").arg(ini, path);
}
QString PointedAt(const QString& ini, const QString& path)
{
    return QStringLiteral("DataBas1 of %1 now names %2").arg(ini, path);
}
QString NoDocuments()
{
    return QStringLiteral("planumdb: the documents folder cannot be found or made");
}
QString IniNotWritten(const QString& why)
{
    return QStringLiteral("planumdb: %1").arg(why);
}
} // namespace msg

struct Options {
    QHash<QString, QString> values;
    QSet<QString> flags;
};

// Reads "--name value", "--name=value" and the given flags; anything else is an error.
std::optional<Options> ParseOptions(const QStringList& arguments, const QStringList& valued, const QStringList& flags,
                                    QTextStream& err)
{
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        if (flags.contains(name) && equals < 0) {
            options.flags.insert(name);
            continue;
        }
        if (!valued.contains(name) || (equals < 0 && i + 1 >= arguments.size())) {
            err << msg::BadOption(arguments.at(i)) << Qt::endl;
            return std::nullopt;
        }
        options.values.insert(name, equals > 0 ? value : arguments.at(++i));
    }
    return options;
}

std::optional<qint64> NumberOption(const Options& options, const QString& name, qint64 fallback, qint64 least,
                                   QTextStream& err)
{
    if (!options.values.contains(name))
        return fallback;
    bool ok = false;
    const qint64 value = options.values.value(name).toLongLong(&ok);
    if (!ok || value < least) {
        err << msg::BadNumber(name, options.values.value(name)) << Qt::endl;
        return std::nullopt;
    }
    return value;
}

// std::nullopt on a bad date (reported); an invalid QDate when the option is absent.
std::optional<QDate> DateOption(const Options& options, const QString& name, QTextStream& err)
{
    if (!options.values.contains(name))
        return QDate();
    const auto when = vb::ParseDateTime(options.values.value(name));
    if (!when) {
        err << msg::BadDate(name, options.values.value(name)) << Qt::endl;
        return std::nullopt;
    }
    return when->date();
}

// The lock a writing command holds on its database until the tool ends, as Almbro's runs do:
// a seed never writes while a transfer writes to the same database.
std::unique_ptr<vb::RunLock> g_writeLock;
constexpr int kLockWaitSeconds = 30;

// Opens path as the tool's callers do; reports and answers false when it is not usable.
bool Open(booking::DBFunk& db, const QString& path, bool readOnly, QTextStream& err)
{
    if (!readOnly && !g_writeLock) {
        QString holder;
        g_writeLock = vb::RunLock::Acquire(path, kLockWaitSeconds, &holder);
        if (!g_writeLock) {
            err << QStringLiteral("%1 is in use by another run of Almbro or planumdb (%2); nothing was written.")
                       .arg(booking::detail::ShownLocation(path), holder)
                << Qt::endl;
            return false;
        }
    }
    db.Anropskod(-9);
    booking::DBProgram program;
    program.Namn(QStringLiteral("planumdb"));
    db.SättProgram(program);
    const qint32 verdict = db.ÖppnaDatabas(path, 0, readOnly ? 1 : 0);
    if (verdict != booking::Öppnad) {
        err << msg::NotUsable(booking::detail::ShownLocation(path), verdict, db.SenasteFel()) << Qt::endl;
        return false;
    }
    return true;
}

QString OneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

QString Minutes(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

int Init(const QString& path, const QStringList& rest, QTextStream& out, QTextStream& err)
{
    if (!ParseOptions(rest, {}, {}, err))
        return ExitUsage;
    if (!OnServer(path) && QFileInfo::exists(path)) {
        err << msg::Exists(path) << Qt::endl;
        return ExitNotUsable;
    }
    booking::DBFunk::SkapaDatabas(path);
    out << msg::Created(path) << Qt::endl;
    return ExitOk;
}

int SeedCommand(const QString& path, const QStringList& rest, QTextStream& out, QTextStream& err)
{
    const auto options = ParseOptions(rest,
                                      {QStringLiteral("--resources"), QStringLiteral("--bookings"),
                                       QStringLiteral("--from"), QStringLiteral("--days"), QStringLiteral("--seed")},
                                      {QStringLiteral("--if-missing")}, err);
    if (!options)
        return ExitUsage;
    SeedOptions seed;
    const auto resources = NumberOption(*options, QStringLiteral("--resources"), seed.resources, 1, err);
    const auto bookings = NumberOption(*options, QStringLiteral("--bookings"), seed.bookings, 0, err);
    const auto days = NumberOption(*options, QStringLiteral("--days"), seed.days, 1, err);
    const auto number = NumberOption(*options, QStringLiteral("--seed"), seed.seed, 0, err);
    const auto from = DateOption(*options, QStringLiteral("--from"), err);
    if (!resources || !bookings || !days || !number || !from || *resources > 1000000 || *days > 100000 ||
        *number > 0xFFFFFFFFLL)
        return ExitUsage;
    seed.resources = qint32(*resources);
    seed.bookings = *bookings;
    seed.days = qint32(*days);
    seed.seed = quint32(*number);
    seed.from = *from;

    // A new file is made first; an existing one must already be a booking database. On a
    // server the tables are made in a database that has none yet.
    bool existed = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    booking::DBFunk db;
    if (OnServer(path)) {
        try {
            booking::DBFunk::SkapaDatabas(path);
        } catch (const vb::ErrObject& e) {
            if (e.Number() != booking::ErrDatabaseExists)
                throw;
            existed = true;
        }
    } else if (!existed) {
        booking::DBFunk::SkapaDatabas(path);
    }
    if (!Open(db, path, false, err))
        return ExitNotUsable;
    if (existed && options->flags.contains(QStringLiteral("--if-missing"))) {
        out << msg::AlreadyThere(path) << Qt::endl;
        return ExitOk;
    }
    const SeedCounts counts = Seed(db, seed);
    out << msg::Seeded(path, counts) << Qt::endl;
    return ExitOk;
}

int List(const QString& path, const QStringList& rest, QTextStream& out, QTextStream& err)
{
    const auto options =
        ParseOptions(rest, {QStringLiteral("--from"), QStringLiteral("--to"), QStringLiteral("--resource")}, {}, err);
    if (!options)
        return ExitUsage;
    const auto from = DateOption(*options, QStringLiteral("--from"), err);
    const auto to = DateOption(*options, QStringLiteral("--to"), err);
    const auto resource = NumberOption(*options, QStringLiteral("--resource"), -9, 1, err);
    if (!from || !to || !resource || *resource > 0x7FFFFFFF)
        return ExitUsage;
    const QDate first = from->isValid() ? *from : QDate::currentDate();
    const QDate last = to->isValid() ? *to : first.addDays(6);

    booking::DBFunk db;
    if (!Open(db, path, true, err))
        return ExitNotUsable;
    // The range texts the wizard hands over: short date and the first or last second.
    booking::Recordset records =
        db.HämtaPoster(vb::FormatShortDate(first) + QStringLiteral(" 00:00:00"),
                       vb::FormatShortDate(last) + QStringLiteral(" 23:59:59"), qint32(*resource));
    while (!records.Eof()) {
        out << records[QStringLiteral("Nyckel")].toInt() << '\t'
            << OneLine(db.PersonNamn(records[QStringLiteral("PersonID")].toInt())) << '\t'
            << Minutes(records[QStringLiteral("StartTid")].toDateTime()) << '\t'
            << Minutes(records[QStringLiteral("SlutTid")].toDateTime()) << '\t'
            << OneLine(records[QStringLiteral("Anteckningx")].toString()) << '\n';
        records.MoveNext();
    }
    records.Close();
    return ExitOk;
}

int Info(const QString& path, const QStringList& rest, QTextStream& out, QTextStream& err)
{
    if (!ParseOptions(rest, {}, {}, err))
        return ExitUsage;
    booking::DBFunk db;
    if (!Open(db, path, true, err))
        return ExitNotUsable;
    booking::Recordset persons = db.HämtaPersoner(0, 0, 0, 0, 0);
    booking::Recordset statuses = db.HämtaStatusar();
    out << "path\t" << path << '\n'
        << "resources\t" << persons.RecordCount() << '\n'
        << "statuses\t" << statuses.RecordCount() << '\n'
        << "bookings\t" << db.AntalBokningar() << '\n';
    while (!statuses.Eof()) {
        out << "status\t" << statuses[QStringLiteral("ID")].toInt() << '\t'
            << statuses[QStringLiteral("TheText")].toString() << '\t'
            << (statuses[QStringLiteral("Blockerar")].toBool() ? "blocks" : "does not block") << '\n';
        statuses.MoveNext();
    }
    return ExitOk;
}

// The set-up of a new user: when Planum.ini names no database, make a demo database beside
// it (or take the booking database already there) and name it in "DataBas1".
int Demo(const QStringList& rest, QTextStream& out, QTextStream& err)
{
    const auto options = ParseOptions(rest, {QStringLiteral("--ini"), QStringLiteral("--db")}, {}, err);
    if (!options)
        return ExitUsage;
    QString ini = options->values.value(QStringLiteral("--ini"));
    if (ini.isEmpty()) {
        const auto documents = vb::SpecialFolderPath(vb::CSIDL_PERSONAL);
        if (!documents || !QDir().mkpath(*documents + QStringLiteral("/Planum"))) {
            err << msg::NoDocuments() << Qt::endl;
            return ExitFailed;
        }
        ini = *documents + QStringLiteral("/Planum/Planum.ini");
    }
    // Read as the wizard reads it: 255 characters at most, blanks trimmed.
    const QString named =
        vb::GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), QString(), 255, ini)
            .trimmed();
    if (!named.isEmpty()) {
        out << msg::AlreadySet(ini, named) << Qt::endl;
        return ExitOk;
    }
    QString path = options->values.value(QStringLiteral("--db"));
    if (path.isEmpty())
        path = QFileInfo(ini).absolutePath() + QStringLiteral("/Planum.db");
    if (OnServer(path)) {
        const int seeded = SeedCommand(path, {QStringLiteral("--if-missing")}, out, err);
        if (seeded != ExitOk)
            return seeded;
    } else if (path = QFileInfo(path).absoluteFilePath(); !QFileInfo::exists(path)) {
        const int seeded = SeedCommand(path, {}, out, err);
        if (seeded != ExitOk)
            return seeded;
    } else {
        booking::DBFunk db;
        if (!Open(db, path, true, err))
            return ExitNotUsable;
    }
    if (!vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("DataBas1"), path, ini)) {
        err << msg::IniNotWritten(vb::IniLastError()) << Qt::endl;
        return ExitFailed;
    }
    out << msg::PointedAt(ini, path) << Qt::endl;
    return ExitOk;
}

} // namespace

QString UsageText()
{
    return QStringLiteral(
        "usage:\n"
        "  planumdb init PATH\n"
        "      make a new, empty Planum database with the default statuses\n"
        "  planumdb seed PATH [--resources N] [--bookings M] [--from DATE] [--days D] [--seed S] [--if-missing]\n"
        "      add demo resources and bookings (a new file is made first); the same seed gives the\n"
        "      same data; --if-missing leaves an existing Planum database as it is\n"
        "      defaults: 12 resources, 300 bookings over 28 days from this week's Monday, seed 1\n"
        "  planumdb list PATH [--from DATE] [--to DATE] [--resource N]\n"
        "      the bookings of the range, one a line: number, resource, start, end, note (tab-separated);\n"
        "      default: today and the six days after\n"
        "  planumdb info PATH\n"
        "      counts and statuses\n"
        "  planumdb demo [--ini FILE] [--db PATH]\n"
        "      when Planum.ini (default: <documents>/Planum/Planum.ini) names no database in DataBas1:\n"
        "      make a demo database (default: Planum.db beside it) unless a Planum database is already\n"
        "      there, and name it in DataBas1; a database already named is left as it is\n"
        "DATE is a short date of the locale or yyyy-MM-dd.\n"
        "PATH may also be a PostgreSQL database, postgresql://[user@][host][:port]/database[?param=value&...]\n"
        "(libpq's parameters: sslmode, host as a socket folder, service, ...); init and seed make the Planum\n"
        "tables in a database that has none. Passwords come from ~/.pgpass, PGPASSFILE or a service file.\n"
        "Exit status: 0 done, 1 wrong command line, 2 not a usable Planum database (left as it was),\n"
        "3 the database failed while working.\n");
}

int Run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    if (arguments.isEmpty() || arguments.first() == QLatin1String("help") ||
        arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h")) {
        (arguments.isEmpty() ? err : out) << UsageText();
        return arguments.isEmpty() ? ExitUsage : ExitOk;
    }
    const QString& command = arguments.first();
    static const QStringList commands = {QStringLiteral("init"), QStringLiteral("seed"), QStringLiteral("list"),
                                         QStringLiteral("info")};
    if (command == QLatin1String("demo")) {
        try {
            return Demo(arguments.mid(1), out, err);
        } catch (...) {
            err << msg::Failed(vb::CurrentError()) << Qt::endl;
            return ExitFailed;
        }
    }
    if (!commands.contains(command)) {
        err << msg::UnknownCommand(command) << Qt::endl << UsageText();
        return ExitUsage;
    }
    if (arguments.size() < 2 || arguments.at(1).startsWith(QLatin1String("--"))) {
        err << msg::MissingPath() << Qt::endl;
        return ExitUsage;
    }
    const QString& path = arguments.at(1);
    const QStringList rest = arguments.mid(2);
    try {
        if (command == QLatin1String("init"))
            return Init(path, rest, out, err);
        if (command == QLatin1String("seed"))
            return SeedCommand(path, rest, out, err);
        if (command == QLatin1String("list"))
            return List(path, rest, out, err);
        return Info(path, rest, out, err);
    } catch (...) {
        const vb::ErrObject e = vb::CurrentError();
        if (e.Number() == booking::ErrDatabaseExists) {
            err << msg::Exists(path) << Qt::endl;
            return ExitNotUsable;
        }
        err << msg::Failed(e) << Qt::endl;
        return ExitFailed;
    }
}

} // namespace planumdb
