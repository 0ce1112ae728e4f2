#pragma once
// The process as the program sees it: its command line as one string, how it was started,
// and the one way to end it.
#include <QString>
#include <QStringList>
#include <functional>

namespace vb {

// Automation: a host started the program as its automation component, passing the flag
// "-Embedding" or "/Embedding" (any case).
enum class StartMode { StandAlone, Automation };

// Called once from main() with argv after the program name. The host flag is taken off before
// the command line is read, so that it can never be mistaken for an argument of the program.
void SetProcessArguments(const QStringList& args);

// The arguments after the program name, host flag removed, joined by blanks.
QString Command();
// The arguments as the shell handed them over, the host flag left out.
QStringList ProcessArguments();
// Removes every argument equal to one of names (letter case ignored) from the command line;
// true when there was one.
bool TakeArgument(const QStringList& names);
StartMode GetStartMode();

// Ends the program with an exit status. Tests install their own handler to see it happen.
using EndHandler = std::function<void(int status)>;
void SetEndHandler(EndHandler handler); // empty restores the default
void EndProgram(int status = 0);
bool ProgramEnded();
int ProgramEndStatus();
void ResetProgramEnded(); // for tests that start the program more than once

// A plain file (not a folder) exists at path.
bool FileExists(const QString& path);

} // namespace vb
