// The item list, the status list and the transfer, as the wizard reaches them.
#include "wizard/frmWizard.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "settings/ExitStatus.h"
#include "settings/ProgramState.h"
#include "wizard/AutoArg.h"

#include <cmath>

using namespace vb;

namespace {
QString T(const char* id)
{
    return goTexter->TextTillAndra(QString::fromLatin1(id));
}

// W / n rounded to the nearest whole number, halves to even.
int Part(int width, int n)
{
    return int(std::nearbyint(double(width) / n));
}
} // namespace

void frmWizard::connectListSignals()
{
}

void frmWizard::MakeColumns(int set)
{
    try {
        lvVisa->ClearColumns();
        lvVisa->ClearItems();
        const int w = lvVisa->WidthTwips();
        if (set == 1) {
            const int q = Part(w, 5);
            lvVisa->AddColumn(T("R2252"), q - 50);
            lvVisa->AddColumn(T("R2247"), q - 50);
            lvVisa->AddColumn(T("R2234"), q - 10);
            lvVisa->AddColumn(T("R2298"), q - 10);
            lvVisa->AddColumn(T("R2267"), q - 10);
            lvVisa->AddColumn(QStringLiteral("Nyckel1"), 0);
            lvVisa->AddColumn(QStringLiteral("Nyckel2"), 0);
        } else if (set == 4) {
            const int q = Part(w, 4);
            lvVisa->AddColumn(T("R0035"), q);
            lvVisa->AddColumn(T("R0257"), q - 120);
            lvVisa->AddColumn(T("R0558"), q - 90);
            lvVisa->AddColumn(T("R0048"), q - 90);
        }
    } catch (...) {
        ShowFormError("MakeColumns");
    }
}

void frmWizard::FyllLista()
{
    // Filled in with the item lists (bookings for export, appointments for import).
}

void frmWizard::FyllStatus(clsListView* /*lista*/)
{
    // Filled in with the status list.
}

bool frmWizard::Utför()
{
    // Filled in with the transfer run; until then nothing is carried over.
    return false;
}

bool frmWizard::VisaAvslutning()
{
    // Filled in with the finish dialog.
    return false;
}

void frmWizard::RunUnattended()
{
    hide();
    const AutoArg arg = AutoArg::Parse(gsAutoArg);
    int found = -1;
    for (int i = 0; i < cboProfiler[0]->count() && found < 0; ++i)
        if (!arg.profile.isEmpty() && cboProfiler[0]->itemText(i).toLower() == arg.profile)
            found = i;
    if (found < 0) {
        show();
        MsgBox(QStringLiteral("Kan inte finna profilen: ") + gsAutoArg + QStringLiteral("!"), vbCritical);
        SetEndStatus(ExitProfileNotFound);
        return;
    }
    cboProfiler[0]->setCurrentIndex(found);
    cboProfiler_Click(0);
    for (int i = 0; i < 3; ++i)
        cmdNav[3]->click();
    cmdNav[4]->click();
}
