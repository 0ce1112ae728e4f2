#include "host/Application.h"

#include "platform/ErrObject.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "wizard/frmWizard.h"

#include <QGuiApplication>

using namespace vb;

namespace {
// "Felnr N (desc) i procedur P i Class Module Application", in the language in use.
QString Fel(const ErrObject& e, const char* procedure)
{
    return ErrText(SpråkText("R6329", "Felnr") + QLatin1Char(' '), e,
                   QStringLiteral(") ") + SpråkText("R6330", "i procedur") + QLatin1Char(' ') +
                       QLatin1String(procedure) + QLatin1Char(' ') + SpråkText("R6326", "i Class Module") +
                       QStringLiteral(" Application"));
}
} // namespace

QString Application::Beskrivning() // NOLINT(readability-convert-member-functions-to-static): the host calls it on the object
{
    return Trap([] { return SpråkText("R6335", "&Outlook integration"); }, QString(),
                [](const ErrObject& e) { return Fel(e, "Beskrivning"); });
}

QString Application::ToolTip() // NOLINT(readability-convert-member-functions-to-static): the host calls it on the object
{
    return Trap([] { return SpråkText("R6336", "Kör Planum Outlook Guide"); }, QString(),
                [](const ErrObject& e) { return Fel(e, "ToolTip"); });
}

bool Application::Anrop(qint32 /*ID*/, QString* Returvärde) // NOLINT(readability-convert-member-functions-to-static): as above
{
    try {
        // The wizard reads its texts through goTexter: before start-up made it there is nothing
        // to show.
        if (!goTexter)
            Raise(ErrObjectVariableNotSet);
        frmWizard* wizard = TheWizard();
        // Loading ends the program when the calendar cannot be opened; then nothing is shown.
        if (!ProgramEnded()) {
            wizard->show();
            wizard->raise();
            wizard->activateWindow();
        }
        return true;
    } catch (...) {
        if (Returvärde)
            *Returvärde = SpråkText("R6331", "Fel från") + QLatin1Char(' ') +
                          QGuiApplication::applicationDisplayName() + QStringLiteral("\r\n") +
                          Fel(CurrentError(), "Anrop");
        return false;
    }
}
