// A database file shared with another program while this process keeps a connection open:
// opening the same file a second time must not cost the first connection its locks. If it
// did, the other program would take itself for the last user, checkpoint and delete the
// write-ahead log under us, and our next save would go into a deleted file.
#include "BookingTestSupport.h"
#include "platform/RunLock.h"

#include <QProcess>

using namespace booking;
using namespace bookingtest;

namespace {

// Another program writing to the file: planumdb adds a resource and five bookings, and on
// its way out checkpoints and removes the log when it believes it is the last user. Two
// such runs around one of our saves: the second one's log would be built on a file that
// lacks our save, and our own checkpoint at the end would write stale pages over it.
bool SeedFromOtherProcess(const QString& path, int round, QString& error)
{
    QProcess planumdb;
    planumdb.start(QStringLiteral(PLANUMDB_EXE),
                   {QStringLiteral("seed"), path, QStringLiteral("--resources"), QStringLiteral("1"),
                    QStringLiteral("--bookings"), QStringLiteral("5"), QStringLiteral("--seed"),
                    QString::number(round + 1), QStringLiteral("--from"), QStringLiteral("2027-01-04"),
                    QStringLiteral("--days"), QStringLiteral("5")});
    if (!planumdb.waitForFinished(60000) || planumdb.exitStatus() != QProcess::NormalExit || planumdb.exitCode() != 0) {
        error = QString::fromLocal8Bit(planumdb.readAllStandardError());
        return false;
    }
    return true;
}

// Another program holding the file: Python's own SQLite runs the statements, says "held" and
// keeps its connection until its input closes.
class Holder {
public:
    bool Start(const QString& path, const QStringList& statements)
    {
        static const char script[] = "import sqlite3, sys\n"
                                     "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                     "for s in sys.argv[2:]:\n"
                                     "    c.execute(s).fetchall()\n"
                                     "print('held', flush=True)\n"
                                     "sys.stdin.read()\n";
        m_process.start(QStringLiteral(ALMBRO_PYTHON3), QStringList{QStringLiteral("-c"), QString::fromLatin1(script), path} + statements);
        return m_process.waitForReadyRead(30000) && m_process.readAllStandardOutput().startsWith("held");
    }
    qint64 Pid() const { return m_process.processId(); }
    QString Errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }
    ~Holder()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

} // namespace

class TestBookingSharing : public QObject {
    Q_OBJECT
private slots:
    void secondOpeningKeepsTheFirstConnectionsLocks_data()
    {
        QTest::addColumn<bool>("keepSecondOpen");
        QTest::newRow("second connection stays open") << true;
        QTest::newRow("second connection closed again") << false;
    }
    void secondOpeningKeepsTheFirstConnectionsLocks()
    {
        QFETCH(bool, keepSecondOpen);
        const int rounds = 50; // both rows together: 100 rounds
        for (int round = 0; round < rounds; ++round) {
            const QString path = CreateDatabase();
            QList<qint32> ours;
            {
                OPENED_OR_FAIL(first, path);
                const qint32 person = AddResource(first, QStringLiteral("Eva"), QStringLiteral("Lind"));
                ours << SaveNew(first, person, QStringLiteral("2026-12-07 08:00"), QStringLiteral("2026-12-07 09:00"));
                {
                    // The wizard's list and a transfer each keep a connection of their own.
                    OPENED_OR_FAIL(second, path);
                    if (!keepSecondOpen)
                        second.Stäng();
                    QString error;
                    QVERIFY2(SeedFromOtherProcess(path, 2 * round, error), qPrintable(error));
                    ours << SaveNew(first, person, QStringLiteral("2026-12-07 10:00"), QStringLiteral("2026-12-07 11:00"));
                    QVERIFY2(SeedFromOtherProcess(path, 2 * round + 1, error), qPrintable(error));
                    if (keepSecondOpen)
                        ours << SaveNew(second, person, QStringLiteral("2026-12-07 12:00"),
                                     QStringLiteral("2026-12-07 13:00"));
                }
                ours << SaveNew(first, person, QStringLiteral("2026-12-07 14:00"), QStringLiteral("2026-12-07 15:00"));
            }
            QVERIFY(!ours.contains(0));

            RawConnection check(path);
            QCOMPARE(check.Value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            OPENED_OR_FAIL(after, path);
            for (qint32 number : ours)
                QVERIFY2(after.HämtaPost(number).has_value(),
                         qPrintable(QStringLiteral("round %1: booking %2 lost").arg(round).arg(number)));
            QCOMPARE(after.AntalBokningar(), qint64(ours.size() + 10));
            QCOMPARE(after.HämtaPersoner(0, 0, 0, 0, 0).RecordCount(), 3);
        }
    }

    // A database that another program keeps busy for longer than the busy timeout: the error
    // names that program's process, as a run lock's message names the other run.
    void aBusyFileNamesTheProcessHoldingIt_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("openingRefused");
        const QString add = QStringLiteral(
            "INSERT INTO \"Personer\" (\"FörNamn\", \"EfterNamn\", \"Placering\") VALUES ('Lena', 'Ek', '')");
        QTest::newRow("write transaction") << QStringList{QStringLiteral("BEGIN IMMEDIATE"), add} << false;
        QTest::newRow("exclusive transaction") << QStringList{QStringLiteral("BEGIN EXCLUSIVE")} << false;
        // The file itself held, not only the log's index: even reading it waits, so the
        // opening is refused.
        QTest::newRow("exclusive locking mode")
            << QStringList{QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"), QStringLiteral("BEGIN EXCLUSIVE"), add,
                           QStringLiteral("COMMIT")}
            << true;
    }
    void aBusyFileNamesTheProcessHoldingIt()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, openingRefused);
        const QString path = CreateDatabase();
        Holder holder;
        QVERIFY2(holder.Start(path, statements), qPrintable(holder.Errors()));
        const QString named = QStringLiteral(" (process %1, ").arg(holder.Pid());

        DBFunk db;
        db.Anropskod(-9);
        const qint32 verdict = db.ÖppnaDatabas(path, 200, 0);
        if (openingRefused) {
            QCOMPARE(verdict, qint32(KanInteÖppna));
            QVERIFY2(db.SenasteFel().contains(texts::Description(ErrLocked) + named), qPrintable(db.SenasteFel()));
            return;
        }
        QCOMPARE(verdict, qint32(Öppnad));
        // The import's save: the booking is not done, and its reason names the holder.
        DBPost post = Post(1, QStringLiteral("2026-12-07 08:00"), QStringLiteral("2026-12-07 09:00"));
        const QString error = testenv::Raised([&] { Save(db, post); });
        QVERIFY2(error.startsWith(QStringLiteral("%1: ").arg(ErrLocked) + texts::Description(ErrLocked) + named),
                 qPrintable(error + QStringLiteral(" / ") + named));
    }

    // Only other processes are named; this process's own connections are not "another program".
    void ownConnectionsAreNotNamed()
    {
        const QString path = CreateDatabase();
        RawConnection own(path);
        QVERIFY(own.Exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(vb::RunLock::FileLockHolders({path, path + QStringLiteral("-shm")}).isEmpty());
        Holder other;
        QVERIFY2(other.Start(path, {QStringLiteral("SELECT count(*) FROM \"Personer\"")}), qPrintable(other.Errors()));
        const QStringList readers = vb::RunLock::FileLockHolders({path, path + QStringLiteral("-shm")});
        QCOMPARE(readers.size(), 1);
        QVERIFY2(readers.first().startsWith(QStringLiteral("process %1").arg(other.Pid())), qPrintable(readers.first()));
        QVERIFY(own.Exec(QStringLiteral("COMMIT")));
    }
};

ALMBRO_TEST_MAIN(TestBookingSharing)
#include "test_booking_sharing.moc"
