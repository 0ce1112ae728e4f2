// Profiles on the wizard: listing, saving the current choices, applying, deleting.
#include "wizard/PlanumFields.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "settings/ProfileStore.h"
#include "settings/ProgramState.h"

#include <QDir>
#include <QFileInfo>

using namespace vb;

namespace {
// A calendar field that a wizard in another language saved ("Location" where this one shows
// "Plats"): its text in the language in use; empty when no language file of the folder has it.
QString KalenderfältISpråket(const QString& saved)
{
    const QFileInfo current(gsSpråkfil);
    for (const QFileInfo& file : current.dir().entryInfoList({QStringLiteral("Lang?*.ini")}, QDir::Files)) {
        if (file == current)
            continue;
        CTexter other;
        other.SetSpråkfil(file.absoluteFilePath());
        for (const char* id : {"R2234", "R2298", "R2267"})
            if (other.TextTillAndra(QString::fromLatin1(id)) == saved)
                return T(id);
    }
    return {};
}
} // namespace

void frmWizard::FyllProfiler()
{
    const QStringList names = ProfilNamn();
    for (QComboBox* box : {cboProfiler[0], cboProfiler[1]}) {
        box->clear();
        box->addItems(names);
    }
    // No profile is chosen until the user chooses one.
    cboProfiler[0]->setCurrentIndex(-1);
    cboProfiler[1]->setCurrentIndex(-1);
    cboProfiler[1]->setEditText(QString());
}

void frmWizard::SparaProfil(QString& ProfileName)
{
    ProfileChoices choices;
    choices.optImport = optImport->isChecked();
    choices.optKalender = optKalender->isChecked();
    choices.optNotering = optNotering->isChecked();
    choices.optUppgifter = optUppgifter->isChecked();
    if (cboResurser->currentIndex() >= 0)
        choices.cboResurser = cboResurser->currentData().toInt();
    if (lstResurser->currentRow() >= 0 && !lstResurser->selectedItems().isEmpty())
        choices.lstResurser = lstResurser->currentItem()->data(Qt::UserRole).toInt();
    choices.DataBas = gsDataBas;
    // A status list with items but none chosen: the field is left out.
    if (lvwStatus->Count() > 0 && lvwStatus->SelectedItem())
        choices.Status = lvwStatus->SelectedItem()->Key().mid(1);
    choices.chkPlanumBokningar = chkPlanumBokningar->isChecked() ? 1 : 0;
    for (int i = 1; i <= lvKopplingar->Count(); ++i)
        choices.Kopplingar.append({PlanumFältNamn(lvKopplingar->Item(i)), lvKopplingar->Item(i)->SubItem(2)});
    ::SparaProfil(ProfileName, choices);
}

void frmWizard::cboProfiler_Click(int Index)
{
    if (Index != 0 || cboProfiler[0]->currentIndex() < 0)
        return;
    TrapVoid(
        [&] {
            cboProfiler[1]->setEditText(cboProfiler[0]->currentText());
            PlanumFält(false);
            QString name = cboProfiler[0]->currentText();
            msProfil = HämtaProfil(name);

            if (const auto db = ProfileField(msProfil, QStringLiteral("DataBas"))) {
                gsDataBas = *db;
                txtDB->setText(*db);
            }
            if (msProfil.contains(QLatin1String("optImport=True"))) {
                optImport->setChecked(true);
                optImport_Click();
            } else {
                optExport->setChecked(true);
                optExport_Click();
            }
            if (msProfil.contains(QLatin1String("optKalender=True"))) {
                optKalender->setChecked(true);
                optKalender_Click();
            } else if (msProfil.contains(QLatin1String("optNotering=True"))) {
                optNotering->setChecked(true);
                optNotering_Click();
            } else if (msProfil.contains(QLatin1String("optUppgifter=True"))) {
                optUppgifter->setChecked(true);
                optUppgifter_Click();
            }
            OutLookFält();
            if (const auto value = ProfileField(msProfil, QStringLiteral("lstResurser")))
                glLstResurser = qint32(Val(*value));
            if (const auto value = ProfileField(msProfil, QStringLiteral("cboResurser"))) {
                const int n = int(Val(*value));
                if (cboResurser->count() == 0 && gbAuto)
                    FyllLista();
                else {
                    // Like a click: the list follows only when the selection really changes.
                    const int before = cboResurser->currentIndex();
                    cboResurser->setCurrentIndex(cboResurser->findData(n));
                    if (cboResurser->currentIndex() != before)
                        cboResurser_Click();
                }
            }
            if (msProfil.contains(QLatin1String("Status")))
                glStatus = qint32(Val(ProfileField(msProfil, QStringLiteral("Status")).value_or(QString())));
            if (msProfil.contains(QLatin1String("chkPlanumBokningar")))
                chkPlanumBokningar->setChecked(
                    Val(ProfileField(msProfil, QStringLiteral("chkPlanumBokningar")).value_or(QString())) != 0);

            lvKopplingar->ClearItems();
            m_profilFel.clear();
            const int fields = lstFält->count();
            for (int n = 1; n <= fields; ++n) {
                const auto mapping = ProfileField(msProfil, QStringLiteral("Koppling") + QString::number(n));
                if (!mapping)
                    continue;
                const qsizetype comma = mapping->indexOf(QLatin1Char(','));
                const QString planum = comma < 0 ? *mapping : mapping->left(comma);
                const QString outlook = comma < 0 ? QString() : mapping->mid(comma + 1);
                // The last entry of that text; the previous choice stays when there is none.
                bool planumFound = false, outlookFound = false;
                for (int i = lstFält->count() - 1; i >= 0; --i)
                    if (PlanumFältNamn(lstFält->item(i)) == planum) {
                        lstFält->setCurrentRow(i);
                        planumFound = true;
                        break;
                    }
                // Saved in another language: the same field, as this language shows it.
                QString outlookHere = outlook;
                if (lstOutLook->findItems(outlook, Qt::MatchExactly).isEmpty())
                    if (const QString translated = KalenderfältISpråket(outlook); !translated.isEmpty())
                        outlookHere = translated;
                for (int i = lstOutLook->count() - 1; i >= 0; --i)
                    if (lstOutLook->item(i)->text() == outlookHere) {
                        lstOutLook->setCurrentRow(i);
                        outlookFound = true;
                        break;
                    }
                // Unattended, the previous choice would quietly feed the wrong field: nobody is there
                // to see the list. The run stops before it writes anything.
                if (gbAuto && !(planumFound && outlookFound))
                    m_profilFel << QStringLiteral("Koppling") + QString::number(n) + QLatin1Char('=') + *mapping;
                if (lstFält->currentRow() >= 0 && lstOutLook->currentRow() >= 0)
                    cmdLäggTill_Click();
            }
        },
        WizardErr("cboProfiler_Click"));
}

void frmWizard::cmdProfilerTaBort_Click()
{
    if (cboProfiler[0]->currentIndex() >= 0) {
        const QString name = cboProfiler[0]->currentText();
        // In the language in use; the built-in Swedish where the language file lacks the key.
        QString question = goTexter->TextTillAndra(QStringLiteral("R6321"));
        if (!question.contains(QLatin1String("%1")))
            question = QStringLiteral("Ska du ta bort profilen '%1'?");
        const int answer =
            MsgBox(question.arg(name), vbYesNo | vbQuestion, goTexter->TextTillAndra(QStringLiteral("R2307")));
        if (answer == vbYes && TaBortProfil(name))
            FyllProfiler();
        return;
    }
    Beep();
    MsgBox(goTexter->TextTillAndra(QStringLiteral("R1944")), vbExclamation,
           goTexter->TextTillAndra(QStringLiteral("R2307")));
}
