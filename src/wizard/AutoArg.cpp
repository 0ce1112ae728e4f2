#include "wizard/AutoArg.h"

#include "platform/Locale.h"

AutoArg AutoArg::Parse(const QString& arg)
{
    AutoArg result;
    const qsizetype blank = arg.indexOf(QLatin1Char(' '));
    // Without a blank nothing can be cut: no profile of that name can be found.
    if (blank < 0)
        return result;
    result.profile = arg.left(blank).trimmed();
    const QString countPart = arg.mid(blank + 1);
    if (countPart.isEmpty())
        return result;
    result.letter = countPart.at(0).toLower();
    const QString rest = countPart.mid(1);
    result.count = vb::IsNumeric(rest) ? int(vb::Val(rest)) : 5;
    return result;
}
