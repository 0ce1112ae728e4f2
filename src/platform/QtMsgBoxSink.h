#pragma once
#include "platform/MsgBox.h"

#include <functional>

namespace vb {

// Message boxes for a person at a display.
class QtMsgBoxSink : public MsgBoxSink {
public:
    int Show(const MsgBoxRequest& request) override;
    void Beep() override;
};

// Message boxes of an unattended run: nothing may wait for a person. Every box goes to stderr and
// to the run log, and is answered by its default button; where a display exists it is also shown,
// with a countdown on the default button, and a person may answer it before the countdown ends.
class UnattendedMsgBoxSink : public MsgBoxSink {
public:
    struct Options {
        bool showOnDisplay = false;
        std::function<int()> countdownSeconds; // read when a box comes: the settings may load late
        std::function<QString()> logFile;      // empty: no log (not known yet, or a run that writes nothing)
    };
    explicit UnattendedMsgBoxSink(Options options) : m_options(std::move(options)) {}

    int Show(const MsgBoxRequest& request) override;
    void Beep() override;

    // The line the run log gets for a box: time, title and text on one line, and the answer.
    static QString LogLine(const MsgBoxRequest& request, int answer, bool byCountdown);

private:
    static int ShowWithCountdown(const MsgBoxRequest& request, int seconds, bool* byCountdown);
    Options m_options;
};

// True when the program can open windows: a display is set, or a platform plugin was chosen.
bool HaveDisplay();

} // namespace vb
