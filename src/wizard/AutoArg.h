#pragma once
// The argument of an unattended run, "<profile> <d|w><count>", already lower-cased.
#include <QString>

struct AutoArg {
    QString profile; // the text before the first blank; empty when there is no blank
    QChar letter;    // "d" days, "w" weeks, or anything else (the interactive range)
    int count = 5;   // 5 when the count does not read as a number; at most a hundred years

    static constexpr int kMaxDays = 36525;
    static constexpr int kMaxWeeks = 5218;

    static AutoArg Parse(const QString& arg);
};
