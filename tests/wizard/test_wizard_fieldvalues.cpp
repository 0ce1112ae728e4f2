// Booking fields by name in both directions, and the import half of the transfer run on
// rows built here.
#include "WizardFixture.h"
#include "booking/BulkWriter.h"
#include "platform/ControlType.h"
#include "platform/Locale.h"
#include "support/Gui.h"

#include <QTest>

using namespace vb;
using booking::DBPost;
using testenv::T;

namespace {
void SetField(DBPost& post, const QString& name, const QString& value)
{
    if (name == QLatin1String("Betalningsvillkor"))
        post.Betalningsvillkor(qint16(value.toInt()));
    else if (name == QLatin1String("Pris"))
        post.Följesedelsnr(value);
    else
        for (int i = 0; i < booking::kPostTextCount; ++i)
            if (booking::PostTextName(booking::PostText(i)) == name)
                post.Text(booking::PostText(i), value);
}

QString GetField(const DBPost& post, const QString& name)
{
    if (name == QLatin1String("Betalningsvillkor"))
        return QString::number(post.Betalningsvillkor());
    if (name == QLatin1String("Pris"))
        return post.Följesedelsnr();
    for (int i = 0; i < booking::kPostTextCount; ++i)
        if (booking::PostTextName(booking::PostText(i)) == name)
            return post.Text(booking::PostText(i));
    return QStringLiteral("?");
}
} // namespace

class TestWizardFieldValues : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    // An import row: start, end, location, subject, body, marker.
    vb::ListItem* ImportRow(const QDateTime& start, const QDateTime& end, const QString& subject,
                            const QString& body = QString(), const QString& marker = QString())
    {
        vb::ListItem* row = f.ui->lvVisa->AddItem(-1, QString(), FormatShortDateTime(start));
        row->SetSubItem(1, FormatShortDateTime(end));
        row->SetSubItem(2, QStringLiteral("Rum 4"));
        row->SetSubItem(3, subject);
        row->SetSubItem(4, body);
        row->SetSubItem(5, marker);
        row->SetChecked(true);
        return row;
    }
    void MapFrom(const QString& planum, const char* outlookId)
    {
        vb::ListItem* row = f.ui->lvKopplingar->AddItem(
            -1, QStringLiteral("k%1").arg(f.ui->lvKopplingar->Count() + 100), QStringLiteral("0"));
        row->SetSubItem(1, planum, QStringLiteral("Ft"));
        row->SetSubItem(2, T(outlookId), QStringLiteral("bm"));
    }

private slots:
    void importWithoutAResource()
    {
        PrepareImport();
        ImportRow(At(8, 0), At(9, 0), QStringLiteral("Ingen resurs"), QStringLiteral("Kroppen"));
        QVERIFY(f.wizard->Utför());
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2175") + "Kroppen" + T("R2143") + "\r\n" + T("R2190"), vbOKOnly, vbExclamation,
                          "Almbro");
        QCOMPARE(gsBekräftelse, Summary(0, 1));
        QCOMPARE(BookingsOf(m_anna).size() + BookingsOf(m_bil).size(), 2);
    }

    void importOfAMissingBookingNumber()
    {
        PrepareImport();
        f.ui->chkAnvändNyckel->setChecked(true);
        ImportRow(At(8, 0), At(9, 0), QStringLiteral("Borta"), QString(), QStringLiteral("9999"));
        QVERIFY(f.wizard->Utför());
        ALMBRO_EXPECT_BOX(*f.boxes, T("R2177") + " 9999 " + T("R2144") + "\r\n\r\n" + T("R2179"), vbOKOnly,
                          vbExclamation, "Almbro");
        QCOMPARE(gsBekräftelse, Summary(0, 1));
    }

    void initTestCase() { testenv::StartProgram(); }
    void init()
    {
        f.Start();
        f.wizard->MakeColumns(1);
    }

private:
    // The import's database: Anna Berg with bookings 10-11 ("Befintlig") and 12-13 on m_day,
    // Bil Ett free. The wizard set for an import into it, mapping the subject to the note.
    void PrepareImport()
    {
        static int n = 0;
        const QString path = testenv::Root() + QStringLiteral("/import-%1.db").arg(++n);
        booking::DBFunk::SkapaDatabas(path);
        booking::DBFunk db;
        QCOMPARE(db.ÖppnaDatabas(path, 0, 0), 1);
        booking::BulkWriter writer(db);
        m_anna = writer.AddResource(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Lund"));
        m_bil = writer.AddResource(QStringLiteral("Bil"), QStringLiteral("Ett"), QStringLiteral("Garage"));
        DBPost post;
        post.PersonID(m_anna);
        post.Status(1);
        post.Notering(QStringLiteral("Befintlig"));
        post.StartTid(At(10, 0));
        post.SlutTid(At(11, 0));
        writer.AddBooking(post);
        post.Notering(QStringLiteral("Senare"));
        post.StartTid(At(12, 0));
        post.SlutTid(At(13, 0));
        writer.AddBooking(post);
        writer.Commit();
        gsDataBas = path;
        f.ui->txtDB->setText(path);
        testenv::Click(f.ui->optImport);
        for (const auto& [name, id] :
             {std::pair{QStringLiteral("Anna Berg"), m_anna}, std::pair{QStringLiteral("Bil Ett"), m_bil}})
            f.AddResource(name, id);
        MapFrom(QStringLiteral("Notering"), "R2298");
    }
    QDateTime At(int hour, int minute) const { return QDateTime(m_day, QTime(hour, minute)); }
    QList<DBPost> BookingsOf(qint32 resource)
    {
        booking::DBFunk db;
        testenv::OpenTestDatabase(db, gsDataBas);
        booking::Recordset set =
            db.HämtaPoster(QStringLiteral("2026-12-07 00:00"), QStringLiteral("2026-12-07 23:59"), resource);
        QList<DBPost> posts;
        for (; !set.Eof(); set.MoveNext())
            posts.append(*db.HämtaPost(set[QStringLiteral("Nyckel")].toInt()));
        return posts;
    }
    QString Summary(int done, int handled) const
    {
        return QStringLiteral("%1 / %2 ").arg(done).arg(handled) + T("R2147");
    }

    QDate m_day{2026, 12, 7};
    qint32 m_anna = 0, m_bil = 0;

private slots:
    void cleanup()
    {
        ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void readAsText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* field, const char* stored, const char* text) {
            QTest::newRow(name) << QString::fromUtf8(field) << QString::fromUtf8(stored) << QString::fromUtf8(text);
        };
        for (const char* name :
             {"Bokningsnr", "Beställare", "Beställningsdatum", "Beställningsnummer", "Dokument", "Följesedelsnr",
              "Leverans_postadress", "Leveransadress", "Märke", "Notering", "Telefon"})
            row(name, name, "värde 1", "värde 1");
        row("Pris shares Följesedelsnr", "Pris", "1200", "1200");
        row("Kundnamn", "Kundnamn", "Berg AB", "Berg AB");
        row("Kundnamn empty", "Kundnamn", "", "<Ej angiven>");
        row("terms 0", "Betalningsvillkor", "0", "Ej klar");
        row("terms 1", "Betalningsvillkor", "1", "Faktura");
        row("terms 2", "Betalningsvillkor", "2", "Kontant");
        row("terms 5", "Betalningsvillkor", "5", "");
        row("unknown name", "Okänt", "x", "");
        row("name case matters", "kundnamn", "Berg AB", "");
    }
    void readAsText()
    {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QFETCH(QString, text);
        DBPost post;
        SetField(post, field == QLatin1String("kundnamn") ? QStringLiteral("Kundnamn") : field, stored);
        QCOMPARE(f.wizard->SättDelVärde(field, post), text);
    }

    void timesReadAsGeneralDates()
    {
        DBPost post;
        post.StartTid(QDateTime(QDate(2026, 12, 7), QTime(9, 30)));
        post.SlutTid(QDateTime(QDate(2026, 12, 8), QTime(0, 0)));
        QCOMPARE(f.wizard->SättDelVärde(QStringLiteral("Starttid"), post), FormatGeneralDate(post.StartTid()));
        QCOMPARE(f.wizard->SättDelVärde(QStringLiteral("Sluttid"), post), FormatShortDate(QDate(2026, 12, 8)));
    }

    void writtenFromTheRow_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("result");
        const auto row = [](const QString& name, const QString& field, const char* old, const char* marker,
                            const char* value, const char* result) {
            QTest::newRow(qPrintable(name)) << field << QString::fromUtf8(old) << QString::fromUtf8(marker)
                                            << QString::fromUtf8(value) << QString::fromUtf8(result);
        };
        const QStringList joined = {"Beställare",     "Dokument", "Kundnamn", "Leverans_postadress",
                                    "Leveransadress", "Märke",    "Notering", "Telefon"};
        for (const QString& name : joined) {
            row(name + " joined", name, "gammal", "", "ny", "gammal, ny");
            row(name + " replaced: from Planum", name, "gammal", "17", "ny", "ny");
            row(name + " empty before", name, "", "", "ny", "ny");
            // Every joined field but the delivery address is trimmed afterwards.
            row(name + " trimmed?", name, "", "", "  ny  ", name == "Leveransadress" ? "  ny  " : "ny");
        }
        for (const QString& name : {QStringLiteral("Beställningsdatum"), QStringLiteral("Beställningsnummer"),
                                    QStringLiteral("Följesedelsnr"), QStringLiteral("Pris")}) {
            row(name + " replaced", name, "gammal", "", "ny", "ny");
            row(name + " not trimmed", name, "", "", " ny ", " ny ");
        }
        row("Bokningsnr: leading number", "Bokningsnr", "1", "", "42 st", "42");
        row("Bokningsnr: no number", "Bokningsnr", "1", "", "st", "0");
        row("Betalningsvillkor: number", "Betalningsvillkor", "0", "", "2", "2");
        row("Betalningsvillkor: rounds to even", "Betalningsvillkor", "0", "", "2.5", "2");
        row("unknown field writes nothing", "Okänt", "", "", "ny", "?");
    }
    void writtenFromTheRow()
    {
        QFETCH(QString, field);
        QFETCH(QString, old);
        QFETCH(QString, marker);
        QFETCH(QString, value);
        QFETCH(QString, result);
        const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
        ImportRow(start, start.addSecs(3600), value, QString(), marker);
        MapFrom(field, "R2298");
        DBPost post;
        SetField(post, field, old);
        f.wizard->EgnaVal(post, 1);
        QCOMPARE(GetField(post, field), result);
        QCOMPARE(post.StartTid(), start);
        QCOMPARE(post.SlutTid(), start.addSecs(3600));
    }

    void oneFieldFromTwoColumns_data()
    {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("note");
        QTest::newRow("no booking number: joined") << QString() << "Möte, Agenda";
        QTest::newRow("booking number: the body replaces") << "12" << QStringLiteral("Agenda");
    }
    void oneFieldFromTwoColumns()
    {
        QFETCH(QString, marker);
        QFETCH(QString, note);
        const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
        ImportRow(start, start.addSecs(1800), QStringLiteral("Möte"), QStringLiteral("Agenda"), marker);
        MapFrom(QStringLiteral("Notering"), "R2298");
        MapFrom(QStringLiteral("Notering"), "R2267");
        DBPost post;
        f.wizard->EgnaVal(post, 1);
        QCOMPARE(post.Notering(), note);
    }

    void startThatIsNoDate()
    {
        vb::ListItem* row = ImportRow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)),
                                      QDateTime(QDate(2026, 12, 7), QTime(10, 0)), QStringLiteral("x"));
        row->SetText(QStringLiteral("någon gång"));
        MapFrom(QStringLiteral("Märke"), "R2298");
        DBPost post;
        f.wizard->EgnaVal(post, 1);
        ALMBRO_EXPECT_BOX(
            *f.boxes,
            "Error no: 13 (Type mismatch: \"någon gång\" is not a date) in procedure EgnaVal in Form frmWizard",
            vbOKOnly, 0, "Almbro");
        QCOMPARE(post.Märke(), QStringLiteral("x")); // what was written before stays
        QCOMPARE(post.SlutTid(), QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
    }

    void cellsByColumnTitle()
    {
        ImportRow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)), QDateTime(QDate(2026, 12, 7), QTime(10, 0)),
                  QStringLiteral("Ämne"), QStringLiteral("Text här"), QStringLiteral("77"));
        frmWizard* w = f.wizard;
        QCOMPARE(w->FältVärde(1, T("R2298")), QStringLiteral("Ämne"));
        QCOMPARE(w->FältVärde(1, QStringLiteral("Start")), f.ui->lvVisa->Item(1)->Text());
        QCOMPARE(w->FältVärde(1, QStringLiteral("start")), QString());
        QCOMPARE(w->FältVärde(1, QStringLiteral("Nyckel1")), QStringLiteral("77"));
    }

    void bookingNumberOfARow_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("number");
        QTest::newRow("first key column") << "123" << QString() << 123;
        QTest::newRow("second key column") << QString() << "45" << 45;
        QTest::newRow("neither") << QString() << QString() << -1;
        QTest::newRow("text is no number") << "abc" << QString() << -1;
    }
    void bookingNumberOfARow()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, number);
        vb::ListItem* row = ImportRow(QDateTime::currentDateTime(), QDateTime::currentDateTime(), QStringLiteral("x"),
                                      QString(), first);
        row->SetSubItem(6, second);
        QCOMPARE(f.wizard->PlanumNyckel(row), number);
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardFieldValues)
#include "test_wizard_fieldvalues.moc"
