#include "settings/CRegistry.h"

#include "platform/ErrObject.h"
#include "platform/MsgBox.h"

using namespace vb;

namespace {
const QString kTitle = QStringLiteral("Planum");

bool Shows(std::optional<long> bShowMsg)
{
    return bShowMsg.has_value() && *bShowMsg != 0;
}

// The trap message of every CRegistry operation: number, description, the operation's label.
auto Label(const char* label)
{
    return [label](const ErrObject& e) {
        return QString::number(e.Number()) + QLatin1Char(' ') + e.Description() + QStringLiteral("\r\n") +
               QString::fromUtf8(label);
    };
}
} // namespace

CRegistry::~CRegistry()
{
    if (m_key != 0)
        RegCloseKey(m_key);
}

qint32 CRegistry::Key() const
{
    return m_key;
}

void CRegistry::SetKey(qint32 value)
{
    TrapVoid([&] { m_key = value; }, Label("CRegistry.Key Let"));
}

QString CRegistry::RegistryErrorText(long code)
{
    switch (code) {
    case 0:
        return QString();
    case 5:
        return QStringLiteral("Behörighet saknas till registret.");
    case 14:
        return QStringLiteral("Slut på minne.");
    case 87:
        return QStringLiteral("Felaktig parameter.");
    case 998:
        return QStringLiteral("Behörighet saknas till nyckel i registret.");
    case 1009:
    case 1010:
    case 1015:
        return QStringLiteral("Registret kan inte läsas.");
    case 1011:
        return QStringLiteral("Kan inte öppna nyckel.");
    case 1012:
        return QStringLiteral("Kan inte läsa nyckel.");
    case 1013:
        return QStringLiteral("Kan inte skriva till nyckel.");
    case 1016:
        return QStringLiteral("Odefinierat I/O fel i registerdatabasen.");
    case 1017:
        return QStringLiteral("Detta är inte en registerfil");
    default:
        return QStringLiteral("Odefinierat I/O fel i register nr ") + QString::number(code);
    }
}

void CRegistry::DisplayRegistryError(long code)
{
    TrapVoid(
        [&] {
            const QString text = RegistryErrorText(code);
            if (!text.isEmpty())
                MsgBox(text, vbInformation, kTitle);
        },
        Label("CRegistry.DisplayRegistryError "));
}

bool CRegistry::OpenKey(HKEY hKey, QString lpSubKey, std::optional<long> samDesired, std::optional<long> bShowMsg)
{
    return Trap<bool>(
        [&] {
            if (m_key != 0 && !CloseKey(bShowMsg))
                return false;
            if (hKey == 0) {
                if (Shows(bShowMsg))
                    MsgBox(QStringLiteral("Cannot open key.  No root key handle was specified."), vbExclamation,
                           kTitle);
                return false;
            }
            if (lpSubKey.trimmed().isEmpty()) {
                if (Shows(bShowMsg))
                    MsgBox(QStringLiteral("Cannot open key.  No subkey name was specified."), vbExclamation, kTitle);
                return false;
            }
            HKEY opened = 0;
            const long rc = samDesired ? RegOpenKeyEx(hKey, lpSubKey, 0, *samDesired, &opened)
                                       : RegOpenKey(hKey, lpSubKey, &opened);
            if (rc != ERROR_SUCCESS) {
                if (Shows(bShowMsg))
                    DisplayRegistryError(rc);
                return false;
            }
            m_key = opened;
            return true;
        },
        false, Label("CRegistry.OpenKey "));
}

QString CRegistry::QueryKey(QString lpSubKey, long lpType, std::optional<long> bShowMsg) const
{
    return Trap<QString>(
        [&] {
            long size = 255;
            const long rc = RegQueryValue(m_key, lpSubKey, nullptr, &size);
            if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
                if (Shows(bShowMsg))
                    DisplayRegistryError(rc);
                return QString();
            }
            QString data;
            long type = lpType;
            const long rc2 = RegQueryValueEx(m_key, lpSubKey, &type, &data, &size);
            if (rc2 != ERROR_SUCCESS) {
                if (Shows(bShowMsg))
                    DisplayRegistryError(rc2);
                return QString();
            }
            return data;
        },
        QString(), Label("CRegistry.QueryKey "));
}

bool CRegistry::CloseKey(std::optional<long> bShowMsg)
{
    return Trap<bool>(
        [&] {
            if (m_key == 0)
                return false;
            const long rc = RegCloseKey(m_key);
            if (rc != ERROR_SUCCESS) {
                if (Shows(bShowMsg))
                    DisplayRegistryError(rc);
                return false;
            }
            m_key = 0;
            return true;
        },
        false, Label("CRegistry.CloseKey "));
}
