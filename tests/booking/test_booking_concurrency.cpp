// Two desks booking one resource at the same moment: two processes each try 500 times to
// book overlapping times. The database must end without two overlapping blocking bookings
// of the resource, and every refusal must have been answered as a clash.
#include "BookingTestSupport.h"

#include <QProcess>
#include <cstdio>

using namespace booking;
using namespace bookingtest;

namespace {

constexpr int kAttempts = 500;
constexpr qint32 kResource = 1;

// Attempt i books slot i / 4: slots start 30 minutes apart and last 45, so each overlaps
// its neighbours, and both desks reach the same slots at about the same time.
DBPost Attempt(int i, const QString& desk)
{
    const QDateTime base = At(QStringLiteral("2026-12-07 00:00"));
    const QDateTime start = base.addSecs(qint64(i / 4) * 30 * 60);
    DBPost post = Post(kResource, start, start.addSecs(45 * 60));
    post.Notering(desk + QString::number(i));
    return post;
}

// The desk process: prints "saved clashes other" on its last line.
int Desk(const QString& location, const QString& name)
{
    DBFunk db;
    db.Anropskod(-9);
    if (db.ÖppnaDatabas(location, 0, 0) != Öppnad) {
        std::fprintf(stderr, "%s\n", qPrintable(db.SenasteFel()));
        return 2;
    }
    int saved = 0;
    int clashes = 0;
    int other = 0;
    for (int i = 0; i < kAttempts; ++i) {
        DBPost post = Attempt(i, name);
        qint32 number = 0;
        qint32 result = -1;
        try {
            db.SparaPost(post, true, number, result);
        } catch (const vb::ErrObject& e) {
            std::fprintf(stderr, "%ld %s\n", e.Number(), qPrintable(e.Description()));
            result = -1;
        }
        if (result == 0)
            ++saved;
        else if (result == 1)
            ++clashes;
        else
            ++other;
    }
    std::printf("%d %d %d\n", saved, clashes, other);
    return 0;
}

} // namespace

class TestBookingConcurrency : public QObject {
    Q_OBJECT
private slots:
    void twoDesksNeverDoubleBook()
    {
        const QString location = CreateDatabase();
        {
            OPENED_OR_FAIL(db, location);
            AddResource(db, QStringLiteral("Sal"), QStringLiteral("A"));
        }
        QProcess desks[2];
        for (int d = 0; d < 2; ++d)
            desks[d].start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("desk"), location, QStringLiteral("desk%1-").arg(d)});
        int saved = 0;
        for (QProcess& desk : desks) {
            QVERIFY(desk.waitForFinished(240000));
            const QString err = QString::fromLocal8Bit(desk.readAllStandardError());
            QCOMPARE(desk.exitCode(), 0);
            const QStringList counts =
                QString::fromLatin1(desk.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
            QCOMPARE(counts.size(), 3);
            QVERIFY2(counts[2] == QLatin1String("0"),
                     qPrintable(QStringLiteral("refusals that were no clash: ") + err));
            QCOMPARE(counts[0].toInt() + counts[1].toInt(), kAttempts);
            saved += counts[0].toInt();
        }

        OPENED_OR_FAIL(db, location);
        Recordset all =
            db.HämtaPoster(QStringLiteral("2026-12-01 00:00:00"), QStringLiteral("2026-12-31 00:00:00"), kResource);
        QCOMPARE(all.RecordCount(), saved);
        QVERIFY(saved > 0);
        // Sorted by start: no booking may begin before the one before it has ended.
        QDateTime previousEnd;
        while (!all.Eof()) {
            const QDateTime start = all[QStringLiteral("StartTid")].toDateTime();
            if (previousEnd.isValid())
                QVERIFY2(start >= previousEnd, qPrintable(start.toString(Qt::ISODate)));
            previousEnd = all[QStringLiteral("SlutTid")].toDateTime();
            all.MoveNext();
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "desk") == 0) {
        QCoreApplication app(argc, argv);
        return Desk(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    BOOKING_TEST_MAIN_BODY(TestBookingConcurrency)
}

#include "test_booking_concurrency.moc"
