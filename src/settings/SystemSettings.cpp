#include "settings/SystemSettings.h"

#include "platform/Ini.h"
#include "settings/ProgramState.h"

#include <algorithm>
#include <limits>

namespace settings {

int SystemTal(const QString& key, int def, int minimum)
{
    if (gsIniFil.isEmpty())
        return def;
    bool ok = false;
    const qlonglong value =
        vb::GetPrivateProfileString(QStringLiteral("System"), key, QString(), 64, gsIniFil).trimmed().toLongLong(&ok);
    if (!ok)
        return def;
    return int(std::clamp<qlonglong>(value, minimum, std::numeric_limits<int>::max()));
}

} // namespace settings
