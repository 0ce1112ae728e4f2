#pragma once
// Runs the built planumdb with arguments and gives its exit status and both outputs.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testenv {

struct PlanumdbOutcome {
    int status = -1; // -1: it crashed or did not end within five minutes
    QString out;
    QString err;
};

inline PlanumdbOutcome RunPlanumdb(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(PLANUMDB_EXE), arguments);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// A command line written as one text: the words between blanks.
inline QStringList Words(const QString& line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace testenv
