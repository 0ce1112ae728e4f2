#include "platform/Program.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace vb {

namespace {
QStringList g_args;
StartMode g_mode = StartMode::StandAlone;
EndHandler g_endHandler;
bool g_ended = false;
int g_endStatus = 0;

bool IsHostFlag(const QString& arg)
{
    return arg.compare(QStringLiteral("-Embedding"), Qt::CaseInsensitive) == 0 ||
           arg.compare(QStringLiteral("/Embedding"), Qt::CaseInsensitive) == 0;
}
} // namespace

void SetProcessArguments(const QStringList& args)
{
    g_args.clear();
    g_mode = StartMode::StandAlone;
    for (const QString& arg : args) {
        if (IsHostFlag(arg))
            g_mode = StartMode::Automation;
        else
            g_args.append(arg);
    }
}

QString Command()
{
    return g_args.join(QLatin1Char(' '));
}

QStringList ProcessArguments()
{
    return g_args;
}

bool TakeArgument(const QStringList& names)
{
    const auto matches = [&names](const QString& arg) { return names.contains(arg, Qt::CaseInsensitive); };
    return g_args.removeIf(matches) > 0;
}

StartMode GetStartMode()
{
    return g_mode;
}

void SetEndHandler(EndHandler handler)
{
    g_endHandler = std::move(handler);
}

void EndProgram(int status)
{
    g_ended = true;
    g_endStatus = status;
    if (g_endHandler) {
        g_endHandler(status);
        return;
    }
    // Leaves the event loop if it runs; main() checks ProgramEnded() before entering it.
    if (QCoreApplication::instance())
        QCoreApplication::exit(status);
}

bool ProgramEnded()
{
    return g_ended;
}

int ProgramEndStatus()
{
    return g_endStatus;
}

void ResetProgramEnded()
{
    g_ended = false;
    g_endStatus = 0;
}

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace vb
