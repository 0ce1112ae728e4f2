#include "host/Application.h"

#include "platform/ErrObject.h"
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "wizard/frmWizard.h"

#include <QGuiApplication>

using namespace vb;

namespace {
QString Tail(const char* procedure)
{
    return QStringLiteral(") i procedur ") + QLatin1String(procedure) + QStringLiteral(" i Class Module Application");
}
} // namespace

QString Application::Beskrivning() // NOLINT(readability-convert-member-functions-to-static): the host calls it on the object
{
    return Trap([] { return QStringLiteral("&Outlook integration"); }, QString(),
                [](const ErrObject& e) { return ErrText(QStringLiteral("Felnr "), e, Tail("Beskrivning")); });
}

QString Application::ToolTip() // NOLINT(readability-convert-member-functions-to-static): the host calls it on the object
{
    return Trap([] { return QStringLiteral("Kör Planum Outlook Guide"); }, QString(),
                [](const ErrObject& e) { return ErrText(QStringLiteral("Felnr "), e, Tail("ToolTip")); });
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
            *Returvärde = QStringLiteral("Fel från ") + QGuiApplication::applicationDisplayName() +
                          QStringLiteral("\r\n") + ErrText(QStringLiteral("Felnr "), CurrentError(), Tail("Anrop"));
        return false;
    }
}
