#pragma once
// One open registry key: open, read, close, and the messages for registry error codes.
#include "platform/Registry.h"

#include <QString>
#include <optional>

class CRegistry {
public:
    CRegistry() = default;
    ~CRegistry();
    CRegistry(const CRegistry&) = delete; // one owner closes the key
    CRegistry& operator=(const CRegistry&) = delete;

    qint32 Key() const;
    void SetKey(qint32 value);

    // bShowMsg not zero: show what went wrong.
    bool OpenKey(vb::HKEY hKey, QString lpSubKey, std::optional<long> samDesired = std::nullopt,
                 std::optional<long> bShowMsg = std::nullopt);
    QString QueryKey(QString lpSubKey, long lpType, std::optional<long> bShowMsg = std::nullopt) const;
    bool CloseKey(std::optional<long> bShowMsg = std::nullopt);

    // The message text for a registry error code; empty for 0.
    static QString RegistryErrorText(long code);

private:
    static void DisplayRegistryError(long code);

    qint32 m_key = 0;
};
