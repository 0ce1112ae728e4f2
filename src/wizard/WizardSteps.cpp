// The steps of the wizard, moving between them, the checks before each, and the direction.
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

using namespace vb;

namespace {
// A check that stops a step: beep first unless told otherwise, then the message.
void Stop(const char* id, int style, bool beep = true, const QString& title = QString())
{
    if (beep)
        Beep();
    MsgBox(T(id), style, title.isNull() ? T("R2307") : title);
}
} // namespace

bool frmWizard::HasTickedItem() const
{
    for (int i = 1; i <= lvVisa->Count(); ++i)
        if (lvVisa->Item(i)->Checked())
            return true;
    return false;
}

void frmWizard::SetStep(short NewStep, short Direction)
{
    TrapVoid(
        [&] {
            switch (NewStep) {
            case 1:
                if (Direction != 2)
                    break;
                if (dtpStartTid->dateTime() > dtpSlutTid->dateTime()) {
                    Stop("R2254", vbExclamation);
                    dtpStartTid->setFocus();
                    return;
                }
                if (!optImport->isChecked() && !optExport->isChecked()) {
                    if (!gbAuto)
                        Stop("R2296", vbExclamation);
                    return;
                }
                if (txtDB->text().isEmpty()) {
                    if (!gbAuto) {
                        Stop("R2289", vbExclamation);
                        cmdDB->setFocus();
                    }
                    return;
                }
                lvVisa->ClearItems();
                FyllLista();
                if (lvVisa->Count() == 0) {
                    if (!gbAuto)
                        Stop("R2215", vbExclamation, false, windowTitle());
                    return;
                }
                break;
            case 2:
                if (Direction == 2) {
                    FyllStatus(moStatusLista.get());
                    if (!HasTickedItem() && !gbAuto) {
                        Stop("R2191", vbOKOnly);
                        return;
                    }
                } else {
                    mbKanSlutföra = false;
                }
                break;
            case 3:
                if (lstResurser->selectedItems().isEmpty() && optImport->isChecked() && !chkAnvändNyckel->isChecked()) {
                    Stop("R2189", vbOKOnly);
                    return;
                }
                if (Direction == 2 && optImport->isChecked() && lblStatusKoll->text() == T("R2256")) {
                    Stop("R2192", vbExclamation);
                    lvwStatus->setFocus();
                    return;
                }
                mbKanSlutföra = false;
                OutLookFält();
                break;
            case 4:
                mbKanSlutföra = true;
                // What Finish will do, before it is pressed; an unattended run just does it.
                if (!gbAuto)
                    VisaPlan();
                break;
            default:
                break;
            }

            // Only the step shown is enabled; the others are out of sight.
            fraStep[miAktuelltSteg]->setEnabled(false);
            ui->stepArea->setCurrentWidget(fraStep[NewStep]);
            fraStep[NewStep]->setEnabled(true);
            SättRubrik(NewStep);
            SetNavBtns(NewStep);
        },
        WizardErr("SetStep"));
}

void frmWizard::SetNavBtns(short Step)
{
    TrapVoid(
        [&] {
            miAktuelltSteg = Step;
            cmdNav[2]->setEnabled(Step != 0);
            cmdNav[3]->setEnabled(Step != 4);
            cmdNav[4]->setEnabled(mbKanSlutföra);
            cmdNav[4]->setDefault(mbKanSlutföra);
            cmdNav[3]->setDefault(!mbKanSlutföra);
        },
        WizardErr("SetNavBtns"));
}

void frmWizard::cmdNav_Click(int Index)
{
    TrapVoid(
        [&] {
            switch (Index) {
            case 1:
                close();
                break;
            case 2: {
                const short target =
                    (miAktuelltSteg == 3 && ValdTypRöd()) ? short(miAktuelltSteg - 2) : short(miAktuelltSteg - 1);
                SetStep(target, 1);
                break;
            }
            case 3: {
                short target = 0;
                if (miAktuelltSteg == 1 && ValdTypRöd()) {
                    target = 3;
                } else {
                    target = short(miAktuelltSteg + 1);
                    if (miAktuelltSteg == 0)
                        cboResurser->clear();
                }
                if (target > 4)
                    return; // Next is disabled on the last step; a program press does nothing
                SetStep(target, 2);
                break;
            }
            case 4: {
                if (!CheckOk())
                    return;
                // Finish stays off while the run goes and after it, until the user comes to this
                // step again: a second click or Enter must not run the same transfer twice.
                mbKanSlutföra = false;
                SetNavBtns(miAktuelltSteg);
                if (gbAuto && gbPlan) {
                    VisaUnattendedPlan();
                    return;
                }
                const bool done = Utför();
                if (gbAuto)
                    SetEndStatus(UnattendedStatus());
                if (!done)
                    return;
                bool closeWizard = gbAuto;
                if (!gbAuto) {
                    closeWizard = VisaAvslutning();
                    if (!cboProfiler[1]->currentText().isEmpty() || cboProfiler[1]->currentIndex() >= 0) {
                        QString name = cboProfiler[1]->currentText();
                        SparaProfil(name);
                    }
                }
                if (closeWizard)
                    close();
                break;
            }
            default:
                break;
            }
        },
        WizardErr("cmdNav_Click"));
}

bool frmWizard::CheckOk()
{
    return Trap<bool>(
        [&]() -> bool {
            const bool ticked = gbAuto || HasTickedItem();
            if (!ticked) {
                Beep();
                MsgBox(T(ValdTypBlå() ? "R2188" : "R2187") + QStringLiteral("\r\n") + T("R2210"), vbOKOnly);
                return false;
            }
            if (lstResurser->selectedItems().isEmpty() && !chkAnvändNyckel->isChecked() && optImport->isChecked() &&
                !gbAuto) {
                Beep();
                MsgBox(T("R2186"), vbOKOnly);
                return false;
            }
            if (lvKopplingar->Count() == 0 && !gbAuto) {
                Beep();
                const int answer = MsgBox(T("R2242") + QStringLiteral("\r\n") + T("R2211"), vbYesNo | vbQuestion);
                return answer == vbNo;
            }
            return true;
        },
        false, WizardErr("CheckOk"));
}

void frmWizard::optExport_Click()
{
    SetValdTypFärg(QColor(255, 0, 0));
    chkOverLapp->hide();
    chkAnvändNyckel->hide();
    chkPlanumBokningar->setEnabled(false);
    imgTillPlanum->hide();
    imgFrånPlanum->show();
    PlanumFält(false);
}

void frmWizard::optImport_Click()
{
    if (!gbAuto) {
        SetValdTypFärg(QColor(0, 0, 255));
        chkOverLapp->show();
        chkAnvändNyckel->show();
        chkPlanumBokningar->setEnabled(true);
        imgTillPlanum->show();
        imgFrånPlanum->hide();
    }
    PlanumFält(true);
}

void frmWizard::optKalender_Click()
{
    lblValdTyp->setText(T("R1011"));
}

void frmWizard::optNotering_Click()
{
    lblValdTyp->setText(T("R2229"));
}

void frmWizard::optUppgifter_Click()
{
    lblValdTyp->setText(T("R2276"));
}
