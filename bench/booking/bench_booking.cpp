// Booking component benchmarks: a week's HämtaPoster out of a million bookings, Krockar on
// the same database, and PersonNamn ten thousand times. Prints its figures; the database is
// made on the first run (one transaction, prepared statements) and kept for the next.
//
//   bench_booking [--db PATH] [--resources N] [--bookings M] [--days D] [--fresh] [--postgresql]
//
// PATH may be a postgresql:// location (seeded when it has no Planum tables yet);
// --postgresql starts a throwaway PostgreSQL cluster of its own and measures on that.
#include "booking/Backend.h"
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "platform/Locale.h"
#include "support/PgCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <ctime>
#include <unistd.h>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <optional>
#include <cstdio>
#include <vector>

using namespace booking;

namespace {

QTextStream& Out()
{
    static QTextStream out(stdout);
    return out;
}

// Processor time this process has used so far, user and system, in milliseconds: on a machine
// shared with other work the wall time says more about the others than about this code.
double ProcessorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The server process that serves the benchmark's connection, where the server runs on this
// machine: its /proc stat file; empty when it cannot be found or read.
QString ServerProcessStat(const QString& location)
{
    QString stat;
    {
        QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-probe"));
        QString why;
        if (detail::Configure(probe, detail::BackendKind::PostgreSQL, location, true, false, 1000, why) && probe.open()) {
            QSqlQuery query(probe);
            if (query.exec(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE application_name = 'Almbro' AND "
                                          "pid <> pg_backend_pid() ORDER BY backend_start DESC LIMIT 1")) &&
                query.next())
                stat = QStringLiteral("/proc/%1/stat").arg(query.value(0).toLongLong());
            probe.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-probe"));
    return QFile::exists(stat) ? stat : QString();
}

// Processor time (user and system) of the process whose stat file that is, in milliseconds.
double ProcessMs(const QString& stat)
{
    QFile file(stat);
    if (stat.isEmpty() || !file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    // utime and stime are the 14th and 15th fields; the list starts at the third.
    return double(fields[11].toLongLong() + fields[12].toLongLong()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

QString Verdict(double value, double goal)
{
    return value < goal ? QStringLiteral("goal < %1 ms: met").arg(goal)
                        : QStringLiteral("goal < %1 ms: NOT MET").arg(goal);
}

void Fail(const QString& text)
{
    QTextStream(stderr) << "bench_booking: " << text << Qt::endl;
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    vb::HoldLocalZone(); // as almbro and planumdb do, for the seed and the measurements alike
    QCoreApplication app(argc, argv);
    QString path = QDir::tempPath() + QStringLiteral("/almbro-bench-booking.db");
    planumdb::SeedOptions seed;
    seed.resources = 1000;
    seed.bookings = 1000000;
    seed.days = 730;
    seed.from = QDate(2025, 1, 6);
    seed.seed = 2026;
    bool fresh = false;
    bool ownServer = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const auto next = [&]() {
            if (i + 1 >= args.size())
                Fail(QStringLiteral("%1 needs a value").arg(a));
            return args.at(++i);
        };
        if (a == QLatin1String("--db"))
            path = next();
        else if (a == QLatin1String("--resources"))
            seed.resources = next().toInt();
        else if (a == QLatin1String("--bookings"))
            seed.bookings = next().toLongLong();
        else if (a == QLatin1String("--days"))
            seed.days = next().toInt();
        else if (a == QLatin1String("--fresh"))
            fresh = true;
        else if (a == QLatin1String("--postgresql"))
            ownServer = true;
        else
            Fail(QStringLiteral("unknown argument %1").arg(a));
    }

    Out() << "machine: " << QSysInfo::prettyProductName() << ", " << QThread::idealThreadCount() << " cores, Qt "
          << qVersion() << Qt::endl;

    // Made only when asked for: its temporary folder would outlive a benchmark stopped midway.
    std::optional<pgtest::Cluster> cluster;
    if (ownServer) {
        cluster.emplace();
        if (!cluster->Start())
            Fail(cluster->Error());
        path = cluster->NewDatabase();
    }
    const bool onServer = detail::BackendFor(path) == detail::BackendKind::PostgreSQL;
    if (fresh && !onServer && QFileInfo::exists(path)) {
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + suffix);
    }
    bool needsData = !QFileInfo::exists(path);
    if (onServer) {
        DBFunk probe;
        needsData = probe.ÖppnaDatabas(path, 0, 1) != Öppnad;
    }
    if (needsData) {
        Out() << "generating " << seed.bookings << " bookings for " << seed.resources << " resources over " << seed.days
              << " days into " << path << Qt::endl;
        const double cpuBefore = ProcessorMs();
        QElapsedTimer timer;
        timer.start();
        DBFunk::SkapaDatabas(path);
        DBFunk maker;
        if (maker.ÖppnaDatabas(path, 0, 0) != Öppnad)
            Fail(maker.SenasteFel());
        const planumdb::SeedCounts counts = planumdb::Seed(maker, seed, [&](qint64 written) {
            Out() << "  " << written << " bookings, " << timer.elapsed() / 1000.0 << " s" << Qt::endl;
        });
        maker.Stäng();
        Out() << "generated " << counts.bookings << " bookings, " << counts.resources << " resources in "
              << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s (processor time of this process "
              << QString::number((ProcessorMs() - cpuBefore) / 1000.0, 'f', 1) << " s)";
        if (!onServer)
            Out() << ", file " << QFileInfo(path).size() / (1024 * 1024) << " MiB";
        Out() << Qt::endl;
    }

    DBFunk db;
    db.Anropskod(-9);
    if (db.ÖppnaDatabas(path, 0, 0) != Öppnad)
        Fail(db.SenasteFel());
    const qint64 total = db.AntalBokningar();
    const qint32 resources = db.HämtaPersoner(0, 0, 0, 0, 0).RecordCount();
    const QString serverStat = onServer ? ServerProcessStat(path) : QString();
    Out() << "database: " << detail::ShownLocation(path) << ", " << total << " bookings, " << resources << " resources"
          << Qt::endl;
    QRandomGenerator random(7);

    // HämtaPoster for one week, Monday to Sunday, as the wizard asks for it, and walking the
    // whole set reading every field.
    {
        const QDate first = seed.from.addDays(7);
        const int weeks = std::max(1, seed.days / 7 - 2);
        std::vector<double> times;
        std::vector<double> fetchTimes;
        std::vector<double> cpuTimes; // this process's processor time, user and system
        qint64 rows = 0;
        double coldest = 0;
        double serverMs = 0;
        for (int round = 0; round < 40; ++round) {
            if (round == 1)
                serverMs = ProcessMs(serverStat);
            const QDate monday = first.addDays(7 * qint64(round * 7919 % weeks));
            const QString start = vb::FormatShortDate(monday) + QStringLiteral(" 00:00:00");
            const QString end = vb::FormatShortDate(monday.addDays(6)) + QStringLiteral(" 23:59:59");
            const double cpuBefore = ProcessorMs();
            QElapsedTimer timer;
            timer.start();
            Recordset records = db.HämtaPoster(start, end, -9);
            const double fetchMs = double(timer.nsecsElapsed()) / 1e6;
            qint64 checksum = 0;
            while (!records.Eof()) {
                checksum += records[QStringLiteral("Nyckel")].toInt() + records[QStringLiteral("PersonID")].toInt();
                checksum += records[QStringLiteral("StartTid")].toDateTime().time().minute();
                checksum += records[QStringLiteral("SlutTid")].toDateTime().time().minute();
                checksum += records[QStringLiteral("Anteckningx")].toString().size();
                records.MoveNext();
            }
            const qint32 count = records.RecordCount();
            records.Close();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            const double cpuMs = ProcessorMs() - cpuBefore;
            if (round == 0) {
                coldest = ms;
            } else {
                times.push_back(ms);
                fetchTimes.push_back(fetchMs);
                cpuTimes.push_back(cpuMs);
            }
            rows += count;
            if (checksum == 42) // keeps the walk from being optimised away
                Out() << "";
        }
        const double median = Median(times);
        Out() << "HämtaPoster, one week, walked: median " << QString::number(median, 'f', 2) << " ms, p90 "
              << QString::number(Percentile(times, 0.9), 'f', 2) << " ms, max "
              << QString::number(*std::max_element(times.begin(), times.end()), 'f', 2) << " ms, first "
              << QString::number(coldest, 'f', 2) << " ms; " << rows / 40 << " bookings a week  ["
              << Verdict(median, onServer ? 50 : 20) << "]" << Qt::endl;
        Out() << "  of which the fetch alone: median " << QString::number(Median(fetchTimes), 'f', 2)
              << " ms, the walk " << QString::number(median - Median(fetchTimes), 'f', 2)
              << " ms; processor time of this process (fetch and walk): median "
              << QString::number(Median(cpuTimes), 'f', 2) << " ms" << Qt::endl;
        if (!serverStat.isEmpty())
            Out() << "  processor time of the server process for this connection, mean of 39 weeks: "
                  << QString::number((ProcessMs(serverStat) - serverMs) / 39.0, 'f', 2) << " ms" << Qt::endl;
    }

    // Krockar: a resource, a start inside the data's span, one to four hours.
    {
        const QDateTime origin(seed.from, QTime(0, 0));
        const int calls = 10000;
        std::vector<double> times;
        times.reserve(calls);
        int clashes = 0;
        for (int i = 0; i < calls; ++i) {
            const qint32 person = 1 + qint32(random.bounded(quint32(std::max(1, resources))));
            const QDateTime start = origin.addSecs(qint64(random.bounded(quint32(seed.days) * 24 * 4)) * 15 * 60);
            const QDateTime end = start.addSecs(qint64(4 + random.bounded(13)) * 15 * 60);
            QElapsedTimer timer;
            timer.start();
            clashes += db.Krockar(person, start, end, true, 1, QString()) ? 1 : 0;
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const double median = Median(times);
        Out() << "Krockar: median " << QString::number(median * 1000, 'f', 1) << " us, p99 "
              << QString::number(Percentile(times, 0.99) * 1000, 'f', 1) << " us, max "
              << QString::number(*std::max_element(times.begin(), times.end()) * 1000, 'f', 1) << " us over " << calls
              << " calls (" << clashes << " clashed)  [" << Verdict(Percentile(times, 0.99), 1) << " (p99)]"
              << Qt::endl;
    }

    // PersonNamn ten thousand times, as the export list calls it once per row. The first call
    // on a connection reads every name; it is timed on its own.
    {
        DBFunk fresh;
        fresh.Anropskod(-9);
        if (fresh.ÖppnaDatabas(path, 0, 0) != Öppnad)
            Fail(fresh.SenasteFel());
        QElapsedTimer first;
        first.start();
        const QString name = fresh.PersonNamn(1);
        Out() << "PersonNamn, first call on a new connection (reads all " << resources
              << " names): " << QString::number(double(first.nsecsElapsed()) / 1e6, 'f', 2) << " ms" << Qt::endl;
    }
    {
        std::vector<double> totals;
        qint64 letters = 0;
        for (int round = 0; round < 7; ++round) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 10000; ++i)
                letters += db.PersonNamn(1 + qint32(random.bounded(quint32(std::max(1, resources)) + 10))).size();
            totals.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const double median = Median(totals);
        Out() << "PersonNamn x 10000: median " << QString::number(median, 'f', 2) << " ms, max "
              << QString::number(*std::max_element(totals.begin(), totals.end()), 'f', 2) << " ms (" << letters / 7
              << " letters a round)  [" << Verdict(median, 100) << "]" << Qt::endl;
    }
    return 0;
}
