#include "platform/Ini.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>
#include <QThread>
#include <QHash>
#include <QMutex>
#include <sys/stat.h>
#include <vector>

namespace vb {

namespace {

thread_local QString t_lastError;
constexpr int kDefaultLockTimeoutMs = 20000;
int g_lockTimeoutMs = kDefaultLockTimeoutMs;

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    QString name;  // section or key name, trimmed
    QString value; // key value, trimmed and unquoted
    QString raw;   // the line as it stands in the file
};

struct IniText {
    std::vector<Line> lines;
    bool crlf = false;
};

QString Unquote(QString value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

Line ParseLine(const QString& raw)
{
    Line line;
    line.raw = raw;
    const QString text = raw.trimmed();
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        line.kind = Line::Section;
        line.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
        return line;
    }
    if (text.startsWith(u';'))
        return line;
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0)
        return line;
    line.kind = Line::Key;
    line.name = text.left(eq).trimmed();
    line.value = Unquote(text.mid(eq + 1).trimmed());
    return line;
}

IniText ReadIni(const QString& file)
{
    IniText ini;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return ini; // a missing or unreadable file reads as empty
    const QString text = DecodeIniBytes(f.readAll());
    ini.crlf = text.contains(QStringLiteral("\r\n"));
    QStringList rows = text.split(QLatin1Char('\n'));
    if (!rows.isEmpty() && rows.back().isEmpty())
        rows.removeLast();
    for (QString& row : rows) {
        if (row.endsWith(u'\r'))
            row.chop(1);
        ini.lines.push_back(ParseLine(row));
    }
    return ini;
}

// The parsed text of a file read before, kept while the file is the same one with the same
// size and times: a run reads the same few files thousands of times (a language text per
// caption and row), and a stat is far cheaper than an open, a read and a parse. Any write,
// ours (a rename) or another program's (which moves the change time), shows in the stat.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};
    bool operator==(const FileIdentity& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

IniText ReadIniKept(const QString& file)
{
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (1 << 20))
        return ReadIni(file);
    const FileIdentity id{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    static QMutex mutex;
    static QHash<QString, std::pair<FileIdentity, IniText>> kept;
    {
        const QMutexLocker lock(&mutex);
        const auto it = kept.constFind(file);
        if (it != kept.constEnd() && it->first == id)
            return it->second;
    }
    IniText ini = ReadIni(file);
    // Kept only if the file did not change while it was read.
    struct stat after {};
    if (::stat(QFile::encodeName(file).constData(), &after) == 0 &&
        FileIdentity{after.st_dev, after.st_ino, after.st_size, after.st_mtim, after.st_ctim} == id) {
        const QMutexLocker lock(&mutex);
        kept.insert(file, {id, ini});
    }
    return ini;
}

bool Same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the section header, or -1.
qsizetype FindSection(const IniText& ini, const QString& section)
{
    for (size_t i = 0; i < ini.lines.size(); ++i)
        if (ini.lines[i].kind == Line::Section && Same(ini.lines[i].name, section))
            return qsizetype(i);
    return -1;
}

// One past the last line of the section that starts at header.
size_t SectionEnd(const IniText& ini, size_t header)
{
    size_t end = header + 1;
    while (end < ini.lines.size() && ini.lines[end].kind != Line::Section)
        ++end;
    return end;
}

void ApplyWrite(IniText& ini, const QString& section, const QString& key, const QString& value)
{
    const qsizetype header = FindSection(ini, section);
    if (key.isNull()) { // delete the section
        if (header >= 0)
            ini.lines.erase(ini.lines.begin() + header, ini.lines.begin() + qsizetype(SectionEnd(ini, header)));
        return;
    }
    const QString raw = key.trimmed() + QLatin1Char('=') + value;
    if (header < 0) {
        if (value.isNull())
            return;
        if (!ini.lines.empty() && !ini.lines.back().raw.trimmed().isEmpty())
            ini.lines.push_back(ParseLine(QString()));
        ini.lines.push_back(ParseLine(QLatin1Char('[') + section.trimmed() + QLatin1Char(']')));
        ini.lines.push_back(ParseLine(raw));
        return;
    }
    const size_t end = SectionEnd(ini, size_t(header));
    auto lastContent = size_t(header);
    for (size_t i = size_t(header) + 1; i < end; ++i) {
        Line& line = ini.lines[i];
        if (line.kind == Line::Key && Same(line.name, key.trimmed())) {
            if (value.isNull())
                ini.lines.erase(ini.lines.begin() + qsizetype(i));
            else
                line = ParseLine(raw);
            return;
        }
        if (!line.raw.trimmed().isEmpty())
            lastContent = i;
    }
    if (!value.isNull())
        ini.lines.insert(ini.lines.begin() + qsizetype(lastContent) + 1, ParseLine(raw));
}

QByteArray Serialize(const IniText& ini)
{
    const QString eol = ini.crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text;
    for (const Line& line : ini.lines)
        text += line.raw + eol;
    return text.toUtf8();
}

bool Fail(const QString& why)
{
    t_lastError = why;
    return false;
}

} // namespace

QString DecodeIniBytes(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

int GetPrivateProfileString(const QString& section, const QString& key, const QString& def, QString& out,
                            int bufferSize, const QString& file)
{
    out.clear();
    if (bufferSize <= 0)
        return 0;
    QString value = def.trimmed();
    const IniText ini = ReadIniKept(file);
    const qsizetype header = FindSection(ini, section);
    if (header >= 0) {
        const size_t end = SectionEnd(ini, size_t(header));
        for (size_t i = size_t(header) + 1; i < end; ++i) {
            if (ini.lines[i].kind == Line::Key && Same(ini.lines[i].name, key.trimmed())) {
                value = ini.lines[i].value;
                break;
            }
        }
    }
    out = value.left(bufferSize - 1);
    return int(out.size());
}

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, int bufferSize,
                                const QString& file)
{
    QString out;
    GetPrivateProfileString(section, key, def, out, bufferSize, file);
    return out;
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value, const QString& file)
{
    if (section.trimmed().isEmpty())
        return Fail(QStringLiteral("No section name was given for %1.").arg(file));
    QLockFile lock(file + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    // Short pauses between tries, not QLockFile's own waiting, which doubles its pause up to
    // seconds: another writer that writes key after key would then hold the file for the whole
    // wait, as each of its writes takes the lock again at once.
    QElapsedTimer waited;
    waited.start();
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || waited.elapsed() >= g_lockTimeoutMs)
            return Fail(QStringLiteral("%1 is locked by another program (lock file %1.lock).").arg(file));
        QThread::msleep(5 + QRandomGenerator::global()->bounded(10));
    }

    IniText ini = ReadIni(file);
    if (QFileInfo::exists(file) && !QFileInfo(file).isReadable())
        return Fail(QStringLiteral("%1 cannot be read.").arg(file));
    ApplyWrite(ini, section, key, value);

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return Fail(QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString()));
    out.write(Serialize(ini));
    if (!out.commit())
        return Fail(QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString()));
    return true;
}

int GetPrivateProfileSectionNames(QString& out, int bufferSize, const QString& file)
{
    out.clear();
    if (bufferSize <= 0)
        return 0;
    const IniText ini = ReadIniKept(file);
    QStringList names;
    QSet<QString> seen; // case-folded: a file of half a million sections is read in linear time
    for (const Line& line : ini.lines) {
        if (line.kind != Line::Section)
            continue;
        const QString folded = line.name.toCaseFolded();
        if (!seen.contains(folded)) {
            seen.insert(folded);
            names.append(line.name);
        }
    }
    for (const QString& name : names)
        out += name + QChar(0);
    if (out.size() > bufferSize - 1) {
        out.truncate(qMax(0, bufferSize - 2));
        if (bufferSize >= 2)
            out += QChar(0);
    }
    return int(qMax<qsizetype>(0, out.size() - (out.isEmpty() ? 0 : 1)));
}

void SetIniLockTimeout(int ms)
{
    g_lockTimeoutMs = ms < 0 ? kDefaultLockTimeoutMs : ms;
}

QString IniLastError()
{
    return t_lastError;
}

} // namespace vb
