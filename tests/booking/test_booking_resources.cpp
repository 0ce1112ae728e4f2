// Resources: PersonNamn, HämtaPersoner and FyllAllaResurser into a list box. (HämtaStatusar is
// tested through the wizard's status list, what each status blocks by the clash tests.)
#include "BookingTestSupport.h"
#include "platform/Locale.h"

using namespace booking;
using namespace bookingtest;

namespace {

// A list box as plain lines.
class Lines : public ListBoxSink {
public:
    void Clear() override
    {
        texts.clear();
        data.clear();
        ++clears;
    }
    void AddItem(const QString& text, qint32 itemData) override
    {
        texts << text;
        data << itemData;
    }
    QStringList texts;
    QList<qint32> data;
    int clears = 0;
};

} // namespace

class TestBookingResources : public QObject {
    Q_OBJECT

    QString m_path;

private slots:
    void initTestCase()
    {
        vb::SetLocaleForTest(QLocale(QStringLiteral("sv_SE")));
        m_path = CreateDatabase();
        OPENED_OR_FAIL(db, m_path);
        BulkWriter writer(db);
        writer.AddResource(QStringLiteral("Öjvind"), QStringLiteral("Öberg"), QStringLiteral("Umeå"));     // 1
        writer.AddResource(QStringLiteral(" Anna "), QStringLiteral("Åkesson "), QStringLiteral("Malmö")); // 2
        writer.AddResource(QString(), QString(), QStringLiteral("Lund"));                                  // 3
        writer.AddResource(QStringLiteral("Per"), QStringLiteral("Andersson"), QString());                 // 4
        writer.AddResource(QStringLiteral("Sofia"), QString(), QStringLiteral(" Kalmar "));                // 5
        writer.AddResource(QString(), QStringLiteral("Ekström"), QString());                               // 6
        writer.AddResource(QStringLiteral("  "), QStringLiteral(" "), QString());                          // 7
        writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Andersson"), QStringLiteral("Borås"));  // 8
        writer.Commit();
    }
    void cleanupTestCase() { vb::ResetLocale(); }

    void personNamn_data()
    {
        QTest::addColumn<qint32>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("first and last") << 1 << QString::fromUtf8("Öjvind Öberg");
        QTest::newRow("blanks around the parts") << 2 << QString::fromUtf8("Anna Åkesson");
        QTest::newRow("no name") << 3 << QString();
        QTest::newRow("first name only") << 5 << QStringLiteral("Sofia");
        QTest::newRow("last name only") << 6 << QString::fromUtf8("Ekström");
        QTest::newRow("only blanks") << 7 << QString();
        QTest::newRow("no such resource") << 99 << QString();
        QTest::newRow("negative number") << -99 << QString();
    }
    void personNamn()
    {
        QFETCH(qint32, id);
        QFETCH(QString, name);
        OPENED_OR_FAIL(db, m_path);
        QCOMPARE(db.PersonNamn(id), name);
        QCOMPARE(db.PersonNamn(id), name); // the prepared statement is used again
    }

    void resourceRecords_data()
    {
        QTest::addColumn<QList<qint32>>("args");
        QTest::addColumn<QList<qint32>>("ids");
        QTest::newRow("five zeros: all, by number")
            << QList<qint32>{0, 0, 0, 0, 0} << QList<qint32>{1, 2, 3, 4, 5, 6, 7, 8};
        // Andersson Anna, Andersson Per, Ekström, Sofia (no last name sorts first among the
        // named), Åkesson, Öberg in Swedish order; the nameless last.
        QTest::newRow("by name") << QList<qint32>{1, 0, 0, 0, 0} << QList<qint32>{5, 8, 4, 6, 2, 1, 3, 7};
        QTest::newRow("without the nameless") << QList<qint32>{0, 1, 0, 0, 0} << QList<qint32>{1, 2, 4, 5, 6, 8};
        QTest::newRow("all but 4") << QList<qint32>{0, 0, 4, 0, 0} << QList<qint32>{1, 2, 3, 5, 6, 7, 8};
        QTest::newRow("only 6") << QList<qint32>{0, 0, 0, 6, 0} << QList<qint32>{6};
        QTest::newRow("only one not there") << QList<qint32>{0, 0, 0, 99, 0} << QList<qint32>{};
        QTest::newRow("at most 3 by name") << QList<qint32>{1, 0, 0, 0, 3} << QList<qint32>{5, 8, 4};
    }
    void resourceRecords()
    {
        QFETCH(QList<qint32>, args);
        QFETCH(QList<qint32>, ids);
        OPENED_OR_FAIL(db, m_path);
        QCOMPARE(Keys(db.HämtaPersoner(args[0], args[1], args[2], args[3], args[4]), QStringLiteral("ID")), ids);
    }

    void resourceRecordFields()
    {
        OPENED_OR_FAIL(db, m_path);
        Recordset records = db.HämtaPersoner(0, 0, 0, 2, 0);
        QCOMPARE(records.RecordCount(), 1);
        QCOMPARE(records[QStringLiteral("ID")].toInt(), 2);
        // The stored names as they are; only PersonNamn and the lists trim.
        QCOMPARE(records[QStringLiteral("FörNamn")].toString(), QStringLiteral(" Anna "));
        QCOMPARE(records[QStringLiteral("EfterNamn")].toString(), QString::fromUtf8("Åkesson "));
        QCOMPARE(records[QStringLiteral("Placering")].toString(), QString::fromUtf8("Malmö"));
    }

    void badArgumentsRaise5()
    {
        OPENED_OR_FAIL(db, m_path);
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.HämtaPersoner(2, 0, 0, 0, 0));
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.HämtaPersoner(0, 0, 0, 0, -1));
        Lines lines;
        qint32 count = 0;
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.FyllAllaResurser(lines, 3, 0, 0, 0, count, 0, 0));
        EXPECT_RAISES(vb::ErrInvalidProcedureCall, db.FyllAllaResurser(lines, 2, 0, 0, 2, count, 0, 0));
        QCOMPARE(lines.clears, 0);
    }

    void fyllAllaResurser_data()
    {
        QTest::addColumn<QList<qint32>>("args"); // visning, sortering, utanNamnlösa, läggTill, utelämna, högst
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<qint32>>("data");
        const QString svensk = QString::fromUtf8("Öjvind Öberg, Umeå|Anna Åkesson, Malmö|(Namnlös resurs 3), Lund|"
                                                 "Per Andersson|Sofia, Kalmar|Ekström|(Namnlös resurs 7)|"
                                                 "Anna Andersson, Borås");
        QTest::newRow("2, 0, 0, 0, n, 0, 0") << QList<qint32>{2, 0, 0, 0, 0, 0} << svensk.split(QLatin1Char('|'))
                                             << QList<qint32>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("names only") << QList<qint32>{1, 0, 0, 0, 0, 0}
                                    << QString::fromUtf8("Öjvind Öberg|Anna Åkesson|(Namnlös resurs 3)|Per Andersson|"
                                                         "Sofia|Ekström|(Namnlös resurs 7)|Anna Andersson")
                                           .split(QLatin1Char('|'))
                                    << QList<qint32>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("by name without the nameless, at most 4")
            << QList<qint32>{1, 1, 1, 0, 0, 4}
            << QString::fromUtf8("Sofia|Anna Andersson|Per Andersson|Ekström").split(QLatin1Char('|'))
            << QList<qint32>{5, 8, 4, 6};
        QTest::newRow("all but 1")
            << QList<qint32>{1, 0, 1, 0, 1, 0}
            << QString::fromUtf8("Anna Åkesson|Per Andersson|Sofia|Ekström|Anna Andersson").split(QLatin1Char('|'))
            << QList<qint32>{2, 4, 5, 6, 8};
        // Added below what the list holds, "(alla)" here.
        QTest::newRow("added below, at most 2")
            << QList<qint32>{1, 0, 1, 1, 0, 2}
            << QString::fromUtf8("(alla)|Öjvind Öberg|Anna Åkesson").split(QLatin1Char('|'))
            << QList<qint32>{-99, 1, 2};
    }
    void fyllAllaResurser()
    {
        QFETCH(QList<qint32>, args);
        QFETCH(QStringList, texts);
        QFETCH(QList<qint32>, data);
        OPENED_OR_FAIL(db, m_path);
        const bool below = args[3] != 0;
        Lines lines;
        lines.AddItem(below ? QStringLiteral("(alla)") : QStringLiteral("left from before"), below ? -99 : -1);
        qint32 count = 0;
        db.FyllAllaResurser(lines, args[0], args[1], args[2], args[3], count, args[4], args[5]);
        QCOMPARE(lines.clears, below ? 0 : 1);
        QCOMPARE(lines.texts, texts);
        QCOMPARE(lines.data, data);
        QCOMPARE(count, qint32(data.size()) - (below ? 1 : 0));
    }

    // The names are kept by the connection; a change shows, whoever made it.
    void namesFollowChanges()
    {
        const QString path = CreateDatabase();
        OPENED_OR_FAIL(db, path);
        AddResource(db, QStringLiteral("Anna"), QStringLiteral("Berg"));
        QCOMPARE(db.PersonNamn(1), QStringLiteral("Anna Berg"));
        AddResource(db, QStringLiteral("Per"), QStringLiteral("Ek"));
        QCOMPARE(db.PersonNamn(2), QStringLiteral("Per Ek"));
        {
            BulkWriter writer(db);
            writer.AddResource(QStringLiteral("Ulla"), QStringLiteral("Ny"), QString());
            QCOMPARE(db.PersonNamn(3), QStringLiteral("Ulla Ny")); // seen inside its transaction
        }                                                          // rolled back
        QCOMPARE(db.PersonNamn(3), QString());
        {
            RawConnection other(path);
            QVERIFY(other.Exec(QStringLiteral("UPDATE \"Personer\" SET \"EfterNamn\" = 'Lind' WHERE \"ID\" = 1")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(db.PersonNamn(1), QStringLiteral("Anna Lind"), 2000);
    }
};

BOOKING_TEST_MAIN(TestBookingResources)
#include "test_booking_resources.moc"
