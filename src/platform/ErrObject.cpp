#include "platform/ErrObject.h"
#include "platform/MsgBox.h"

namespace vb {

QString DefaultDescription(long number)
{
    switch (number) {
    case ErrInvalidProcedureCall:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrOverflow:
        return QStringLiteral("Overflow");
    case ErrOutOfMemory:
        return QStringLiteral("Out of memory");
    case ErrSubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case ErrTypeMismatch:
        return QStringLiteral("Type mismatch");
    case ErrFileNotFound:
        return QStringLiteral("File not found");
    case ErrFileAlreadyOpen:
        return QStringLiteral("File already open");
    case ErrDeviceIO:
        return QStringLiteral("Device I/O error");
    case ErrPermissionDenied:
        return QStringLiteral("Permission denied");
    case ErrPathNotFound:
        return QStringLiteral("Path not found");
    case ErrObjectVariableNotSet:
        return QStringLiteral("Object variable or With block variable not set");
    case ErrObjectRequired:
        return QStringLiteral("Object required");
    case ErrCannotCreateObject:
        return QStringLiteral("ActiveX component can't create object");
    case ErrNoSuchProperty:
        return QStringLiteral("Object doesn't support this property or method");
    case ErrAutomation:
        return QStringLiteral("Automation error");
    case ErrKeyNotUnique:
        return QStringLiteral("Key is not unique in collection");
    case ErrElementNotFound:
        return QStringLiteral("Element not found");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

ErrObject::ErrObject(long number, QString description)
    : m_number(number), m_description(description.isEmpty() ? DefaultDescription(number) : std::move(description)),
      m_what(QString(QString::number(number) + QLatin1Char(' ') + m_description).toUtf8())
{
}

void Raise(long number, const QString& description)
{
    throw ErrObject(number, description);
}

ErrObject CurrentError()
{
    try {
        throw;
    } catch (const ErrObject& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ErrObject(ErrOutOfMemory);
    } catch (const std::exception& e) {
        return ErrObject(ErrInvalidProcedureCall, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return ErrObject(ErrAutomation);
    }
}

QString ErrText(const QString& lead, const ErrObject& e, const QString& tail)
{
    return lead + QString::number(e.Number()) + QStringLiteral(" (") + e.Description() + tail;
}

QString FormErrText(const ErrObject& e, const QString& procedure, const QString& form)
{
    return ErrText(QStringLiteral("Error no: "), e,
                   QStringLiteral(") in procedure ") + procedure + QStringLiteral(" in Form ") + form);
}

void ShowErr(const QString& text)
{
    MsgBox(text, vbOKOnly);
}

} // namespace vb
