// The transfer run: the ticked items carried over, bookings to appointments or back.
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"

#include "booking/DBFunk.h"
#include "platform/ControlType.h"
#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "wizard/WaitCursor.h"

#include <QTextStream>

using namespace vb;

namespace {
// The program object of the last run: kept until the next run replaces it.
std::unique_ptr<booking::DBProgram> g_program;

const QString kCrLf = QStringLiteral("\r\n");

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
        if (db.ÖppnaDatabas(gsDataBas, 0, 0) != 1) {
            MsgBox(T("R2181"), vbExclamation, T("R2307"));
            // Whoever looks after an unattended run needs the database's own reason too
            // (a server that is down, a refused login).
            if (gbAuto)
                QTextStream(stderr) << "Almbro: " << db.SenasteFel() << Qt::endl;
            m_transferOutcome = TransferOutcome::CannotOpen;
            return true;
        }
        g_program = std::make_unique<booking::DBProgram>();
        g_program->Namn(QStringLiteral("DuzUro"));
        db.SättProgram(*g_program);
        db.Överlapp(chkOverLapp->isChecked());
        if (gbAuto)
            db.Överlapp(true);

        m_done = 0;
        m_handled = 0;
        if (optExport->isChecked()) {
            UtförExport(db);
            gsBekräftelse = QString::number(m_done) + QStringLiteral(" / ") + QString::number(m_handled) +
                            QLatin1Char(' ') + T("R2146");
        } else if (optImport->isChecked()) {
            if (!UtförImport(db)) {
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

void frmWizard::UtförExport(booking::DBFunk& db)
{
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked())
            continue;
        const qint32 key = qint32(Val(row->Key().mid(1)));
        const std::optional<booking::DBPost> post = db.HämtaPost(key);
        if (post) {
            AppointmentRec rec;
            for (int j = 1; j <= lvKopplingar->Count(); ++j) {
                const QString value = SättDelVärde(lvKopplingar->Item(j)->SubItem(1), *post);
                const QString caption = lvKopplingar->Item(j)->SubItem(2);
                if (caption == T("R2252"))
                    rec.Start = value;
                else if (caption == T("R2247"))
                    rec.End = value;
                else if (caption == T("R2267"))
                    Append(rec.Body, kCrLf, value);
                else if (caption == T("R2234"))
                    Append(rec.Location, QStringLiteral(" "), value);
                else if (caption == T("R2298"))
                    Append(rec.Subject, QStringLiteral(" "), value);
            }
            if (rec.Start.isEmpty())
                rec.Start = SättDelVärde(QStringLiteral("Starttid"), *post);
            if (rec.End.isEmpty())
                rec.End = SättDelVärde(QStringLiteral("Sluttid"), *post);
            const QString marker = QString::number(post->Nyckel());
            rec.Mileage = marker;
            rec.ReminderSoundFile = marker;
            rec.BillingInformation = marker;
            // Never delete: a re-export, attended or not, updates the earlier appointment in place.
            if (oOutLook->DuplicateAppointment(rec, false)) {
                ++m_done;
            } else if (oOutLook->NewAppointment(rec)) {
                ++m_done;
            } else if (MsgBox(T("R2199"), vbYesNo | vbQuestion, T("R1770")) == vbNo) {
                return;
            }
        }
        ++m_handled;
    }
}

bool frmWizard::UtförImport(booking::DBFunk& db)
{
    for (int i = 1; i <= lvVisa->Count(); ++i) {
        vb::ListItem* row = lvVisa->Item(i);
        if (!row->Checked() && !gbAuto)
            continue;
        const qint32 key = PlanumNyckel(row);
        std::optional<booking::DBPost> post;
        if (key >= 0) {
            post = db.HämtaPost(key);
        } else {
            if (lstResurser->selectedItems().isEmpty()) {
                MsgBox(T("R2175") + FältVärde(i, QStringLiteral("Text")) + T("R2143") + kCrLf + T("R2190"),
                       vbExclamation);
                ++m_handled;
                continue;
            }
            post.emplace();
            post->PersonID(lstResurser->currentItem()->data(Qt::UserRole).toInt());
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
            ++m_handled;
            continue;
        }
        const QString statusTag = vb::Tag(lblStatusKoll);
        if (statusTag != QLatin1String("R2256"))
            post->Status(qint32(Val(statusTag.mid(1))));
        EgnaVal(*post, i);
        post->Minuter(double(post->StartTid().secsTo(post->SlutTid()) / 60) - 60.0 * post->Antal());
        const bool clash = db.Krockar(post->PersonID(), post->StartTid(), post->SlutTid(), true, post->Status(),
                                      QString::number(post->Nyckel()));
        if (clash && !chkAnvändNyckel->isChecked()) {
            Beep();
            if (post->StartTid() > post->SlutTid()) {
                MsgBox(T("R2268"), vbCritical, T("R2307"));
            } else {
                MsgBox(T("R2176") + FormatGeneralDate(post->StartTid()) + QStringLiteral("' ") + T("R2148") +
                           QLatin1Char('\'') + post->Notering() + QStringLiteral("' ") + T("R2149") +
                           QLatin1Char('\'') + db.PersonNamn(post->PersonID()) + QStringLiteral("'.") + kCrLf + kCrLf +
                           T("R2250"),
                       vbExclamation, T("R2305") + QStringLiteral("  ") + T("R2307"));
            }
        } else {
            qint32 number = 0;
            qint32 result = -1;
            bool failed = false;
            try {
                db.SparaPost(*post, !chkAnvändNyckel->isChecked(), number, result);
            } catch (...) {
                failed = true;
                if (gbAuto) // the reason, for whoever reads the run's output
                    QTextStream(stderr) << "Almbro: " << CurrentError().Description() << Qt::endl;
            }
            if (failed) {
                if (MsgBox(T("R2199"), vbYesNo | vbCritical | vbDefaultButton2, T("R2307")) == vbNo)
                    return false;
            } else if (result == 0) {
                ++m_done;
            }
        }
        ++m_handled;
    }
    return true;
}
