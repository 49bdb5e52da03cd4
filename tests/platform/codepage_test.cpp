#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(CodePage, EncodesGbkAndReplacesWhatGbkCannotHold)
{
    EXPECT_EQ(CodePage::encode(u("a中文€")), QByteArray::fromHex("61d6d0cec480"));
    // One '?' per character, also for one outside the BMP and for a lone surrogate.
    EXPECT_EQ(CodePage::encode(u("x😀y")), QByteArray("x?y"));
    EXPECT_EQ(CodePage::encode(QString(QChar(0xD800)) + QStringLiteral("z")), QByteArray("?z"));
    EXPECT_EQ(CodePage::decode(QByteArray::fromHex("61d6d0cec480")), u("a中文€"));
}

TEST(CodePage, DecodingNeverDropsBytes)
{
    // A lead byte cut off at the end and a lead byte with an invalid trail each leave a mark.
    EXPECT_EQ(CodePage::decode(QByteArray::fromHex("61d6")), u("a\xEF\xBF\xBD"));
    EXPECT_EQ(CodePage::decode(QByteArray::fromHex("d60a41")), u("\xEF\xBF\xBD\nA"));
    EXPECT_EQ(CodePage::decode(QByteArray()), QString());
}

TEST(CodePage, BytesThatAreNotGbkAreKeptThroughDecodingAndEncoding)
{
    const struct {
        const char* hex;
        const char* text;  // UTF-8; a kept byte shows as \uDCxx below
        const char16_t* kept;  // the same text when it holds kept bytes
    } cases[] = {
        {"61d6d0cec480", "a中文€", nullptr},           // valid: as decode gives it
        {"636166e920", nullptr, u"caf\xDCE9 "},        // Western é before a blank
        {"ff", "\xEF\xA3\xB5", nullptr},               // the code page's own private character
        {"6162d6", nullptr, u"ab\xDCD6"},              // lead byte cut off at the end
        {"a17f41", nullptr, u"\xDCA1\x7F" "A"},       // lead byte with an invalid trail
        {"d6d0e92080", nullptr, u"中\xDCE9 €"},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = QByteArray::fromHex(c.hex);
        const QString expected = c.kept ? QString(reinterpret_cast<const QChar*>(c.kept)) : u(c.text);
        EXPECT_EQ(CodePage::decodeKeepingBytes(bytes), expected) << c.hex;
        EXPECT_EQ(CodePage::encodeKeepingBytes(expected), bytes) << c.hex;
    }
    // Every single byte and every pair of a lead byte with any second byte comes back as it was.
    for (int first = 0; first <= 0xFF; ++first) {
        QByteArray one(1, char(first));
        ASSERT_EQ(CodePage::encodeKeepingBytes(CodePage::decodeKeepingBytes(one)), one) << first;
        if (first < 0x81 || first == 0xFF)
            continue;
        for (int second = 0; second <= 0xFF; ++second) {
            const QByteArray two = QByteArray(one).append(char(second));
            ASSERT_EQ(CodePage::encodeKeepingBytes(CodePage::decodeKeepingBytes(two)), two) << first << "," << second;
        }
    }
    // Only a lone reserved character is a byte: the low half of a real pair is not.
    EXPECT_EQ(CodePage::encodeKeepingBytes(u("x💀y")), QByteArray("x?y"));
    EXPECT_EQ(CodePage::encodeKeepingBytes(QString(QChar(0xDC41))), QByteArray("?"));
}

TEST(CodePage, ByteLengths)
{
    const struct {
        const char* text;
        qsizetype bytes;
    } cases[] = {
        {"", 0}, {"abc", 3}, {"中文", 4}, {"a中b", 4}, {"€", 1}, {"😀", 1}, {"ＡＢ", 4}, {"\r\n", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodePage::byteLength(u(c.text)), c.bytes) << c.text;
}

// Every double-byte code of the table decodes to one character that encodes to two bytes again:
// the character walk and the encoder agree over the whole code page.
TEST(CodePage, EveryDoubleByteCodeIsOneCharacterOfTwoBytes)
{
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            QByteArray bytes;
            bytes.append(char(lead)).append(char(trail));
            const QString text = CodePage::decode(bytes);
            ASSERT_EQ(text.size(), 1) << bytes.toHex().constData();
            if (text.at(0) == QChar::ReplacementCharacter)
                continue;
            ASSERT_EQ(CodePage::byteLength(text), 2) << bytes.toHex().constData();
            ASSERT_EQ(CodePage::safeCut(text + QStringLiteral("x"), 2), text);
            ASSERT_EQ(CodePage::safeCut(text + QStringLiteral("x"), 1), QString());
        }
    }
}

TEST(CodePage, SafeCutNeverSplitsADoubleByteCharacter)
{
    const QByteArray bytes = CodePage::encode(u("a中文b"));  // 61 d6d0 cec4 62
    const struct {
        qsizetype max;
        qsizetype cut;
    } cases[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 1}, {3, 3}, {4, 3}, {5, 5}, {6, 6}, {100, 6}};
    for (const auto& c : cases) {
        EXPECT_EQ(CodePage::safeCutLength(bytes, c.max), c.cut) << c.max;
        EXPECT_EQ(CodePage::safeCut(QByteArrayView(bytes), c.max), bytes.left(c.cut)) << c.max;
    }
    // A trail byte that looks like ASCII ('@' is 0x40, '[' 0x5B) belongs to its lead byte.
    const QByteArray tricky = QByteArray::fromHex("81408a5b41");
    EXPECT_EQ(CodePage::safeCutLength(tricky, 1), 0);
    EXPECT_EQ(CodePage::safeCutLength(tricky, 3), 2);
    EXPECT_EQ(CodePage::safeCutLength(tricky, 4), 4);

    EXPECT_EQ(CodePage::safeCut(u("a中文b"), 2), u("a"));
    EXPECT_EQ(CodePage::safeCut(u("a中文b"), 3), u("a中"));
    EXPECT_EQ(CodePage::safeCut(u("a中文b"), 6), u("a中文b"));
    EXPECT_EQ(CodePage::safeCut(u("😀中"), 2), u("😀"));  // the '?' takes one byte
}

TEST(CodePage, ByteMidGivesWholeCharactersInsideTheRange)
{
    // Bytes: a=1 b=2 中=3,4 文=5,6 c=7 d=8.
    const QString text = u("ab中文cd");
    const struct {
        qsizetype index;
        qsizetype count;
        const char* expected;
    } cases[] = {
        {1, 2, "ab"},     {3, 2, "中"},   {3, 4, "中文"}, {7, 10, "cd"}, {5, 100, "文cd"},
        {3, 1, ""},       // ends on the lead byte of 中
        {2, 2, "b"},      // the same
        {4, 2, ""},       // begins on the trail byte of 中, ends on the lead byte of 文
        {4, 3, "文"},     // begins on the trail byte of 中
        {9, 1, ""},       {100, 5, ""},   {0, 2, "ab"},   {-5, 1, "a"},  {1, 0, ""},   {1, -1, ""},
        {1, 8, "ab中文cd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodePage::byteMid(text, c.index, c.count), u(c.expected)) << c.index << "," << c.count;

    // A character GBK cannot hold counts one byte and comes back as itself.
    EXPECT_EQ(CodePage::byteMid(u("x😀y"), 2, 2), u("😀y"));
    EXPECT_EQ(CodePage::byteMid(QString(), 1, 1), QString());
}

}  // namespace
