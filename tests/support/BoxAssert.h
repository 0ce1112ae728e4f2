#pragma once
// Asserting message boxes caught by the recorder: text, buttons, icon and title, exactly.
#include "platform/MsgBox.h"

#include <QTest>

namespace testenv {

// Checks the next recorded box and removes it from the recorder.
#define ALMBRO_EXPECT_BOX(recorder, text_, buttons_, icon_, title_)                                                    \
    do {                                                                                                               \
        QVERIFY2(!(recorder).Boxes().isEmpty(), "no message box was shown");                                           \
        const auto box_ = (recorder).TakeFirstBox();                                                                   \
        QCOMPARE(box_.text, QString(text_));                                                                           \
        QCOMPARE(box_.buttons, int(buttons_));                                                                         \
        QCOMPARE(box_.icon, int(icon_));                                                                               \
        QCOMPARE(box_.title, QString(title_));                                                                         \
    } while (false)

// No box left unasserted and none that needed an answer without one.
#define ALMBRO_EXPECT_NO_MORE_BOXES(recorder)                                                                          \
    do {                                                                                                               \
        QVERIFY2((recorder).Unexpected().isEmpty(), qPrintable((recorder).Unexpected().join("\n")));                   \
        if (!(recorder).Boxes().isEmpty())                                                                             \
            QFAIL(qPrintable("unasserted message box: " + (recorder).Boxes().first().text));                           \
    } while (false)

} // namespace testenv
