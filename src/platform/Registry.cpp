#include "platform/Registry.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QStringList>
#include <optional>

namespace vb {

namespace {

struct Node {
    QMap<QString, QString> values; // lower-cased name -> value; "" is the default value
    QMap<QString, Node> children;  // lower-cased name -> key
};

struct Tree {
    QMap<HKEY, Node> roots;
    QHash<HKEY, Node*> open; // handles handed out
    HKEY next = 0x100;
};

Tree& tree()
{
    static Tree t;
    return t;
}

bool IsRoot(HKEY key)
{
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS;
}

Node* NodeOf(HKEY key)
{
    if (IsRoot(key))
        return &tree().roots[key];
    return tree().open.value(key, nullptr);
}

QStringList PathParts(const QString& path)
{
    QStringList parts = path.toLower().split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (QString& part : parts)
        part = part.trimmed();
    return parts;
}

Node* Walk(Node* from, const QString& path)
{
    Node* node = from;
    for (const QString& part : PathParts(path)) {
        auto it = node->children.find(part);
        if (it == node->children.end())
            return nullptr;
        node = &*it;
    }
    return node;
}

long Deliver(const QString& text, QString* out, long* size)
{
    const long needed = long(text.size()) + 1;
    if (!size)
        return ERROR_INVALID_PARAMETER;
    if (out && *size >= needed) {
        *out = text;
        *size = needed;
        return ERROR_SUCCESS;
    }
    *size = needed;
    return out ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

} // namespace

long RegOpenKey(HKEY parent, const QString& subKey, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    Node* from = NodeOf(parent);
    if (!from)
        return ERROR_INVALID_HANDLE;
    Node* node = Walk(from, subKey);
    if (!node)
        return ERROR_FILE_NOT_FOUND;
    const HKEY handle = tree().next++;
    tree().open.insert(handle, node);
    *result = handle;
    return ERROR_SUCCESS;
}

long RegOpenKeyEx(HKEY parent, const QString& subKey, long /*options*/, long /*samDesired*/, HKEY* result)
{
    return RegOpenKey(parent, subKey, result);
}

long RegQueryValue(HKEY key, const QString& subKey, QString* value, long* size)
{
    Node* from = NodeOf(key);
    if (!from)
        return ERROR_INVALID_HANDLE;
    Node* node = Walk(from, subKey);
    if (!node)
        return ERROR_FILE_NOT_FOUND;
    return Deliver(node->values.value(QString()), value, size);
}

long RegQueryValueEx(HKEY key, const QString& valueName, long* type, QString* data, long* size)
{
    Node* node = NodeOf(key);
    if (!node)
        return ERROR_INVALID_HANDLE;
    auto it = node->values.find(valueName.toLower());
    if (it == node->values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = REG_SZ;
    return Deliver(*it, data, size);
}

long RegCloseKey(HKEY key)
{
    if (IsRoot(key))
        return ERROR_SUCCESS;
    return tree().open.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace {

std::optional<HKEY> RootByName(const QString& name)
{
    static const QMap<QString, HKEY> roots{
        {QStringLiteral("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
        {QStringLiteral("HKCR"), HKEY_CLASSES_ROOT},
        {QStringLiteral("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
        {QStringLiteral("HKCU"), HKEY_CURRENT_USER},
        {QStringLiteral("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
        {QStringLiteral("HKLM"), HKEY_LOCAL_MACHINE},
        {QStringLiteral("HKEY_USERS"), HKEY_USERS},
        {QStringLiteral("HKU"), HKEY_USERS},
    };
    auto it = roots.find(name.toUpper());
    if (it == roots.end())
        return std::nullopt;
    return *it;
}

// A quoted string at the start of text: its contents with \\ and \" undone, and what follows it.
std::optional<std::pair<QString, QString>> Quoted(const QString& text)
{
    if (!text.startsWith(QLatin1Char('"')))
        return std::nullopt;
    QString value;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            value += text[++i];
        } else if (c == QLatin1Char('"')) {
            return std::make_pair(value, text.mid(i + 1).trimmed());
        } else {
            value += c;
        }
    }
    return std::nullopt;
}

struct Entry {
    HKEY root;
    QString path;
    bool hasValue = false; // false: the key alone
    QString name;          // empty: the default value
    QString value;
};

Node* MakeKey(HKEY root, const QString& path)
{
    Node* node = &tree().roots[root];
    for (const QString& part : PathParts(path))
        node = &node->children[part];
    return node;
}

} // namespace

void RegCreateKeyForTest(HKEY root, const QString& path, const QString& valueName, const QString& value)
{
    Node* node = MakeKey(root, path);
    if (!value.isNull())
        node->values.insert(valueName.toLower(), value);
}

long RegImportFile(const QString& path, int* badLine)
{
    QFile file(path);
    if (!file.exists())
        return ERROR_FILE_NOT_FOUND;
    if (!file.open(QIODevice::ReadOnly))
        return ERROR_ACCESS_DENIED;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<Entry> entries;
    std::optional<std::pair<HKEY, QString>> key;
    bool header = false;
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        bool ok = false;
        if (!header) {
            ok = line == QLatin1String("REGEDIT4") || line == QLatin1String("Windows Registry Editor Version 5.00");
            header = ok;
        } else if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString full = line.mid(1, line.size() - 2);
            if (const auto root = RootByName(full.section(QLatin1Char('\\'), 0, 0))) {
                key = std::make_pair(*root, full.section(QLatin1Char('\\'), 1));
                entries.append({key->first, key->second, false, QString(), QString()});
                ok = true;
            }
        } else if (key) {
            QString name;
            QString rest;
            if (line.startsWith(QLatin1Char('@'))) {
                rest = line.mid(1).trimmed();
                ok = true;
            } else if (const auto quoted = Quoted(line)) {
                name = quoted->first;
                rest = quoted->second;
                ok = true;
            }
            if (ok && rest.startsWith(QLatin1Char('='))) {
                const auto value = Quoted(rest.mid(1).trimmed());
                ok = value && value->second.isEmpty();
                if (ok)
                    entries.append({key->first, key->second, true, name, value->first});
            } else {
                ok = false;
            }
        }
        if (!ok) {
            if (badLine)
                *badLine = n + 1;
            return ERROR_INVALID_PARAMETER;
        }
    }
    if (!header) {
        if (badLine)
            *badLine = 1;
        return ERROR_INVALID_PARAMETER;
    }
    for (const Entry& entry : entries) {
        Node* node = MakeKey(entry.root, entry.path);
        if (entry.hasValue)
            node->values.insert(entry.name.toLower(), entry.value);
    }
    return ERROR_SUCCESS;
}

void RegResetForTest()
{
    tree().open.clear();
    tree().roots.clear();
}

} // namespace vb
