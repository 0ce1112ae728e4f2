#pragma once
// The language text of an identifier, and the message of a trap, as the wizard's sources make them.
#include "platform/ErrObject.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

inline QString T(const char* id)
{
    return goTexter->TextTillAndra(QString::fromLatin1(id));
}

// The title of the item list's end column in the language in use; R2247's text, which names the
// column for the import, where the language has no title of its own.
inline QString SlutRubrik()
{
    const QString shown = T("R6327");
    return shown.isEmpty() ? T("R2247") : shown;
}

// The message of a trap in frmWizard, for vb::Trap and vb::TrapVoid:
// "Error no: N (desc) in procedure P in Form frmWizard".
inline auto WizardErr(const char* procedure)
{
    return vb::FormMessage(QStringLiteral("frmWizard"), QString::fromUtf8(procedure));
}
