// Calendars written by other programs, read through the import path (the folder sorted on
// Start with its occurrences, searched for a window, as the import list does) and compared
// occurrence by occurrence with a second reader that shares no code with ours
// (reference_occurrences.py: python3-icalendar and python3-dateutil); then an appointment is
// saved into each, as a vdir and as a single file, and every byte of the other programs'
// items must be as it was.
#include "CalendarTestSupport.h"

using namespace cal;
using namespace caltest;

namespace {
const char kCorpus[] = ALMBRO_SOURCE_DIR "/tests/calendar/data/corpus";
const char kBroken[] = ALMBRO_SOURCE_DIR "/tests/calendar/data/corpus-broken";
const QString kFirstDay = QStringLiteral("1990-01-01");
const QString kLastDay = QStringLiteral("2030-12-31");

QString Text(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

// The window's occurrences as the import list finds them, one line each, sorted.
QStringList Occurrences(const std::shared_ptr<Application>& app)
{
    Items items = SortedWithRecurrences(app);
    const QString end = QDate::fromString(kLastDay, Qt::ISODate).addDays(1).toString(Qt::ISODate);
    QStringList out;
    const QString format = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
    for (Item i = items.Find(QStringLiteral("[Start] >= \"%1\" AND [End] <= \"%2\"").arg(kFirstDay, end)); i;
         i = items.FindNext())
        out << QStringList{i.Start().toString(format), i.End().toString(format), Text(i.Subject()),
                           i.AllDayEvent() ? QStringLiteral("all-day") : QStringLiteral("timed"),
                           i.IsRecurring() ? QStringLiteral("recurring") : QStringLiteral("single")}
                   .join(QLatin1Char('|'));
    out.sort();
    return out;
}

// Whether after is before with bytes inserted at one place and nothing else changed: every
// byte of before is still there, in order, around the one new part.
bool OnlyInserted(const QByteArray& before, const QByteArray& after)
{
    qsizetype prefix = 0;
    const qsizetype most = std::min(before.size(), after.size());
    while (prefix < most && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < most - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return prefix + suffix == before.size();
}

// Whether a save left the other programs' bytes as they were: the vdir's item file of theirs
// untouched, the single file only added to (and no X-LIC- notes of libical's added).
bool ForeignBytesKept(const QByteArray& original, const QByteArray& after, bool vdir)
{
    return vdir ? after == original
                : OnlyInserted(original, after) && after.count("X-LIC-") == original.count("X-LIC-");
}

// One data row per calendar file of a folder.
void RowPerFile(const char* folder)
{
    QTest::addColumn<QString>("file");
    for (const QString& name : IcsFiles(QString::fromUtf8(folder)))
        QTest::newRow(qPrintable(name)) << name;
}

// A copy of a file as the one item file of a new vdir, and another as a whole calendar file.
struct Copies {
    QString vdir, inVdir, single;
};
Copies CopiesOf(const QString& source, const QString& prefix)
{
    const QString file = QFileInfo(source).fileName();
    Copies c;
    c.vdir = testenv::Root() + QLatin1Char('/') + prefix + QStringLiteral("vdir-") + QFileInfo(file).completeBaseName();
    QDir().mkpath(c.vdir + QStringLiteral("/Calendar"));
    c.inVdir = c.vdir + QStringLiteral("/Calendar/") + file;
    c.single = testenv::Root() + QLatin1Char('/') + prefix + QStringLiteral("single-") + file;
    if (!QFile::copy(source, c.inVdir) || !QFile::copy(source, c.single))
        qFatal("cannot copy %s", qPrintable(source));
    return c;
}

Item NewAppointment(Application& app, const QString& subject)
{
    Item item = app.CreateItem(olAppointmentItem);
    item.SetStart(QDateTime(QDate(2026, 3, 29), QTime(1, 30)));
    item.SetEnd(QDateTime(QDate(2026, 3, 29), QTime(3, 30)));
    item.SetSubject(subject);
    item.SetBillingInformation(QStringLiteral("4711"));
    item.Save();
    return item;
}
} // namespace

class TestCorpus : public QObject {
    Q_OBJECT
private slots:
    void enoughFiles()
    {
        QVERIFY(QDir(QString::fromUtf8(kCorpus)).entryList({QStringLiteral("*.ics")}).size() >= 40);
    }

    void sameOccurrencesAsAnotherReader_data() { RowPerFile(kCorpus); }

    void sameOccurrencesAsAnotherReader()
    {
        QFETCH(QString, file);
        const QString source = QString::fromUtf8(kCorpus) + QLatin1Char('/') + file;
        QStringList expected[2];
        bool readable = true;
        // In a vdir a file is one item: its first UID's components. As a calendar file, all.
        for (const bool vdirReading : {true, false}) {
            QStringList args{QStringLiteral(ALMBRO_SOURCE_DIR "/tests/calendar/reference_occurrences.py"), source, kFirstDay, kLastDay};
            if (vdirReading)
                args.insert(1, QStringLiteral("--first-item"));
            QProcess python;
            python.start(QStringLiteral(ALMBRO_PYTHON3), args);
            QVERIFY(python.waitForFinished(120000));
            readable = python.exitCode() == 0;
            QVERIFY2(readable || python.exitCode() == 3, python.readAllStandardError().constData());
            expected[vdirReading ? 0 : 1] = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }

        // As the one item file of a vdir, and as the whole calendar.
        const Copies copies = CopiesOf(source, QString());
        const QString &vdir = copies.vdir, &inVdir = copies.inVdir, &single = copies.single;
        const QByteArray original = ReadBytes(source);

        for (const QString& place : {vdir, single}) {
            const QStringList& expect = expected[place == vdir ? 0 : 1];
            auto app = Application::Create(place);
            const QStringList got = Occurrences(app);
            if (readable)
                QCOMPARE(got.join(QLatin1Char('\n')), expect.join(QLatin1Char('\n')));
            else
                qInfo("the other reader cannot read this file: nothing to compare");

            // A save leaves every byte of the other programs' items as it was.
            Item mine = NewAppointment(*app, QStringLiteral("Bokning ") + file);
            app->Quit();
            const QString path = place == vdir ? inVdir : single;
            QVERIFY2(ForeignBytesKept(original, ReadBytes(path), place == vdir),
                     "bytes of other programs' items changed");
            // Changed and saved again: still only its own bytes.
            auto again = Application::Create(place);
            Item back = CalendarItems(again).Find(QStringLiteral("[BillingInformation] = \"4711\""));
            QVERIFY(back);
            back.SetSubject(QStringLiteral("  Ändrad bokning  "));
            back.Save();
            again->Quit();
            QVERIFY2(ForeignBytesKept(original, ReadBytes(path), place == vdir),
                     "bytes of other programs' items changed");
            // And the foreign occurrences read the same as before, ours with its blanks.
            auto third = Application::Create(place);
            QStringList withOurs = Occurrences(third);
            const QString ours = QStringLiteral("2026-03-29T01:30:00|2026-03-29T03:30:00|  Ändrad bokning  |timed|single");
            QVERIFY2(withOurs.removeAll(ours) == 1, qPrintable(withOurs.join(QLatin1Char('\n'))));
            if (readable)
                QCOMPARE(withOurs.join(QLatin1Char('\n')), expect.join(QLatin1Char('\n')));
            third->Quit();
        }
    }

    // Files with no one right reading: read without a crash, what cannot be used named with
    // the file, and their bytes kept by a save.
    void brokenFilesAreLeftAsTheyAre_data() { RowPerFile(kBroken); }

    void brokenFilesAreLeftAsTheyAre()
    {
        QFETCH(QString, file);
        const QString source = QString::fromUtf8(kBroken) + QLatin1Char('/') + file;
        const QByteArray original = ReadBytes(source);
        const Copies copies = CopiesOf(source, QStringLiteral("broken-"));
        const QString &vdir = copies.vdir, &inVdir = copies.inVdir, &single = copies.single;
        for (const QString& place : {vdir, single}) {
            const QString path = place == vdir ? inVdir : single;
            auto app = Application::Create(place);
            Occurrences(app);
            for (const QString& e : app->GetNamespace(QStringLiteral("MAPI")).GetDefaultFolder(olFolderCalendar).LoadErrors())
                QVERIFY2(e.startsWith(path), qPrintable(e));
            NewAppointment(*app, QStringLiteral("Bokning ") + file);
            app->Quit();
            QVERIFY2(ForeignBytesKept(original, ReadBytes(path), place == vdir),
                     "bytes of other programs' items changed");
        }
    }
};

ALMBRO_TEST_MAIN(TestCorpus)
#include "test_corpus.moc"
