#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QStringEncoder>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "support/files.h"
#include "support/unprivileged.h"

namespace {

using testfiles::bytesOf;
using testfiles::writeFile;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
QByteArray gbk(const char* utf8) { return CodePage::encode(QString::fromUtf8(utf8)); }

QString fixture(const char* name) { return QStringLiteral(SORVIX_FIXTURES "/ini/") + QLatin1String(name); }

// The long value of the fixture, longer than any fixed read buffer.
QString longValue() { return QStringLiteral("0123456789").repeated(30) + u("中文").repeated(100); }

// A copy of a fixture in a folder of its own, for the tests that write.
class IniCopy {
public:
    explicit IniCopy(const char* name)
    {
        path = dir.filePath(QLatin1String(name));
        QFile::copy(fixture(name), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    QTemporaryDir dir;
    QString path;
};

TEST(IniFile, ReadsByTheClassicRules)
{
    const struct {
        const char* section;
        const char* key;
        const char* expected;  // "<default>" for the default text
    } cases[] = {
        {"General", "Name", "Alpha"},
        {"general", "NAME", "Alpha"},                 // names without regard to case
        {"  General\t", " Name ", "Alpha"},           // blanks around the names asked for
        {"General", "Spaced", "padded value"},        // blanks around name and value in the file
        {"General", "Quoted", "  inner  "},           // double quotes removed, blanks inside kept
        {"General", "Single", "x y"},                 // single quotes removed
        {"General", "Mismatched", "\"abc'"},          // quotes that don't match stay
        {"General", "LoneQuote", "\""},
        {"General", "Empty", ""},                     // present but empty: not the default
        {"General", "Url", "http://host/a=b"},        // the first '=' ends the key
        {"General", "NoEqualsLine", "<default>"},     // a line without '=' is no key
        {"General", "Hidden", "<default>"},           // commented out
        {"General", "; Hidden", "<default>"},
        {"General", "Dup", "first"},                  // the first of equal keys
        {"General", "Later", "<default>"},            // only the first of equal sections counts
        {"General", "Orphan", "<default>"},           // keys before any section belong to none
        {"Empty Section", "Name", "<default>"},
        {"Blank Section", "Key", "in blank section"}, // blanks inside the brackets
        {"中文", "城市", "北京"},                     // GBK names and values
        {"中文", "名字", "张三"},
        {"Missing", "Name", "<default>"},
        {"General", "Missing", "<default>"},
        {"", "Name", "<default>"},
    };
    const QString path = fixture("profile.ini");
    for (const auto& c : cases) {
        const QString expected = qstrcmp(c.expected, "<default>") == 0 ? u("5") : u(c.expected);
        EXPECT_EQ(IniFile::readString(path, u(c.section), u(c.key), u("5")), expected)
            << c.section << " / " << c.key;
    }
}

TEST(IniFile, ReadsLongValuesWhole)
{
    const QString value = IniFile::readString(fixture("profile.ini"), u("General"), u("Long"), QString());
    EXPECT_EQ(value, longValue());
    EXPECT_GT(CodePage::byteLength(value), 255);
}

TEST(IniFile, ReadsLineFeedOnlyFilesAndMissingFiles)
{
    EXPECT_EQ(IniFile::readString(fixture("unix.ini"), u("section"), u("a"), u("x")), u("1"));
    EXPECT_EQ(IniFile::readString(fixture("unix.ini"), u("Section"), u("B"), u("x")), u("2"));
    EXPECT_EQ(IniFile::readString(fixture("no-such.ini"), u("Section"), u("a"), u("dflt")), u("dflt"));
    // A last line that ends in CR alone.
    EXPECT_EQ(IniFile::valueIn("[S]\r\na=1\r", u("S"), u("a")), u("1"));
    EXPECT_EQ(IniFile::withValue("[S]\r\na=1\r", u("S"), u("b"), u("2")), QByteArray("[S]\r\na=1\r\nb=2\r\n"));
    EXPECT_EQ(IniFile::withValue("[S]\r\na=1\r", u("T"), u("b"), u("2")), QByteArray("[S]\r\na=1\r\n[T]\r\nb=2\r\n"));
}

// Each write must change exactly the bytes shown and keep every other byte of the file.
TEST(IniFile, WritesInPlaceAndKeepsTheRestOfTheFile)
{
    const struct {
        const char* file;
        const char* section;
        const char* key;
        const char* value;
        QByteArray from;  // the first occurrence of these bytes...
        QByteArray to;    // ...becomes these
    } cases[] = {
        {"profile.ini", "General", "Name", "Gamma", "Name=Alpha\r\n", "Name=Gamma\r\n"},
        // The key keeps its spelling and the blanks before the value.
        {"profile.ini", " general ", "SPACED", "new", "  Spaced   =   padded value   \r\n", "  Spaced   =   new\r\n"},
        {"profile.ini", "General", "quoted", "plain", "Quoted = \"  inner  \"\r\n", "Quoted = plain\r\n"},
        // The first of equal keys is replaced, the second stays.
        {"profile.ini", "General", "DUP", "third", "Dup=first\r\ndup=second\r\n", "Dup=third\r\ndup=second\r\n"},
        {"profile.ini", "General", "Name", "", "Name=Alpha\r\n", "Name=\r\n"},
        // A new key goes after the section's last key, before the comment that follows it.
        {"profile.ini", "General", "NewKey", "v", "dup=second\r\n", "dup=second\r\nNewKey=v\r\n"},
        {"profile.ini", "empty section", "K", "v", "[Empty Section]\r\n", "[Empty Section]\r\nK=v\r\n"},
        {"profile.ini", "中文", "城市", "上海", gbk("城市=北京\r\n"), gbk("城市=上海\r\n")},
        {"profile.ini", "中文", "区号", "021", gbk("名字 = \"张三\"\r\n"), gbk("名字 = \"张三\"\r\n区号=021\r\n")},
        // A new section goes at the end.
        {"profile.ini", " Fresh ", " K ", "v", "Name=Beta\r\n", "Name=Beta\r\n[Fresh]\r\nK=v\r\n"},
        // Lines of an LF file keep their LF; a last line without a line end gets one first.
        {"unix.ini", "Section", "a", "9", "a=1\n", "a=9\n"},
        {"unix.ini", "Section", "b", "7", "b = 2", "b = 7"},
        {"unix.ini", "Section", "c", "3", "b = 2", "b = 2\nc=3\n"},
        {"unix.ini", "New", "k", "v", "b = 2", "b = 2\n[New]\nk=v\n"},
        // Writing the value that is there changes nothing.
        {"profile.ini", "General", "Name", "Alpha", "Name=Alpha\r\n", "Name=Alpha\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.section + " / " + c.key);
        IniCopy copy(c.file);
        QByteArray expected = bytesOf(copy.path);
        const qsizetype at = expected.indexOf(c.from);
        ASSERT_GE(at, 0);
        expected.replace(at, c.from.size(), c.to);

        QString error = u("unset");
        ASSERT_TRUE(IniFile::writeString(copy.path, u(c.section), u(c.key), u(c.value), false, &error)) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(bytesOf(copy.path), expected);
        EXPECT_EQ(IniFile::readString(copy.path, u(c.section), u(c.key), u("<none>")), u(c.value));
    }
}

TEST(IniFile, CreatesAMissingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u("new.ini"));
    ASSERT_TRUE(IniFile::writeString(path, u("S"), u("K"), u("V"), false));
    ASSERT_TRUE(IniFile::writeString(path, u("S"), u("L"), u("长值"), false));
    EXPECT_EQ(bytesOf(path), QByteArray("[S]\r\nK=V\r\n") + gbk("L=长值\r\n"));
}

TEST(IniFile, WritesLongValuesWhole)
{
    IniCopy copy("profile.ini");
    const QString value = longValue().repeated(10);
    ASSERT_TRUE(IniFile::writeString(copy.path, u("General"), u("Long"), value, false));
    EXPECT_EQ(IniFile::readString(copy.path, u("General"), u("Long"), QString()), value);
}

TEST(IniFile, KeepsTheFileModeOnRewrite)
{
    IniCopy copy("unix.ini");
    const QByteArray path = QFile::encodeName(copy.path);
    ASSERT_EQ(::chmod(path.constData(), 0640), 0);
    ASSERT_TRUE(IniFile::writeString(copy.path, u("Section"), u("a"), u("2"), false));
    struct stat status;
    ASSERT_EQ(::stat(path.constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(copy.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u("unix.ini")});
}

// A name or value that would add lines or keys of its own is refused, and the file stays as it was.
TEST(IniFile, RefusesNamesAndValuesThatWouldInjectLines)
{
    const struct {
        const char* section;
        const char* key;
        const char* value;
        const char* english;
    } cases[] = {
        {"General", "Name", "x\r\n[Evil]\r\nk=v", "The INI value must not hold a line break or a zero character."},
        {"General", "Name", "x\nEvil=1", "The INI value must not hold a line break or a zero character."},
        {"General", "Name", "x\r", "The INI value must not hold a line break or a zero character."},
        {"General", "Name\nEvil", "1", "The INI key name must not hold a line break or a zero character."},
        {"General]\r\n[Evil", "Name", "1", "The INI section name must not hold a line break or a zero character."},
        {"General", "Na=me", "1", "The INI key name must not hold \"=\" nor begin with \"[\" or \";\"."},
        {"General", "[Evil]", "1", "The INI key name must not hold \"=\" nor begin with \"[\" or \";\"."},
        {"General", " ;Name", "1", "The INI key name must not hold \"=\" nor begin with \"[\" or \";\"."},
        {"Gen]eral", "Name", "1", "The INI section name must not hold \"]\"."},
        {"  ", "Name", "1", "The INI section name is empty."},
        {"General", "\t", "1", "The INI key name is empty."},
    };
    IniCopy copy("profile.ini");
    const QByteArray before = bytesOf(copy.path);
    const QString missing = copy.dir.filePath(u("missing.ini"));
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(IniFile::writeString(copy.path, u(c.section), u(c.key), u(c.value), false, &error));
        EXPECT_EQ(error, u(c.english));
        EXPECT_FALSE(IniFile::writeString(missing, u(c.section), u(c.key), u(c.value), false));
    }
    // A zero character would end the text for a C caller: refused as well.
    QString error;
    EXPECT_FALSE(IniFile::writeString(copy.path, u("General"), u("Name"), QString(u("a")) + QChar(0) + u("b"), false, &error));
    EXPECT_FALSE(IniFile::writeString(copy.path, u("General"), u("Name"), u("a\nb"), true, &error));
    EXPECT_EQ(error, u("INI 值中不能含有换行符或零字符。"));

    EXPECT_EQ(bytesOf(copy.path), before);
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(IniFile, ReportsSystemErrorsInTheLanguageAskedFor)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(u("plain.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct {
        QString path;
        const char* english;
        const char* chinese;
    } cases[] = {
        {dir.filePath(u("no-folder/x.ini")), "No such file or directory", "没有那个文件或目录"},
        {dir.path(), "Is a directory", "是一个目录"},
        {dir.filePath(u("plain.txt/x.ini")), "Not a directory", "不是目录"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(IniFile::writeString(c.path, u("S"), u("K"), u("V"), false, &error));
        EXPECT_EQ(error, u(c.english));
        EXPECT_FALSE(IniFile::writeString(c.path, u("S"), u("K"), u("V"), true, &error));
        EXPECT_EQ(error, u(c.chinese));
    }
}

TEST(IniFile, AReadOnlyFileIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    IniCopy copy("unix.ini");
    QFile::setPermissions(copy.path, QFile::ReadOwner);
    const QByteArray before = bytesOf(copy.path);
    QString error;
    EXPECT_FALSE(IniFile::writeString(copy.path, u("Section"), u("a"), u("2"), false, &error));
    EXPECT_EQ(error, u("Permission denied"));
    EXPECT_EQ(bytesOf(copy.path), before);
}

QByteArray utf16(const char* utf8, bool littleEndian)
{
    QStringEncoder encode(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE);
    return QByteArray(littleEndian ? "\xFF\xFE" : "\xFE\xFF", 2) + QByteArray(encode(QString::fromUtf8(utf8)));
}

// A file with a byte-order mark is read and written in its encoding, the mark kept and the first
// section found behind it; a file without one is GBK. Lines added end as the file's lines do.
TEST(IniFile, KeepsTheFilesEncodingAndLineEnds)
{
    const QByteArray bom8("\xEF\xBB\xBF");
    const struct {
        const char* name;
        QByteArray before;
        const char* section;
        const char* key;
        const char* value;
        QByteArray after;
    } cases[] = {
        {"utf-8 mark, value replaced", bom8 + "[城市]\r\n名=北京\r\n", "城市", "名", "上海", bom8 + "[城市]\r\n名=上海\r\n"},
        {"utf-8 mark, key added", bom8 + "[S]\nk=1\n", "s", "新", "值", bom8 + "[S]\nk=1\n新=值\n"},
        {"utf-8 mark, section added", bom8 + "[S]\r\nk=1", "T", "k", "2", bom8 + "[S]\r\nk=1\r\n[T]\r\nk=2\r\n"},
        {"utf-16 LE mark", utf16("[段]\r\n键=一\r\n", true), "段", "键", "二", utf16("[段]\r\n键=二\r\n", true)},
        {"utf-16 LE mark, key added", utf16("[段]\n键=一\n", true), "段", "新", "三", utf16("[段]\n键=一\n新=三\n", true)},
        {"utf-16 BE mark", utf16("[段]\r\n键=一\r\n", false), "段", "键", "二", utf16("[段]\r\n键=二\r\n", false)},
        {"gbk, LF", gbk("[段]\n键=一\n"), "段", "新", "三", gbk("[段]\n键=一\n新=三\n")},
        {"gbk, LF, section added", "[S]\nk=1\n", "T", "k", "2", "[S]\nk=1\n[T]\nk=2\n"},
        {"gbk, CR LF", "[S]\r\nk=1\r\n", "S", "j", "2", "[S]\r\nk=1\r\nj=2\r\n"},
        {"empty file", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"utf-8 mark only", bom8, "S", "k", "v", bom8 + "[S]\r\nk=v\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u("f.ini"));
        ASSERT_TRUE(writeFile(path, c.before));
        QString error;
        ASSERT_TRUE(IniFile::writeString(path, u(c.section), u(c.key), u(c.value), false, &error)) << error.toStdString();
        EXPECT_EQ(bytesOf(path).toHex(' '), c.after.toHex(' '));
        EXPECT_EQ(IniFile::readString(path, u(c.section), u(c.key), u("<none>")), u(c.value));
    }
    // The first section behind a mark holds its keys.
    EXPECT_EQ(IniFile::valueIn(bom8 + "[First]\r\nk=1\r\n", u("First"), u("k")), u("1"));
    EXPECT_EQ(IniFile::valueIn(utf16("[First]\r\nk=中\r\n", false), u("First"), u("k")), u("中"));
}

TEST(IniFile, TheDefaultComesWithoutTrailingSpaces)
{
    EXPECT_EQ(IniFile::readString(fixture("unix.ini"), u("Section"), u("none"), u(" a b  ")), u(" a b"));
    EXPECT_EQ(IniFile::readString(fixture("no-such.ini"), u("S"), u("k"), u("x \t ")), u("x \t"));
    EXPECT_EQ(IniFile::readString(fixture("no-such.ini"), u("S"), u("k"), u("   ")), QString());
    // A value that is there is read as it stands.
    EXPECT_EQ(IniFile::readString(fixture("unix.ini"), u("Section"), u("a"), u("x  ")), u("1"));
}

// In a folder where no new file may be made, a file that may be written is written in place,
// under the lock, cut to its new length; a new file there is refused.
TEST(IniFile, WritesInPlaceInAFolderThatTakesNoNewFiles)
{
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString locked = dir.filePath(u("locked"));
    ASSERT_TRUE(QDir().mkdir(locked));
    const struct {
        const char* name;
        QByteArray before;
        const char* key;
        const char* value;
        QByteArray after;  // empty: refused, the file as it was
    } cases[] = {
        {"shorter.ini", "[S]\r\nk=" + QByteArray(3000, 'x') + "\r\nj=2\r\n", "k", "1", "[S]\r\nk=1\r\nj=2\r\n"},
        {"longer.ini", "[S]\nk=1\n", "n", "new", "[S]\nk=1\nn=new\n"},
        {"marked.ini", "\xEF\xBB\xBF[S]\r\nk=1\r\n", "k", "值", "\xEF\xBB\xBF[S]\r\nk=" + QString(u("值")).toUtf8() + "\r\n"},
        {"readonly.ini", "[S]\r\nk=1\r\n", "k", "2", QByteArray()},
    };
    for (const auto& c : cases) {
        const QString path = locked + u("/") + QLatin1String(c.name);
        ASSERT_TRUE(writeFile(path, c.before));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.after.isEmpty() ? 0444 : 0666), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    const QString answer = withoutPrivileges([&] {
        QStringList out;
        for (const auto& c : cases) {
            QString error;
            out << (IniFile::writeString(locked + u("/") + QLatin1String(c.name), u("S"), u(c.key), u(c.value), false, &error)
                        ? u("written")
                        : error);
        }
        QString error;
        out << (IniFile::writeString(locked + u("/new.ini"), u("S"), u("k"), u("v"), false, &error) ? u("written") : error);
        return out.join(QChar(0x1f));
    });
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    const QStringList results = answer.split(QChar(0x1f));
    ASSERT_EQ(results.size(), 5) << answer.toStdString();
    for (qsizetype i = 0; i < 4; ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        const QByteArray now = bytesOf(locked + u("/") + QLatin1String(c.name));
        if (c.after.isEmpty()) {
            EXPECT_EQ(results[i], u("Permission denied"));
            EXPECT_EQ(now, c.before);
        } else {
            EXPECT_EQ(results[i], u("written"));
            EXPECT_EQ(now, c.after);
        }
    }
    EXPECT_EQ(results[4], u("Permission denied"));
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST(IniFile, WritesThroughASymbolicLink)
{
    IniCopy copy("unix.ini");
    const QString link = copy.dir.filePath(u("link.ini"));
    ASSERT_TRUE(QFile::link(copy.path, link));
    ASSERT_TRUE(IniFile::writeString(link, u("Section"), u("a"), u("5"), false));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(IniFile::readString(copy.path, u("Section"), u("a"), QString()), u("5"));
}

// A file with a second name is written in place, so both names see the new value.
TEST(IniFile, WritesThroughAHardLink)
{
    IniCopy copy("unix.ini");
    const QString other = copy.dir.filePath(u("other.ini"));
    ASSERT_EQ(::link(QFile::encodeName(copy.path).constData(), QFile::encodeName(other).constData()), 0);
    struct stat before{};
    ASSERT_EQ(::stat(QFile::encodeName(copy.path).constData(), &before), 0);
    ASSERT_TRUE(IniFile::writeString(other, u("Section"), u("a"), u("5"), false));
    struct stat after{};
    ASSERT_EQ(::stat(QFile::encodeName(copy.path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(IniFile::readString(copy.path, u("Section"), u("a"), QString()), u("5"));
    EXPECT_EQ(IniFile::readString(other, u("Section"), u("a"), QString()), u("5"));
    EXPECT_EQ(QDir(copy.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // nothing left beside them
}

// Many writers on one file, each with keys of its own, some sharing sections: the locked
// read-modify-write loses no key.
TEST(IniFile, ConcurrentWritersLoseNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u("shared.ini"));
    constexpr int kThreads = 8;
    constexpr int kKeys = 25;
    std::vector<std::thread> writers;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                const QString section = u("S%1").arg(t % 3);
                if (!IniFile::writeString(path, section, u("t%1k%2").arg(t).arg(k), u("值%1-%2").arg(t).arg(k), false))
                    ++failures[size_t(t)];
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();

    const QByteArray content = bytesOf(path);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[size_t(t)], 0);
        for (int k = 0; k < kKeys; ++k) {
            bool found = false;
            EXPECT_EQ(IniFile::valueIn(content, u("S%1").arg(t % 3), u("t%1k%2").arg(t).arg(k), &found),
                      u("值%1-%2").arg(t).arg(k));
            EXPECT_TRUE(found) << t << " " << k;
        }
    }
    EXPECT_EQ(content.count("\r\n"), kThreads * kKeys + 3);  // every key line and three headers
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u("shared.ini")});
}

}  // namespace
