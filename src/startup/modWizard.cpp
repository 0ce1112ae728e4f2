#include "startup/modWizard.h"

#include "calendar/Words.h"
#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "platform/SpecialFolders.h"
#include "settings/CRegistry.h"
#include "settings/CTexter.h"
#include "settings/ExitStatus.h"
#include "settings/ProgramState.h"
#include "settings/cBrowseForFolder.h"
#include "startup/FirstForm.h"

#include <utility>

using namespace vb;

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// The captions of the message boxes' buttons in the language in use; the toolkit's words for the
// others and where the language file has none.
QString KnappOrd(int answer)
{
    static constexpr std::pair<int, const char*> kKnappar[] = {
        {vbOK, "R0898"}, {vbCancel, "R1048"}, {vbYes, "R6337"}, {vbNo, "R6338"}};
    for (const auto& [knapp, id] : kKnappar)
        if (knapp == answer)
            return SpråkText(id);
    return QString();
}

// How the log says what answered a box, in the language in use.
QString SvarsOrd(AnswerWay way)
{
    const char* id = way == AnswerWay::Default ? "R6339" : way == AnswerWay::Given ? "R6340" : "R6341";
    return SpråkText(id);
}
} // namespace

QString UsageText()
{
    // The built-in Swedish, line by line, where the language file in use lacks a line.
    static const char* const keys[] = {"R6322", "R6323", "R6324", "R6325"};
    static const char* const builtIn[] = {
        "Modulen kan köras automatiskt. Ange 'Almbro /auto <profilnamn> <dX|wX>'",
        "<profilnamn> = en befintlig sparad profil i Almbro.",
        "X ersätts med antal dagar(d) ELLER antal veckor (w) bakåt i tden från dagens datum.",
        "Exempel: Almbro /auto MinProfil d5. Kör profilen MinProfil och tar med allt 5 dagar tillbaka."};
    QStringList lines;
    for (int i = 0; i < 4; ++i)
        lines << SpråkText(keys[i], builtIn[i]);
    return lines.join(kCrLf);
}

bool ÄrTerminalServer()
{
    CRegistry registry;
    const bool open = registry.OpenKey(
        HKEY_CURRENT_USER, QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server"));
    registry.CloseKey();
    return open;
}

QString SpecialMapp(qint32 csidl)
{
    return cBrowseForFolder::GetFolderPath(csidl);
}

void Main()
{
    try {
        glStatus = -1;
        glLstResurser = -1;

        // "/plan" or "--plan" beside "/auto": the run says what it would do and writes nothing.
        // It is no part of the profile's argument, wherever it stands.
        if (Command().toUpper().contains(QLatin1String("/AUTO")))
            gbPlan = TakeArgument({QStringLiteral("/plan"), QStringLiteral("--plan")});
        const QString command = Command();
        const qsizetype autoAt = command.toUpper().indexOf(QLatin1String("/AUTO"));
        if (autoAt >= 0) {
            gbAuto = true;
            // The token's five characters and the one after it are skipped.
            gsAutoArg = command.mid(autoAt + 6).toLower().trimmed();
        } else {
            gbAuto = false;
            if (command.contains(QLatin1Char('?'))) {
                // In the language of Planum.ini when the language files are there.
                const QString folder = SpecialMapp(ÄrTerminalServer() ? CSIDL_COMMON_APPDATA : CSIDL_PERSONAL) +
                                       QStringLiteral("/Planum/");
                const QString code = GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("Lang"), QString(),
                                                             255, SpecialMapp(CSIDL_PERSONAL) +
                                                                      QStringLiteral("/Planum/Planum.ini"))
                                         .trimmed();
                if (!goTexter && FileExists(folder + QStringLiteral("Lang.ini"))) {
                    goTexter = std::make_unique<CTexter>();
                    goTexter->SetSpråkfil(folder + QStringLiteral("Lang") + (code.isEmpty() ? QStringLiteral("EN") : code) +
                                         QStringLiteral(".ini"));
                }
                MsgBox(UsageText(), vbInformation, QStringLiteral("Almbro"));
                goTexter.reset(); // nothing else runs: the program starts no further
                EndProgram(ExitOk);
                return;
            }
        }

        const QString languageFolder =
            SpecialMapp(ÄrTerminalServer() ? CSIDL_COMMON_APPDATA : CSIDL_PERSONAL) + QStringLiteral("/Planum/");
        gsIniFil = SpecialMapp(CSIDL_PERSONAL) + QStringLiteral("/Planum/Planum.ini");

        if (!FileExists(languageFolder + QStringLiteral("Lang.ini"))) {
            Beep();
            MsgBox(QStringLiteral("Language file missing! Språkfil saknas!") + kCrLf + QStringLiteral("Folder: ") +
                       languageFolder + QStringLiteral("Lang.ini"),
                   vbCritical, QStringLiteral("Planum"));
            EndProgram(ExitNoLanguageFile);
            return;
        }

        QString code =
            GetPrivateProfileString(QStringLiteral("System"), QStringLiteral("Lang"), QString(), 255, gsIniFil);
        if (code.trimmed().isEmpty())
            code = QStringLiteral("EN");
        gsSpråkfil = languageFolder + QStringLiteral("Lang") + code + QStringLiteral(".ini");

        goTexter = std::make_unique<CTexter>();
        goTexter->SetSpråkfil(gsSpråkfil);
        SetButtonWords(KnappOrd);
        SetAnswerWords(SvarsOrd);
        // The toolkit speaks the language of the file in use, if there is one. Without Qt's
        // translations installed its file dialog stays English; nothing else is lost.
        UseToolkitLanguage(FileExists(gsSpråkfil) ? code : QString());
        cal::TakeWords([](const QString& key) { return goTexter->TextTillAndra(key); });

        if (GetStartMode() == StartMode::Automation)
            return; // the host's call shows the wizard
        ShowFirstForm();
    } catch (...) {
        ShowErr(ErrText(QStringLiteral("Error "), CurrentError(),
                        QStringLiteral(") in procedure Main in Module modWizard")));
        EndProgram(ExitError);
    }
}
