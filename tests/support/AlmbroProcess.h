#pragma once
// The built almbro run as a scheduler runs it: no display, the test's own home and calendar.
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

// A profile run unattended over the last week, on that calendar.
inline Run RunProfile(const QString& profile)
{
    return Almbro({QStringLiteral("/auto"), profile, QStringLiteral("d7")}, CalendarLocation());
}

// <documents>/Planum of the test's home, made with the language files in it.
inline QString PlanumDocuments()
{
    const QString folder = qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Planum");
    QDir().mkpath(folder);
    for (const char* name : {"Lang.ini", "LangEN.ini", "LangSV.ini"}) {
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::exists(target))
            QFile::copy(SourceLangDir() + QLatin1Char('/') + QLatin1String(name), target);
    }
    return folder;
}

// Every .ics file of a folder with its bytes.
inline QMap<QString, QByteArray> Snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.ics")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.insert(name, f.readAll());
    }
    return files;
}

} // namespace testenv
