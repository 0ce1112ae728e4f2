// The transfer run: the ticked items carried over, bookings to appointments or back.
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "wizard/TransferProgress.h"

#include <QScopeGuard>
#include <algorithm>

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

bool frmWizard::Utför()
{
    WaitCursor hourglass;
    m_transferOutcome = TransferOutcome::Error;
    booking::DBFunk db;
    try {
        db.Anropskod(-9);
        int opened = 0;
        {
            OpeningProgress::Database opening(this, gsDataBas);
            opened = db.ÖppnaDatabas(gsDataBas, 0, 0);
        }
        if (opened != 1) {
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
        const int wait = settings::SystemTal(settings::kLasVantetid, settings::kStandardLasVantetid);
        std::unique_ptr<RunLock> locks[2];
        const QString places[2] = {oOutLook->Plats(), gsDataBas};
        for (int k = 0; k < 2; ++k) {
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
    } catch (...) {
        if (db.FörbindelsenBröts())
            m_transferOutcome = TransferOutcome::CannotOpen;
        ShowErr(FormErrText(CurrentError(), QStringLiteral("Utför"), QStringLiteral("frmWizard")));
        return false;
    }
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
                  subjectText = T("R2298");
    TransferProgress progress(this, AntalAttHantera(false), !gbAuto);
    const auto stopped = qScopeGuard([&] { Stoppad(progress); });
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked())
            continue;
        if (!progress.Next(m_handled, T("R6002") + QLatin1Char(' ') + row->Key().mid(1) + QStringLiteral(", ") +
                                          row->Text() + QStringLiteral(", ") + row->SubItem(3)))
            return;
        const qint32 key = qint32(Val(row->Key().mid(1)));
        const std::optional<booking::DBPost> post = db.HämtaPost(key);
        if (post) {
            AppointmentRec rec;
            for (int j = 1; j <= lvKopplingar->Count(); ++j) {
                const QString value = SättDelVärde(lvKopplingar->Item(j)->SubItem(1), *post);
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
            try {
                dateError = DatumFel(CDate(rec.Start), CDate(rec.End));
            } catch (...) {
                dateError = T("R6004"); // a mapping fed the start or end a text that is no date
            }
            if (!dateError.isEmpty()) {
                EjKlar(T("R6002") + QLatin1Char(' ') + marker, dateError);
                ++m_handled;
                continue;
            }
            // Without the keys a reminder at the start and free; a desktop that notifies every
            // reminder may want none.
            const int reminder = settings::SystemTal(settings::kPaminnelse, settings::kStandardPaminnelse, -1);
            rec.ReminderSet = reminder >= 0;
            rec.ReminderMinutesBeforeStart = std::max(0, reminder);
            rec.BusyStatus = std::min(3, settings::SystemTal(settings::kUpptagen, settings::kStandardUpptagen, 0));
            rec.Mileage = marker;
            rec.ReminderSoundFile = marker;
            rec.BillingInformation = marker;
            // Never delete: a re-export, attended or not, updates the earlier appointment in place.
            const bool updated = oOutLook->DuplicateAppointment(rec, false);
            for (const QString& copy : oOutLook->Kopior())
                m_anmärkningar << T("R6002") + QLatin1Char(' ') + marker + QStringLiteral(": ") + T("R6016") +
                                      QLatin1Char(' ') + copy;
            if (updated) {
                ++m_done;
            } else if (oOutLook->DuplicateFailed()) {
                // The booking may well have its appointment: a new one would be a second copy.
                EjKlar(T("R6002") + QLatin1Char(' ') + marker, T("R6011") + QLatin1Char(' ') + oOutLook->WriteError());
            } else if (oOutLook->NewAppointment(rec)) {
                ++m_done;
            } else {
                EjKlar(T("R6002") + QLatin1Char(' ') + marker, T("R6011") + QLatin1Char(' ') + oOutLook->WriteError());
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
            MsgBox(text, vbExclamation, T("R2307"));
            m_ejKlara << text;
            return true;
        }
    }
    TransferProgress progress(this, AntalAttHantera(gbAuto), !gbAuto);
    const auto stopped = qScopeGuard([&] { Stoppad(progress); });
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked() && !gbAuto)
            continue;
        const qint32 key = PlanumNyckel(row);
        const QString what = ImportPostNamn(i);
        if (!progress.Next(m_handled, what))
            return true; // the person stopped the run: what was done stands
        std::optional<booking::DBPost> post;
        bool asNew = true;
        if (key >= 0) {
            post = db.HämtaPost(key);
            // Unattended, each row on its own: one that came from a booking updates it, whatever
            // the other rows of the window are. Copying it would grow the database every night.
            asNew = !gbAuto && !chkAnvändNyckel->isChecked();
        } else {
            if (lstResurser->selectedItems().isEmpty()) {
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
        post->Minuter(double(post->StartTid().secsTo(post->SlutTid()) / 60) - 60.0 * post->Antal());
        const bool clash = db.Krockar(post->PersonID(), post->StartTid(), post->SlutTid(), true, post->Status(),
                                      QString::number(post->Nyckel()));
        // Updating the bookings the appointments came from saves a clash all the same, and so do
        // overlaps the user allowed; the component must then not refuse what was allowed here.
        const bool clashAllowed = chkAnvändNyckel->isChecked() || overlapsAllowed;
        if (clash && !clashAllowed) {
            Beep();
            if (post->StartTid() > post->SlutTid()) {
                MsgBox(T("R2268"), vbCritical, T("R2307"));
                EjKlar(what, T("R6004"));
            } else {
                MsgBox(T("R2176") + FormatGeneralDate(post->StartTid()) + QStringLiteral("' ") + T("R2148") +
                           QLatin1Char('\'') + post->Notering() + QStringLiteral("' ") + T("R2149") +
                           QLatin1Char('\'') + db.PersonNamn(post->PersonID()) + QStringLiteral("'.") + kCrLf + kCrLf +
                           T("R2250"),
                       vbExclamation, T("R2305") + QStringLiteral("  ") + T("R2307"));
                EjKlar(what, T("R6003"));
            }
        } else {
            qint32 number = 0;
            qint32 result = -1;
            QString error;
            db.Överlapp(clashAllowed);
            try {
                db.SparaPost(*post, asNew, number, result);
            } catch (...) {
                const vb::ErrObject e = CurrentError();
                error = e.Description().isEmpty() ? QStringLiteral("error %1").arg(e.Number()) : e.Description();
            }
            db.Överlapp(overlapsAllowed);
            if (!error.isEmpty()) {
                EjKlar(what, T("R6009") + QLatin1Char(' ') + error);
                if (MsgBox(T("R2199"), vbYesNo | vbCritical | vbDefaultButton2, T("R2307")) == vbNo)
                    return false;
            } else if (result == 0) {
                ++m_done;
                // A new booking from an appointment that carried no number: mark the appointment
                // with it, so that the next import updates this booking instead of making another.
                if (key < 0) {
                    const QString linkError =
                        oOutLook->LinkAppointment(row->Tag(), post->StartTid(), QString::number(number));
                    if (!linkError.isEmpty())
                        EjKlar(what, T("R6010") + QLatin1Char(' ') + QString::number(number) + QStringLiteral(": ") +
                                         linkError);
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
}

QString frmWizard::ImportPostNamn(int row) const
{
    // The subject and the start, as the list shows them.
    return QLatin1Char('\'') + lvVisa->Item(row)->SubItem(3) + QStringLiteral("' ") + lvVisa->Item(row)->Text();
}
