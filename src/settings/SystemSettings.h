#pragma once
// Almbro's own keys in section "System" of Planum.ini, beside Planum's "Lang" and "DataBas1".
// Each has a default for a file that does not name it; the README lists them.
#include <QString>

namespace settings {

// How many new bookings an unattended import may make before it stops without writing.
inline const QString kMaxNyaBokningar = QStringLiteral("MaxNyaBokningar");
constexpr int kStandardMaxNyaBokningar = 500;

// How many seconds a run waits for another run that holds the same calendar or database.
inline const QString kLasVantetid = QStringLiteral("LasVantetid");
constexpr int kStandardLasVantetid = 30;

// How many seconds a message box of an unattended run stays on a display before its default
// button answers it.
inline const QString kMeddelandeSekunder = QStringLiteral("MeddelandeSekunder");
constexpr int kStandardMeddelandeSekunder = 60;

// The reminder of an appointment an export makes: minutes before its start, or -1 for none.
inline const QString kPaminnelse = QStringLiteral("Paminnelse");
constexpr int kStandardPaminnelse = 0;

// The busy status of an appointment an export makes: 0 free, 1 tentative, 2 busy, 3 out of office.
inline const QString kUpptagen = QStringLiteral("Upptagen");
constexpr int kStandardUpptagen = 0;

// The whole number under key in section "System" of the settings file, or def when the key is
// missing or not a number; never below minimum.
int SystemTal(const QString& key, int def, int minimum = 0);

} // namespace settings
