// A database file shared with another program while this process keeps a connection open:
// opening the same file a second time must not cost the first connection its locks. If it
// did, the other program would take itself for the last user, checkpoint and delete the
// write-ahead log under us, and our next save would go into a deleted file.
#include "BookingTestSupport.h"

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

qint32 Save(DBFunk& db, qint32 person, const QString& start, const QString& end)
{
    DBPost post = Post(person, start, end);
    qint32 number = 0;
    qint32 result = -1;
    db.SparaPost(post, true, number, result);
    return result == 0 ? number : 0;
}

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
                DBFunk first;
                OPEN_OR_FAIL(first, path);
                qint32 person = 0;
                {
                    BulkWriter writer(first);
                    person = writer.AddResource(QStringLiteral("Eva"), QStringLiteral("Lind"), QString());
                    writer.Commit();
                }
                ours << Save(first, person, QStringLiteral("2026-12-07 08:00"), QStringLiteral("2026-12-07 09:00"));
                {
                    // The wizard's list and a transfer each keep a connection of their own.
                    DBFunk second;
                    OPEN_OR_FAIL(second, path);
                    if (!keepSecondOpen)
                        second.Stäng();
                    QString error;
                    QVERIFY2(SeedFromOtherProcess(path, 2 * round, error), qPrintable(error));
                    ours << Save(first, person, QStringLiteral("2026-12-07 10:00"), QStringLiteral("2026-12-07 11:00"));
                    QVERIFY2(SeedFromOtherProcess(path, 2 * round + 1, error), qPrintable(error));
                    if (keepSecondOpen)
                        ours << Save(second, person, QStringLiteral("2026-12-07 12:00"),
                                     QStringLiteral("2026-12-07 13:00"));
                }
                ours << Save(first, person, QStringLiteral("2026-12-07 14:00"), QStringLiteral("2026-12-07 15:00"));
            }
            QVERIFY(!ours.contains(0));

            RawConnection check(path);
            QCOMPARE(check.Value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            DBFunk after;
            OPEN_OR_FAIL(after, path);
            for (qint32 number : ours)
                QVERIFY2(after.HämtaPost(number).has_value(),
                         qPrintable(QStringLiteral("round %1: booking %2 lost").arg(round).arg(number)));
            QCOMPARE(after.AntalBokningar(), qint64(ours.size() + 10));
            QCOMPARE(after.HämtaPersoner(0, 0, 0, 0, 0).RecordCount(), 3);
        }
    }
};

ALMBRO_TEST_MAIN(TestBookingSharing)
#include "test_booking_sharing.moc"
