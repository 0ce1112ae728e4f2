#pragma once
// The argument of an unattended run, "<profile> <d|w><count>", already lower-cased.
#include <QString>
#include <QStringList>

struct AutoArg {
    QString profile; // the text before the first blank; empty when there is no blank
    QChar letter;    // "d" days, "w" weeks, or anything else (the interactive range)
    int count = 5;   // 5 when the count does not read as a number; at most a hundred years

    static constexpr int kMaxDays = 36525;
    static constexpr int kMaxWeeks = 5218;

    static AutoArg Parse(const QString& arg);
    // The shell hands over separate arguments: when the one after "/auto" holds a blank, the user
    // quoted a profile name with blanks, and the next argument is the range. Any other command
    // line is cut from autoArg as Parse cuts it.
    static AutoArg FromCommandLine(const QStringList& args, const QString& autoArg);
};
