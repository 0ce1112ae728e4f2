#pragma once
// The restriction language of Items.Find:
//   [Prop] op value      op: = <> < > <= >=
//   a AND b, a OR b, NOT a, ( ... )       keywords in any case
// Values are quoted with " or ' (a doubled quote stands for itself) or bare (up to a blank or a
// parenthesis). Dates are read in the user's short date and time forms (or ISO 8601) as local
// time and compared to the minute; a date without a time is that day's midnight. Text compares
// without regard to letter case. Numbers and Booleans compare as such.
#include <QString>
#include <QStringList>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace cal {

enum class PropType { Text, Date, Number, Bool };

struct PropDef {
    const char* name;
    PropType type;
    int id;
};

// The properties a filter may name, for one kind of item.
class FilterSchema {
public:
    virtual ~FilterSchema() = default;
    // Matches the name without regard to case; nullptr when unknown.
    virtual const PropDef* Lookup(const QString& name) const = 0;
};

// One property's value of an item, as the filter compares it.
struct FilterValue {
    QString text;      // Text
    qint64 utc = 0;    // Date: UTC seconds
    double number = 0; // Number
    bool flag = false; // Bool
};

class FilterSource {
public:
    virtual ~FilterSource() = default;
    virtual FilterValue Value(const PropDef& property) const = 0;
};

class Filter {
public:
    // Raises ErrCalendar with a description that says what is wrong and where for a filter
    // that is malformed or names an unknown property, and 13 (type mismatch) for a value that
    // does not fit its property (a date that is not a date, a number that is not a number).
    static Filter Parse(const QString& text, const FilterSchema& schema);

    bool Matches(const FilterSource& item) const;

    // What a search can use to avoid looking at every item.
    // The range the start of every matching item lies in (UTC seconds, ends included, a minute
    // of slack); unbounded ends are the limits of qint64.
    struct Range {
        qint64 low = std::numeric_limits<qint64>::min();
        qint64 high = std::numeric_limits<qint64>::max();
    };
    Range StartRange(int startId, int endId) const;
    // When every matching item must have one of the given (property, text) pairs, with the
    // property among indexed: those pairs. Nothing when the filter does not narrow that way.
    std::optional<std::vector<std::pair<int, QString>>> IndexKeys(const std::vector<int>& indexed) const;

    const QString& Text() const { return m_text; }

    struct Node;

private:
    QString m_text;
    std::shared_ptr<const Node> m_root;
};

} // namespace cal
