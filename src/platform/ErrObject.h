#pragma once
// The error object of the original runtime: a number and a description, raised by the
// stand-ins and caught by the procedure that owns the message.
#include <QString>
#include <exception>
#include <functional>

namespace vb {

// Error numbers the program raises or tests for.
enum ErrNumber : long {
    ErrInvalidProcedureCall = 5,
    ErrOverflow = 6,
    ErrOutOfMemory = 7,
    ErrSubscriptOutOfRange = 9,
    ErrTypeMismatch = 13,
    ErrFileNotFound = 53,
    ErrFileAlreadyOpen = 55,
    ErrDeviceIO = 57,
    ErrPermissionDenied = 70,
    ErrPathNotFound = 76,
    ErrObjectVariableNotSet = 91,
    ErrObjectRequired = 424,
    ErrCannotCreateObject = 429,
    ErrNoSuchProperty = 438,
    ErrAutomation = 440,
    ErrKeyNotUnique = 35602,
    ErrElementNotFound = 35601,
};

// The description the runtime gives for a number when the raiser has none of its own.
QString DefaultDescription(long number);

class ErrObject : public std::exception {
public:
    ErrObject(long number, QString description = QString());
    long Number() const { return m_number; }
    const QString& Description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    long m_number;
    QString m_description;
    QByteArray m_what;
};

[[noreturn]] void Raise(long number, const QString& description = QString());

// Turns whatever was thrown (an ErrObject, a std::exception, anything) into an ErrObject,
// so every trap reports a number and a description. Call inside a catch block.
ErrObject CurrentError();

// The one builder of the "Error no: ..." family. lead and tail differ by module, e.g.
//   ErrText("Error no: ", e, ") in procedure Utför in Form frmWizard")
// gives "Error no: 13 (Type mismatch) in procedure Utför in Form frmWizard".
QString ErrText(const QString& lead, const ErrObject& e, const QString& tail);

// The form-level message: "Error no: N (desc) in procedure P in Form F".
QString FormErrText(const ErrObject& e, const QString& procedure, const QString& form);

// Shows an error message the way every trap does: OK button, no title of its own.
void ShowErr(const QString& text);

// Runs body; on any error shows message(e) and returns failure. The one place where
// the try/catch of a trapping procedure lives.
template <class R, class Body, class Message> R Trap(Body&& body, R failure, Message&& message)
{
    try {
        return body();
    } catch (...) {
        ShowErr(message(CurrentError()));
        return failure;
    }
}

template <class Body, class Message> bool TrapVoid(Body&& body, Message&& message)
{
    try {
        body();
        return true;
    } catch (...) {
        ShowErr(message(CurrentError()));
        return false;
    }
}

} // namespace vb
