// Takes a screenshot of each step of the wizard, in English and in Swedish, on a demo database,
// for the documentation. Works in a temporary home folder; writes PNG files into the folder given.
#include "booking/DBFunk.h"
#include "planumdb/Seed.h"
#include "platform/ListView.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "wizard/PlanumFields.h"
#include "wizard/frmAvslutning.h"
#include "wizard/frmWizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {
void Settle()
{
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
}

// The window as the display shows it, frame and all.
void Shoot(QWidget* window, const QString& file)
{
    window->raise();
    window->activateWindow();
    Settle();
    QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    const QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.save(file))
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
    else
        std::printf("%s\n", qPrintable(file));
}

// The row of an entry, by its Planum field name (the list shows it in the language in use) or
// by its text.
int Row(QListWidget* list, const QString& name)
{
    for (int i = 0; i < list->count(); ++i)
        if (PlanumFältNamn(list->item(i)) == name || list->item(i)->text() == name)
            return i;
    return -1;
}

// Picks a row as a click does: the list's click handler decides whether Add may be pressed.
void ClickRow(QListWidget* list, int row)
{
    list->setCurrentRow(row);
    Q_EMIT list->itemClicked(list->item(row));
}
} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toUtf8());
    qunsetenv("ALMBRO_CALENDAR");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: almbro-screenshots OUTPUT-FOLDER LANG-FOLDER\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString langs = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);

    const QString db = home.path() + QStringLiteral("/Planum.db");
    booking::DBFunk::SkapaDatabas(db);
    {
        booking::DBFunk funk;
        if (funk.ÖppnaDatabas(db, 0, 0) != 1)
            qFatal("%s does not open: %s", qPrintable(db), qPrintable(funk.SenasteFel()));
        planumdb::SeedOptions options;
        options.resources = 8;
        options.bookings = 120;
        options.from = planumdb::MondayOf(QDate::currentDate());
        options.days = 7;
        planumdb::Seed(funk, options);
    }

    vb::MsgBoxRecorder quiet; // a message box must not stop the pictures
    vb::SetEndHandler([](int) {});
    for (const QString& lang : {QStringLiteral("EN"), QStringLiteral("SV")}) {
        ResetProgramState();
        gsIniFil = home.path() + QStringLiteral("/Planum.ini");
        QFile::remove(gsIniFil);
        gsSpråkfil = langs + QStringLiteral("/Lang") + lang + QStringLiteral(".ini");
        goTexter = std::make_unique<CTexter>();
        goTexter->SetSpråkfil(gsSpråkfil);
        const auto T = [](const char* id) { return goTexter->TextTillAndra(QString::fromLatin1(id)); };

        auto* w = new frmWizard;
        w->move(40, 40);
        w->show();
        // The wizard's controls, by their object names; buttons are pressed as a click would.
        const auto C = [w](const char* name) { return w->findChild<QWidget*>(QString::fromUtf8(name)); };
        const auto Press = [&C](const char* name) { static_cast<QAbstractButton*>(C(name))->click(); };
        auto* lvVisa = static_cast<vb::ListView*>(C("lvVisa"));
        auto* lstFält = static_cast<QListWidget*>(C("lstFält"));
        auto* lstOutLook = static_cast<QListWidget*>(C("lstOutLook"));
        gsDataBas = db;
        static_cast<QLineEdit*>(C("txtDB"))->setText(db);
        Press("optExport");
        const QDate monday = planumdb::MondayOf(QDate::currentDate());
        static_cast<QDateTimeEdit*>(C("dtpStartTid"))->setDateTime(QDateTime(monday, QTime(0, 0)));
        static_cast<QDateTimeEdit*>(C("dtpSlutTid"))->setDateTime(QDateTime(monday.addDays(4), QTime(18, 0)));
        Shoot(w, out + QStringLiteral("/step0-%1.png").arg(lang));

        Press("cmdNav_3");
        for (int i = 1; i <= lvVisa->Count(); i += 2)
            lvVisa->Item(i)->SetChecked(true);
        Shoot(w, out + QStringLiteral("/step1-%1.png").arg(lang));

        Press("cmdNav_3");
        for (const auto& [planum, outlook] :
             {std::pair{"Kundnamn", "R2298"}, std::pair{"Notering", "R2267"}, std::pair{"Leveransadress", "R2234"}}) {
            ClickRow(lstFält, Row(lstFält, QString::fromUtf8(planum)));
            ClickRow(lstOutLook, Row(lstOutLook, T(outlook)));
            Press("cmdLäggTill");
        }
        ClickRow(lstFält, 1);
        Shoot(w, out + QStringLiteral("/step3-%1.png").arg(lang));

        Press("cmdNav_3");
        static_cast<QComboBox*>(C("cboProfiler_1"))->setEditText(QStringLiteral("Veckoexport"));
        Shoot(w, out + QStringLiteral("/step4-%1.png").arg(lang));

        // Finish: the transfer with its progress a third of the way, then the finish dialog as it
        // shows the summary.
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* progress = w->findChild<QProgressDialog*>(QStringLiteral("dlgProgress"));
            if (!progress || progress->value() < progress->maximum() / 3)
                return;
            watch.stop();
            progress->move(w->x() + 120, w->y() + 160);
            Shoot(progress, out + QStringLiteral("/progress-%1.png").arg(lang));
        });
        watch.start();
        QTimer::singleShot(300, [&] {
            if (auto* dialog = qobject_cast<frmAvslutning*>(QApplication::activeModalWidget())) {
                dialog->move(w->x() + 120, w->y() + 160);
                Shoot(dialog, out + QStringLiteral("/finished-%1.png").arg(lang));
                dialog->cmdOK->click();
            }
        });
        Press("cmdNav_4");

        // The resource step belongs to an import: back to the start, and the appointments the
        // export just wrote come back in, with the status list filled.
        for (int i = 0; i < 3; ++i)
            Press("cmdNav_2");
        Press("optImport");
        Press("cmdNav_3");
        Press("cmdAlla_1");
        Press("cmdNav_3");
        if (auto* lstResurser = static_cast<QListWidget*>(C("lstResurser")); lstResurser->count() > 2)
            lstResurser->setCurrentRow(2);
        if (auto* lvwStatus = static_cast<vb::ListView*>(C("lvwStatus")); lvwStatus->Count() > 1)
            lvwStatus->Item(2)->SetChecked(true);
        Shoot(w, out + QStringLiteral("/step2-%1.png").arg(lang));
        delete w;
    }
    quiet.Clear();
    return 0;
}
