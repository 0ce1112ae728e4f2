// The message-box sinks: what the console prints and answers, what the recorder captures.
#include "platform/ErrObject.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "support/BoxAssert.h"
#include "support/TestEnv.h"

using namespace vb;

class TestMsgBox : public QObject {
    Q_OBJECT
private slots:
    void defaultAnswer_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("expected");
        QTest::newRow("ok") << int(vbOKOnly | vbCritical) << int(vbOK);
        QTest::newRow("yes no") << int(vbYesNo | vbQuestion) << int(vbYes);
        QTest::newRow("yes no, second default") << int(vbYesNo | vbQuestion | vbDefaultButton2) << int(vbNo);
        QTest::newRow("yes no cancel, third") << int(vbYesNoCancel | vbDefaultButton3) << int(vbCancel);
        QTest::newRow("retry cancel") << int(vbRetryCancel) << int(vbRetry);
        QTest::newRow("default beyond the buttons") << int(vbOKOnly | vbDefaultButton3) << int(vbOK);
    }
    void defaultAnswer()
    {
        QFETCH(int, style);
        QFETCH(int, expected);
        const MsgBoxRequest request{QStringLiteral("x"), style, DefaultTitle()};
        QCOMPARE(request.DefaultAnswer(), expected);
        // The console answers the default without waiting.
        QCOMPARE(ConsoleMsgBoxSink().Show(request), expected);
    }

    void consoleRendersTitleTextAndAnswer()
    {
        const MsgBoxRequest request{QStringLiteral("Line one\r\nLine two"), vbYesNo | vbDefaultButton2,
                                    QStringLiteral("Almbro")};
        QCOMPARE(ConsoleMsgBoxSink::Render(request, vbNo),
                 QStringLiteral("Almbro: Line one\n    Line two\n    [answered No, the default]"));
        const MsgBoxRequest ok{QStringLiteral("Done"), vbOKOnly, QStringLiteral("Planum")};
        QCOMPARE(ConsoleMsgBoxSink::Render(ok, vbOK), QStringLiteral("Planum: Done"));
    }

    void recorderCapturesAndAnswers()
    {
        MsgBoxRecorder recorder;
        Beep();
        recorder.Answer(vbNo);
        QCOMPARE(MsgBox(QStringLiteral("Sure?"), vbYesNo | vbQuestion), int(vbNo));
        QCOMPARE(recorder.Boxes().first().beepsBefore, 1);
        ALMBRO_EXPECT_BOX(recorder, "Sure?", vbYesNo, vbQuestion, "Almbro");
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void recorderFlagsAQuestionWithoutAnswer()
    {
        MsgBoxRecorder recorder;
        QCOMPARE(MsgBox(QStringLiteral("Delete?"), vbYesNo | vbDefaultButton2), int(vbNo));
        QCOMPARE(recorder.Unexpected().size(), 1);
        recorder.Answer(vbRetry);
        MsgBox(QStringLiteral("Not a button"), vbYesNo);
        QCOMPARE(recorder.Unexpected().size(), 2);
    }

    void recorderRestoresThePreviousSink()
    {
        MsgBoxRecorder outer;
        {
            MsgBoxRecorder inner;
            QCOMPARE(CurrentMsgBoxSink(), &inner);
        }
        QCOMPARE(CurrentMsgBoxSink(), &outer);
    }

    void errorTextsAndTrap()
    {
        const ErrObject e(ErrTypeMismatch);
        QCOMPARE(FormErrText(e, QStringLiteral("Utför"), QStringLiteral("frmWizard")),
                 QStringLiteral("Error no: 13 (Type mismatch) in procedure Utför in Form frmWizard"));
        MsgBoxRecorder recorder;
        const int result = Trap<int>(
            []() -> int { Raise(ErrCannotCreateObject); }, -1,
            [](const ErrObject& err) { return ErrText(QStringLiteral("Error "), err, QStringLiteral(") here")); });
        QCOMPARE(result, -1);
        ALMBRO_EXPECT_BOX(recorder, "Error 429 (ActiveX component can't create object) here", vbOKOnly, 0, "Almbro");
        const bool ok =
            TrapVoid([] { throw std::runtime_error("disk full"); },
                     [](const ErrObject& err) { return QString::number(err.Number()) + err.Description(); });
        QVERIFY(!ok);
        ALMBRO_EXPECT_BOX(recorder, "5disk full", vbOKOnly, 0, "Almbro");
    }

    void trapCleansUpFirstAndShowsWhereTold()
    {
        MsgBoxRecorder recorder;
        QStringList steps;
        const TrapWay toList([&] { steps << QStringLiteral("cleanup"); },
                             [&](const QString& text) { steps << QStringLiteral("shown: ") + text; });
        QVERIFY(
            !TrapVoid([] { Raise(ErrOverflow); }, FormMessage(QStringLiteral("frmX"), QStringLiteral("P")), toList));
        QCOMPARE(steps, (QStringList{"cleanup", "shown: Error no: 6 (Overflow) in procedure P in Form frmX"}));
        QCOMPARE(recorder.Boxes().size(), 0);
        // A cleanup alone: the message still goes to a box, after it.
        bool busy = true;
        QCOMPARE(Trap<int>([&]() -> int { Raise(ErrTypeMismatch); }, -1,
                           [&](const ErrObject& e) { return QStringLiteral("busy %1, ").arg(busy) + e.Description(); },
                           TrapWay([&] { busy = false; })),
                 -1);
        ALMBRO_EXPECT_BOX(recorder, "busy 0, Type mismatch", vbOKOnly, 0, "Almbro");
        // Nothing raised: no cleanup, no message.
        steps.clear();
        QCOMPARE(Trap<int>([] { return 7; }, -1, FormMessage(QStringLiteral("frmX"), QStringLiteral("P")), toList), 7);
        QVERIFY(steps.isEmpty());
    }

    void attemptGivesTheErrorAndShowsNothing()
    {
        MsgBoxRecorder recorder;
        const std::optional<ErrObject> e = Attempt([] { Raise(ErrKeyNotUnique, QStringLiteral("twice")); });
        QVERIFY(e);
        QCOMPARE(int(e->Number()), int(ErrKeyNotUnique));
        QCOMPARE(e->Description(), QStringLiteral("twice"));
        QVERIFY(!Attempt([] {}));
        QCOMPARE(recorder.Boxes().size(), 0);
    }

    void hostFlagIsStrippedAndNeverTakenForAuto_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("automation");
        QTest::newRow("plain") << QStringList{"/auto", "Kund1", "d5"} << "/auto Kund1 d5" << false;
        QTest::newRow("host flag first") << QStringList{"-Embedding"} << "" << true;
        QTest::newRow("host flag, slash, any case") << QStringList{"/embedding", "?"} << "?" << true;
        QTest::newRow("an argument that only contains it") << QStringList{"x-Embeddingx"} << "x-Embeddingx" << false;
    }
    void hostFlagIsStrippedAndNeverTakenForAuto()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, command);
        QFETCH(bool, automation);
        SetProcessArguments(args);
        QCOMPARE(Command(), command);
        QCOMPARE(GetStartMode() == StartMode::Automation, automation);
    }
};

ALMBRO_TEST_MAIN(TestMsgBox)
#include "test_msgbox.moc"
