#pragma once
// The error object of the original runtime: a number and a description, raised by the
// stand-ins and caught by the procedure that owns the message.
#include <QString>
#include <exception>
#include <functional>
#include <optional>

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

// What a trap does besides showing its message, for the few procedures that need more:
// cleanup runs first (a busy flag lowered, a dialog unloaded), and show takes the message
// instead of a message box (a plan lists it on its step).
struct TrapWay {
    TrapWay(std::function<void()> cleanupFirst = {}, std::function<void(const QString&)> showInstead = {})
        : cleanup(std::move(cleanupFirst)), show(std::move(showInstead))
    {
    }
    std::function<void()> cleanup;
    std::function<void(const QString&)> show;
};

namespace detail {
inline void Report(const QString& text, const TrapWay& way)
{
    if (way.show)
        way.show(text);
    else
        ShowErr(text);
}
} // namespace detail

// Runs body; on any error runs the way's cleanup, shows message(e) and returns failure. The one
// place where the try/catch of a trapping procedure lives.
template <class R, class Body, class Message> R Trap(Body&& body, R failure, Message&& message, const TrapWay& way = {})
{
    try {
        return body();
    } catch (...) {
        const ErrObject e = CurrentError();
        if (way.cleanup)
            way.cleanup();
        detail::Report(message(e), way);
        return failure;
    }
}

template <class Body, class Message> bool TrapVoid(Body&& body, Message&& message, const TrapWay& way = {})
{
    try {
        body();
        return true;
    } catch (...) {
        const ErrObject e = CurrentError();
        if (way.cleanup)
            way.cleanup();
        detail::Report(message(e), way);
        return false;
    }
}

// The message of a form's trap, for Trap and TrapVoid:
// "Error no: N (desc) in procedure P in Form F".
inline auto FormMessage(QString form, QString procedure)
{
    return [form = std::move(form), procedure = std::move(procedure)](const ErrObject& e) {
        return FormErrText(e, procedure, form);
    };
}

// Runs body and gives the error it raised, if any, showing nothing: for the places where an
// error is an answer (a text that is no date, a save the database refused), not a failure.
template <class Body> std::optional<ErrObject> Attempt(Body&& body)
{
    try {
        body();
        return std::nullopt;
    } catch (...) {
        return CurrentError();
    }
}

} // namespace vb
