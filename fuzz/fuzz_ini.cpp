// libFuzzer target for the settings file: any bytes (UTF-8 or not, any line length, any number
// of sections) must read as sections and keys, and a write must leave a file that reads again.
#include "FuzzSupport.h"
#include "platform/Ini.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString file = fuzz::Root() + QStringLiteral("/Planum.ini");
    fuzz::WriteFile(file, data, size);
    QString names;
    vb::GetPrivateProfileSectionNames(names, 1 << 16, file);
    int n = 0;
    for (const QString& name : names.split(QChar(0), Qt::SkipEmptyParts)) {
        (void)vb::GetPrivateProfileString(name, QStringLiteral("Values"), QString(), 8000, file);
        if (++n == 8)
            break;
    }
    (void)vb::GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("Lang"), QStringLiteral("SV"), 255, file);
    if (vb::WritePrivateProfileString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QStringLiteral("Value"), file) &&
        vb::GetPrivateProfileString(QStringLiteral("Fuzz"), QStringLiteral("Key"), QString(), 255, file) !=
            QLatin1String("Value"))
        __builtin_trap(); // a value just written must read back
    return 0;
}
