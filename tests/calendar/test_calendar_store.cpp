// Where a calendar store lives and how it is opened, the application object, and writes that
// stay whole: locks, temporary files, file modes, a writer killed mid-save.
#include "CalendarTestSupport.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <QProcess>
#include <QElapsedTimer>

using namespace cal;
using namespace caltest;

class TestCalendarStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitCalendarTest(); }
    void cleanup() { QuitRunningApplication(); }

    void defaultStoreIsAVdirInTheDataFolder()
    {
        qunsetenv("ALMBRO_CALENDAR");
        const QString expected = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/almbro/calendar");
        QCOMPARE(StoreLocation(), expected);
        auto app = Application::Create();
        for (const char* sub : {"Calendar", "Notes", "Tasks"})
            QVERIFY2(QFileInfo(expected + QLatin1Char('/') + QLatin1String(sub)).isDir(), sub);
        Item item = SaveNewAppointment(app, At(2026, 12, 3, 10), QStringLiteral("Standard"));
        app->Commit();
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
        SaveNewAppointment(app, At(2026, 12, 3, 10), QStringLiteral("Ny"));
        QCOMPARE(QFileInfo(location).isFile(), singleFile);
        QCOMPARE(QFileInfo(location + QStringLiteral("/Calendar")).isDir(), !singleFile);
    }

    // What the location names is what is used: a new or empty folder gets the three collections.
    void locationMeansWhatItSays_data()
    {
        QTest::addColumn<QString>("before"); // "", "empty", "ours"
        QTest::addColumn<QString>("appointments"); // where a new appointment lands, under the location
        QTest::addColumn<bool>("collections");     // whether Calendar/, Notes/ and Tasks/ exist afterwards
        QTest::addColumn<int>("listed");           // appointments listed before the new one
        QTest::newRow("new folder") << "" << "/Calendar" << true << 0;
        QTest::newRow("empty folder") << "empty" << "/Calendar" << true << 0;
        QTest::newRow("Almbro's own layout") << "ours" << "/Calendar" << true << 1;
        // Another client's folder of .ics files, used as it is: see the unattended run's test.
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
        }
        auto app = Application::Create(location);
        const auto quit = qScopeGuard([&] { app->Quit(); });
        QCOMPARE(CalendarItems(app).Count(), listed);
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
        QCOMPARE(Raised([&location] { Application::Create(location); }),
                 QStringLiteral("%1: %2").arg(vb::ErrCannotCreateObject).arg(description));
        QVERIFY(!Application::GetRunning());
        if (content == "hej\n")
            QCOMPARE(ReadBytes(location), content); // never touched
    }

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
        if (name.isEmpty())
            QVERIFY(Raised([&] { ns.GetDefaultFolder(folder); }).startsWith(QStringLiteral("%1: ").arg(vb::ErrInvalidProcedureCall)));
        else
            QCOMPARE(ns.GetDefaultFolder(folder).Name(), name);
    }

    void singleFileLockedByAnotherProgram()
    {
        const QString file = NewPlace(QStringLiteral(".ics"));
        auto app = Application::Create(file);
        QLockFile other(file + QStringLiteral(".lock"));
        QVERIFY(other.tryLock());
        Item item = app->CreateItem(olAppointmentItem);
        item.SetStart(At(2026, 2, 2, 9));
        QCOMPARE(Raised([&item] { item.Save(); }),
                 QStringLiteral("%1: The calendar file %2 is locked by another program (%2.lock)").arg(vb::ErrPermissionDenied).arg(file));
        other.unlock();
        item.Save();
        QVERIFY(ReadBytes(file).contains("BEGIN:VEVENT"));
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

    void rewrittenFileKeepsItsMode_data() { VdirAndSingleFileRows(); }

    void rewrittenFileKeepsItsMode()
    {
        QFETCH(bool, vdir);
        const QString place = NewPlace(vdir ? QString() : QStringLiteral(".ics"));
        const QString saved = SaveAppointment(place, [](Item& item) {
            item.SetStart(At(2026, 2, 2, 9));
            item.SetBillingInformation(QStringLiteral("17"));
        });
        const QString path = vdir ? saved : place;
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
        {
            auto app = Application::Create(place);
            Item item = CalendarItems(app).Find(QStringLiteral("[BillingInformation] = 17"));
            item.SetSubject(QStringLiteral("Ändrad"));
            item.Save();
        }
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
    }

    // A save's file is written after Save has returned; a write that fails then is told at
    // Commit for its own item, the others are whole on disk, and the failed one is as before.
    void writeFailingLaterIsToldAtCommit_data()
    {
        QTest::addColumn<bool>("update");
        QTest::addColumn<int>("tooLarge"); // the booking whose write fails
        QTest::newRow("new item, in the middle") << false << 3;
        QTest::newRow("new item, the last") << false << 5;
        QTest::newRow("update, in the middle") << true << 3;
        QTest::newRow("update, the first") << true << 1;
    }

    void writeFailingLaterIsToldAtCommit()
    {
        QFETCH(bool, update);
        QFETCH(int, tooLarge);
        const QString place = NewPlace();
        const QString folder = place + QStringLiteral("/Calendar");
        auto app = Application::Create(place);
        Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
        const auto save = [&](int n, const QString& body) {
            Item item = items.Find(QStringLiteral("[BillingInformation] = \"%1\"").arg(n));
            if (!item) {
                item = app->CreateItem(olAppointmentItem);
                item.SetBillingInformation(QString::number(n));
            }
            item.SetStart(At(2026, 3, n, 9));
            item.SetBody(body);
            item.Save();
            return item.EntryID();
        };
        constexpr int kCount = 5;
        if (update) {
            for (int n = 1; n <= kCount; ++n)
                (void)save(n, QStringLiteral("före"));
            app->Commit();
        }

        // Files of at most 64 KiB from here: the large item's write fails on a writer thread,
        // with the error the disk gives (EFBIG), not in Save.
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = old;
        limit.rlim_cur = 65536;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &old);
            ::signal(SIGXFSZ, oldSignal);
        });
        QString failedUid;
        for (int n = 1; n <= kCount; ++n) {
            const QString uid = save(n, n == tooLarge ? QString(200000, QLatin1Char('x')) : QStringLiteral("efter %1").arg(n));
            if (n == tooLarge)
                failedUid = uid;
        }
        app->Commit();
        restore.dismiss();
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldSignal);

        const QList<SaveFailure> failures = app->TakeSaveFailures();
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures[0].entryId, failedUid);
        QCOMPARE(failures[0].number, long(vb::ErrDeviceIO));
        QCOMPARE(failures[0].description, QStringLiteral("Cannot write %1/%2.ics: %3")
                                              .arg(folder, failedUid, detail::SystemReason(EFBIG)));
        // The item stands as the disk holds it: an update as it was, a new one not at all.
        const Item failed = items.Find(QStringLiteral("[BillingInformation] = \"%1\"").arg(tooLarge));
        QCOMPARE(bool(failed), update);
        if (update)
            QCOMPARE(failed.Body(), QStringLiteral("före"));
        // No temporary file left, every file whole, read by a run of its own.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\."))),
                 QStringList());
        app->Quit();
        QCOMPARE(int(IcsFiles(folder).size()), update ? kCount : kCount - 1);
        auto again = Application::Create(place);
        const MAPIFolder calendar = again->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar);
        QCOMPARE(calendar.LoadErrors(), QStringList());
        Items after = calendar.Items();
        for (int n = 1; n <= kCount; ++n) {
            const Item item = after.Find(QStringLiteral("[BillingInformation] = \"%1\"").arg(n));
            if (n == tooLarge && !update) {
                QVERIFY(!item);
                continue;
            }
            QVERIFY(item);
            QCOMPARE(item.Body(), n == tooLarge ? QStringLiteral("före") : QStringLiteral("efter %1").arg(n));
        }
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
        Items rerun = CalendarItems(after);
        QSet<QString> markers;
        for (int i = 1; i <= rerun.Count(); ++i)
            markers.insert(rerun.Item(i).BillingInformation());
        QCOMPARE(int(markers.size()), written + 5);
    }
};

ALMBRO_TEST_MAIN(TestCalendarStore)
#include "test_calendar_store.moc"
