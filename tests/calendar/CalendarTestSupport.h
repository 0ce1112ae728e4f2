#pragma once
// What the calendar library's tests share: a place of their own for each store, the data folder,
// and small calendar texts written as other programs write them.
#include "calendar/Calendar.h"
#include "calendar/FileIo.h"
#include "calendar/Model.h"
#include "calendar/RawIcs.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"
#include "support/Raised.h"
#include "support/TestEnv.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimeZone>
#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

namespace caltest {
using namespace cal;
using testenv::Raised;

inline QDateTime At(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}

inline QString NewPlace(const QString& suffix = QString())
{
    // A folder that exists and is empty: a calendar may be made in it.
    static int n = 0;
    const QString place = testenv::Root() + QStringLiteral("/store-%1").arg(++n);
    QDir().mkpath(place);
    return place + suffix;
}

inline QString DataFile(const QString& name)
{
    return QStringLiteral(ALMBRO_SOURCE_DIR "/tests/calendar/data/") + name;
}

using testenv::ReadBytes;

inline void WriteText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(testenv::WriteFile(path, text));
}

// Another program writes the file anew (a new file of the same name), each pair's first text
// replaced by its second; the text it wrote.
inline QByteArray RewriteElsewhere(const QString& path, std::initializer_list<std::pair<QByteArray, QByteArray>> changes)
{
    QByteArray text = ReadBytes(path);
    for (const auto& [from, to] : changes)
        text.replace(from, to);
    QFile::remove(path);
    WriteText(path, text);
    return text;
}

inline QStringList IcsFiles(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
}

// "start|end|subject" of every item a search gives, in its order.
inline QStringList Listing(Items items, const QString& filter)
{
    QStringList out;
    for (Item i = items.Find(filter); i; i = items.FindNext())
        out << i.Start().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QLatin1Char('|') +
                   i.End().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QLatin1Char('|') + i.Subject();
    return out;
}

// The items of the calendar folder.
inline Items CalendarItems(const std::shared_ptr<Application>& app)
{
    return app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
}

// A copy of the Windows client's export (three events, one a weekly series with an excluded and
// a moved Monday) as a single calendar file of its own. A copy that fails ends the test program.
inline QString WindowsExport()
{
    const QString file = NewPlace(QStringLiteral(".ics"));
    if (!QFile::copy(DataFile(QStringLiteral("desktop_client_export_windows_zone.ics")), file))
        qFatal("cannot copy the Windows export to %s", qPrintable(file));
    return file;
}

// A new appointment with its start and subject, saved through app.
inline Item SaveNewAppointment(const std::shared_ptr<Application>& app, const QDateTime& start, const QString& subject)
{
    Item item = app->CreateItem(olAppointmentItem);
    item.SetStart(start);
    item.SetSubject(subject);
    item.Save();
    return item;
}

// An appointment made through an application of its own on place, set up by set and saved; the
// path its file has in a vdir.
template <typename Set>
QString SaveAppointment(const QString& place, Set set, const QString& uidPrefix = QString())
{
    auto app = Application::Create(place);
    Item item = app->CreateItem(olAppointmentItem, uidPrefix);
    set(item);
    item.Save();
    app->Commit(); // a save's file is in place at the latest here
    return place + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics");
}

inline Items SortedWithRecurrences(const std::shared_ptr<Application>& app)
{
    Items items = app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).Items();
    items.Sort(QStringLiteral("[Start]"));
    items.SetIncludeRecurrences(true);
    return items;
}

// A calendar whose zone changes its offset every minute from 1601 on, with one event in it.
inline QByteArray MinutelyZone()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VTIMEZONE\r\nTZID:Minutzon\r\n"
           "BEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=MINUTELY;BYSECOND=0\r\nTZOFFSETFROM:+0200\r\n"
           "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:16010101T000030\r\nRRULE:FREQ=MINUTELY;BYSECOND=30\r\n"
           "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:minutzon\r\n"
           "DTSTART;TZID=Minutzon:20260305T100000\r\nDTEND;TZID=Minutzon:20260305T110000\r\nSUMMARY:minutzon\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

// An hour-long event whose UID and subject are uid, starting at dtstart in Stockholm; a series
// repeats by rule.
inline QByteArray Single(const QString& uid, const QByteArray& dtstart, const QByteArray& extra = {})
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid.toUtf8() +
           "\r\nDTSTAMP:20200101T000000Z\r\nDTSTART;TZID=Europe/Stockholm:" + dtstart +
           "\r\nDURATION:PT1H\r\nSUMMARY:" + uid.toUtf8() + "\r\n" + extra + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

inline QByteArray Series(const QString& uid, const QByteArray& dtstart, const QByteArray& rule,
                         const QByteArray& extra = {})
{
    return Single(uid, dtstart, "RRULE:" + rule + "\r\n" + extra);
}

// Writes a calendar text as one item file of a vdir or as the whole single file.
inline QString StoreHolding(const QByteArray& text, bool vdir)
{
    const QString place = NewPlace(vdir ? QString() : QStringLiteral(".ics"));
    WriteText(vdir ? place + QStringLiteral("/Calendar/item.ics") : place, text);
    return place;
}

// The rows of a test that runs on both kinds of local store: a vdir and a single file.
inline void VdirAndSingleFileRows()
{
    QTest::addColumn<bool>("vdir");
    QTest::newRow("vdir") << true;
    QTest::newRow("single file") << false;
}

// Every calendar test runs in Swedish, in a zone with summer time.
inline void InitCalendarTest()
{
    vb::SetLocaleForTest(QLocale(QLocale::Swedish, QLocale::Sweden));
    QCOMPARE(QTimeZone::systemTimeZoneId(), QByteArray("Europe/Stockholm"));
}

// Each test starts without a running application.
inline void QuitRunningApplication()
{
    if (auto app = Application::GetRunning())
        app->Quit();
}
} // namespace caltest
