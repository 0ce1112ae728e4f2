#include "startup/FirstForm.h"

#include "platform/Program.h"
#include "wizard/frmWizard.h"

#include <QPointer>

namespace {
QPointer<QWidget> g_first;
} // namespace

void ShowFirstForm()
{
    frmWizard* wizard = TheWizard();
    g_first = wizard;
    // Loading may already have ended the program (no calendar); then nothing is shown.
    if (!vb::ProgramEnded())
        wizard->show();
}

QWidget* FirstForm()
{
    return g_first.data();
}
