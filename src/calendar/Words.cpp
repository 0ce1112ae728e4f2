
#include <QMutex>

#include "calendar/Words.h"
#include <array>

namespace cal {

namespace {
constexpr int kFirstKey = 6500;

// In the order of Message; the key of each is kFirstKey plus its place.
constexpr std::array<const char*, size_t(Message::Count)> kEnglish = {
    "Cannot write %1: %2",
    "Cannot read %1: %2",
    "File not found: %1",
    "%1 already exists; it was not overwritten",
    "%1 was changed or removed by another program since it was read; it was not overwritten",
    "%1 was changed by another program since it was read; it was not deleted",
    "Cannot delete %1: %2",
    "Cannot start a thread to write %1",
    "The calendar folder %1 is not a folder",
    "The calendar folder %1 cannot be made: %2 is not an existing folder",
    "Cannot create the calendar folder %1",
    "Cannot read the calendar folder %1: %2",
    "The calendar folder %1 holds appointments only",
    "The calendar file %1 is not a file",
    "Cannot create the folder of the calendar file %1",
    "%1 is not an iCalendar file (it does not begin with BEGIN:VCALENDAR)",
    "%1 could not be read as iCalendar data",
    "%1 holds no VCALENDAR",
    "%1 is no longer in the file",
    "The calendar file %1 is locked by another program (%1.lock)",
    "%1 holds no item with the name it was saved as",
    "%1 holds no %2",
    "%1: the time zone \"%2\" changes its offset far more often than any real zone; the item was skipped",
    "%1: the event \"%2\" has no valid start (DTSTART)",
    "%1: the event \"%2\" has a length (DURATION) no event can have",
    "The appointment \"%1\" ends (%2) before it starts (%3); it was not saved",
    "The calendar application has quit",
    "The item has been deleted",
    "The calendar server %1 could not be reached: %2",
    "The calendar server %1 did not answer within %2 seconds",
    "The secure connection to the calendar server %1 failed: %2 (a server with a certificate of its own needs that "
    "certificate named in ALMBRO_CALENDAR_CERTIFICATE)",
    "The calendar server %1 asks for a user name and password: put the user name in the calendar's address "
    "(https://user@host/...)",
    "The calendar server %1 did not accept the user name \"%2\" and its password (401 Unauthorized)",
    "The calendar server %1 does not allow this on %2 (403 Forbidden)",
    "The calendar server %1 has no %2 (404 Not Found)",
    "The calendar server %1 failed (%2 %3)",
    "The calendar server %1 refused the request for %2 (%3 %4)",
    "The calendar server %1 has no calendar for events at %2",
    "The calendar server %1 has no calendar named \"%2\" (it has: %3)",
    "The calendar server %1 gave an answer that is not WebDAV for %2: %3",
    "The calendar server %1 gave an answer that could not be read for %2: %3",
    "The calendar server gave no answer for %1",
    "%1 was changed by another client since it was read; it was not overwritten",
    "%1 was removed by another client since it was read; it was not saved",
    "%1 already exists on the calendar server; it was not overwritten",
    "%1 was changed by another client since it was read; it was not deleted",
    "%1 is not in the calendar",
    "The calendar address %1 is not a usable address",
    "The calendar address for %1 holds a password; remove it from the address and store the password in the Secret "
    "Service or in a password file (see ALMBRO_CALENDAR_PASSWORD_FILE)",
    "No password for the user \"%1\" on the calendar server %2: store it in the Secret Service (secret-tool store "
    "--label=Almbro service almbro server %3 user %1)",
    "The password file %1 cannot be read: %2",
    "The password file %1 can be read by other users; make it readable by you alone (chmod 600 %1). It was not used",
    "The password file %1 belongs to another user; it was not used",
    "The password file %1 is empty",
    "The certificate file %1 named for the calendar server holds no certificate",
    "none",
    "or name a file that holds it in ALMBRO_CALENDAR_PASSWORD_FILE or in the key CalendarPasswordFile of section "
    "System in Planum.ini",
};

// A message added without its words would leave its place empty.
static_assert(kEnglish.back() != nullptr, "every message has its built-in words");

QMutex g_lock;
std::array<QString, size_t(Message::Count)> g_taken; // empty: the built-in words
} // namespace

QString BuiltInWords(Message message)
{
    return QString::fromLatin1(kEnglish.at(size_t(message)));
}

QString WordsKey(Message message)
{
    return QStringLiteral("R%1").arg(kFirstKey + int(message));
}

QString Words(Message message)
{
    {
        const QMutexLocker locker(&g_lock);
        const QString& taken = g_taken.at(size_t(message));
        if (!taken.isEmpty())
            return taken;
    }
    return BuiltInWords(message);
}

void TakeWords(const std::function<QString(const QString& key)>& wordsOf)
{
    std::array<QString, size_t(Message::Count)> taken;
    for (size_t i = 0; i < taken.size(); ++i)
        taken[i] = wordsOf(WordsKey(Message(i)));
    const QMutexLocker locker(&g_lock);
    g_taken = std::move(taken);
}

} // namespace cal
