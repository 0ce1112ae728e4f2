#pragma once
// The run log: lines appended to a file that whoever looks after the schedule reads. A log that
// cannot be written (a full disk, a folder in its place, no right to write) must not go
// unnoticed, so the failure is said on standard error, once per file and process.
#include <QString>

namespace vb {

// Appends text to file; false, after saying why on stderr, when it did not all reach the file.
bool AppendToLog(const QString& file, const QString& text);

} // namespace vb
