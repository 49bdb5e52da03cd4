#include "platform/inifile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/filesave.h"
#include "platform/syserror.h"

namespace IniFile {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// How the file holds its text. A file that begins with a byte-order mark is UTF-8 or UTF-16 and
// is written back so; any other file is GBK. The rules below work on the bytes of GBK or UTF-8
// text: in both every byte of the syntax is one that no character of more bytes holds.
enum class Encoding { Gbk, Utf8, Utf16LE, Utf16BE };

struct Body {
    Encoding encoding = Encoding::Gbk;
    QByteArray bytes;  // GBK, or UTF-8 for a file with a mark, without the mark
};

Body unpack(const QByteArray& file)
{
    if (file.startsWith("\xEF\xBB\xBF")) return {Encoding::Utf8, file.mid(3)};
    const bool le = file.startsWith("\xFF\xFE");
    if (le || file.startsWith("\xFE\xFF")) {
        QStringDecoder decode(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        const QString text = decode(QByteArrayView(file).sliced(2));
        return {le ? Encoding::Utf16LE : Encoding::Utf16BE, text.toUtf8()};
    }
    return {Encoding::Gbk, file};
}

QByteArray pack(const Body& body)
{
    switch (body.encoding) {
    case Encoding::Gbk: return body.bytes;
    case Encoding::Utf8: return QByteArray("\xEF\xBB\xBF") + body.bytes;
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        const bool le = body.encoding == Encoding::Utf16LE;
        QStringEncoder encode(le ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE);
        return QByteArray(le ? "\xFF\xFE" : "\xFE\xFF", 2) + QByteArray(encode(QString::fromUtf8(body.bytes)));
    }
    }
    return body.bytes;
}

QString decodeText(bool utf8, QByteArrayView bytes)
{
    return utf8 ? QString::fromUtf8(bytes) : CodePage::decodeKeepingBytes(bytes);
}

QByteArray encodeText(bool utf8, const QString& text)
{
    return utf8 ? text.toUtf8() : CodePage::encodeKeepingBytes(text);
}

// The line end the file uses: that of its first line, CR LF for a file of one line or none.
QByteArray lineEndOf(const QByteArray& content)
{
    const qsizetype lf = content.indexOf('\n');
    if (lf < 0 || (lf > 0 && content.at(lf - 1) == '\r')) return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text.at(begin) == u' ' || text.at(begin) == u'\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

QString unquote(const QString& text)
{
    if (text.size() >= 2 && text.front() == text.back() && (text.front() == u'"' || text.front() == u'\''))
        return text.mid(1, text.size() - 2);
    return text;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// One line of the file: its text is [begin, end), its line end [end, next).
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

enum class Kind { Blank, Comment, Section, Key, Other };

struct Parsed {
    Kind kind = Kind::Other;
    QString name;        // section or key name, trimmed
    qsizetype equal = -1;  // key line: offset of the '=' in the file
};

// Every byte that matters to the syntax ('=', ';', '[', blanks, CR, LF) is below 0x40, so it can
// never be the trail byte of a double-byte character: the bytes can be scanned directly.
QList<Line> splitLines(const QByteArray& content)
{
    QList<Line> lines;
    qsizetype pos = 0;
    while (pos < content.size()) {
        Line line;
        line.begin = pos;
        const qsizetype lf = content.indexOf('\n', pos);
        if (lf < 0) {
            line.end = line.next = content.size();
            if (line.end > pos && content.at(line.end - 1) == '\r')
                --line.end;  // a CR without its LF at the very end
        } else {
            line.end = lf > pos && content.at(lf - 1) == '\r' ? lf - 1 : lf;
            line.next = lf + 1;
        }
        lines.append(line);
        pos = line.next;
    }
    return lines;
}

Parsed parse(const QByteArray& content, const Line& line, bool utf8)
{
    Parsed parsed;
    qsizetype start = line.begin;
    while (start < line.end && isBlank(content.at(start)))
        ++start;
    if (start == line.end) {
        parsed.kind = Kind::Blank;
        return parsed;
    }
    const char first = content.at(start);
    if (first == ';') {
        parsed.kind = Kind::Comment;
        return parsed;
    }
    if (first == '[') {
        // ']' may be a trail byte, so the name is looked for in the decoded text.
        QString text = decodeText(utf8, QByteArrayView(content).sliced(start + 1, line.end - start - 1));
        const qsizetype close = text.indexOf(u']');
        if (close >= 0)
            text.truncate(close);
        parsed.kind = Kind::Section;
        parsed.name = trimBlanks(text);
        return parsed;
    }
    const qsizetype equal = content.indexOf('=', start);
    if (equal < 0 || equal >= line.end)
        return parsed;
    parsed.kind = Kind::Key;
    parsed.equal = equal;
    parsed.name = trimBlanks(decodeText(utf8, QByteArrayView(content).sliced(start, equal - start)));
    return parsed;
}

// Where a key is in a file: the first section of that name, in it the first key of that name
// and the last key line of any name.
struct Location {
    qsizetype sectionLine = -1;
    qsizetype keyLine = -1;
    qsizetype lastKeyLine = -1;
    qsizetype equal = -1;
};

Location locate(const QByteArray& content, const QList<Line>& lines, const QString& section, const QString& key,
                bool utf8)
{
    const QString wantedSection = trimBlanks(section);
    const QString wantedKey = trimBlanks(key);
    Location where;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Parsed parsed = parse(content, lines.at(i), utf8);
        if (parsed.kind == Kind::Section) {
            if (where.sectionLine >= 0)
                break;
            if (sameName(parsed.name, wantedSection))
                where.sectionLine = i;
            continue;
        }
        if (where.sectionLine < 0 || parsed.kind != Kind::Key)
            continue;
        where.lastKeyLine = i;
        if (where.keyLine < 0 && sameName(parsed.name, wantedKey)) {
            where.keyLine = i;
            where.equal = parsed.equal;
        }
    }
    return where;
}

QString refusal(bool chinese, const char* english, const char* chineseText)
{
    return chinese ? QString::fromUtf8(chineseText) : QString::fromLatin1(english);
}

bool holdsBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

// Our own reason for refusing the names or the value, or an empty text.
QString checkInput(const QString& section, const QString& key, const QString& value, bool chinese)
{
    if (holdsBreak(section))
        return refusal(chinese, "The INI section name must not hold a line break or a zero character.",
                       "INI 节名中不能含有换行符或零字符。");
    if (holdsBreak(key))
        return refusal(chinese, "The INI key name must not hold a line break or a zero character.",
                       "INI 键名中不能含有换行符或零字符。");
    if (holdsBreak(value))
        return refusal(chinese, "The INI value must not hold a line break or a zero character.",
                       "INI 值中不能含有换行符或零字符。");
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    if (sectionName.isEmpty())
        return refusal(chinese, "The INI section name is empty.", "INI 节名为空。");
    if (sectionName.contains(u']'))
        return refusal(chinese, "The INI section name must not hold \"]\".", "INI 节名中不能含有“]”。");
    if (keyName.isEmpty())
        return refusal(chinese, "The INI key name is empty.", "INI 键名为空。");
    if (keyName.contains(u'=') || keyName.startsWith(u'[') || keyName.startsWith(u';'))
        return refusal(chinese, "The INI key name must not hold \"=\" nor begin with \"[\" or \";\".",
                       "INI 键名中不能含有“=”，也不能以“[”或“;”开头。");
    return {};
}

// ---- the file under its lock ----

// Opens the file (creating it when missing) and locks it exclusively. A writer that held the
// lock may have replaced the file meanwhile; then the lock is on the old file and we try again.
int openLocked(const QByteArray& path, struct stat* status)
{
    for (;;) {
        const int fd = FileSave::openFile(path.constData(), O_RDWR | O_CREAT, 0666);
        if (fd < 0)
            return -1;
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        struct stat now;
        if (rc != 0 || ::fstat(fd, status) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        if (::stat(path.constData(), &now) == 0 && now.st_dev == status->st_dev && now.st_ino == status->st_ino)
            return fd;
        ::close(fd);
    }
}

// Writes the new content to a temporary file beside the old one and renames it over the old one.
// A file with a second name, and a file in a folder that allows no new file, is written in place
// instead: the locked file itself, which on any failure gets its old bytes back.
bool replaceFile(const QByteArray& path, int lockedFd, const struct stat& old, const QByteArray& content)
{
    const QString fileName = QFile::decodeName(path);
    if (old.st_nlink > 1)
        return FileSave::overwriteInPlace(lockedFd, fileName, content);
    QByteArray temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return FileSave::overwriteInPlace(lockedFd, fileName, content);
        return false;
    }
    bool ok = FileSave::writeAll(fd, content);
    if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd, old.st_uid, old.st_gid);  // keeps the owner where we may
    ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.constData(), path.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.constData());
        errno = error;
    }
    return ok;
}

// The file that a write replaces: the target of a symbolic link rather than the link.
QByteArray targetPath(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved))
        return QByteArray(resolved);
    return path;
}

// Text written after the end of a file needs the line before it to be ended.
void completeLastLine(QByteArray* content, const QByteArray& lineEnd)
{
    if (content->isEmpty() || content->endsWith('\n'))
        return;
    *content += content->endsWith('\r') ? QByteArray("\n") : lineEnd;
}

QString valueInBody(const QByteArray& content, bool utf8, const QString& section, const QString& key, bool* found)
{
    const QList<Line> lines = splitLines(content);
    const Location where = locate(content, lines, section, key, utf8);
    if (found)
        *found = where.keyLine >= 0;
    if (where.keyLine < 0)
        return {};
    const Line& line = lines.at(where.keyLine);
    const QString raw = decodeText(utf8, QByteArrayView(content).sliced(where.equal + 1, line.end - where.equal - 1));
    return unquote(trimBlanks(raw));
}

QByteArray withValueInBody(const QByteArray& content, bool utf8, const QString& section, const QString& key,
                           const QString& value)
{
    const QList<Line> lines = splitLines(content);
    const Location where = locate(content, lines, section, key, utf8);
    const QByteArray lineEnd = lineEndOf(content);
    const QByteArray encodedValue = encodeText(utf8, value);
    const QByteArray keyLine = encodeText(utf8, trimBlanks(key)) + '=' + encodedValue + lineEnd;

    if (where.keyLine >= 0) {
        // Only the value changes: the key as spelt, the '=' and the blanks after it stay.
        const Line& line = lines.at(where.keyLine);
        qsizetype valueStart = where.equal + 1;
        while (valueStart < line.end && isBlank(content.at(valueStart)))
            ++valueStart;
        return content.left(valueStart) + encodedValue + content.mid(line.end);
    }
    if (where.sectionLine >= 0) {
        const Line& after = lines.at(where.lastKeyLine >= 0 ? where.lastKeyLine : where.sectionLine);
        QByteArray result = content.left(after.next);
        completeLastLine(&result, lineEnd);
        return result + keyLine + content.mid(after.next);
    }
    QByteArray result = content;
    completeLastLine(&result, lineEnd);
    return result + '[' + encodeText(utf8, trimBlanks(section)) + ']' + lineEnd + keyLine;
}

}  // namespace

QString valueIn(const QByteArray& content, const QString& section, const QString& key, bool* found)
{
    const Body body = unpack(content);
    return valueInBody(body.bytes, body.encoding != Encoding::Gbk, section, key, found);
}

QByteArray withValue(const QByteArray& content, const QString& section, const QString& key, const QString& value)
{
    Body body = unpack(content);
    const QByteArray updated = withValueInBody(body.bytes, body.encoding != Encoding::Gbk, section, key, value);
    if (updated == body.bytes)
        return content;
    body.bytes = updated;
    return pack(body);
}

QString readString(const QString& fileName, const QString& section, const QString& key, const QString& defaultValue)
{
    // As the profile call does, the default comes without its trailing blanks.
    qsizetype end = defaultValue.size();
    while (end > 0 && defaultValue.at(end - 1) == u' ')
        --end;
    const QString fallback = defaultValue.left(end);

    // A writer either renames a complete file into place or, in a folder where it may not create
    // one, writes the file itself under its exclusive lock: a shared lock sees a whole file.
    FileSave::recover(fileName);  // an in-place write that died halfway
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = FileSave::openFile(path.constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return fallback;
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    struct stat status;
    QByteArray content;
    const bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && FileSave::readWhole(fd, &content);
    ::close(fd);
    if (!read)
        return fallback;
    bool found = false;
    const QString value = valueIn(content, section, key, &found);
    return found ? value : fallback;
}

bool writeString(const QString& fileName, const QString& section, const QString& key, const QString& value,
                 bool chinese, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (const QString refused = checkInput(section, key, value, chinese); !refused.isEmpty())
        return fail(refused);

    const QByteArray path = targetPath(fileName);
    FileSave::recover(QFile::decodeName(path));  // an in-place write that died halfway
    struct stat status;
    const int lockFd = openLocked(path, &status);
    if (lockFd < 0)
        return fail(systemErrorText(errno, chinese));

    bool ok = true;
    int code = 0;
    QByteArray content;
    if (!S_ISREG(status.st_mode)) {
        // Renaming over a device or a pipe would replace it, not write into it.
        ok = false;
        code = EINVAL;
    } else if (!FileSave::readWhole(lockFd, &content)) {
        ok = false;
        code = errno;
    } else {
        const QByteArray updated = withValue(content, section, key, value);
        if (updated != content && !replaceFile(path, lockFd, status, updated)) {
            ok = false;
            code = errno;
        }
    }
    ::close(lockFd);  // releases the lock, after the new file is in place
    if (!ok)
        return fail(systemErrorText(code, chinese));
    if (error)
        error->clear();
    return true;
}

}  // namespace IniFile
