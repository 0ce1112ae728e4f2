#include "platform/QtMsgBoxSink.h"
#include "platform/LogFile.h"

#include <QApplication>
#include <algorithm>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

namespace vb {

namespace {
// The table in MsgBox.h carries Qt's values as numbers; they must be Qt's.
static_assert(kMsgBoxAnswers[0].qt == QMessageBox::Ok && kMsgBoxAnswers[1].qt == QMessageBox::Cancel &&
              kMsgBoxAnswers[2].qt == QMessageBox::Abort && kMsgBoxAnswers[3].qt == QMessageBox::Retry &&
              kMsgBoxAnswers[4].qt == QMessageBox::Ignore && kMsgBoxAnswers[5].qt == QMessageBox::Yes &&
              kMsgBoxAnswers[6].qt == QMessageBox::No);
static_assert(kMsgBoxIcons[0].qt == QMessageBox::NoIcon && kMsgBoxIcons[1].qt == QMessageBox::Critical &&
              kMsgBoxIcons[2].qt == QMessageBox::Question && kMsgBoxIcons[3].qt == QMessageBox::Warning &&
              kMsgBoxIcons[4].qt == QMessageBox::Information);

QMessageBox::StandardButton ToButton(int result)
{
    const MsgBoxAnswerInfo* info = FindAnswer(result);
    return info ? QMessageBox::StandardButton(info->qt) : QMessageBox::NoButton;
}

QMessageBox::Icon ToIcon(int icon)
{
    return QMessageBox::Icon(FindIcon(icon).qt);
}

// Adds the answer's button, captioned in the language in use where it has words for it.
QAbstractButton* AddButton(QMessageBox& box, int answer)
{
    QAbstractButton* button = box.addButton(ToButton(answer));
    if (const QString words = ButtonWords(answer); !words.isEmpty())
        button->setText(words);
    return button;
}
} // namespace

int QtMsgBoxSink::Show(const MsgBoxRequest& request)
{
    QMessageBox box(ToIcon(request.Icon()), request.title, request.prompt, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QHash<QAbstractButton*, int> results;
    for (const int answer : request.Answers())
        results.insert(AddButton(box, answer), answer);
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

int UnattendedMsgBoxSink::ShowWithCountdown(const MsgBoxRequest& request, int seconds, bool* byCountdown)
{
    QMessageBox box(ToIcon(request.Icon()), request.title, request.prompt, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QHash<QAbstractButton*, int> results;
    for (const int answer : request.Answers())
        results.insert(AddButton(box, answer), answer);
    QAbstractButton* def = box.button(ToButton(request.DefaultAnswer()));
    box.setDefaultButton(qobject_cast<QPushButton*>(def));
    const QString label = def->text();
    int left = seconds;
    def->setText(QStringLiteral("%1 (%2)").arg(label).arg(left));
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &box, [&] {
        if (--left > 0) {
            def->setText(QStringLiteral("%1 (%2)").arg(label).arg(left));
            return;
        }
        tick.stop();
        *byCountdown = true;
        def->click();
    });
    tick.start();
    box.exec();
    // Closed by the window manager: the default, as the countdown would have answered.
    return results.value(box.clickedButton(), request.DefaultAnswer());
}

int UnattendedMsgBoxSink::Show(const MsgBoxRequest& request)
{
    int answer = request.DefaultAnswer();
    bool byCountdown = !m_options.showOnDisplay;
    // Said before the box is shown: if the run is killed while it waits, the reason is on record.
    {
        QTextStream err(stderr);
        QString text = request.prompt;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\n'), QStringLiteral("\n    "));
        err << request.title << QStringLiteral(": ") << text << Qt::endl;
    }
    if (m_options.showOnDisplay) {
        const int seconds = m_options.countdownSeconds ? std::max(1, m_options.countdownSeconds()) : 60;
        answer = ShowWithCountdown(request, seconds, &byCountdown);
    }
    if (request.Answers().size() > 1) {
        QTextStream err(stderr);
        err << QStringLiteral("    ")
            << AnswerNote(answer, answer == request.DefaultAnswer() ? AnswerWay::Default : AnswerWay::Given)
            << Qt::endl;
    }
    const QString logFile = m_options.logFile ? m_options.logFile() : QString();
    if (!logFile.isEmpty())
        AppendToLog(logFile, LogLine(request, answer, byCountdown));
    return answer;
}

void UnattendedMsgBoxSink::Beep()
{
    // Nobody is there to hear it.
}

QString UnattendedMsgBoxSink::LogLine(const MsgBoxRequest& request, int answer, bool byCountdown)
{
    QString text = request.prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + QStringLiteral("\tmessage\t") +
                   request.title + QStringLiteral(": ") + text;
    if (request.Answers().size() > 1 || !byCountdown)
        line += QLatin1Char('\t') + AnswerNote(answer, byCountdown ? AnswerWay::Default : AnswerWay::ByPerson);
    return line + QLatin1Char('\n');
}

bool HaveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace vb
