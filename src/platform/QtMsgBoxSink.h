#pragma once
#include "platform/MsgBox.h"

namespace vb {

// Message boxes for a person at a display.
class QtMsgBoxSink : public MsgBoxSink {
public:
    int Show(const MsgBoxRequest& request) override;
    void Beep() override;
};

// True when the program can open windows: a display is set, or a platform plugin was chosen.
bool HaveDisplay();

} // namespace vb
