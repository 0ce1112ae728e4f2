#pragma once
// iCalendar text as bytes: content lines and the spans of components, for the places where
// libical's reading loses what was written (blanks around texts, a file saved back through the
// parser) and the bytes themselves must be kept. Private to the calendar library.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace cal::detail {

// One logical content line: its bytes in the text from its first byte to past its line break
// (folded continuation lines included), and where its name ends.
struct RawLine {
    qsizetype begin = 0;
    qsizetype end = 0;      // past the line break
    qsizetype nameEnd = 0; // the ';' or ':' after the name
};

// Where the value of an unfolded line starts: past the first ':' outside quotes; -1: none.
qsizetype ValueStart(QByteArrayView unfolded);

// Walks the logical lines of an iCalendar text in one pass, without copying.
class RawLines {
public:
    explicit RawLines(QByteArrayView text)
        : m_text(text)
    {
    }
    bool Next(RawLine& line);
    // The line unfolded (continuations joined, line break dropped).
    QByteArray Unfolded(const RawLine& line) const;
    QByteArrayView Name(const RawLine& line) const
    {
        return m_text.sliced(line.begin, line.nameEnd - line.begin);
    }
    // The value of BEGIN: or END:, upper-cased; empty for other lines.
    QByteArray ComponentName(const RawLine& line) const;

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

bool NameIs(QByteArrayView name, const char* upper);

// A component directly inside the VCALENDAR.
struct RawComponent {
    QByteArray kind; // "VEVENT", "VTIMEZONE", ...
    qsizetype begin = 0;
    qsizetype end = 0; // past the line break of its END line
    QByteArray uid;    // its UID as written (unfolded), for VEVENT, VTODO, VJOURNAL
    QByteArray tzid;   // the TZID of a VTIMEZONE
    bool hasRecurrenceId = false;
};

// The top of one VCALENDAR: where its own lines are, and its components in file order.
struct RawCalendar {
    bool ok = false;         // a BEGIN:VCALENDAR ... END:VCALENDAR was found
    qsizetype bodyBegin = 0; // past the BEGIN:VCALENDAR line
    qsizetype endLine = 0;   // where the END:VCALENDAR line starts
    QList<RawLine> properties; // the calendar's own lines (VERSION, PRODID, ...)
    QList<RawComponent> components;
};

// Splits the first VCALENDAR of text. Lines of components nested deeper (VALARM, STANDARD) stay
// inside their component's span.
RawCalendar SplitCalendar(QByteArrayView text);

// Every TZID parameter value in a span of text.
QList<QByteArray> TzidsIn(QByteArrayView text);

// The line break the text uses: "\r\n" unless its first line ends in a bare "\n".
QByteArray LineBreakOf(QByteArrayView text);
// Text with its line breaks made `lineBreak`.
QByteArray WithLineBreaks(const QByteArray& text, const QByteArray& lineBreak);

} // namespace cal::detail
