// Application inside the program (its texts are asked over the bus by the host process test):
// one wizard however often Anrop is called,
// and what Anrop gives back when there is nothing to show.
#include "host/Application.h"
#include "platform/MsgBox.h"
#include "support/BoxAssert.h"
#include "support/ProgramFixture.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QPointer>

using namespace vb;

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        testenv::StartProgram();
        SetEndHandler([](int) {});
    }
    void cleanup()
    {
        QPointer<QWidget> wizard;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<frmWizard*>(widget))
                wizard = widget;
        delete wizard.data();
        ForgetWizard();
        SetEndHandler({});
    }

    void texts_data() // NOLINT(readability-convert-member-functions-to-static): QTest calls its slots on the object
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        QTest::newRow("English") << "EN" << "&Calendar integration" << "Run the Planum calendar wizard";
        QTest::newRow("Swedish") << "SV" << "&Outlook integration" << "Kör Planum Outlook Guide";
        QTest::newRow("before start-up") << "" << "&Outlook integration" << "Kör Planum Outlook Guide";
    }
    void texts()
    {
        QFETCH(QString, lang);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        if (lang.isEmpty())
            goTexter.reset();
        else
            testenv::StartProgram(lang);
        MsgBoxRecorder recorder;
        Application application;
        QCOMPARE(application.Beskrivning(), caption);
        QCOMPARE(application.ToolTip(), tip);
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void anrop_data()
    {
        QTest::addColumn<int>("calls");
        QTest::addColumn<qint32>("id");
        QTest::addColumn<bool>("withReturvarde");
        QTest::newRow("once, no arguments") << 1 << 0 << false;
        QTest::newRow("twice, an ID and a value") << 2 << 17 << true;
        QTest::newRow("three times, a negative ID") << 3 << -1 << true;
    }
    void anrop()
    {
        QFETCH(int, calls);
        QFETCH(qint32, id);
        QFETCH(bool, withReturvarde);
        MsgBoxRecorder recorder;
        Application application;
        QString returvarde = QStringLiteral("från värden");
        for (int i = 0; i < calls; ++i)
            QVERIFY(withReturvarde ? application.Anrop(id, &returvarde) : application.Anrop());
        QCOMPARE(returvarde, QStringLiteral("från värden")); // untouched on success
        QList<QWidget*> shown;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                shown.append(widget);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first(), static_cast<QWidget*>(TheWizard()));
        QVERIFY(!TheWizard()->isModal());
        QVERIFY(!ProgramEnded());
    }

    void anropBeforeStartUpGivesTheError()
    {
        goTexter.reset();
        MsgBoxRecorder recorder;
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Almbro"));
        Application application;
        QString returvarde = QStringLiteral("kvar");
        QVERIFY(!application.Anrop(5, &returvarde));
        QCOMPARE(returvarde, QStringLiteral("Fel från Almbro\r\nFelnr 91 (Object variable or With block variable not "
                                            "set) i procedur Anrop i Class Module Application"));
        QVERIFY(!application.Anrop()); // nowhere to write: only the result tells
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible());
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder); // Anrop shows no message
    }
};

ALMBRO_GUI_TEST_MAIN(TestApplication)
#include "test_application.moc"
