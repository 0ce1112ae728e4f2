#pragma once
// What Main leaves behind, for tests of the forms: the language files in the documents
// folder, gsIniFil, gsSpråkfil and goTexter, and an end handler that records the end.
#include "platform/Program.h"
#include "settings/CTexter.h"
#include "settings/ProgramState.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>

namespace testenv {

inline QString PlanumFolder()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Planum");
}

// lang: "EN" or "SV". Leaves gbAuto False and the profile globals at -1.
inline void StartProgram(const QString& lang = QStringLiteral("EN"))
{
    ResetProgramState();
    vb::ResetProgramEnded();
    const QString folder = WithLanguageFiles(PlanumFolder());
    gsIniFil = folder + QStringLiteral("/Planum.ini");
    gsSpråkfil = folder + QStringLiteral("/Lang") + lang + QStringLiteral(".ini");
    goTexter = std::make_unique<CTexter>();
    goTexter->SetSpråkfil(gsSpråkfil);
}

// The text of an identifier in the language in use.
inline QString T(const char* id)
{
    CTexter texter;
    texter.SetSpråkfil(gsSpråkfil);
    return texter.TextTillAndra(QString::fromLatin1(id));
}

} // namespace testenv
