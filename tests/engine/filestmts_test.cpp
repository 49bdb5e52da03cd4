#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "engine/flow.h"
#include "engine/statements/files.h"
#include "engine/texts.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
static void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }
static void PrintTo(const Value& v, std::ostream* os)
{
    *os << "kind " << int(v.kind()) << " \"" << v.displayText().toStdString() << '"';
}

namespace {

using namespace std::chrono_literals;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

struct Outcome {
    int code = -1;
    QString result;
    QString error;
};

// Switches the interface language for one test and back to English afterwards.
struct Language {
    explicit Language(bool chinese) { setTextLanguage(chinese); }
    ~Language() { setTextLanguage(false); }
};

// A flow whose file lies in DIR/flows, so that relative names land there.
class FileStatements : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("flows/data"));
        flow.FileName = path("flows/main.svx");
    }

    QString path(const QString& relative) const { return dir.path() + u'/' + relative; }

    IVRVariant* var(const QString& name, const Value& value = Value())
    {
        auto v = std::make_unique<IVRVariant>(&flow);
        v->Name = name;
        flow.AddVariant(v.get());
        v->setValue(value);
        vars.push_back(std::move(v));
        return vars.back().get();
    }

    Outcome run(TIVRBase& s, const std::atomic<bool>* stop = nullptr)
    {
        ExecContext ctx;
        ctx.flow = &flow;
        ctx.stop = stop;
        Outcome o;
        o.code = s.DoIt(ctx, o.result, o.error);
        return o;
    }

    static std::optional<QByteArray> contents(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        return f.readAll();
    }
    static void put(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    static void expectCode(const Outcome& o, int code, const QString& error)
    {
        EXPECT_EQ(o.code, code);
        EXPECT_EQ(o.result, TIVRFlow::ResultName(unsigned(code)));
        EXPECT_EQ(o.error, error);
    }
    static void expectSuccess(const Outcome& o) { expectCode(o, 0, QString()); }
    static void expectNotEnoughParam(const Outcome& o) { expectCode(o, 1, TIVRFlow::ResultMessage(8)); }

    QTemporaryDir dir;
    TIVRFlow flow{nullptr, QString(), true};
    std::vector<std::unique_ptr<IVRVariant>> vars;
};

// ---- IVRTextFile ----

struct TextCase {
    const char* name;    // the FileName text; "$DIR" stands for the temporary folder
    Value text;
    bool writeLine;
    std::optional<QByteArray> before;  // the file's bytes before; nullopt: missing
    const char* lands;   // where the file is, relative to the temporary folder
    QByteArray after;
};

TEST_F(FileStatements, TextFileAppendsAtTheEnd)
{
    const TextCase cases[] = {
        {"out.txt", Value("hello"), true, std::nullopt, "flows/out.txt", "hello\r\n"},
        {"out.txt", Value(""), true, std::nullopt, "flows/out.txt", "\r\n"},
        {"out.txt", Value(), false, std::nullopt, "flows/out.txt", ""},
        {"out.txt", Value("b"), false, QByteArray("a\r\n"), "flows/out.txt", "a\r\nb"},
        {"out.txt", Value("c"), true, QByteArray("no line end"), "flows/out.txt", "no line endc\r\n"},
        {"out.txt", Value(""), false, QByteArray("kept"), "flows/out.txt", "kept"},
        {"out.txt", Value(42), true, std::nullopt, "flows/out.txt", "42\r\n"},
        {"out.txt", Value(1.5), false, std::nullopt, "flows/out.txt", "1.5"},
        {"out.txt", Value(u("中文")), true, std::nullopt, "flows/out.txt", "\xD6\xD0\xCE\xC4\r\n"},
        {"data\\log.txt", Value("x"), true, std::nullopt, "flows/data/log.txt", "x\r\n"},
        {"data/log.txt", Value("x"), true, std::nullopt, "flows/data/log.txt", "x\r\n"},
        {"\\top.txt", Value("x"), true, std::nullopt, "flows/top.txt", "x\r\n"},
        {"$DIR/abs.txt", Value("x"), true, std::nullopt, "abs.txt", "x\r\n"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = path(c.lands);
        QFile::remove(target);
        if (c.before) put(target, *c.before);

        IVRTextFile s(&flow);
        s.link.constant = Value(QString(c.name).replace("$DIR", dir.path()));
        s.WriteText.constant = c.text;
        s.WriteLine = c.writeLine;
        expectCode(run(s), 0, QString());
        EXPECT_EQ(contents(target), c.after);
    }
}

TEST_F(FileStatements, TextFileTakesItsOperandsFromVariables)
{
    IVRVariant* name = var("Name", Value("calls.txt"));
    IVRVariant* text = var("Text", Value("first"));
    IVRTextFile s(&flow);
    s.link.LinkTo(name);
    s.WriteText.LinkTo(text);
    expectSuccess(run(s));
    text->setValue(Value("second"));
    expectCode(run(s), 0, QString());
    EXPECT_EQ(contents(path("flows/calls.txt")), QByteArray("first\r\nsecond\r\n"));

    // The name is read afresh each time.
    name->setValue(Value("other.txt"));
    expectSuccess(run(s));
    EXPECT_EQ(contents(path("flows/other.txt")), QByteArray("second\r\n"));
}

TEST_F(FileStatements, TextFileFailures)
{
    IVRTextFile s(&flow);
    s.WriteText.constant = Value("x");
    expectNotEnoughParam(run(s));
    s.link.LinkTo(var("Empty"));
    expectNotEnoughParam(run(s));

    s.link.Unlink();
    s.link.constant = Value("missing\\x.txt");
    const QString target = path("flows/missing/x.txt");
    expectCode(run(s), 1, u("Cannot open file \"%1\". No such file or directory").arg(target));
    EXPECT_FALSE(QFileInfo::exists(target));

    // A folder in place of the file.
    s.link.constant = Value("data");
    Outcome o = run(s);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "returnFAILED");
    EXPECT_TRUE(o.error.startsWith(u("Cannot open file \"%1\". ").arg(path("flows/data")))) << o.error.toStdString();

    Language chinese(true);
    s.link.constant = Value("missing\\x.txt");
    o = run(s);
    expectCode(o, 1, u("无法打开文件“%1”。没有那个文件或目录").arg(target));
    EXPECT_NE(o.result, "returnFAILED");  // the Chinese result name
    s.link.constant = Value();
    expectNotEnoughParam(run(s));
}

TEST_F(FileStatements, ConcurrentAppendsKeepEveryLine)
{
    constexpr int kThreads = 12;
    constexpr int kLines = 150;
    std::vector<std::unique_ptr<IVRTextFile>> statements;
    for (int t = 0; t < kThreads; ++t) {
        auto s = std::make_unique<IVRTextFile>(&flow);
        s->link.constant = Value("data\\shared.log");
        statements.push_back(std::move(s));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            IVRTextFile& s = *statements[t];
            for (int i = 0; i < kLines; ++i) {
                // Each thread owns its statement, as each channel owns its flow.
                s.WriteText.constant = Value(u("thread %1 line %2 ").arg(t).arg(i) + QString(40, u'x'));
                ExecContext ctx;
                ctx.flow = &flow;
                QString result, error;
                if (s.DoIt(ctx, result, error) != 0) ++failures;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);

    const QList<QByteArray> lines = contents(path("flows/data/shared.log")).value_or(QByteArray()).split('\n');
    ASSERT_EQ(lines.size(), kThreads * kLines + 1);
    EXPECT_TRUE(lines.last().isEmpty());
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].endsWith('\r')) << i;
        seen.insert(lines[i].chopped(1));
    }
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kLines; ++i)
            EXPECT_TRUE(seen.contains((u("thread %1 line %2 ").arg(t).arg(i) + QString(40, u'x')).toLatin1()));
}

// ---- IVRInitFile ----

struct IniReadCase {
    const char* what;
    std::optional<QByteArray> file;  // nullopt: missing
    Value section, key, defaultValue;
    Value stored;
};

TEST_F(FileStatements, InitFileReads)
{
    const QString longValue(1000, u'v');
    const IniReadCase cases[] = {
        {"key", QByteArray("[S]\r\nK=v\r\n"), Value("S"), Value("K"), Value("d"), Value("v")},
        {"case and blanks", QByteArray("[ Sect ]\r\n key = some value \r\n"), Value("SECT"), Value("KEY"), Value(),
         Value("some value")},
        {"quotes", QByteArray("[S]\r\nK=\" padded \"\r\n"), Value("S"), Value("K"), Value(), Value(" padded ")},
        {"empty value is no default", QByteArray("[S]\r\nK=\r\n"), Value("S"), Value("K"), Value("d"), Value("")},
        {"missing key", QByteArray("[S]\r\nK=v\r\n"), Value("S"), Value("L"), Value("d"), Value("d")},
        {"missing section", QByteArray("[S]\r\nK=v\r\n"), Value("T"), Value("K"), Value("d"), Value("d")},
        {"missing file", std::nullopt, Value("S"), Value("K"), Value("d"), Value("d")},
        {"numeric default arrives as a string", std::nullopt, Value("S"), Value("K"), Value(5), Value("5")},
        {"empty default", std::nullopt, Value("S"), Value("K"), Value(), Value("")},
        {"numeric section and key", QByteArray("[1]\r\n2=three\r\n"), Value(1), Value(2), Value(), Value("three")},
        {"GBK", QByteArray("[S]\r\nK=\xD6\xD0\xCE\xC4\r\n"), Value("S"), Value("K"), Value(), Value(u("中文"))},
        {"long value is read whole", QByteArray("[S]\r\nK=") + longValue.toLatin1() + "\r\n", Value("S"), Value("K"),
         Value(), Value(longValue)},
    };
    IVRVariant* target = var("Target");
    for (const IniReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("flows/app.ini");
        QFile::remove(file);
        if (c.file) put(file, *c.file);
        target->setValue(Value(-1));

        IVRInitFile s(&flow);
        s.link.constant = Value("app.ini");
        s.Section.constant = c.section;
        s.Key.constant = c.key;
        s.Value.LinkTo(target);
        s.Default.constant = c.defaultValue;
        expectCode(run(s), 0, QString());
        EXPECT_EQ(target->value(), c.stored);
        EXPECT_EQ(contents(file), c.file);  // reading never writes
    }
}

struct IniWriteCase {
    const char* what;
    std::optional<QByteArray> before;
    Value section, key, value;
    std::optional<QByteArray> after;  // the file afterwards (nullopt: still missing)
    const char* error = nullptr;      // nullptr: success
};

TEST_F(FileStatements, InitFileWrites)
{
    const IniWriteCase cases[] = {
        {"creates the file", std::nullopt, Value("S"), Value("K"), Value("v"), QByteArray("[S]\r\nK=v\r\n")},
        {"replaces in place", QByteArray("; note\r\n[S]\r\nK = old\r\nL=1\r\n"), Value("s"), Value("k"), Value("new"),
         QByteArray("; note\r\n[S]\r\nK = new\r\nL=1\r\n")},
        {"adds the section", QByteArray("[A]\r\nX=1\r\n"), Value("S"), Value("K"), Value("v"),
         QByteArray("[A]\r\nX=1\r\n[S]\r\nK=v\r\n")},
        {"empty value keeps the key", QByteArray("[S]\r\nK=old\r\n"), Value("S"), Value("K"), Value(""),
         QByteArray("[S]\r\nK=\r\n")},
        {"an empty constant too", std::nullopt, Value("S"), Value("K"), Value(), QByteArray("[S]\r\nK=\r\n")},
        {"number", std::nullopt, Value("S"), Value("K"), Value(5), QByteArray("[S]\r\nK=5\r\n")},
        {"GBK", std::nullopt, Value("S"), Value("K"), Value(u("中文")), QByteArray("[S]\r\nK=\xD6\xD0\xCE\xC4\r\n")},
        {"line break in the value", QByteArray("[S]\r\nK=v\r\n"), Value("S"), Value("K"),
         Value("x\r\n[Admin]\r\nPassword=1"), QByteArray("[S]\r\nK=v\r\n"),
         "The INI value must not hold a line break or a zero character."},
        {"line feed in the value, no file", std::nullopt, Value("S"), Value("K"), Value("x\nY=1"), std::nullopt,
         "The INI value must not hold a line break or a zero character."},
        {"line break in the key", QByteArray("[S]\r\nK=v\r\n"), Value("S"), Value("K\r\nY"), Value("1"),
         QByteArray("[S]\r\nK=v\r\n"), "The INI key name must not hold a line break or a zero character."},
        {"line break in the section", std::nullopt, Value("S]\r\n[T"), Value("K"), Value("1"), std::nullopt,
         "The INI section name must not hold a line break or a zero character."},
        {"blank section", std::nullopt, Value("  "), Value("K"), Value("1"), std::nullopt,
         "The INI section name is empty."},
    };
    for (const IniWriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("flows/data/w.ini");
        QFile::remove(file);
        if (c.before) put(file, *c.before);

        IVRInitFile s(&flow);
        s.link.constant = Value("data\\w.ini");
        s.Section.constant = c.section;
        s.Key.constant = c.key;
        s.Value.constant = c.value;
        s.Default.constant = Value("not used");
        s.Read = false;
        if (c.error)
            expectCode(run(s), 1, u(c.error));
        else
            expectCode(run(s), 0, QString());
        EXPECT_EQ(contents(file), c.after);
    }
}

// A byte that is no GBK character, as the flow file reader keeps it, leaves the flow as the same
// byte, through the text file and the INI file, and an INI value read in comes out again whole.
TEST_F(FileStatements, BytesThatAreNotGbkLeaveTheFlowAsTheyCame)
{
    const QByteArray bytes("caf\xE9 \xD6\xD0\xCE\xC4 \xFF");  // Western bytes beside Chinese
    const Value kept(CodePage::decodeKeepingBytes(bytes));

    IVRTextFile text(&flow);
    text.link.constant = Value("out.txt");
    text.WriteText.constant = kept;
    expectSuccess(run(text));
    EXPECT_EQ(contents(path("flows/out.txt")).value_or("missing").toHex(' '), (bytes + "\r\n").toHex(' '));

    IVRInitFile write(&flow);
    write.link.constant = Value("w.ini");
    write.Section.constant = Value("S");
    write.Key.constant = Value("K");
    write.Value.constant = kept;
    write.Read = false;
    expectSuccess(run(write));
    EXPECT_EQ(contents(path("flows/w.ini")).value_or("missing").toHex(' '),
              ("[S]\r\nK=" + bytes + "\r\n").toHex(' '));

    put(path("flows/in.ini"), "[S]\r\nK=" + bytes + "\r\n");
    IVRVariant* back = var("Back");
    IVRInitFile read(&flow);
    read.link.constant = Value("in.ini");
    read.Section.constant = Value("S");
    read.Key.constant = Value("K");
    read.Value.LinkTo(back);
    expectSuccess(run(read));
    EXPECT_EQ(back->value(), kept);
    text.WriteText.LinkTo(back);
    text.WriteLine = false;
    text.link.constant = Value("again.txt");
    expectSuccess(run(text));
    EXPECT_EQ(contents(path("flows/again.txt")).value_or("missing").toHex(' '), bytes.toHex(' '));
}

TEST_F(FileStatements, InitFileWritesAVariableAndReadsItBack)
{
    IVRVariant* value = var("Value", Value(u("12 34")));
    IVRVariant* back = var("Back");
    IVRInitFile write(&flow);
    write.link.constant = Value("\\conf.ini");
    write.Section.constant = Value("Caller");
    write.Key.constant = Value("Digits");
    write.Value.LinkTo(value);
    write.Read = false;
    expectSuccess(run(write));

    IVRInitFile read(&flow);
    read.link.constant = Value(path("flows/conf.ini"));  // the same file by its full name
    read.Section.constant = Value("caller");
    read.Key.constant = Value("digits");
    read.Value.LinkTo(back);
    expectSuccess(run(read));
    EXPECT_EQ(back->value(), Value(u("12 34")));
}

TEST_F(FileStatements, InitFileMissingOperands)
{
    IVRVariant* target = var("Target", Value("kept"));
    auto statement = [&](const char* file, const char* section, const char* key, bool read, bool toVariable) {
        auto s = std::make_unique<IVRInitFile>(&flow);
        s->link.constant = Value(file);
        s->Section.constant = Value(section);
        s->Key.constant = Value(key);
        if (toVariable) s->Value.LinkTo(target);
        else s->Value.constant = Value("constant");
        s->Read = read;
        return s;
    };
    for (bool read : {true, false}) {
        SCOPED_TRACE(read);
        expectNotEnoughParam(run(*statement("", "S", "K", read, true)));
        expectNotEnoughParam(run(*statement("a.ini", "", "K", read, true)));
        expectNotEnoughParam(run(*statement("a.ini", "S", "", read, true)));
    }
    // Reading needs a variable to read into; writing takes a constant.
    expectNotEnoughParam(run(*statement("a.ini", "S", "K", true, false)));
    EXPECT_EQ(target->value(), Value("kept"));
    EXPECT_FALSE(QFileInfo::exists(path("flows/a.ini")));
    expectSuccess(run(*statement("a.ini", "S", "K", false, false)));
    EXPECT_EQ(contents(path("flows/a.ini")), QByteArray("[S]\r\nK=constant\r\n"));
}

TEST_F(FileStatements, InitFileWriteFailuresInBothLanguages)
{
    IVRInitFile s(&flow);
    s.link.constant = Value("missing\\w.ini");
    s.Section.constant = Value("S");
    s.Key.constant = Value("K");
    s.Value.constant = Value("v");
    s.Read = false;
    expectCode(run(s), 1, u("No such file or directory"));

    Language chinese(true);
    expectCode(run(s), 1, u("没有那个文件或目录"));
    s.link.constant = Value("w.ini");
    s.Value.constant = Value("a\nb");
    expectCode(run(s), 1, u("INI 值中不能含有换行符或零字符。"));
    EXPECT_FALSE(QFileInfo::exists(path("flows/w.ini")));
}

TEST_F(FileStatements, ConcurrentInitFileWritesKeepEveryKey)
{
    constexpr int kThreads = 8;
    constexpr int kKeys = 25;
    std::vector<std::unique_ptr<IVRInitFile>> statements;
    for (int t = 0; t < kThreads; ++t) {
        auto s = std::make_unique<IVRInitFile>(&flow);
        s->link.constant = Value("shared.ini");
        // Half the threads share one section, the others have one each.
        s->Section.constant = Value(t % 2 ? u("Shared") : u("Own%1").arg(t));
        s->Read = false;
        statements.push_back(std::move(s));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            IVRInitFile& s = *statements[t];
            for (int k = 0; k < kKeys; ++k) {
                s.Key.constant = Value(u("T%1K%2").arg(t).arg(k));
                s.Value.constant = Value(u("value %1").arg(t * 1000 + k));
                ExecContext ctx;
                ctx.flow = &flow;
                QString result, error;
                if (s.DoIt(ctx, result, error) != 0) ++failures;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);

    IVRVariant* back = var("Back");
    IVRInitFile read(&flow);
    read.link.constant = Value("shared.ini");
    read.Value.LinkTo(back);
    read.Default.constant = Value("missing");
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k) {
            read.Section.constant = Value(t % 2 ? u("Shared") : u("Own%1").arg(t));
            read.Key.constant = Value(u("T%1K%2").arg(t).arg(k));
            expectSuccess(run(read));
            EXPECT_EQ(back->value(), Value(u("value %1").arg(t * 1000 + k))) << t << ' ' << k;
        }
}

// ---- IVRExecute ----

// The process id a test program wrote into its file, once it is there.
qint64 waitForPid(const QString& file)
{
    for (int i = 0; i < 2000; ++i) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray text = f.readAll().trimmed();
            if (!text.isEmpty()) return text.toLongLong();
        }
        std::this_thread::sleep_for(5ms);
    }
    return -1;
}

bool alive(qint64 pid)
{
    QFile stat(u("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() && text.at(close + 2) != 'Z';
}

bool goneSoon(qint64 pid)
{
    for (int i = 0; i < 1000 && QFileInfo::exists(u("/proc/%1").arg(pid)); ++i) std::this_thread::sleep_for(5ms);
    return !QFileInfo::exists(u("/proc/%1").arg(pid));
}

// A program that writes its process id and sleeps; ended by the test if it is still running.
class Sleeper {
public:
    explicit Sleeper(const QString& pidFile) : pidFile_(pidFile) {}
    ~Sleeper()
    {
        if (pid_ > 0 && alive(pid_)) ::kill(pid_t(pid_), SIGKILL);
    }
    QString commandLine() const { return u("sh -c \"echo $$ > %1; exec sleep 60\"").arg(pidFile_); }
    qint64 pid()
    {
        if (pid_ <= 0) pid_ = waitForPid(pidFile_);
        return pid_;
    }

private:
    QString pidFile_;
    qint64 pid_ = -1;
};

struct ExecuteCase {
    const char* commandLine;  // "$DIR" stands for the temporary folder
    int timeOut;
    int code;
    const char* error;
};

TEST_F(FileStatements, ExecuteWaitsForThePrograms)
{
    const ExecuteCase cases[] = {
        {"true", 5, 0, ""},
        {"touch $DIR/ran", 5, 0, ""},
        {"\"touch\" \"$DIR/with blank\"", 5, 0, ""},
        // The program ended within the time: its exit code is not the statement's result.
        {"false", 5, 0, ""},
        {"sh -c \"exit 3\"", 5, 0, ""},
        {"false", 0, 0, ""},
        {"sorvix-no-such-program", 5, 1, "No such file or directory"},
        {"sorvix-no-such-program", 0, 1, "No such file or directory"},
        {"$DIR/missing/program arg", 5, 1, "No such file or directory"},
        {"$DIR/flows/main.svx", 5, 1, "Permission denied"},
    };
    put(path("flows/main.svx"), "object");
    for (const ExecuteCase& c : cases) {
        SCOPED_TRACE(c.commandLine);
        IVRExecute s(&flow);
        s.link.constant = Value(QString(c.commandLine).replace("$DIR", dir.path()));
        s.TimeOut = c.timeOut;
        expectCode(run(s), c.code, u(c.error));
    }
    // Waited for: the files are there as soon as the statement returns.
    EXPECT_TRUE(QFileInfo::exists(path("ran")));
    EXPECT_TRUE(QFileInfo::exists(path("with blank")));
}

TEST_F(FileStatements, ExecuteMissingOperandAndChineseSystemText)
{
    IVRExecute s(&flow);
    s.TimeOut = 5;
    expectNotEnoughParam(run(s));
    s.link.LinkTo(var("Empty"));
    expectNotEnoughParam(run(s));

    Language chinese(true);
    s.link.Unlink();
    s.link.constant = Value("sorvix-no-such-program");
    expectCode(run(s), 1, u("没有那个文件或目录"));
}

TEST_F(FileStatements, ExecuteTimeOutLeavesOrEndsTheProgram)
{
    for (bool terminate : {false, true}) {
        SCOPED_TRACE(terminate);
        Sleeper sleeper(path(u("pid%1").arg(terminate)));
        IVRExecute s(&flow);
        s.link.constant = Value(sleeper.commandLine());
        s.TimeOut = 1;
        s.Terminate = terminate;
        expectCode(run(s), 1, u("Failed"));
        const qint64 pid = sleeper.pid();
        ASSERT_GT(pid, 0);
        if (terminate)
            EXPECT_TRUE(goneSoon(pid));
        else
            EXPECT_TRUE(alive(pid));
    }
}

TEST_F(FileStatements, ExecuteWithoutWaitLeavesTheProgramRunning)
{
    Sleeper sleeper(path("pid"));
    IVRExecute s(&flow);
    s.link.constant = Value(sleeper.commandLine());
    s.Terminate = true;  // no wait, so nothing to end
    expectSuccess(run(s));
    ASSERT_GT(sleeper.pid(), 0);
    EXPECT_TRUE(alive(sleeper.pid()));
}

TEST_F(FileStatements, StopWhileWaitingEndsThePassAndLeavesTheProgram)
{
    Sleeper sleeper(path("pid"));
    IVRExecute s(&flow);
    s.link.constant = Value(sleeper.commandLine());
    s.TimeOut = 60;
    s.Terminate = true;
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        sleeper.pid();  // the program runs and the statement waits for it
        stop.store(true);
    });
    const Outcome o = run(s, &stop);
    stopper.join();
    expectCode(o, 4, QString());
    EXPECT_EQ(o.result, TIVRFlow::ResultName(4));
    ASSERT_GT(sleeper.pid(), 0);
    EXPECT_TRUE(alive(sleeper.pid()));
}

TEST_F(FileStatements, CallerDigitsInACommandLineNeverReachAShell)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("x"));
    put(path("x/keep"), "kept");
    // What a flow builds from a caller's digits, appended to a fixed program name.
    const QString digits[] = {
        u("1;rm -rf %1/x"),          u("1&&rm -rf %1/x"),          u("1|rm -rf %1/x"),
        u("1\nrm -rf %1/x"),         u("$(rm -rf %1/x)"),          u("`rm -rf %1/x`"),
        u("1;touch %1/pwned"),       u("1>%1/pwned"),              u("\"1;rm -rf %1/x\""),
        u("1 \";rm -rf %1/x;\""),
    };
    IVRVariant* commandLine = var("CommandLine");
    IVRExecute s(&flow);
    s.link.LinkTo(commandLine);
    s.TimeOut = 5;
    for (const QString& d : digits) {
        const QString line = u("true ") + d.arg(dir.path());
        SCOPED_TRACE(line.toStdString());
        commandLine->setValue(Value(line));
        expectSuccess(run(s));
        EXPECT_EQ(contents(path("x/keep")), QByteArray("kept"));
        EXPECT_FALSE(QFileInfo::exists(path("pwned")));
    }
    // The digits arrive as one argument, unchanged.
    commandLine->setValue(Value(u("touch \"%1/1;rm -rf x\"").arg(dir.path())));
    expectSuccess(run(s));
    EXPECT_TRUE(QFileInfo::exists(path("1;rm -rf x")));
    EXPECT_EQ(contents(path("x/keep")), QByteArray("kept"));
}

}  // namespace
