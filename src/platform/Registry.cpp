#include "platform/Registry.h"

#include <QHash>
#include <QMap>
#include <QStringList>

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

void RegCreateKeyForTest(HKEY root, const QString& path, const QString& valueName, const QString& value)
{
    Node* node = &tree().roots[root];
    for (const QString& part : PathParts(path))
        node = &node->children[part];
    if (!value.isNull())
        node->values.insert(valueName.toLower(), value);
}

void RegResetForTest()
{
    tree().open.clear();
    tree().roots.clear();
}

} // namespace vb
