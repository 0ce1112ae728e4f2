// The export as the wizard runs it: the item list for a week of 10,000 bookings (FyllLista with
// every row of the list), then the transfer of 1,000 ticked bookings into a calendar of 100,000
// appointments, then the same transfer again (all updates). With "prepare FOLDER" it instead
// leaves a home folder for timing whole unattended runs of the program (see bench/README.md).
#include "booking/BulkWriter.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "support/CalendarGenerator.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
QTextStream out(stdout);
const QDate kMonday(2026, 3, 2);

void InstallLanguage(const QString& planum)
{
    QDir().mkpath(planum);
    for (const char* name : {"Lang.ini", "LangEN.ini", "LangSV.ini"})
        QFile::copy(QStringLiteral(ALMBRO_SOURCE_DIR "/lang/") + QLatin1String(name),
                    planum + QLatin1Char('/') + QLatin1String(name));
}

// count bookings over days days from first, spread over resources.
void MakeBookings(const QString& path, int count, int resources, int days, const QDate& first = kMonday)
{
    booking::DBFunk::SkapaDatabas(path);
    booking::DBFunk db;
    if (db.ÖppnaDatabas(path, 0, 0) != 1)
        qFatal("%s does not open: %s", qPrintable(path), qPrintable(db.SenasteFel()));
    booking::BulkWriter writer(db);
    QList<qint32> people;
    for (int r = 0; r < resources; ++r)
        people << writer.AddResource(QStringLiteral("Resurs"), QString::number(r),
                                     QStringLiteral("Plats %1").arg(r % 9));
    for (int i = 0; i < count; ++i) {
        booking::DBPost post;
        post.PersonID(people[i % resources]);
        const int slot = i / resources; // each resource's bookings follow each other
        post.StartTid(QDateTime(first.addDays(slot % days), QTime(7, 0)).addSecs(900 * (slot / days)));
        post.SlutTid(post.StartTid().addSecs(900));
        post.Kundnamn(QStringLiteral("Kund %1").arg(i % 300));
        post.Notering(QStringLiteral("Bokning %1\r\nrad två").arg(i));
        post.Leveransadress(QStringLiteral("Gatan %1").arg(i % 70));
        writer.AddBooking(post);
    }
    writer.Commit();
}

QString Profile(const QString& db)
{
    return QStringLiteral(
               "Values=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;cboResurser=-99;"
               "DataBas=") +
           db +
           QStringLiteral(";chkPlanumBokningar=0;Koppling1=Kundnamn,Subject;Koppling2=Notering,Text;Koppling3="
                          "Leveransadress,Location\n");
}

int Prepare(const QString& folder)
{
    const QString planum = folder + QStringLiteral("/home/Documents/Planum");
    InstallLanguage(planum);
    // Unattended runs look back from today: the last seven days, and yesterday.
    MakeBookings(planum + QStringLiteral("/week.db"), 10000, 1000, 7, QDate::currentDate().addDays(-6));
    MakeBookings(planum + QStringLiteral("/day.db"), 480, 60, 1, QDate::currentDate().addDays(-1));
    QFile ini(planum + QStringLiteral("/Planum.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(("[System]\nLang=EN\n[Week]\n" + Profile(planum + QStringLiteral("/week.db")) + "[Day]\n" +
               Profile(planum + QStringLiteral("/day.db")))
                  .toUtf8());
    out << "prepared " << folder << "\n";
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "prepare")
        return Prepare(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/almbro-bench-XXXXXX"));
    const QString root = temp.path();
    qputenv("HOME", (root + QStringLiteral("/home")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/home/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/home/.cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/home/.config")).toUtf8());
    qputenv("TZ", "Europe/Stockholm");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString store = root + QStringLiteral("/calendar");
    qputenv("ALMBRO_CALENDAR", store.toUtf8());
    QApplication app(argc, argv);

    const QString planum = root + QStringLiteral("/home/Documents/Planum");
    InstallLanguage(planum);
    gsIniFil = planum + QStringLiteral("/Planum.ini");
    gsSpråkfil = planum + QStringLiteral("/LangEN.ini");
    goTexter = std::make_unique<CTexter>();
    goTexter->SetSpråkfil(gsSpråkfil);
    vb::MsgBoxRecorder boxes;
    vb::SetEndHandler([](int) {});

    QElapsedTimer t;
    t.start();
    const QString db = root + QStringLiteral("/week.db");
    MakeBookings(db, 10000, 1000, 7);
    out << QStringLiteral("bookings: 10,000 in one week, 1,000 resources (%1 s, not measured)\n")
               .arg(t.nsecsElapsed() / 1e9, 0, 'f', 2);
    t.restart();
    benchsupport::Generate(store + QStringLiteral("/Calendar"), 100000,
                           benchsupport::OwnVTimezone(root + QStringLiteral("/template")));
    out << QStringLiteral("calendar: 100,000 appointments, 10% recurring (%1 s, not measured)\n")
               .arg(t.nsecsElapsed() / 1e9, 0, 'f', 2);
    out.flush();

    // A calendar that was opened before: its summary cache is there, as on every later day.
    t.restart();
    {
        bool ok = false;
        COutLook warm(nullptr, ok);
        AppointmentRec none;
        none.BillingInformation = none.Mileage = none.ReminderSoundFile = QStringLiteral("-1");
        // Found or not, the calendar has been read: that is all this call is for.
        (void)warm.DuplicateAppointment(none, false);
    }
    out << QStringLiteral("calendar opened once before (first open, parses every file, not measured): %1 s\n")
               .arg(t.nsecsElapsed() / 1e9, 0, 'f', 2);

    t.restart();
    auto* w = new frmWizard;
    out << QStringLiteral("wizard loaded: %1 s\n").arg(t.nsecsElapsed() / 1e9, 0, 'f', 3);
    // The controls, by their object names; buttons pressed as a click would.
    const auto C = [w](const char* name) { return w->findChild<QWidget*>(QString::fromUtf8(name)); };
    auto* lvVisa = static_cast<vb::ListView*>(C("lvVisa"));
    auto* lstFält = static_cast<QListWidget*>(C("lstFält"));
    auto* lstOutLook = static_cast<QListWidget*>(C("lstOutLook"));
    auto* txtDB = static_cast<QLineEdit*>(C("txtDB"));
    auto* optExport = static_cast<QRadioButton*>(C("optExport"));
    auto* optImport = static_cast<QRadioButton*>(C("optImport"));
    auto* dtpStartTid = static_cast<QDateTimeEdit*>(C("dtpStartTid"));
    auto* dtpSlutTid = static_cast<QDateTimeEdit*>(C("dtpSlutTid"));
    gsDataBas = db;
    txtDB->setText(db);
    optExport->click();
    dtpStartTid->setDateTime(QDateTime(kMonday, QTime(0, 0)));
    dtpSlutTid->setDateTime(QDateTime(kMonday.addDays(6), QTime(23, 0)));
    boxes.Answer(vb::vbNo); // "10,000 bookings: stop?" No, list them all

    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        if (run)
            boxes.Answer(vb::vbNo);
        lvVisa->ClearItems();
        t.restart();
        w->FyllLista();
        best = qMin(best, t.nsecsElapsed() / 1e9);
    }
    out << QStringLiteral("FyllLista, %1 rows: best of 3 %2 s (goal < 1 s)\n")
               .arg(lvVisa->Count())
               .arg(best, 0, 'f', 3);

    w->OutLookFält();
    for (const auto& [planumField, outlook] :
         {std::pair{"Kundnamn", "R2298"}, std::pair{"Notering", "R2267"}, std::pair{"Leveransadress", "R2234"}}) {
        for (int i = 0; i < lstFält->count(); ++i)
            if (lstFält->item(i)->text() == QString::fromUtf8(planumField))
                lstFält->setCurrentRow(i);
        for (int i = 0; i < lstOutLook->count(); ++i)
            if (lstOutLook->item(i)->text() == goTexter->TextTillAndra(QString::fromLatin1(outlook)))
                lstOutLook->setCurrentRow(i);
        w->cmdLäggTill_Click();
    }
    for (int i = 1; i <= 1000; ++i)
        lvVisa->Item(i * 10)->SetChecked(true);

    t.restart();
    w->Utför();
    out << QStringLiteral("transfer of 1,000 ticked bookings (new): %1 s (goal < 3 s) - %2\n")
               .arg(t.nsecsElapsed() / 1e9, 0, 'f', 3)
               .arg(gsBekräftelse);
    t.restart();
    w->Utför();
    out << QStringLiteral("the same transfer again (updates): %1 s - %2\n")
               .arg(t.nsecsElapsed() / 1e9, 0, 'f', 3)
               .arg(gsBekräftelse);
    // The lists at about 20,000 rows: the export list of 20,000 bookings in one week, and the
    // import list of a window of the calendar above that holds about 20,000 appointments
    // (occurrences of series included).
    const QString big = root + QStringLiteral("/week20k.db");
    MakeBookings(big, 20000, 1000, 7);
    gsDataBas = big;
    txtDB->setText(big);
    optExport->click();
    dtpStartTid->setDateTime(QDateTime(kMonday, QTime(0, 0)));
    dtpSlutTid->setDateTime(QDateTime(kMonday.addDays(6), QTime(23, 0)));
    const auto fill = [&] {
        double fastest = 1e9;
        for (int run = 0; run < 3; ++run) {
            boxes.Answer(vb::vbNo); // "list them all?" answered: all
            lvVisa->ClearItems();
            t.restart();
            w->FyllLista();
            fastest = qMin(fastest, t.nsecsElapsed() / 1e9);
        }
        return fastest;
    };
    best = fill();
    out << QStringLiteral("export list, %1 rows: best of 3 %2 s\n").arg(lvVisa->Count()).arg(best, 0, 'f', 3);
    optImport->click();
    dtpStartTid->setDateTime(QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    dtpSlutTid->setDateTime(QDateTime(QDate(2026, 3, 24), QTime(23, 0)));
    best = fill();
    out << QStringLiteral("import list, %1 rows (1 to 24 March 2026): best of 3 %2 s (goal < 2 s)\n")
               .arg(lvVisa->Count())
               .arg(best, 0, 'f', 3);
    out << QStringLiteral("peak resident memory: %1 MB\n").arg(benchsupport::PeakRssKb() / 1024.0, 0, 'f', 0);
    delete w;
    return boxes.Unexpected().isEmpty() ? 0 : 1;
}
