// The calendar object model over real stores in the test's own temporary folders: where the
// store lives, property mapping and what lands in the file, recurrences, the marker index,
// files written by other programs, changes by other programs, and a writer killed mid-save.
#include "calendar/Calendar.h"
#include "calendar/FileIo.h"
#include "calendar/Model.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"
#include "support/TestEnv.h"

#include <algorithm>
#include <QScopeGuard>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTimeZone>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

using namespace cal;

namespace {
QDateTime At(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}

QString NewPlace(const QString& suffix = QString())
{
    // A folder that exists and is empty: a calendar may be made in it.
    static int n = 0;
    const QString place = testenv::Root() + QStringLiteral("/store-%1").arg(++n);
    QDir().mkpath(place);
    return place + suffix;
}

QString DataFile(const QString& name)
{
    return QStringLiteral(ALMBRO_SOURCE_DIR "/tests/calendar/data/") + name;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void WriteText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QStringList IcsFiles(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
}

// "start|end|subject" of every item a search gives, in its order.
QStringList Listing(Items items, const QString& filter)
{
    QStringList out;
    for (Item i = items.Find(filter); i; i = items.FindNext())
        out << i.Start().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QLatin1Char('|') +
                   i.End().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QLatin1Char('|') + i.Subject();
    return out;
}

Items SortedWithRecurrences(const std::shared_ptr<Application>& app)
{
    Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
    items.Sort(QStringLiteral("[Start]"));
    items.SetIncludeRecurrences(true);
    return items;
}

QByteArray Series(const QString& uid, const QByteArray& dtstart, const QByteArray& rule, const QByteArray& extra = {})
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid.toUtf8() +
           "\r\nDTSTAMP:20200101T000000Z\r\nDTSTART;TZID=Europe/Stockholm:" + dtstart +
           "\r\nDURATION:PT1H\r\nSUMMARY:" + uid.toUtf8() + "\r\nRRULE:" + rule + "\r\n" + extra +
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}
// A calendar whose zone changes its offset every minute from 1601 on, with one event in it.
QByteArray MinutelyZone()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VTIMEZONE\r\nTZID:Minutzon\r\n"
           "BEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=MINUTELY;BYSECOND=0\r\nTZOFFSETFROM:+0200\r\n"
           "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:16010101T000030\r\nRRULE:FREQ=MINUTELY;BYSECOND=30\r\n"
           "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:minutzon\r\n"
           "DTSTART;TZID=Minutzon:20260305T100000\r\nDTEND;TZID=Minutzon:20260305T110000\r\nSUMMARY:minutzon\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

QByteArray Single(const QString& uid, const QByteArray& dtstart, const QByteArray& extra = {})
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid.toUtf8() +
           "\r\nDTSTART;TZID=Europe/Stockholm:" + dtstart + "\r\nDURATION:PT1H\r\nSUMMARY:" + uid.toUtf8() + "\r\n" + extra +
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

// Writes a calendar text as one item file of a vdir or as the whole single file.
QString StoreHolding(const QByteArray& text, bool vdir)
{
    const QString place = NewPlace(vdir ? QString() : QStringLiteral(".ics"));
    WriteText(vdir ? place + QStringLiteral("/Calendar/item.ics") : place, text);
    return place;
}
} // namespace

class TestCalendar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden));
        QCOMPARE(QTimeZone::systemTimeZoneId(), QByteArray("Europe/Stockholm"));
    }

    void cleanup()
    {
        if (auto app = Application::GetRunning())
            app->Quit();
    }

    // --- where the store lives

    void defaultStoreIsAVdirInTheDataFolder()
    {
        qunsetenv("ALMBRO_CALENDAR");
        const QString expected = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/almbro/calendar");
        QCOMPARE(StoreLocation(), expected);
        auto app = Application::Create();
        for (const char* sub : {"Calendar", "Notes", "Tasks"})
            QVERIFY2(QFileInfo(expected + QLatin1Char('/') + QLatin1String(sub)).isDir(), sub);
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 12, 3, 10));
        item.SetSubject(QStringLiteral("Standard"));
        item.Save();
        QCOMPARE(IcsFiles(expected + QStringLiteral("/Calendar")), QStringList{item.EntryID() + QStringLiteral(".ics")});
    }

    void settingPicksTheStore_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("singleFile");
        QTest::newRow("folder") << "/cal" << false;
        QTest::newRow("file") << "/mina.ics" << true;
        QTest::newRow("file, upper case") << "/MINA.ICS" << true;
    }

    void settingPicksTheStore()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, singleFile);
        const QString location = NewPlace() + suffix;
        qputenv("ALMBRO_CALENDAR", location.toUtf8());
        QCOMPARE(StoreLocation(), location);
        auto app = Application::Create();
        qunsetenv("ALMBRO_CALENDAR");
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 12, 3, 10));
        item.Save();
        QCOMPARE(QFileInfo(location).isFile(), singleFile);
        QCOMPARE(QFileInfo(location + QStringLiteral("/Calendar")).isDir(), !singleFile);
    }

    // What the location names is what is used: a new or empty folder gets the three collections,
    // a folder of another client's .ics files is the calendar itself.
    void locationMeansWhatItSays_data()
    {
        QTest::addColumn<QString>("before"); // "", "empty", "ours", "foreign"
        QTest::addColumn<QString>("appointments"); // where a new appointment lands, under the location
        QTest::addColumn<bool>("collections");     // whether Calendar/, Notes/ and Tasks/ exist afterwards
        QTest::addColumn<int>("listed");           // appointments listed before the new one
        QTest::newRow("new folder") << "" << "/Calendar" << true << 0;
        QTest::newRow("empty folder") << "empty" << "/Calendar" << true << 0;
        QTest::newRow("Almbro's own layout") << "ours" << "/Calendar" << true << 1;
        QTest::newRow("another client's collection") << "foreign" << "" << false << 1;
    }
    void locationMeansWhatItSays()
    {
        QFETCH(QString, before);
        QFETCH(QString, appointments);
        QFETCH(bool, collections);
        QFETCH(int, listed);
        const QString location = NewPlace() + QStringLiteral("/kal");
        const QByteArray event = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Other 1.0//EN\r\nBEGIN:VEVENT\r\n"
                                 "UID:other-1@example.org\r\nDTSTAMP:20261101T080000Z\r\nDTSTART:20261102T090000Z\r\n"
                                 "DTEND:20261102T100000Z\r\nSUMMARY:Other\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        if (!before.isEmpty())
            QDir().mkpath(location);
        if (before == QLatin1String("ours")) {
            QDir().mkpath(location + QStringLiteral("/Calendar"));
            WriteText(location + QStringLiteral("/Calendar/other-1.ics"), event);
        } else if (before == QLatin1String("foreign")) {
            WriteText(location + QStringLiteral("/other-1.ics"), event);
        }
        auto app = Application::Create(location);
        const auto quit = qScopeGuard([&] { app->Quit(); });
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QCOMPARE(items.Count(), listed);
        // Notes and tasks of another client's collection: none, and nothing made for them.
        QCOMPARE(app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderNotes).Items().Count(), 0);
        Item item = app->CreateItem(olAppointmentItem);
        item.SetSubject(QStringLiteral("Ny"));
        item.SetStart(QDateTime(QDate(2026, 11, 3), QTime(9, 0)));
        item.SetEnd(QDateTime(QDate(2026, 11, 3), QTime(10, 0)));
        item.Save();
        app->Commit();
        QCOMPARE(int(QDir(location + appointments).entryList({QStringLiteral("*.ics")}, QDir::Files).size()), listed + 1);
        for (const char* collection : {"/Calendar", "/Notes", "/Tasks"})
            QCOMPARE(QFileInfo(location + QLatin1String(collection)).isDir(), collections);
    }

    void storeThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QByteArray>("content"); // written at location first; "dir" makes a folder
        QTest::addColumn<QString>("description");
        const QString base = NewPlace();
        QTest::newRow("folder path is a file") << base + "/fil" << QByteArray("x")
                                               << "The calendar folder " + base + "/fil is not a folder";
        QTest::newRow("folder under a file") << base + "/fil2/under" << QByteArray()
                                             << "The calendar folder " + base + "/fil2/under cannot be made: " + base +
                                                    "/fil2 is not an existing folder";
        QTest::newRow("folder whose parent is missing")
            << base + "/saknas/kal" << QByteArray()
            << "The calendar folder " + base + "/saknas/kal cannot be made: " + base + "/saknas is not an existing folder";
        QTest::newRow("ics file that is not iCalendar") << base + "/text.ics" << QByteArray("hej\n")
                                                        << base + "/text.ics is not an iCalendar file (it does not begin with BEGIN:VCALENDAR)";
        QTest::newRow("ics path that is a folder") << base + "/mapp.ics" << QByteArray("dir")
                                                   << "The calendar file " + base + "/mapp.ics is not a file";
        QTest::newRow("CalDAV server that is not there")
            << "http://127.0.0.1:1/dav/" << QByteArray()
            << "The calendar server http://127.0.0.1:1 could not be reached: Connection refused";
    }

    void storeThatCannotBeOpened()
    {
        QFETCH(QString, location);
        QFETCH(QByteArray, content);
        QFETCH(QString, description);
        if (content == "dir")
            QDir().mkpath(location);
        else if (!content.isEmpty())
            WriteText(location, content);
        if (QTest::currentDataTag() == QLatin1String("folder under a file"))
            WriteText(location.section(QLatin1Char('/'), 0, -2), "x");
        try {
            Application::Create(location);
            QFAIL("opened");
        } catch (const vb::ErrObject& e) {
            QCOMPARE(int(e.Number()), int(vb::ErrCannotCreateObject));
            QCOMPARE(e.Description(), description);
        }
        QVERIFY(!Application::GetRunning());
        if (content == "hej\n")
            QCOMPARE(ReadAll(location), content); // never touched
    }

    // --- the application object

    void runningApplicationIsJoinedAndQuitEndsIt()
    {
        QVERIFY(!Application::GetRunning());
        auto app = Application::Create(NewPlace());
        QCOMPARE(Application::GetRunning(), app);
        app->Quit();
        QVERIFY(!Application::GetRunning());
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, app->GetNamespace(QStringLiteral("MAPI")));
    }

    void namespaceAndFolders_data()
    {
        QTest::addColumn<int>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("calendar") << 9 << "Calendar";
        QTest::newRow("notes") << 12 << "Notes";
        QTest::newRow("tasks") << 13 << "Tasks";
        QTest::newRow("inbox is not there") << 6 << "";
    }

    void namespaceAndFolders()
    {
        QFETCH(int, folder);
        QFETCH(QString, name);
        auto app = Application::Create(NewPlace());
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, app->GetNamespace(QStringLiteral("XYZ")));
        const NameSpace ns = app->GetNamespace(QStringLiteral("mapi"));
        if (name.isEmpty()) {
            try {
                ns.GetDefaultFolder(folder);
                QFAIL("no error");
            } catch (const vb::ErrObject& e) {
                QCOMPARE(int(e.Number()), int(vb::ErrInvalidProcedureCall));
            }
            return;
        }
        QCOMPARE(ns.GetDefaultFolder(folder).Name(), name);
    }

    // --- properties and what they become in the file

    void propertiesRoundTripAndFileShape()
    {
        const QString place = NewPlace();
        QString entry;
        {
            auto app = Application::Create(place);
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 7, 1, 9, 15));
            item.SetEnd(At(2026, 7, 1, 10, 45));
            item.SetSubject(QStringLiteral("Möte; med, kund"));
            item.SetBody(QStringLiteral("Rad ett\r\nRad två"));
            item.SetLocation(QStringLiteral("Rum Ekö"));
            item.SetBusyStatus(olTentative);
            item.SetReminderMinutesBeforeStart(20);
            item.SetReminderPlaySound(true);
            item.SetReminderSoundFile(QStringLiteral("4711"));
            item.SetBillingInformation(QStringLiteral("4711"));
            item.SetMileage(QStringLiteral("4711"));
            item.Save();
            entry = item.EntryID();
            QVERIFY(!entry.isEmpty());
            app->Quit();
        }
        auto app = Application::Create(place);
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QCOMPARE(items.Count(), 1);
        const Item item = items.Item(1);
        QCOMPARE(item.EntryID(), entry);
        QCOMPARE(item.Start(), At(2026, 7, 1, 9, 15));
        QCOMPARE(item.End(), At(2026, 7, 1, 10, 45));
        QCOMPARE(item.Duration(), 90);
        QCOMPARE(item.Subject(), QStringLiteral("Möte; med, kund"));
        QCOMPARE(item.Body(), QStringLiteral("Rad ett\r\nRad två"));
        QCOMPARE(item.Location(), QStringLiteral("Rum Ekö"));
        QCOMPARE(item.BusyStatus(), int(olTentative));
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
        const QByteArray text = ReadAll(place + QStringLiteral("/Calendar/") + entry + QStringLiteral(".ics")).replace("\r\n ", "");
        for (const char* line : {"DTSTART;TZID=Europe/Stockholm:20260701T091500", "DTEND;TZID=Europe/Stockholm:20260701T104500",
                                 "BEGIN:VTIMEZONE", "TZID:Europe/Stockholm", "TRANSP:OPAQUE", "X-MICROSOFT-CDO-BUSYSTATUS:TENTATIVE",
                                 "TRIGGER:-PT20M", "X-ALMBRO-BILLINGINFORMATION:4711", "X-ALMBRO-MILEAGE:4711",
                                 "X-ALMBRO-REMINDERSOUNDFILE:4711", "X-ALMBRO-REMINDERPLAYSOUND:TRUE",
                                 "DESCRIPTION:Rad ett\\nRad två", "SUMMARY:Möte\\; med\\, kund"})
            QVERIFY2(text.contains(line), line);
        QVERIFY2(!text.contains("VALUE="), text.constData());
    }

    void freeIsTransparent()
    {
        auto app = Application::Create(NewPlace());
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 7, 1, 9));
        item.SetBusyStatus(olFree);
        QCOMPARE(item.BusyStatus(), int(olFree));
        item.Save();
        const QString file = app->Location() + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics");
        const QByteArray text = ReadAll(file);
        QVERIFY(text.contains("TRANSP:TRANSPARENT"));
        QVERIFY(text.contains("X-MICROSOFT-CDO-BUSYSTATUS:FREE"));
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
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        Item again = items.Item(1);
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
        const Item read = reopened->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Item(1);
        QCOMPARE(read.Start(), time(start));
        QCOMPARE(read.End(), time(end));
        QCOMPARE(read.Duration(), duration);
    }

    void endBeforeStartIsNotSaved()
    {
        auto app = Application::Create(NewPlace());
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 5, 4, 10));
        item.SetEnd(At(2026, 5, 4, 9));
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, item.Save());
        QVERIFY(IcsFiles(app->Location() + QStringLiteral("/Calendar")).isEmpty());
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
        try {
            item.Set(property, value);
            QFAIL("accepted");
        } catch (const vb::ErrObject& e) {
            QCOMPARE(int(e.Number()), number);
        }
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
        QVERIFY(ReadAll(again->Location() + QStringLiteral("/Tasks/") + t.EntryID() + QStringLiteral(".ics")).contains("DTSTART;VALUE=DATE:20260302"));
    }

    // --- searching

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
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        const QString find200 = QStringLiteral("[BillingInformation] = 200 OR [Mileage] = 200 OR [ReminderSoundFile] = 200");
        Item found = items.Find(find200);
        QVERIFY(found);
        QCOMPARE(found.Subject(), QStringLiteral("200"));
        QVERIFY(!items.FindNext());

        // The user clears two of the markers: the third still finds it.
        found.SetBillingInformation(QString());
        found.SetMileage(QString());
        found.Save();
        found = items.Find(find200);
        QVERIFY(found);
        QCOMPARE(found.Subject(), QStringLiteral("200"));

        // A changed marker is found by its new value only.
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
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, items.FindNext());
        QStringList order;
        for (Item i = items.Find(QStringLiteral("[Mileage] = 7")); i; i = items.FindNext())
            order << i.Subject();
        QCOMPARE(order, (QStringList{"0", "1", "3"})); // folder order: as they were made
        items.Sort(QStringLiteral("[Start]"));
        order.clear();
        for (Item i = items.Find(QStringLiteral("[Mileage] = 7")); i; i = items.FindNext())
            order << i.Subject();
        QCOMPARE(order, (QStringList{"0", "3", "1"})); // days 5, 6, 8
        items.Sort(QStringLiteral("Subject"), true);
        QCOMPARE(items.Item(1).Subject(), QStringLiteral("3"));
        QVERIFY_THROWS_EXCEPTION(vb::ErrObject, items.Item(5));
    }

    // --- recurrences

    void recurrencesFromAWindowsExport_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("November and December") << "[Start] >= \"2026-11-01\" AND [End] <= \"2027-01-01\""
                                               << QStringList{"2026-11-02 08:30|2026-11-02 09:00|Veckomöte",
                                                              "2026-11-09 08:30|2026-11-09 09:00|Veckomöte",
                                                              "2026-11-23 10:30|2026-11-23 11:00|Veckomöte (flyttat)",
                                                              "2026-11-30 08:30|2026-11-30 09:00|Veckomöte",
                                                              "2026-12-03 10:00|2026-12-03 11:30|Möte med Byggbolaget AB",
                                                              "2026-12-07 08:30|2026-12-07 09:00|Veckomöte",
                                                              "2026-12-08 00:00|2026-12-09 00:00|Utbildningsdag",
                                                              "2026-12-14 08:30|2026-12-14 09:00|Veckomöte",
                                                              "2026-12-21 08:30|2026-12-21 09:00|Veckomöte",
                                                              "2026-12-28 08:30|2026-12-28 09:00|Veckomöte"};
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
        const QString file = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file));
        auto app = Application::Create(file);
        QCOMPARE(Listing(SortedWithRecurrences(app), filter), expected);
    }

    void withoutSortOrRecurrencesASeriesIsOneItem()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file));
        auto app = Application::Create(file);
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
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
        const QString file = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file));
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
        QStringList open, counted;
        Items items = SortedWithRecurrences(app);
        const QString window = QStringLiteral(" AND [Start] >= \"2031-01-01\" AND [End] <= \"2031-07-01\"");
        for (Item i = items.Find(QStringLiteral("[Subject] = open") + window); i; i = items.FindNext())
            open << i.Start().toString(Qt::ISODate);
        for (Item i = items.Find(QStringLiteral("[Subject] = counted") + window); i; i = items.FindNext())
            counted << i.Start().toString(Qt::ISODate);
        QVERIFY(!counted.isEmpty());
        QCOMPARE(open, counted);
    }

    // --- files from other programs

    void foreignFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("appointments"); // in the file as a whole
        QTest::addColumn<int>("fileErrors");   // events in the file that cannot be used
        QTest::addColumn<QString>("error");    // part of the error for the file in a vdir; empty: none
        QTest::newRow("Windows zone export") << "desktop_client_export_windows_zone.ics" << 3 << 0 << "";
        QTest::newRow("Google alarm") << "alarm_google_future.ics" << 1 << 0 << "";
        QTest::newRow("byte-order mark, no events") << "bom_calendar.ics" << 0 << 0 << "";
        QTest::newRow("unicode, no events") << "calendar_with_unicode.ics" << 0 << 0 << "";
        QTest::newRow("RDATE periods with a Windows TZID") << "issue_156_RDATE_with_PERIOD_TZID_khal.ics" << 1 << 0 << "";
        QTest::newRow("missing VTIMEZONEs, two events without a start") << "issue_722_missing_timezones.ics" << 1 << 2 << "";
        QTest::newRow("unknown TZID") << "issue_218_bad_tzid.ics" << 1 << 0 << "";
        QTest::newRow("several zones") << "multiple_timezones.ics" << 3 << 0 << "";
        QTest::newRow("stray semicolons that libical reads past") << "broken_ical.ics" << 1 << 0 << "";
        QTest::newRow("start that is no date") << "broken_dtstart.ics" << 0 << 1 << "has no valid start (DTSTART)";
        QTest::newRow("impossible length") << "invalid_duration.ics" << 0 << 1 << "has a length (DURATION) no event can have";
    }

    void foreignFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, appointments);
        QFETCH(int, fileErrors);
        QFETCH(QString, error);
        // In a vdir, as one file among ours (its first event is the item); the file is never
        // changed by reading it.
        const QString place = NewPlace();
        const QString copy = place + QStringLiteral("/Calendar/") + file;
        QDir().mkpath(place + QStringLiteral("/Calendar"));
        QVERIFY(QFile::copy(DataFile(file), copy));
        const QByteArray before = ReadAll(copy);
        auto app = Application::Create(place);
        const MAPIFolder calendar = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar);
        const QStringList errors = calendar.LoadErrors();
        if (error.isEmpty()) {
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
            QCOMPARE(calendar.Items().Count(), appointments ? 1 : 0);
        } else {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.first().startsWith(copy) && errors.first().contains(error), qPrintable(errors.first()));
            QCOMPARE(calendar.Items().Count(), 0);
        }
        app->Quit();
        QCOMPARE(ReadAll(copy), before);

        // As a single calendar file, every event is an item.
        const QString single = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(file), single));
        auto whole = Application::Create(single);
        const MAPIFolder all = whole->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar);
        QCOMPARE(all.Items().Count(), appointments);
        QCOMPARE(all.LoadErrors().size(), fileErrors);
        for (const QString& e : all.LoadErrors())
            QVERIFY2(e.startsWith(single), qPrintable(e));
        Items items = SortedWithRecurrences(whole);
        for (Item i = items.Find(QStringLiteral("[Start] >= \"2000-01-01\" AND [End] <= \"2040-01-01\"")); i; i = items.FindNext()) {
            QVERIFY(i.Start() <= i.End());
            i.Subject();
            i.Body();
            i.BusyStatus();
            i.ReminderMinutesBeforeStart();
        }
        whole->Quit();
        QCOMPARE(ReadAll(single), before);
    }

    void windowsZoneIsReadInItsZone()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file));
        auto app = Application::Create(file);
        const Item item = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items()
                              .Find(QStringLiteral("[Subject] = \"Möte med Byggbolaget AB\""));
        QVERIFY(item);
        QCOMPARE(item.Start().toUTC(), QDateTime(QDate(2026, 12, 3), QTime(9, 0), Qt::UTC));
        QCOMPARE(item.ReminderMinutesBeforeStart(), 15);
        QCOMPARE(item.BusyStatus(), int(olBusy));
        QCOMPARE(item.Body(), QStringLiteral("Genomgång av offert med kunden.\r\nTa med ritningarna för plan 2.\r\n"));
        QCOMPARE(item.Location(), QStringLiteral("Konferensrum Ekö"));
    }

    void unknownPropertiesSurviveASave()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        QVERIFY(QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file));
        {
            auto app = Application::Create(file);
            Item item = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items()
                            .Find(QStringLiteral("[Subject] = \"Möte med Byggbolaget AB\""));
            item.SetSubject(QStringLiteral("Möte med Byggbolaget AB, flyttat"));
            item.SetStart(At(2026, 12, 4, 10));
            item.Save();
        }
        const QByteArray text = ReadAll(file).replace("\r\n ", "");
        for (const char* kept : {"X-MS-OLK-FORCEINSPECTOROPEN:TRUE", "METHOD:PUBLISH", "X-MICROSOFT-CDO-IMPORTANCE:1",
                                 "X-MS-OLK-AUTOFILLLOCATION:FALSE", "PRIORITY:5", "CLASS:PUBLIC",
                                 "SUMMARY;LANGUAGE=sv:Veckomöte (flyttat)", "EXDATE;TZID=\"W. Europe Standard Time\":20261116T083000",
                                 "TZID:W. Europe Standard Time", "SUMMARY:Möte med Byggbolaget AB\\, flyttat",
                                 "DTSTART;TZID=Europe/Stockholm:20261204T100000", "DTEND;TZID=Europe/Stockholm:20261204T113000",
                                 "TRIGGER:-PT15M"})
            QVERIFY2(text.contains(kept), kept);
        auto again = Application::Create(file);
        QCOMPARE(again->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Count(), 3);
    }

    // --- other programs at the same store

    void changedFileIsReadAgainAfterTheCache()
    {
        const QString place = NewPlace();
        QString name;
        {
            auto app = Application::Create(place);
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 2, 2, 9));
            item.SetBillingInformation(QStringLiteral("55"));
            item.Save();
            name = place + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics");
        }
        QByteArray text = ReadAll(name);
        text.replace("T090000", "T140000").replace("BILLINGINFORMATION:55", "BILLINGINFORMATION:56");
        QFile::remove(name);
        WriteText(name, text);
        auto app = Application::Create(place);
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QVERIFY(!items.Find(QStringLiteral("[BillingInformation] = 55")));
        const Item item = items.Find(QStringLiteral("[BillingInformation] = 56"));
        QVERIFY(item);
        QCOMPARE(item.Start(), At(2026, 2, 2, 14));
    }

    // Editors and copying tools write into the file itself: same name, inode and size; some
    // then set the modification time back.
    void fileChangedInPlaceIsReadAgain_data()
    {
        QTest::addColumn<bool>("timeSetBack");
        QTest::newRow("new modification time") << false;
        QTest::newRow("modification time set back") << true;
    }

    void fileChangedInPlaceIsReadAgain()
    {
        QFETCH(bool, timeSetBack);
        const QString place = NewPlace();
        QString name;
        {
            auto app = Application::Create(place);
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 2, 2, 9));
            item.SetBillingInformation(QStringLiteral("55"));
            item.Save();
            name = place + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics");
        }
        {
            // Opened once more, so that the cache holds the item as it is now.
            auto app = Application::Create(place);
            QVERIFY(app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Find(
                QStringLiteral("[BillingInformation] = 55")));
        }
        const QByteArray path = QFile::encodeName(name);
        struct stat before;
        QCOMPARE(::stat(path.constData(), &before), 0);
        QByteArray text = ReadAll(name);
        text.replace("T090000", "T140000").replace("BILLINGINFORMATION:55", "BILLINGINFORMATION:56");
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
        struct stat after;
        QCOMPARE(::stat(path.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_size, before.st_size);

        auto app = Application::Create(place);
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QVERIFY(!items.Find(QStringLiteral("[BillingInformation] = 55")));
        const Item item = items.Find(QStringLiteral("[BillingInformation] = 56"));
        QVERIFY(item);
        QCOMPARE(item.Start(), At(2026, 2, 2, 14));
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
            QCOMPARE(app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Count(), 2);
            // Saved after the load: the cache lists it after z, out of name order.
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 3, 4, 8));
            item.SetSubject(QStringLiteral("ny"));
            item.Save();
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
        {
            auto app = Application::Create(place);
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 2, 2, 9));
            item.SetSubject(QStringLiteral("Tandläkare"));
            item.SetMileage(QStringLiteral("9"));
            item.Save();
        }
        const QString cache = detail::CachePath(place, Collection::Calendar);
        QByteArray data = ReadAll(cache);
        QVERIFY(data.contains("Tandläkare"));
        if (cut)
            data.truncate(data.size() / 2);
        else
            data.replace("Tandläkare", "Tandlökare");
        WriteText(cache, data);
        auto app = Application::Create(place);
        const Item item = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Find(QStringLiteral("[Mileage] = 9"));
        QVERIFY(item);
        QCOMPARE(item.Subject(), QStringLiteral("Tandläkare"));
    }

    void itemChangedElsewhereIsNotOverwritten_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("vdir") << "";
        QTest::newRow("single file") << ".ics";
    }

    void itemChangedElsewhereIsNotOverwritten()
    {
        QFETCH(QString, suffix);
        const QString place = NewPlace(suffix);
        auto app = Application::Create(place);
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 2, 2, 9));
        item.SetSubject(QStringLiteral("Vårt"));
        item.Save();
        const QString file = suffix.isEmpty() ? place + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics") : place;
        item.Subject(); // read it, as a user of the item would

        // Another program changes the same item.
        QByteArray text = ReadAll(file);
        text.replace("SUMMARY:Vårt", "SUMMARY:Deras");
        QFile::remove(file);
        WriteText(file, text);

        item.SetSubject(QStringLiteral("Vårt igen"));
        try {
            item.Save();
            QFAIL("overwrote the other program's change");
        } catch (const vb::ErrObject& e) {
            QCOMPARE(int(e.Number()), int(ErrCalendar));
            QVERIFY2(e.Description().startsWith(file) && e.Description().contains(QLatin1String("changed or removed by another program")),
                     qPrintable(e.Description()));
        }
        QCOMPARE(ReadAll(file), text);
    }

    void singleFileKeepsWhatAnotherProgramAdded()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        auto app = Application::Create(file);
        Item ours = app->CreateItem(olAppointmentItem);
        ours.SetStart(At(2026, 2, 2, 9));
        ours.SetSubject(QStringLiteral("Vårt"));
        ours.Save();
        // Another program adds an event to the file.
        QByteArray text = ReadAll(file);
        text.replace("END:VCALENDAR", "BEGIN:VEVENT\r\nUID:deras-1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260203T100000Z\r\n"
                                      "SUMMARY:Deras\r\nEND:VEVENT\r\nEND:VCALENDAR");
        QFile::remove(file);
        WriteText(file, text);
        Item second = app->CreateItem(olAppointmentItem);
        second.SetStart(At(2026, 2, 4, 9));
        second.SetSubject(QStringLiteral("Vårt andra"));
        second.Save();
        app->Quit();
        auto again = Application::Create(file);
        QStringList subjects;
        Items items = again->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        items.Sort(QStringLiteral("Start"));
        for (int i = 1; i <= items.Count(); ++i)
            subjects << items.Item(i).Subject();
        QCOMPARE(subjects, (QStringList{"Vårt", "Deras", "Vårt andra"}));
    }

    void singleFileLockedByAnotherProgram()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        auto app = Application::Create(file);
        QLockFile other(file + QStringLiteral(".lock"));
        QVERIFY(other.tryLock());
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 2, 2, 9));
        try {
            item.Save();
            QFAIL("saved past the lock");
        } catch (const vb::ErrObject& e) {
            QCOMPARE(int(e.Number()), int(vb::ErrPermissionDenied));
            QCOMPARE(e.Description(), QStringLiteral("The calendar file %1 is locked by another program (%1.lock)").arg(file));
        }
        other.unlock();
        item.Save();
        QVERIFY(ReadAll(file).contains("BEGIN:VEVENT"));
    }

    // --- a writer killed in the middle

    // --- foreign input that would cost without bound: skipped with a reason, and the rest of
    // the calendar listed as ever

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
    void occurrenceAfterAThisAndFutureChangeIsChangedAlone_data()
    {
        QTest::addColumn<bool>("vdir");
        QTest::newRow("vdir") << true;
        QTest::newRow("single file") << false;
    }

    void occurrenceAfterAThisAndFutureChangeIsChangedAlone()
    {
        QFETCH(bool, vdir);
        const QString place = StoreHolding(ReadAll(DataFile(QStringLiteral("corpus/almbro_range_thisandfuture.ics"))), vdir);
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
        const Item item = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Find(QStringLiteral("[Subject] = lang"));
        QVERIFY(item);
        QCOMPARE(item.Body().size(), body.size());
    }

    void temporaryFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("ours");
        const QString made = QString::fromLatin1(detail::TempName("abc.ics"));
        QTest::newRow("one we make") << made << ".ics" << true;
        QTest::newRow("cache") << QString::fromLatin1(detail::TempName("calendar-1f.cache")) << ".cache" << true;
        QTest::newRow("a cache's for an item folder") << QString::fromLatin1(detail::TempName("calendar-1f.cache")) << ".ics" << false;
        QTest::newRow("a user's dotfile") << ".bashrc" << ".ics" << false;
        QTest::newRow("similar, more after the counter") << made + QStringLiteral(".bak") << ".ics" << false;
        QTest::newRow("similar, letters for the process") << ".abc.ics.almbro-tmp-12x-3" << ".ics" << false;
        QTest::newRow("similar, no final name") << ".almbro-tmp-12-3" << ".ics" << false;
        QTest::newRow("not hidden") << made.mid(1) << ".ics" << false;
    }

    void temporaryFileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, suffix);
        QFETCH(bool, ours);
        long pid = 0;
        QCOMPARE(detail::IsOurTempName(name.toLatin1().constData(), suffix.toLatin1().constData(), &pid), ours);
        if (ours)
            QCOMPARE(pid, long(::getpid()));
    }

    void rewrittenFileKeepsItsMode_data()
    {
        QTest::addColumn<bool>("vdir");
        QTest::newRow("vdir") << true;
        QTest::newRow("single file") << false;
    }

    void rewrittenFileKeepsItsMode()
    {
        QFETCH(bool, vdir);
        const QString place = NewPlace(vdir ? QString() : QStringLiteral(".ics"));
        QString path;
        {
            auto app = Application::Create(place);
            Item item = app->CreateItem(olAppointmentItem);
            item.SetStart(At(2026, 2, 2, 9));
            item.SetBillingInformation(QStringLiteral("17"));
            item.Save();
            path = vdir ? place + QStringLiteral("/Calendar/") + IcsFiles(place + QStringLiteral("/Calendar")).first() : place;
        }
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
        {
            auto app = Application::Create(place);
            Item item = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items().Find(QStringLiteral("[BillingInformation] = 17"));
            item.SetSubject(QStringLiteral("Ändrad"));
            item.Save();
        }
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
    }

    void killedWriterLeavesOnlyWholeItems()
    {
        const QString place = NewPlace();
        QProcess writer;
        writer.setProgram(QStringLiteral(ALMBRO_BINARY_DIR "/tests/calendar/calendar_writer"));
        writer.setArguments({place});
        writer.start();
        QVERIFY(writer.waitForStarted());
        const QString folder = place + QStringLiteral("/Calendar");
        QElapsedTimer timer;
        timer.start();
        while (IcsFiles(folder).size() < 25 && timer.elapsed() < 60000)
            QTest::qWait(20);
        QVERIFY2(IcsFiles(folder).size() >= 25, "the writer did not get going");
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished());

        const QStringList all = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : all)
            QVERIFY2(name.endsWith(QLatin1String(".ics")) ? !name.startsWith(QLatin1Char('.')) : name.startsWith(QLatin1Char('.')),
                     qPrintable(name));
        auto app = Application::Create(place);
        const MAPIFolder calendar = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar);
        QCOMPARE(calendar.LoadErrors(), QStringList());
        QCOMPARE(calendar.Items().Count(), int(IcsFiles(folder).size()));
        Items items = calendar.Items();
        for (int i = 1; i <= items.Count(); ++i)
            QCOMPARE(items.Item(i).Body().size(), 200000); // every saved item whole
        // The dead writer's temporary file is gone after the folder was read.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\."))), QStringList());
        app->Quit();

        // Run again to the end: the bookings it had written are updated, none is doubled.
        const int written = int(IcsFiles(folder).size());
        QProcess again;
        again.start(QStringLiteral(ALMBRO_BINARY_DIR "/tests/calendar/calendar_writer"), {place, QString::number(written + 5)});
        QVERIFY(again.waitForFinished(120000));
        QCOMPARE(again.exitCode(), 0);
        QCOMPARE(int(IcsFiles(folder).size()), written + 5);
        auto after = Application::Create(place);
        Items rerun = after->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        QSet<QString> markers;
        for (int i = 1; i <= rerun.Count(); ++i)
            markers.insert(rerun.Item(i).BillingInformation());
        QCOMPARE(int(markers.size()), written + 5);
    }
};

ALMBRO_TEST_MAIN(TestCalendar)
#include "test_calendar.moc"
