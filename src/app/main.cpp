// almbro: moves bookings between a Planum booking database and the user's calendar.
#include "platform/Locale.h"
#include "platform/MsgBox.h"
#include "platform/Program.h"
#include "platform/QtMsgBoxSink.h"
#include "platform/Registry.h"
#include "settings/ExitStatus.h"
#include "settings/ProgramState.h"
#include "startup/HostEntry.h"
#include "settings/SystemSettings.h"
#include "startup/modWizard.h"

#include <QApplication>
#include <cstdio>
#include <span>

namespace {
QtMessageHandler g_defaultHandler = nullptr;

// Without a display Qt says two harmless things on every start; a scheduler's log is better
// without them.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    g_defaultHandler(type, context, message);
}

// Whether this start opens a window: an unattended run and the usage text do not.
bool NeedsWindow(const QString& command)
{
    return !command.toUpper().contains(QLatin1String("/AUTO")) && !command.contains(QLatin1Char('?'));
}

// The options every Linux program answers. Like "?", they are not looked for in an unattended
// command line, whose profile name may be anything.
bool Answered(const QStringList& args)
{
    if (vb::Command().toUpper().contains(QLatin1String("/AUTO")))
        return false;
    if (args.contains(QLatin1String("--version"))) {
        std::printf("almbro %s\n", ALMBRO_VERSION);
        return true;
    }
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::printf("%s\n", qPrintable(UsageText().replace(QLatin1String("\r\n"), QLatin1String("\n"))));
        return true;
    }
    return false;
}

// An installation describes the machine to the registry stand-in in a file beside the program's
// other data: for instance that the language files are shared by every user of the machine.
void ImportInstalledRegistry()
{
    const QString file =
        QCoreApplication::applicationDirPath() + QStringLiteral("/" ALMBRO_DATA_FROM_BIN "/almbro/almbro.reg");
    int line = 0;
    if (vb::RegImportFile(file, &line) == vb::ERROR_INVALID_PARAMETER)
        std::fprintf(stderr, "almbro: %s: line %d is not understood; the file is left out.\n", qPrintable(file), line);
}
} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    const std::span<char*> arguments(argv, std::size_t(argc));
    for (std::size_t i = 1; i < arguments.size(); ++i)
        args.append(QString::fromLocal8Bit(arguments[i]));
    vb::SetProcessArguments(args);
    if (Answered(args))
        return ExitOk;
    vb::HoldLocalZone();

    if (!vb::HaveDisplay()) {
        if (NeedsWindow(vb::Command())) {
            std::fprintf(stderr, "almbro: no display: DISPLAY is not set. Run it in a desktop session, or "
                                 "under a virtual one: xvfb-run -a almbro\n");
            return ExitNoDisplay;
        }
        // Unattended runs and the usage text work without a display: no window is shown and
        // every message goes to stderr.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        g_defaultHandler = qInstallMessageHandler(QuietHandler);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("almbro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Almbro"));
    QApplication::setQuitOnLastWindowClosed(false); // the program ends through EndProgram

    // A box on the offscreen platform could never be answered: those go to the console. An
    // unattended run never waits for a person, display or not.
    vb::QtMsgBoxSink qtBoxes;
    const QString platform = QGuiApplication::platformName();
    const bool onScreen = platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    vb::UnattendedMsgBoxSink unattendedBoxes({onScreen,
                                              [] {
                                                  return settings::SystemTal(settings::kMeddelandeSekunder,
                                                                             settings::kStandardMeddelandeSekunder, 1);
                                              },
                                              [] { return gbPlan ? QString() : RunLogFile(); }});
    if (!NeedsWindow(vb::Command()) && vb::Command().toUpper().contains(QLatin1String("/AUTO")))
        vb::SetMsgBoxSink(&unattendedBoxes);
    else if (onScreen)
        vb::SetMsgBoxSink(&qtBoxes);

    ImportInstalledRegistry();
    Main();
    if (!vb::ProgramEnded() && vb::GetStartMode() == vb::StartMode::Automation)
        StartHostEntry();
    if (vb::ProgramEnded())
        return vb::ProgramEndStatus();
    const int status = QApplication::exec();
    // A scheduler reads what an unattended run did from standard output.
    if (gbAuto && !gsBekräftelse.isEmpty())
        std::printf("%s\n", gsBekräftelse.toLocal8Bit().constData());
    return status;
}
