#pragma once
// The language text of an identifier, as the wizard's sources read it.
#include "settings/CTexter.h"
#include "settings/ProgramState.h"

inline QString T(const char* id)
{
    return goTexter->TextTillAndra(QString::fromLatin1(id));
}
