#pragma once
// The program's exit statuses, for schedulers and scripts.
enum ExitStatus : int {
    ExitOk = 0,
    ExitError = 1,          // a run-time error ended the program
    ExitNoDisplay = 2,      // a window was needed and there is no display
    ExitNoLanguageFile = 3, // the language marker file is missing
};
