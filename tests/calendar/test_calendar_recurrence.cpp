// Recurring items: expansion in a window, occurrences and their exceptions, and foreign input
// that would cost without bound (skipped with a reason, the rest listed as ever).
#include "CalendarTestSupport.h"

using namespace cal;
using namespace caltest;

class TestCalendarRecurrence : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitCalendarTest(); }
    void cleanup() { QuitRunningApplication(); }

    void recurrencesFromAWindowsExport_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        // The series' occurrences as a whole are compared with another reader by the corpus test.
        QTest::newRow("the excluded Monday") << "[Start] >= \"2026-11-16\" AND [End] <= \"2026-11-17\"" << QStringList();
        QTest::newRow("the moved Monday, by its new time")
            << "[Start] >= \"2026-11-23 10:00\" AND [End] <= \"2026-11-24\""
            << QStringList{"2026-11-23 10:30|2026-11-23 11:00|Veckomöte (flyttat)"};
        QTest::newRow("not at its old time") << "[Start] >= \"2026-11-23 08:00\" AND [End] <= \"2026-11-23 10:00\"" << QStringList();
        QTest::newRow("last occurrence on the bound") << "[Start] >= \"2026-12-28 08:30\""
                                                      << QStringList{"2026-12-28 08:30|2026-12-28 09:00|Veckomöte"};
        QTest::newRow("a minute after the last") << "[Start] >= \"2026-12-28 08:31\"" << QStringList();
        QTest::newRow("end bound one minute short") << "[Start] >= \"2026-12-07\" AND [End] <= \"2026-12-07 08:59\"" << QStringList();
        QTest::newRow("all-day event in a one-day window") << "[Start] >= \"2026-12-08\" AND [End] <= \"2026-12-09\""
                                                           << QStringList{"2026-12-08 00:00|2026-12-09 00:00|Utbildningsdag"};
    }

    void recurrencesFromAWindowsExport()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        auto app = Application::Create(WindowsExport());
        QCOMPARE(Listing(SortedWithRecurrences(app), filter), expected);
    }

    void withoutSortOrRecurrencesASeriesIsOneItem()
    {
        auto app = Application::Create(WindowsExport());
        Items items = CalendarItems(app);
        QCOMPARE(items.Count(), 3);
        items.SetIncludeRecurrences(true); // no effect without the sort on Start
        QCOMPARE(Listing(items, QStringLiteral("[Subject] = \"Veckomöte\"")),
                 QStringList{"2026-11-02 08:30|2026-11-02 09:00|Veckomöte"});
        const Item series = items.Find(QStringLiteral("[Subject] = \"Veckomöte\""));
        QVERIFY(series.IsRecurring());
        QVERIFY(!series.EntryID().contains(QLatin1Char('#')));
    }

    void occurrenceEntryIdsAreStable()
    {
        const QString file = WindowsExport();
        QStringList first, second;
        for (QStringList* ids : {&first, &second}) {
            auto app = Application::Create(file);
            Items items = SortedWithRecurrences(app);
            for (Item i = items.Find(QStringLiteral("[Start] >= \"2026-11-01\" AND [End] <= \"2026-11-24\"")); i; i = items.FindNext())
                *ids << i.EntryID();
            app->Quit();
        }
        QCOMPARE(first.size(), 3);
        QCOMPARE(first, second);
        QVERIFY(first.at(2).endsWith(QLatin1String("#20261123T073000Z"))); // the moved one keeps its original start
    }

    void changingAndDeletingOneOccurrence()
    {
        const QString place = NewPlace();
        WriteText(place + QStringLiteral("/Calendar/vecka.ics"), Series(QStringLiteral("vecka"), "20260105T080000", "FREQ=WEEKLY;COUNT=4"));
        auto app = Application::Create(place);
        const QString window = QStringLiteral("[Start] >= \"2026-01-01\" AND [End] <= \"2026-02-01\"");
        Items items = SortedWithRecurrences(app);
        Item second = items.Find(window);
        second = items.FindNext();
        QCOMPARE(second.Start(), At(2026, 1, 12, 8));
        second.SetSubject(QStringLiteral("Andra gången"));
        second.SetStart(At(2026, 1, 12, 13));
        second.Save();
        Item third = items.FindNext();
        QCOMPARE(third.Start(), At(2026, 1, 19, 8));
        third.Delete();
        app->Quit();

        auto again = Application::Create(place);
        QCOMPARE(Listing(SortedWithRecurrences(again), window),
                 (QStringList{"2026-01-05 08:00|2026-01-05 09:00|vecka", "2026-01-12 13:00|2026-01-12 14:00|Andra gången",
                              "2026-01-26 08:00|2026-01-26 09:00|vecka"}));
    }

    void seriesWithoutEndStaysBounded_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("count");
        QTest::newRow("one month") << "[Start] >= \"2031-03-01\" AND [End] <= \"2031-04-01\"" << 31;
        QTest::newRow("across the spring change, still 08:00") << "[Start] >= \"2031-03-30\" AND [End] <= \"2031-03-31\"" << 1;
        QTest::newRow("no upper bound: ten years, not forever") << "[Start] >= \"2031-01-01\"" << 3653;
        QTest::newRow("no bound at all") << "[Subject] = daglig" << -1;
    }

    void seriesWithoutEndStaysBounded()
    {
        QFETCH(QString, filter);
        QFETCH(int, count);
        const QString place = NewPlace();
        WriteText(place + QStringLiteral("/Calendar/daglig.ics"), Series(QStringLiteral("daglig"), "20200101T080000", "FREQ=DAILY"));
        auto app = Application::Create(place);
        Items items = SortedWithRecurrences(app);
        int n = 0;
        for (Item i = items.Find(filter); i; i = items.FindNext()) {
            QCOMPARE(i.Start().time(), QTime(8, 0));
            ++n;
        }
        if (count >= 0)
            QCOMPARE(n, count);
        else
            QVERIFY2(n > 0 && n <= 10000, qPrintable(QString::number(n)));
    }

    // Series without COUNT are expanded from the window's start; with COUNT, from their own.
    // Both must give the same occurrences.
    void expansionFromTheWindowMatchesFromTheStart_data()
    {
        QTest::addColumn<QByteArray>("rule");
        QTest::newRow("weekly two days") << QByteArray("FREQ=WEEKLY;BYDAY=MO,WE");
        QTest::newRow("every third day") << QByteArray("FREQ=DAILY;INTERVAL=3");
        QTest::newRow("31st of the month") << QByteArray("FREQ=MONTHLY;BYMONTHDAY=31");
        QTest::newRow("last Friday") << QByteArray("FREQ=MONTHLY;BYDAY=-1FR");
        QTest::newRow("every other month, 2nd Tuesday") << QByteArray("FREQ=MONTHLY;INTERVAL=2;BYDAY=2TU");
        QTest::newRow("yearly in May") << QByteArray("FREQ=YEARLY;BYMONTH=5;BYMONTHDAY=20");
    }

    void expansionFromTheWindowMatchesFromTheStart()
    {
        QFETCH(QByteArray, rule);
        const QString place = NewPlace();
        WriteText(place + QStringLiteral("/Calendar/open.ics"), Series(QStringLiteral("open"), "20200120T073000", rule));
        WriteText(place + QStringLiteral("/Calendar/counted.ics"),
                  Series(QStringLiteral("counted"), "20200120T073000", rule + ";COUNT=3000"));
        auto app = Application::Create(place);
        Items items = SortedWithRecurrences(app);
        const auto starts = [&items](const QString& subject) {
            QStringList out;
            for (Item i = items.Find(QStringLiteral("[Subject] = %1 AND [Start] >= \"2031-01-01\" AND [End] <= \"2031-07-01\"").arg(subject)); i;
                 i = items.FindNext())
                out << i.Start().toString(Qt::ISODate);
            return out;
        };
        const QStringList counted = starts(QStringLiteral("counted"));
        QVERIFY(!counted.isEmpty());
        QCOMPARE(starts(QStringLiteral("open")), counted);
    }

    void occurrencesGiveTheSeriesReminderAndTheirOwnTimes()
    {
        const QString place = NewPlace();
        WriteText(place + QStringLiteral("/Calendar/p.ics"),
                  Series(QStringLiteral("p"), "20260302T080000", "FREQ=WEEKLY;COUNT=3",
                         "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:p\r\nTRIGGER:-PT20M\r\nEND:VALARM\r\n"));
        for (int run = 0; run < 2; ++run) { // parsed, then from the cache
            auto app = Application::Create(place);
            Items items = SortedWithRecurrences(app);
            int n = 0;
            for (Item i = items.Find(QStringLiteral("[Start] >= \"2026-03-01\" AND [End] <= \"2026-04-01\"")); i;
                 i = items.FindNext(), ++n) {
                QCOMPARE(i.ReminderMinutesBeforeStart(), 20);
                QCOMPARE(i.Start(), At(2026, 3, 2 + 7 * n, 8));
                QCOMPARE(i.StartSecs(), i.Start().toSecsSinceEpoch());
                QCOMPARE(i.EndSecs(), i.End().toSecsSinceEpoch());
                QCOMPARE(i.EntryID(), QStringList({"p#20260302T070000Z", "p#20260309T070000Z", "p#20260316T070000Z"}).value(n));
            }
            QCOMPARE(n, 3);
            app->Quit();
        }
    }

    void hostileInputIsSkippedWithAReason_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("vdir");
        const QList<std::tuple<const char*, QByteArray, const char*>> inputs = {
            {"zone changing every minute since 1601", MinutelyZone(), "changes its offset far more often than any real zone"},
            {"series every minute, forever", Series(QStringLiteral("minutvis"), "20260101T000000", "FREQ=MINUTELY"),
             "repeats more often than 10000 times"},
            {"series every second, a billion times",
             Series(QStringLiteral("sekundvis"), "20260101T000000", "FREQ=SECONDLY;COUNT=1000000000"), "repeats more often than 10000 times"},
        };
        for (const auto& [name, text, reason] : inputs) {
            QTest::newRow(qPrintable(QStringLiteral("%1, vdir").arg(QLatin1String(name)))) << text << reason << true;
            QTest::newRow(qPrintable(QStringLiteral("%1, single file").arg(QLatin1String(name)))) << text << reason << false;
        }
    }

    void hostileInputIsSkippedWithAReason()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QFETCH(bool, vdir);
        // Beside an ordinary appointment of the same month.
        const QByteArray ordinary = Single(QStringLiteral("vanlig"), "20260310T090000");
        QString place;
        if (vdir) {
            place = StoreHolding(text, true);
            WriteText(place + QStringLiteral("/Calendar/vanlig.ics"), ordinary);
        } else {
            QByteArray both = text;
            both.insert(both.lastIndexOf("END:VCALENDAR"), ordinary.mid(ordinary.indexOf("BEGIN:VEVENT"),
                                                                         ordinary.indexOf("END:VCALENDAR") - ordinary.indexOf("BEGIN:VEVENT")));
            place = StoreHolding(both, false);
        }
        auto app = Application::Create(place);
        const QStringList listed = Listing(SortedWithRecurrences(app), QStringLiteral("[Start] >= \"2026-03-01\" AND [End] <= \"2026-04-01\""));
        QCOMPARE(listed, QStringList{QStringLiteral("2026-03-10 09:00|2026-03-10 10:00|vanlig")});
        const QStringList errors = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).LoadErrors();
        QVERIFY2(errors.size() == 1 && errors.first().startsWith(place) && errors.first().contains(reason),
                 qPrintable(errors.join(QLatin1Char('\n'))));
    }

    // An occurrence that follows a RANGE=THISANDFUTURE change, changed on its own: it keeps the
    // time and texts it followed, with the new subject, and the others still follow the change.
    void occurrenceAfterAThisAndFutureChangeIsChangedAlone_data() { VdirAndSingleFileRows(); }

    void occurrenceAfterAThisAndFutureChangeIsChangedAlone()
    {
        QFETCH(bool, vdir);
        const QString place =
            StoreHolding(ReadBytes(DataFile(QStringLiteral("corpus/almbro_range_thisandfuture.ics"))), vdir);
        const QString march = QStringLiteral("[Start] >= \"2026-03-30\" AND [End] <= \"2026-04-21\"");
        {
            auto app = Application::Create(place);
            Items items = SortedWithRecurrences(app);
            Item item = items.Find(QStringLiteral("[Start] >= \"2026-04-13\" AND [End] <= \"2026-04-14\""));
            QVERIFY(item);
            QCOMPARE(item.Subject(), QStringLiteral("Veckomöte efter lunch"));
            item.SetSubject(QStringLiteral("Veckomöte, egen ändring"));
            item.Save();
        }
        auto app = Application::Create(place);
        QCOMPARE(Listing(SortedWithRecurrences(app), march),
                 (QStringList{QStringLiteral("2026-03-30 13:30|2026-03-30 15:00|Veckomöte efter lunch"),
                              QStringLiteral("2026-04-07 08:00|2026-04-07 08:30|Flyttat en gång"),
                              QStringLiteral("2026-04-13 13:30|2026-04-13 15:00|Veckomöte, egen ändring"),
                              QStringLiteral("2026-04-20 13:30|2026-04-20 15:00|Veckomöte efter lunch")}));
    }

    void sixteenMegabyteLineIsRead()
    {
        const QByteArray body(16 << 20, 'x');
        const QString place = StoreHolding(Single(QStringLiteral("lang"), "20260310T090000", "DESCRIPTION:" + body + "\r\n"), true);
        auto app = Application::Create(place);
        const Item item = CalendarItems(app).Find(QStringLiteral("[Subject] = lang"));
        QVERIFY(item);
        QCOMPARE(item.Body().size(), body.size());
    }
};

ALMBRO_TEST_MAIN(TestCalendarRecurrence)
#include "test_calendar_recurrence.moc"
