// An unattended run started where a display exists (a timer in a desktop session, xvfb-run):
// its message boxes are shown, but each answers itself when its countdown ends, and each is
// also on stderr and in the run log. Run under xvfb-run; without a display it skips.
#include "support/AlmbroProcess.h"

#include <QDir>
#include <QElapsedTimer>

using namespace testenv;

namespace {
constexpr int kCountdown = 2;
} // namespace

class TestAlmbroDisplay : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs a display: run under xvfb-run -a");
        QVERIFY(WriteIni("[System]\nLang=EN\nMeddelandeSekunder=" + QByteArray::number(kCountdown) + "\n" +
                             ExportProfile("Gone", QStringLiteral("/no/such.db"), {}),
                         false));
    }

    void boxesAnswerThemselves_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("profile not found") << QStringList{"/auto", "nosuch", "d1"} << 4 << "nosuch d1";
        QTest::newRow("database cannot be opened") << QStringList{"/auto", "gone", "w1"} << 5 << EnglishText("R0722");
    }
    void boxesAnswerThemselves()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFile::remove(PlanumDocuments() + QStringLiteral("/Almbro.log"));

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real display, not offscreen
        env.insert(QStringLiteral("ALMBRO_CALENDAR"), CalendarLocation());
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral(ALMBRO_EXE), args);
        // Far less than the 60 s a box waits by default, far more than a loaded machine needs.
        const bool ended = process.waitForFinished(30000);
        const qint64 ms = clock.elapsed();
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        QVERIFY2(ended, "the run waited for a person");
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitCode(), status);
        // The box was on the screen and waited for its countdown before it answered itself.
        QVERIFY2(ms >= kCountdown * 1000 - 200, qPrintable(QString::number(ms)));
        QVERIFY2(err.contains(QStringLiteral("Almbro: ")) && err.contains(text), qPrintable(err));
        const QString log = RunLog();
        QVERIFY2(log.contains(QStringLiteral("\tmessage\tAlmbro: ")) && log.contains(text), qPrintable(log));
    }
};

ALMBRO_TEST_MAIN(TestAlmbroDisplay)
#include "test_almbro_display.moc"
