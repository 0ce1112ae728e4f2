// libFuzzer target for the Find filter parser: any text must either parse or raise an error
// object, never crash, hang or read out of bounds. Evaluates what parses against one item.
#include "calendar/Filter.h"
#include "platform/ErrObject.h"

#include <QDateTime>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {
const cal::PropDef kDefs[] = {
    {"Subject", cal::PropType::Text, 0},  {"Start", cal::PropType::Date, 1},       {"End", cal::PropType::Date, 2},
    {"Duration", cal::PropType::Number, 3}, {"BillingInformation", cal::PropType::Text, 4},
    {"ReminderSet", cal::PropType::Bool, 5},
};

class Schema : public cal::FilterSchema {
public:
    const cal::PropDef* Lookup(const QString& name) const override
    {
        for (const cal::PropDef& d : kDefs)
            if (name.compare(QLatin1String(d.name), Qt::CaseInsensitive) == 0)
                return &d;
        return nullptr;
    }
};

class One : public cal::FilterSource {
public:
    cal::FilterValue Value(const cal::PropDef& p) const override
    {
        cal::FilterValue v;
        v.text = QStringLiteral("Möte 12");
        v.utc = 1796374800;
        v.number = 90;
        v.flag = p.id == 5;
        return v;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const cal::Filter filter = cal::Filter::Parse(text, Schema());
        filter.Matches(One());
        filter.StartRange(1, 2);
        filter.IndexKeys({4});
    } catch (const vb::ErrObject&) {
    }
    return 0;
}
