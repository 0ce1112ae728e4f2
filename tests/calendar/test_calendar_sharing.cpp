// A calendar shared with other programs: their files read and kept, their changes seen (also
// past the summary cache), and their items never overwritten.
#include "CalendarTestSupport.h"

using namespace cal;
using namespace caltest;

class TestCalendarSharing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitCalendarTest(); }
    void cleanup() { QuitRunningApplication(); }

    // Other programs' files are read (and their occurrences compared with another reader) by the
    // corpus test; here, what a file's unusable event is said to be.
    void unusableEventIsNamed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("start that is no date") << "broken_dtstart.ics" << "has no valid start (DTSTART)";
        QTest::newRow("impossible length") << "invalid_duration.ics" << "has a length (DURATION) no event can have";
    }

    void unusableEventIsNamed()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        // In a vdir, as one file among ours; as a single calendar file.
        for (const bool vdir : {true, false}) {
            const QString location = StoreHolding(ReadBytes(DataFile(file)), vdir);
            const QString path = vdir ? location + QStringLiteral("/Calendar/item.ics") : location;
            auto app = Application::Create(location);
            const MAPIFolder calendar = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar);
            const QStringList errors = calendar.LoadErrors();
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.first().startsWith(path) && errors.first().contains(error), qPrintable(errors.first()));
            QCOMPARE(calendar.Items().Count(), 0);
            app->Quit();
        }
    }

    void windowsZoneIsReadInItsZone()
    {
        auto app = Application::Create(WindowsExport());
        const Item item = CalendarItems(app).Find(QStringLiteral("[Subject] = \"Möte med Byggbolaget AB\""));
        QVERIFY(item);
        QCOMPARE(item.Start().toUTC(), QDateTime(QDate(2026, 12, 3), QTime(9, 0), Qt::UTC));
        QCOMPARE(item.ReminderMinutesBeforeStart(), 15);
        QCOMPARE(item.BusyStatus(), int(olBusy));
        QCOMPARE(item.Body(), QStringLiteral("Genomgång av offert med kunden.\r\nTa med ritningarna för plan 2.\r\n"));
        QCOMPARE(item.Location(), QStringLiteral("Konferensrum Ekö"));
    }

    void unknownPropertiesSurviveASave()
    {
        const QString file = WindowsExport();
        {
            auto app = Application::Create(file);
            Item item = CalendarItems(app).Find(QStringLiteral("[Subject] = \"Möte med Byggbolaget AB\""));
            item.SetSubject(QStringLiteral("Möte med Byggbolaget AB, flyttat"));
            item.SetStart(At(2026, 12, 4, 10));
            item.Save();
        }
        const QByteArray text = ReadBytes(file).replace("\r\n ", "");
        for (const char* kept : {"X-MS-OLK-FORCEINSPECTOROPEN:TRUE", "METHOD:PUBLISH", "X-MICROSOFT-CDO-IMPORTANCE:1",
                                 "X-MS-OLK-AUTOFILLLOCATION:FALSE", "PRIORITY:5", "CLASS:PUBLIC",
                                 "SUMMARY;LANGUAGE=sv:Veckomöte (flyttat)", "EXDATE;TZID=\"W. Europe Standard Time\":20261116T083000",
                                 "TZID:W. Europe Standard Time", "SUMMARY:Möte med Byggbolaget AB\\, flyttat",
                                 "DTSTART;TZID=Europe/Stockholm:20261204T100000", "DTEND;TZID=Europe/Stockholm:20261204T113000",
                                 "TRIGGER:-PT15M"})
            QVERIFY2(text.contains(kept), kept);
        auto again = Application::Create(file);
        QCOMPARE(CalendarItems(again).Count(), 3);
    }

    // Another program changes an item's file after the cache was written: anew (a new file of
    // the same name) or, as editors and copying tools do, in the file itself (same name, inode
    // and size), some then setting the modification time back.
    void fileChangedByAnotherProgramIsReadAgain_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("timeSetBack");
        QTest::newRow("written anew") << false << false;
        QTest::newRow("in place, new modification time") << true << false;
        QTest::newRow("in place, modification time set back") << true << true;
    }

    void fileChangedByAnotherProgramIsReadAgain()
    {
        QFETCH(bool, inPlace);
        QFETCH(bool, timeSetBack);
        const QString place = NewPlace();
        const QString name = SaveAppointment(place, [](Item& item) {
            item.SetStart(At(2026, 2, 2, 9));
            item.SetBillingInformation(QStringLiteral("55"));
        });
        // Opened once more, so that the cache holds the item as it is now.
        QVERIFY(CalendarItems(Application::Create(place)).Find(QStringLiteral("[BillingInformation] = 55")));
        const std::initializer_list<std::pair<QByteArray, QByteArray>> change = {
            {"T090000", "T140000"}, {"BILLINGINFORMATION:55", "BILLINGINFORMATION:56"}};
        if (!inPlace) {
            RewriteElsewhere(name, change);
        } else {
            const QByteArray path = QFile::encodeName(name);
            struct stat before {};
            QCOMPARE(::stat(path.constData(), &before), 0);
            QByteArray text = ReadBytes(name);
            for (const auto& [from, to] : change)
                text.replace(from, to);
            QThread::msleep(20); // file times may be kept to a clock tick: let one pass
            {
                QFile file(name);
                QVERIFY(file.open(QIODevice::ReadWrite));
                QCOMPARE(file.write(text), text.size());
            }
            timespec times[2] = {before.st_atim, before.st_mtim};
            if (!timeSetBack)
                times[1].tv_sec += 1;
            QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
            struct stat after {};
            QCOMPARE(::stat(path.constData(), &after), 0);
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_size, before.st_size);
        }
        auto app = Application::Create(place);
        Items items = CalendarItems(app);
        QVERIFY(!items.Find(QStringLiteral("[BillingInformation] = 55")));
        const Item item = items.Find(QStringLiteral("[BillingInformation] = 56"));
        QVERIFY(item);
        QCOMPARE(item.Start(), At(2026, 2, 2, 14));
    }

    // The summary read from the text alone, where it answers at all, is the one the full parse
    // gives, field by field: for the usual shapes (each of which it must answer), for forms it
    // must leave to the parser, and for every event of the other programs' calendars.
    void quickSummaryEqualsFullParse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("mustAnswer");
        const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
        const QByteArray tail = "END:VCALENDAR\r\n";
        auto event = [&](const QByteArray& lines) {
            return head + "BEGIN:VEVENT\r\nUID:q-1\r\nDTSTAMP:20260101T000000Z\r\n" + lines + "END:VEVENT\r\n" + tail;
        };
        const QByteArray zone = ReadBytes(DataFile(QStringLiteral("corpus/almbro_allday_over_dst.ics")));
        const qsizetype zoneFrom = zone.indexOf("BEGIN:VTIMEZONE"), zoneTo = zone.indexOf("END:VTIMEZONE");
        const QByteArray vtimezone = zoneFrom >= 0 && zoneTo > zoneFrom ? zone.mid(zoneFrom, zoneTo - zoneFrom) + "END:VTIMEZONE\r\n"
                                                                        : QByteArray();
        struct Row {
            const char* name;
            QByteArray text;
            bool mustAnswer;
        };
        const Row rows[] = {
            {"zone of the system's database, with its VTIMEZONE",
             head + vtimezone + "BEGIN:VEVENT\r\nUID:q-2\r\nDTSTART;TZID=Europe/Stockholm:20260329T013000\r\n"
                                "DTEND;TZID=Europe/Stockholm:20260329T033000\r\nSUMMARY:Möte, rum 3; plan\r\nEND:VEVENT\r\n" + tail,
             true},
            {"UTC", event("DTSTART:20261025T003000Z\r\nDTEND:20261025T013000Z\r\nSUMMARY:utc\r\n"), true},
            {"floating", event("DTSTART:20261025T023000\r\nDURATION:PT1H30M\r\n"), true},
            {"date alone", event("DTSTART;VALUE=DATE:20260329\r\nSUMMARY:heldag\r\n"), true},
            {"dates", event("DTSTART;VALUE=DATE:20260328\r\nDTEND;VALUE=DATE:20260331\r\n"), true},
            {"date and days", event("DTSTART;VALUE=DATE:20261024\r\nDURATION:P2D\r\n"), true},
            {"weeks", event("DTSTART:20260105T080000\r\nDURATION:P1W\r\n"), true},
            {"days and hours", event("DTSTART:20260105T080000\r\nDURATION:P1DT2H3M4S\r\n"), true},
            {"Windows zone name", event("DTSTART;TZID=W. Europe Standard Time:20260601T100000\r\nDURATION:PT1H\r\n"), true},
            {"libical's prefix", event("DTSTART;TZID=/freeassociation.sourceforge.net/America/New_York:20260601T100000\r\n"), true},
            {"escapes and folds",
             event("DTSTART:20260601T100000Z\r\nSUMMARY:a\\, b\\; c\\\\ d\\nrad två\\Nrad tre\r\nDESCRIPTION:lång rad som\r\n  viks"
                   "\r\n\tpå två ställen\r\nLOCATION:Sal\\, 4\r\n"),
             true},
            {"line breaks alone, byte-order mark",
             QByteArray("\xEF\xBB\xBF") + event("DTSTART:20260601T100000Z\r\nSUMMARY:lf\r\n").replace("\r\n", "\n"), true},
            {"lower-case names", event("dtstart:20260601T100000Z\r\nsummary:small\r\n"), true},
            {"an X- name in small letters", event("DTSTART:20260601T100000Z\r\nx-almbro-mileage:42\r\n"), false},
            {"no UID", head + "BEGIN:VEVENT\r\nDTSTART:20260601T100000Z\r\nEND:VEVENT\r\n" + tail, true},
            {"free, markers, alarm",
             event("DTSTART:20260601T100000Z\r\nTRANSP:TRANSPARENT\r\nX-ALMBRO-BILLINGINFORMATION:77\r\nX-ALMBRO-MILEAGE:77\r\n"
                   "X-ALMBRO-REMINDERSOUNDFILE:77\r\nX-ALMBRO-REMINDERPLAYSOUND:true\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                   "DESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\nBEGIN:VALARM\r\nTRIGGER:-PT1H\r\nEND:VALARM\r\n"),
             true},
            {"busy status named, alarm after the end",
             event("DTSTART:20260601T100000Z\r\nX-MICROSOFT-CDO-BUSYSTATUS:OOF\r\nTRANSP:TRANSPARENT\r\nBEGIN:VALARM\r\n"
                   "TRIGGER;RELATED=END:PT5M\r\nEND:VALARM\r\n"),
             true},
            {"unknown properties and parameters elsewhere",
             event("DTSTART:20260601T100000Z\r\nATTENDEE;CN=\"Doe, Jane\":mailto:jane@example.org\r\nX-OTHER;X-P=1:v\r\n"
                   "CATEGORIES:a,b\r\nEXDATE:20260601T100000Z\r\n"),
             true},
            {"a series", event("DTSTART:20260601T100000Z\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"), false},
            {"an occurrence alone", event("DTSTART:20260601T100000Z\r\nRECURRENCE-ID:20260601T100000Z\r\n"), false},
            {"a zone only the file defines",
             head + "BEGIN:VTIMEZONE\r\nTZID:Egen\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\nTZOFFSETFROM:+0500\r\n"
                    "TZOFFSETTO:+0500\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:q-3\r\n"
                    "DTSTART;TZID=Egen:20260601T100000\r\nEND:VEVENT\r\n" + tail,
             false},
            {"a zone whose rules change every minute",
             head + "BEGIN:VTIMEZONE\r\nTZID:Europe/Stockholm\r\nBEGIN:STANDARD\r\nDTSTART:16010101T000000\r\n"
                    "RRULE:FREQ=MINUTELY\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                    "BEGIN:VEVENT\r\nUID:q-4\r\nDTSTART;TZID=Europe/Stockholm:20260601T100000\r\nEND:VEVENT\r\n" + tail,
             false},
            {"blanks around a text", event("DTSTART:20260601T100000Z\r\nSUMMARY:  kant  \r\n"), false},
            {"a tab escape", event("DTSTART:20260601T100000Z\r\nSUMMARY:a\\tb\r\n"), false},
            {"a text with parameters", event("DTSTART:20260601T100000Z\r\nSUMMARY;LANGUAGE=sv:hej\r\n"), false},
            {"a time with a zone and Z", event("DTSTART;TZID=Europe/Stockholm:20260601T100000Z\r\n"), false},
            {"a date written without VALUE", event("DTSTART:20260601\r\n"), false},
            {"no such day", event("DTSTART:20260230T100000Z\r\n"), false},
            {"an impossible length", event("DTSTART:20260601T100000Z\r\nDURATION:P999999999W\r\n"), false},
            {"two events", event("DTSTART:20260601T100000Z\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:q-5\r\nDTSTART:20260602T100000Z\r\n"), false},
            {"a task beside the event", event("DTSTART:20260601T100000Z\r\nEND:VEVENT\r\nBEGIN:VTODO\r\nUID:q-6\r\nEND:VTODO\r\nBEGIN:VEVENT\r\nUID:q-7\r\n"), false},
            {"no start", event("SUMMARY:ingen start\r\n"), false},
            {"not UTF-8", event("DTSTART:20260601T100000Z\r\nSUMMARY:\xff\xfe\r\n"), false},
            {"a second calendar after the first", event("DTSTART:20260601T100000Z\r\n") + event("DTSTART:20260602T100000Z\r\n"), false},
        };
        for (const Row& row : rows)
            QTest::newRow(row.name) << row.text << row.mustAnswer;

        // What this program writes itself: the shape of every item an export leaves.
        const auto exported = [](Item& item) {
            item.SetStart(At(2026, 3, 29, 1, 30));
            item.SetEnd(At(2026, 3, 29, 4, 0));
            item.SetSubject(QStringLiteral("Bokning 1"));
            item.SetBody(QStringLiteral("Resurs 4\r\nExporterad, två rader"));
            item.SetLocation(QStringLiteral("Sal 2"));
            item.SetReminderMinutesBeforeStart(30);
            item.SetBusyStatus(olOutOfOffice);
            item.SetBillingInformation(QStringLiteral("100001"));
            item.SetMileage(QStringLiteral("100001"));
            item.SetReminderSoundFile(QStringLiteral("100001"));
        };
        QTest::newRow("an item this program saved")
            << ReadBytes(SaveAppointment(NewPlace(), exported, QStringLiteral("almbro-1-"))) << true;

        // Every event of the other programs' calendars on its own, with the calendar's zones.
        const QString corpus = DataFile(QStringLiteral("corpus"));
        for (const QString& name : IcsFiles(corpus)) {
            const QByteArray text = ReadBytes(corpus + QLatin1Char('/') + name);
            const detail::RawCalendar split = detail::SplitCalendar(text);
            if (!split.ok)
                continue;
            QByteArray zones;
            for (const detail::RawComponent& c : split.components)
                if (c.kind == "VTIMEZONE")
                    zones += text.mid(c.begin, c.end - c.begin);
            int n = 0;
            for (const detail::RawComponent& c : split.components) {
                if (c.kind != "VEVENT")
                    continue;
                QTest::newRow(qPrintable(QStringLiteral("%1 #%2").arg(name).arg(++n)))
                    << head + zones + text.mid(c.begin, c.end - c.begin) + tail << false;
            }
            QTest::newRow(qPrintable(name)) << text << false;
        }
    }

    void quickSummaryEqualsFullParse()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, mustAnswer);
        const auto quick = detail::QuickSummary(text, Collection::Calendar, QStringLiteral("fallback"));
        if (mustAnswer)
            QVERIFY(quick);
        if (!quick)
            return;
        detail::Summary full;
        try {
            detail::ComponentPtr vcal = detail::ParseCalendar(text, QStringLiteral("test"));
            QVERIFY(detail::MainComponent(vcal.get(), Collection::Calendar));
            full = detail::Summarize(vcal.get(), Collection::Calendar, QStringLiteral("test"), QStringLiteral("fallback"));
        } catch (...) {
            QFAIL(qPrintable(QStringLiteral("the full parse refuses what the quick reading took: ") +
                             vb::CurrentError().Description()));
        }
        const detail::Summary& q = *quick;
        QCOMPARE(q.start, full.start);
        QCOMPARE(q.end, full.end);
        QCOMPARE(q.allDay, full.allDay);
        QCOMPARE(q.recurring, full.recurring);
        QCOMPARE(q.orphans, full.orphans);
        QCOMPARE(q.seriesEnd, full.seriesEnd);
        QCOMPARE(q.Texts().uid, full.Texts().uid);
        QCOMPARE(q.Texts().subject, full.Texts().subject);
        QCOMPARE(q.Texts().body, full.Texts().body);
        QCOMPARE(q.Texts().location, full.Texts().location);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(q.markers[i], full.markers[i]);
        QCOMPARE(q.busyStatus, full.busyStatus);
        QCOMPARE(q.reminderMinutes, full.reminderMinutes);
        QCOMPARE(q.reminderSet, full.reminderSet);
        QCOMPARE(q.playSound, full.playSound);
        QCOMPARE(q.zoneKey, full.zoneKey);
        QCOMPARE(q.zoneInFile, full.zoneInFile);
        QCOMPARE(q.dtstart, full.dtstart);
        QVERIFY(q.rrules == full.rrules && q.exdates == full.exdates && q.rdates.isEmpty() && full.rdates.isEmpty() &&
                q.overrides.isEmpty() && full.overrides.isEmpty());
    }

    // Written again, the cache copies the texts of items nobody asked about as they were read,
    // and encodes those that were decoded or parsed.
    void cacheKeepsTextsDecodedOrNot()
    {
        const QString place = NewPlace();
        const QString subject = QStringLiteral("Möte om ☕ och 𝄞");
        QString cachePath;
        {
            auto app = Application::Create(place);
            cachePath = cal::detail::CachePath(app->Location(), cal::Collection::Calendar);
            for (int i = 0; i < 2; ++i) {
                Item item = app->CreateItem(olAppointmentItem);
                item.SetStart(At(2026, 2, 2 + i, 9));
                item.SetSubject(subject + QString::number(i));
                item.SetBody(QStringLiteral("rad ett\r\nrad två ") + QString::number(i));
                item.SetLocation(i ? QString() : QStringLiteral("Rum å"));
                item.SetMileage(QString::number(40 + i));
                item.Save();
            }
        }
        cal::detail::Cache cache = cal::detail::ReadCache(cachePath);
        QCOMPARE(cache.items.size(), size_t(2));
        cal::detail::FolderData folder;
        for (cal::detail::CachedItem& c : cache.items) {
            QVERIFY(c.resource->summary.lazyTexts);
            c.resource->name = c.name.toString();
            c.resource->etag = c.etag.toByteArray();
            folder.items.push_back(c.resource);
        }
        // Which item is which follows from its start: the cache is in file-name order.
        const auto numberOf = [&](const cal::detail::Summary& summary) {
            return summary.start == At(2026, 2, 2, 9).toSecsSinceEpoch() ? 0 : 1;
        };
        const size_t first = numberOf(folder.items[0]->summary) == 0 ? 0 : 1;
        QCOMPARE(folder.items[first]->summary.Texts().subject, subject + QLatin1Char('0')); // decoded, the other not
        QVERIFY(!folder.items[first]->summary.lazyTexts);
        QVERIFY(folder.items[1 - first]->summary.lazyTexts);
        const QString again = cachePath + QStringLiteral(".again");
        cal::detail::WriteCache(again, folder);
        const cal::detail::Cache reread = cal::detail::ReadCache(again);
        QCOMPARE(reread.items.size(), size_t(2));
        for (const cal::detail::CachedItem& r : reread.items) {
            const cal::detail::Summary& s = r.resource->summary;
            const int i = numberOf(s);
            const auto original = std::find_if(folder.items.begin(), folder.items.end(),
                                               [&](const auto& item) { return r.name == QStringView(item->name); });
            QVERIFY(original != folder.items.end());
            QCOMPARE(r.etag, QByteArrayView((*original)->etag));
            QCOMPARE(s.Texts().subject, subject + QString::number(i));
            QCOMPARE(s.Texts().body, QStringLiteral("rad ett\r\nrad två ") + QString::number(i));
            QCOMPARE(s.Texts().location, i ? QString() : QStringLiteral("Rum å"));
            QCOMPARE(s.Texts().uid, (*original)->summary.Texts().uid);
            QCOMPARE(s.markers[1], QString::number(40 + i));
            QCOMPARE(s.start, At(2026, 2, 2 + i, 9).toSecsSinceEpoch());
        }
    }

    void cacheMeetsFilesAddedRemovedAndSavedSinceIt()
    {
        const QString place = NewPlace();
        const QString dir = place + QStringLiteral("/Calendar/");
        WriteText(dir + QStringLiteral("m.ics"), Series(QStringLiteral("m"), "20260302T080000", "FREQ=DAILY;COUNT=1"));
        WriteText(dir + QStringLiteral("z.ics"), Series(QStringLiteral("z"), "20260303T080000", "FREQ=DAILY;COUNT=1"));
        {
            auto app = Application::Create(place);
            QCOMPARE(CalendarItems(app).Count(), 2);
            // Saved after the load: the cache lists it after z, out of name order.
            SaveNewAppointment(app, At(2026, 3, 4, 8), QStringLiteral("ny"));
            app->Quit();
        }
        QVERIFY(QFile::remove(dir + QStringLiteral("m.ics")));
        WriteText(dir + QStringLiteral("a.ics"), Series(QStringLiteral("a"), "20260301T080000", "FREQ=DAILY;COUNT=1"));
        for (int run = 0; run < 2; ++run) { // from the cache as the last run left it, then as this one did
            auto app = Application::Create(place);
            QCOMPARE(Listing(SortedWithRecurrences(app), QStringLiteral("[Start] >= \"2026-03-01\" AND [End] <= \"2026-04-01\"")),
                     (QStringList{"2026-03-01 08:00|2026-03-01 09:00|a", "2026-03-03 08:00|2026-03-03 09:00|z",
                                  "2026-03-04 08:00|2026-03-04 08:00|ny"}));
            app->Quit();
        }
    }

    void damagedCacheIsIgnored_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("cut in half") << true;
        QTest::newRow("one letter changed, every length kept: only the checksum tells") << false;
    }

    void damagedCacheIsIgnored()
    {
        QFETCH(bool, cut);
        const QString place = NewPlace();
        SaveAppointment(place, [](Item& item) {
            item.SetStart(At(2026, 2, 2, 9));
            item.SetSubject(QStringLiteral("Tandläkare"));
            item.SetMileage(QStringLiteral("9"));
        });
        const QString cache = detail::CachePath(place, Collection::Calendar);
        QByteArray data = ReadBytes(cache);
        QVERIFY(data.contains("Tandläkare"));
        if (cut)
            data.truncate(data.size() / 2);
        else
            data.replace("Tandläkare", "Tandlökare");
        WriteText(cache, data);
        auto app = Application::Create(place);
        const Item item = CalendarItems(app).Find(QStringLiteral("[Mileage] = 9"));
        QVERIFY(item);
        QCOMPARE(item.Subject(), QStringLiteral("Tandläkare"));
    }

    void itemChangedElsewhereIsNotOverwritten_data() { VdirAndSingleFileRows(); }

    void itemChangedElsewhereIsNotOverwritten()
    {
        QFETCH(bool, vdir);
        const QString place = NewPlace(vdir ? QString() : QStringLiteral(".ics"));
        auto app = Application::Create(place);
        Item item = SaveNewAppointment(app, At(2026, 2, 2, 9), QStringLiteral("Vårt"));
        app->Commit(); // a save's file is in place at the latest here
        const QString file = vdir ? place + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics") : place;
        item.Subject(); // read it, as a user of the item would

        // Another program changes the same item.
        const QByteArray text = RewriteElsewhere(file, {{"SUMMARY:Vårt", "SUMMARY:Deras"}});
        item.SetSubject(QStringLiteral("Vårt igen"));
        const QString error = Raised([&] { item.Save(); });
        QVERIFY2(error.startsWith(QStringLiteral("%1: %2").arg(ErrCalendar).arg(file)) &&
                     error.contains(QLatin1String("changed or removed by another program")),
                 qPrintable(error));
        QCOMPARE(ReadBytes(file), text);
    }

    void singleFileKeepsWhatAnotherProgramAdded()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        auto app = Application::Create(file);
        SaveNewAppointment(app, At(2026, 2, 2, 9), QStringLiteral("Vårt"));
        // Another program adds an event to the file.
        RewriteElsewhere(file, {{"END:VCALENDAR", "BEGIN:VEVENT\r\nUID:deras-1\r\nDTSTAMP:20260101T000000Z\r\n"
                                                  "DTSTART:20260203T100000Z\r\nSUMMARY:Deras\r\nEND:VEVENT\r\nEND:VCALENDAR"}});
        SaveNewAppointment(app, At(2026, 2, 4, 9), QStringLiteral("Vårt andra"));
        app->Quit();
        auto again = Application::Create(file);
        QStringList subjects;
        Items items = CalendarItems(again);
        items.Sort(QStringLiteral("Start"));
        for (int i = 1; i <= items.Count(); ++i)
            subjects << items.Item(i).Subject();
        QCOMPARE(subjects, (QStringList{"Vårt", "Deras", "Vårt andra"}));
    }
};

ALMBRO_TEST_MAIN(TestCalendarSharing)
#include "test_calendar_sharing.moc"
