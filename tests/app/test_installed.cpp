// Almbro as an installation puts it on a machine: installed into a temporary prefix, run by a
// new user whose home holds only Planum.ini and a database, and started by the session bus
// when a host calls it.
#include "support/AlmbroProcess.h"
#include "support/HostCalls.h"

#include <QDate>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

using namespace testenv;

namespace {
Run Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, QStringLiteral("did not end: ") + program};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}
} // namespace

class TestInstalled : public QObject {
    Q_OBJECT
    QString m_prefix;
    QString m_home;     // the new user's home
    QString m_calendar; // the new user's calendar

    // The environment of a program the new user starts: no display, nothing of ours in
    // XDG_DATA_DIRS, so that only the installation can tell where the language files are.
    QProcessEnvironment UserEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                 "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_DATA_DIRS"), Root() + QStringLiteral("/elsewhere"));
        env.insert(QStringLiteral("ALMBRO_CALENDAR"), m_calendar);
        return env;
    }
    QString Installed(const char* path) const { return m_prefix + QLatin1Char('/') + QLatin1String(path); }
    QString PlanumFolder() const { return m_home + QStringLiteral("/Documents/Planum"); }

private slots:
    void initTestCase()
    {
        m_prefix = Root() + QStringLiteral("/a prefix"); // with a blank, as some folders have
        m_home = Root() + QStringLiteral("/newuser");
        m_calendar = Root() + QStringLiteral("/newuser-calendar");
        QDir().mkpath(Root() + QStringLiteral("/elsewhere"));
        const Run install =
            Execute(QStringLiteral(CMAKE_COMMAND), {QStringLiteral("--install"), QStringLiteral(ALMBRO_BINARY_DIR),
                                                    QStringLiteral("--prefix"), m_prefix});
        QVERIFY2(install.status == 0, qPrintable(install.out + install.err));

        // The new user's database, made by the installed planumdb; bookings over the last week.
        QDir().mkpath(PlanumFolder());
        const QString database = PlanumFolder() + QStringLiteral("/Planum.db");
        Run made = Execute(Installed("bin/planumdb"), {QStringLiteral("init"), database});
        QVERIFY2(made.status == 0, qPrintable(made.err));
        const QString options = QStringLiteral("--resources 3 --bookings 30 --from %1 --days 5 --seed 4")
                                    .arg(QDate::currentDate().addDays(-5).toString(Qt::ISODate));
        made = Execute(Installed("bin/planumdb"), QStringList{QStringLiteral("seed"), database} + options.split(' '));
        QVERIFY2(made.status == 0, qPrintable(made.err));
        QFile ini(PlanumFolder() + QStringLiteral("/Planum.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[System]\nLang=SV\nDataBas1=" + database.toUtf8() +
                  "\n[Nightly]\nValues=optImport=False;optKalender=True;optNotering=False;optUppgifter=False;"
                  "cboResurser=-99;DataBas=" +
                  database.toUtf8() + ";chkPlanumBokningar=0;Koppling1=Kundnamn,Ämne\n"); // the Swedish field name
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        for (const char* path :
             {"bin/almbro", "bin/planumdb", "share/Planum/Lang.ini", "share/Planum/LangEN.ini",
              "share/Planum/LangSV.ini", "share/applications/org.almbro.Almbro.desktop",
              "share/icons/hicolor/scalable/apps/org.almbro.Almbro.svg",
              "share/dbus-1/services/org.almbro.Almbro.service", "share/man/man1/almbro.1", "share/almbro/almbro.reg"})
            QTest::newRow(path) << QString::fromLatin1(path);
    }
    void installedFiles()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(m_prefix + QLatin1Char('/') + path).isFile(), qPrintable(path));
    }

    void filesNameTheirInstallation()
    {
        QFile service(Installed("share/dbus-1/services/org.almbro.Almbro.service"));
        QVERIFY(service.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(service.readAll());
        QVERIFY2(text.contains(QStringLiteral("\nName=org.almbro.Almbro\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\nExec=\"") + m_prefix + QStringLiteral("/bin/almbro\" -Embedding\n")),
                 qPrintable(text));
        QFile reg(Installed("share/almbro/almbro.reg"));
        QVERIFY(reg.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(reg.readAll())
                    .contains(QStringLiteral("\"Common AppData\"=\"") + m_prefix + QStringLiteral("/share\"")));
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");
        const QString usage = QStringLiteral("Modulen kan köras automatiskt. Ange 'Almbro /auto <profilnamn> <dX|wX>'\n"
                                             "<profilnamn> = en befintlig sparad profil i Almbro.\n");
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << usage;
        QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << usage;
        QTest::newRow("--version") << QStringList{QStringLiteral("--version")}
                                   << QStringLiteral("almbro " ALMBRO_VERSION "\n");
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        const Run run = Execute(Installed("bin/almbro"), args, UserEnvironment());
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.startsWith(out), qPrintable(run.out));
        QCOMPARE(run.err, QString());
        if (args.first() != QLatin1String("--version"))
            QCOMPARE(run.out.count(QLatin1Char('\n')), 4);
    }

    void unattendedRunOfANewUser_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << true;
        QTest::newRow("build tree, which knows no installation") << false;
    }
    void unattendedRunOfANewUser()
    {
        QFETCH(bool, installed);
        const Run run =
            Execute(installed ? Installed("bin/almbro") : QStringLiteral(ALMBRO_EXE),
                    {QStringLiteral("/auto"), QStringLiteral("nightly"), QStringLiteral("d7")}, UserEnvironment());
        if (!installed) {
            QCOMPARE(run.status, 3);
            QVERIFY2(run.err.contains(QStringLiteral("Language file missing! Språkfil saknas!")), qPrintable(run.err));
            QVERIFY2(run.err.contains(PlanumFolder() + QStringLiteral("/Lang.ini")), qPrintable(run.err));
            return;
        }
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // The summary in Swedish: the installed LangSV.ini was read.
        static const QRegularExpression summary(QStringLiteral("^(\\d+) / \\1 (.*)$"));
        const QRegularExpressionMatch match = summary.match(run.out.trimmed());
        QVERIFY2(match.hasMatch(), qPrintable(run.out));
        QCOMPARE(match.captured(2), LangText(QStringLiteral("SV"), "R2146"));
        const int done = match.captured(1).toInt();
        QVERIFY(done > 0);
        QCOMPARE(int(QDir(m_calendar + QStringLiteral("/Calendar")).entryList({QStringLiteral("*.ics")}).size()), done);
        // Nothing was copied into the user's folder.
        QCOMPARE(QDir(PlanumFolder()).entryList({QStringLiteral("Lang*")}), QStringList());
    }

    void sessionBusStartsTheInstalledProgram()
    {
        QProcessEnvironment env = UserEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), m_prefix + QStringLiteral("/share"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ALMBRO_TEST_INTERFACE"), QStringLiteral("1"));
        QProcess daemon;
        const QString address = StartBusDaemon(daemon, env);
        QVERIFY(!address.isEmpty());
        const QString name = QStringLiteral("activation");
        {
            QDBusConnection bus = QDBusConnection::connectToBus(address, name);
            QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
            QVERIFY(!bus.interface()->isServiceRegistered(kService));

            // The first call starts it.
            QCOMPARE(Answer(CallAlmbro(bus, kApplication, QStringLiteral("Beskrivning"))).toString(),
                     QStringLiteral("&Outlook integration"));
            const uint pid = bus.interface()->servicePid(kService).value();
            QVERIFY(pid != 0);
            const QString exe = QStringLiteral("/proc/%1/exe").arg(pid);
            QCOMPARE(QFileInfo(exe).canonicalFilePath(), QFileInfo(Installed("bin/almbro")).canonicalFilePath());

            const QDBusMessage reply = CallAlmbro(bus, kApplication, QStringLiteral("Anrop"));
            QCOMPARE(Answer(reply, 0).toBool(), true);
            QCOMPARE(Answer(CallAlmbro(bus, kTest, QStringLiteral("TopLevelWindows"))).toStringList(),
                     QStringList{QStringLiteral("frmWizard")});
            QCOMPARE(CallAlmbro(bus, kTest, QStringLiteral("AnswerNextBox"), {6}).type(), QDBusMessage::ReplyMessage);
            QCOMPARE(
                Answer(CallAlmbro(bus, kTest, QStringLiteral("CloseWindow"), {QStringLiteral("frmWizard")})).toBool(),
                true);
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(exe), 30000);
            QVERIFY(!bus.interface()->isServiceRegistered(kService));
        }
        QDBusConnection::disconnectFromBus(name);
        daemon.terminate();
        QVERIFY(daemon.waitForFinished(30000));
    }

    void aRunWaitingForItsHostEndsWithTheBus()
    {
        QProcessEnvironment env = UserEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess daemon;
        const QString address = StartBusDaemon(daemon, env);
        QVERIFY(!address.isEmpty());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        QProcess almbro;
        almbro.setProcessEnvironment(env);
        almbro.start(Installed("bin/almbro"), {QStringLiteral("/Embedding")});
        QVERIFY(almbro.waitForStarted());
        QByteArray err;
        QTRY_VERIFY2_WITH_TIMEOUT((err += almbro.readAllStandardError()).contains("waits for its call"),
                                  err.constData(), 60000);
        daemon.kill();
        QVERIFY(daemon.waitForFinished(30000));
        QVERIFY(almbro.waitForFinished(30000));
        QCOMPARE(almbro.exitStatus(), QProcess::NormalExit);
        QCOMPARE(almbro.exitCode(), 0);
        err += almbro.readAllStandardError();
        QVERIFY2(err.contains("the session bus is gone"), err.constData());
    }
};

ALMBRO_TEST_MAIN(TestInstalled)
#include "test_installed.moc"
