// The transfer run: the ticked items carried over, bookings to appointments or back.
#include "wizard/PlanumFields.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"
#include "wizard/TransferProgress.h"

#include <QScopeGuard>
#include <algorithm>
#include <cstdio>

#include "booking/DBFunk.h"
#include "wizard/OpeningProgress.h"
#include "platform/ControlType.h"
#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/RunLock.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "settings/SystemSettings.h"
#include "wizard/WaitCursor.h"

#include <QTextStream>

using namespace vb;

namespace {
// The program object of the last run: kept until the next run replaces it.
std::unique_ptr<booking::DBProgram> g_program;

const QString kCrLf = QStringLiteral("\r\n");

// Why a start and an end cannot be written (empty when they can): dates outside the years a
// calendar or booking sensibly holds, or an end before the start, are never written.
QString DatumFel(const QDateTime& start, const QDateTime& end)
{
    if (!start.isValid() || !end.isValid() || end < start)
        return T("R6004");
    for (const QDateTime& when : {start, end})
        if (when.date().year() < 1900 || when.date().year() > 2100)
            return T("R6013");
    return QString();
}

// Appends value to text: the text alone when it is blank, else text, separator, value.
void Append(QString& text, const QString& separator, const QString& value)
{
    text = text.trimmed().isEmpty() ? value : text + separator + value;
}
} // namespace

bool frmWizard::Planera()
{
    m_plan = true;
    const auto back = qScopeGuard([this] { m_plan = false; });
    return Utför();
}

QString frmWizard::RäkningText() const
{
    return T("R6300")
        .arg(m_räkning.nya)
        .arg(m_räkning.ändrade)
        .arg(m_räkning.oförändrade)
        .arg(m_räkning.avvisade);
}

void frmWizard::Utfall(Utfallsslag slag, const QString& vad, const QString& detalj)
{
    static const char* const ord[] = {"R6301", "R6302", "R6303", "R6304"};
    switch (slag) {
    case Utfallsslag::Ny: ++m_räkning.nya; break;
    case Utfallsslag::Ändras: ++m_räkning.ändrade; break;
    case Utfallsslag::Oförändrad: ++m_räkning.oförändrade; break;
    case Utfallsslag::Avvisas: ++m_räkning.avvisade; break;
    }
    if (m_plan)
        m_planRader << T(ord[int(slag)]) + QStringLiteral(": ") + vad +
                           (detalj.isEmpty() ? QString() : QStringLiteral(": ") + detalj);
}

void frmWizard::VisaPlan()
{
    Planera();
    QStringList lines;
    if (m_transferOutcome == TransferOutcome::CannotOpen)
        lines << T("R2181");
    else if (m_transferOutcome == TransferOutcome::Error && !m_planRader.isEmpty())
        lines << m_planRader.constFirst();
    else
        lines << T("R6305") + QLatin1Char(' ') + RäkningText();
    ui->lblPlan->setText(lines.join(QLatin1Char('\n')));
    // The items themselves, for whoever wants to know which ones.
    const qsizetype shown = std::min<qsizetype>(m_planRader.size(), 40);
    QString tip = m_planRader.mid(0, shown).join(QLatin1Char('\n'));
    if (shown < m_planRader.size())
        tip += QStringLiteral("\n...");
    ui->lblPlan->setToolTip(tip);
}

void frmWizard::VisaUnattendedPlan()
{
    Planera();
    QString out;
    for (const QString& line : std::as_const(m_planRader))
        out += line + QLatin1Char('\n');
    if (m_transferOutcome == TransferOutcome::Completed)
        out += RäkningText() + QLatin1Char('\n');
    std::fputs(out.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    SetEndStatus(UnattendedStatus());
    close();
}

bool frmWizard::Utför()
{
    WaitCursor hourglass;
    m_transferOutcome = TransferOutcome::Error;
    m_räkning = {};
    m_planRader.clear();
    booking::DBFunk db;
    return Trap<bool>(
        [&]() -> bool {
            db.Anropskod(-9);
            int opened = 0;
            {
                OpeningProgress::Database opening(this, gsDataBas);
                // A plan reads: its connection cannot write, whatever the run would do.
                opened = db.ÖppnaDatabas(gsDataBas, 0, m_plan ? 1 : 0);
            }
            if (opened != 1) {
                if (m_plan && !gbAuto) {
                    m_transferOutcome = TransferOutcome::CannotOpen;
                    return true; // the finish step says so; the run itself will show the message
                }
                MsgBox(T("R2181"), vbExclamation, T("R2307"));
                // Whoever looks after an unattended run needs the database's own reason too
                // (a server that is down, a refused login).
                if (gbAuto)
                    QTextStream(stderr) << "Almbro: " << db.SenasteFel() << Qt::endl;
                m_transferOutcome = TransferOutcome::CannotOpen;
                return true;
            }
            // One run at a time writes to a calendar or a database; always in this order, so that
            // two runs never wait for each other.
            // A plan writes nothing, not even a lock file.
            const int wait = settings::SystemTal(settings::kLasVantetid, settings::kStandardLasVantetid);
            std::unique_ptr<RunLock> locks[2];
            const QString places[2] = {oOutLook->Plats(), gsDataBas};
            for (int k = 0; k < 2 && !m_plan; ++k) {
                QString holder;
                locks[k] = RunLock::Acquire(places[k], wait, &holder);
                if (!locks[k]) {
                    MsgBox(T("R6015").arg(places[k], holder).arg(wait), vbExclamation, T("R2307"));
                    m_transferOutcome = TransferOutcome::Busy;
                    return false; // nothing was done: no summary to show

                }
            }
            // What other runs wrote since the list was made must be seen: an appointment they made
            // is updated, never made twice.
            oOutLook->LäsOm();
            g_program = std::make_unique<booking::DBProgram>();
            g_program->Namn(QStringLiteral("DuzUro"));
            db.SättProgram(*g_program);
            db.Överlapp(chkOverLapp->isChecked());
            if (gbAuto)
                db.Överlapp(true);

            m_done = 0;
            m_handled = 0;
            m_ejKlara.clear();
            m_anmärkningar.clear();
            if (optExport->isChecked()) {
                UtförExport(db);
                if (m_plan) {
                    m_transferOutcome = TransferOutcome::Completed;
                    return true;
                }
                // What the summary counts as done is on disk before it says so; a calendar on a
                // server answers the last of a batch of writes here.
                oOutLook->Commit();
                for (const COutLook::EjSparad& refused : oOutLook->EjSparade()) {
                    --m_done;
                    EjKlar(T("R6002") + QLatin1Char(' ') + refused.marker, T("R6011") + QLatin1Char(' ') + refused.varför);
                }
                gsBekräftelse = QString::number(m_done) + QStringLiteral(" / ") + QString::number(m_handled) +
                                QLatin1Char(' ') + T("R2146");
            } else if (optImport->isChecked()) {
                const bool toTheEnd = UtförImport(db);
                if (m_plan) {
                    m_transferOutcome = TransferOutcome::Completed;
                    return true;
                }
                // The links written into appointments are on disk too, also when the run stopped.
                oOutLook->Commit();
                for (const COutLook::EjSparad& refused : oOutLook->EjSparade())
                    EjKlar(T("R6002") + QLatin1Char(' ') + refused.marker,
                           T("R6010") + QLatin1Char(' ') + refused.marker + QStringLiteral(": ") + refused.varför);
                if (!toTheEnd) {
                    // A database server that went away mid-run is a database that cannot be
                    // opened, not an error of one item.
                    m_transferOutcome = db.FörbindelsenBröts() ? TransferOutcome::CannotOpen : TransferOutcome::Stopped;
                    return false;
                }
                gsBekräftelse = QString::number(m_done) + QStringLiteral(" / ") + QString::number(m_handled) +
                                QLatin1Char(' ') + T("R2147");
            }
            m_transferOutcome = TransferOutcome::Completed;
            return true;
        },
        false, WizardErr("Utför"),
        TrapWay(
            [&] {
                if (db.FörbindelsenBröts())
                    m_transferOutcome = TransferOutcome::CannotOpen;
            },
            // A plan on the finish step says it there; the run itself will show the message.
            [this](const QString& text) {
                if (m_plan && !gbAuto)
                    m_planRader.prepend(text);
                else
                    ShowErr(text);
            }));
}

int frmWizard::AntalAttHantera(bool allRows) const
{
    int n = 0;
    for (int i = 1; i <= lvVisa->Count(); ++i)
        n += allRows || lvVisa->Item(i)->Checked() ? 1 : 0;
    return n;
}

void frmWizard::Stoppad(const TransferProgress& progress)
{
    if (progress.Stopped())
        m_ejKlara << T("R6105").arg(m_handled).arg(progress.Total()).arg(progress.Total() - m_handled);
}

void frmWizard::UtförExport(booking::DBFunk& db)
{
    // The mapping's captions, looked up once: each look-up reads the language file.
    const QString startText = T("R2252"), endText = T("R2247"), bodyText = T("R2267"), locationText = T("R2234"),
                  subjectText = T("R2298"), itemText = T("R6002");
    // Without the keys a reminder at the start and free; a desktop that notifies every reminder
    // may want none. Read once: the settings of a run are those it started with.
    const int reminder = settings::SystemTal(settings::kPaminnelse, settings::kStandardPaminnelse, -1);
    const int busy = std::min(3, settings::SystemTal(settings::kUpptagen, settings::kStandardUpptagen, 0));
    // A plan only reads; it is over before a progress dialog could be read.
    TransferProgress progress(this, m_plan ? 0 : AntalAttHantera(false), !gbAuto);
    const auto stopped = qScopeGuard([&] { Stoppad(progress); });
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked())
            continue;
        if (!progress.Next(m_handled, [&] {
                return itemText + QLatin1Char(' ') + row->Key().mid(1) + QStringLiteral(", ") + row->Text() +
                       QStringLiteral(", ") + row->SubItem(3);
            }))
            return;
        const qint32 key = qint32(Val(row->Key().mid(1)));
        const std::optional<booking::DBPost> post = db.HämtaPost(key);
        if (post) {
            AppointmentRec rec;
            for (int j = 1; j <= lvKopplingar->Count(); ++j) {
                const QString value = SättDelVärde(PlanumFältNamn(lvKopplingar->Item(j)), *post);
                const QString caption = lvKopplingar->Item(j)->SubItem(2);
                if (caption == startText)
                    rec.Start = value;
                else if (caption == endText)
                    rec.End = value;
                else if (caption == bodyText)
                    Append(rec.Body, kCrLf, value);
                else if (caption == locationText)
                    Append(rec.Location, QStringLiteral(" "), value);
                else if (caption == subjectText)
                    Append(rec.Subject, QStringLiteral(" "), value);
            }
            if (rec.Start.isEmpty())
                rec.Start = SättDelVärde(QStringLiteral("Starttid"), *post);
            if (rec.End.isEmpty())
                rec.End = SättDelVärde(QStringLiteral("Sluttid"), *post);
            const QString marker = QString::number(post->Nyckel());
            QString dateError;
            if (Attempt([&] { dateError = DatumFel(CDate(rec.Start), CDate(rec.End)); }))
                dateError = T("R6004"); // a mapping fed the start or end a text that is no date
            if (!dateError.isEmpty()) {
                EjKlar(itemText + QLatin1Char(' ') + marker, dateError);
                ++m_handled;
                continue;
            }
            rec.ReminderSet = reminder >= 0;
            rec.ReminderMinutesBeforeStart = std::max(0, reminder);
            rec.BusyStatus = busy;
            rec.Mileage = marker;
            rec.ReminderSoundFile = marker;
            rec.BillingInformation = marker;
            // What is done with the booking is decided here, for a plan and a run alike; a run
            // then writes what was decided. Never delete: a re-export, attended or not, updates
            // the earlier appointment in place.
            const QString vad = itemText + QLatin1Char(' ') + marker;
            const COutLook::Besked besked = oOutLook->Pröva(rec);
            for (const QString& copy : oOutLook->Kopior())
                m_anmärkningar << vad + QStringLiteral(": ") + T("R6016") + QLatin1Char(' ') + copy;
            QStringList fält;
            for (const COutLook::Fält f : besked.ändras)
                fält << MötesFältNamn(f);
            const Utfallsslag slag = !besked.hittat           ? Utfallsslag::Ny
                                     : besked.ändras.isEmpty() ? Utfallsslag::Oförändrad
                                                               : Utfallsslag::Ändras;
            if (besked.misslyckades) {
                // The booking may well have its appointment: a new one would be a second copy.
                EjKlar(vad, T("R6011") + QLatin1Char(' ') + oOutLook->WriteError());
            } else if (m_plan || slag == Utfallsslag::Oförändrad) {
                ++m_done;
                Utfall(slag, vad, fält.join(QStringLiteral(", ")));
            } else if (slag == Utfallsslag::Ändras) {
                if (oOutLook->DuplicateAppointment(rec, false)) {
                    ++m_done;
                    Utfall(slag, vad, fält.join(QStringLiteral(", ")));
                } else {
                    EjKlar(vad, T("R6011") + QLatin1Char(' ') + oOutLook->WriteError());
                }
            } else if (oOutLook->NewAppointment(rec)) {
                ++m_done;
                Utfall(slag, vad, QString());
            } else {
                EjKlar(vad, T("R6011") + QLatin1Char(' ') + oOutLook->WriteError());
                if (MsgBox(T("R2199"), vbYesNo | vbQuestion, T("R1770")) == vbNo)
                    return;
            }
        } else {
            EjKlar(T("R6002") + QLatin1Char(' ') + QString::number(key), T("R6005"));
        }
        ++m_handled;
    }
}

bool frmWizard::UtförImport(booking::DBFunk& db)
{
    const bool overlapsAllowed = db.Överlapp();
    if (gbAuto) {
        // An appointment repeating every minute must not become thousands of bookings overnight.
        int newBookings = 0;
        for (int i = 1; i <= lvVisa->Count(); ++i)
            newBookings += PlanumNyckel(lvVisa->Item(i)) < 0 ? 1 : 0;
        const int limit = settings::SystemTal(settings::kMaxNyaBokningar, settings::kStandardMaxNyaBokningar);
        if (newBookings > limit) {
            const QString text = T("R6014").arg(newBookings).arg(limit);
            if (m_plan)
                m_planRader << text;
            else
                MsgBox(text, vbExclamation, T("R2307"));
            m_ejKlara << text;
            return true;
        }
    }
    TransferProgress progress(this, m_plan ? 0 : AntalAttHantera(gbAuto), !gbAuto);
    const auto stopped = qScopeGuard([&] { Stoppad(progress); });
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked() && !gbAuto)
            continue;
        const qint32 key = PlanumNyckel(row);
        const QString what = ImportPostNamn(i);
        if (!progress.Next(m_handled, [&]() -> const QString& { return what; }))
            return true; // the person stopped the run: what was done stands
        std::optional<booking::DBPost> post, före;
        bool asNew = true;
        if (key >= 0) {
            post = db.HämtaPost(key);
            före = post;
            // Unattended, each row on its own: one that came from a booking updates it, whatever
            // the other rows of the window are. Copying it would grow the database every night.
            asNew = !gbAuto && !chkAnvändNyckel->isChecked();
        } else {
            if (lstResurser->selectedItems().isEmpty()) {
                if (!m_plan)
                    MsgBox(T("R2175") + FältVärde(i, QStringLiteral("Text")) + T("R2143") + kCrLf + T("R2190"),
                       vbExclamation);
                EjKlar(what, T("R6008"));
                ++m_handled;
                continue;
            }
            post.emplace();
            post->PersonID(lstResurser->selectedItems().constFirst()->data(Qt::UserRole).toInt());
            post->ExtraPersonID(post->PersonID());
            post->Antal(0);
            post->Bokningsnr(QStringLiteral("0"));
            post->Beställningsdatum(FormatShortDate(QDate::currentDate()));
            post->Betalningsvillkor(0);
            post->Aktiv(true);
            post->Typ(0);
            post->StartTid(CDate(row->Text()));
            post->SlutTid(CDate(row->SubItem(1)));
        }
        if (!post) {
            if (!m_plan)
                MsgBox(T("R2177") + QLatin1Char(' ') + QString::number(key) + QLatin1Char(' ') + T("R2144") + kCrLf +
                       kCrLf + T("R2179"),
                   vbExclamation);
            EjKlar(what, T("R6005"));
            ++m_handled;
            continue;
        }
        const QString statusTag = vb::Tag(lblStatusKoll);
        if (statusTag != QLatin1String("R2256"))
            post->Status(qint32(Val(statusTag.mid(1))));
        EgnaVal(*post, i);
        if (const QString dateError = DatumFel(post->StartTid(), post->SlutTid()); !dateError.isEmpty()) {
            EjKlar(what, dateError);
            ++m_handled;
            continue;
        }
        const qint64 minutes = post->StartTid().secsTo(post->SlutTid()) / 60; // whole minutes
        post->Minuter(double(minutes) - 60.0 * post->Antal());
        const bool clash = db.Krockar(post->PersonID(), post->StartTid(), post->SlutTid(), true, post->Status(),
                                      QString::number(post->Nyckel()));
        // Updating the bookings the appointments came from saves a clash all the same, and so do
        // overlaps the user allowed; the component must then not refuse what was allowed here.
        const bool clashAllowed = chkAnvändNyckel->isChecked() || overlapsAllowed;
        if (clash && !clashAllowed) {
            if (!m_plan)
                Beep();
            if (post->StartTid() > post->SlutTid()) {
                if (!m_plan)
                    MsgBox(T("R2268"), vbCritical, T("R2307"));
                EjKlar(what, T("R6004"));
            } else if (!m_plan) {
                MsgBox(T("R2176") + FormatGeneralDate(post->StartTid()) + QStringLiteral("' ") + T("R2148") +
                           QLatin1Char('\'') + post->Notering() + QStringLiteral("' ") + T("R2149") +
                           QLatin1Char('\'') + db.PersonNamn(post->PersonID()) + QStringLiteral("'.") + kCrLf + kCrLf +
                           T("R2250"),
                       vbExclamation, T("R2305") + QStringLiteral("  ") + T("R2307"));
                EjKlar(what, T("R6003"));
            } else {
                EjKlar(what, T("R6003"));
            }
        } else if (const QStringList fält = asNew ? QStringList() : booking::Skillnader(*före, *post);
                   !asNew && fält.isEmpty()) {
            // The booking already says what the appointment says: nothing to save.
            ++m_done;
            Utfall(Utfallsslag::Oförändrad, what, QString());
        } else {
            qint32 number = 0;
            qint32 result = -1;
            QString error;
            db.Överlapp(clashAllowed);
            // A save the database refuses is an item not done, told in the list and asked about.
            if (const auto refused = Attempt([&] {
                    // A plan asks the database what the save would answer; a run saves.
                    if (m_plan)
                        result = db.PrövaPost(*post, asNew);
                    else
                        db.SparaPost(*post, asNew, number, result);
                }))
                error = refused->Description().isEmpty() ? SpråkText("R6333", "fel %1").arg(refused->Number())
                                                         : refused->Description();
            db.Överlapp(overlapsAllowed);
            if (!error.isEmpty()) {
                EjKlar(what, T("R6009") + QLatin1Char(' ') + error);
                if (!m_plan && MsgBox(T("R2199"), vbYesNo | vbCritical | vbDefaultButton2, T("R2307")) == vbNo)
                    return false;
            } else if (result == 0) {
                ++m_done;
                QStringList visade;
                for (const QString& f : fält)
                    visade << VisatPostFältNamn(f);
                Utfall(asNew ? Utfallsslag::Ny : Utfallsslag::Ändras, what, visade.join(QStringLiteral(", ")));
                // A new booking from an appointment that carried no number: mark the appointment
                // with it, so that the next import updates this booking instead of making another.
                if (key < 0 && !m_plan) {
                    const QString linkError =
                        oOutLook->LinkAppointment(row->Tag(), post->StartTid(), QString::number(number));
                    if (!linkError.isEmpty())
                        // The booking was made: a note, not an item refused.
                        m_ejKlara << what + QStringLiteral(": ") + T("R6010") + QLatin1Char(' ') +
                                         QString::number(number) + QStringLiteral(": ") + linkError;
                }
            } else {
                static const char* const reasons[] = {"R6003", "R6004", "R6005", "R6006", "R6007"};
                EjKlar(what, result >= 1 && result <= 5 ? T(reasons[result - 1]) : T("R6009") + QLatin1Char(' ') + QString::number(result));
            }
        }
        ++m_handled;
    }
    return true;
}

void frmWizard::EjKlar(const QString& vad, const QString& varför)
{
    m_ejKlara << vad + QStringLiteral(": ") + varför;
    Utfall(Utfallsslag::Avvisas, vad, varför);
}

QString frmWizard::MötesFältNamn(COutLook::Fält fält)
{
    // The captions the mapping step shows for the calendar's fields.
    switch (fält) {
    case COutLook::Fält::Subject: return T("R2298");
    case COutLook::Fält::Body: return T("R2267");
    case COutLook::Fält::Location: return T("R2234");
    case COutLook::Fält::Start: return T("R2252");
    case COutLook::Fält::End: return SlutRubrik();
    }
    return QString();
}

QString frmWizard::ImportPostNamn(int row) const
{
    // The subject and the start, as the list shows them.
    return QLatin1Char('\'') + lvVisa->Item(row)->SubItem(3) + QStringLiteral("' ") + lvVisa->Item(row)->Text();
}
