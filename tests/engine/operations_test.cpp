#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <set>

#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/statements/database.h"
#include "engine/statements/declarations.h"
#include "engine/statements/files.h"
#include "engine/statements/line.h"
#include "engine/statements/variables.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"

namespace {

// The persisted properties of every kind, in written order. Each entry is Name:Kind with
// "=default" for a declared default or "!" for an always-written property; strings and variants
// have no declared default (they are left out when empty).
#define COMMON "Note:S Enabled:B=1 BreakPoint:B=0"
struct TableRow {
    const char* className;
    const char* properties;
};
const TableRow kTables[] = {
    {"IVRVar", COMMON},
    {"IVRBegin", COMMON},
    {"IVREnd", COMMON},
    {"IVRCategory", COMMON},
    {"IVRBlock", COMMON},
    {"IVRTrue", COMMON},
    {"IVRFalse", COMMON},
    {"IVRDefault", COMMON},
    {"IVRFinish", COMMON},
    {"IVRRestart", COMMON},
    {"IVRAnswer", COMMON},
    {"IVRVariant", "Name:S " COMMON " InitValue:V"},
    {"IVRResult", "Name:S " COMMON " InitValue:V"},
    {"IVRLabel", "Name:S " COMMON},
    {"IVRGoto", COMMON " LabelName:S"},
    {"IVRDataBase", "Name:S " COMMON " ConnectionString:S CommandType:E=cmdUnknown CommandText:S"},
    {"IVRIf", COMMON " Condition:V"},
    {"IVRSwitch", COMMON " Condition:V"},
    {"IVRCase", COMMON " Condition:V"},
    {"IVRWhile", COMMON " Condition:V"},
    {"IVRDateTime", COMMON " Save:V System:B! Operate:E=dtNull Format:S"},
    {"IVROperator", COMMON " Save:V Operate:E=optNull Source:V Dest:V"},
    {"IVRString", COMMON " Save:V Operate:E=strNil SubIndex:I=0 SubCount:I=0"},
    {"IVRDBOperate", COMMON " DataBase:S Operate:E=dbNull Save:V"},
    {"IVRField", COMMON " DataBase:S Field:V Save:V"},
    {"IVRParam", COMMON " DataBase:S Param:V Value:V"},
    {"IVRCommand", COMMON " DataBase:S CommandText:V CommandType:E!"},
    {"IVRTextFile", COMMON " FileName:V WriteText:V WriteLine:B!"},
    {"IVRInitFile", COMMON " FileName:V Section:V Key:V Value:V Default:V Read:B!"},
    {"IVRExecute", COMMON " CommandLine:V TimeOut:I! Terminate:B!"},
    {"IVRPlay", COMMON " Interruptible:B! WavFile:V"},
    {"IVRRecord", COMMON " Interruptible:B! WavFile:V MaxLength:I!"},
    {"IVRSleep", COMMON " Interruptible:B! MaxLength:I!"},
    {"IVRSpeech", COMMON " Interruptible:B! Content:V SupportXML:B! SpeechType:E! XMLTag:S"},
    {"IVRRing", COMMON " Save:V SaveCalled:V Times:I!"},
    {"IVRCall", COMMON " Called:V TimeOut:I! CalledType:E!"},
    {"IVRGateway", COMMON " Called:V TimeOut:I! CalledType:E! ThroughAnotherGateway:V MaxLength:V"},
    {"IVRSpeakerPhone", COMMON " HookSwitchMode:E!"},
    {"IVRSendDTMF", COMMON " DTMF:V"},
    {"IVRReceiveDTMF", COMMON " Save:V MaxLength:I! EndDTMF:C=0 TimeOut:I! TimeOutFirstAdd:I!"},
};
#undef COMMON

char kindLetter(PropKind k)
{
    switch (k) {
    case PropKind::String: return 'S';
    case PropKind::Boolean: return 'B';
    case PropKind::Integer: return 'I';
    case PropKind::Enum: return 'E';
    case PropKind::Char: return 'C';
    case PropKind::Variant: return 'V';
    }
    return '?';
}

// The table of a class in the notation of kTables.
QString describe(const PropertyList& list)
{
    QStringList out;
    for (const PropertyDesc& d : list) {
        QString s = QString::fromLatin1(d.name) + u':' + QLatin1Char(kindLetter(d.kind));
        const bool scalar = d.kind != PropKind::String && d.kind != PropKind::Variant;
        if (scalar && !d.hasDefault) s += u'!';
        if (scalar && d.hasDefault) {
            s += u'=';
            if (d.kind == PropKind::Enum && d.defaultInt >= 0 && d.defaultInt < d.enumCount)
                s += QLatin1String(d.enumIds[d.defaultInt]);
            else
                s += QString::number(d.defaultInt);
        }
        out << s;
    }
    return out.join(u' ');
}

TEST(PropertyTables, EveryKindHasItsPropertiesInWrittenOrder)
{
    ASSERT_EQ(ClassRegistry::all().size(), std::size(kTables));
    for (const TableRow& row : kTables) {
        SCOPED_TRACE(row.className);
        const ClassInfo* info = ClassRegistry::find(QLatin1String(row.className));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(describe(*info->properties()), QLatin1String(row.properties));
        for (const PropertyDesc& d : *info->properties()) {
            EXPECT_NE(d.get, nullptr) << d.name;
            EXPECT_NE(d.set, nullptr) << d.name;
        }
    }
}

TEST(PropertyTables, OperationClassesAreRegisteredAfterTheOthersInOrder)
{
    const char* order[] = {"IVROperator", "IVRString", "IVRDateTime", "IVRDBOperate", "IVRCommand",
                           "IVRParam", "IVRField", "IVRTextFile", "IVRInitFile", "IVRExecute",
                           "IVRRing", "IVRAnswer", "IVRCall", "IVRPlay", "IVRRecord",
                           "IVRSpeech", "IVRReceiveDTMF", "IVRSendDTMF", "IVRSleep", "IVRGateway",
                           "IVRSpeakerPhone"};
    const auto& all = ClassRegistry::all();
    ASSERT_EQ(all.size(), 19 + std::size(order));
    for (size_t i = 0; i < std::size(order); ++i) EXPECT_STREQ(all[19 + i]->className, order[i]);
}

QStringList ids(const PropertyDesc& d)
{
    QStringList out;
    for (int i = 0; i < d.enumCount; ++i) out << QLatin1String(d.enumIds[i]);
    return out;
}

TEST(PropertyTables, EnumerationIdentifiersInOrdinalOrder)
{
    struct Row {
        const char* className;
        const char* property;
        const char* identifiers;
    } rows[] = {
        {"IVRDateTime", "Operate",
         "dtDateTime dtDate dtYear dtMonth dtDay dtWeek dtTime dtHour dtMinute dtSecond dtMillSecond dtDays "
         "dtHours dtMinutes dtSeconds dtNull"},
        {"IVROperator", "Operate",
         "optAssign optAdd optSubtract optMultiply optRealDivide optIntDivide optModulus optLess optLessEqual "
         "optEquality optInequality optGreatEqual optGreater optAnd optOr optNot optNull"},
        {"IVRString", "Operate",
         "strGetLength strTrimLeft strTrimRight strTrim strSubString strToNumber strToString strNil"},
        {"IVRDBOperate", "Operate", "dbExecute dbOpen dbClose dbFirst dbPrior dbNext dbLast dbNull"},
        {"IVRCommand", "CommandType", "cmdUnknown cmdText cmdTable cmdStoredProc cmdFile cmdTableDirect"},
        {"IVRSpeech", "SpeechType", "stText stFile stContext"},
        {"IVRCall", "CalledType", "ctPhoneNumber ctDomainName ctIPAddress"},
        {"IVRGateway", "CalledType", "ctPhoneNumber ctDomainName ctIPAddress"},
        {"IVRSpeakerPhone", "HookSwitchMode", "hsmOnHook hsmSpeaker hsmMicSpeaker"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.className) + "." + r.property);
        const PropertyDesc* d = ClassRegistry::find(QLatin1String(r.className))->findProperty(QLatin1String(r.property));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(ids(*d).join(u' '), QLatin1String(r.identifiers));
    }
}

// What a statement created from the palette or by the reader holds before any property is set.
TEST(PropertyTables, InitialValuesOfANewStatement)
{
    struct Row {
        const char* className;
        const char* property;
        Value value;
    } rows[] = {
        {"IVRDateTime", "System", Value(true)},    {"IVRDateTime", "Operate", Value(int32_t(dtNull))},
        {"IVRDateTime", "Format", Value("")},      {"IVROperator", "Operate", Value(int32_t(optNull))},
        {"IVRString", "Operate", Value(int32_t(strNil))}, {"IVRString", "SubIndex", Value(0)},
        {"IVRString", "SubCount", Value(0)},       {"IVRDBOperate", "Operate", Value(int32_t(dbNull))},
        {"IVRCommand", "CommandType", Value(int32_t(cmdUnknown))},
        {"IVRTextFile", "WriteLine", Value(true)}, {"IVRInitFile", "Read", Value(true)},
        {"IVRExecute", "TimeOut", Value(0)},       {"IVRExecute", "Terminate", Value(false)},
        {"IVRPlay", "Interruptible", Value(true)}, {"IVRRecord", "Interruptible", Value(true)},
        {"IVRRecord", "MaxLength", Value(20)},     {"IVRSleep", "Interruptible", Value(true)},
        {"IVRSleep", "MaxLength", Value(10)},      {"IVRSpeech", "Interruptible", Value(true)},
        {"IVRSpeech", "SupportXML", Value(false)}, {"IVRSpeech", "SpeechType", Value(int32_t(stText))},
        {"IVRSpeech", "XMLTag", Value("")},        {"IVRRing", "Times", Value(1)},
        {"IVRCall", "TimeOut", Value(20)},         {"IVRCall", "CalledType", Value(int32_t(ctPhoneNumber))},
        {"IVRGateway", "TimeOut", Value(20)},      {"IVRGateway", "CalledType", Value(int32_t(ctPhoneNumber))},
        {"IVRSpeakerPhone", "HookSwitchMode", Value(int32_t(hsmMicSpeaker))},
        {"IVRReceiveDTMF", "MaxLength", Value(1)}, {"IVRReceiveDTMF", "EndDTMF", Value(0)},
        {"IVRReceiveDTMF", "TimeOut", Value(0)},   {"IVRReceiveDTMF", "TimeOutFirstAdd", Value(0)},
    };
    TIVRFlow flow(nullptr, QString(), true);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.className) + "." + r.property);
        const ClassInfo* info = ClassRegistry::find(QLatin1String(r.className));
        std::unique_ptr<TIVRBase> s(info->create(&flow));
        const PropertyDesc* d = info->findProperty(QLatin1String(r.property));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->get(*s), r.value);
    }
    // Every link of every operation starts unassigned, so none is written.
    for (const ClassInfo* info : ClassRegistry::all()) {
        if (!(info->typeSet & tfOperation)) continue;
        std::unique_ptr<TIVRBase> s(info->create(&flow));
        for (const PropertyDesc& d : *info->properties())
            if (d.kind == PropKind::Variant) {
                EXPECT_TRUE(d.get(*s).isEmpty()) << info->className << "." << d.name;
            }
    }
}

TEST(PropertyTables, SettersKeepValuesInTheirRange)
{
    TIVRFlow flow(nullptr, QString(), true);
    IVRString s(&flow);
    const ClassInfo& info = IVRString::info;
    info.findProperty(u"Operate")->set(s, Value(int32_t(strSubString)));
    EXPECT_EQ(s.Operate, strSubString);
    info.findProperty(u"Operate")->set(s, Value(99));  // not an ordinal of the type: refused
    EXPECT_EQ(s.Operate, strSubString);
    info.findProperty(u"SubIndex")->set(s, Value(70000));
    EXPECT_EQ(s.SubIndex, 32767);
    info.findProperty(u"SubCount")->set(s, Value(-5));
    EXPECT_EQ(s.SubCount, 0);

    IVRReceiveDTMF r(&flow);
    IVRReceiveDTMF::info.findProperty(u"EndDTMF")->set(r, Value(int32_t('#')));
    EXPECT_EQ(r.EndDTMF, QChar(u'#'));
    EXPECT_EQ(IVRReceiveDTMF::info.findProperty(u"EndDTMF")->get(r), Value(int32_t('#')));
}

TEST(PropertyTables, DateTimeFormatIsWrittenOnlyWithTheFormattingOperation)
{
    TIVRFlow flow(nullptr, QString(), true);
    IVRDateTime d(&flow);
    const PropertyDesc* format = IVRDateTime::info.findProperty(u"Format");
    format->set(d, Value("yyyy-mm-dd"));
    EXPECT_EQ(format->get(d), Value("yyyy-mm-dd"));
    d.Operate = dtHour;
    EXPECT_EQ(format->get(d), Value(""));
    EXPECT_EQ(d.Format, "yyyy-mm-dd");  // the field keeps it
}

// A flow with variables A, B, C, D, E declared, for link tests.
class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"A", "B", "C", "D", "E"}) {
            auto v = std::make_unique<IVRVariant>(&flow);
            v->Name = QLatin1String(name);
            flow.AddVariant(v.get());
            vars.push_back(std::move(v));
        }
    }
    IVRVariant* var(const char* name)
    {
        for (auto& v : vars)
            if (v->Name == QLatin1String(name)) return v.get();
        return nullptr;
    }

    TIVRFlow flow{nullptr, QString(), true};
    std::vector<std::unique_ptr<IVRVariant>> vars;
};

// Sets the named variant properties to variable names, resolves the links and checks that each
// property refers to its variable, that WhetherUse sees every one of them and nothing else.
struct LinkCase {
    const char* className;
    std::vector<std::pair<const char*, const char*>> links;  // property -> variable
};

TEST_F(LinkFixture, EveryLinkIsResolvedAndReportedByWhetherUse)
{
    const LinkCase cases[] = {
        {"IVROperator", {{"Save", "A"}, {"Source", "B"}, {"Dest", "C"}}},
        {"IVRDateTime", {{"Save", "A"}}},
        {"IVRString", {{"Save", "A"}}},
        {"IVRRing", {{"Save", "A"}, {"SaveCalled", "B"}}},
        {"IVRCall", {{"Called", "A"}}},
        {"IVRGateway", {{"Called", "A"}, {"ThroughAnotherGateway", "B"}, {"MaxLength", "C"}}},
        {"IVRSendDTMF", {{"DTMF", "A"}}},
        {"IVRReceiveDTMF", {{"Save", "A"}}},
        {"IVRPlay", {{"WavFile", "A"}}},
        {"IVRRecord", {{"WavFile", "A"}}},
        {"IVRSpeech", {{"Content", "A"}}},
        {"IVRTextFile", {{"FileName", "A"}, {"WriteText", "B"}}},
        {"IVRInitFile", {{"FileName", "A"}, {"Section", "B"}, {"Key", "C"}, {"Value", "D"}, {"Default", "E"}}},
        {"IVRExecute", {{"CommandLine", "A"}}},
        {"IVRDBOperate", {{"Save", "A"}}},
        {"IVRField", {{"Field", "A"}, {"Save", "B"}}},
        {"IVRParam", {{"Param", "A"}, {"Value", "B"}}},
        {"IVRCommand", {{"CommandText", "A"}}},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.className);
        const ClassInfo* info = ClassRegistry::find(QLatin1String(c.className));
        std::unique_ptr<TIVRBase> s(info->create(&flow));
        for (auto [prop, name] : c.links) info->findProperty(QLatin1String(prop))->set(*s, Value(name));
        s->BuildLink();
        std::set<const IVRVariant*> used;
        for (auto [prop, name] : c.links) {
            EXPECT_EQ(info->findProperty(QLatin1String(prop))->get(*s), Value(name)) << prop;
            EXPECT_TRUE(s->WhetherUse(0, var(name))) << prop;
            EXPECT_FALSE(s->WhetherUse(1, var(name))) << prop;
            used.insert(var(name));
        }
        for (auto& v : vars)
            if (!used.count(v.get())) {
                EXPECT_FALSE(s->WhetherUse(0, v.get())) << v->Name.toStdString();
            }
    }
}

TEST_F(LinkFixture, DeletingAVariableOrAStatementLeavesNoDanglingLink)
{
    auto op = std::make_unique<IVRGateway>(&flow);
    op->link.SetSaveValue(Value("A"));
    op->ThroughAnotherGateway.SetSaveValue(Value("B"));
    op->MaxLength.SetSaveValue(Value("B"));
    op->BuildLink();
    ASSERT_EQ(op->MaxLength.variable(), var("B"));
    // The variable goes first: every link forgets it.
    std::erase_if(vars, [](const auto& v) { return v->Name == QLatin1String("B"); });
    EXPECT_EQ(op->ThroughAnotherGateway.variable(), nullptr);
    EXPECT_EQ(op->MaxLength.variable(), nullptr);
    EXPECT_EQ(op->link.variable(), var("A"));
    // The statement goes first: the variable's chain no longer holds its links.
    op.reset();
    auto other = std::make_unique<IVROperator>(&flow);
    other->Source.SetSaveValue(Value("A"));
    other->BuildLink();
    other.reset();
    var("A")->setValue(Value(1));  // walks nothing freed (checked under the address sanitizer)
    EXPECT_EQ(var("A")->value(), Value(1));
}

TEST_F(LinkFixture, StringConstantsLoseTheirQuotesAndNumbersStayConstants)
{
    IVROperator op(&flow);
    const ClassInfo& info = IVROperator::info;
    info.findProperty(u"Source")->set(op, Value("\"abc\""));
    info.findProperty(u"Dest")->set(op, Value(-3));
    info.findProperty(u"Save")->set(op, Value("Nobody"));  // names no variable: stays a constant
    op.BuildLink();
    EXPECT_EQ(op.Source.variable(), nullptr);
    EXPECT_EQ(op.Source.GetLinkValue(), Value("abc"));
    EXPECT_EQ(info.findProperty(u"Source")->get(op), Value("\"abc\""));
    EXPECT_EQ(op.Dest.GetLinkValue(), Value(-3));
    EXPECT_EQ(op.link.variable(), nullptr);
}

TEST(OperationStatements, AnswerAndSpeakerPhoneHaveNoDialogBitAndAnswerNoDialog)
{
    TIVRFlow flow(nullptr, QString(), true);
    setEditHandler([](TIVRBase&) { return true; });
    IVRAnswer answer(&flow);
    IVRSpeakerPhone phone(&flow);
    EXPECT_FALSE(answer.Edit());
    EXPECT_TRUE(phone.Edit());  // a double click still opens its dialog
    setEditHandler(nullptr);
    EXPECT_FALSE(answer.hasFlag(tfDialog));
    EXPECT_FALSE(phone.hasFlag(tfDialog));
}

// ---- captions of the line, voice, database and file statements ----

class Captions : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        db = std::make_unique<IVRDataBase>(&flow);
        db->Name = "DB1";
        flow.AddDataBase(db.get());
    }
    void TearDown() override { setTextLanguage(false); }
    void useDataBase(TIVRUseDataBase& s)
    {
        s.link.name = "DB1";
        s.BuildLink();
    }
    std::unique_ptr<IVRDataBase> db;
};

TEST_F(Captions, LineStatements)
{
    IVRCall call(&flow);
    EXPECT_EQ(call.GetNodeText(), "Call : Null Phone Number 20Second");
    call.link.LinkTo(var("A"));
    EXPECT_EQ(call.GetNodeText(), "Call : A Phone Number 20Second");
    call.TimeOut = 0;
    call.CalledType = ctIPAddress;
    EXPECT_EQ(call.GetNodeText(), "Call : A IP Address Persist");

    IVRGateway gateway(&flow);
    gateway.link.constant = Value("123");
    EXPECT_EQ(gateway.GetNodeText(), "Gateway : \"123\" Phone Number 20Second");
    gateway.ThroughAnotherGateway.constant = Value("10.0.0.1");
    gateway.MaxLength.constant = Value(60);
    gateway.CalledType = ctDomainName;
    EXPECT_EQ(gateway.GetNodeText(),
              "Gateway : \"123\" Another Gateway:\"10.0.0.1\" Domain Name 20Second MaxLength:60");

    IVRRing ring(&flow);
    EXPECT_EQ(ring.GetNodeText(), "Ring : 1 Times");
    ring.link.LinkTo(var("A"));
    ring.SaveCalled.LinkTo(var("B"));  // not shown
    ring.Times = 3;
    EXPECT_EQ(ring.GetNodeText(), "Ring : 3 Times A");

    IVRSpeakerPhone phone(&flow);
    EXPECT_EQ(phone.GetNodeText(), "SpeakerPhone : MicSpeaker");
    phone.HookSwitchMode = hsmOnHook;
    EXPECT_EQ(phone.GetNodeText(), "SpeakerPhone : OnHook");
    phone.HookSwitchMode = hsmSpeaker;
    EXPECT_EQ(phone.GetNodeText(), "SpeakerPhone : Speaker");

    IVRSendDTMF send(&flow);
    EXPECT_EQ(send.GetNodeText(), "SendDTMF : Null");
    send.link.constant = Value(123);
    EXPECT_EQ(send.GetNodeText(), "SendDTMF : 123");

    IVRReceiveDTMF receive(&flow);
    EXPECT_EQ(receive.GetNodeText(), "ReceiveDTMF : NoVariant  1");
    receive.link.LinkTo(var("A"));
    receive.MaxLength = 0;
    receive.EndDTMF = u'#';
    EXPECT_EQ(receive.GetNodeText(), "ReceiveDTMF : A Persist '#'");

    IVRAnswer answer(&flow);
    EXPECT_EQ(answer.GetNodeText(), "Answer");
}

TEST_F(Captions, VoiceStatements)
{
    IVRPlay play(&flow);
    play.link.SetSaveValue(Value("\"hello.wav\""));
    play.BuildLink();
    EXPECT_EQ(play.GetNodeText(), "Play : \"hello.wav\" Interruptible");
    play.Interruptible = false;
    EXPECT_EQ(play.GetNodeText(), "Play : \"hello.wav\" UnInterruptible");

    IVRRecord record(&flow);
    EXPECT_EQ(record.GetNodeText(), "Record : Null 20 Second Interruptible");
    record.MaxLength = 0;
    record.link.LinkTo(var("A"));
    EXPECT_EQ(record.GetNodeText(), "Record : A Persist Interruptible");

    IVRSleep sleep(&flow);
    EXPECT_EQ(sleep.GetNodeText(), "Sleep : 1.0 Second Interruptible");
    sleep.MaxLength = 15;
    EXPECT_EQ(sleep.GetNodeText(), "Sleep : 1.5 Second Interruptible");
    sleep.MaxLength = 0;
    EXPECT_EQ(sleep.GetNodeText(), "Sleep : Persist Interruptible");

    struct Row {
        bool supportXml;
        TSpeechType type;
        const char* tag;
        const char* caption;
        int tagIndex;
    } rows[] = {
        {false, stText, "", "Speech : Null Interruptible Text", -1},
        {false, stText, "409", "Speech : Null Interruptible Text", -1},  // the tag is ignored
        {true, stText, "409", "Speech : Null Interruptible SupportXML American_English", 1},
        {true, stText, "", "Speech : Null Interruptible SupportXML Default_Language", 0},
        {true, stText, "804", "Speech : Null Interruptible SupportXML Language '804'", -1},
        {true, stFile, "409", "Speech : Null Interruptible SupportXML FileName", -1},
        {true, stContext, "Currency", "Speech : Null Interruptible SupportXML Currency", 13},
        {true, stContext, "currency", "Speech : Null Interruptible SupportXML Context 'currency'", -1},
        {true, stContext, "", "Speech : Null Interruptible SupportXML ", -1},
        {false, stContext, "Time", "Speech : Null Interruptible Context 'Time'", -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption);
        IVRSpeech speech(&flow);
        EXPECT_EQ(speech.TagIndex, -1);
        speech.SupportXML = r.supportXml;
        speech.SpeechType = r.type;
        speech.XMLTag = QLatin1String(r.tag);
        speech.BuildLink();
        EXPECT_EQ(speech.TagIndex, r.tagIndex);
        EXPECT_EQ(speech.GetNodeText(), QLatin1String(r.caption));
    }
}

TEST_F(Captions, ChineseSpeechContextsAreAnotherSet)
{
    setTextLanguage(true);
    IVRSpeech speech(&flow);
    speech.SupportXML = true;
    speech.SpeechType = stContext;
    speech.XMLTag = "Currency";
    speech.BuildLink();
    EXPECT_EQ(speech.TagIndex, -1);
    EXPECT_TRUE(speech.GetDescription().endsWith(txt::SpeechContext + QStringLiteral(" 'Currency'")));
    speech.SpeechType = stText;
    speech.XMLTag = "804";
    speech.BuildLink();
    EXPECT_EQ(speech.TagIndex, 1);
    EXPECT_TRUE(speech.GetDescription().endsWith(QStringLiteral("简体中文")));
}

TEST_F(Captions, DataBaseStatements)
{
    IVRDBOperate op(&flow);
    EXPECT_EQ(op.GetNodeText(), "DBOperate : NoDataBase NoOperate");
    useDataBase(op);
    op.Operate = dbOpen;
    op.variantLink.LinkTo(var("A"));
    EXPECT_EQ(op.GetNodeText(), "DBOperate : DB1 Open A");

    IVRField field(&flow);
    EXPECT_EQ(field.GetNodeText(), "Field : NoDataBase Null NoVariant");
    useDataBase(field);
    field.Field.constant = Value(0);
    field.variantLink.LinkTo(var("B"));
    EXPECT_EQ(field.GetNodeText(), "Field : DB1 0 B");

    IVRParam param(&flow);
    EXPECT_EQ(param.GetNodeText(), "Param : NoDataBase Null Null");
    useDataBase(param);
    param.Param.constant = Value("id");
    param.variantLink.LinkTo(var("C"));
    EXPECT_EQ(param.GetNodeText(), "Param : DB1 \"id\" C");

    IVRCommand command(&flow);
    EXPECT_EQ(command.GetNodeText(), "Command : NoDataBase Unknown Null");
    useDataBase(command);
    command.CommandType = cmdText;
    command.variantLink.constant = Value("select 1");
    EXPECT_EQ(command.GetNodeText(), "Command : DB1 SQLStatement \"select 1\"");

    // The definition goes away: the statements fall back to the word.
    db.reset();
    EXPECT_EQ(command.GetNodeText(), "Command : NoDataBase SQLStatement \"select 1\"");
}

TEST_F(Captions, FileStatements)
{
    IVRTextFile text(&flow);
    EXPECT_EQ(text.GetNodeText(), "TextFile : Null Write Line");
    text.link.constant = Value("a.txt");
    text.WriteText.LinkTo(var("A"));
    text.WriteLine = false;
    EXPECT_EQ(text.GetNodeText(), "TextFile : \"a.txt\" A");

    IVRInitFile ini(&flow);
    EXPECT_EQ(ini.GetNodeText(), "InitFile : Null Null Null Null Null Read");
    ini.link.constant = Value("x.ini");
    ini.Section.constant = Value("S");
    ini.Key.LinkTo(var("B"));
    ini.Value.constant = Value(5);
    ini.Read = false;
    EXPECT_EQ(ini.GetNodeText(), "InitFile : \"x.ini\" \"S\" B 5 Null Write");

    IVRExecute execute(&flow);
    EXPECT_EQ(execute.GetNodeText(), "Execute : Null 0 Second");
    execute.link.constant = Value("ls -l");
    execute.TimeOut = 5;
    execute.Terminate = true;
    EXPECT_EQ(execute.GetNodeText(), "Execute : \"ls -l\" 5 Second TimeOut Terminate");
}

TEST_F(Captions, ChineseWordsComeFromTheTextTable)
{
    setTextLanguage(true);
    IVRCall call(&flow);
    IVRSpeakerPhone phone(&flow);
    IVRTextFile text(&flow);
    const QString callCaption = call.GetDescription();
    const QString phoneCaption = phone.GetDescription();
    const QString textCaption = text.GetDescription();
    const QString expectedCall = QStringLiteral("：") + txt::Null + u' ' + txt::CalledTypeNames[0] + u' ' +
                                 QStringLiteral("20") + txt::Second;
    const QString expectedPhone = QStringLiteral("：") + TIVRFlow::CaptionToName(txt::SpeakerPhoneMicSpeaker);
    setTextLanguage(false);
    EXPECT_EQ(callCaption, expectedCall);
    EXPECT_EQ(phoneCaption, expectedPhone);
    EXPECT_FALSE(phoneCaption.contains(u'&'));
    EXPECT_FALSE(textCaption.contains(u'&'));
    EXPECT_FALSE(textCaption.contains(u'('));
}

}  // namespace

namespace {
TEST(OperationContract, NothingEscapesADoItBody)
{
    QString result, error;
    EXPECT_EQ(operation::guarded(result, error, []() -> int { throw std::runtime_error("disk full"); }), 1);
    EXPECT_EQ(result, "returnFAILED");
    EXPECT_EQ(error, "disk full");
    result.clear();
    error.clear();
    EXPECT_EQ(operation::guarded(result, error, []() -> int { throw 42; }), 1);
    EXPECT_EQ(result, "returnFAILED");
    EXPECT_EQ(error, "Failed");
    result.clear();
    error.clear();
    EXPECT_EQ(operation::guarded(result, error, [] { return 0; }), 0);
    EXPECT_TRUE(result.isEmpty() && error.isEmpty());
}

TEST(OperationContract, ChannelStatusesBecomeCodesAndTexts)
{
    struct Row {
        int status, code;
        const char* result;
        const char* error;
    } rows[] = {
        {0, 0, "returnSUCCESS", ""},     {1, 1, "returnFAILED", "Failed"},
        {2, 2, "returnHANGUP", ""},      {3, 3, "returnCALLFAILED", "CallFailed"},
        {4, 4, "returnFAILED", ""},      {5, 1, "returnFAILED", "Connected"},
        {6, 1, "returnFAILED", "Disconnected"}, {8, 1, "returnFAILED", "NotEnoughParam"},
        {9, 1, "returnFAILED", "ParamError"},   {-3, 1, "returnFAILED", "Unknown device status: -3"},
        {10, 1, "returnFAILED", "Unknown device status: 10"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.status);
        QString result, error;
        EXPECT_EQ(operation::finish(r.status, result, error), r.code);
        EXPECT_EQ(result, QLatin1String(r.result));
        EXPECT_EQ(error, QLatin1String(r.error));
    }
}
}  // namespace
