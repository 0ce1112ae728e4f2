// Start-up: the command line, the folders, the language marker and code, the first form.
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "platform/QtMsgBoxSink.h"
#include "platform/Registry.h"
#include "settings/CTexter.h"
#include "settings/ExitStatus.h"
#include "settings/ProgramState.h"
#include "startup/FirstForm.h"
#include "startup/modWizard.h"
#include "support/BoxAssert.h"
#include "support/TestEnv.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>

using namespace vb;

namespace {
QString Documents()
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/Documents");
}

void InstallLanguageFiles(const QString& folder)
{
    QDir().mkpath(folder);
    for (const char* name : {"Lang.ini", "LangEN.ini", "LangSV.ini"}) {
        QFile::remove(folder + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(QFile::copy(testenv::SourceLangDir() + QLatin1Char('/') + QLatin1String(name),
                            folder + QLatin1Char('/') + QLatin1String(name)));
    }
}

void WriteLang(const QByteArray& value)
{
    QDir().mkpath(Documents() + QStringLiteral("/Planum"));
    QFile f(Documents() + QStringLiteral("/Planum/Planum.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[System]\nLang=" + value + "\n");
}
} // namespace

class TestMain : public QObject {
    Q_OBJECT

    int m_endStatus = -1;

private slots:
    void init()
    {
        ResetProgramState();
        ResetProgramEnded();
        RegResetForTest();
        m_endStatus = -1;
        SetEndHandler([this](int status) { m_endStatus = status; });
        QDir(qEnvironmentVariable("HOME")).removeRecursively();
        QDir().mkpath(qEnvironmentVariable("HOME"));
    }
    void cleanup()
    {
        delete FirstForm();
        SetEndHandler({});
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<QString>("autoArg");
        QTest::newRow("auto") << QStringList{"/auto", "Kund1", "w2"} << true << "kund1 w2";
        QTest::newRow("auto after another word") << QStringList{"X", "/AUTO", "Kund1", "d3"} << true << "kund1 d3";
        QTest::newRow("mixed case token") << QStringList{"/Auto", "MinProfil", "d5"} << true << "minprofil d5";
        QTest::newRow("text glued to the token loses a character") << QStringList{"/AUTOx", "d1"} << true << "d1";
        QTest::newRow("auto and question mark: no usage") << QStringList{"/auto", "p?", "d1"} << true << "p? d1";
        QTest::newRow("nothing") << QStringList{} << false << "";
        QTest::newRow("host flag is not an argument")
            << QStringList{"-Embedding", "/auto", "K", "w1"} << true << "k w1";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, automatic);
        QFETCH(QString, autoArg);
        // Without language files Main stops right after reading the command line.
        MsgBoxRecorder recorder;
        SetProcessArguments(args);
        Main();
        QCOMPARE(gbAuto, automatic);
        QCOMPARE(gsAutoArg, autoArg);
        QCOMPARE(glStatus, -1);
        QCOMPARE(glLstResurser, -1);
        QCOMPARE(m_endStatus, int(ExitNoLanguageFile));
        QCOMPARE(recorder.TakeBoxes().size(), 1);
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void missingMarkerFileStops()
    {
        MsgBoxRecorder recorder;
        SetProcessArguments({});
        Main();
        QCOMPARE(recorder.Beeps(), 1);
        QCOMPARE(recorder.Boxes().first().beepsBefore, 1);
        ALMBRO_EXPECT_BOX(recorder,
                          "Language file missing! Språkfil saknas!\r\nFolder: " + Documents() + "/Planum/Lang.ini",
                          vbOKOnly, vbCritical, "Planum");
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
        QCOMPARE(m_endStatus, int(ExitNoLanguageFile));
        QVERIFY(!FirstForm());
        // The documents folder was made on the way.
        QVERIFY(QFileInfo(Documents()).isDir());
    }

    void languageCode_data()
    {
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("buttons"); // of a question on screen
        const auto row = [](const char* name, const QByteArray& lang, const char* file, const char* cancel,
                            const char* title, const QStringList& buttons) {
            QTest::newRow(name) << lang << QString::fromUtf8(file) << QString::fromUtf8(cancel)
                                << QString::fromUtf8(title) << buttons;
        };
        row("missing value", QByteArray(), "LangEN.ini", "Cancel", "Almbro", {"&Yes", "&No", "Cancel"});
        row("blanks", "   ", "LangEN.ini", "Cancel", "Almbro", {"&Yes", "&No", "Cancel"});
        row("Swedish", "SV", "LangSV.ini", "Avbryt", "Almbro", {"&Ja", "&Nej", "Avbryt"});
        // A code without a file: every text is empty and the design captions stay; the buttons
        // keep the toolkit's words.
        row("unknown code", "FI", "LangFI.ini", "Avbryt", "", {"&Yes", "&No", "Cancel"});
    }
    void languageCode()
    {
        QFETCH(QByteArray, lang);
        QFETCH(QString, file);
        QFETCH(QString, cancel);
        QFETCH(QString, title);
        QFETCH(QStringList, buttons);
        InstallLanguageFiles(Documents() + QStringLiteral("/Planum"));
        if (!lang.isNull())
            WriteLang(lang);
        MsgBoxRecorder recorder;
        SetProcessArguments({});
        Main();
        QCOMPARE(gsIniFil, Documents() + QStringLiteral("/Planum/Planum.ini"));
        QCOMPARE(gsSpråkfil, Documents() + QStringLiteral("/Planum/") + file);
        QVERIFY(goTexter);
        QCOMPARE(goTexter->Språkfil(), gsSpråkfil);
        auto* form = qobject_cast<frmWizard*>(FirstForm());
        QVERIFY(form);
        QVERIFY(form->isVisible());
        auto* cmdCancel = form->findChild<QPushButton*>(QStringLiteral("cmdNav_1"));
        QVERIFY(cmdCancel);
        QCOMPARE(cmdCancel->text(), cancel);
        QCOMPARE(form->windowTitle(), title);
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
        QStringList shown;
        QTimer::singleShot(0, [&shown] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    for (const QMessageBox::StandardButton b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
                        shown << box->button(b)->text();
                    box->button(QMessageBox::Cancel)->click();
                }
        });
        QCOMPARE(QtMsgBoxSink().Show({QStringLiteral("?"), vbYesNoCancel, QStringLiteral("Almbro")}), int(vbCancel));
        QCOMPARE(shown, buttons);
        // Closing the wizard (after its question) ends the program.
        const QString question = goTexter->TextTillAndra("R2167") + " " + title + "?";
        recorder.Answer(vbYes);
        cmdCancel->click();
        ALMBRO_EXPECT_BOX(recorder, question, vbYesNo, vbQuestion, title.isEmpty() ? "Almbro" : title);
        QCOMPARE(m_endStatus, int(ExitOk));
    }

    void terminalServerTakesSharedLanguageFolder()
    {
        RegCreateKeyForTest(HKEY_CURRENT_USER,
                            QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server"));
        QVERIFY(ÄrTerminalServer());
        const QString shared = testenv::Root() + QStringLiteral("/share");
        InstallLanguageFiles(shared + QStringLiteral("/Planum"));
        MsgBoxRecorder recorder;
        SetProcessArguments({});
        Main();
        QCOMPARE(gsSpråkfil, shared + QStringLiteral("/Planum/LangEN.ini"));
        QCOMPARE(gsIniFil, Documents() + QStringLiteral("/Planum/Planum.ini"));
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void hostStartShowsNothing()
    {
        InstallLanguageFiles(Documents() + QStringLiteral("/Planum"));
        MsgBoxRecorder recorder;
        SetProcessArguments({QStringLiteral("-Embedding")});
        Main();
        QVERIFY(goTexter);
        QVERIFY(!FirstForm());
        QVERIFY(!ProgramEnded());
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }
};

ALMBRO_GUI_TEST_MAIN(TestMain)
#include "test_main.moc"
