#pragma once
// The built almbro run as a scheduler runs it: no display, the test's own home and calendar.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testenv {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs ALMBRO_EXE with args and the calendar at calendar; extra variables may be added.
inline Run Almbro(const QStringList& args, const QString& calendar,
                  const QProcessEnvironment& extra = QProcessEnvironment())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("ALMBRO_CALENDAR"), calendar);
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ALMBRO_EXE), args);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace testenv
