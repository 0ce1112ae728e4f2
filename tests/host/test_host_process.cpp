// The built program started with -Embedding on a private session bus, called from this process
// as a Planum host calls it: the texts, Anrop with and without its arguments, one wizard, a
// second start, and the end of the program when the wizard closes.
#include "booking/DBFunk.h"
#include "support/AlmbroProcess.h"
#include "support/HostCalls.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

using namespace testenv;

namespace {
QDBusConnection Bus()
{
    return QDBusConnection::sessionBus();
}

QStringList Windows()
{
    return Answer(CallAlmbro(Bus(), kTest, QStringLiteral("TopLevelWindows"))).toStringList();
}
} // namespace

class TestHostProcess : public QObject {
    Q_OBJECT
    QProcess m_almbro;
    QProcessEnvironment m_env;

    void Start(QProcess& process)
    {
        process.setProcessEnvironment(m_env);
        process.start(QStringLiteral(ALMBRO_EXE), {QStringLiteral("-Embedding")});
        QVERIFY(process.waitForStarted());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(Bus().isConnected(), "run under dbus-run-session");
        QVERIFY2(!Bus().interface()->isServiceRegistered(kService), "the bus is not a private one");
        const QString planum = qEnvironmentVariable("HOME") + QStringLiteral("/Documents/Planum");
        const QString database = Root() + QStringLiteral("/planum.db");
        booking::DBFunk::SkapaDatabas(database);
        WritePlanumFolder(planum, database, SourceLangDir());

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("ALMBRO_TEST_INTERFACE"), QStringLiteral("1"));
        m_env.insert(QStringLiteral("ALMBRO_CALENDAR"), Root() + QStringLiteral("/calendar"));
        Start(m_almbro);
        QTRY_VERIFY_WITH_TIMEOUT(Bus().interface()->isServiceRegistered(kService), 60000);
        QCOMPARE(Bus().interface()->servicePid(kService).value(), uint(m_almbro.processId()));
    }

    void cleanupTestCase()
    {
        if (m_almbro.state() != QProcess::NotRunning) {
            m_almbro.kill();
            m_almbro.waitForFinished();
        }
    }

    void textsAndNoWindowYet()
    {
        QCOMPARE(Answer(CallAlmbro(Bus(), kApplication, QStringLiteral("Beskrivning"))).toString(),
                 EnglishText("R6335"));
        QCOMPARE(Answer(CallAlmbro(Bus(), kApplication, QStringLiteral("ToolTip"))).toString(), EnglishText("R6336"));
        QCOMPARE(Windows(), QStringList());
    }

    void introspection()
    {
        const QDBusMessage reply = Bus().call(QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
        const QString xml = Answer(reply).toString();
        for (const char* part : {"<interface name=\"org.almbro.Almbro.Application\">", "<method name=\"Beskrivning\">",
                                 "<arg name=\"ID\" type=\"i\" direction=\"in\"/>",
                                 "<arg name=\"Returvarde\" type=\"s\" direction=\"in\"/>",
                                 "<arg name=\"Anrop\" type=\"b\" direction=\"out\"/>",
                                 "<arg name=\"Returvarde\" type=\"s\" direction=\"out\"/>", "Returvarde is Returvärde"})
            QVERIFY2(xml.contains(QString::fromUtf8(part)), part);
        // The operations in their order.
        const qsizetype beskrivning = xml.indexOf(QStringLiteral("\"Beskrivning\""));
        const qsizetype toolTip = xml.indexOf(QStringLiteral("\"ToolTip\""));
        const qsizetype anrop = xml.indexOf(QStringLiteral("\"Anrop\""));
        QVERIFY(beskrivning < toolTip && toolTip < anrop);
        // Names on the bus are ASCII.
        static const QRegularExpression names(QStringLiteral("name=\"([^\"]*)\""));
        for (const QRegularExpressionMatch& match : names.globalMatch(xml))
            for (QChar c : match.captured(1))
                QVERIFY2(c.unicode() < 128, qPrintable(match.captured(1)));
    }

    void secondStartEndsAtOnce()
    {
        QProcess second;
        Start(second);
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(second.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("org.almbro.Almbro is already taken")), qPrintable(err));
        QCOMPARE(Bus().interface()->servicePid(kService).value(), uint(m_almbro.processId()));
    }

    void anrop_data()
    {
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("returvarde");
        QTest::newRow("ID and Returvarde")
            << QVariantList{7, QStringLiteral("från värden")} << QStringLiteral("från värden");
        QTest::newRow("no arguments") << QVariantList{} << QString();
        QTest::newRow("ID only") << QVariantList{-3} << QString();
    }
    void anrop()
    {
        QFETCH(QVariantList, args);
        QFETCH(QString, returvarde);
        const QDBusMessage reply = CallAlmbro(Bus(), kApplication, QStringLiteral("Anrop"), args);
        QCOMPARE(Answer(reply, 0).toBool(), true);
        QCOMPARE(Answer(reply, 1).toString(), returvarde);
        QCOMPARE(Windows(), QStringList{QStringLiteral("frmWizard")});
    }

    void wrongArgumentsAreRefused()
    {
        const QDBusMessage reply =
            CallAlmbro(Bus(), kApplication, QStringLiteral("Anrop"), {QStringLiteral("sju"), QStringLiteral("x")});
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(Windows(), QStringList{QStringLiteral("frmWizard")});
    }

    void closingTheWizardEndsTheProgram()
    {
        QCOMPARE(CallAlmbro(Bus(), kTest, QStringLiteral("AnswerNextBox"), {6}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(
            Answer(CallAlmbro(Bus(), kTest, QStringLiteral("CloseWindow"), {QStringLiteral("frmWizard")})).toBool(),
            true);
        QVERIFY(m_almbro.waitForFinished(60000));
        QCOMPARE(m_almbro.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_almbro.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(m_almbro.readAllStandardError());
        // The wizard asked, as it always does before closing, and was answered Yes.
        QVERIFY2(err.contains(EnglishText("R2167")), qPrintable(err));
        QTRY_VERIFY(!Bus().interface()->isServiceRegistered(kService));
    }
};

ALMBRO_TEST_MAIN(TestHostProcess)
#include "test_host_process.moc"
