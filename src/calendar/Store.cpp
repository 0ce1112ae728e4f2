#include "calendar/Store.h"

#include "calendar/CalDavStore.h"
#include "calendar/IcsFileStore.h"
#include "calendar/VdirStore.h"
#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "platform/SpecialFolders.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace cal {

QString CollectionName(Collection collection)
{
    switch (collection) {
    case Collection::Calendar: return QStringLiteral("Calendar");
    case Collection::Notes: return QStringLiteral("Notes");
    case Collection::Tasks: return QStringLiteral("Tasks");
    }
    return QString();
}

QString Store::NameForUid(const QString& uid) const
{
    // UIDs from other programs may hold characters a file name cannot; those get a name derived
    // from the UID instead.
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9@_+=-][A-Za-z0-9@._+=-]{0,150}$"));
    if (safe.match(uid).hasMatch())
        return uid + QStringLiteral(".ics");
    return QString::fromLatin1(QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".ics");
}

QString CalendarSetting(const char* environment, const QString& iniKey)
{
    QString fromEnvironment = qEnvironmentVariable(environment).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const auto documents = vb::SpecialFolderPath(vb::CSIDL_PERSONAL);
    if (!documents)
        return QString();
    return vb::GetPrivateProfileString(QStringLiteral("System"), iniKey, QString(), 1024,
                                       *documents + QStringLiteral("/Planum/Planum.ini"))
        .trimmed();
}

namespace {
QString StandardLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/almbro/calendar");
}
} // namespace

QString StoreLocation()
{
    QString configured = CalendarSetting("ALMBRO_CALENDAR", QStringLiteral("Calendar"));
    if (!configured.isEmpty())
        return configured;
    return StandardLocation();
}

std::unique_ptr<Store> OpenStore(const QString& location)
{
    if (location.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        location.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return std::make_unique<detail::CalDavStore>(location);
    if (location.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive))
        return std::make_unique<detail::IcsFileStore>(location);
    // The standard place is ours, folders and all; a place given by the user must exist up to
    // its parent folder.
    if (QDir::cleanPath(location) == QDir::cleanPath(StandardLocation()))
        QDir().mkpath(QFileInfo(StandardLocation()).path());
    return std::make_unique<detail::VdirStore>(location);
}

} // namespace cal
