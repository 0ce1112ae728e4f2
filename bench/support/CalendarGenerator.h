#pragma once
// What the benchmarks share: a calendar written as another program would write it (one file
// per item, directly: the generator is not what is measured), and the process's peak memory.
#include "calendar/Calendar.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace benchsupport {

inline long PeakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline QByteArray Wall(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

// Writes the calendar as another program would have: one file per item, directly (the generator
// is not what is measured).
inline void Generate(const QString& folder, int count, const QByteArray& vtimezone)
{
    QDir().mkpath(folder);
    QRandomGenerator rng(4711);
    const QDateTime base(QDate(2024, 1, 1), QTime(0, 0));
    for (int i = 0; i < count; ++i) {
        const QDateTime start =
            base.addDays(rng.bounded(4 * 365)).addSecs(3600 * (7 + rng.bounded(10)) + 900 * rng.bounded(4));
        const QDateTime end = start.addSecs(1800 * (1 + rng.bounded(6)));
        QByteArray rule;
        if (i % 10 == 0) {
            switch ((i / 10) % 4) {
            case 0:
                rule = "RRULE:FREQ=WEEKLY;COUNT=" + QByteArray::number(5 + rng.bounded(40)) + "\r\n";
                break;
            case 1:
                rule = "RRULE:FREQ=DAILY;UNTIL=" + Wall(start.addDays(30 + rng.bounded(90)).toUTC()) + "Z\r\n";
                break;
            case 2:
                rule = "RRULE:FREQ=WEEKLY;BYDAY=MO,TH\r\n";
                break;
            default:
                rule = "RRULE:FREQ=MONTHLY;BYMONTHDAY=" + QByteArray::number(1 + rng.bounded(28)) + "\r\n";
                break;
            }
        }
        const QByteArray uid = "bench-" + QByteArray::number(i);
        const QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n" + vtimezone +
                                "BEGIN:VEVENT\r\nUID:" + uid +
                                "\r\nDTSTAMP:20240101T000000Z\r\nDTSTART;TZID=Europe/Stockholm:" + Wall(start) +
                                "\r\nDTEND;TZID=Europe/Stockholm:" + Wall(end) + "\r\nSUMMARY:Möte " +
                                QByteArray::number(i) + "\r\nLOCATION:Rum " + QByteArray::number(i % 50) +
                                "\r\nDESCRIPTION:Genererat möte\r\n" + rule + "END:VEVENT\r\nEND:VCALENDAR\r\n";
        QFile f(folder + QLatin1Char('/') + QString::fromLatin1(uid) + QStringLiteral(".ics"));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(f.fileName()));
        f.write(text);
    }
}

// The VTIMEZONE our own files carry, so that generated files are the same size as ours.
inline QByteArray OwnVTimezone(const QString& scratchFolder)
{
    auto calendar = cal::Application::Create(scratchFolder);
    cal::Item item = calendar->CreateItem(cal::olAppointmentItem);
    item.SetStart(QDateTime(QDate(2026, 1, 1), QTime(8, 0)));
    item.Save();
    calendar->Commit(); // the file is in place
    QFile f(scratchFolder + QStringLiteral("/Calendar/") + item.EntryID() + QStringLiteral(".ics"));
    f.open(QIODevice::ReadOnly);
    const QByteArray text = f.readAll();
    const qsizetype from = text.indexOf("BEGIN:VTIMEZONE"), to = text.indexOf("END:VTIMEZONE");
    calendar->Quit();
    return text.mid(from, to - from) + "END:VTIMEZONE\r\n";
}

} // namespace benchsupport
