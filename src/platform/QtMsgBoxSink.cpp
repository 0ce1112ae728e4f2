#include "platform/QtMsgBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace vb {

namespace {
QMessageBox::StandardButton ToButton(int result)
{
    switch (result) {
    case vbOK:
        return QMessageBox::Ok;
    case vbCancel:
        return QMessageBox::Cancel;
    case vbAbort:
        return QMessageBox::Abort;
    case vbRetry:
        return QMessageBox::Retry;
    case vbIgnore:
        return QMessageBox::Ignore;
    case vbYes:
        return QMessageBox::Yes;
    case vbNo:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}

QMessageBox::Icon ToIcon(int icon)
{
    switch (icon) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

int QtMsgBoxSink::Show(const MsgBoxRequest& request)
{
    QMessageBox box(ToIcon(request.Icon()), request.title, request.prompt, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QHash<QAbstractButton*, int> results;
    for (const int answer : request.Answers())
        results.insert(box.addButton(ToButton(answer)), answer);
    box.setDefaultButton(ToButton(request.DefaultAnswer()));
    if (request.Answers().contains(vbCancel))
        box.setEscapeButton(ToButton(vbCancel));
    box.exec();
    return results.value(box.clickedButton(),
                         request.Answers().contains(vbCancel) ? vbCancel : request.DefaultAnswer());
}

void QtMsgBoxSink::Beep()
{
    QApplication::beep();
}

bool HaveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace vb
