#include "calendar/Compare.h"

#include "calendar/Ical.h"

#include <QList>
#include <algorithm>

namespace cal::detail {

namespace {
// A component as one text: its kind, its properties sorted, its subcomponents sorted. Order
// within a component carries no meaning in iCalendar.
QByteArray Canonical(icalcomponent* c)
{
    QList<QByteArray> props;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        if (kind == ICAL_DTSTAMP_PROPERTY || kind == ICAL_LASTMODIFIED_PROPERTY)
            continue;
        props << QByteArray(icalproperty_as_ical_string(p));
    }
    std::sort(props.begin(), props.end());
    QList<QByteArray> children;
    for (icalcomponent* child = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        children << Canonical(child);
    std::sort(children.begin(), children.end());
    QByteArray out = QByteArray(icalcomponent_kind_to_string(icalcomponent_isa(c))) + '\n';
    for (const QByteArray& p : props)
        out += p;
    for (const QByteArray& child : children)
        out += "{\n" + child + "}\n";
    return out;
}

QByteArray CanonicalText(const QByteArray& text)
{
    ComponentPtr vcal = ParseCalendar(text, QString());
    return Canonical(vcal.get());
}
} // namespace

bool SameItem(const QByteArray& a, const QByteArray& b)
{
    if (a == b)
        return true;
    try {
        return CanonicalText(a) == CanonicalText(b);
    } catch (...) {
        return false;
    }
}

} // namespace cal::detail
