#pragma once
// The language text of an identifier, and the message of a trap, as the wizard's sources make them.
#include "platform/ErrObject.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

inline QString T(const char* id)
{
    return goTexter->TextTillAndra(QString::fromLatin1(id));
}

// The message of a trap in frmWizard, for vb::Trap and vb::TrapVoid:
// "Error no: N (desc) in procedure P in Form frmWizard".
inline auto WizardErr(const char* procedure)
{
    return vb::FormMessage(QStringLiteral("frmWizard"), QString::fromUtf8(procedure));
}
