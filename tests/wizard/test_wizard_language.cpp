// One language at a time: every text a person sees on every step of the wizard, in the finish
// dialog and in the program's messages is in the language chosen, never in the other one.
#include "WizardFixture.h"
#include "support/Gui.h"
#include "planumdb/Seed.h"
#include "platform/Locale.h"
#include "startup/modWizard.h"
#include "wizard/frmAvslutning.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

using testenv::T;

namespace {
// Words only the other language uses, as whole words, letter case ignored. English texts also
// never name Outlook: the calendar here is a folder, a file or a server.
QStringList ForeignWords(const QString& lang)
{
    if (lang == QLatin1String("EN"))
        return {"och",       "eller",     "välj",     "från",       "för",      "bokning",  "bokningar",
                "kalendern", "kalender",  "objekt",   "startsida",  "notering", "noteringar", "uppgifter",
                "avbryt",    "nästa",     "föreg",    "slutför",    "profiler", "profilen", "fält",
                "resurs",    "resurser",  "databas",  "guiden",     "överför",  "kopplingar", "koppla",
                "markera",   "klicka",    "ej",       "endast",     "skall",    "vald",     "valt",
                "bort",      "rensa",     "lägg",     "avsluta",    "arbeta",   "med",      "att",
                "som",       "den",       "det",      "är",         "inte",     "kan",      "modulen",
                "ange",      "antal",     "dagar",    "veckor",     "exempel",  "kör",      "tillbaka",
                "outlook",   "saknas",    "ingen",    "utför",      "nya",      "ändrade",  "ogiltig",
                "i",         "kundnamn",  "beställare", "beställningsdatum", "beställningsnummer", "märke",
                "dokument",  "sluttid",   "leveransadress", "leverans_postadress", "pris", "telefon",
                "slut",      "plats",     "ämne"};
    return {"the",      "and",      "or",       "select",   "choose",  "booking",  "bookings", "calendar",
            "field",    "fields",   "profile",  "profiles", "delete",  "cancel",   "next",     "previous",
            "finish",   "only",     "new",      "updated",  "unchanged", "with",   "from",     "of",
            "will",     "this",     "not",      "database", "resource", "items",   "item",     "update",
            "existing", "overlapping", "notes", "tasks",    "click",   "transfer", "mapping",  "example",
            "days",     "weeks",    "back",     "cannot",   "find",    "done",     "clear",    "add",
            "remove",   "exit",     "wizard",   "selected", "saved",   "name",     "finished", "map",      "items",
            "customer", "ordered",  "order",    "document", "delivery", "address", "price",    "note",     "phone",
            "end",      "location", "subject"};
}

// The words of texts that belong to the other language, each with the text it was found in.
QStringList Offenders(const QStringList& texts, const QString& lang)
{
    static const QRegularExpression word(QStringLiteral("[\\p{L}]+"));
    const QStringList foreign = ForeignWords(lang);
    QStringList found;
    for (const QString& text : texts) {
        QString plain = text;
        plain.remove(QLatin1Char('&'));
        for (auto it = word.globalMatch(plain); it.hasNext();) {
            const QString w = it.next().captured().toLower();
            if (foreign.contains(w))
                found << QStringLiteral("\"%1\" in \"%2\"").arg(w, text);
        }
    }
    return found;
}

// Every text of a window a person can see now: captions, titles, tool tips (of rows too), column
// headers and the entries of lists that the program fills itself (the field lists and the
// mappings). The entries of lists of data (bookings, resources, statuses from the database) are
// left out: they are in whatever language they were written.
QStringList VisibleTexts(QWidget* window)
{
    static const QStringList dataLists = {QStringLiteral("lvVisa"), QStringLiteral("lvwStatus"),
                                          QStringLiteral("lstResurser"), QStringLiteral("cboResurser"),
                                          QStringLiteral("cboProfiler_0"), QStringLiteral("cboProfiler_1"),
                                          QStringLiteral("txtDB")};
    QStringList texts{window->windowTitle()};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        texts << w->toolTip();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        const bool data = dataLists.contains(w->objectName());
        if (auto* tree = qobject_cast<QTreeWidget*>(w))
            for (int c = 0; c < tree->columnCount(); ++c)
                if (!tree->isColumnHidden(c) && tree->header()->sectionSize(c) > 0) {
                    texts << tree->headerItem()->text(c);
                    // The tool tips of the rows are the program's, whatever the rows hold; their texts are
                    // taken only from the lists the program fills itself.
                    for (int r = 0; r < tree->topLevelItemCount(); ++r)
                        texts << tree->topLevelItem(r)->toolTip(c)
                              << (data ? QString() : tree->topLevelItem(r)->text(c));
                }
        if (data)
            continue;
        if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i)
                texts << list->item(i)->text();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
    }
    texts.removeAll(QString());
    return texts;
}
} // namespace

class TestWizardLanguage : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

private slots:
    void oneLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("import");
        QTest::newRow("English, export") << "EN" << false;
        QTest::newRow("English, import") << "EN" << true;
        QTest::newRow("Swedish, export") << "SV" << false;
        QTest::newRow("Swedish, import") << "SV" << true;
    }
    void oneLanguage()
    {
        QFETCH(QString, lang);
        QFETCH(bool, import);
        static int n = 0;
        ++n;
        testenv::StartProgram(lang);
        QFile::remove(gsIniFil);
        qputenv("ALMBRO_CALENDAR", (testenv::Root() + QStringLiteral("/kal-%1").arg(n)).toUtf8());
        const QString db = testenv::Root() + QStringLiteral("/language-%1.db").arg(n);
        booking::DBFunk::SkapaDatabas(db);
        {
            booking::DBFunk funk;
            QCOMPARE(funk.ÖppnaDatabas(db, 0, 0), 1);
            planumdb::Seed(funk, {2, 6, QDate::currentDate(), 1}); // resources, bookings, from, days
        }
        f.Start(lang);
        const auto stop = qScopeGuard([this] { f.Stop(); });
        frmWizard* w = f.wizard;
        gsDataBas = db;
        f.ui->txtDB->setText(db);
        QStringList offenders;
        const auto scan = [&](QWidget* window, const QString& where) {
            for (const QString& o : Offenders(VisibleTexts(window), lang))
                offenders << where + QStringLiteral(": ") + o;
        };
        scan(w, QStringLiteral("start step"));
        // The question before a profile is deleted (answered No).
        {
            QFile ini(gsIniFil);
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[X1]\nValues=optImport=False;optKalender=True\n");
        }
        w->FyllProfiler();
        QVERIFY(f.ui->cboProfiler[0]->count() > 0);
        f.ui->cboProfiler[0]->setCurrentIndex(0);
        f.boxes->Answer(vb::vbNo);
        testenv::Click(f.ui->cmdProfilerTaBort);
        QCOMPARE(int(f.boxes->Boxes().size()), 1);
        testenv::Click(import ? f.ui->optImport : f.ui->optExport);
        if (import) {
            // One appointment of the day to list, so that the run goes through every step.
            AppointmentRec rec;
            rec.Start = vb::FormatGeneralDate(QDateTime(QDate::currentDate(), QTime(10, 0)));
            rec.End = vb::FormatGeneralDate(QDateTime(QDate::currentDate(), QTime(11, 0)));
            rec.Subject = QStringLiteral("Planering");
            QVERIFY(w->Kalender()->NewAppointment(rec));
            w->Kalender()->Commit();
        }
        f.ui->dtpStartTid->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
        f.ui->dtpSlutTid->setDateTime(QDateTime(QDate::currentDate(), QTime(23, 0)));
        scan(w, QStringLiteral("start step, direction chosen"));
        for (int step = 1; step <= 4 && f.Step() < 4; ++step) {
            f.ui->cmdNav[3]->click();
            if (f.Step() == 1)
                f.ui->cmdAlla[1]->click();
            if (f.Step() == 2 && f.ui->lstResurser->count() > 0)
                f.ui->lstResurser->setCurrentRow(0);
            if (f.Step() == 2 && f.ui->lvwStatus->Count() > 0)
                testenv::ClickRow(f.ui->lvwStatus, f.ui->lvwStatus->Item(1));
            if (f.Step() == 3 && f.ui->lstFält->count() > 0 && f.ui->lstOutLook->count() > 0) {
                testenv::ClickItem(f.ui->lstFält, f.ui->lstFält->item(0)->text());
                testenv::ClickItem(f.ui->lstOutLook, f.ui->lstOutLook->item(0)->text());
                testenv::Click(f.ui->cmdLäggTill);
            }
            scan(w, QStringLiteral("step %1").arg(f.Step()));
        }
        // Every message box of the way there, and the program's fixed messages.
        QStringList boxTexts;
        for (const auto& box : f.boxes->Boxes())
            boxTexts << box.text << box.title;
        f.boxes->Clear();
        boxTexts << UsageText();
        for (const QString& o : Offenders(boxTexts, lang))
            offenders << QStringLiteral("message: ") + o;
        // Errors of the calendar adapter and of the profile store: their own words around the
        // error's description (which is the calendar's or the system's, not the program's).
        const auto ownWords = [&](const QString& module, const QString& where) {
            QCOMPARE(int(f.boxes->Boxes().size()), 1);
            static const QRegularExpression description(QStringLiteral("\\(.*\\)"));
            const QString words = QString(f.boxes->Boxes().front().text).remove(description);
            f.boxes->Clear();
            QVERIFY2(words.contains(module), qPrintable(words));
            for (const QString& o : Offenders({words}, lang))
                offenders << where + QStringLiteral(": ") + o;
        };
        QCOMPARE(w->Kalender()->GetAppointment(QStringLiteral("[Nothing] = 1"), false).Body, QString());
        ownWords(QStringLiteral("COutLook"), QStringLiteral("calendar message"));
        {
            const QString ini = gsIniFil;
            const QString notAFolder = testenv::Root() + QStringLiteral("/not-a-folder-%1").arg(n);
            QVERIFY(QFile(notAFolder).open(QIODevice::WriteOnly));
            gsIniFil = notAFolder + QStringLiteral("/Planum.ini");
            QString name = QStringLiteral("X2");
            w->SparaProfil(name);
            gsIniFil = ini;
            ownWords(QStringLiteral("modWizard"), QStringLiteral("profile message"));
        }

        if (!import && f.Step() == 4) {
            QStringList dialogTexts;
            const auto answered = testenv::WhenModal<frmAvslutning>([&dialogTexts](frmAvslutning* dialog) {
                dialogTexts = VisibleTexts(dialog);
                testenv::Click(dialog->cmdOK);
            });
            testenv::Click(f.ui->cmdNav[4]);
            QTRY_VERIFY(*answered);
            QVERIFY(!dialogTexts.isEmpty());
            for (const QString& o : Offenders(dialogTexts, lang))
                offenders << QStringLiteral("finish dialog: ") + o;
        }
        offenders.removeDuplicates();
        for (const QString& o : std::as_const(offenders))
            qInfo().noquote() << o;
        QVERIFY2(offenders.isEmpty(), qPrintable(offenders.join(QLatin1Char('\n'))));
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardLanguage)
#include "test_wizard_language.moc"
