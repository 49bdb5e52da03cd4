#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"
#include "platform/filesave.h"
#include "support/files.h"
#include "support/oddfiles.h"
#include "support/smalldisk.h"
#include "support/unprivileged.h"

namespace {

QByteArray fixture(const char* name)
{
    QFile f(QStringLiteral(SORVIX_FIXTURES "/flows/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Lines joined with CR LF, one after the last line too.
QByteArray lines(std::initializer_list<const char*> list)
{
    QByteArray out;
    for (const char* l : list) out.append(l).append("\r\n");
    return out;
}

using testfiles::bytesOf;

class FlowFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    // Loads the bytes through a file, as both programs do.
    std::unique_ptr<TIVRFlow> load(const QByteArray& bytes, QString* error, bool debug = true)
    {
        const QString file = path("in.svx");
        EXPECT_TRUE(testfiles::writeFile(file, bytes));
        return std::make_unique<TIVRFlow>(nullptr, file, debug, error);
    }
};

std::vector<FlowNode*> nodesInOrder(const TIVRFlow& flow)
{
    std::vector<FlowNode*> out;
    for (FlowNode* n = flow.tree().first(); n; n = n->nextInTree()) out.push_back(n);
    return out;
}

TIVRBase* add(TIVRFlow& flow, FlowNode* parent, std::unique_ptr<TIVRBase> s, FlowNode** node = nullptr)
{
    TIVRBase* raw = s.get();
    FlowNode* n = flow.tree().addLast(parent, std::move(s));
    if (raw->hasFlag(tfVariable)) flow.AddVariant(static_cast<IVRVariant*>(raw));
    else if (raw->hasFlag(tfDataBase)) flow.AddDataBase(static_cast<IVRDataBase*>(raw));
    else if (raw->hasFlag(tfLabel)) flow.AddLabel(static_cast<IVRLabel*>(raw));
    if (node) *node = n;
    return raw;
}

void setProperty(TIVRBase& s, const char* name, const Value& v)
{
    const PropertyDesc* d = s.classInfo().findProperty(QLatin1String(name));
    ASSERT_NE(d, nullptr) << s.className() << "." << name;
    d->set(s, v);
}

// The lines of the one IVRBlock under Begin that carries the note.
QByteArray noteLines(const QString& note)
{
    TIVRFlow flow(nullptr, QString(), true);
    auto block = std::make_unique<IVRBlock>(&flow);
    block->Note = note;
    flow.tree().addLast(flow.BeginRoot, std::move(block));
    const QByteArray text = flowfile::write(flow);
    const QByteArray head = "  object IVRBlock\r\n";
    const qsizetype from = text.indexOf(head) + head.size();
    return text.mid(from, text.indexOf("  end\r\n", from) - from);
}

TEST_F(FlowFileTest, NewFlowIsSixLinesAndSavingReplacesALongerFile)
{
    TIVRFlow flow(nullptr, QString(), true);
    bool modifiedArg = true;
    int modifyCalls = 0;
    flow.OnModify = [&](bool m) {
        modifiedArg = m;
        ++modifyCalls;
    };
    const QString file = path("new.svx");
    EXPECT_TRUE(testfiles::writeFile(file, QByteArray(5000, 'z')));
    QString error = "x";
    ASSERT_TRUE(flow.SaveAs(file, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(bytesOf(file), fixture("new.svx"));
    EXPECT_EQ(bytesOf(file), lines({"object IVRVar", "end", "object IVRBegin", "end", "object IVREnd", "end"}));
    EXPECT_EQ(flow.FileName, file);
    EXPECT_EQ(flow.FlowName, file);
    EXPECT_EQ(modifyCalls, 1);
    EXPECT_FALSE(modifiedArg);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // no temporary file left behind
}

TEST_F(FlowFileTest, SampleFlowReadsAndWritesToTheSameBytes)
{
    const QByteArray sample = fixture("sample.svx");
    QString error;
    auto flow = load(sample, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(flowfile::write(*flow), sample);

    // The tree: the result node first under Var, the file's variable after it.
    ASSERT_NE(flow->VarRoot, nullptr);
    ASSERT_EQ(flow->VarRoot->childCount(), 2);
    EXPECT_EQ(flow->VarRoot->child(0)->statement(), flow->ResultVariant);
    EXPECT_EQ(flow->VarRoot->child(0)->text(), "Result");
    auto* variable = dynamic_cast<IVRVariant*>(flow->VarRoot->child(1)->statement());
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(flow->FirstVariant, variable);
    ASSERT_EQ(flow->BeginRoot->childCount(), 3);
    EXPECT_FALSE(flow->BeginRoot->child(0)->statement()->enabled());
    EXPECT_EQ(flow->BeginRoot->child(0)->text(), "//Answer {pick up} ");
    auto* cond = dynamic_cast<IVRIf*>(flow->BeginRoot->child(2)->statement());
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(cond->link.variable(), variable);  // links are resolved after reading
    EXPECT_EQ(flow->BeginRoot->child(2)->text(), "If : NewVariant1");
    EXPECT_EQ(flow->BeginRoot->child(2)->childCount(), 2);
    EXPECT_EQ(flow->EndRoot, flow->tree().topLevel(2));
    EXPECT_EQ(flow->FileName, path("in.svx"));

    // Built in memory, the same flow writes the same bytes.
    TIVRFlow built(nullptr, QString(), true);
    auto v = std::make_unique<IVRVariant>(&built);
    v->Name = "NewVariant1";
    v->link.constant = Value(5);
    IVRVariant* vRaw = v.get();
    add(built, built.VarRoot, std::move(v));
    TIVRBase* answer = add(built, built.BeginRoot, std::unique_ptr<TIVRBase>(ClassRegistry::create(u"IVRAnswer", &built)));
    answer->Note = "pick up";
    answer->setEnabled(false);
    TIVRBase* play = add(built, built.BeginRoot, std::unique_ptr<TIVRBase>(ClassRegistry::create(u"IVRPlay", &built)));
    setProperty(*play, "Interruptible", Value(true));
    setProperty(*play, "WavFile", Value("\"hello.wav\""));
    play->BuildLink();
    FlowNode* ifNode = nullptr;
    auto ifs = std::make_unique<IVRIf>(&built);
    ifs->link.LinkTo(vRaw);
    add(built, built.BeginRoot, std::move(ifs), &ifNode);
    add(built, ifNode, std::make_unique<IVRTrue>(&built));
    add(built, ifNode, std::make_unique<IVRFalse>(&built));
    EXPECT_EQ(flowfile::write(built), sample);
}

// A value unlike the property's default, different for each seed.
Value nonDefault(const PropertyDesc& d, const ClassInfo& info, int seed)
{
    const QString cls = QLatin1String(info.className);
    switch (d.kind) {
    case PropKind::String: {
        const QByteArray name(d.name);
        if (name == "Name") return Value("N_" + cls);
        if (name == "LabelName") return Value("N_IVRLabel");
        if (name == "DataBase") return Value("N_IVRDataBase");
        QString s = QStringLiteral("%1 of %2: it's 中文").arg(QLatin1String(d.name), cls);
        if (seed % 2) s += QString(60, QLatin1Char('x')) + QStringLiteral("\r\n\t#end");
        return Value(s);
    }
    case PropKind::Boolean: return Value(d.hasDefault ? d.defaultInt == 0 : seed % 2 == 0);
    case PropKind::Integer: {
        const int64_t span = int64_t(d.maxValue) - d.minValue + 1;
        int32_t v = int32_t(d.minValue + (int64_t(seed) * 7919 + 13) % span);
        if (d.hasDefault && v == d.defaultInt) v = v == d.maxValue ? d.minValue : v + 1;
        return Value(v);
    }
    case PropKind::Enum: return Value(int32_t((d.defaultInt + 1 + seed % std::max(1, d.enumCount - 1)) % d.enumCount));
    case PropKind::Char: return Value(int32_t(d.hasDefault && d.defaultInt == '#' ? '*' : '#'));
    case PropKind::Variant:
        switch (seed % 4) {
        case 0: return Value(int32_t(-seed - 1));
        case 1: return Value(2.5 + seed);
        case 2: return Value(QStringLiteral("\"text %1 中\"").arg(seed));
        default: return (info.typeSet & tfVariable) ? Value(1.5e-7) : Value("N_IVRVariant");
        }
    }
    return {};
}

TEST_F(FlowFileTest, EveryRegisteredClassWithNonDefaultValuesRoundTrips)
{
    TIVRFlow flow(nullptr, QString(), true);
    int seed = 0;
    int written = 0;
    for (const ClassInfo* info : ClassRegistry::all()) {
        if (info->typeSet & (tfVarRoot | tfBeginRoot | tfEndRoot)) continue;
        if (info == &IVRResult::info) continue;
        std::unique_ptr<TIVRBase> s(info->create(&flow));
        for (const PropertyDesc& d : *info->properties()) {
            if (!d.set) continue;
            // The reader drops a breakpoint where the runner never stops.
            if (QLatin1String(d.name) == QLatin1String("BreakPoint") && !TIVRFlow::canHoldBreakPoint(*s)) continue;
            d.set(*s, nonDefault(d, *info, seed++));
            ++written;
        }
        add(flow, (info->typeSet & tfDeclaration) ? flow.VarRoot : flow.BeginRoot, std::move(s));
    }
    // Each kind once more inside a container, with the common properties at their defaults.
    FlowNode* block = nullptr;
    add(flow, flow.EndRoot, std::make_unique<IVRBlock>(&flow), &block);
    for (const ClassInfo* info : ClassRegistry::all())
        if (!(info->typeSet & (tfVarRoot | tfBeginRoot | tfEndRoot | tfDeclaration)))
            add(flow, block, std::unique_ptr<TIVRBase>(info->create(&flow)));
    for (FlowNode* n : nodesInOrder(flow)) n->statement()->BuildLink();
    ASSERT_GT(written, 0);

    const QByteArray first = flowfile::write(flow);
    QString error;
    auto loaded = load(first, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(flowfile::write(*loaded), first);

    // Every property came back with its value.
    const auto a = nodesInOrder(flow);
    const auto b = nodesInOrder(*loaded);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const TIVRBase& x = *a[i]->statement();
        const TIVRBase& y = *b[i]->statement();
        ASSERT_STREQ(x.className(), y.className());
        for (const PropertyDesc& d : *x.classInfo().properties())
            EXPECT_EQ(d.get(x), d.get(y)) << x.className() << "." << d.name;
        EXPECT_EQ(b[i]->text(), y.GetNodeText());
    }
}

struct StringCase {
    const char* what;
    QString note;
    QByteArray lines;  // the property lines as written
};

TEST_F(FlowFileTest, StringFormsAreWrittenExactlyAndReadBack)
{
    const QByteArray x63(63, 'x'), x64(64, 'x');
    QString controls63;
    for (int i = 0; i < 63; ++i) controls63 += QChar(1);
    QByteArray codes63;
    for (int i = 0; i < 63; ++i) codes63 += "#1";
    const StringCase cases[] = {
        {"empty", QString(), ""},
        {"apostrophe", "it's", "    Note = 'it'#39's'\r\n"},
        {"line break", "a\r\nb", "    Note = 'a'#13#10'b'\r\n"},
        {"tab", "a\tb", "    Note = 'a'#9'b'\r\n"},
        {"only codes", "''", "    Note = #39#39\r\n"},
        {"GBK", QStringLiteral("中文"), "    Note = '\xD6\xD0\xCE\xC4'\r\n"},
        {"64 bytes", QString::fromLatin1(x64), "    Note = '" + x64 + "'\r\n"},
        {"64 bytes with GBK", QString(62, 'x') + QStringLiteral("中"), "    Note = '" + QByteArray(62, 'x') + "\xD6\xD0'\r\n"},
        {"65", QString::fromLatin1(x64) + "y", "    Note = \r\n      '" + x64 + "' +\r\n      'y'\r\n"},
        {"129", QString::fromLatin1(x64 + x64) + "y",
         "    Note = \r\n      '" + x64 + "' +\r\n      '" + x64 + "' +\r\n      'y'\r\n"},
        {"code at the cut", QString::fromLatin1(x63) + "\ryy", "    Note = \r\n      '" + x63 + "'#13 +\r\n      'yy'\r\n"},
        {"double-byte character at the cut", QString::fromLatin1(x63) + QStringLiteral("中ab"),
         "    Note = \r\n      '" + x63 + "' +\r\n      '\xD6\xD0" "ab'\r\n"},
        // The cut moves one byte back to the start of its piece: an empty piece ends the line.
        {"double-byte character right after 63 codes", controls63 + QStringLiteral("中z"),
         "    Note = \r\n      " + codes63 + "'' +\r\n      '\xD6\xD0z'\r\n"},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(noteLines(c.note), c.lines);

        TIVRFlow flow(nullptr, QString(), true);
        auto block = std::make_unique<IVRBlock>(&flow);
        block->Note = c.note;
        flow.tree().addLast(flow.BeginRoot, std::move(block));
        QString error;
        auto loaded = load(flowfile::write(flow), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(loaded->BeginRoot->child(0)->statement()->Note, c.note);
    }
}

TEST_F(FlowFileTest, ReaderJoinsPiecesAsBytesAndIgnoresLetterCase)
{
    // A double-byte character split over two pieces, pieces joined by "+" over lines, a doubled
    // apostrophe, a named object header, identifiers in any case, LF line ends and tabs.
    const QByteArray text =
        "OBJECT ivrvar\n"
        "  Object Decl: IVRVARIANT\n"
        "\tname = 'v'\n"
        "    INITVALUE = -1\n"
        "  END\n"
        "  object IVRDataBase\n"
        "    Name = 'd'\n"
        "    commandtype = CMDTEXT\n"
        "  end\n"
        "EnD\n\n"
        "object IVRBegin object IVRBlock\n"
        "    Note = 'x\xD6' + \n"
        "      '\xD0y'#13#10'it''s'\n"
        "    enabled = false  breakpoint = TRUE\n"
        "  end\n"
        "end\n"
        "object IVREnd\n"
        "end\n  \r\n";
    QString error;
    auto flow = load(text, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    auto* v = dynamic_cast<IVRVariant*>(flow->VarRoot->child(1)->statement());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Name, "v");
    EXPECT_EQ(v->link.constant, Value(-1));
    auto* db = dynamic_cast<IVRDataBase*>(flow->VarRoot->child(2)->statement());
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->CommandType, cmdText);
    EXPECT_EQ(flow->FirstDataBase, db);
    TIVRBase* block = flow->BeginRoot->child(0)->statement();
    EXPECT_EQ(block->Note, QStringLiteral("x中y\r\nit's"));
    EXPECT_FALSE(block->enabled());
    EXPECT_TRUE(block->breakPoint());
    EXPECT_EQ(flowfile::write(*flow), lines({
        "object IVRVar", "  object IVRVariant", "    Name = 'v'", "    InitValue = -1", "  end",
        "  object IVRDataBase", "    Name = 'd'", "    CommandType = cmdText", "  end", "end",
        "object IVRBegin", "  object IVRBlock", "    Note = 'x\xD6\xD0y'#13#10'it'#39's'", "    Enabled = False",
        "    BreakPoint = True", "  end", "end", "object IVREnd", "end"}));
}

struct NumberCase {
    const char* literal;
    Value value;
    const char* written;
};

TEST_F(FlowFileTest, NumbersInVariantProperties)
{
    const NumberCase cases[] = {
        {"5", Value(5), "5"},
        {"-1", Value(-1), "-1"},
        {"-2147483648", Value(INT32_MIN), "-2147483648"},
        {"$1F", Value(31), "31"},
        {"1.5", Value(1.5), "1.5"},
        {"0.1", Value(0.1), "0.1"},
        {"0.00001", Value(0.00001), "0.00001"},
        {"1.5E-7", Value(1.5e-7), "1.5E-7"},
        {"1e15", Value(1e15), "1E15"},
        {"1E20", Value(1e20), "1E20"},
        {"2.50", Value(2.5), "2.5"},
        {"5.0", Value(5.0), "5"},  // an integral float is written as an integer
        // Beyond 32 bits an integer literal is read as a floating-point number.
        {"3000000000", Value(3e9), "3000000000"},
        {"-99999999999999999999", Value(-1e20), "-1E20"},
        {"123456789012345", Value(123456789012345.0), "123456789012345"},
        {"1.79769313486232E308", Value(1.7976931348623157e308), "1.79769313486232E308"},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.literal);
        QString error;
        auto flow = load(lines({"object IVRVar", "  object IVRVariant", "    Name = 'v'"}) + "    InitValue = " + c.literal +
                             lines({"", "  end", "end", "object IVRBegin", "end", "object IVREnd", "end"}),
                         &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        auto* v = static_cast<IVRVariant*>(flow->VarRoot->child(1)->statement());
        EXPECT_EQ(v->link.constant, c.value);
        EXPECT_TRUE(flowfile::write(*flow).contains(QByteArray("    InitValue = ") + c.written + "\r\n"));
    }
}

// The first registered class with a property of the kind, or nullptr.
const PropertyDesc* findKind(PropKind kind, const ClassInfo** owner)
{
    for (const ClassInfo* info : ClassRegistry::all())
        for (const PropertyDesc& d : *info->properties())
            if (d.kind == kind && !(info->typeSet & tfDeclaration)) {
                *owner = info;
                return &d;
            }
    return nullptr;
}

TEST_F(FlowFileTest, CharacterAndIntegerProperties)
{
    const ClassInfo* charClass = nullptr;
    const ClassInfo* intClass = nullptr;
    const PropertyDesc* ch = findKind(PropKind::Char, &charClass);
    const PropertyDesc* in = findKind(PropKind::Integer, &intClass);
    ASSERT_TRUE(ch && in) << "no class with a character and an integer property registered";

    // A character is a string of one character; control characters as codes.
    const struct {
        int32_t code;
        const char* written;
    } chars[] = {{'#', "'#'"}, {'\'', "#39"}, {9, "#9"}, {0x4E2D, "'\xD6\xD0'"}};
    for (const auto& c : chars) {
        SCOPED_TRACE(c.written);
        TIVRFlow flow(nullptr, QString(), true);
        TIVRBase* s = add(flow, flow.BeginRoot, std::unique_ptr<TIVRBase>(charClass->create(&flow)));
        ch->set(*s, Value(c.code));
        const QByteArray text = flowfile::write(flow);
        EXPECT_TRUE(text.contains(QByteArray(" ") + ch->name + " = " + c.written + "\r\n")) << text.constData();
        QString error;
        auto loaded = load(text, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(ch->get(*loaded->BeginRoot->child(0)->statement()), Value(c.code));
    }

    // Two characters, an empty string, an integer beyond 32 bits or a float are refused.
    const QByteArray head = lines({"object IVRVar", "end", "object IVRBegin"}) + "  object " + charClass->className + "\r\n    " + ch->name + " = ";
    const QByteArray intHead = lines({"object IVRVar", "end", "object IVRBegin"}) + "  object " + intClass->className + "\r\n    " + in->name + " = ";
    const QByteArray tail = "\r\n" + lines({"  end", "end", "object IVREnd", "end"});
    for (const QByteArray& text : {head + "'ab'" + tail, head + "''" + tail, head + "35" + tail, intHead + "2147483648" + tail,
                                   intHead + "1.0" + tail, intHead + "'1'" + tail}) {
        SCOPED_TRACE(text.constData());
        QString error;
        auto flow = load(text, &error);
        EXPECT_TRUE(error.contains("Invalid property value")) << error.toStdString();
        EXPECT_EQ(flow->BeginRoot->childCount(), 0);
    }
}

struct FailureCase {
    const char* what;
    QByteArray text;
    const char* message;  // part of the message after the prefix
    bool emptyTree;
};

// Before the fault: a variable and an If that names it, so links and captions can be checked.
const QByteArray kBefore = lines({"object IVRVar", "  object IVRVariant", "    Name = 'A'", "  end", "end", "object IVRBegin",
                                  "  object IVRIf", "    Condition = 'A'", "  end"});
const QByteArray kAfter = lines({"end", "object IVREnd", "end"});

TEST_F(FlowFileTest, ReadFailures)
{
    const FailureCase cases[] = {
        {"unterminated string", kBefore + "  object IVRBlock\r\n    Note = 'abc\r\n  end\r\n" + kAfter, "Invalid string constant on line 11", true},
        {"bad number after good objects", kBefore + lines({"  object IVRBlock", "  end"}) + kAfter +
             lines({"object IVRVar", "  object IVRVariant", "    InitValue = 1.2.3", "  end", "end"}),
         "'1.2.3' is not a valid floating point value", true},
        {"missing end", kBefore + kAfter.left(kAfter.size() - 5), "'end' expected", true},
        {"text after the objects", kBefore + kAfter + "garbage\r\n", "'object' expected", true},
        {"missing equals sign", kBefore + lines({"  object IVRBlock", "    Note 'a'", "  end"}) + kAfter, "'=' expected", true},
        {"dangling plus", kBefore + lines({"  object IVRBlock", "    Note = 'a' +", "  end"}) + kAfter, "String expected", true},
        {"property after a child", kBefore + lines({"  object IVRBlock", "    object IVRBlock", "    end", "    Note = 'a'", "  end"}) + kAfter,
         "'end' expected on line 13", true},
        {"unknown class", kBefore + lines({"  object IVRNoSuch", "  end"}) + kAfter, "Class IVRNoSuch not found on line 10", false},
        {"unknown property", kBefore + lines({"  object IVRBlock", "    Colour = 1", "  end"}) + kAfter,
         "Error reading IVRBlock.Colour on line 11: Property Colour does not exist", false},
        {"wrong kind", kBefore + lines({"  object IVRBlock", "    Enabled = 'no'", "  end"}) + kAfter,
         "Error reading IVRBlock.Enabled on line 11: Invalid property value", false},
        {"number for a string", kBefore + lines({"  object IVRBlock", "    Note = 5", "  end"}) + kAfter, "Invalid property value", false},
        {"unknown identifier", kBefore + lines({"  object IVRBlock", "    Enabled = Maybe", "  end"}) + kAfter, "Invalid property value", false},
        {"unknown enumeration identifier", kBefore + lines({"  object IVRDataBase", "    CommandType = cmdNothing", "  end"}) + kAfter,
         "IVRDataBase.CommandType on line 11: Invalid property value", false},
        {"identifier in a variant", kBefore + lines({"  object IVRWhile", "    Condition = A", "  end"}) + kAfter, "Invalid property value", false},
        {"no Var root", kBefore.mid(kBefore.indexOf("object IVRBegin")) + kAfter, "The flow file has no IVRVar object", true},
        {"no Begin root", lines({"object IVRVar", "end", "object IVREnd", "end"}), "The flow file has no IVRBegin object", true},
        {"no End root", kBefore + "end\r\n", "The flow file has no IVREnd object", true},
        {"empty file", "", "The flow file has no IVRVar object", true},
        {"out of range", kBefore + lines({"  object IVRSleep", "    Interruptible = False", "    MaxLength = -5", "  end"}) + kAfter,
         "Error reading IVRSleep.MaxLength on line 12: -5 is out of range 0..32767", false},
        {"above the range", kBefore + lines({"  object IVRCall", "    TimeOut = 40000", "  end"}) + kAfter,
         "Error reading IVRCall.TimeOut on line 11: 40000 is out of range 0..32767", false},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        auto flow = load(c.text, &error);
        EXPECT_TRUE(error.startsWith("Read file error: \r\n" + path("in.svx") + ": ")) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.message))) << error.toStdString();
        if (c.emptyTree) {
            EXPECT_TRUE(flow->tree().isEmpty());
            EXPECT_EQ(flow->FirstVariant, nullptr);
            continue;
        }
        // What was read before the fault stays, without links and without captions.
        for (FlowNode* n : nodesInOrder(*flow)) {
            if (n->statement() == flow->ResultVariant)
                EXPECT_EQ(n->text(), "Result");
            else
                EXPECT_TRUE(n->text().isEmpty()) << n->statement()->className();
            if (auto* cond = dynamic_cast<IVRIf*>(n->statement())) {
                EXPECT_EQ(cond->link.variable(), nullptr);
                EXPECT_EQ(cond->link.constant, Value("A"));
            }
        }
        if (c.text.startsWith(kBefore)) {
            ASSERT_NE(flow->BeginRoot, nullptr);
            EXPECT_EQ(flow->BeginRoot->childCount(), 1);  // the statement at fault has no node
        }
    }
}

TEST_F(FlowFileTest, UnreadableFileLeavesAnEmptyTree)
{
    QString error;
    TIVRFlow flow(nullptr, path("missing.svx"), true, &error);
    EXPECT_EQ(error, "File cann't be openned: \r\n" + path("missing.svx") + ": No such file or directory");
    EXPECT_TRUE(flow.tree().isEmpty());
}

// A program that makes many flows of one file reads it once; a change to the file (in place with
// the same size, or a new file or something else under its name) is read again, and every load
// gives the flow and the message a plain load gives.
TEST_F(FlowFileTest, CachedLoadsFollowTheFile)
{
    const QString file = path("cached.svx");
    const QByteArray sample = fixture("sample.svx");
    ASSERT_TRUE(testfiles::writeFile(file, sample));
    FlowFileCache cache;
    auto loadBoth = [&](QString* error) {
        QString plainError;
        TIVRFlow plain(nullptr, file, false, &plainError);
        TIVRFlow cached(nullptr, file, false, error, &cache);
        EXPECT_EQ(*error, plainError);
        EXPECT_EQ(flowfile::write(cached), flowfile::write(plain));
        return flowfile::write(cached);
    };
    // A file changed just now is read each time, until it has stood still a while.
    QString error;
    QDeadlineTimer deadline(20000);
    while (!cache.holds(file) && !deadline.hasExpired()) {
        EXPECT_EQ(loadBoth(&error), sample);
        QThread::msleep(50);
    }
    ASSERT_TRUE(cache.holds(file));
    EXPECT_EQ(loadBoth(&error), sample);
    EXPECT_TRUE(error.isEmpty());

    QByteArray changed = sample;
    const qsizetype at = changed.indexOf("InitValue = 5");
    ASSERT_GT(at, 0);
    changed[at + 12] = '7';
    {
        QFile f(file);  // in place, the same size
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_EQ(f.write(changed), changed.size());
    }
    EXPECT_EQ(loadBoth(&error), changed);
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_EQ(loadBoth(&error), QByteArray(lines({})));
    EXPECT_EQ(error, "File cann't be openned: \r\n" + file + ": No such file or directory");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    loadBoth(&error);
    EXPECT_EQ(error, "File cann't be openned: \r\n" + file + ": not a regular file");
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(testfiles::writeFile(file, "object IVRVar\r\nend\r\n"));
    loadBoth(&error);
    EXPECT_TRUE(error.startsWith("Read file error")) << error.toStdString();
    EXPECT_FALSE(cache.holds(file));
}

// A flow "file" that is no regular file is refused before anything is read from it: a device
// that never ends, an empty one, a pipe without a writer (the load never waits for one), a
// folder, and a link to a device. The message names the file.
TEST_F(FlowFileTest, NoRegularFileIsRefusedWithoutReadingIt)
{
    const QString fifo = path("pipe.svx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = path("folder.svx");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString link = path("zero.svx");
    ASSERT_TRUE(QFile::link("/dev/zero", link));

    // Should a load wait for a writer all the same, one comes after a while and ends the wait,
    // so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 1000 && !done; ++i) ::usleep(10000);
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            ::usleep(10000);
        }
    });
    for (const QString& file : {fifo, folder, link, QStringLiteral("/dev/zero"), QStringLiteral("/dev/urandom"),
                                QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(file.toStdString());
        QString error;
        TIVRFlow flow(nullptr, file, true, &error);
        EXPECT_EQ(error, "File cann't be openned: \r\n" + file + ": not a regular file");
        EXPECT_TRUE(flow.tree().isEmpty());
    }
    done = true;
    writer.join();

    setTextLanguage(true);
    QString error;
    TIVRFlow flow(nullptr, fifo, true, &error);
    EXPECT_EQ(error, QString::fromUtf8("文件无法打开：\r\n") + fifo + QString::fromUtf8(": 不是普通文件"));
    setTextLanguage(false);
}

TEST_F(FlowFileTest, ConsoleFlowsGetNoCaptions)
{
    QString error;
    auto flow = load(fixture("printout.svx"), &error, false);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    for (FlowNode* n : nodesInOrder(*flow))
        EXPECT_EQ(n->text(), n->statement() == flow->ResultVariant ? "Result" : "");
}

TEST_F(FlowFileTest, ResultVariableIsFoundByIdentityAndFileResultsAreDropped)
{
    const struct {
        const char* what;
        QByteArray text;   // holds an IVRResult inside IVRVar, not first
        QByteArray saved;  // the same without it
        int varRow;        // VarRoot's place among the roots
    } cases[] = {
        // Begin comes first: its first child is a real statement, not the result variable.
        {"Begin first",
         lines({"object IVRBegin", "  object IVRBlock", "    Note = 'first'", "  end", "end", "object IVRVar",
                "  object IVRVariant", "    Name = 'A'", "  end", "  object IVRResult", "    Name = 'Result'",
                "    object IVRBlock", "    end", "  end", "end", "object IVREnd", "end"}),
         lines({"object IVRBegin", "  object IVRBlock", "    Note = 'first'", "  end", "end", "object IVRVar",
                "  object IVRVariant", "    Name = 'A'", "  end", "end", "object IVREnd", "end"}),
         1},
        {"Var first",
         lines({"object IVRVar", "  object IVRVariant", "    Name = 'A'", "  end", "  object IVRResult",
                "    Name = 'Result'", "    object IVRBlock", "    end", "  end", "end", "object IVRBegin",
                "  object IVRBlock", "    Note = 'first'", "  end", "end", "object IVREnd", "end"}),
         lines({"object IVRVar", "  object IVRVariant", "    Name = 'A'", "  end", "end", "object IVRBegin",
                "  object IVRBlock", "    Note = 'first'", "  end", "end", "object IVREnd", "end"}),
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        auto flow = load(c.text, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(flow->VarRoot, flow->tree().topLevel(c.varRow));
        // The flow's own result variable is the first child of IVRVar.
        ASSERT_EQ(flow->VarRoot->childCount(), 2);
        EXPECT_EQ(flow->VarRoot->child(0)->statement(), flow->ResultVariant);
        int results = 0;
        for (IVRVariant* v = flow->FirstVariant; v; v = v->nextVariant) results += dynamic_cast<IVRResult*>(v) ? 1 : 0;
        EXPECT_EQ(results, 1);
        EXPECT_FALSE(flow->CaptionsStale);
        EXPECT_EQ(flowfile::write(*flow), c.saved);
    }
}

// The roots in any order load as they stand: each root is found by its class, the result
// variable goes under IVRVar wherever it stands, the links resolve, and the file is written back
// in its own order.
TEST_F(FlowFileTest, RootsInAnotherOrderLoadAsTheyStand)
{
    const QByteArray var = lines({"object IVRVar", "  object IVRVariant", "    Name = 'A'", "    InitValue = 1", "  end", "end"});
    const QByteArray begin = lines({"object IVRBegin", "  object IVRWhile", "    Condition = 'A'", "  end", "end"});
    const QByteArray end = lines({"object IVREnd", "  object IVRBlock", "    Note = 'closing'", "  end", "end"});
    const struct {
        const char* what;
        QByteArray text;
        int varRow, beginRow, endRow;
    } cases[] = {
        {"Var Begin End", var + begin + end, 0, 1, 2}, {"Begin Var End", begin + var + end, 1, 0, 2},
        {"Begin End Var", begin + end + var, 2, 0, 1}, {"Var End Begin", var + end + begin, 0, 2, 1},
        {"End Begin Var", end + begin + var, 2, 1, 0}, {"End Var Begin", end + var + begin, 1, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        auto flow = load(c.text, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_EQ(flow->tree().topLevelCount(), 3);
        EXPECT_EQ(flow->VarRoot, flow->tree().topLevel(c.varRow));
        EXPECT_EQ(flow->BeginRoot, flow->tree().topLevel(c.beginRow));
        EXPECT_EQ(flow->EndRoot, flow->tree().topLevel(c.endRow));
        ASSERT_EQ(flow->VarRoot->childCount(), 2);
        EXPECT_EQ(flow->VarRoot->child(0)->statement(), flow->ResultVariant);
        auto* loop = dynamic_cast<IVRWhile*>(flow->BeginRoot->child(0)->statement());
        ASSERT_TRUE(loop);
        ASSERT_NE(loop->link.variable(), nullptr);  // resolved, though A may come later in the file
        EXPECT_EQ(loop->link.variable()->Name, "A");
        EXPECT_EQ(flow->EndRoot->child(0)->statement()->Note, "closing");
        EXPECT_EQ(flowfile::write(*flow), c.text);
        const QString saved = path("saved.svx");
        ASSERT_TRUE(flow->SaveAs(saved, &error)) << error.toStdString();
        EXPECT_EQ(bytesOf(saved), c.text);
    }
}

// Roots that are nested, repeated or missing and result variables outside IVRVar: refused with
// the line, nothing loaded, so such a file can never be saved back half-right or with an
// "object IVRResult" in it.
TEST_F(FlowFileTest, MisplacedRootsAndResultsAreReadErrors)
{
    const QByteArray var = lines({"object IVRVar", "end"});
    const QByteArray begin = lines({"object IVRBegin", "end"});
    const QByteArray end = lines({"object IVREnd", "end"});
    const struct {
        const char* what;
        QByteArray text;
        const char* message;
    } cases[] = {
        {"repeated Var", var + var + begin + end, "A second IVRVar object on line 3"},
        {"repeated End", var + begin + end + end, "A second IVREnd object on line 7"},
        {"repeated Begin in another order", begin + end + var + begin, "A second IVRBegin object on line 7"},
        {"repeated Var after the others", begin + var + end + var, "A second IVRVar object on line 7"},
        {"Var nested in Begin", var + lines({"object IVRBegin", "  object IVRVar", "  end", "end"}) + end,
         "IVRVar object on line 4 stands inside another object"},
        {"End nested in a block", var + lines({"object IVRBegin", "  object IVRBlock", "    object IVREnd", "    end", "  end", "end"}) + end,
         "IVREnd object on line 5 stands inside another object"},
        {"Begin nested in Var", lines({"object IVRVar", "  object IVRBegin", "  end", "end"}) + begin + end,
         "IVRBegin object on line 2 stands inside another object"},
        {"End nested, the roots in another order", begin + lines({"object IVRVar", "  object IVREnd", "  end", "end"}) + end,
         "IVREnd object on line 4 stands inside another object"},
        {"Begin nested and missing at the top", lines({"object IVREnd", "  object IVRBegin", "  end", "end"}) + var,
         "IVRBegin object on line 2 stands inside another object"},
        {"statement beside the roots", var + begin + lines({"object IVRBlock", "end"}) + end,
         "IVRBlock object on line 5 stands outside IVRVar, IVRBegin and IVREnd"},
        {"result in the call flow", var + lines({"object IVRBegin", "  object IVRResult", "  end", "end"}) + end,
         "IVRResult object on line 4 stands outside IVRVar"},
        {"result in a category", lines({"object IVRVar", "  object IVRCategory", "    object IVRResult", "    end", "  end", "end"}) + begin + end,
         "IVRResult object on line 3 stands outside IVRVar"},
        {"result at the top", lines({"object IVRResult", "end"}) + var + begin + end,
         "IVRResult object on line 1 stands outside IVRVar, IVRBegin and IVREnd"},
        {"no Var, the others in another order", end + begin, "The flow file has no IVRVar object"},
        {"no End, the others in another order", begin + var, "The flow file has no IVREnd object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("roots.svx");
        EXPECT_TRUE(testfiles::writeFile(file, c.text));
        QString error;
        auto flow = std::make_unique<TIVRFlow>(nullptr, file, true, &error);
        EXPECT_EQ(error, "Read file error: \r\n" + file + ": " + QLatin1String(c.message));
        EXPECT_TRUE(flow->tree().isEmpty());
        EXPECT_EQ(bytesOf(file), c.text);  // the file is untouched
    }
}

TEST_F(FlowFileTest, NestingBeyondTheLimitIsRefused)
{
    QByteArray deep;
    for (int i = 0; i <= flowfile::MaxNesting; ++i) deep += "object IVRBlock\r\n";
    QString error;
    auto flow = load(deep, &error);
    EXPECT_TRUE(error.contains("nested too deeply")) << error.toStdString();
    EXPECT_TRUE(flow->tree().isEmpty());
}

TEST_F(FlowFileTest, FailedSaveAsKeepsTheOldNameAndReportsTheError)
{
    TIVRFlow flow(nullptr, QString(), true);
    int modifyCalls = 0;
    flow.OnModify = [&](bool) { ++modifyCalls; };
    const QString good = path("good.svx");
    ASSERT_TRUE(flow.SaveAs(good, nullptr));
    modifyCalls = 0;
    // A path below a regular file cannot be created, not even by root.
    QString error;
    EXPECT_FALSE(flow.SaveAs(good + "/sub/bad.svx", &error));
    EXPECT_TRUE(error.startsWith("Save file error: \r\n")) << error.toStdString();
    EXPECT_GT(error.size(), 19);
    EXPECT_EQ(flow.FileName, good);
    EXPECT_EQ(flow.FlowName, good);
    EXPECT_EQ(modifyCalls, 0);
    EXPECT_EQ(bytesOf(good), fixture("new.svx"));
}

// Limits the size of files this process writes, so a save fails halfway.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = old_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(FlowFileTest, FailureWhileWritingLeavesTheOldFileByteForByte)
{
    const QString file = path("flow.svx");
    const QByteArray old = fixture("printout.svx");
    EXPECT_TRUE(testfiles::writeFile(file, old));
    QString error;
    TIVRFlow flow(nullptr, file, true, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    for (int i = 0; i < 100; ++i) flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow));
    int modifyCalls = 0;
    flow.OnModify = [&](bool) { ++modifyCalls; };
    {
        FileSizeLimit limit(256);
        EXPECT_FALSE(flow.SaveToFile(&error));
    }
    EXPECT_TRUE(error.startsWith("Save file error: \r\n")) << error.toStdString();
    EXPECT_EQ(bytesOf(file), old);
    EXPECT_EQ(modifyCalls, 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"flow.svx"}));
    EXPECT_TRUE(flow.SaveToFile(&error)) << error.toStdString();
    EXPECT_EQ(modifyCalls, 1);
}

TEST_F(FlowFileTest, SavingIntoAFolderThatTakesNoNewFilesWritesTheFileInPlace)
{
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString locked = path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString flowFile = locked + "/flow.svx";
    const QString textFile = locked + "/flow.txt";
    const QString readOnly = locked + "/readonly.svx";
    const QByteArray old(5000, 'z');  // longer than what replaces it
    for (const QString& f : {flowFile, textFile, readOnly}) EXPECT_TRUE(testfiles::writeFile(f, old));
    chmod(QFile::encodeName(flowFile).constData(), 0666);
    chmod(QFile::encodeName(textFile).constData(), 0666);
    chmod(QFile::encodeName(readOnly).constData(), 0444);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0555), 0);

    TIVRFlow flow(nullptr, QString(), true);
    const QString answer = withoutPrivileges([&] {
        QString error;
        QStringList out;
        out << (flow.SaveAs(flowFile, &error) ? "saved" : error);
        out << (flow.SaveFlowText(textFile, &error) ? "saved" : error);
        out << (flow.SaveAs(readOnly, &error) ? "saved" : error);
        out << (flow.SaveAs(locked + "/new.svx", &error) ? "saved" : error);
        return out.join(QChar(0x1f));
    });
    chmod(QFile::encodeName(locked).constData(), 0755);
    const QStringList results = answer.split(QChar(0x1f));
    ASSERT_EQ(results.size(), 4) << answer.toStdString();
    EXPECT_EQ(results[0], "saved");
    EXPECT_EQ(bytesOf(flowFile), fixture("new.svx"));  // cut to the new length
    EXPECT_EQ(results[1], "saved");
    EXPECT_EQ(bytesOf(textFile), flowfile::flowText(flow).toLatin1());
    // A file nobody may write, and a file that cannot be created: said with the file's name.
    EXPECT_TRUE(results[2].startsWith("Save file error: \r\n")) << results[2].toStdString();
    EXPECT_TRUE(results[2].contains(readOnly)) << results[2].toStdString();
    EXPECT_EQ(bytesOf(readOnly), old);
    EXPECT_TRUE(results[3].contains(locked + "/new.svx")) << results[3].toStdString();
    EXPECT_EQ(QDir(locked).entryList(QDir::Files), QStringList({"flow.svx", "flow.txt", "readonly.svx"}));
}

TEST_F(FlowFileTest, SavingKeepsLinkedNamesOnTheSameFile)
{
    const QString target = path("target.svx");
    const QString other = path("other.svx");
    const struct {
        const char* what;
        bool hardLink;  // else a symbolic link
        QString saveAs;
    } cases[] = {{"through a symbolic link", false, other},
                 {"through a hard link", true, other},
                 {"a file that has a second hard link", true, target}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(target);
        QFile::remove(other);
        EXPECT_TRUE(testfiles::writeFile(target, QByteArray(5000, 'z')));
        if (c.hardLink)
            ASSERT_EQ(link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()), 0);
        else
            ASSERT_TRUE(QFile::link(target, other));
        struct stat before{};
        ASSERT_EQ(stat(QFile::encodeName(target).constData(), &before), 0);

        TIVRFlow flow(nullptr, QString(), true);
        QString error;
        ASSERT_TRUE(flow.SaveAs(c.saveAs, &error)) << error.toStdString();
        struct stat after{};
        ASSERT_EQ(stat(QFile::encodeName(target).constData(), &after), 0);
        if (c.hardLink) {
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_nlink, 2u);
        } else {
            EXPECT_TRUE(QFileInfo(other).isSymLink());
            EXPECT_EQ(QFileInfo(other).symLinkTarget(), target);
        }
        EXPECT_EQ(bytesOf(target), fixture("new.svx"));
        EXPECT_EQ(bytesOf(other), fixture("new.svx"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 2);  // no temporary file left behind
    }
}

// A file with a second name is saved in place; on a full disk that save fails and both names keep
// the old flow, whether or not a copy of the old bytes still fits beside it.
TEST_F(FlowFileTest, AFullDiskNeverCostsAHardLinkedFlowItsOldBytes)
{
    const QByteArray old = fixture("printout.svx");
    for (const qint64 spare : {qint64(0), qint64(64 * 1024)}) {
        SCOPED_TRACE(spare);
        SmallDisk disk(256 * 1024);
        if (!disk.mounted()) GTEST_SKIP() << "no small file system can be mounted here";
        const QString file = disk.filePath("flow.svx");
        const QString other = disk.filePath("other.svx");
        EXPECT_TRUE(testfiles::writeFile(file, old));
        ASSERT_EQ(link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
        QString error;
        TIVRFlow flow(nullptr, file, true, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        for (int i = 0; i < 20000; ++i) flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow));
        ASSERT_GT(flowfile::write(flow).size(), 256 * 1024);
        ASSERT_TRUE(disk.fill("filler", spare));

        EXPECT_FALSE(flow.SaveToFile(&error));
        EXPECT_TRUE(error.startsWith("Save file error: \r\n")) << error.toStdString();
        EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
        EXPECT_EQ(bytesOf(file), old);
        EXPECT_EQ(bytesOf(other), old);
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList({"filler", "flow.svx", "other.svx"}));
    }
}

// In a folder that takes no new file the journal goes to a folder of the user's own, and the next
// load finds it there just the same.
TEST_F(FlowFileTest, AnInPlaceSaveCutOffInAFolderWithoutCreateRightsIsMendedOnTheNextLoad)
{
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString locked = path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString file = locked + "/flow.svx";
    const QByteArray old = fixture("printout.svx");
    EXPECT_TRUE(testfiles::writeFile(file, old));
    chmod(QFile::encodeName(file).constData(), 0666);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0555), 0);
    const QString answer = withoutPrivileges([&] {
        QString error;
        TIVRFlow flow(nullptr, file, true, &error);
        if (!error.isEmpty()) return error;
        flow.FirstVariant->Note = QStringLiteral("changed before the old bytes end");
        FileSave::injectInPlaceFault(old.size() / 2, true);
        if (flow.SaveToFile(&error)) return QStringLiteral("saved despite the fault");
        if (bytesOf(file) == old) return QStringLiteral("the fault left the file as it was");
        TIVRFlow again(nullptr, file, true, &error);
        if (!error.isEmpty()) return error;
        return flowfile::write(again) == old && bytesOf(file) == old ? QStringLiteral("mended") : QStringLiteral("not mended");
    });
    chmod(QFile::encodeName(locked).constData(), 0755);
    EXPECT_EQ(answer, "mended");
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden), QStringList({"flow.svx"}));
}

// An in-place save that fails halfway puts the old bytes back; one whose program dies halfway
// leaves a journal, and the next load reads the old flow and mends the file.
TEST_F(FlowFileTest, AnInPlaceSaveCutOffHalfwayLeavesTheOldFlow)
{
    const QByteArray old = fixture("printout.svx");
    for (const bool dies : {false, true}) {
        SCOPED_TRACE(dies ? "the saver dies" : "the disk fills up");
        const QString file = path("flow.svx");
        const QString other = path("other.svx");
        QFile::remove(file);
        QFile::remove(other);
        EXPECT_TRUE(testfiles::writeFile(file, old));
        ASSERT_EQ(link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
        QString error;
        TIVRFlow flow(nullptr, file, true, &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        for (int i = 0; i < 100; ++i) flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow));

        FileSave::injectInPlaceFault(old.size() / 2 + 3, dies);
        EXPECT_FALSE(flow.SaveToFile(&error));
        EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
        const QStringList entries = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        if (!dies) {
            EXPECT_EQ(bytesOf(file), old);
            EXPECT_EQ(entries, QStringList({"flow.svx", "other.svx"}));
            continue;
        }
        EXPECT_NE(bytesOf(file), old);  // cut off, as a killed program leaves it
        EXPECT_EQ(entries.size(), 3) << entries.join(' ').toStdString();

        TIVRFlow again(nullptr, other, true, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(flowfile::write(again), old);
        EXPECT_EQ(bytesOf(file), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"flow.svx", "other.svx"}));
    }
}

TEST_F(FlowFileTest, SavingOverADeviceOrAPipeIsRefused)
{
    const OddFiles odd(dir, ".svx");
    ASSERT_GE(odd.entries.size(), 2u);
    for (const auto& c : odd.entries) {
        SCOPED_TRACE(c.path.toStdString());
        TIVRFlow flow(nullptr, QString(), true);
        QString error;
        EXPECT_FALSE(flow.SaveAs(c.path, &error));
        EXPECT_TRUE(error.startsWith("Save file error: \r\n")) << error.toStdString();
        EXPECT_TRUE(error.contains(c.path)) << error.toStdString();
        EXPECT_FALSE(flow.SaveFlowText(c.path, &error));
        EXPECT_TRUE(error.startsWith("Save flow text error: \r\n")) << error.toStdString();
    }
    EXPECT_TRUE(odd.unchanged());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot).size(),
              qsizetype(odd.entries.size()));
}

TEST_F(FlowFileTest, BytesThatAreNotGbkComeBackByteForByte)
{
    // Western bytes (é is E9, ï EF), bytes at the edge of the code page (FF, FE), a lead byte before a
    // blank or at the end of a string, beside valid Chinese.
    const QByteArray text = lines({"object IVRVar", "  object IVRVariant", "    Name = 'Caf\xE9'", "    InitValue = '\"\xFF\xFEx\"'",
                                   "  end", "end", "object IVRBegin", "  object IVRIf", "    Note = 'na\xEFve \x81 \xD6\xD0\xCE\xC4 \x81'",
                                   "    Condition = 'Caf\xE9'", "    object IVRTrue", "    end", "    object IVRFalse", "    end", "  end",
                                   "  object IVRReceiveDTMF", "    Save = 'Caf\xE9'", "    MaxLength = 4", "    EndDTMF = '\xFF'",
                                   "    TimeOut = 5", "    TimeOutFirstAdd = 0", "  end", "end", "object IVREnd", "end"});
    QString error;
    auto flow = load(text, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(flowfile::write(*flow), text);
    auto* cond = dynamic_cast<IVRIf*>(flow->BeginRoot->child(0)->statement());
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(cond->link.variable(), flow->FirstVariant);  // the name still finds its variable
    EXPECT_TRUE(cond->Note.contains(QString::fromUtf8(" 中文 ")));

    const QString file = path("saved.svx");
    ASSERT_TRUE(flow->SaveAs(file, &error)) << error.toStdString();
    EXPECT_EQ(bytesOf(file), text);
    const QString printout = path("saved.txt");
    ASSERT_TRUE(flow->SaveFlowText(printout, &error)) << error.toStdString();
    EXPECT_TRUE(bytesOf(printout).contains("If : Caf\xE9 {na\xEFve \x81 \xD6\xD0\xCE\xC4 \x81} ")) << bytesOf(printout).constData();
}

}  // namespace

TEST_F(FlowFileTest, BreakPointsWhereTheRunnerNeverStopsAreDropped)
{
    const auto text = [](bool marks) {
        const char* mark = marks ? "      BreakPoint = True" : nullptr;
        QList<const char*> l{"object IVRVar", "end", "object IVRBegin", "  object IVRIf", "    object IVRTrue"};
        if (mark) l << mark;
        l << "    end" << "    object IVRFalse";
        if (mark) l << mark;
        l << "    end" << "  end" << "  object IVRSwitch" << "    BreakPoint = True" << "    object IVRCase";
        if (mark) l << mark;
        l << "      object IVRBlock" << "        BreakPoint = True" << "      end" << "    end" << "    object IVRDefault";
        if (mark) l << mark;
        l << "    end" << "  end" << "end" << "object IVREnd" << "end";
        QByteArray out;
        for (const char* line : l) out.append(line).append("\r\n");
        return out;
    };
    QString error;
    auto flow = load(text(true), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(flowfile::write(*flow), text(false));  // the Switch and the Block keep theirs
    int marked = 0;
    for (FlowNode* n : nodesInOrder(*flow)) {
        marked += n->statement()->breakPoint() ? 1 : 0;
        EXPECT_EQ(n->text().startsWith("* "), n->statement()->breakPoint()) << n->text().toStdString();
    }
    EXPECT_EQ(marked, 2);
}

// A user variable named like the result variable of the other language: references to each keep
// their own variable through a save in either language and a reopen.
TEST_F(FlowFileTest, UserVariableNamedLikeTheOtherLanguagesResult)
{
    QStringEncoder gbk("GBK");
    for (const bool writtenInChinese : {true, false}) {
        SCOPED_TRACE(writtenInChinese ? "written in Chinese" : "written in English");
        // The user variable bears the result name of the language the flow is reopened in.
        const QString user = writtenInChinese ? "Result" : QString::fromUtf8("结果");
        const QString result = writtenInChinese ? QString::fromUtf8("结果") : "Result";
        const QByteArray text = lines({"object IVRVar", "  object IVRVariant", QByteArray("    Name = '" + gbk.encode(user) + "'").constData(),
                                       "  end", "end", "object IVRBegin", "  object IVRWhile",
                                       QByteArray("    Condition = '" + gbk.encode(result) + "'").constData(), "  end",
                                       "  object IVRWhile", QByteArray("    Condition = '" + gbk.encode(user) + "'").constData(),
                                       "  end", "end", "object IVREnd", "end"});
        for (const bool chinese : {writtenInChinese, !writtenInChinese, writtenInChinese}) {
            SCOPED_TRACE(chinese ? "opened in Chinese" : "opened in English");
            setTextLanguage(chinese);
            QString error;
            auto flow = load(text, &error);
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
            auto* toResult = dynamic_cast<IVRWhile*>(flow->BeginRoot->child(0)->statement());
            auto* toUser = dynamic_cast<IVRWhile*>(flow->BeginRoot->child(1)->statement());
            ASSERT_TRUE(toResult && toUser);
            EXPECT_EQ(toResult->link.variable(), flow->ResultVariant);
            ASSERT_NE(toUser->link.variable(), nullptr);
            EXPECT_NE(toUser->link.variable(), flow->ResultVariant);
            EXPECT_EQ(toUser->link.variable()->Name, user);
            const QString saved = path("saved.svx");
            ASSERT_TRUE(flow->SaveAs(saved, &error)) << error.toStdString();
            EXPECT_EQ(bytesOf(saved), text);
        }
    }
    setTextLanguage(false);
}
