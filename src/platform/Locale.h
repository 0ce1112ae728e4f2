#pragma once
// Dates and numbers the way the user's locale writes them, always with four-digit years,
// and the runtime's number helpers Val and IsNumeric.
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace vb {

// The locale in use: the system's, unless a test set another.
const QLocale& CurrentLocale();
void SetLocaleForTest(const QLocale& locale);
void ResetLocale();

QString ShortDateFormat(); // e.g. "yyyy-MM-dd" (sv_SE) or "M/d/yyyy" (en_US)
QString ShortTimeFormat(); // e.g. "HH:mm"
QString LongTimeFormat();  // the short time with seconds

QString FormatShortDate(const QDate& date);
QString FormatShortTime(const QTime& time);
// "General date": the short date, then the time with seconds unless it is midnight.
QString FormatGeneralDate(const QDateTime& when);
// The short date and short time, as the date pickers and range texts show them.
QString FormatShortDateTime(const QDateTime& when);

// The "###,###" number format: digits grouped by the locale; zero gives the empty text.
QString FormatThousands(qint64 value);

// Reads what the formats above write, plus ISO 8601 ("2026-12-05", "2026-12-05 14:30",
// "2026-12-05T14:30:00"). Local time. Nothing when the text is not a date.
std::optional<QDateTime> ParseDateTime(const QString& input);
bool IsDate(const QString& text);
// ParseDateTime, raising a type mismatch (13) for a text that is not a date.
QDateTime CDate(const QString& text);

// Holds the system's time zone for the rest of the process when TZ is not set. Without TZ the C
// library looks at /etc/localtime again for every local time it works out (a transfer works
// out dozens per item); with the zone named once it is read once. A change of the system's zone
// is then seen by the next start.
void HoldLocalZone();
// The system zone's IANA name; looked up once while the zone is held, else asked each time.
QByteArray LocalZoneId();

// The toolkit's own words (its file dialog, its network errors) in the language of a language
// file's code ("SV"), from the translations installed with Qt. Gives false where there are none,
// and the words stay English.
bool UseToolkitLanguage(const QString& code);

// The runtime's Val: the number at the start of the text (blanks anywhere are skipped,
// "." is the decimal point, &H and &O prefixes read hex and octal); 0 when there is none.
double Val(const QString& text);
// True when the whole text (trimmed) reads as a number in the locale's notation.
bool IsNumeric(const QString& input);

} // namespace vb
