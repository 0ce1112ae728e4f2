#pragma once
// One MsgBox entry point with replaceable sinks: Qt message boxes for a person at a display,
// the console when there is none (never blocks), and a recorder for tests.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vb {

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// The title a box gets when the caller gives none: the program's title.
QString DefaultTitle();

struct MsgBoxRequest {
    QString prompt;
    int style = vbOKOnly;
    QString title; // already resolved: never empty

    int ButtonSet() const { return style & 0x0F; }
    int Icon() const { return style & 0xF0; }
    QList<int> Answers() const; // the buttons, left to right, as results
    int DefaultAnswer() const;  // the result of the default button
};

// Everything known of an answer and an icon, in one table each. qt is the matching
// QMessageBox::StandardButton or QMessageBox::Icon value (the widget half checks them at
// compile time), so this library never needs the widgets.
struct MsgBoxAnswerInfo {
    int result;
    const char* name;
    int qt;
};
struct MsgBoxIconInfo {
    int icon;
    const char* name;
    int qt;
};
inline constexpr MsgBoxAnswerInfo kMsgBoxAnswers[] = {
    {vbOK, "OK", 0x00000400},         {vbCancel, "Cancel", 0x00400000}, {vbAbort, "Abort", 0x00040000},
    {vbRetry, "Retry", 0x00080000},   {vbIgnore, "Ignore", 0x00100000}, {vbYes, "Yes", 0x00004000},
    {vbNo, "No", 0x00010000},
};
inline constexpr MsgBoxIconInfo kMsgBoxIcons[] = {
    {0, "None", 0},
    {vbCritical, "Critical", 3},
    {vbQuestion, "Question", 4},
    {vbExclamation, "Exclamation", 2},
    {vbInformation, "Information", 1},
};
const MsgBoxAnswerInfo* FindAnswer(int result); // nullptr for an unknown result
const MsgBoxIconInfo& FindIcon(int icon);       // "None" for an unknown icon

QString ResultName(int result); // "OK", "Yes", ... or the number

// The caption of an answer's button in the language in use, given by whoever knows the language
// (this layer knows none); an empty caption leaves the toolkit's own.
void SetButtonWords(std::function<QString(int result)> words);
QString ButtonWords(int result);
// How the line a box leaves on stderr and in the run log says what answered it:
// "[answered Yes, the default]". Its words come from whoever knows the language, as the buttons'
// do; an empty text keeps the English.
enum class AnswerWay { Default, Given, ByPerson };
void SetAnswerWords(std::function<QString(AnswerWay way)> words);
QString AnswerNote(int result, AnswerWay way);
QString IconName(int icon);     // "Critical", "Question", ... or "None"

class MsgBoxSink {
public:
    virtual ~MsgBoxSink() = default;
    virtual int Show(const MsgBoxRequest& request) = 0;
    virtual void Beep() = 0;
};

// Installs a sink (not owned); nullptr restores the console sink.
void SetMsgBoxSink(MsgBoxSink* sink);
MsgBoxSink* CurrentMsgBoxSink();

int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());
void Beep();

// Prints every box to stderr and answers its default button: for runs without a display.
class ConsoleMsgBoxSink : public MsgBoxSink {
public:
    int Show(const MsgBoxRequest& request) override;
    void Beep() override;
    static QString Render(const MsgBoxRequest& request, int answer);
};

// Captures every box and beep; answers from a script. A box that offers a choice but has no
// scripted answer is recorded as unexpected and answered by its default button. Tests take and
// assert every box and check that nothing was unexpected (tests/support does both).
class MsgBoxRecorder : public MsgBoxSink {
public:
    struct Box {
        QString text;
        int buttons = 0; // the button set, vbOKOnly ... vbRetryCancel
        int icon = 0;    // vbCritical ... or 0
        int defaultAnswer = vbOK;
        QString title;
        int beepsBefore = 0; // beeps heard since the previous box
    };

    MsgBoxRecorder();           // installs itself
    ~MsgBoxRecorder() override; // restores the previous sink
    MsgBoxRecorder(const MsgBoxRecorder&) = delete;
    MsgBoxRecorder& operator=(const MsgBoxRecorder&) = delete;

    void Answer(int result) { m_script.append(result); }
    int Show(const MsgBoxRequest& request) override;
    void Beep() override
    {
        ++m_beeps;
        ++m_pendingBeeps;
    }

    const QList<Box>& Boxes() const { return m_boxes; }
    QList<Box> TakeBoxes();
    Box TakeFirstBox() { return m_boxes.takeFirst(); }
    int Beeps() const { return m_beeps; }
    const QStringList& Unexpected() const { return m_unexpected; }
    int PendingAnswers() const { return int(m_script.size()); }
    void Clear();

private:
    MsgBoxSink* m_previous = nullptr;
    QList<int> m_script;
    QList<Box> m_boxes;
    QStringList m_unexpected;
    int m_beeps = 0;
    int m_pendingBeeps = 0;
};

} // namespace vb
