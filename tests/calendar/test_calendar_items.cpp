// Items of the calendar object model: properties and what they become in the file, notes and
// tasks, the marker index and searching.
#include "CalendarTestSupport.h"

using namespace cal;
using namespace caltest;

class TestCalendarItems : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitCalendarTest(); }
    void cleanup() { QuitRunningApplication(); }

    void propertiesRoundTripAndFileShape_data()
    {
        QTest::addColumn<int>("busy");
        QTest::addColumn<QStringList>("busyLines"); // what the busy status becomes in the file
        QTest::newRow("tentative") << int(olTentative)
                                   << QStringList{"TRANSP:OPAQUE", "X-MICROSOFT-CDO-BUSYSTATUS:TENTATIVE"};
        QTest::newRow("free is transparent")
            << int(olFree) << QStringList{"TRANSP:TRANSPARENT", "X-MICROSOFT-CDO-BUSYSTATUS:FREE"};
    }

    void propertiesRoundTripAndFileShape()
    {
        QFETCH(int, busy);
        QFETCH(QStringList, busyLines);
        const QString place = NewPlace();
        const QString file = SaveAppointment(place, [busy](Item& item) {
            item.SetStart(At(2026, 7, 1, 9, 15));
            item.SetEnd(At(2026, 7, 1, 10, 45));
            item.SetSubject(QStringLiteral("Möte; med, kund"));
            item.SetBody(QStringLiteral("Rad ett\r\nRad två"));
            item.SetLocation(QStringLiteral("Rum Ekö"));
            item.SetBusyStatus(busy);
            item.SetReminderMinutesBeforeStart(20);
            item.SetReminderPlaySound(true);
            item.SetReminderSoundFile(QStringLiteral("4711"));
            item.SetBillingInformation(QStringLiteral("4711"));
            item.SetMileage(QStringLiteral("4711"));
        });
        QVERIFY(QFileInfo::exists(file) && !QFileInfo(file).completeBaseName().isEmpty());
        auto app = Application::Create(place);
        Items items = CalendarItems(app);
        QCOMPARE(items.Count(), 1);
        const Item item = items.Item(1);
        QCOMPARE(item.EntryID(), QFileInfo(file).completeBaseName());
        QCOMPARE(item.Start(), At(2026, 7, 1, 9, 15));
        QCOMPARE(item.End(), At(2026, 7, 1, 10, 45));
        QCOMPARE(item.Duration(), 90);
        QCOMPARE(item.Subject(), QStringLiteral("Möte; med, kund"));
        QCOMPARE(item.Body(), QStringLiteral("Rad ett\r\nRad två"));
        QCOMPARE(item.Location(), QStringLiteral("Rum Ekö"));
        QCOMPARE(item.BusyStatus(), busy);
        QCOMPARE(item.ReminderMinutesBeforeStart(), 20);
        QVERIFY(item.ReminderSet());
        QVERIFY(item.ReminderPlaySound());
        QCOMPARE(item.ReminderSoundFile(), QStringLiteral("4711"));
        QCOMPARE(item.BillingInformation(), QStringLiteral("4711"));
        QCOMPARE(item.Mileage(), QStringLiteral("4711"));
        QVERIFY(!item.AllDayEvent());
        QVERIFY(!item.IsRecurring());
        QVERIFY(item.CreationTime().isValid() && item.CreationTime() != EmptyDate());
        QCOMPARE(item.Get(QStringLiteral("mileage")).toString(), QStringLiteral("4711"));

        // Unfold the lines before looking.
        const QByteArray text = ReadBytes(file).replace("\r\n ", "");
        for (const char* line :
             {"DTSTART;TZID=Europe/Stockholm:20260701T091500", "DTEND;TZID=Europe/Stockholm:20260701T104500",
              "BEGIN:VTIMEZONE", "TZID:Europe/Stockholm", "TRIGGER:-PT20M", "X-ALMBRO-BILLINGINFORMATION:4711",
              "X-ALMBRO-MILEAGE:4711", "X-ALMBRO-REMINDERSOUNDFILE:4711", "X-ALMBRO-REMINDERPLAYSOUND:TRUE",
              "DESCRIPTION:Rad ett\\nRad två", "SUMMARY:Möte\\; med\\, kund"})
            QVERIFY2(text.contains(line), line);
        for (const QString& line : busyLines)
            QVERIFY2(text.contains(line.toUtf8()), qPrintable(line));
        QVERIFY2(!text.contains("VALUE="), text.constData());
    }

    void startKeepsLengthEndChangesIt_data()
    {
        QTest::addColumn<QStringList>("steps"); // "S hh:mm", "E hh:mm", "D minutes", "save"
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("duration");
        QTest::newRow("start moves the end") << QStringList{"S 14:00"} << "14:00" << "15:30" << 90;
        QTest::newRow("end changes the length") << QStringList{"E 12:00"} << "10:00" << "12:00" << 120;
        QTest::newRow("duration moves the end") << QStringList{"D 30"} << "10:00" << "10:30" << 30;
        QTest::newRow("end then start, as an update writes them") << QStringList{"E 15:00", "S 14:00"} << "14:00" << "15:00" << 60;
        QTest::newRow("end then start, earlier") << QStringList{"E 08:30", "S 08:00"} << "08:00" << "08:30" << 30;
        QTest::newRow("after a save, start keeps the length again") << QStringList{"E 15:00", "save", "S 16:00"} << "16:00" << "21:00" << 300;
    }

    void startKeepsLengthEndChangesIt()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(int, duration);
        auto app = Application::Create(NewPlace());
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 5, 4, 10));
        item.SetEnd(At(2026, 5, 4, 11, 30));
        item.Save();
        Item again = CalendarItems(app).Item(1);
        auto time = [](const QString& s) { return QDateTime(QDate(2026, 5, 4), QTime::fromString(s, QStringLiteral("HH:mm"))); };
        for (const QString& step : steps) {
            if (step == QLatin1String("save"))
                again.Save();
            else if (step.startsWith(QLatin1Char('S')))
                again.SetStart(time(step.mid(2)));
            else if (step.startsWith(QLatin1Char('E')))
                again.SetEnd(time(step.mid(2)));
            else
                again.SetDuration(step.mid(2).toInt());
        }
        again.Save();
        app->Quit();
        auto reopened = Application::Create(app->Location());
        const Item read = CalendarItems(reopened).Item(1);
        QCOMPARE(read.Start(), time(start));
        QCOMPARE(read.End(), time(end));
        QCOMPARE(read.Duration(), duration);
    }

    void setWithWrongKindOfValue_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("number");
        QTest::newRow("start from words") << "Start" << QVariant(QStringLiteral("igår")) << int(vb::ErrTypeMismatch);
        QTest::newRow("duration from words") << "Duration" << QVariant(QStringLiteral("lång")) << int(vb::ErrTypeMismatch);
        QTest::newRow("unknown property") << "Färg" << QVariant(1) << int(vb::ErrNoSuchProperty);
        QTest::newRow("read-only EntryID") << "EntryID" << QVariant(QStringLiteral("x")) << int(ErrCalendar);
        QTest::newRow("task property on an appointment") << "DueDate" << QVariant(At(2026, 1, 1)) << int(vb::ErrNoSuchProperty);
    }

    void setWithWrongKindOfValue()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(int, number);
        auto app = Application::Create(NewPlace());
        Item item = app->CreateItem(olAppointmentItem);
        const QString error = Raised([&] { item.Set(property, value); });
        QVERIFY2(error.startsWith(QStringLiteral("%1: ").arg(number)), qPrintable(error));
    }

    void notesAndTasks()
    {
        auto app = Application::Create(NewPlace());
        Item note = app->CreateItem(olNoteItem);
        note.SetBody(QStringLiteral("Första raden\r\nresten"));
        note.Save();
        Item task = app->CreateItem(olTaskItem);
        task.SetSubject(QStringLiteral("Ring kunden"));
        task.Set(QStringLiteral("StartDate"), At(2026, 3, 2));
        task.Save();
        app->Quit();
        auto again = Application::Create(app->Location());
        const NameSpace ns = again->GetNamespace(QStringLiteral("MAPI"));
        const Item n = ns.GetDefaultFolder(olFolderNotes).Items().Item(1);
        QCOMPARE(n.Subject(), QStringLiteral("Första raden")); // a note's subject is its first line
        QCOMPARE(n.Class(), Collection::Notes);
        const Item t = ns.GetDefaultFolder(olFolderTasks).Items().Item(1);
        QCOMPARE(t.Subject(), QStringLiteral("Ring kunden"));
        QCOMPARE(t.StartDate(), At(2026, 3, 2));
        QCOMPARE(t.DateCompleted(), EmptyDate());
        QVERIFY(ReadBytes(again->Location() + QStringLiteral("/Tasks/") + t.EntryID() + QStringLiteral(".ics"))
                    .contains("DTSTART;VALUE=DATE:20260302"));
    }

    void markerIndexFollowsChanges()
    {
        auto app = Application::Create(NewPlace());
        for (const char* marker : {"100", "200", "300"}) {
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 1, 5, 10));
            item.SetSubject(QLatin1String(marker));
            item.SetBillingInformation(QLatin1String(marker));
            item.SetMileage(QLatin1String(marker));
            item.SetReminderSoundFile(QLatin1String(marker));
            item.Save();
        }
        Items items = CalendarItems(app);
        const QString find200 = QStringLiteral("[BillingInformation] = 200 OR [Mileage] = 200 OR [ReminderSoundFile] = 200");
        Item found = items.Find(find200);
        QVERIFY(found);
        QCOMPARE(found.Subject(), QStringLiteral("200"));
        QVERIFY(!items.FindNext());

        // Changed markers are found by their new value only.
        found.SetBillingInformation(QStringLiteral("201"));
        found.SetMileage(QStringLiteral("201"));
        found.SetReminderSoundFile(QStringLiteral("201"));
        found.Save();
        QVERIFY(!items.Find(find200));
        QVERIFY(items.Find(QStringLiteral("[ReminderSoundFile] = 201")));

        found.Delete();
        QVERIFY(!items.Find(QStringLiteral("[ReminderSoundFile] = 201")));
        QCOMPARE(items.Count(), 2);
        QCOMPARE(IcsFiles(app->Location() + QStringLiteral("/Calendar")).size(), 2);
    }

    void findNextContinues()
    {
        auto app = Application::Create(NewPlace());
        for (int i = 0; i < 4; ++i) {
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 1, 5 + (i * 7) % 4, 10));
            item.SetSubject(QString::number(i));
            item.SetMileage(i == 2 ? QStringLiteral("x") : QStringLiteral("7"));
            item.Save();
        }
        Items items = CalendarItems(app);
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, items.FindNext());
        const auto order = [&items] {
            QStringList out;
            for (Item i = items.Find(QStringLiteral("[Mileage] = 7")); i; i = items.FindNext())
                out << i.Subject();
            return out;
        };
        QCOMPARE(order(), (QStringList{"0", "1", "3"})); // folder order: as they were made
        items.Sort(QStringLiteral("[Start]"));
        QCOMPARE(order(), (QStringList{"0", "3", "1"})); // days 5, 6, 8
        items.Sort(QStringLiteral("Subject"), true);
        QCOMPARE(items.Item(1).Subject(), QStringLiteral("3"));
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, items.Item(5));
    }
};

ALMBRO_TEST_MAIN(TestCalendarItems)
#include "test_calendar_items.moc"
