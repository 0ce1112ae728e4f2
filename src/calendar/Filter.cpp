#include "calendar/Filter.h"

#include "calendar/Store.h"
#include "platform/ErrObject.h"
#include "platform/Locale.h"

#include <algorithm>

namespace cal {

namespace {
enum class Op { Eq, Ne, Lt, Gt, Le, Ge };
enum class Kind { And, Or, Not, Compare };

// Deeper nesting than any hand-written filter; stops a hostile one from exhausting the stack.
constexpr int kMaxDepth = 100;

qint64 FloorMinute(qint64 utc)
{
    return utc >= 0 ? utc / 60 : -((-utc + 59) / 60);
}

const char* OpText(Op op)
{
    switch (op) {
    case Op::Eq: return "=";
    case Op::Ne: return "<>";
    case Op::Lt: return "<";
    case Op::Gt: return ">";
    case Op::Le: return "<=";
    case Op::Ge: return ">=";
    }
    return "?";
}
} // namespace

struct Filter::Node {
    Kind kind = Kind::Compare;
    std::shared_ptr<const Node> left, right;
    const PropDef* property = nullptr;
    Op op = Op::Eq;
    FilterValue value;
};

namespace {
using NodePtr = std::shared_ptr<const Filter::Node>;

enum class Tok { End, Prop, LParen, RParen, Op, And, Or, Not, Value };

struct Token {
    Tok type = Tok::End;
    QString text;
    Op op = Op::Eq;
    int pos = 0;
};

class Parser {
public:
    Parser(const QString& text, const FilterSchema& schema)
        : m_text(text)
        , m_schema(schema)
    {
        Advance();
    }

    NodePtr ParseAll()
    {
        NodePtr node = ParseOr(0);
        if (m_tok.type != Tok::End)
            Fail(QStringLiteral("unexpected \"%1\"").arg(m_tok.text));
        return node;
    }

private:
    [[noreturn]] void Fail(const QString& what) const
    {
        vb::Raise(ErrCalendar, QStringLiteral("Cannot parse the condition: %1 at position %2 in \"%3\"")
                                   .arg(what)
                                   .arg(m_tok.pos + 1)
                                   .arg(m_text));
    }

    void Advance()
    {
        const int n = int(m_text.size());
        while (m_pos < n && m_text.at(m_pos).isSpace())
            ++m_pos;
        m_tok = Token();
        m_tok.pos = m_pos;
        if (m_pos >= n)
            return;
        const QChar c = m_text.at(m_pos);
        if (c == u'[') {
            const int close = int(m_text.indexOf(u']', m_pos + 1));
            if (close < 0)
                Fail(QStringLiteral("a property name without its closing \"]\""));
            m_tok.type = Tok::Prop;
            m_tok.text = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
            m_pos = close + 1;
            return;
        }
        if (c == u'(' || c == u')') {
            m_tok.type = c == u'(' ? Tok::LParen : Tok::RParen;
            m_tok.text = c;
            ++m_pos;
            return;
        }
        if (c == u'<' || c == u'>' || c == u'=') {
            const QChar next = m_pos + 1 < n ? m_text.at(m_pos + 1) : QChar();
            m_tok.type = Tok::Op;
            if (c == u'<' && next == u'>')
                m_tok.op = Op::Ne, m_pos += 2;
            else if (c == u'<' && next == u'=')
                m_tok.op = Op::Le, m_pos += 2;
            else if (c == u'>' && next == u'=')
                m_tok.op = Op::Ge, m_pos += 2;
            else
                m_tok.op = c == u'<' ? Op::Lt : c == u'>' ? Op::Gt : Op::Eq, m_pos += 1;
            m_tok.text = QString::fromLatin1(OpText(m_tok.op));
            return;
        }
        if (c == u'"' || c == u'\'') {
            QString value;
            int i = m_pos + 1;
            for (;;) {
                if (i >= n)
                    Fail(QStringLiteral("a value without its closing %1").arg(c));
                if (m_text.at(i) == c) {
                    if (i + 1 < n && m_text.at(i + 1) == c) {
                        value += c;
                        i += 2;
                        continue;
                    }
                    break;
                }
                value += m_text.at(i++);
            }
            m_tok.type = Tok::Value;
            m_tok.text = value;
            m_pos = i + 1;
            return;
        }
        if (c == u']')
            Fail(QStringLiteral("a \"]\" without its \"[\""));
        int i = m_pos;
        while (i < n) {
            const QChar d = m_text.at(i);
            if (d.isSpace() || d == u'(' || d == u')' || d == u'[' || d == u']' || d == u'<' || d == u'>' ||
                d == u'=' || d == u'"' || d == u'\'')
                break;
            ++i;
        }
        m_tok.text = m_text.mid(m_pos, i - m_pos);
        m_pos = i;
        if (m_tok.text.compare(QLatin1String("AND"), Qt::CaseInsensitive) == 0)
            m_tok.type = Tok::And;
        else if (m_tok.text.compare(QLatin1String("OR"), Qt::CaseInsensitive) == 0)
            m_tok.type = Tok::Or;
        else if (m_tok.text.compare(QLatin1String("NOT"), Qt::CaseInsensitive) == 0)
            m_tok.type = Tok::Not;
        else
            m_tok.type = Tok::Value;
    }

    static NodePtr Combine(Kind kind, NodePtr left, NodePtr right)
    {
        auto node = std::make_shared<Filter::Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }

    NodePtr ParseOr(int depth)
    {
        NodePtr node = ParseAnd(depth);
        while (m_tok.type == Tok::Or) {
            Advance();
            node = Combine(Kind::Or, node, ParseAnd(depth));
        }
        return node;
    }

    NodePtr ParseAnd(int depth)
    {
        NodePtr node = ParseUnary(depth);
        while (m_tok.type == Tok::And) {
            Advance();
            node = Combine(Kind::And, node, ParseUnary(depth));
        }
        return node;
    }

    NodePtr ParseUnary(int depth)
    {
        if (depth > kMaxDepth)
            Fail(QStringLiteral("the condition is nested too deeply"));
        if (m_tok.type == Tok::Not) {
            Advance();
            return Combine(Kind::Not, ParseUnary(depth + 1), nullptr);
        }
        if (m_tok.type == Tok::LParen) {
            Advance();
            NodePtr inner = ParseOr(depth + 1);
            if (m_tok.type != Tok::RParen)
                Fail(m_tok.type == Tok::End ? QStringLiteral("a \"(\" without its \")\"")
                                            : QStringLiteral("\")\" expected instead of \"%1\"").arg(m_tok.text));
            Advance();
            return inner;
        }
        if (m_tok.type == Tok::Prop)
            return ParseComparison();
        if (m_tok.type == Tok::End)
            Fail(QStringLiteral("a condition was expected but the text ends"));
        Fail(QStringLiteral("a property in brackets, such as [Start], was expected instead of \"%1\"").arg(m_tok.text));
    }

    NodePtr ParseComparison()
    {
        const QString name = m_tok.text;
        const PropDef* property = m_schema.Lookup(name);
        if (!property)
            vb::Raise(ErrCalendar, QStringLiteral("The property \"%1\" in the condition is not valid").arg(name));
        Advance();
        if (m_tok.type != Tok::Op)
            Fail(m_tok.type == Tok::End
                     ? QStringLiteral("an operator (= <> < > <= >=) was expected after [%1] but the text ends").arg(name)
                     : QStringLiteral("an operator (= <> < > <= >=) was expected after [%1] instead of \"%2\"")
                           .arg(name, m_tok.text));
        const Op op = m_tok.op;
        Advance();
        if (m_tok.type != Tok::Value)
            Fail(m_tok.type == Tok::End
                     ? QStringLiteral("a value was expected after [%1] %2 but the text ends").arg(name, OpText(op))
                     : QStringLiteral("a value was expected after [%1] %2 instead of \"%3\"")
                           .arg(name, QString::fromLatin1(OpText(op)), m_tok.text));
        auto node = std::make_shared<Filter::Node>();
        node->kind = Kind::Compare;
        node->property = property;
        node->op = op;
        node->value = Convert(*property, m_tok.text);
        Advance();
        return node;
    }

    static FilterValue Convert(const PropDef& property, const QString& text)
    {
        FilterValue value;
        const QString name = QString::fromLatin1(property.name);
        switch (property.type) {
        case PropType::Text:
            value.text = text;
            break;
        case PropType::Date: {
            const auto when = vb::ParseDateTime(text);
            if (!when)
                vb::Raise(vb::ErrTypeMismatch,
                          QStringLiteral("Type mismatch: \"%1\" is not a date, in the condition on [%2]").arg(text, name));
            value.utc = when->toSecsSinceEpoch();
            break;
        }
        case PropType::Number: {
            bool ok = false;
            value.number = text.trimmed().toDouble(&ok);
            if (!ok)
                value.number = vb::CurrentLocale().toDouble(text.trimmed(), &ok);
            if (!ok)
                vb::Raise(vb::ErrTypeMismatch,
                          QStringLiteral("Type mismatch: \"%1\" is not a number, in the condition on [%2]").arg(text, name));
            break;
        }
        case PropType::Bool: {
            const QString t = text.trimmed();
            if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1") ||
                t == QLatin1String("-1") || t.compare(QLatin1String("Yes"), Qt::CaseInsensitive) == 0)
                value.flag = true;
            else if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0 || t == QLatin1String("0") ||
                     t.compare(QLatin1String("No"), Qt::CaseInsensitive) == 0)
                value.flag = false;
            else
                vb::Raise(vb::ErrTypeMismatch,
                          QStringLiteral("Type mismatch: \"%1\" is not True or False, in the condition on [%2]").arg(text, name));
            break;
        }
        }
        return value;
    }

    const QString& m_text;
    const FilterSchema& m_schema;
    int m_pos = 0;
    Token m_tok;
};

template <class T>
bool Apply(Op op, const T& a, const T& b)
{
    switch (op) {
    case Op::Eq: return a == b;
    case Op::Ne: return !(a == b);
    case Op::Lt: return a < b;
    case Op::Gt: return b < a;
    case Op::Le: return !(b < a);
    case Op::Ge: return !(a < b);
    }
    return false;
}

bool Evaluate(const Filter::Node& node, const FilterSource& item)
{
    switch (node.kind) {
    case Kind::And: return Evaluate(*node.left, item) && Evaluate(*node.right, item);
    case Kind::Or: return Evaluate(*node.left, item) || Evaluate(*node.right, item);
    case Kind::Not: return !Evaluate(*node.left, item);
    case Kind::Compare: break;
    }
    const FilterValue v = item.Value(*node.property);
    switch (node.property->type) {
    case PropType::Text: {
        const int c = v.text.compare(node.value.text, Qt::CaseInsensitive);
        return Apply(node.op, c, 0);
    }
    case PropType::Date: return Apply(node.op, FloorMinute(v.utc), FloorMinute(node.value.utc));
    case PropType::Number: return Apply(node.op, v.number, node.value.number);
    case PropType::Bool: return Apply(node.op, int(v.flag), int(node.value.flag));
    }
    return false;
}

Filter::Range RangeOf(const Filter::Node& node, int startId, int endId)
{
    Filter::Range r;
    switch (node.kind) {
    case Kind::And: {
        const Filter::Range a = RangeOf(*node.left, startId, endId), b = RangeOf(*node.right, startId, endId);
        r.low = std::max(a.low, b.low);
        r.high = std::min(a.high, b.high);
        return r;
    }
    case Kind::Or: {
        const Filter::Range a = RangeOf(*node.left, startId, endId), b = RangeOf(*node.right, startId, endId);
        r.low = std::min(a.low, b.low);
        r.high = std::max(a.high, b.high);
        return r;
    }
    case Kind::Not: return r;
    case Kind::Compare: break;
    }
    if (node.property->type != PropType::Date)
        return r;
    const qint64 minuteStart = FloorMinute(node.value.utc) * 60;
    const qint64 minuteEnd = minuteStart + 59;
    if (node.property->id == startId) {
        if (node.op == Op::Ge || node.op == Op::Gt || node.op == Op::Eq)
            r.low = minuteStart;
        if (node.op == Op::Le || node.op == Op::Lt || node.op == Op::Eq)
            r.high = minuteEnd;
    } else if (node.property->id == endId) {
        // An item never ends before it starts, so an upper bound on the end bounds the start.
        if (node.op == Op::Le || node.op == Op::Lt || node.op == Op::Eq)
            r.high = minuteEnd;
    }
    return r;
}

std::optional<std::vector<std::pair<int, QString>>> KeysOf(const Filter::Node& node, const std::vector<int>& indexed)
{
    switch (node.kind) {
    case Kind::Or: {
        auto a = KeysOf(*node.left, indexed);
        if (!a)
            return std::nullopt;
        auto b = KeysOf(*node.right, indexed);
        if (!b)
            return std::nullopt;
        a->insert(a->end(), b->begin(), b->end());
        return a;
    }
    case Kind::And: {
        if (auto a = KeysOf(*node.left, indexed))
            return a;
        return KeysOf(*node.right, indexed);
    }
    case Kind::Not: return std::nullopt;
    case Kind::Compare: break;
    }
    if (node.op != Op::Eq || node.property->type != PropType::Text ||
        std::find(indexed.begin(), indexed.end(), node.property->id) == indexed.end())
        return std::nullopt;
    return std::vector<std::pair<int, QString>>{{node.property->id, node.value.text}};
}
} // namespace

Filter Filter::Parse(const QString& text, const FilterSchema& schema)
{
    Filter filter;
    filter.m_text = text;
    Parser parser(filter.m_text, schema);
    filter.m_root = parser.ParseAll();
    return filter;
}

bool Filter::Matches(const FilterSource& item) const
{
    return m_root && Evaluate(*m_root, item);
}

Filter::Range Filter::StartRange(int startId, int endId) const
{
    return m_root ? RangeOf(*m_root, startId, endId) : Range();
}

std::optional<std::vector<std::pair<int, QString>>> Filter::IndexKeys(const std::vector<int>& indexed) const
{
    if (!m_root)
        return std::nullopt;
    return KeysOf(*m_root, indexed);
}

} // namespace cal
