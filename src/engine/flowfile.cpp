#include "engine/flowfile.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"
#include "platform/codepage.h"
#include "platform/filesave.h"
#include "platform/syserror.h"

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// ---- code page ----

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80) return false;
    return true;
}

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// Most texts of a flow are ASCII; they skip the converter. Bytes that are not GBK come back as
// they were read.
QByteArray encodeText(const QString& text)
{
    return isAscii(text) ? text.toLatin1() : CodePage::encodeKeepingBytes(text);
}

QString decodeText(QByteArrayView bytes)
{
    return isAscii(bytes) ? QString::fromLatin1(bytes.data(), bytes.size()) : CodePage::decodeKeepingBytes(bytes);
}

// ---- writer ----

constexpr qsizetype kLineLength = 64;

void indent(QByteArray& out, int level)
{
    out.append(qsizetype(level) * 2, ' ');
}

// A string value: apostrophe pieces and #codes, cut into lines of at most 64 units (a #code is one
// unit, a byte of text another) when longer than 64 bytes. A cut never falls between the two
// bytes of a double-byte character: it moves one byte earlier.
void writeString(QByteArray& out, QByteArrayView s, int level)
{
    const qsizetype n = s.size();
    if (n == 0) {
        out.append("''");
        return;
    }
    auto newLine = [&] {
        out.append("\r\n");
        indent(out, level);
    };
    if (n > kLineLength) newLine();
    qsizetype i = 0;
    qsizetype lineStart = 0;
    while (i < n) {
        bool lineBreak = false;
        const uchar c = uchar(s[i]);
        if (c >= ' ' && c != '\'') {
            const qsizetype j = i;
            do
                ++i;
            while (i < n && uchar(s[i]) >= ' ' && s[i] != '\'' && i - lineStart < kLineLength);
            if (i - lineStart >= kLineLength) {
                lineBreak = true;
                i = j + CodePage::safeCutLength(s.sliced(j), i - j);
            }
            out.append('\'');
            out.append(s.data() + j, i - j);
            out.append('\'');
        } else {
            out.append('#');
            out.append(QByteArray::number(int(c)));
            ++i;
            if (i - lineStart >= kLineLength) lineBreak = true;
        }
        if (lineBreak && i < n) {
            out.append(" +");
            newLine();
            lineStart = i;
        }
    }
}

void writeInteger(QByteArray& out, qint64 v)
{
    out.append(QByteArray::number(v));
}

void writeFloat(QByteArray& out, double v)
{
    out.append(formatFloatGeneral(v, 15).toLatin1());
}

void writeBoolean(QByteArray& out, bool b)
{
    out.append(b ? "True" : "False");
}

void writeVariant(QByteArray& out, const Value& v, int level)
{
    switch (v.kind()) {
    case Value::Kind::String:
    case Value::Kind::WideString: writeString(out, encodeText(v.asString()), level); return;
    case Value::Kind::Integer: writeInteger(out, v.asInt()); return;
    case Value::Kind::Int64: writeInteger(out, v.asInt64()); return;
    case Value::Kind::Boolean: writeBoolean(out, v.asBool()); return;
    default: {
        double d = 0;
        v.toDouble(&d);
        writeFloat(out, d);
        return;
    }
    }
}

int32_t ordinalOf(const Value& v)
{
    if (v.kind() == Value::Kind::Integer) return v.asInt();
    int32_t i = 0;
    v.toInt32(&i);
    return i;
}

void writeProperty(QByteArray& out, const PropertyDesc& d, const Value& v, int level)
{
    indent(out, level);
    out.append(d.name);
    out.append(" = ");
    switch (d.kind) {
    case PropKind::String: writeString(out, encodeText(v.asString()), level + 1); break;
    case PropKind::Boolean: {
        bool b = false;
        if (v.kind() == Value::Kind::Boolean)
            b = v.asBool();
        else
            v.toBool(&b);
        writeBoolean(out, b);
        break;
    }
    case PropKind::Integer: writeInteger(out, ordinalOf(v)); break;
    case PropKind::Enum: {
        const int32_t o = ordinalOf(v);
        if (d.enumIds && o >= 0 && o < d.enumCount)
            out.append(d.enumIds[o]);
        else
            writeInteger(out, o);
        break;
    }
    case PropKind::Char: {
        const char32_t code = char32_t(ordinalOf(v));
        // A kept byte is a lone surrogate, which fromUcs4 would replace.
        const QString text = code < 0x10000 ? QString(QChar(char16_t(code))) : QString::fromUcs4(&code, 1);
        writeString(out, encodeText(text), level + 1);
        break;
    }
    case PropKind::Variant: writeVariant(out, v, level + 1); break;
    }
    out.append("\r\n");
}

void writeHeader(QByteArray& out, const TIVRBase& s, int level)
{
    indent(out, level);
    out.append("object ");
    out.append(s.className());
    out.append("\r\n");
    for (const PropertyDesc& d : *s.classInfo().properties()) {
        if (!d.get) continue;
        const Value v = d.get(s);
        if (d.isDefault(v)) continue;
        writeProperty(out, d, v, level + 1);
    }
}

void writeEnd(QByteArray& out, int level)
{
    indent(out, level);
    out.append("end\r\n");
}

// ---- reader: the text ----

enum class ValKind { String, Integer, BigInteger, Float, Ident };

struct ParsedValue {
    ValKind kind = ValKind::Integer;
    int32_t integer = 0;
    qsizetype offset = 0;  // String: into the string arena; others: the token in the text
    qsizetype length = 0;
};

// The value of a number token ("$" and hex digits, or decimal with an optional "-", fraction
// and exponent); infinite beyond the range of long double, false when it is not a number.
bool numberValue(QByteArrayView token, long double* out)
{
    if (token.startsWith('$')) {
        long double n = 0;
        for (qsizetype i = 1; i < token.size(); ++i) {
            const uchar c = uchar(token[i]);
            n = n * 16 + ((c >= '0' && c <= '9') ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        *out = n;
        return token.size() > 1;
    }
    // Short integers, the usual case, without the general conversion.
    const bool negative = token.startsWith('-');
    if (token.size() > qsizetype(negative) && token.size() <= 18 + qsizetype(negative)) {
        int64_t v = 0;
        qsizetype i = qsizetype(negative);
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') v = v * 10 + (token[i++] - '0');
        if (i == token.size()) {
            *out = static_cast<long double>(negative ? -v : v);
            return true;
        }
    }
    long double n = 0;
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, n);
    if (ptr != end || token.size() == (token.startsWith('-') ? 1 : 0)) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large, or too small for long double: infinity or zero by the exponent's sign.
        const qsizetype e = std::max(token.indexOf('e'), token.indexOf('E'));
        const bool tiny = e >= 0 && e + 1 < token.size() && token[e + 1] == '-';
        n = tiny ? 0.0L : (token.startsWith('-') ? -HUGE_VALL : HUGE_VALL);
    } else if (ec != std::errc()) {
        return false;
    }
    *out = n;
    return true;
}

struct ParsedProperty {
    qsizetype nameOffset;
    qsizetype nameLength;
    int line;
    ParsedValue value;
};

struct ParsedObject {
    qsizetype classOffset;
    qsizetype classLength;
    int parent;  // index of the enclosing object, -1 for a root
    int firstProperty;
    int propertyEnd;
    int line;
};

struct SyntaxError {
    QString message;
};

bool isIdentStart(uchar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isIdentChar(uchar c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(uchar c) { return c >= '0' && c <= '9'; }
bool isHexDigit(uchar c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool equalsIgnoringCase(QByteArrayView a, const char* b)
{
    const qsizetype n = qsizetype(std::strlen(b));
    return a.size() == n && qstrnicmp(a.data(), n, b, n) == 0;
}

// Converts the whole text into objects and property values before any statement is made.
class Parser {
public:
    explicit Parser(QByteArrayView text) : text_(text), p_(0), end_(text.size()) {}

    std::vector<ParsedObject> objects;
    std::vector<ParsedProperty> properties;
    std::string arena;  // the bytes of every string value, pieces joined

    QByteArrayView view(qsizetype offset, qsizetype length) const { return text_.sliced(offset, length); }
    QByteArrayView stringBytes(const ParsedValue& v) const { return QByteArrayView(arena.data() + v.offset, v.length); }

    void parse()
    {
        // No regrowth on the way: string bytes never outnumber the text's, and an object or a
        // property line takes a dozen bytes or more.
        arena.reserve(size_t(end_));
        objects.reserve(size_t(end_ / 24));
        properties.reserve(size_t(end_ / 24));
        std::vector<int> open;  // objects whose "end" is still to come
        for (;;) {
            skipBlanks();
            if (p_ >= end_) {
                if (!open.empty()) fail(QStringLiteral("'end' expected"));
                return;
            }
            const int line = line_;
            const QByteArrayView word = identifier();
            if (!open.empty() && equalsIgnoringCase(word, "end")) {
                open.pop_back();
                continue;
            }
            if (!equalsIgnoringCase(word, "object")) fail(open.empty() ? QStringLiteral("'object' expected") : QStringLiteral("'end' expected"), line);
            if (int(open.size()) >= flowfile::MaxNesting) fail(QStringLiteral("Objects nested too deeply"), line);
            ParsedObject obj{};
            obj.parent = open.empty() ? -1 : open.back();
            obj.line = line;
            header(obj);
            obj.firstProperty = int(properties.size());
            propertyList();
            obj.propertyEnd = int(properties.size());
            open.push_back(int(objects.size()));
            objects.push_back(obj);
        }
    }

private:
    [[noreturn]] void fail(const QString& what, int line = -1)
    {
        throw SyntaxError{QStringLiteral("%1 on line %2").arg(what).arg(line < 0 ? line_ : line)};
    }

    uchar at(qsizetype i) const { return i < end_ ? uchar(text_[i]) : 0; }

    void skipBlanks()
    {
        while (p_ < end_ && uchar(text_[p_]) <= ' ') {
            if (text_[p_] == '\n') ++line_;
            ++p_;
        }
    }

    QByteArrayView identifier()
    {
        if (!isIdentStart(at(p_))) fail(QStringLiteral("Identifier expected"));
        const qsizetype start = p_;
        while (p_ < end_ && isIdentChar(at(p_))) ++p_;
        return text_.sliced(start, p_ - start);
    }

    // "object" [name ":"] class; the name is not kept.
    void header(ParsedObject& obj)
    {
        skipBlanks();
        qsizetype start = p_;
        QByteArrayView name = identifier();
        skipBlanks();
        if (at(p_) == ':') {
            ++p_;
            skipBlanks();
            start = p_;
            name = identifier();
        }
        obj.classOffset = start;
        obj.classLength = name.size();
    }

    bool atKeyword(const char* keyword)
    {
        qsizetype q = p_;
        while (q < end_ && isIdentChar(at(q))) ++q;
        return equalsIgnoringCase(text_.sliced(p_, q - p_), keyword);
    }

    void propertyList()
    {
        for (;;) {
            skipBlanks();
            if (p_ >= end_ || !isIdentStart(at(p_)) || atKeyword("object") || atKeyword("end")) return;
            ParsedProperty prop{};
            prop.line = line_;
            prop.nameOffset = p_;
            identifier();
            skipBlanks();
            while (at(p_) == '.') {  // a dotted name never names one of our properties
                ++p_;
                skipBlanks();
                identifier();
                skipBlanks();
            }
            prop.nameLength = p_ - prop.nameOffset;
            while (prop.nameLength > 0 && uchar(text_[prop.nameOffset + prop.nameLength - 1]) <= ' ') --prop.nameLength;
            if (at(p_) != '=') fail(QStringLiteral("'=' expected"));
            ++p_;
            skipBlanks();
            prop.value = value();
            properties.push_back(prop);
        }
    }

    ParsedValue value()
    {
        const uchar c = at(p_);
        if (p_ >= end_) fail(QStringLiteral("Invalid property value"));
        if (c == '\'' || c == '#') return string();
        if (c == '-' || isDigit(c) || c == '$') return number();
        if (isIdentStart(c)) {
            ParsedValue v;
            v.kind = ValKind::Ident;
            v.offset = p_;
            v.length = identifier().size();
            return v;
        }
        fail(QStringLiteral("Invalid property value"));
    }

    // Pieces follow each other without a blank; "+" joins strings across blanks and lines.
    ParsedValue string()
    {
        ParsedValue v;
        v.kind = ValKind::String;
        v.offset = qsizetype(arena.size());
        for (;;) {
            stringPieces();
            const qsizetype save = p_;
            const int saveLine = line_;
            skipBlanks();
            if (at(p_) != '+' || p_ >= end_) {
                p_ = save;
                line_ = saveLine;
                break;
            }
            ++p_;
            skipBlanks();
            if (at(p_) != '\'' && at(p_) != '#') fail(QStringLiteral("String expected"));
        }
        v.length = qsizetype(arena.size()) - v.offset;
        return v;
    }

    void stringPieces()
    {
        for (;;) {
            const uchar c = at(p_);
            if (p_ >= end_) return;
            if (c == '#') {
                ++p_;
                if (!isDigit(at(p_))) fail(QStringLiteral("Invalid string constant"));
                uint32_t code = 0;
                while (isDigit(at(p_))) {
                    code = code * 10 + (at(p_) - '0');
                    if (code > 0x10FFFF) fail(QStringLiteral("Invalid string constant"));
                    ++p_;
                }
                if (code <= 0xFF) {
                    arena.push_back(char(code));
                } else {
                    const char32_t ch = char32_t(code);
                    const QByteArray bytes = encodeText(QString::fromUcs4(&ch, 1));
                    arena.append(bytes.constData(), size_t(bytes.size()));
                }
            } else if (c == '\'') {
                ++p_;
                for (;;) {
                    if (p_ >= end_ || at(p_) == '\r' || at(p_) == '\n' || at(p_) == 0) fail(QStringLiteral("Invalid string constant"));
                    if (at(p_) == '\'') {
                        ++p_;
                        if (at(p_) != '\'' || p_ >= end_) break;
                    }
                    arena.push_back(char(text_[p_]));
                    ++p_;
                }
            } else {
                return;
            }
        }
    }

    ParsedValue number()
    {
        ParsedValue v;
        const qsizetype start = p_;
        ++p_;
        bool isFloat = false;
        if (text_[start] == '$') {
            while (isHexDigit(at(p_))) ++p_;
        } else {
            while (isDigit(at(p_))) ++p_;
            for (uchar c = at(p_); p_ < end_ && (isDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'); c = at(p_)) {
                isFloat = true;
                ++p_;
            }
        }
        v.offset = start;
        v.length = p_ - start;
        const QByteArrayView token = view(start, v.length);
        long double n = 0;
        const bool valid = numberValue(token, &n);
        if (isFloat) {
            if (!valid || !std::isfinite(n)) fail(QStringLiteral("'%1' is not a valid floating point value").arg(QLatin1String(token)));
            v.kind = ValKind::Float;
            return v;
        }
        if (!valid) fail(QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(token)));
        if (n >= INT32_MIN && n <= INT32_MAX) {
            v.kind = ValKind::Integer;
            v.integer = int32_t(n);
        } else {
            v.kind = ValKind::BigInteger;
        }
        return v;
    }

    QByteArrayView text_;
    qsizetype p_;
    qsizetype end_;
    int line_ = 1;
};

// ---- reader: statements ----

// True when the text equals the name exactly; stops at the first difference.
bool sameName(QByteArrayView text, const char* name)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i)
        if (name[i] != text[i]) return false;  // also stops at the name's end
    return name[n] == '\0';
}

const ClassInfo* findClass(QByteArrayView name)
{
    for (const ClassInfo* info : ClassRegistry::all())
        if (sameName(name, info->className)) return info;
    return ClassRegistry::find(QLatin1String(name.data(), name.size()));
}

const PropertyDesc* findProperty(const ClassInfo& info, QByteArrayView name)
{
    const PropertyList& list = *info.properties();
    for (const PropertyDesc& d : list)
        if (sameName(name, d.name)) return &d;
    for (const PropertyDesc& d : list)
        if (equalsIgnoringCase(name, d.name)) return &d;
    return nullptr;
}

bool toDouble(long double n, double* out)
{
    if (!std::isfinite(n)) return false;
    // A value written with fifteen digits may round just past the largest double.
    if (std::fabs(n) > DBL_MAX) {
        if (std::fabs(n) > static_cast<long double>(DBL_MAX) * (1.0L + 1e-14L)) return false;
        n = n < 0 ? -DBL_MAX : DBL_MAX;
    }
    *out = double(n);
    return true;
}

// The value of a property line as the property's kind takes it; false for a value of the
// wrong kind or an unknown identifier.
bool convertValue(const Parser& parser, const PropertyDesc& d, const ParsedValue& pv, Value* out)
{
    auto ident = [&] { return parser.view(pv.offset, pv.length); };
    switch (d.kind) {
    case PropKind::String:
        if (pv.kind != ValKind::String) return false;
        *out = Value(decodeText(parser.stringBytes(pv)));
        return true;
    case PropKind::Boolean:
        if (pv.kind != ValKind::Ident) return false;
        if (equalsIgnoringCase(ident(), "True")) *out = Value(true);
        else if (equalsIgnoringCase(ident(), "False")) *out = Value(false);
        else return false;
        return true;
    case PropKind::Integer:
        if (pv.kind != ValKind::Integer) return false;
        *out = Value(pv.integer);
        return true;
    case PropKind::Enum:
        if (pv.kind != ValKind::Ident || !d.enumIds) return false;
        for (int i = 0; i < d.enumCount; ++i) {
            if (equalsIgnoringCase(ident(), d.enumIds[i])) {
                *out = Value(int32_t(i));
                return true;
            }
        }
        return false;
    case PropKind::Char: {
        if (pv.kind != ValKind::String) return false;
        const QString s = decodeText(parser.stringBytes(pv));
        if (s.size() == 1) {  // also a kept byte, which toUcs4 would replace
            *out = Value(int32_t(s.at(0).unicode()));
            return true;
        }
        const QList<uint> codes = s.toUcs4();
        if (codes.size() != 1) return false;
        *out = Value(int32_t(codes[0]));
        return true;
    }
    case PropKind::Variant:
        switch (pv.kind) {
        case ValKind::String: *out = Value(decodeText(parser.stringBytes(pv))); return true;
        case ValKind::Integer: *out = Value(pv.integer); return true;
        case ValKind::BigInteger:  // beyond 32 bits: kept as a floating-point number
        case ValKind::Float: {
            long double n = 0;
            double dv = 0;
            if (!numberValue(parser.view(pv.offset, pv.length), &n) || !toDouble(n, &dv)) return false;
            *out = Value(dv);
            return true;
        }
        case ValKind::Ident:
            if (equalsIgnoringCase(ident(), "True")) *out = Value(true);
            else if (equalsIgnoringCase(ident(), "False")) *out = Value(false);
            else return false;
            return true;
        }
        return false;
    }
    return false;
}

QString latin1(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

// The roots stand at the top level, each once, with nothing else beside them; a result variable
// only directly inside IVRVar (a flow makes its own and discards that one). The roots may come in
// any order: the file loads as it stands and is written back so. Checked before any statement is
// made, so a file with a misplaced root never loads half-right. Unknown classes are left to the
// reader, which names them.
bool checkRoots(const Parser& parser, const std::vector<const ClassInfo*>& classes, QString* error)
{
    static const ClassInfo* const roots[] = {&IVRVar::info, &IVRBegin::info, &IVREnd::info};
    auto infoOf = [&](const ParsedObject& obj) { return classes[size_t(&obj - parser.objects.data())]; };
    auto rootIndex = [](const ClassInfo* info) {
        for (int k = 0; k < 3; ++k)
            if (info == roots[k]) return k;
        return -1;
    };
    bool present[3] = {false, false, false};
    for (const ParsedObject& obj : parser.objects)
        if (const int k = rootIndex(infoOf(obj)); k >= 0) present[k] = true;
    for (int k = 0; k < 3; ++k) {
        if (!present[k]) {
            *error = QStringLiteral("The flow file has no %1 object").arg(QLatin1String(roots[k]->className));
            return false;
        }
    }
    bool seen[3] = {false, false, false};
    for (size_t i = 0; i < parser.objects.size(); ++i) {
        const ParsedObject& obj = parser.objects[i];
        const ClassInfo* info = infoOf(obj);
        if (!info) continue;
        const QString name = QLatin1String(info->className);
        const int k = rootIndex(info);
        if (obj.parent >= 0) {
            if (k >= 0) {
                *error = QStringLiteral("%1 object on line %2 stands inside another object").arg(name).arg(obj.line);
                return false;
            }
            if (info == &IVRResult::info) {
                const ParsedObject& parent = parser.objects[size_t(obj.parent)];
                if (parent.parent >= 0 || infoOf(parent) != &IVRVar::info) {
                    *error = QStringLiteral("IVRResult object on line %1 stands outside IVRVar").arg(obj.line);
                    return false;
                }
            }
            continue;
        }
        if (k < 0) {
            *error = QStringLiteral("%1 object on line %2 stands outside IVRVar, IVRBegin and IVREnd")
                         .arg(name)
                         .arg(obj.line);
            return false;
        }
        if (seen[k]) {
            *error = QStringLiteral("A second %1 object on line %2").arg(name).arg(obj.line);
            return false;
        }
        seen[k] = true;
    }
    return true;
}

}  // namespace

namespace flowfile {

QByteArray write(const TIVRFlow& flow)
{
    QByteArray out;
    out.reserve(qsizetype(flow.tree().count()) * 40 + 64);
    const TIVRBase* result = flow.ResultVariant;
    int level = 0;
    // Leaves n (already closed or skipped): the next sibling, closing the parents climbed out of.
    auto advance = [&](const FlowNode* n) -> FlowNode* {
        while (n) {
            if (FlowNode* s = n->nextSibling()) return s;
            n = n->parent();
            if (n) {
                --level;
                writeEnd(out, level);
            }
        }
        return nullptr;
    };
    FlowNode* n = flow.tree().first();
    while (n) {
        const TIVRBase* s = n->statement();
        if (!s || s == result) {  // the result variable is never written
            n = advance(n);
            continue;
        }
        writeHeader(out, *s, level);
        if (FlowNode* c = n->firstChild()) {
            n = c;
            ++level;
            continue;
        }
        writeEnd(out, level);
        n = advance(n);
    }
    return out;
}

bool saveBytes(const QString& fileName, const QByteArray& bytes, QString* error)
{
    return FileSave::replaceContents(fileName, bytes, error, IsChinese);
}

void clear(TIVRFlow& flow)
{
    flow.tree().clear();
    flow.VarRoot = flow.BeginRoot = flow.EndRoot = nullptr;
    flow.PressedNode = nullptr;
    flow.FirstVariant = nullptr;
    flow.ResultVariant = nullptr;
    flow.FirstDataBase = nullptr;
    flow.FirstLabel = nullptr;
    flow.CaptionsStale = false;
}

// A flow file's text taken apart: its objects, their property values and classes.
struct ParsedFlow {
    explicit ParsedFlow(QByteArray bytes) : text(std::move(bytes)), parser(QByteArrayView(text)) {}
    const QByteArray text;
    Parser parser;
    std::vector<const ClassInfo*> classes;  // null for an unknown class
};

std::shared_ptr<const ParsedFlow> parse(QByteArray text, QString* error)
{
    auto parsed = std::make_shared<ParsedFlow>(std::move(text));
    Parser& parser = parsed->parser;
    try {
        parser.parse();
    } catch (const SyntaxError& e) {
        *error = e.message;
        return nullptr;
    }
    std::vector<const ClassInfo*>& classes = parsed->classes;
    classes.resize(parser.objects.size());
    for (size_t i = 0; i < classes.size(); ++i)
        classes[i] = findClass(parser.view(parser.objects[i].classOffset, parser.objects[i].classLength));
    if (!checkRoots(parser, classes, error)) return nullptr;
    return parsed;
}

bool read(TIVRFlow& flow, QByteArrayView text, QString* error)
{
    // The text is only looked at while it is read.
    const auto parsed = parse(QByteArray::fromRawData(text.data(), text.size()), error);
    return parsed && build(flow, *parsed, error);
}

bool build(TIVRFlow& flow, const ParsedFlow& parsed, QString* error)
{
    const Parser& parser = parsed.parser;
    const std::vector<const ClassInfo*>& classes = parsed.classes;
    FlowTree& tree = flow.tree();
    std::vector<FlowNode*> nodes(parser.objects.size(), nullptr);
    std::vector<char> dropped(parser.objects.size(), 0);
    std::vector<FlowNode*> treeOrder;  // every node made, in tree order
    treeOrder.reserve(parser.objects.size() + 1);
    for (size_t i = 0; i < parser.objects.size(); ++i) {
        const ParsedObject& obj = parser.objects[i];
        if (obj.parent >= 0 && dropped[size_t(obj.parent)]) {  // inside a discarded result variable
            dropped[i] = 1;
            continue;
        }
        const QByteArrayView className = parser.view(obj.classOffset, obj.classLength);
        const ClassInfo* info = classes[i];
        if (!info) {
            *error = QStringLiteral("Class %1 not found on line %2").arg(latin1(className)).arg(obj.line);
            return false;
        }
        std::unique_ptr<TIVRBase> statement(info->create(&flow));
        for (int k = obj.firstProperty; k < obj.propertyEnd; ++k) {
            const ParsedProperty& prop = parser.properties[size_t(k)];
            const QByteArrayView name = parser.view(prop.nameOffset, prop.nameLength);
            const PropertyDesc* d = findProperty(*info, name);
            if (!d || !d->set) {
                *error = QStringLiteral("Error reading %1.%2 on line %3: Property %2 does not exist")
                             .arg(QLatin1String(info->className), latin1(name))
                             .arg(prop.line);
                return false;
            }
            Value v;
            if (d->kind == PropKind::Integer && prop.value.kind == ValKind::Integer &&
                (prop.value.integer < d->minValue || prop.value.integer > d->maxValue)) {
                *error = QStringLiteral("Error reading %1.%2 on line %3: %4 is out of range %5..%6")
                             .arg(QLatin1String(info->className), QLatin1String(d->name))
                             .arg(prop.line)
                             .arg(prop.value.integer)
                             .arg(d->minValue)
                             .arg(d->maxValue);
                return false;
            }
            if (!convertValue(parser, *d, prop.value, &v)) {
                *error = QStringLiteral("Error reading %1.%2 on line %3: Invalid property value")
                             .arg(QLatin1String(info->className), QLatin1String(d->name))
                             .arg(prop.line);
                return false;
            }
            d->set(*statement, v);
        }
        // A mark where the runner never stops (an arm, a root, a declaration) is dropped.
        if (statement->breakPoint() && !TIVRFlow::canHoldBreakPoint(*statement)) statement->setBreakPoint(false);
        if (info == &IVRResult::info) {  // the flow makes its own
            statement.reset();
            dropped[i] = 1;
            continue;
        }
        TIVRBase* s = statement.get();
        FlowNode* node = tree.addLast(obj.parent >= 0 ? nodes[size_t(obj.parent)] : nullptr, std::move(statement));
        nodes[i] = node;
        treeOrder.push_back(node);
        const uint32_t flags = s->GetTypeSet();
        if (flags & tfVarRoot) {
            flow.VarRoot = node;
            auto result = std::make_unique<IVRResult>(&flow);
            result->Name = result->GetTypeName();
            flow.ResultVariant = result.get();
            flow.AddVariant(result.get());
            const QString resultText = result->GetTypeName();
            treeOrder.push_back(tree.addLast(node, std::move(result), resultText));
        } else if (flags & tfBeginRoot) {
            flow.BeginRoot = node;
        } else if (flags & tfEndRoot) {
            flow.EndRoot = node;
        } else if (flags & tfVariable) {
            flow.AddVariant(static_cast<IVRVariant*>(s));
        } else if (flags & tfDataBase) {
            flow.AddDataBase(static_cast<IVRDataBase*>(s));
        } else if (flags & tfLabel) {
            flow.AddLabel(static_cast<IVRLabel*>(s));
        }
    }
    // A discarded result variable marks the captions stale; nothing refers to it.
    flow.CaptionsStale = false;

    for (size_t i = 0; i < treeOrder.size(); ++i) {
        // The statements lie far apart in a large flow: ask for the next ones early.
        if (i + 16 < treeOrder.size()) __builtin_prefetch(treeOrder[i + 16]);
        if (i + 8 < treeOrder.size()) __builtin_prefetch(treeOrder[i + 8]->statement());
        FlowNode* n = treeOrder[i];
        TIVRBase* s = n->statement();
        s->BuildLink();
        if (flow.bDebug()) tree.setText(n, s->GetNodeText());
    }
    return true;
}

}  // namespace flowfile

// ---- the flow document's file operations ----

namespace {

QString systemError(int code)
{
    const QString text = systemErrorText(code, IsChinese);
    return text.isEmpty() ? QStringLiteral("error %1").arg(code) : text;
}

// The whole flow file. A name that is no regular file (a device that never ends, a pipe, a
// folder) is refused before anything is read from it, and opening never waits for a pipe's writer.
bool readFlowFile(const QString& fileName, QByteArray* bytes, QString* error, struct stat* read)
{
    const QByteArray native = QFile::encodeName(fileName);
    struct stat& st = *read;
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = txt::NotRegularFile;
        return false;
    }
    int fd;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    // The name may have been given to something else since the first look.
    if (::fstat(fd, &st) != 0) {
        *error = systemError(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = txt::NotRegularFile;
        ::close(fd);
        return false;
    }
    // Read straight into one buffer of the file's size (a file that grew meanwhile is read to
    // its end): a console loads the flow once for each channel it starts.
    QByteArray data(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size()) data.resize(data.size() * 2);
        const ssize_t got = ::read(fd, data.data() + filled, size_t(data.size() - filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = systemError(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        filled += got;
    }
    ::close(fd);
    data.truncate(filled);
    *bytes = std::move(data);
    return true;
}

}  // namespace

namespace {
// What tells one state of a file from another: a write changes its change time (and mostly its
// size or modification time), a replacement its inode.
FlowFileCache::Identity identityOf(const struct stat& st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}
}  // namespace

std::shared_ptr<const flowfile::ParsedFlow> FlowFileCache::find(const QString& fileName)
{
    const auto it = entries_.find(fileName);
    if (it == entries_.end()) return nullptr;
    struct stat st{};
    if (::stat(QFile::encodeName(fileName).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        identityOf(st) == it->second.identity)
        return it->second.parsed;
    entries_.erase(it);
    return nullptr;
}

void FlowFileCache::keep(const QString& fileName, const struct stat& st,
                         std::shared_ptr<const flowfile::ParsedFlow> parsed)
{
    // A file changed in the last second may change again within the same tick of the file
    // system's clock, unseen: it is read again next time.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const qint64 nowNs = qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    const Identity identity = identityOf(st);
    if (nowNs - std::max(identity.modifiedNs, identity.changedNs) < 1000000000) return;
    entries_[fileName] = Entry{identity, std::move(parsed)};
}

bool FlowFileCache::holds(const QString& fileName) const
{
    return entries_.count(fileName) != 0;
}

bool TIVRFlow::LoadFromFile(const QString& fileName, QString* error, FlowFileCache* cache)
{
    // Every message names the file: a program may load several.
    const QString named = QDir::toNativeSeparators(fileName) + QStringLiteral(": ");
    QString message;
    std::shared_ptr<const flowfile::ParsedFlow> parsed = cache ? cache->find(fileName) : nullptr;
    if (!parsed) {
        FileSave::recover(fileName);  // a save in place that was cut off gets the old flow back
        QByteArray text;
        QString reason;
        struct stat st{};
        if (!readFlowFile(fileName, &text, &reason, &st)) {
            message = txt::FileCannotOpen + kLineBreak + named + reason;
        } else {
            QString readError;
            parsed = flowfile::parse(std::move(text), &readError);
            if (!parsed)
                message = txt::ReadFileError + kLineBreak + named + readError;
            else if (cache)
                cache->keep(fileName, st, parsed);
        }
    }
    if (parsed) {
        QString readError;
        if (flowfile::build(*this, *parsed, &readError))
            FileName = fileName;
        else
            message = txt::ReadFileError + kLineBreak + named + readError;
    }
    if (error) *error = message;
    return message.isEmpty();
}

bool TIVRFlow::SaveToFile(QString* error)
{
    QString message;
    if (!flowfile::saveBytes(FileName, flowfile::write(*this), &message)) {
        if (error) *error = txt::SaveFileError + kLineBreak + message;
        return false;
    }
    if (error) error->clear();
    FlowName = FileName;
    if (OnModify) OnModify(false);
    return true;
}

bool TIVRFlow::SaveAs(const QString& fileName, QString* error)
{
    const QString oldName = FileName;
    FileName = fileName;
    if (SaveToFile(error)) return true;
    // Relative wave and database paths and the next save keep pointing at the old place.
    FileName = oldName;
    return false;
}
