#pragma once
// The built almbro run as a scheduler runs it: no display, the test's own home and calendar.
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "settings/CTexter.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testenv {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Starts ALMBRO_EXE with args and the calendar at calendar (empty: ALMBRO_CALENDAR not set, so
// Planum.ini says where); extra variables may be added. The caller waits for it.
inline void StartAlmbro(QProcess& process, const QStringList& args, const QString& calendar,
                        const QProcessEnvironment& extra = QProcessEnvironment())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (calendar.isEmpty())
        env.remove(QStringLiteral("ALMBRO_CALENDAR"));
    else
        env.insert(QStringLiteral("ALMBRO_CALENDAR"), calendar);
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ALMBRO_EXE), args);
}

// Waits for a started run to end and gives what it said; a run that hangs is killed.
inline Run Finish(QProcess& process)
{
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Runs ALMBRO_EXE to its end; see StartAlmbro.
inline Run Almbro(const QStringList& args, const QString& calendar,
                  const QProcessEnvironment& extra = QProcessEnvironment())
{
    QProcess process;
    StartAlmbro(process, args, calendar, extra);
    return Finish(process);
}

// The calendar of the process tests (a vdir in the test's temporary root) and its appointments.
inline QString CalendarLocation()
{
    return Root() + QStringLiteral("/calendar");
}

inline QString AppointmentFolder()
{
    return CalendarLocation() + QStringLiteral("/Calendar");
}

// <documents>/Planum of the test's home, made with the language files in it.
inline QString PlanumDocuments()
{
    return WithLanguageFiles(qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Planum"));
}

// A profile run unattended over a range (the last week unless told), on a calendar.
inline Run RunProfile(const QString& profile, const QString& range = QStringLiteral("d7"),
                      const QString& calendar = CalendarLocation())
{
    return Almbro({QStringLiteral("/auto"), profile, range}, calendar);
}

// A text of a language file ("EN", "SV"), as the runs say it.
inline QString LangText(const QString& lang, const char* id)
{
    CTexter texter;
    texter.SetSpråkfil(SourceLangDir() + QStringLiteral("/Lang%1.ini").arg(lang));
    return texter.TextTillAndra(QString::fromLatin1(id));
}

inline QString EnglishText(const char* id)
{
    return LangText(QStringLiteral("EN"), id);
}

// What a run that did all of its count items prints.
inline QString Summary(qint64 count)
{
    return QStringLiteral("%1 / %1 ").arg(count) + EnglishText("R2146");
}

// A new Planum database at location (a file or a postgresql:// URL) with demo data; gives the
// number of its first resource, 0 where it cannot be opened.
inline qint32 SeedDatabase(const QString& location, const planumdb::SeedOptions& options)
{
    booking::DBFunk::SkapaDatabas(location);
    booking::DBFunk db;
    if (db.ÖppnaDatabas(location, 0, 0) != 1)
        return 0;
    planumdb::Seed(db, options);
    return db.HämtaPersoner(0, 0, 0, 0, 0)[QStringLiteral("ID")].toInt();
}

// How many bookings the database holds; -1 where it cannot be opened.
inline qint64 Bookings(const QString& location)
{
    booking::DBFunk funk;
    if (funk.ÖppnaDatabas(location, 0, 0) != 1)
        return -1;
    return funk.AntalBokningar();
}

// Saves a booking again with a change made to it; gives the save's result (0: saved, -1: not found).
template <typename Change> qint32 ChangeBooking(const QString& location, qint32 number, Change change)
{
    booking::DBFunk db;
    std::optional<booking::DBPost> post;
    if (db.ÖppnaDatabas(location, 0, 0) != 1 || !(post = db.HämtaPost(number)))
        return -1;
    change(*post);
    qint32 saved = 0;
    qint32 result = -1;
    db.Överlapp(true);
    db.SparaPost(*post, false, saved, result);
    return result;
}

// A profile section for Planum.ini: bookings of every resource to calendar items, with the
// mappings given (none: the profile has none).
inline QByteArray ExportProfile(const QString& name, const QString& database,
                                const QByteArray& mappings = "Koppling1=Kundnamn,Subject;Koppling2=Notering,Text")
{
    return "[" + name.toUtf8() +
           "]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;cboResurser=-99;"
           "DataBas=" +
           database.toUtf8() + ";chkPlanumBokningar=0" + (mappings.isEmpty() ? "" : ";" + mappings) + "\n";
}

// A profile section for Planum.ini: calendar items to bookings of one resource.
inline QByteArray ImportProfile(const QString& name, const QString& database, qint32 resource)
{
    return "[" + name.toUtf8() +
           "]\nValues=optImport=True;optKalender=True;optNotering=False;optUppgifter=False;lstResurser=" +
           QByteArray::number(resource) + ";DataBas=" + database.toUtf8() +
           ";Status=1;chkPlanumBokningar=0;Koppling1=Notering,Text\n";
}

// Writes text into Planum.ini of the documents folder, at its end or (append false) as all of it.
[[nodiscard]] inline bool WriteIni(const QByteArray& text, bool append = true)
{
    QFile ini(PlanumDocuments() + QStringLiteral("/Planum.ini"));
    return ini.open(append ? QIODevice::Append : QIODevice::WriteOnly) && ini.write(text) == text.size();
}

// The run log of the documents folder.
inline QString RunLog()
{
    QFile log(PlanumDocuments() + QStringLiteral("/Almbro.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

// An appointment as another calendar program writes one, in UTC or (local) in local time;
// properties: its SUMMARY, DESCRIPTION and any others, each line ending in CRLF.
inline QByteArray ForeignAppointment(const QString& uid, const QDateTime& start, int minutes,
                                     const QByteArray& properties, bool local = false)
{
    const auto when = [&](const QDateTime& t) {
        return local ? t.toString(QStringLiteral("yyyyMMddTHHmmss")).toLatin1()
                     : t.toUTC().toString(QStringLiteral("yyyyMMddTHHmmssZ")).toLatin1();
    };
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Corp.//Other Calendar 4.2//EN\r\nBEGIN:VEVENT\r\nUID:" +
           uid.toUtf8() + "\r\nDTSTAMP:20261101T080000Z\r\nDTSTART:" + when(start) +
           "\r\nDTEND:" + when(start.addSecs(60 * qint64(minutes))) + "\r\n" + properties +
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

} // namespace testenv
