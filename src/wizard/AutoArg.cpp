#include "wizard/AutoArg.h"

#include "platform/Locale.h"

#include <algorithm>

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
    // A hundred years back is as far as a range can sensibly reach; a larger count (or a
    // negative one) would overflow the dates.
    const double limit = result.letter == u'w' ? kMaxWeeks : kMaxDays;
    result.count = vb::IsNumeric(rest) ? int(std::clamp(vb::Val(rest), 0.0, limit)) : 5;
    return result;
}

AutoArg AutoArg::FromCommandLine(const QStringList& args, const QString& autoArg)
{
    for (qsizetype i = 0; i + 1 < args.size(); ++i) {
        if (args[i].compare(QLatin1String("/auto"), Qt::CaseInsensitive) != 0)
            continue;
        const QString profile = args[i + 1].trimmed().toLower();
        if (!profile.contains(QLatin1Char(' ')))
            break;
        AutoArg result = Parse(QStringLiteral("x ") + args.value(i + 2).trimmed().toLower());
        result.profile = profile;
        return result;
    }
    return Parse(autoArg);
}
