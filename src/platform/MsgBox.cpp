#include "platform/MsgBox.h"

#include <QTextStream>
#include <cstdio>
#include <iterator>

namespace vb {

namespace {
ConsoleMsgBoxSink g_console;
MsgBoxSink* g_sink = nullptr;
std::function<QString(int)> g_buttonWords;
std::function<QString(AnswerWay)> g_answerWords;
} // namespace

void SetButtonWords(std::function<QString(int result)> words)
{
    g_buttonWords = std::move(words);
}

QString ButtonWords(int result)
{
    return g_buttonWords ? g_buttonWords(result) : QString();
}

void SetAnswerWords(std::function<QString(AnswerWay way)> words)
{
    g_answerWords = std::move(words);
}

QString AnswerNote(int result, AnswerWay way)
{
    QString button = ButtonWords(result);
    button.remove(QLatin1Char('&'));
    if (button.isEmpty())
        button = ResultName(result);
    QString words = g_answerWords ? g_answerWords(way) : QString();
    if (words.isEmpty()) {
        switch (way) {
        case AnswerWay::Default:
            words = QStringLiteral("answered %1, the default");
            break;
        case AnswerWay::Given:
            words = QStringLiteral("answered %1");
            break;
        case AnswerWay::ByPerson:
            words = QStringLiteral("answered %1 by a person");
            break;
        }
    }
    return QLatin1Char('[') + words.arg(button) + QLatin1Char(']');
}

QString DefaultTitle()
{
    return QStringLiteral("Almbro");
}

QList<int> MsgBoxRequest::Answers() const
{
    // The buttons of each set, left to right.
    static const QList<int> sets[] = {
        {vbOK}, {vbOK, vbCancel}, {vbAbort, vbRetry, vbIgnore}, {vbYes, vbNo, vbCancel}, {vbYes, vbNo}, {vbRetry, vbCancel},
    };
    const int set = ButtonSet();
    return set < int(std::size(sets)) ? sets[set] : sets[vbOKOnly];
}

int MsgBoxRequest::DefaultAnswer() const
{
    const QList<int> answers = Answers();
    const int index = (style & 0xF00) >> 8;
    return answers.value(index, answers.first());
}

const MsgBoxAnswerInfo* FindAnswer(int result)
{
    for (const MsgBoxAnswerInfo& info : kMsgBoxAnswers) {
        if (info.result == result)
            return &info;
    }
    return nullptr;
}

const MsgBoxIconInfo& FindIcon(int icon)
{
    for (const MsgBoxIconInfo& info : kMsgBoxIcons) {
        if (info.icon == icon)
            return info;
    }
    return kMsgBoxIcons[0];
}

QString ResultName(int result)
{
    const MsgBoxAnswerInfo* info = FindAnswer(result);
    return info ? QString::fromLatin1(info->name) : QString::number(result);
}

QString IconName(int icon)
{
    return QString::fromLatin1(FindIcon(icon).name);
}

void SetMsgBoxSink(MsgBoxSink* sink)
{
    g_sink = sink;
}

MsgBoxSink* CurrentMsgBoxSink()
{
    return g_sink ? g_sink : &g_console;
}

int MsgBox(const QString& prompt, int style, const QString& title)
{
    MsgBoxRequest request{prompt, style, title.isEmpty() ? DefaultTitle() : title};
    return CurrentMsgBoxSink()->Show(request);
}

void Beep()
{
    CurrentMsgBoxSink()->Beep();
}

QString ConsoleMsgBoxSink::Render(const MsgBoxRequest& request, int answer)
{
    QString text = request.prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\n    "));
    QString line = request.title + QStringLiteral(": ") + text;
    if (request.Answers().size() > 1)
        line += QStringLiteral("\n    ") + AnswerNote(answer, AnswerWay::Default);
    return line;
}

int ConsoleMsgBoxSink::Show(const MsgBoxRequest& request)
{
    const int answer = request.DefaultAnswer();
    QTextStream err(stderr);
    err << Render(request, answer) << Qt::endl;
    return answer;
}

void ConsoleMsgBoxSink::Beep()
{
    // A terminal bell would be noise in a log; a run without a display stays quiet.
}

MsgBoxRecorder::MsgBoxRecorder() : m_previous(g_sink)
{
    SetMsgBoxSink(this);
}

MsgBoxRecorder::~MsgBoxRecorder()
{
    if (g_sink == this)
        SetMsgBoxSink(m_previous);
}

int MsgBoxRecorder::Show(const MsgBoxRequest& request)
{
    Box box{request.prompt,          request.ButtonSet(), request.Icon(),
            request.DefaultAnswer(), request.title,       m_pendingBeeps};
    m_pendingBeeps = 0;
    m_boxes.append(box);
    if (m_script.isEmpty()) {
        if (request.Answers().size() == 1)
            return box.defaultAnswer; // nothing to choose: no script needed
        m_unexpected.append(request.title + QStringLiteral(": ") + request.prompt);
        return box.defaultAnswer;
    }
    const int answer = m_script.takeFirst();
    if (!request.Answers().contains(answer))
        m_unexpected.append(QStringLiteral("answer %1 is not a button of: ").arg(ResultName(answer)) + request.prompt);
    return answer;
}

QList<MsgBoxRecorder::Box> MsgBoxRecorder::TakeBoxes()
{
    QList<Box> boxes;
    boxes.swap(m_boxes);
    return boxes;
}

void MsgBoxRecorder::Clear()
{
    m_script.clear();
    m_boxes.clear();
    m_unexpected.clear();
    m_beeps = 0;
    m_pendingBeeps = 0;
}

} // namespace vb
