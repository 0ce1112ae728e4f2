#pragma once
// A throwaway PostgreSQL cluster for tests and benchmarks: initdb and pg_ctl in a temporary
// folder, listening only on a Unix socket in a folder of its own, stopped and removed when
// the object goes. PostgreSQL refuses to run as root, so under root the server runs as
// "nobody" (through runuser), and the folder is handed over to that user.
//
// Logins need a password: the test process finds it the way every user of the program
// does, in the file PGPASSFILE names, never in a location.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace pgtest {

class Cluster {
public:
    static constexpr const char* kUser = "planum";
    static constexpr const char* kPassword = "hemligt-Ö 1";
    static constexpr int kPort = 5433;

    // The folder of the server's programs; empty when PostgreSQL is not installed.
    static QString BinDir()
    {
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        std::sort(versions.begin(), versions.end(),
                  [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
        for (const QString& version : versions) {
            const QString bin = root.filePath(version + QStringLiteral("/bin"));
            if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() &&
                QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
                return bin;
        }
        return QString();
    }

    static bool Available() { return !BinDir().isEmpty() && QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")); }

    Cluster() : m_dir(QDir::tempPath() + QStringLiteral("/almbro-pg-XXXXXX")) {}
    ~Cluster() { Stop(); }
    Cluster(const Cluster&) = delete;
    Cluster& operator=(const Cluster&) = delete;

    // Makes and starts the cluster; false with the reason in Error() when it cannot.
    bool Start()
    {
        if (!Available())
            return Fail(QStringLiteral("PostgreSQL or the QPSQL driver is not installed"));
        if (!m_dir.isValid())
            return Fail(QStringLiteral("no temporary folder"));
        m_bin = BinDir();
        QDir().mkpath(Socket());
        QFile password(m_dir.path() + QStringLiteral("/pwfile"));
        if (!password.open(QIODevice::WriteOnly))
            return Fail(password.errorString());
        password.write(QByteArray(kPassword) + '\n');
        password.close();
        if (geteuid() == 0) {
            // The server's own user must own its folder; the password file is read by initdb.
            for (const QString& path : {m_dir.path(), Socket(), password.fileName()})
                if (chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
                    return Fail(QStringLiteral("cannot hand %1 to nobody").arg(path));
        }
        if (!RunServerTool(QStringLiteral("initdb"),
                           {QStringLiteral("-D"), Data(), QStringLiteral("-U"), QString::fromLatin1(kUser),
                            QStringLiteral("--pwfile=") + password.fileName(), QStringLiteral("--auth=scram-sha-256"),
                            QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                            QStringLiteral("--no-sync")}))
            return false;
        if (!Restart())
            return false;
        WritePassFile(QString::fromUtf8(kPassword));
        return true;
    }

    // Stops the server now (also in the middle of a test: a server that goes away). mode is
    // pg_ctl's: "fast" ends every session first, "immediate" kills the server outright.
    void Stop(const QString& mode = QStringLiteral("fast"))
    {
        if (!m_running)
            return;
        RunServerTool(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), Data(), QStringLiteral("-m"), mode,
                                                 QStringLiteral("-w"), QStringLiteral("stop")});
        m_running = false;
    }
    // Starts the made cluster, or a stopped one again.
    bool Restart()
    {
        if (m_running)
            return true;
        const QString options = QStringLiteral("-k %1 -p %2 -c listen_addresses='' -c fsync=off "
                                               "-c synchronous_commit=off -c full_page_writes=off "
                                               "-c max_connections=60")
                                    .arg(Socket())
                                    .arg(kPort);
        m_running = RunServerTool(QStringLiteral("pg_ctl"),
                                  {QStringLiteral("-D"), Data(), QStringLiteral("-o"), options, QStringLiteral("-l"),
                                   m_dir.path() + QStringLiteral("/log"), QStringLiteral("-w"), QStringLiteral("-t"),
                                   QStringLiteral("60"), QStringLiteral("start")});
        return m_running;
    }

    // A location for database name, as a user would write it.
    QString Location(const QString& name) const
    {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("host"), Socket());
        query.addQueryItem(QStringLiteral("port"), QString::number(kPort));
        query.addQueryItem(QStringLiteral("user"), QString::fromLatin1(kUser));
        return QStringLiteral("postgresql:///") + name + QLatin1Char('?') + query.toString(QUrl::FullyEncoded);
    }

    // Makes a new, empty database and gives its location.
    QString NewDatabase()
    {
        const QString name = QStringLiteral("t%1").arg(++m_databases);
        QString error;
        if (!Admin(QStringLiteral("CREATE DATABASE %1").arg(name), error))
            qFatal("CREATE DATABASE %s: %s", qPrintable(name), qPrintable(error));
        return Location(name);
    }

    // Runs one statement as the cluster's owner in database ("postgres" unless said); the first
    // value of its answer goes to first when given.
    bool Admin(const QString& sql, QString& error, const QString& database = QStringLiteral("postgres"),
               QVariant* first = nullptr) const
    {
        const QString connection = QStringLiteral("pg-admin");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(Socket());
            db.setPort(kPort);
            db.setUserName(QString::fromLatin1(kUser));
            db.setPassword(QString::fromUtf8(kPassword));
            db.setDatabaseName(database);
            if (db.open()) {
                QSqlQuery query(db);
                ok = query.exec(sql);
                if (!ok)
                    error = query.lastError().text();
                else if (first)
                    *first = query.next() ? query.value(0) : QVariant();
                db.close();
            } else {
                error = db.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(connection);
        return ok;
    }

    // Points PGPASSFILE at a file holding this password for the cluster's user.
    void WritePassFile(const QString& password) const
    {
        const QString path = m_dir.path() + QStringLiteral("/pgpass");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QString escaped = password;
        escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char(':'), QLatin1String("\\:"));
        file.write(QStringLiteral("*:*:*:%1:%2\n").arg(QString::fromLatin1(kUser), escaped).toUtf8());
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner); // libpq ignores others
        qputenv("PGPASSFILE", QFile::encodeName(path));
    }

    QString Socket() const { return m_dir.path() + QStringLiteral("/socket"); }
    QString Error() const { return m_error; }

private:
    QString Data() const { return m_dir.path() + QStringLiteral("/data"); }

    bool Fail(const QString& why)
    {
        m_error = why;
        return false;
    }

    bool RunServerTool(const QString& tool, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_dir.path());
        const QString program = m_bin + QLatin1Char('/') + tool;
        if (geteuid() == 0)
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} +
                              arguments);
        else
            process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            QFile log(m_dir.path() + QStringLiteral("/log"));
            log.open(QIODevice::ReadOnly);
            return Fail(tool + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll()) +
                        QString::fromLocal8Bit(log.readAll().right(2000)));
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_error;
    bool m_running = false;
    int m_databases = 0;
};

// A query for the indexes and keys of the bookings table, as one text: what a bulk load that
// sets them aside must make again exactly.
inline QString BookingsIndexesAndKeys()
{
    return QStringLiteral(
        "SELECT string_agg(d, '; ' ORDER BY d) FROM (SELECT pg_get_indexdef(indexrelid) AS d FROM pg_index "
        "WHERE indrelid = '\"Bokningar\"'::regclass UNION ALL SELECT conname || ' ' || pg_get_constraintdef(oid) "
        "FROM pg_constraint WHERE conrelid = '\"Bokningar\"'::regclass) AS x");
}

} // namespace pgtest
