#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The one 8-bit code page of the system (GBK) at byte boundaries: files, byte lengths and byte
// positions. A GBK character is one byte (ASCII, and 0x80 for the euro sign) or two bytes (a lead
// byte 0x81..0xFE and a trail byte 0x40..0xFE other than 0x7F).
//
// Every function is thread-safe; each call uses converters of its own.
namespace CodePage {

// A character that GBK cannot encode becomes one '?' (one per code point, so a character outside
// the Basic Multilingual Plane gives a single '?').
QByteArray encode(const QString& text);
// Bytes that are not valid GBK become U+FFFD; a lead byte cut off at the end gives one U+FFFD too,
// so no byte is dropped silently.
QString decode(QByteArrayView bytes);

// The same pair for files that must come back byte for byte: a byte that is not part of a valid
// GBK character (a Western text, a damaged file) becomes the reserved character U+DC00 + byte (a
// lone low surrogate, which no decoding yields), and the encoder turns each reserved character
// back into its byte. So encodeKeepingBytes(decodeKeepingBytes(b)) == b for all bytes b.
QString decodeKeepingBytes(QByteArrayView bytes);
QByteArray encodeKeepingBytes(const QString& text);

// The length of the text in GBK bytes.
qsizetype byteLength(const QString& text);

// Returns the number of bytes, at most maxBytes, that ends on a character boundary: when
// maxBytes falls inside a double-byte character, the cut is one byte earlier. 'bytes' must begin
// on a character boundary.
qsizetype safeCutLength(QByteArrayView bytes, qsizetype maxBytes);
// The first at most maxBytes bytes, never ending inside a double-byte character.
QByteArray safeCut(QByteArrayView bytes, qsizetype maxBytes);
// The longest start of the text whose GBK form has at most maxBytes bytes.
QString safeCut(const QString& text, qsizetype maxBytes);

// The characters whose bytes lie wholly inside the byte range [index, index + count) of the
// text's GBK form, index 1-based. A range that begins on the trail byte of a double-byte
// character starts after that character; one that ends on a lead byte stops before it. So the
// result never holds more than 'count' bytes and never half a character. An index below 1 counts
// from 1, a range past the end stops at the end, and a count of 0 or less or an index beyond the
// end gives an empty text.
QString byteMid(const QString& text, qsizetype index, qsizetype count);

}  // namespace CodePage
