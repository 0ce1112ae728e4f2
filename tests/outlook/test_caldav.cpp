// Exports and imports through COutLook into a CalDAV calendar on a real Radicale server that
// each test starts in its own folder: discovery, updates in place, no upload for an unchanged
// item, edits and deletions made by another client, a server that stops, credentials. And the
// rule every store keeps: an item saved unchanged is not written.
#include "calendar/CalDavStore.h"
#include "calendar/Calendar.h"
#include "OutlookTestSupport.h"
#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "support/BoxAssert.h"
#include "support/HostCalls.h"
#include "support/Lighttpd.h"
#include "support/Radicale.h"
#include "support/Raised.h"
#include "support/TestEnv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <optional>

#include <sys/stat.h>

using namespace cal;
using outlooktest::Opened;

namespace {
QString NewFolder()
{
    static int n = 0;
    const QString folder = testenv::Root() + QStringLiteral("/caldav-%1").arg(++n);
    QDir().mkpath(folder);
    return folder;
}

// A booking of March 2026, 09:00-10:30, its note on two lines.
AppointmentRec Booking(int key, const QString& subject, int day = 2)
{
    const QString date = QStringLiteral("2026-03-%1 ").arg(day, 2, 10, QLatin1Char('0'));
    AppointmentRec rec =
        outlooktest::Booking(key, date + QStringLiteral("09:00"), date + QStringLiteral("10:30"), subject);
    rec.Body += QStringLiteral("\r\nrad två");
    return rec;
}

// As the transfer run writes a booking: update its appointment, and make a new one only when
// the booking has none (a failed update is a failure, never a second appointment).
bool Export(COutLook& o, AppointmentRec rec)
{
    AppointmentRec again = rec;
    if (o.DuplicateAppointment(again, false))
        return true;
    return !o.DuplicateFailed() && o.NewAppointment(rec);
}

// Exports bookings 1..n, each on its own day, subject % its key; false when one was not done.
bool ExportAll(COutLook& o, int n, const QString& subject = QStringLiteral("Bokning %1"))
{
    for (int key = 1; key <= n; ++key)
        if (!Export(o, Booking(key, subject.arg(key), key)))
            return false;
    return true;
}

// Ends a batch as the transfer run does: the writes still under way are answered. The
// bookings whose write was refused then, each as "marker: why".
QStringList Commit(COutLook& o)
{
    o.Commit();
    QStringList out;
    for (const COutLook::EjSparad& refused : o.EjSparade())
        out << refused.marker + QStringLiteral(": ") + refused.varför;
    return out;
}

// The import list's walk over March 2026: subjects in start order.
QStringList ImportList(COutLook& o)
{
    return outlooktest::Walk(o, outlooktest::ImportFilter(QDate(2026, 3, 1), QDate(2026, 3, 31)));
}

// One run that exports bookings 1..n (see ExportAll) and ends its batch; false when the calendar
// did not open, a booking was not done or a write was refused.
bool ExportRun(int n, const QString& subject = QStringLiteral("Bokning %1"))
{
    Opened o;
    return o.ok && ExportAll(o, n, subject) && Commit(o).isEmpty();
}

// A run of its own that reads the import list.
QStringList ImportRun()
{
    Opened o;
    return ImportList(o);
}

// The mirror of a collection: the folder under the cache whose record names it.
QString MirrorOf(const QString& collection)
{
    const QDir base(qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/almbro/caldav"));
    for (const QString& dir : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile state(base.filePath(dir) + QStringLiteral("/state.json"));
        if (state.open(QIODevice::ReadOnly) &&
            QJsonDocument::fromJson(state.readAll()).object().value(QStringLiteral("collection")).toString() ==
                collection)
            return base.filePath(dir);
    }
    return QString();
}

// The mirror's items by name with their contents.
QMap<QString, QByteArray> Mirrored(const QString& collection)
{
    return testenv::Snapshot(MirrorOf(collection) + QStringLiteral("/Calendar"));
}

// An item's lines without order, folding or the stamps of a save: the server keeps items in a
// serialization of its own.
QMap<QString, QStringList> Essence(const QMap<QString, QByteArray>& items)
{
    QMap<QString, QStringList> out;
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        QString text = QString::fromUtf8(it.value());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QStringLiteral("\n "), QString());
        QStringList lines;
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!line.startsWith(QLatin1String("DTSTAMP")) && !line.startsWith(QLatin1String("LAST-MODIFIED")))
                lines << line;
        lines.sort();
        out.insert(it.key(), lines);
    }
    return out;
}

QString Subject(const QByteArray& ics)
{
    for (const QByteArray& line : ics.split('\n'))
        if (line.startsWith("SUMMARY:"))
            return QString::fromUtf8(line.mid(8).trimmed());
    return QString();
}

// The items' subjects, sorted.
QStringList Subjects(const QMap<QString, QByteArray>& items)
{
    QStringList out;
    for (const QByteArray& ics : items)
        out << Subject(ics);
    out.sort();
    return out;
}

// Opens the calendar at address as a run does: empty when it opens, else "number: description".
QString OpenError(const QString& address)
{
    return testenv::Raised([&address] { Application::Create(address)->Quit(); });
}

// A test's own Radicale in a folder of its own, holding the collection anna/work ("Arbete").
// With a user, the server asks for that user's password ("hemligt").
struct Work {
    explicit Work(const QString& user = QString())
        : folder(NewFolder()), server(folder, user, QStringLiteral("hemligt")), user(user)
    {
        server.AddCalendar(QStringLiteral("anna"), QStringLiteral("work"), QStringLiteral("Arbete"));
    }

    // Starts the server and makes the collection the calendar a run opens, with the user in its
    // address; false when the server does not start.
    [[nodiscard]] bool Start()
    {
        if (!server.Start())
            return false;
        url = server.Url(QStringLiteral("anna"), QStringLiteral("work"));
        if (!user.isEmpty())
            url.replace(QStringLiteral("://"), QStringLiteral("://%1@").arg(user));
        qputenv("ALMBRO_CALENDAR", url.toUtf8());
        return true;
    }

    [[nodiscard]] QMap<QString, QByteArray> Stored() const { return server.Stored(QStringLiteral("anna"), QStringLiteral("work")); }
    [[nodiscard]] int Puts() const { return server.Count(QStringLiteral("PUT")); }

    // The stored item whose subject this is.
    [[nodiscard]] QString NameOf(const QString& subject) const
    {
        const QMap<QString, QByteArray> stored = Stored();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            if (Subject(it.value()) == subject)
                return it.key();
        return {};
    }

    // A password file in the folder, named in ALMBRO_CALENDAR_PASSWORD_FILE; its path, empty when
    // it could not be written.
    [[nodiscard]] QString PasswordFile(const QByteArray& password,
                         QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) const
    {
        QFile f(folder + QStringLiteral("/password"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(password + '\n') < 0)
            return {};
        f.close();
        if (!f.setPermissions(permissions))
            return {};
        qputenv("ALMBRO_CALENDAR_PASSWORD_FILE", f.fileName().toUtf8());
        return f.fileName();
    }

    QString folder;
    testenv::Radicale server;
    QString user;
    QString url; // the calendar's address once started
};

// The error names a self-signed certificate as the cause (OpenSSL's words vary).
bool NamesSelfSigned(const QString& error)
{
    return error.contains(QStringLiteral("self signed")) || error.contains(QStringLiteral("self-signed"));
}
} // namespace

class TestCalDav : public QObject {
    Q_OBJECT
    // Every test asserts the boxes it expects; none may be left over.
    std::optional<vb::MsgBoxRecorder> m_boxes;

    // The text of the next box, taken from the recorder.
    QString NextBox() { return m_boxes->Boxes().isEmpty() ? QString() : m_boxes->TakeFirstBox().text; }

private slots:
    void initTestCase() { vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden)); }
    void init() { m_boxes.emplace(); }

    void cleanup()
    {
        if (auto app = Application::GetRunning())
            app->Quit();
        for (const char* name : {"ALMBRO_CALENDAR", "ALMBRO_CALENDAR_PASSWORD_FILE", "ALMBRO_CALENDAR_REQUESTS",
                                 "ALMBRO_CALENDAR_CERTIFICATE", "ALMBRO_CALENDAR_TIMEOUT"})
            qunsetenv(name);
        ALMBRO_EXPECT_NO_MORE_BOXES(*m_boxes);
    }

    // Each source on its own is tested where it is used: the environment and the default by the
    // calendar store's tests, Planum.ini by the unattended run against Radicale.
    void locationFromTheEnvironmentOrPlanumIni_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("expected");
        QTest::newRow("both: the environment wins") << "http://a.example/cal/"
                                                    << "http://a.example/cal/";
        QTest::newRow("a blank variable: Planum.ini") << "  "
                                                      << "https://anna@b.example/";
    }

    void locationFromTheEnvironmentOrPlanumIni()
    {
        QFETCH(QString, environment);
        QFETCH(QString, expected);
        const QString file =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Planum/Planum.ini");
        QDir().mkpath(QFileInfo(file).path());
        QVERIFY(vb::WritePrivateProfileString(QStringLiteral("System"), QStringLiteral("Calendar"),
                                              QStringLiteral("https://anna@b.example/"), file));
        qputenv("ALMBRO_CALENDAR", environment.toUtf8());
        QCOMPARE(StoreLocation(), expected);
        QFile::remove(file);
    }

    void discovery_data()
    {
        QTest::addColumn<QString>("address"); // %1: host:port
        QTest::addColumn<QString>("found");   // the collection's path, or empty
        QTest::addColumn<QString>("message"); // the start of the message when nothing is found
        QTest::newRow("a calendar's own address") << "http://anna@%1/anna/work/"
                                                  << "/anna/work/"
                                                  << "";
        QTest::newRow("the server's root: the first calendar with events") << "http://anna@%1/"
                                                                           << "/anna/private/"
                                                                           << "";
        QTest::newRow("the principal's address") << "http://anna@%1/anna/"
                                                 << "/anna/private/"
                                                 << "";
        QTest::newRow("a fragment naming a display name") << "http://anna@%1/#Arbete"
                                                          << "/anna/work/"
                                                          << "";
        QTest::newRow("a fragment naming the last path segment") << "http://anna@%1/#work"
                                                                 << "/anna/work/"
                                                                 << "";
        QTest::newRow("a fragment naming no calendar")
            << "http://anna@%1/#Semester"
            << ""
            << "The calendar server http://%1 has no calendar named \"Semester\" (it has: Att göra, Privat, Arbete)";
    }

    void discovery()
    {
        QFETCH(QString, address);
        QFETCH(QString, found);
        QFETCH(QString, message);
        Work w(QStringLiteral("anna"));
        // A calendar of tasks only comes first by name: not one for events.
        w.server.AddCalendar(QStringLiteral("anna"), QStringLiteral("a-tasks"), QStringLiteral("Att göra"),
                             QStringLiteral("VTODO"));
        w.server.AddCalendar(QStringLiteral("anna"), QStringLiteral("private"), QStringLiteral("Privat"),
                             QStringLiteral("VEVENT"));
        QVERIFY(w.Start());
        const QString hostPort = QUrl(w.server.Root()).authority();
        QVERIFY(!w.PasswordFile("hemligt").isEmpty());
        try {
            auto store = OpenStore(address.arg(hostPort));
            auto* dav = dynamic_cast<detail::CalDavStore*>(store.get());
            QVERIFY(dav);
            QVERIFY2(!found.isEmpty(), "a calendar was found where none should be");
            QCOMPARE(dav->CollectionUrl().path(), found);
        } catch (const vb::ErrObject& e) {
            QVERIFY2(found.isEmpty(), qPrintable(e.Description()));
            QCOMPARE(int(e.Number()), 429);
            // The listing's order is the server's: the names are compared sorted.
            const auto sorted = [](const QString& text) {
                QStringList names = text.section(QStringLiteral("(it has: "), 1).chopped(1).split(QStringLiteral(", "));
                names.sort();
                return text.section(QStringLiteral("(it has: "), 0, 0) + names.join(QLatin1Char('|'));
            };
            QCOMPARE(sorted(e.Description()), sorted(message.arg(hostPort)));
        }
    }

    // A changed booking is updated where it is; the others are not sent. (The same export again
    // uploads nothing: see the unattended run against Radicale.)
    void exportUpdatesInPlace()
    {
        Work w;
        QVERIFY(w.Start());
        QVERIFY(ExportRun(5));
        const QMap<QString, QByteArray> first = w.Stored();
        QCOMPARE(first.size(), 5);
        QCOMPARE(Essence(Mirrored(w.url)), Essence(first));
        const int puts = w.Puts();
        {
            Opened o;
            for (int key = 1; key <= 5; ++key)
                QVERIFY(Export(o, Booking(key, key == 3 ? QStringLiteral("Flyttad") : QStringLiteral("Bokning %1").arg(key), key)));
        }
        QCOMPARE(w.Puts(), puts + 1);
        const QMap<QString, QByteArray> second = w.Stored();
        QCOMPARE(second.keys(), first.keys());
        int changed = 0;
        for (const QString& name : first.keys())
            changed += first[name] != second[name];
        QCOMPARE(changed, 1);
        QCOMPARE(Essence(Mirrored(w.url)), Essence(second));
        QCOMPARE(ImportRun(), (QStringList{"Bokning 1", "Bokning 2", "Flyttad", "Bokning 4", "Bokning 5"}));
    }

    void aDeletionOnTheServer()
    {
        Work w;
        QVERIFY(w.Start());
        QVERIFY(ExportRun(3));
        QMap<QString, QByteArray> stored = w.Stored();
        const QString second = w.NameOf(QStringLiteral("Bokning 2"));
        QCOMPARE(w.server.Http("DELETE", w.url + second), 200);
        QCOMPARE(ImportRun(), (QStringList{"Bokning 1", "Bokning 3"}));
        stored.remove(second);
        QCOMPARE(Essence(Mirrored(w.url)), Essence(stored));

        // A file gone from the mirror (a cleaned cache) is fetched again; the server keeps it.
        const QString mirrored = MirrorOf(w.url) + QStringLiteral("/Calendar/") + stored.firstKey();
        QVERIFY(QFile::remove(mirrored));
        QCOMPARE(ImportRun(), (QStringList{"Bokning 1", "Bokning 3"}));
        QVERIFY(QFile::exists(mirrored));
        QCOMPARE(Essence(Mirrored(w.url)), Essence(w.Stored()));
    }

    void notesAndTasksBesideTheEvents()
    {
        Work w;
        QVERIFY(w.Start());
        // Another client keeps a to-do and a journal entry in the same collection.
        for (const char* kind : {"VTODO", "VJOURNAL"}) {
            const bool todo = qstrcmp(kind, "VTODO") == 0;
            const QString uid = todo ? QStringLiteral("todo-1") : QStringLiteral("note-1");
            QCOMPARE(w.server.Http("PUT", w.url + uid + QStringLiteral(".ics"),
                                   QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
                                                  "BEGIN:%1\r\nUID:%2\r\nDTSTAMP:20260301T080000Z\r\n"
                                                  "CREATED:20260301T080000Z\r\nSUMMARY:%3\r\nEND:%1\r\n"
                                                  "END:VCALENDAR\r\n")
                                       .arg(QLatin1String(kind), uid,
                                            todo ? QStringLiteral("Ring kunden") : QStringLiteral("Anteckning"))
                                       .toUtf8()),
                     201);
        }
        Opened o;
        QVERIFY(Export(o, Booking(1, QStringLiteral("Bokning 1"))));
        QCOMPARE(Commit(o), QStringList());
        QCOMPARE(ImportList(o), QStringList{"Bokning 1"});
        const QList<Item> tasks = o.GetAllTasks();
        QCOMPARE(tasks.size(), 1);
        QCOMPARE(tasks.first().Subject(), QStringLiteral("Ring kunden"));
        const QList<Item> notes = o.GetAllNotes();
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes.first().Subject(), QStringLiteral("Anteckning"));
        QCOMPARE(w.Stored().size(), 3);
    }

    void aBatchOfWritesGoesSeveralAtATime()
    {
        Work w;
        QVERIFY(w.Start());
        std::unique_ptr<Store> store = OpenStore(w.url);
        auto* dav = dynamic_cast<detail::CalDavStore*>(store.get());
        QVERIFY(dav);
        const int n = 24;
        QMap<QString, QByteArray> etags;
        int answered = 0;
        for (int i = 0; i < n; ++i) {
            const QString uid = QStringLiteral("batch-%1").arg(i);
            const QByteArray ics = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
                                                  "BEGIN:VEVENT\r\nUID:%1\r\nDTSTAMP:20260301T080000Z\r\n"
                                                  "DTSTART:20260302T%2Z\r\nSUMMARY:Bokning %3\r\n"
                                                  "END:VEVENT\r\nEND:VCALENDAR\r\n")
                                       .arg(uid)
                                       .arg(80000 + 100 * i, 6, 10, QLatin1Char('0'))
                                       .arg(i)
                                       .toUtf8();
            const QString name = uid + QStringLiteral(".ics");
            store->WriteLater(Collection::Calendar, name, ics, QByteArray(),
                              [&etags, &answered, name](const WriteOutcome& outcome) {
                                  ++answered;
                                  if (outcome.error.isEmpty())
                                      etags.insert(name, outcome.etag);
                              });
        }
        // Saves return before the server has answered them all.
        QVERIFY2(answered < n, qPrintable(QString::number(answered)));
        store->Commit();
        QCOMPARE(answered, n);
        QCOMPARE(etags.size(), n);
        QVERIFY2(dav->MostAtOnce() > 1 && dav->MostAtOnce() <= 6, qPrintable(QString::number(dav->MostAtOnce())));
        // The server had several of them at once.
        QVERIFY2(w.server.MostAtOnce(QStringLiteral("PUT")) > 1,
                 qPrintable(QString::number(w.server.MostAtOnce(QStringLiteral("PUT")))));
        // Each etag the store handed on is the one the server lists.
        for (const ResourceInfo& info : store->List(Collection::Calendar))
            QCOMPARE(info.etag, etags.value(info.name));
        QCOMPARE(w.Stored().size(), n);
        QCOMPARE(w.Puts(), n);
        store.reset();
        QCOMPARE(Essence(Mirrored(w.url)), Essence(w.Stored()));
    }

    void aBookingTwiceInOneBatch()
    {
        Work w;
        QVERIFY(w.Start());
        {
            // The second change starts from the first one's answer, whether or not it has come.
            Opened o;
            QVERIFY(Export(o, Booking(1, QStringLiteral("Först"))));
            QVERIFY(Export(o, Booking(1, QStringLiteral("Sedan"))));
            QVERIFY(Export(o, Booking(2, QStringLiteral("Annan"), 3)));
            QCOMPARE(Commit(o), QStringList());
            QCOMPARE(ImportList(o), (QStringList{"Sedan", "Annan"}));
        }
        QCOMPARE(Subjects(w.Stored()), (QStringList{"Annan", "Sedan"}));
        QCOMPARE(Essence(Mirrored(w.url)), Essence(w.Stored()));
    }

    void aConflictInTheMiddleOfABatch_data()
    {
        QTest::addColumn<QByteArray>("requests"); // ALMBRO_CALENDAR_REQUESTS
        QTest::newRow("one request at a time") << QByteArray("1");
        QTest::newRow("six at a time") << QByteArray("6");
    }

    void aConflictInTheMiddleOfABatch()
    {
        QFETCH(QByteArray, requests);
        Work w;
        QVERIFY(w.Start());
        qputenv("ALMBRO_CALENDAR_REQUESTS", requests);
        const int n = 15, edited = 8;
        QVERIFY(ExportRun(n));
        QCOMPARE(w.Stored().size(), n);
        const QString name = w.NameOf(QStringLiteral("Bokning %1").arg(edited));
        {
            Opened o;
            QCOMPARE(ImportList(o).size(), n);
            // Another client changes one item after the run has read the calendar.
            QByteArray phone = w.Stored().value(name);
            phone.replace(QStringLiteral("SUMMARY:Bokning %1").arg(edited).toUtf8(), "SUMMARY:Ändrad i telefonen");
            QCOMPARE(w.server.Http("PUT", w.url + name, phone), 201);
            const int puts = w.Puts();
            // Every booking moved, plus new ones after it.
            QVERIFY(ExportAll(o, n + 5, QStringLiteral("Flyttad %1")));
            const QString why =
                QStringLiteral("%1%2 was changed by another client since it was read; it was not overwritten")
                    .arg(w.url, name);
            QCOMPARE(Commit(o), QStringList{QStringLiteral("%1: ").arg(edited) + why});
            QVERIFY(NextBox().contains(why));
            // One conditional PUT each, the refused one too: no second appointment for it.
            QCOMPARE(w.Puts(), puts + n + 5);
            // The run that was refused sees the other client's version at once.
            QVERIFY(ImportList(o).contains(QStringLiteral("Ändrad i telefonen")));
        }
        QStringList want{QStringLiteral("Ändrad i telefonen")};
        for (int key = 1; key <= n + 5; ++key)
            if (key != edited)
                want << QStringLiteral("Flyttad %1").arg(key);
        want.sort();
        QCOMPARE(Subjects(w.Stored()), want);
        QCOMPARE(Essence(Mirrored(w.url)), Essence(w.Stored()));
        // The next run has read the new version and updates it.
        QVERIFY(ExportRun(n + 5, QStringLiteral("Flyttad %1")));
        QCOMPARE(Subject(w.Stored().value(name)), QStringLiteral("Flyttad %1").arg(edited));
    }

    void credentials_data()
    {
        QTest::addColumn<QByteArray>("password"); // in the password file; empty: no file named
        QTest::addColumn<int>("permissions");     // of the file
        QTest::addColumn<QString>("message");     // %1 server, %2 file; empty: opens
        const int own = int(QFile::ReadOwner | QFile::WriteOwner);
        QTest::newRow("the right password in a file of the user's own") << QByteArray("hemligt") << own << "";
        QTest::newRow("a wrong password")
            << QByteArray("fel-lösen") << own
            << "The calendar server %1 did not accept the user name \"anna\" and its password (401 Unauthorized)";
        QTest::newRow("a password file others can read")
            << QByteArray("hemligt") << int(own | QFile::ReadGroup | QFile::ReadOther)
            << "The password file %2 can be read by other users; make it readable by you alone (chmod 600 %2). It "
               "was not used";
        QTest::newRow("no password anywhere")
            << QByteArray() << own
            << "No password for the user \"anna\" on the calendar server %1: store it in the Secret Service "
               "(secret-tool store --label=Almbro service almbro server 127.0.0.1 user anna) or name a file that "
               "holds it in ALMBRO_CALENDAR_PASSWORD_FILE or in the key CalendarPasswordFile of section System in "
               "Planum.ini";
    }

    void credentials()
    {
        QFETCH(QByteArray, password);
        QFETCH(int, permissions);
        QFETCH(QString, message);
        Work w(QStringLiteral("anna"));
        QVERIFY(w.Start());
        const QString host = QUrl(w.server.Root()).adjusted(QUrl::RemovePath).toString();
        const QString file = w.folder + QStringLiteral("/password");
        if (!password.isEmpty())
            QCOMPARE(w.PasswordFile(password, QFile::Permissions(permissions)), file);
        // No Secret Service in the test's session: only the file counts.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (message.isEmpty()) {
            QVERIFY(ExportRun(1));
            QCOMPARE(w.Stored().size(), 1);
        } else {
            const QString error = OpenError(w.url);
            QCOMPARE(error,
                     QStringLiteral("429: ") +
                         QString(message).replace(QStringLiteral("%1"), host).replace(QStringLiteral("%2"), file));
            QVERIFY(!error.contains(QStringLiteral("hemligt")));
            QVERIFY(w.Stored().isEmpty());
            QCOMPARE(w.Puts(), 0);
        }
    }

    void digestBehindAFrontServer_data()
    {
        QTest::addColumn<QString>("password"); // in the password file
        QTest::addColumn<QString>("tls");      // "", or "named": over TLS, the certificate named
        QTest::addColumn<QString>("message");  // %1: the server; empty: discovery and an export work
        QTest::newRow("the right password") << "hemligt"
                                            << ""
                                            << "";
        QTest::newRow("a wrong password")
            << "fel-lösen"
            << ""
            << "The calendar server %1 did not accept the user name \"anna\" and its password (401 Unauthorized)";
        // A certificate nobody named fails the same way behind any server: see faultsAtOpening.
        QTest::newRow("over TLS, the certificate named") << "hemligt"
                                                         << "named"
                                                         << "";
    }

    void digestBehindAFrontServer()
    {
        QFETCH(QString, password);
        QFETCH(QString, tls);
        QFETCH(QString, message);
        if (testenv::Lighttpd::Executable().isEmpty())
            QSKIP("lighttpd is not installed");
        Work w;
        w.server.TrustFrontServer();
        QVERIFY(w.Start());
        testenv::Lighttpd front(w.folder, w.server.Port(), QStringLiteral("anna"), QStringLiteral("hemligt"));
        if (!tls.isEmpty()) {
            const QString certificate = front.UseTls();
            qputenv("ALMBRO_CALENDAR_CERTIFICATE", certificate.toUtf8());
        }
        QVERIFY(front.Start());
        QVERIFY(!w.PasswordFile(password.toUtf8()).isEmpty());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        // The server's root: the calendar is found by discovery.
        const QString url = front.Root().replace(QStringLiteral("://"), QStringLiteral("://anna@"));
        const QString host = QUrl(front.Root()).adjusted(QUrl::RemovePath).toString();
        qputenv("ALMBRO_CALENDAR", url.toUtf8());
        if (message.isEmpty()) {
            {
                Opened o;
                QVERIFY(o.ok);
                QVERIFY(ExportAll(o, 8));
                QCOMPARE(Commit(o), QStringList());
                QCOMPARE(ImportList(o).size(), 8);
            }
            QCOMPARE(w.Stored().size(), 8);
            // The front server asked for Digest credentials and then let the requests through
            // (its log is complete once it has stopped).
            front.Stop();
            QVERIFY(front.Count(401) >= 1);
            QCOMPARE(front.Count(201), 8);
        } else {
            const QString error = OpenError(url);
            QVERIFY2(error.startsWith(QStringLiteral("429: ") + message.arg(host)), qPrintable(error));
            QVERIFY(!error.contains(QStringLiteral("hemligt")));
            QVERIFY(!error.contains(password));
            QVERIFY(w.Stored().isEmpty());
            QCOMPARE(w.Puts(), 0);
        }
    }

    void faultsAtOpening_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // %1: the server; empty: opens
        QTest::newRow("no such calendar") << "404"
                                          << "The calendar server %1 has no /anna/nosuch/ (404 Not Found)";
        QTest::newRow("another user's calendar")
            << "403"
            << "The calendar server %1 does not allow this on /bob/work/ (403 Forbidden)";
        QTest::newRow("the server fails") << "500"
                                          << "The calendar server %1 failed (500 Internal Server Error)";
        QTest::newRow("a server that never answers") << "timeout"
                                                     << "The calendar server %1 did not answer within 2 seconds";
        QTest::newRow("a self-signed certificate nobody named")
            << "tls"
            << "The secure connection to the calendar server %1 failed: ";
        QTest::newRow("a self-signed certificate the user named") << "tls-named"
                                                                  << "";
    }

    void faultsAtOpening()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const bool auth = fault == QLatin1String("403");
        Work w(auth ? QStringLiteral("anna") : QString());
        w.server.AddCalendar(QStringLiteral("bob"), QStringLiteral("work"), QStringLiteral("Arbete"));
        QTcpServer silent; // accepts connections and never says a word
        QString address;
        if (fault == QLatin1String("timeout")) {
            QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
            address = QStringLiteral("http://127.0.0.1:%1/anna/work/").arg(silent.serverPort());
            qputenv("ALMBRO_CALENDAR_TIMEOUT", "2");
        } else {
            if (fault.startsWith(QLatin1String("tls"))) {
                const QString certificate = w.server.UseTls();
                if (fault == QLatin1String("tls-named"))
                    qputenv("ALMBRO_CALENDAR_CERTIFICATE", certificate.toUtf8());
            }
            if (fault == QLatin1String("500")) {
                // A collection whose properties the server cannot read.
                QVERIFY(testenv::WriteFile(
                    w.folder + QStringLiteral("/store/collection-root/anna/work/.Radicale.props"), "{ not json"));
            }
            QVERIFY(w.Start());
            if (auth)
                QVERIFY(!w.PasswordFile("hemligt").isEmpty());
            const QString path = fault == QLatin1String("404")   ? QStringLiteral("anna/nosuch/")
                                 : fault == QLatin1String("403") ? QStringLiteral("bob/work/")
                                                                 : QStringLiteral("anna/work/");
            address = QString(w.url).replace(QStringLiteral("anna/work/"), path);
        }
        const QString host = QUrl(address).adjusted(QUrl::RemovePath | QUrl::RemoveUserInfo).toString();
        const QString error = OpenError(address);
        if (message.isEmpty())
            QVERIFY2(error.isEmpty(), qPrintable(error));
        else
            QVERIFY2(error.startsWith(QStringLiteral("429: ") + message.arg(host)), qPrintable(error));
        if (fault == QLatin1String("tls"))
            QVERIFY2(NamesSelfSigned(error), qPrintable(error));
        if (fault == QLatin1String("timeout")) {
            // Tried three times, each on a connection of its own, then given up.
            int connections = 0;
            while (silent.hasPendingConnections() || silent.waitForNewConnection(100))
                connections += silent.nextPendingConnection() != nullptr;
            QCOMPARE(connections, 3);
        }
    }

    void passwordFromTheSecretService()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty())
            QSKIP("gnome-keyring and libsecret-tools are not installed");
        Work w(QStringLiteral("anna"));
        QVERIFY(w.Start());
        // A session of our own: a bus and a keyring holding the password, stored as the README
        // tells a user to.
        QProcess bus;
        const QString address = testenv::StartBusDaemon(bus, QProcessEnvironment::systemEnvironment());
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QProcess keyring;
        keyring.start(
            QStringLiteral("gnome-keyring-daemon"),
            {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"), QStringLiteral("--foreground")});
        QVERIFY(keyring.waitForStarted(10000));
        keyring.write("keyring-password");
        keyring.closeWriteChannel();
        QProcess store;
        for (int attempt = 0; attempt < 50; ++attempt) {
            QTest::qWait(100);
            store.start(QStringLiteral("secret-tool"),
                        {QStringLiteral("store"), QStringLiteral("--label=Almbro calendar"), QStringLiteral("service"),
                         QStringLiteral("almbro"), QStringLiteral("server"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("user"), QStringLiteral("anna")});
            QVERIFY(store.waitForStarted(10000));
            store.write("hemligt");
            store.closeWriteChannel();
            QVERIFY(store.waitForFinished(20000));
            if (store.exitCode() == 0)
                break;
        }
        QCOMPARE(store.exitCode(), 0);

        QVERIFY(ExportRun(1));
        QCOMPARE(w.Stored().size(), 1);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        keyring.terminate();
        keyring.waitForFinished(5000);
        bus.terminate();
        bus.waitForFinished(5000);
    }

    void anUnchangedSaveWritesNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("vdir folder") << "vdir";
        QTest::newRow("single .ics file") << "ics";
    }

    void anUnchangedSaveWritesNothing()
    {
        QFETCH(QString, kind);
        Work w;
        QString location = w.folder + QStringLiteral("/calendar");
        if (kind == QLatin1String("ics"))
            location += QStringLiteral(".ics");
        qputenv("ALMBRO_CALENDAR", location.toUtf8());
        auto etags = [&location] {
            QList<QByteArray> out;
            for (const ResourceInfo& info : OpenStore(location)->List(Collection::Calendar))
                out << info.etag;
            return out;
        };
        QVERIFY(ExportRun(2));
        const QList<QByteArray> first = etags();
        QCOMPARE(first.size(), 2);
        QVERIFY(ExportRun(2));
        QCOMPARE(etags(), first);
        {
            Opened o;
            QVERIFY(Export(o, Booking(2, QStringLiteral("Bokning 2 flyttad"), 2)));
        }
        const QList<QByteArray> after = etags();
        QCOMPARE(after.size(), 2);
        // The changed item has a new version, the other keeps its own.
        QSet<QByteArray> kept(first.cbegin(), first.cend());
        kept.intersect(QSet<QByteArray>(after.cbegin(), after.cend()));
        QCOMPARE(int(kept.size()), 1);
    }
};

ALMBRO_TEST_MAIN(TestCalDav)
#include "test_caldav.moc"
