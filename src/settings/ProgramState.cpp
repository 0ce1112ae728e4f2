#include "settings/ProgramState.h"
#include "settings/CTexter.h"

#include <QFileInfo>

QString gsIniFil;
QString gsSpråkfil;
bool gbAuto = false;
bool gbPlan = false;
QString gsAutoArg;
QString gsDataBas;
qint32 glStatus = -1;
qint32 glLstResurser = -1;
bool gbOutlookOK = false;
QString gsBekräftelse;
std::unique_ptr<CTexter> goTexter;

void ResetProgramState()
{
    gsIniFil.clear();
    gsSpråkfil.clear();
    gbAuto = false;
    gbPlan = false;
    gsAutoArg.clear();
    gsDataBas.clear();
    glStatus = -1;
    glLstResurser = -1;
    gbOutlookOK = false;
    gsBekräftelse.clear();
    goTexter.reset();
}

QString RunLogFile()
{
    return gsIniFil.isEmpty() ? QString() : QFileInfo(gsIniFil).path() + QStringLiteral("/Almbro.log");
}
