// COutLook against a real calendar store in the test's temporary folders: joining or starting
// the calendar, the import search with its window, the records, writing and finding again by
// the marker, and every message the adapter shows.
#include "OutlookTestSupport.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "support/BoxAssert.h"
#include "support/Raised.h"
#include "support/TestEnv.h"

#include <optional>

using namespace cal;
using namespace outlooktest;

namespace {
struct Fönster : IDatumFönster {
    QDate start, slut;
    QDate StartTid() const override { return start; }
    QDate SlutTid() const override { return slut; }
};

QString NewStore()
{
    static int n = 0;
    const QString place = testenv::Root() + QStringLiteral("/outlook-%1").arg(++n);
    qputenv("ALMBRO_CALENDAR", place.toUtf8());
    return place;
}

// A COutLook on a new calendar store of its own (named in ALMBRO_CALENDAR), made first.
struct NewStoreFirst {
    QString place = NewStore();
};
struct OnNewStore : NewStoreFirst, Opened {
    using Opened::Opened;
};

QStringList Files(const QString& place, const QString& folder = QStringLiteral("Calendar"))
{
    return QDir(place + QLatin1Char('/') + folder).entryList({QStringLiteral("*.ics")}, QDir::Files);
}
} // namespace

class TestCOutLook : public QObject {
    Q_OBJECT
    // Every test asserts the boxes it expects; none may be left over.
    std::optional<vb::MsgBoxRecorder> m_boxes;

private slots:
    void initTestCase() { vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden)); }
    void init() { m_boxes.emplace(); }

    void cleanup()
    {
        if (auto app = Application::GetRunning())
            app->Quit();
        ALMBRO_EXPECT_NO_MORE_BOXES(*m_boxes);
    }

    void startedHereOrJoined_data()
    {
        QTest::addColumn<bool>("alreadyRunning");
        QTest::newRow("calendar already running: joined, left running") << true;
        QTest::newRow("not running: started here, quit on release") << false;
    }

    void startedHereOrJoined()
    {
        QFETCH(bool, alreadyRunning);
        NewStore();
        std::shared_ptr<Application> running = alreadyRunning ? Application::Create() : nullptr;
        {
            Opened o;
            QVERIFY(o.ok);
            QCOMPARE(o.StartadHär(), !alreadyRunning);
            QVERIFY(Application::GetRunning());
            if (alreadyRunning)
                QCOMPARE(Application::GetRunning(), running);
        }
        QCOMPARE(bool(Application::GetRunning()), alreadyRunning);
    }

    void texterWords_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("gone");
        QTest::addColumn<QString>("unlinked");
        QTest::newRow("the texter's words")
            << "in Class Module"
            << "Cannot connect to the calendar!"
            << "Error no: 91 (Object variable or With block variable not set) in procedure GetAppointment in Class "
               "Module COutLook"
            << "Cannot connect to the calendar!"
            << "the appointment %1 is no longer in the calendar"
            << "the appointment x1 is no longer in the calendar";
        QTest::newRow("a texter without them")
            << ""
            << ""
            << "Error no: 91 (Object variable or With block variable not set) in procedure GetAppointment i Class "
               "Module COutLook"
            << "Kan inte skapa kontakt med Outlook!"
            << ""
            << "mötet x1 finns inte längre i kalendern";
    }
    void texterWords()
    {
        QFETCH(QString, module);
        QFETCH(QString, contact);
        QFETCH(QString, message);
        QFETCH(QString, description);
        QFETCH(QString, gone);
        QFETCH(QString, unlinked);
        struct Words : IOutLookTexter {
            QString module, contact, gone;
            [[nodiscard]] QString Text(Ord ord) const override
            {
                return ord == Ord::IClassModule ? module : ord == Ord::InteKvar ? gone : contact;
            }
        } words;
        words.module = module;
        words.contact = contact;
        words.gone = gone;
        vb::MsgBoxRecorder boxes;
        NewStore();
        {
            Opened o(nullptr, &words);
            QVERIFY(o.ok);
            QCOMPARE(o.GetAppointment(QString(), true).Body, QString());
            ALMBRO_EXPECT_BOX(boxes, message, vb::vbOKOnly, 0, "Almbro");
            QCOMPARE(o.LinkAppointment(QStringLiteral("x1"), QDateTime(QDate(2026, 12, 7), QTime(9, 0)),
                                       QStringLiteral("7")),
                     unlinked);
        }
        const QString file = testenv::Root() + QStringLiteral("/not-a-folder");
        QVERIFY(testenv::WriteFile(file, {}));
        qputenv("ALMBRO_CALENDAR", (file + QStringLiteral("/cal")).toUtf8());
        QCOMPARE(testenv::Raised([&words] { Opened o(nullptr, &words); }), QStringLiteral("429: ") + description);
        ALMBRO_EXPECT_NO_MORE_BOXES(boxes);
    }

    void searchThatFindsNothing()
    {
        OnNewStore o;
        const AppointmentRec r = o.GetAppointment(ImportFilter(QDate(2026, 12, 1), QDate(2026, 12, 31)), false);
        QCOMPARE(r.Body, QStringLiteral("<Ingen träff!ó>"));
        QVERIFY(r.Start.isEmpty() && r.End.isEmpty() && r.Subject.isEmpty() && r.EntryID.isEmpty());
    }

    void windowIsWholeDaysAndContainment()
    {
        Fönster window;
        window.start = QDate(2026, 12, 1);
        window.slut = QDate(2026, 12, 10);
        OnNewStore o(&window);
        QVERIFY(o.NewAppointment(*std::make_unique<AppointmentRec>(Booking(1, "2026-11-30 08:00", "2026-12-01 09:00", "A före"))));
        QVERIFY(o.NewAppointment(*std::make_unique<AppointmentRec>(Booking(2, "2026-12-10 22:00", "2026-12-10 23:00", "B sista dagen"))));
        QVERIFY(o.NewAppointment(*std::make_unique<AppointmentRec>(Booking(3, "2026-12-10 23:30", "2026-12-11 00:00", "C till midnatt"))));
        QVERIFY(o.NewAppointment(*std::make_unique<AppointmentRec>(Booking(4, "2026-12-10 23:45", "2026-12-11 00:30", "D efter"))));
        // A search wider than the window: what lies outside comes back empty, and the walk goes on.
        const QStringList walk = Walk(o, ImportFilter(QDate(2026, 11, 29), QDate(2026, 12, 12)));
        QCOMPARE(walk, (QStringList{"", "B sista dagen", "C till midnatt", ""}));
        const AppointmentRec skipped = o.GetAppointment(ImportFilter(QDate(2026, 11, 29), QDate(2026, 12, 12)), false);
        QCOMPARE(skipped.Body, QString()); // empty, not the marker
        QCOMPARE(skipped.BillingInformation, QString());
        // The import list's own filter already holds only the contained ones.
        QCOMPARE(Walk(o, ImportFilter(window.start, window.slut)), (QStringList{"B sista dagen", "C till midnatt"}));
    }

    void recordFields()
    {
        OnNewStore o;
        AppointmentRec rec = Booking(77, "2026-12-03 10:00", "2026-12-03 11:30", QStringLiteral("Rad ett\r\nRad två"));
        rec.Body = QStringLiteral("Kropp ett\r\nKropp två");
        rec.Location = QStringLiteral("Hus\r\nRum");
        rec.ReminderPlaySound = true;
        rec.ReminderMinutesBeforeStart = 10;
        rec.BusyStatus = olOutOfOffice;
        QVERIFY(o.NewAppointment(rec));
        AppointmentRec midnight = Booking(78, "2026-12-04", "2026-12-05");
        QVERIFY(o.NewAppointment(midnight));
        o.Commit(); // the files are in place, as at the end of a transfer

        const QString filter = ImportFilter(QDate(2026, 12, 1), QDate(2026, 12, 31));
        const AppointmentRec r = o.GetAppointment(filter, false);
        QCOMPARE(r.Body, QStringLiteral("Kropp ett\r\nKropp två"));
        QCOMPARE(r.Subject, QStringLiteral("Rad ett Rad två"));
        QCOMPARE(r.Location, QStringLiteral("Hus Rum"));
        QCOMPARE(r.Start, QStringLiteral("2026-12-03 10:00:00"));
        QCOMPARE(r.End, QStringLiteral("2026-12-03 11:30:00"));
        QCOMPARE(r.Duration, 90);
        QCOMPARE(r.BusyStatus, int(olOutOfOffice));
        QCOMPARE(r.ReminderMinutesBeforeStart, 10);
        QCOMPARE(r.ReminderPlaySound, false); // a new appointment never plays a sound
        QCOMPARE(r.ReminderSoundFile, QStringLiteral("77"));
        QCOMPARE(r.BillingInformation, QStringLiteral("77"));
        QCOMPARE(r.Mileage, QString()); // retrieval leaves it empty
        QVERIFY(Files(o.place).contains(r.EntryID + QStringLiteral(".ics")));
        const AppointmentRec second = o.GetAppointment(QString(), true);
        QCOMPARE(second.Start, QStringLiteral("2026-12-04")); // midnight: the date alone
        QCOMPARE(second.End, QStringLiteral("2026-12-05"));
        QCOMPARE(o.GetAppointment(QString(), true).Body, COutLook::IngenTräff);
    }

    void exportTwiceUpdatesInPlace_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("same time") << "2026-12-03 10:00" << "2026-12-03 11:00";
        QTest::newRow("moved later") << "2026-12-03 14:00" << "2026-12-03 16:00";
        QTest::newRow("moved earlier than it began") << "2026-12-03 07:00" << "2026-12-03 08:00";
        QTest::newRow("another day") << "2026-12-09 09:00" << "2026-12-09 09:30";
    }

    void exportTwiceUpdatesInPlace()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        OnNewStore o;
        AppointmentRec first = Booking(501, "2026-12-03 10:00", "2026-12-03 11:00", QStringLiteral("Första"));
        QVERIFY(!o.DuplicateAppointment(first, false));
        QVERIFY(o.NewAppointment(first));
        AppointmentRec again = Booking(501, start, end, QStringLiteral("Andra"));
        again.Body = QStringLiteral("Ny text");
        again.Location = QStringLiteral("Sal 2");
        QVERIFY(o.DuplicateAppointment(again, false));
        QCOMPARE(Files(o.place).size(), 1);
        const AppointmentRec r = o.GetAppointment(QStringLiteral("[BillingInformation] = 501"), false);
        QCOMPARE(r.Subject, QStringLiteral("Andra"));
        QCOMPARE(r.Body, QStringLiteral("Ny text"));
        QCOMPARE(r.Location, QStringLiteral("Sal 2"));
        QCOMPARE(r.Start, vb::FormatGeneralDate(vb::CDate(start)));
        QCOMPARE(r.End, vb::FormatGeneralDate(vb::CDate(end)));
        QCOMPARE(r.ReminderSoundFile, QStringLiteral("501"));
    }

    void foundByTheOnlyMarkerLeft()
    {
        OnNewStore o;
        AppointmentRec rec = Booking(42, "2026-12-03 10:00", "2026-12-03 11:00");
        QVERIFY(o.NewAppointment(rec));
        // The user clears BillingInformation and Mileage in the calendar.
        {
            Items items = Application::GetRunning()->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
            Item item = items.Find(QStringLiteral("[Mileage] = 42"));
            item.SetBillingInformation(QString());
            item.SetMileage(QString());
            item.Save();
        }
        rec.Subject = QStringLiteral("Uppdaterad");
        QVERIFY(o.DuplicateAppointment(rec, false));
        QCOMPARE(Files(o.place).size(), 1);
        QCOMPARE(o.GetAppointment(QStringLiteral("[ReminderSoundFile] = 42"), false).Subject, QStringLiteral("Uppdaterad"));
    }

    void deleteFlagRemovesAfterUpdating()
    {
        OnNewStore o;
        AppointmentRec rec = Booking(9, "2026-12-03 10:00", "2026-12-03 11:00");
        QVERIFY(o.NewAppointment(rec));
        AppointmentRec other = Booking(10, "2026-12-03 12:00", "2026-12-03 13:00");
        QVERIFY(o.NewAppointment(other));
        QVERIFY(o.DuplicateAppointment(rec, true));
        o.Commit();
        QCOMPARE(Files(o.place).size(), 1);
        QCOMPARE(o.GetAppointment(QStringLiteral("[Mileage] = 9"), false).Body, COutLook::IngenTräff);
        QCOMPARE(o.GetAppointment(QStringLiteral("[Mileage] = 10"), false).Subject, QStringLiteral("Bokning"));
    }

    void messages_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::newRow("new appointment with a start that is no date")
            << "new-bad-start"
            << "Error no: 13 (Type mismatch: \"igår\" is not a date) in procedure NewAppointment i Class Module COutLook @:2";
        QTest::newRow("new appointment ending before it starts")
            << "new-backwards"
            << "Error no: 440 (The appointment \"Bokning\" ends (2026-12-03T09:00:00) before it starts (2026-12-03T10:00:00); it was not saved) in procedure NewAppointment i Class Module COutLook @:14";
        QTest::newRow("duplicate search with empty markers")
            << "duplicate-empty"
            << "Error 440 (Cannot parse the condition: a value was expected after [BillingInformation] = instead of \"OR\" at position 25 in \"[BillingInformation] =  OR [Mileage] =  OR [ReminderSoundFile] = \") in procedure DuplicateAppointment of Class Module COutLook @:3";
        QTest::newRow("duplicate update with an end that is no date")
            << "duplicate-bad-end"
            << "Error 13 (Type mismatch: \"sen\" is not a date) in procedure DuplicateAppointment of Class Module COutLook @:8";
        QTest::newRow("search with a malformed filter")
            << "bad-filter"
            << "Error no: 440 (The property \"Starttid\" in the condition is not valid) in procedure GetAppointment i Class Module COutLook";
        QTest::newRow("all appointments with a date that is no date")
            << "all-bad-date"
            << "Error no: 13 (Type mismatch: \"snart\" is not a date) in procedure GetAllAppointments i Class Module COutLook";
    }

    void messages()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        OnNewStore o;
        AppointmentRec existing = Booking(5, "2026-12-03 10:00", "2026-12-03 11:00");
        QVERIFY(o.NewAppointment(existing));
        if (action == QLatin1String("new-bad-start")) {
            AppointmentRec rec = Booking(6, QStringLiteral("igår"), "2026-12-03 11:00");
            QVERIFY(!o.NewAppointment(rec));
        } else if (action == QLatin1String("new-backwards")) {
            AppointmentRec rec = Booking(6, "2026-12-03 10:00", "2026-12-03 09:00");
            QVERIFY(!o.NewAppointment(rec));
        } else if (action == QLatin1String("duplicate-empty")) {
            AppointmentRec rec = Booking(6, "2026-12-03 10:00", "2026-12-03 11:00");
            rec.BillingInformation = rec.Mileage = rec.ReminderSoundFile = QString();
            QVERIFY(!o.DuplicateAppointment(rec, false));
        } else if (action == QLatin1String("duplicate-bad-end")) {
            AppointmentRec rec = Booking(5, "2026-12-03 10:00", QStringLiteral("sen"));
            QVERIFY(!o.DuplicateAppointment(rec, false));
        } else if (action == QLatin1String("bad-filter")) {
            QCOMPARE(o.GetAppointment(QStringLiteral("[Starttid] >= \"2026-12-01\""), false).Body, QString());
        } else if (action == QLatin1String("all-bad-date")) {
            QVERIFY(o.GetAllAppointments(QStringLiteral("Start snart")).isEmpty());
        }
        ALMBRO_EXPECT_BOX(*m_boxes, text, vb::vbOKOnly, 0, vb::DefaultTitle());
        o.Commit();
        QVERIFY(o.EjSparade().isEmpty());
        QCOMPARE(Files(o.place).size(), 1); // nothing half-written, the earlier item untouched
    }

    void notesAndTheirCriteria_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QStringList>("subjects");
        QTest::newRow("no criteria") << "" << QStringList{"Inköp mjölk", "Möte", "Inköp bröd"};
        QTest::newRow("subject only") << "Subject Inköp" << QStringList{"Inköp mjölk", "Inköp bröd"};
        QTest::newRow("subject is case-sensitive") << "Subject inköp" << QStringList();
        QTest::newRow("body only") << "Body kvitto" << QStringList{"Möte"};
        QTest::newRow("both") << "Subject Inköp, Body bröd" << QStringList{"Inköp bröd"};
        QTest::newRow("created from a date") << "CreationTime 2000-01-01" << QStringList{"Inköp mjölk", "Möte", "Inköp bröd"};
        QTest::newRow("created from a later date") << "CreationTime 2999-01-01" << QStringList();
    }

    void notesAndTheirCriteria()
    {
        QFETCH(QString, criteria);
        QFETCH(QStringList, subjects);
        OnNewStore o;
        auto app = Application::GetRunning();
        const QList<QPair<QString, QString>> notes = {{"Inköp mjölk", "Ica"}, {"Möte", "Spara kvitto"}, {"Inköp bröd", "bröd och Ost"}};
        for (const auto& [subject, body] : notes) {
            Item note = app->CreateItem(olNoteItem);
            note.SetSubject(subject);
            note.SetBody(body);
            note.Save();
        }
        QStringList got;
        for (const Item& i : o.GetAllNotes(criteria))
            got << i.Subject();
        QCOMPARE(got, subjects);
    }

    void getNoteAndGetTask()
    {
        OnNewStore o;
        QCOMPARE(o.GetNote(QStringLiteral("[Subject] = x")).Body, COutLook::IngenTräff);
        QCOMPARE(o.GetNote(QStringLiteral("[Subject] = ")).Body, COutLook::IngenTräff); // rejected filter: no match, no message
        const TaskRec none = o.GetTask(QString());
        QVERIFY(none.Body.isEmpty() && none.Subject.isEmpty() && none.EntryID.isEmpty()); // no marker for tasks

        auto app = Application::GetRunning();
        Item note = app->CreateItem(olNoteItem);
        note.SetSubject(QStringLiteral("Lapp"));
        note.SetBody(QStringLiteral("Lapp\r\nrad två"));
        note.Save();
        Item task = app->CreateItem(olTaskItem);
        task.SetSubject(QStringLiteral("Uppgift"));
        task.Save();
        const NoteRec n = o.GetNote(QStringLiteral("[Subject] = lapp"));
        QCOMPARE(n.Body, QStringLiteral("Lapp\r\nrad två"));
        QCOMPARE(n.EntryID, note.EntryID());
        QCOMPARE(n.CreationTime, vb::FormatGeneralDate(note.CreationTime()));
        const TaskRec t = o.GetTask(QStringLiteral("[Subject] = whatever"));
        QCOMPARE(t.Subject, QStringLiteral("Uppgift"));
        QCOMPARE(t.DateCompleted, QStringLiteral("Ej angivet!"));
        QCOMPARE(t.StartDate, QStringLiteral("Ej angivet!"));
    }

    void allAppointmentsBetweenDates()
    {
        OnNewStore o;
        for (int d : {1, 15, 31}) {
            AppointmentRec rec = Booking(d, QStringLiteral("2026-12-%1 10:00").arg(d, 2, 10, QLatin1Char('0')),
                                         QStringLiteral("2026-12-%1 11:00").arg(d, 2, 10, QLatin1Char('0')), QString::number(d));
            QVERIFY(o.NewAppointment(rec));
        }
        QStringList got;
        for (const Item& i : o.GetAllAppointments(QStringLiteral("Start 2026-12-01 10:00, End 2026-12-15 11:00")))
            got << i.Subject();
        QCOMPARE(got, (QStringList{"1", "15"}));
    }

    void folderTooLargeForTheCounter()
    {
        const QString place = NewStore();
        const QString notes = place + QStringLiteral("/Notes");
        QDir().mkpath(notes);
        for (int i = 0; i < 32768; ++i) {
            QVERIFY(testenv::WriteFile(
                notes + QStringLiteral("/n%1.ics").arg(i),
                "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VJOURNAL\r\nUID:n" + QByteArray::number(i) +
                    "\r\nDTSTAMP:20260101T000000Z\r\nSUMMARY:x\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n"));
        }
        Opened o;
        QVERIFY(o.GetAllNotes().isEmpty());
        ALMBRO_EXPECT_BOX(*m_boxes, "Error no: 6 (Overflow) in procedure GetAllNotes i Class Module COutLook", vb::vbOKOnly, 0,
                          vb::DefaultTitle());
    }
};

ALMBRO_TEST_MAIN(TestCOutLook)
#include "test_coutlook.moc"
