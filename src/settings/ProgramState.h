#pragma once
// The program-wide state of modWizard: set at start by Main and by the wizard, read all over.
// It lives here, below the wizard and start-up, so that every layer above can reach it.
#include <QString>
#include <memory>

class CTexter;

extern QString gsIniFil;                  // the settings file: documents folder + "/Planum/Planum.ini"
extern QString gsSpråkfil;                // the language file: language folder + "Lang" + code + ".ini"
extern bool gbAuto;                       // unattended run ("/AUTO" on the command line)
extern bool gbPlan;                       // an unattended run that only tells what it would do ("/plan")
extern QString gsAutoArg;                 // the text after "/AUTO", lower-cased and trimmed
extern QString gsDataBas;                 // the booking database in use
extern qint32 glStatus;                   // status chosen by an applied profile; -1 when none
extern qint32 glLstResurser;              // resource chosen by an applied profile; -1 when none
extern bool gbOutlookOK;                  // the calendar's namespace was obtained
extern QString gsBekräftelse;             // the summary of the last transfer run
extern std::unique_ptr<CTexter> goTexter; // the one language-text object

// The run log, Almbro.log beside the settings file; empty while the settings file is not known.
QString RunLogFile();

// Back to the state before Main, for tests that start the program more than once.
void ResetProgramState();
