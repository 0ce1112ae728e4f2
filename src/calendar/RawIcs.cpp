#include "calendar/RawIcs.h"

#include <cstring>

namespace cal::detail {

namespace {
char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool IsFold(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

bool NameIs(QByteArrayView name, const char* upper)
{
    const auto n = qsizetype(std::strlen(upper));
    if (name.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (Upper(name[i]) != upper[i])
            return false;
    return true;
}

bool RawLines::Next(RawLine& line)
{
    const qsizetype size = m_text.size();
    const char* data = m_text.data();
    // Blank lines between content lines are no lines at all.
    while (m_pos < size && (data[m_pos] == '\n' || data[m_pos] == '\r'))
        ++m_pos;
    if (m_pos >= size)
        return false;
    line.begin = m_pos;
    line.nameEnd = -1;
    qsizetype p = m_pos;
    for (;;) {
        const void* nl = std::memchr(data + p, '\n', size_t(size - p));
        if (line.nameEnd < 0) {
            const qsizetype stop = nl ? static_cast<const char*>(nl) - data : size;
            qsizetype q = p;
            while (q < stop && data[q] != ';' && data[q] != ':' && data[q] != '\r')
                ++q;
            if (q < stop && data[q] != '\r')
                line.nameEnd = q;
        }
        if (!nl) {
            p = size;
            break;
        }
        p = static_cast<const char*>(nl) - data + 1;
        if (p < size && IsFold(data[p]))
            continue;
        break;
    }
    if (line.nameEnd < 0)
        line.nameEnd = line.begin;
    line.end = p;
    m_pos = p;
    return true;
}

QByteArray RawLines::Unfolded(const RawLine& line) const
{
    QByteArray out;
    out.reserve(line.end - line.begin);
    const char* data = m_text.data();
    qsizetype p = line.begin;
    while (p < line.end) {
        const void* nl = std::memchr(data + p, '\n', size_t(line.end - p));
        qsizetype stop = nl ? static_cast<const char*>(nl) - data : line.end;
        qsizetype text = stop;
        if (text > p && data[text - 1] == '\r')
            --text;
        out.append(data + p, text - p);
        p = stop + 1;
        if (p < line.end && IsFold(data[p]))
            ++p; // the one blank that marks the fold
    }
    return out;
}

QByteArray RawLines::ComponentName(const RawLine& line) const
{
    QByteArrayView name = Name(line);
    if (name.startsWith("\xEF\xBB\xBF"))
        name = name.sliced(3);
    if (!NameIs(name, "BEGIN") && !NameIs(name, "END"))
        return QByteArray();
    const QByteArray unfolded = Unfolded(line);
    const qsizetype at = ValueStart(unfolded);
    if (at < 0)
        return QByteArray();
    return unfolded.mid(at).trimmed().toUpper();
}

qsizetype ValueStart(QByteArrayView unfolded)
{
    bool quoted = false;
    for (qsizetype i = 0; i < unfolded.size(); ++i) {
        const char c = unfolded[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i + 1;
    }
    return -1;
}

RawCalendar SplitCalendar(QByteArrayView text)
{
    RawCalendar cal;
    RawLines lines(text);
    RawLine line;
    int depth = 0;
    RawComponent current;
    while (lines.Next(line)) {
        QByteArrayView name = lines.Name(line);
        if (depth == 0 && name.startsWith("\xEF\xBB\xBF"))
            name = name.sliced(3); // a byte-order mark
        const bool begin = NameIs(name, "BEGIN"), end = NameIs(name, "END");
        if (depth == 0) {
            if (begin && lines.ComponentName(line) == "VCALENDAR") {
                depth = 1;
                cal.bodyBegin = line.end;
            }
            continue;
        }
        if (depth == 1) {
            if (end) {
                if (lines.ComponentName(line) == "VCALENDAR") {
                    cal.endLine = line.begin;
                    cal.ok = true;
                    return cal;
                }
                continue; // a stray END: left as one of the calendar's lines
            }
            if (begin) {
                current = RawComponent();
                current.kind = lines.ComponentName(line);
                current.begin = line.begin;
                depth = 2;
                continue;
            }
            cal.properties.append(line);
            continue;
        }
        if (begin) {
            ++depth;
            continue;
        }
        if (end) {
            if (--depth == 1) {
                current.end = line.end;
                cal.components.append(current);
            }
            continue;
        }
        if (depth == 2) {
            if (NameIs(name, "UID") && current.uid.isEmpty()) {
                const QByteArray unfolded = lines.Unfolded(line);
                const qsizetype at = ValueStart(unfolded);
                if (at >= 0)
                    current.uid = unfolded.mid(at);
            } else if (NameIs(name, "TZID") && current.tzid.isEmpty()) {
                const QByteArray unfolded = lines.Unfolded(line);
                const qsizetype at = ValueStart(unfolded);
                if (at >= 0)
                    current.tzid = unfolded.mid(at);
            } else if (NameIs(name, "RECURRENCE-ID")) {
                current.hasRecurrenceId = true;
            }
        }
    }
    if (depth >= 1) {
        // No END:VCALENDAR (a file cut short): what is there is the calendar.
        cal.endLine = text.size();
        cal.ok = true;
    }
    return cal;
}

QList<QByteArray> TzidsIn(QByteArrayView text)
{
    QList<QByteArray> out;
    RawLines lines(text);
    RawLine line;
    while (lines.Next(line)) {
        // Only lines with parameters can name a zone.
        if (line.nameEnd >= text.size() || text[line.nameEnd] != ';')
            continue;
        const QByteArray unfolded = lines.Unfolded(line);
        const qsizetype valueAt = ValueStart(unfolded);
        const qsizetype stop = valueAt < 0 ? unfolded.size() : valueAt - 1;
        qsizetype p = line.nameEnd - line.begin;
        while (p < stop) {
            // One parameter: from past the ';' to the next ';' outside quotes.
            qsizetype q = p + 1;
            bool quoted = false;
            while (q < stop && (quoted || unfolded[q] != ';')) {
                if (unfolded[q] == '"')
                    quoted = !quoted;
                ++q;
            }
            const QByteArray param = unfolded.mid(p + 1, q - p - 1);
            const qsizetype eq = param.indexOf('=');
            if (eq > 0 && NameIs(QByteArrayView(param).first(eq), "TZID")) {
                QByteArray value = param.mid(eq + 1);
                if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                    value = value.mid(1, value.size() - 2);
                if (!out.contains(value))
                    out.append(value);
            }
            p = q;
        }
    }
    return out;
}

QByteArray LineBreakOf(QByteArrayView text)
{
    const qsizetype nl = text.indexOf('\n');
    if (nl > 0 && text[nl - 1] != '\r')
        return QByteArray("\n");
    return QByteArray("\r\n");
}

QByteArray WithLineBreaks(const QByteArray& text, const QByteArray& lineBreak)
{
    QByteArray plain = text;
    plain.replace("\r\n", "\n");
    if (lineBreak == "\n")
        return plain;
    plain.replace("\n", lineBreak);
    return plain;
}

} // namespace cal::detail
