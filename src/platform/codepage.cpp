#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {
namespace {

constexpr const char* kName = "GBK";

bool isLead(uchar c) { return c >= 0x81 && c <= 0xFE; }
bool isTrail(uchar c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Bytes of the character that starts at i: 2 for a lead byte with a valid trail byte, else 1
// (a lead byte without its trail stands alone, as the decoder treats it).
qsizetype charBytes(QByteArrayView bytes, qsizetype i)
{
    if (isLead(uchar(bytes[i])) && i + 1 < bytes.size() && isTrail(uchar(bytes[i + 1])))
        return 2;
    return 1;
}

// Length in UTF-16 units of the code point that starts at i.
qsizetype codePointUnits(const QString& text, qsizetype i)
{
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return 2;
    return 1;
}

// Walks the text and its GBK form together (the encoder turns every code point into exactly one
// GBK character) and calls visit(byte offset, byte count, unit offset, unit count) for each
// character. Returns false if the two forms ever disagree.
template <typename Visit>
bool walk(const QString& text, QByteArrayView bytes, Visit visit)
{
    qsizetype b = 0;
    qsizetype u = 0;
    while (u < text.size() && b < bytes.size()) {
        const qsizetype nb = charBytes(bytes, b);
        const qsizetype nu = codePointUnits(text, u);
        if (!visit(b, nb, u, nu))
            return true;
        b += nb;
        u += nu;
    }
    return u == text.size() && b == bytes.size();
}

}  // namespace

QByteArray encode(const QString& text)
{
    QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString decode(QByteArrayView bytes)
{
    // The decoder keeps a lead byte at the very end back as the start of a character that never
    // comes; give it a replacement character instead of losing it.
    qsizetype whole = 0;
    while (whole < bytes.size()) {
        const qsizetype n = charBytes(bytes, whole);
        if (n == 1 && whole + 1 == bytes.size() && isLead(uchar(bytes[whole])))
            break;
        whole += n;
    }
    QStringDecoder decoder(kName, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes.first(whole));
    if (whole < bytes.size())
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

namespace {

constexpr char16_t kKeptByteBase = 0xDC00;

bool isKeptByte(const QString& text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    return c >= kKeptByteBase + 0x80 && c <= kKeptByteBase + 0xFF && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

}  // namespace

QString decodeKeepingBytes(QByteArrayView bytes)
{
    QString text = decode(bytes);
    if (!text.contains(QChar(QChar::ReplacementCharacter)) && encode(text) == bytes)
        return text;
    // Character by character: each one that does not come back as itself is kept as its bytes.
    text.clear();
    QStringDecoder decoder(kName, QStringConverter::Flag::Stateless);
    QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80) {
            text += QChar(c);
            ++i;
            continue;
        }
        const QByteArrayView one = bytes.sliced(i, charBytes(bytes, i));
        const QString decoded = decoder.decode(one);
        if (!decoded.isEmpty() && !decoded.contains(QChar(QChar::ReplacementCharacter)) &&
            QByteArray(encoder.encode(decoded)) == one) {
            text += decoded;
            i += one.size();
        } else {
            text += QChar(char16_t(kKeptByteBase + c));
            ++i;
        }
    }
    return text;
}

QByteArray encodeKeepingBytes(const QString& text)
{
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isKeptByte(text, i))
            continue;
        out += encode(text.sliced(from, i - from));
        out += char(text.at(i).unicode() - kKeptByteBase);
        from = i + 1;
    }
    if (from == 0)
        return encode(text);
    out += encode(text.sliced(from));
    return out;
}

qsizetype byteLength(const QString& text) { return encode(text).size(); }

qsizetype safeCutLength(QByteArrayView bytes, qsizetype maxBytes)
{
    const qsizetype limit = qMin(maxBytes, bytes.size());
    qsizetype pos = 0;
    while (pos < limit) {
        const qsizetype n = charBytes(bytes, pos);
        if (pos + n > limit)
            break;
        pos += n;
    }
    return pos;
}

QByteArray safeCut(QByteArrayView bytes, qsizetype maxBytes)
{
    return bytes.first(safeCutLength(bytes, maxBytes)).toByteArray();
}

QString safeCut(const QString& text, qsizetype maxBytes)
{
    const QByteArray bytes = encode(text);
    if (bytes.size() <= maxBytes)
        return text;
    qsizetype units = 0;
    const bool consistent = walk(text, bytes, [&](qsizetype b, qsizetype nb, qsizetype u, qsizetype nu) {
        if (b + nb > maxBytes)
            return false;
        units = u + nu;
        return true;
    });
    if (!consistent)
        return decode(safeCut(QByteArrayView(bytes), maxBytes));
    return text.left(units);
}

QString byteMid(const QString& text, qsizetype index, qsizetype count)
{
    if (index < 1)
        index = 1;
    if (count <= 0)
        return {};
    const QByteArray bytes = encode(text);
    const qsizetype start = index - 1;
    if (start >= bytes.size())
        return {};
    const qsizetype end = count > bytes.size() - start ? bytes.size() : start + count;

    qsizetype firstUnit = -1;
    qsizetype endUnit = -1;
    qsizetype firstByte = -1;
    qsizetype endByte = -1;
    const bool consistent = walk(text, bytes, [&](qsizetype b, qsizetype nb, qsizetype u, qsizetype nu) {
        if (b + nb > end)
            return false;
        if (b >= start) {
            if (firstUnit < 0) {
                firstUnit = u;
                firstByte = b;
            }
            endUnit = u + nu;
            endByte = b + nb;
        }
        return true;
    });
    if (firstUnit < 0)
        return {};
    if (!consistent)
        return decode(QByteArrayView(bytes).sliced(firstByte, endByte - firstByte));
    return text.mid(firstUnit, endUnit - firstUnit);
}

}  // namespace CodePage
