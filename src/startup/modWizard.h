#pragma once
// Start-up: the program's entry after the application object exists.
#include <QString>

// Reads the command line, settles the folders of the settings and language files, picks the
// language, makes goTexter, then shows the first form or leaves the start to a host.
void Main();

// True when the Terminal Server key of the current user can be opened.
bool ÄrTerminalServer();

// The path of a special folder (CSIDL number), "NO!" when it cannot be resolved.
QString SpecialMapp(qint32 csidl);

// The usage text's four lines, joined by CR LF.
QString UsageText();
