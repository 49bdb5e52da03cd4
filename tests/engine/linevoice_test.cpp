// Line and voice statements: what each DoIt gives the channel and what it makes of the answer,
// first against a scripted fake channel (every status, every operand form), then against the
// simulated device (hang-ups, digits, recordings), and the example call flow end to end.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/runner.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/line.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"
#include "devices/sim/scenario.h"
#include "devices/sim/simdevice.h"
#include "platform/wave.h"

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
static void PrintTo(const Value& v, std::ostream* os)
{
    *os << "kind " << int(v.kind()) << " \"" << v.displayText().toStdString() << '"';
}

namespace {

QString q(const QString& s) { return QLatin1Char('"') + s + QLatin1Char('"'); }
QString flag(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }

// A channel that logs every call with its arguments and answers the status set for the
// operation (0 when none is set). Its out values are fixed: caller 5550100, called 8000,
// digits 12.
class FakeChannel : public IIVRAddress {
public:
    int32_t Answer() override { return answer("Answer", {}); }
    int32_t PlayFile(const QString& file, bool interruptible) override
    {
        return answer("PlayFile", {q(file), flag(interruptible)});
    }
    int32_t ReceiveDTMF(QString& digits, int maxLength, int endDigit, int timeOut, int timeOutFirstAdd) override
    {
        const int32_t s = answer("ReceiveDTMF", {q(digits), QString::number(maxLength), QString::number(endDigit),
                                                 QString::number(timeOut), QString::number(timeOutFirstAdd)});
        digits = QStringLiteral("12");
        return s;
    }
    int32_t EndPass() override { return answer("EndPass", {}); }
    int32_t BeginPass() override { return answer("BeginPass", {}); }
    int32_t Abort() override { return answer("Abort", {}); }
    int32_t Speak(const QString& textOrFile, bool interruptible, bool supportXml, bool isFile) override
    {
        return answer("Speak", {q(textOrFile), flag(interruptible), flag(supportXml), flag(isFile)});
    }
    int32_t RecordFile(const QString& file, bool interruptible, int maxLengthSeconds) override
    {
        return answer("RecordFile", {q(file), flag(interruptible), QString::number(maxLengthSeconds)});
    }
    int32_t WaitRing(int ringCount, QString& caller, QString& called) override
    {
        const int32_t s = answer("WaitRing", {QString::number(ringCount)});
        caller = QStringLiteral("5550100");
        called = QStringLiteral("8000");
        return s;
    }
    int32_t MakeCall(const QString& number, int addressType, int timeOut) override
    {
        return answer("MakeCall", {q(number), QString::number(addressType), QString::number(timeOut)});
    }
    int32_t Sleep(bool interruptible, int tenths) override
    {
        return answer("Sleep", {flag(interruptible), QString::number(tenths)});
    }
    int32_t SendDTMF(const QString& digits) override { return answer("SendDTMF", {q(digits)}); }
    int32_t GatewayCall(const QString& number, const QString& otherGateway, int addressType, int timeOut,
                        int32_t maxLength) override
    {
        return answer("GatewayCall", {q(number), q(otherGateway), QString::number(addressType),
                                      QString::number(timeOut), QString::number(maxLength)});
    }
    int32_t SetHookSwitch(int hookMode) override { return answer("SetHookSwitch", {QString::number(hookMode)}); }

    int32_t status = 0;  // what every operation answers
    QStringList log;

private:
    int32_t answer(const char* name, const QStringList& args)
    {
        log << QString::fromLatin1(name) + QLatin1Char('(') + args.join(QStringLiteral(", ")) + QLatin1Char(')');
        return status;
    }
};

using Props = std::vector<std::pair<const char*, Value>>;
using Vars = std::vector<std::pair<const char*, Value>>;

struct Outcome {
    int code = -1;
    QString result;
    QString error;
};

// A flow in /flows with the variables A, B and D (holding "old"), N (42) and E (empty).
class LineVoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        flow.FileName = QStringLiteral("/flows/main.svx");
        for (const char* name : {"A", "B", "D"}) variable(name, Value("old"));
        variable("N", Value(42));
        variable("E", Value());
    }

    IVRVariant* variable(const char* name, const Value& value)
    {
        auto v = std::make_unique<IVRVariant>(&flow);
        v->Name = QString::fromLatin1(name);
        v->link.constant = value;
        v->ResetValue();
        flow.AddVariant(v.get());
        variables.push_back(std::move(v));
        return variables.back().get();
    }
    void resetVariables()
    {
        for (const auto& v : variables) v->ResetValue();
    }
    Value valueOf(const char* name) const
    {
        for (const auto& v : variables)
            if (v->Name == QLatin1String(name)) return v->value();
        ADD_FAILURE() << "no variable " << name;
        return {};
    }
    // Every variable but those listed still holds its value from SetUp.
    void expectVariables(const Vars& changed) const
    {
        const std::map<QString, Value> initial = {
            {"A", Value("old")}, {"B", Value("old")}, {"D", Value("old")}, {"N", Value(42)}, {"E", Value()}};
        for (const auto& [name, value] : initial) {
            Value expected = value;
            for (const auto& [n, v] : changed)
                if (name == QLatin1String(n)) expected = v;
            EXPECT_EQ(valueOf(name.toLatin1().constData()), expected) << "variable " << name.toStdString();
        }
    }

    // A statement as the flow file reader makes it: properties set from their stored forms,
    // then the links resolved.
    TIVRBase& make(const char* className, const Props& props)
    {
        const ClassInfo* info = ClassRegistry::find(className);
        EXPECT_NE(info, nullptr) << className;
        std::unique_ptr<TIVRBase> s(ClassRegistry::create(className, &flow));
        for (const auto& [name, value] : props) {
            const PropertyDesc* d = info->findProperty(name);
            EXPECT_NE(d, nullptr) << className << "." << name;
            if (d) d->set(*s, value);
        }
        s->BuildLink();
        statements.push_back(std::move(s));
        return *statements.back();
    }

    Outcome run(TIVRBase& s, ChannelPtr channel)
    {
        ExecContext ctx;
        ctx.channel = std::move(channel);
        ctx.flow = &flow;
        Outcome o;
        o.code = s.DoIt(ctx, o.result, o.error);
        return o;
    }

    TIVRFlow flow{nullptr, QString(), true};
    std::vector<std::unique_ptr<IVRVariant>> variables;
    std::vector<std::unique_ptr<TIVRBase>> statements;  // after the variables: freed first
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
};

// One statement against the fake channel.
struct Row {
    const char* what;
    const char* className;
    Props props;
    int32_t status;  // the channel's answer
    int code;
    const char* result;
    QString error;
    QStringList log;  // empty: the channel is not called
    Vars changed;     // variables that change
};

const char* const kSuccess = "returnSUCCESS";
const char* const kFailed = "returnFAILED";
const char* const kHangUp = "returnHANGUP";
const char* const kCallFailed = "returnCALLFAILED";

class LineVoiceTable : public LineVoice {
protected:
    void check(const std::vector<Row>& rows)
    {
        for (const Row& r : rows) {
            SCOPED_TRACE(r.what);
            resetVariables();
            channel->log.clear();
            channel->status = r.status;
            TIVRBase& s = make(r.className, r.props);
            const Outcome o = run(s, channel);
            EXPECT_EQ(o.code, r.code);
            EXPECT_EQ(o.result, QLatin1String(r.result));
            EXPECT_EQ(o.error, r.error);
            EXPECT_EQ(channel->log.join(" | ").toStdString(), r.log.join(" | ").toStdString());
            expectVariables(r.changed);
        }
    }
};

Value ch(char c) { return Value(int32_t(c)); }

TEST_F(LineVoiceTable, LineStatements)
{
    const QString notEnough = "NotEnoughParam", paramError = "ParamError";
    check({
        {"ring stores both numbers", "IVRRing", {{"Save", "A"}, {"SaveCalled", "B"}, {"Times", 2}}, 0, 0, kSuccess, "",
         {"WaitRing(2)"}, {{"A", Value("5550100")}, {"B", Value::wideString("8000")}}},
        {"a failed ring still stores, into linked variables only", "IVRRing",
         {{"Save", "A"}, {"SaveCalled", "\"B\""}, {"Times", 1}}, 1, 1, kFailed, "Failed", {"WaitRing(1)"},
         {{"A", Value("5550100")}}},
        {"ring aborted ends the pass", "IVRRing", {}, 4, 4, kFailed, "", {"WaitRing(1)"}, {}},
        {"answer", "IVRAnswer", {}, 0, 0, kSuccess, "", {"Answer()"}, {}},
        {"answer after the caller hung up", "IVRAnswer", {}, 2, 2, kHangUp, "", {"Answer()"}, {}},

        {"call a constant number by IP address", "IVRCall", {{"Called", "\"5550123\""}, {"TimeOut", 30}, {"CalledType", 2}},
         0, 0, kSuccess, "", {R"(MakeCall("5550123", 16, 30))"}, {}},
        {"call the number a variable holds; no answer", "IVRCall", {{"Called", "N"}}, 3, 3, kCallFailed, "CallFailed",
         {R"(MakeCall("42", 1, 20))"}, {}},
        {"call an empty variable", "IVRCall", {{"Called", "E"}}, 0, 1, kFailed, notEnough, {}, {}},
        {"call without a number", "IVRCall", {}, 0, 1, kFailed, notEnough, {}, {}},
        {"call answered by a connected status", "IVRCall", {{"Called", "\"1\""}}, 5, 1, kFailed, "Connected",
         {R"(MakeCall("1", 1, 20))"}, {}},

        {"gateway with defaults", "IVRGateway", {{"Called", "\"5550123\""}}, 0, 0, kSuccess, "",
         {R"(GatewayCall("5550123", "", 1, 20, 0))"}, {}},
        {"gateway through another gateway with a limit", "IVRGateway",
         {{"Called", "\"5550123\""}, {"ThroughAnotherGateway", "\"gw2\""}, {"MaxLength", 600}, {"CalledType", 1},
          {"TimeOut", 0}},
         0, 0, kSuccess, "", {R"(GatewayCall("5550123", "gw2", 8, 0, 600))"}, {}},
        {"gateway limit as text", "IVRGateway", {{"Called", "N"}, {"MaxLength", "\"90\""}}, 0, 0, kSuccess, "",
         {R"(GatewayCall("42", "", 1, 20, 90))"}, {}},
        {"gateway negative limit", "IVRGateway", {{"Called", "N"}, {"MaxLength", -1}}, 0, 1, kFailed, paramError, {}, {}},
        {"gateway limit that is no number", "IVRGateway", {{"Called", "N"}, {"MaxLength", "\"abc\""}}, 0, 1, kFailed,
         "Invalid variant type conversion", {}, {}},
        {"gateway checks the number first", "IVRGateway", {{"Called", "E"}, {"MaxLength", -1}}, 0, 1, kFailed, notEnough,
         {}, {}},
        {"gateway disconnected", "IVRGateway", {{"Called", "N"}}, 6, 1, kFailed, "Disconnected",
         {R"(GatewayCall("42", "", 1, 20, 0))"}, {}},

        {"on hook", "IVRSpeakerPhone", {{"HookSwitchMode", 0}}, 0, 0, kSuccess, "", {"SetHookSwitch(1)"}, {}},
        {"speaker", "IVRSpeakerPhone", {{"HookSwitchMode", 1}}, 0, 0, kSuccess, "", {"SetHookSwitch(4)"}, {}},
        {"microphone and speaker", "IVRSpeakerPhone", {}, 0, 0, kSuccess, "", {"SetHookSwitch(8)"}, {}},

        {"send digits", "IVRSendDTMF", {{"DTMF", "\"12#\""}}, 0, 0, kSuccess, "", {R"(SendDTMF("12#"))"}, {}},
        {"send the digits of a number", "IVRSendDTMF", {{"DTMF", "N"}}, 0, 0, kSuccess, "", {R"(SendDTMF("42"))"}, {}},
        {"digits go to the device as they are", "IVRSendDTMF", {{"DTMF", "\"1;reboot $(id)\""}}, 9, 1, kFailed,
         paramError, {R"~(SendDTMF("1;reboot $(id)"))~"}, {}},
        {"send nothing", "IVRSendDTMF", {}, 0, 1, kFailed, notEnough, {}, {}},

        {"receive with every limit", "IVRReceiveDTMF",
         {{"Save", "D"}, {"MaxLength", 4}, {"EndDTMF", ch('#')}, {"TimeOut", 5}, {"TimeOutFirstAdd", 3}}, 0, 0, kSuccess,
         "", {R"(ReceiveDTMF(" ", 4, 35, 5, 3))"}, {{"D", Value::wideString("12")}}},
        {"receive until the end digit only", "IVRReceiveDTMF", {{"Save", "D"}, {"MaxLength", 0}, {"EndDTMF", ch('*')}},
         0, 0, kSuccess, "", {R"(ReceiveDTMF(" ", 0, 42, 0, 0))"}, {{"D", Value::wideString("12")}}},
        {"input that could never end", "IVRReceiveDTMF", {{"Save", "D"}, {"MaxLength", 0}}, 0, 1, kFailed, paramError,
         {}, {}},
        {"receive into a constant", "IVRReceiveDTMF", {{"Save", "\"D\""}}, 0, 1, kFailed, notEnough, {}, {}},
        {"the end condition is checked first", "IVRReceiveDTMF", {{"MaxLength", 0}}, 0, 1, kFailed, paramError, {}, {}},
        {"hang-up keeps the digits collected", "IVRReceiveDTMF", {{"Save", "D"}}, 2, 2, kHangUp, "",
         {R"(ReceiveDTMF(" ", 1, 0, 0, 0))"}, {{"D", Value::wideString("12")}}},
    });
}

TEST_F(LineVoiceTable, VoiceStatements)
{
    const QString notEnough = "NotEnoughParam";
    check({
        {"play a bare name from the flow's folder", "IVRPlay", {{"WavFile", "\"hello.wav\""}}, 0, 0, kSuccess, "",
         {R"(PlayFile("/flows/hello.wav", 1))"}, {}},
        {"play an absolute name uninterruptibly", "IVRPlay",
         {{"Interruptible", false}, {"WavFile", "\"/sounds/hello.wav\""}}, 0, 0, kSuccess, "",
         {R"(PlayFile("/sounds/hello.wav", 0))"}, {}},
        {"backslashes of a flow written elsewhere", "IVRPlay", {{"WavFile", "\"voice\\hello.wav\""}}, 0, 0, kSuccess, "",
         {R"(PlayFile("/flows/voice/hello.wav", 1))"}, {}},
        {"a leading backslash stays in the flow's folder", "IVRPlay", {{"WavFile", "\"\\hello.wav\""}}, 0, 0, kSuccess,
         "", {R"(PlayFile("/flows/hello.wav", 1))"}, {}},
        {"a variable holding a number names the file", "IVRPlay", {{"WavFile", "N"}}, 0, 0, kSuccess, "",
         {R"(PlayFile("/flows/42", 1))"}, {}},
        {"play an empty variable", "IVRPlay", {{"WavFile", "E"}}, 0, 1, kFailed, notEnough, {}, {}},
        {"play a missing file", "IVRPlay", {{"WavFile", "\"gone.wav\""}}, 1, 1, kFailed, "Failed",
         {R"(PlayFile("/flows/gone.wav", 1))"}, {}},

        {"record without a limit", "IVRRecord", {{"WavFile", "\"msg.wav\""}, {"MaxLength", 0}}, 0, 0, kSuccess, "",
         {R"(RecordFile("/flows/msg.wav", 1, 0))"}, {}},
        {"record hung up", "IVRRecord", {{"Interruptible", false}, {"WavFile", "\"msg.wav\""}}, 2, 2, kHangUp, "",
         {R"(RecordFile("/flows/msg.wav", 0, 20))"}, {}},
        {"record into nothing", "IVRRecord", {}, 0, 1, kFailed, notEnough, {}, {}},

        {"sleep 1.5 seconds", "IVRSleep", {{"MaxLength", 15}}, 0, 0, kSuccess, "", {"Sleep(1, 15)"}, {}},
        {"sleep until aborted", "IVRSleep", {{"Interruptible", false}, {"MaxLength", 0}}, 4, 4, kFailed, "",
         {"Sleep(0, 0)"}, {}},

        {"speak a text", "IVRSpeech", {{"Content", "\"Hello\""}}, 0, 0, kSuccess, "", {R"(Speak("Hello", 1, 0, 0))"}, {}},
        {"speak in a language", "IVRSpeech", {{"Content", "\"Hello\""}, {"SupportXML", true}, {"XMLTag", "409"}}, 0, 0,
         kSuccess, "", {R"(Speak("<LANG LANGID="409">Hello</LANG>", 1, 1, 0))"}, {}},
        {"the default language writes no tag", "IVRSpeech", {{"Content", "\"Hello\""}, {"SupportXML", true}}, 0, 0,
         kSuccess, "", {R"(Speak("Hello", 1, 1, 0))"}, {}},
        {"without markup the tag is ignored", "IVRSpeech", {{"Content", "\"Hello\""}, {"XMLTag", "409"}}, 0, 0, kSuccess,
         "", {R"(Speak("Hello", 1, 0, 0))"}, {}},
        {"speak in a context", "IVRSpeech",
         {{"Content", "\"12.50\""}, {"SupportXML", true}, {"SpeechType", 2}, {"XMLTag", "Currency"}}, 0, 0, kSuccess, "",
         {R"(Speak("<context ID="Currency">12.50</context>", 1, 1, 0))"}, {}},
        {"markup inside the text goes as it is", "IVRSpeech",
         {{"Content", "\"<emph>now</emph>\""}, {"SupportXML", true}, {"XMLTag", "409"}}, 0, 0, kSuccess, "",
         {R"(Speak("<LANG LANGID="409"><emph>now</emph></LANG>", 1, 1, 0))"}, {}},
        {"a typed tag cannot end the element", "IVRSpeech",
         {{"Content", "\"Hi\""}, {"SupportXML", true}, {"XMLTag", "409\"><x a='1'>&"}}, 0, 0, kSuccess, "",
         {R"(Speak("<LANG LANGID="409&quot;&gt;&lt;x a=&apos;1&apos;&gt;&amp;">Hi</LANG>", 1, 1, 0))"}, {}},
        {"a typed context tag likewise", "IVRSpeech",
         {{"Content", "\"5\""}, {"SupportXML", true}, {"SpeechType", 2}, {"XMLTag", "</context><x>"}}, 0, 0, kSuccess,
         "", {R"(Speak("<context ID="&lt;/context&gt;&lt;x&gt;">5</context>", 1, 1, 0))"}, {}},
        {"speak a file: absolute, never wrapped", "IVRSpeech",
         {{"Content", "\"news.txt\""}, {"SupportXML", true}, {"SpeechType", 1}, {"XMLTag", "409"}}, 0, 0, kSuccess, "",
         {R"(Speak("/flows/news.txt", 1, 1, 1))"}, {}},
        {"speak a number", "IVRSpeech", {{"Interruptible", false}, {"Content", "N"}}, 0, 0, kSuccess, "",
         {R"(Speak("42", 0, 0, 0))"}, {}},
        {"no speech engine", "IVRSpeech", {{"Content", "\"Hello\""}}, 7, 1, kFailed, TIVRFlow::ResultMessage(7),
         {R"(Speak("Hello", 1, 0, 0))"}, {}},
        {"speak nothing", "IVRSpeech", {{"Content", "E"}}, 0, 1, kFailed, notEnough, {}, {}},
    });
    EXPECT_TRUE(TIVRFlow::ResultMessage(7).startsWith("NotTTS\r\n\r\n"));
    EXPECT_TRUE(TIVRFlow::ResultMessage(7).contains(txt::NotTTSHint));
}

// A statement of every kind with operands that are all there.
Props validProps(const QString& className)
{
    static const std::map<QString, Props> props = {
        {"IVRRing", {{"Save", "A"}, {"SaveCalled", "B"}}},
        {"IVRAnswer", {}},
        {"IVRCall", {{"Called", "N"}}},
        {"IVRGateway", {{"Called", "N"}}},
        {"IVRSpeakerPhone", {}},
        {"IVRSendDTMF", {{"DTMF", "N"}}},
        {"IVRReceiveDTMF", {{"Save", "D"}}},
        {"IVRPlay", {{"WavFile", "\"a.wav\""}}},
        {"IVRRecord", {{"WavFile", "\"a.wav\""}}},
        {"IVRSleep", {}},
        {"IVRSpeech", {{"Content", "\"Hello\""}}},
    };
    return props.at(className);
}
const char* const kKinds[] = {"IVRRing",        "IVRAnswer",      "IVRCall", "IVRGateway", "IVRSpeakerPhone",
                              "IVRSendDTMF",    "IVRReceiveDTMF", "IVRPlay", "IVRRecord",  "IVRSleep",
                              "IVRSpeech"};

TEST_F(LineVoice, WithoutAChannelEveryStatementFailsAndChangesNothing)
{
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        const Outcome o = run(make(kind, validProps(kind)), nullptr);
        EXPECT_EQ(o.code, 1);
        EXPECT_EQ(o.result, "returnFAILED");
        EXPECT_EQ(o.error, "No channel: the device address could not be opened");
        expectVariables({});
    }
    setTextLanguage(true);
    const Outcome o = run(make("IVRPlay", validProps("IVRPlay")), nullptr);
    setTextLanguage(false);
    EXPECT_EQ(o.error, QString::fromUtf8("没有通道：设备地址未能打开"));
}

TEST_F(LineVoice, AStatusOutsideTheKnownOnesIsAFailureThatNamesIt)
{
    for (const char* kind : kKinds) {
        for (int32_t status : {10, 99, -1, -2, INT32_MIN, INT32_MAX}) {
            SCOPED_TRACE(std::string(kind) + " " + std::to_string(status));
            channel->status = status;
            const Outcome o = run(make(kind, validProps(kind)), channel);
            EXPECT_EQ(o.code, 1);
            EXPECT_EQ(o.result, "returnFAILED");
            EXPECT_EQ(o.error, "Unknown device status: " + QString::number(status));
        }
    }
    // The known statuses, through one statement: 0..4 are the code, 5..9 a failure with the text.
    const std::vector<std::tuple<int, int, QString, QString>> known = {
        {0, 0, "returnSUCCESS", ""},       {1, 1, "returnFAILED", "Failed"},
        {2, 2, "returnHANGUP", ""},        {3, 3, "returnCALLFAILED", "CallFailed"},
        {4, 4, "returnFAILED", ""},        {5, 1, "returnFAILED", "Connected"},
        {6, 1, "returnFAILED", "Disconnected"}, {7, 1, "returnFAILED", TIVRFlow::ResultMessage(7)},
        {8, 1, "returnFAILED", "NotEnoughParam"}, {9, 1, "returnFAILED", "ParamError"},
    };
    for (const auto& [status, code, result, error] : known) {
        SCOPED_TRACE(status);
        channel->status = status;
        const Outcome o = run(make("IVRAnswer", {}), channel);
        EXPECT_EQ(o.code, code);
        EXPECT_EQ(o.result, result);
        EXPECT_EQ(o.error, error);
    }
}

TEST_F(LineVoice, EndDigitMustBeAKeyOfThePhone)
{
    for (const char c : QByteArray("0123456789*#ABCD")) {
        SCOPED_TRACE(c);
        channel->log.clear();
        const Outcome o = run(make("IVRReceiveDTMF", {{"Save", "D"}, {"MaxLength", 0}, {"EndDTMF", ch(c)}}), channel);
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(channel->log, QStringList{QStringLiteral(R"(ReceiveDTMF(" ", 0, %1, 0, 0))").arg(int(c))});
    }
    for (const int32_t code : {int32_t('x'), int32_t('a'), int32_t('E'), int32_t(' '), 127, 128, 200, 0x4E00, 0xFFFF}) {
        SCOPED_TRACE(code);
        resetVariables();
        channel->log.clear();
        const Outcome o = run(make("IVRReceiveDTMF", {{"Save", "D"}, {"EndDTMF", Value(code)}}), channel);
        EXPECT_EQ(o.code, 1);
        EXPECT_EQ(o.result, "returnFAILED");
        EXPECT_EQ(o.error, "ParamError");
        EXPECT_TRUE(channel->log.isEmpty());
        expectVariables({});
    }
}

TEST_F(LineVoice, EndDigitReadFromAFlowFile)
{
    struct Case {
        const char* stored;
        int code;
    } cases[] = {{"'#'", 0}, {"'x'", 1}, {"#200", 1}, {"'a'", 1}, {"'D'", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TIVRFlow f(nullptr, QString(), true);
        flowfile::clear(f);
        const QByteArray text = QByteArray("object IVRVar\r\n  object IVRVariant\r\n    Name = 'D'\r\n  end\r\nend\r\n"
                                           "object IVRBegin\r\n  object IVRReceiveDTMF\r\n    Save = 'D'\r\n"
                                           "    MaxLength = 0\r\n    EndDTMF = ") +
                                c.stored +
                                "\r\n    TimeOut = 0\r\n    TimeOutFirstAdd = 0\r\n  end\r\nend\r\n"
                                "object IVREnd\r\nend\r\n";
        QString error;
        ASSERT_TRUE(flowfile::read(f, text, &error)) << error.toStdString();
        TIVRBase* s = f.BeginRoot->firstChild()->statement();
        channel->log.clear();
        ExecContext ctx;
        ctx.channel = channel;
        ctx.flow = &f;
        QString result, err;
        EXPECT_EQ(s->DoIt(ctx, result, err), c.code);
        if (c.code) {
            EXPECT_EQ(err, "ParamError");
            EXPECT_TRUE(channel->log.isEmpty());
        } else {
            EXPECT_EQ(channel->log.size(), 1);
        }
    }
}

TEST_F(LineVoice, EveryStatementHoldsTheChannelForTheWholeCall)
{
    // The runner may drop its reference while a statement blocks (a stop closes the channel);
    // the statement's own reference keeps the object alive until the call returns.
    class Dropping : public FakeChannel {
    public:
        ExecContext* ctx = nullptr;
        std::weak_ptr<IIVRAddress> self;
        int32_t Answer() override
        {
            ctx->channel.reset();
            EXPECT_FALSE(self.expired());
            return 0;
        }
    };
    auto dropping = std::make_shared<Dropping>();
    dropping->self = dropping;
    ExecContext ctx;
    ctx.channel = dropping;
    dropping->ctx = &ctx;
    std::weak_ptr<IIVRAddress> weak = dropping;
    dropping.reset();
    QString result, error;
    EXPECT_EQ(make("IVRAnswer", {}).DoIt(ctx, result, error), 0);
    EXPECT_TRUE(weak.expired());
}

}  // namespace

// ---- on the simulated device ----

namespace {

QString fixture(const char* name) { return QStringLiteral(SORVIX_FIXTURES "/") + QLatin1String(name); }

// One line of the simulated device, with the statements of the fixture run on it.
class OnSimLine : public LineVoice {
protected:
    void TearDown() override
    {
        if (device && line) device->CloseChannel(0, line);
    }
    void open(const QByteArray& json)
    {
        Scenario scenario;
        QString error;
        ASSERT_TRUE(parseScenario(json, scenario, &error)) << error.toStdString();
        if (device && line) device->CloseChannel(0, line);
        line.reset();
        device = std::make_shared<SimDevice>(std::move(scenario));
        ASSERT_EQ(device->OpenChannel(0, line, -1, -1, -1, HookMode::OnHook, 0), 0);
        ASSERT_TRUE(line);
    }
    // Waits for the scenario's call and answers it, through the statements.
    void answerCall()
    {
        const Outcome ring = doIt("IVRRing", {{"Save", "A"}});
        ASSERT_EQ(ring.code, 0) << ring.error.toStdString();
        const Outcome answer = doIt("IVRAnswer", {});
        ASSERT_EQ(answer.code, 0) << answer.error.toStdString();
    }
    Outcome doIt(const char* className, const Props& props) { return run(make(className, props), line); }
    SimLogEntry last() const
    {
        const auto log = device->log();
        if (log.empty()) return {};
        return log.back();
    }

    std::shared_ptr<SimDevice> device;
    ChannelPtr line;
    QTemporaryDir dir;
};

QByteArray callScenario(const char* call, bool speechEngine = true)
{
    return QByteArray(R"({"speed": 0, "speech_engine": )") + (speechEngine ? "true" : "false") +
           R"(, "addresses": [{"name": "Line 1", "calls": [)" + call +
           R"(], "outbound": [{"after_ms": 50}]}]})";
}

TEST_F(OnSimLine, HangUpInTheMiddleOfEachBlockingOperation)
{
    const QString tone = q(fixture("wav/tone_8k16_250ms.wav"));
    const QString message = q(dir.filePath("message.wav"));
    struct Case {
        const char* className;
        Props props;
    };
    const Case cases[] = {
        {"IVRPlay", {{"WavFile", Value(tone)}}},
        {"IVRRecord", {{"WavFile", Value(message)}, {"MaxLength", 5}}},
        {"IVRSleep", {{"MaxLength", 10}}},
        {"IVRSpeech", {{"Content", "\"a text that takes a while to speak\""}}},
        {"IVRReceiveDTMF", {{"Save", "D"}, {"MaxLength", 4}}},
        {"IVRSendDTMF", {{"DTMF", "\"1234567890\""}}},
        {"IVRGateway", {{"Called", "\"5550123\""}, {"ThroughAnotherGateway", "\"gw\""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        open(callScenario(R"({"caller": "5550100", "called": "8000", "hangup_ms": 100})"));
        answerCall();
        const Outcome o = doIt(c.className, c.props);
        EXPECT_EQ(o.code, 2);
        EXPECT_EQ(o.result, "returnHANGUP");
        EXPECT_EQ(o.error, "");
        const SimLogEntry e = last();
        EXPECT_EQ(e.result, 2);
        EXPECT_TRUE(e.detail.startsWith("caller hung up")) << e.detail.toStdString();
        EXPECT_EQ(e.callMs, 100);
        // Nothing else runs on the line once the caller is gone.
        EXPECT_EQ(doIt("IVRPlay", {{"WavFile", Value(tone)}}).code, 2);
    }
    // The part recorded before the hang-up is kept; the digits collected (none) are stored.
    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(dir.filePath("message.wav"), info));
    EXPECT_EQ(info.durationMs(), 100);
}

TEST_F(OnSimLine, AbortEndsEachOperationThatWouldNeverEnd)
{
    struct Case {
        const char* className;
        Props props;
    };
    const Case cases[] = {
        {"IVRSleep", {{"MaxLength", 0}}},
        {"IVRReceiveDTMF", {{"Save", "D"}, {"MaxLength", 1}}},
        {"IVRRing", {{"Save", "A"}}},
        {"IVRRecord", {{"WavFile", Value(q(dir.filePath("long.wav")))}, {"MaxLength", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        // Real time and no calls: a silent line where nobody presses a key.
        open(R"({"speed": 1, "addresses": ["Line 1"]})");
        auto sim = std::static_pointer_cast<SimChannel>(line);
        std::thread stopper([sim] {
            const QDeadlineTimer deadline(20000);
            while (!sim->isWaiting() && !deadline.hasExpired()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sim->Abort();
        });
        const Outcome o = doIt(c.className, c.props);
        stopper.join();
        EXPECT_EQ(o.code, 4);
        EXPECT_EQ(o.result, "returnFAILED");
        EXPECT_EQ(o.error, "");
    }
}

TEST_F(OnSimLine, ADigitEndsOnlyAnInterruptiblePlayOrRecord)
{
    const QString tone = q(fixture("wav/tone_8k16_250ms.wav"));
    const char* call = R"({"caller": "5550100", "called": "8000", "digits": [{"at_ms": 100, "digits": "5"}],
                          "record_tone_hz": 440})";
    struct Case {
        const char* className;
        Props props;
        int64_t endsAt;  // on the call's clock
        const char* detail;
    };
    const QString file = dir.filePath("m.wav");
    const Case cases[] = {
        {"IVRPlay", {{"WavFile", Value(tone)}}, 100, "interrupted by a digit"},
        {"IVRPlay", {{"Interruptible", false}, {"WavFile", Value(tone)}}, 250, "250 ms"},
        {"IVRRecord", {{"WavFile", Value(q(file))}, {"MaxLength", 5}}, 100, "interrupted by a digit, 100 ms"},
        {"IVRRecord", {{"Interruptible", false}, {"WavFile", Value(q(file))}, {"MaxLength", 1}}, 1000, "1000 ms"},
        {"IVRSleep", {{"MaxLength", 0}}, 100, "interrupted by a digit"},
        {"IVRSpeech", {{"Content", "\"a text that takes a while to speak\""}}, 100, "interrupted by a digit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.className) + " ends at " + std::to_string(c.endsAt));
        open(callScenario(call));
        answerCall();
        const Outcome o = doIt(c.className, c.props);
        EXPECT_EQ(o.code, 0) << o.error.toStdString();
        EXPECT_EQ(o.result, "returnSUCCESS");
        EXPECT_EQ(last().callMs, c.endsAt);
        EXPECT_EQ(last().detail, QLatin1String(c.detail));
        if (QLatin1String(c.className) == QLatin1String("IVRRecord")) {
            WaveInfo info;
            ASSERT_TRUE(readWaveInfo(file, info));
            EXPECT_EQ(info.durationMs(), std::min<int64_t>(c.endsAt, 1000));
        }
        // The digit stays for the menu that follows.
        EXPECT_EQ(doIt("IVRReceiveDTMF", {{"Save", "D"}, {"TimeOut", 1}}).code, 0);
        EXPECT_EQ(valueOf("D"), Value::wideString("5"));
    }
}

TEST_F(OnSimLine, RecordWritesATelephoneWaveOfTheLengthRecorded)
{
    open(callScenario(R"({"caller": "5550100", "called": "8000", "record_tone_hz": 440})"));
    answerCall();
    // A relative name is taken from the flow's folder.
    flow.FileName = dir.filePath("flow.svx");
    const Outcome o = doIt("IVRRecord", {{"WavFile", "\"message.wav\""}, {"MaxLength", 2}});
    EXPECT_EQ(o.code, 0) << o.error.toStdString();
    EXPECT_EQ(last().arguments, q(dir.filePath("message.wav")) + ", true, 2");
    WaveInfo info;
    QByteArray samples;
    ASSERT_TRUE(readWaveFile(dir.filePath("message.wav"), info, samples));
    EXPECT_EQ(info.format, WaveFormat::telephone());
    EXPECT_EQ(info.durationMs(), 2000);
    EXPECT_EQ(samples.size(), 2 * 8000 * 2);
    int peak = 0;
    for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(samples.constData() + i))));
    EXPECT_GT(peak, 1000);  // the caller's tone, not silence

    // A folder that does not exist: the device reports failure and why, nothing is left behind.
    const Outcome bad = doIt("IVRRecord", {{"WavFile", "\"no/such/folder/m.wav\""}, {"MaxLength", 1}});
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(bad.error.startsWith("Failed : cannot write " + dir.filePath("no/such/folder/m.wav") + ": "))
        << bad.error.toStdString();
    EXPECT_GT(bad.error.size(), QString("Failed : cannot write : ").size() + dir.filePath("no/such/folder/m.wav").size());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no/such/folder/m.wav")));
    // A later operation that succeeds leaves no stale reason behind.
    EXPECT_EQ(doIt("IVRSleep", {{"MaxLength", 1}}).error, "");
}

TEST_F(OnSimLine, SpeechWithAndWithoutAnEngine)
{
    open(callScenario(R"({"caller": "5550100", "called": "8000"})", false));
    answerCall();
    const Outcome none = doIt("IVRSpeech", {{"Content", "\"Hello\""}});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.result, "returnFAILED");
    EXPECT_EQ(none.error, TIVRFlow::ResultMessage(7));
    EXPECT_EQ(last().result, 7);

    open(callScenario(R"({"caller": "5550100", "called": "8000"})", true));
    answerCall();
    const Outcome spoken =
        doIt("IVRSpeech", {{"Content", "\"Hello\""}, {"SupportXML", true}, {"XMLTag", "409"}});
    EXPECT_EQ(spoken.code, 0);
    EXPECT_EQ(last().arguments, R"("<LANG LANGID="409">Hello</LANG>", true, true, false)");
    // Only the text is spoken: 5 characters at 80 ms.
    EXPECT_EQ(last().detail, "400 ms");
}

TEST_F(OnSimLine, DigitsAreDataTheDeviceChecks)
{
    open(callScenario(R"({"caller": "5550100", "called": "8000"})"));
    answerCall();
    EXPECT_EQ(valueOf("A"), Value("5550100"));
    const Outcome good = doIt("IVRSendDTMF", {{"DTMF", "\"0123456789*#ABCD\""}});
    EXPECT_EQ(good.code, 0);
    const Outcome bad = doIt("IVRSendDTMF", {{"DTMF", "\"12`reboot`\""}});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.error, "ParamError");
    EXPECT_EQ(last().arguments, R"("12`reboot`")");
}

}  // namespace

// ---- the example call flow ----

namespace {

QString examplePath(const QString& name) { return QStringLiteral(SORVIX_FIXTURES "/../../examples/") + name; }

// The example's prompts: short tones (8 kHz, 16-bit, mono), made here so that anyone can make
// them again (SORVIX_WRITE_EXAMPLES=1 writes them into examples/wav).
struct Segment {
    double hz;  // 0: silence
    int ms;
};
QByteArray tones(std::initializer_list<Segment> segments)
{
    QByteArray out;
    const double rate = 8000, amplitude = 8000, fadeMs = 5;
    for (const Segment& s : segments) {
        const int n = int(rate * s.ms / 1000);
        for (int i = 0; i < n; ++i) {
            const double t = i / rate;
            const double edge = std::min({1.0, i / (rate * fadeMs / 1000), (n - 1 - i) / (rate * fadeMs / 1000)});
            const double v = s.hz > 0 ? amplitude * edge * std::sin(2 * M_PI * s.hz * t) : 0;
            const qint16 sample = qint16(std::lround(v));
            char bytes[2];
            qToLittleEndian(sample, bytes);
            out.append(bytes, 2);
        }
    }
    return out;
}
const std::vector<std::pair<QString, QByteArray>>& exampleTones()
{
    static const std::vector<std::pair<QString, QByteArray>> list = {
        {"welcome.wav", tones({{523.25, 250}, {659.25, 250}, {783.99, 300}})},
        {"menu.wav", tones({{440, 200}, {0, 100}, {440, 200}, {0, 100}, {660, 400}})},
        {"beep.wav", tones({{1000, 200}})},
        {"goodbye.wav", tones({{783.99, 250}, {659.25, 250}, {523.25, 300}})},
    };
    return list;
}

TEST(Example, PromptsAreTheGeneratedTones)
{
    const bool write = qEnvironmentVariableIsSet("SORVIX_WRITE_EXAMPLES");
    for (const auto& [name, samples] : exampleTones()) {
        SCOPED_TRACE(name.toStdString());
        const QString path = examplePath("wav/" + name);
        if (write) {
            ASSERT_TRUE(writeWaveFile(path, WaveFormat::telephone(), samples));
        }
        WaveInfo info;
        QByteArray stored;
        ASSERT_TRUE(readWaveFile(path, info, stored));
        EXPECT_EQ(info.format, WaveFormat::telephone());
        EXPECT_EQ(info.dataOffset, 44);
        EXPECT_LE(info.durationMs(), 1000);
        ASSERT_EQ(stored.size(), samples.size());
        // Within one step of the sample value: another maths library may round a sine differently.
        for (qsizetype i = 0; i + 1 < samples.size(); i += 2) {
            const int a = qFromLittleEndian<qint16>(stored.constData() + i);
            const int b = qFromLittleEndian<qint16>(samples.constData() + i);
            ASSERT_LE(std::abs(a - b), 1) << "sample " << i / 2;
        }
    }
}

TEST(Example, WelcomeFlowIsWhatTheWriterWrites)
{
    QFile file(examplePath("welcome.svx"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QString error;
    TIVRFlow flow(nullptr, file.fileName(), false, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(flowfile::write(flow), bytes);
}

TEST(Example, WelcomeFlowServesTheScenarioCalls)
{
    // A copy of the example, so the recording lands in a scratch folder.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("wav")));
    ASSERT_TRUE(QFile::copy(examplePath("welcome.svx"), dir.filePath("welcome.svx")));
    for (const auto& [name, samples] : exampleTones())
        ASSERT_TRUE(QFile::copy(examplePath("wav/" + name), dir.filePath("wav/" + name)));

    Scenario scenario;
    QString error;
    ASSERT_TRUE(loadScenario(examplePath("scenario.json"), scenario, &error)) << error.toStdString();
    scenario.speed = 0;
    const int calls = int(scenario.addresses.at(0).calls.size());
    auto device = std::make_shared<SimDevice>(std::move(scenario));

    TIVRFlow flow(nullptr, dir.filePath("welcome.svx"), false, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    flow.setDevice(device);
    std::atomic<int> passes{0};
    bool finished = false;
    flow.OnHangUp = [&](TIVRFlow* f) {
        if (++passes >= calls && f->FlowThread()) f->FlowThread()->requestStop();
    };
    flow.OnFinish = [&] { finished = true; };
    ASSERT_TRUE(flow.Run({}));
    const QDeadlineTimer deadline(30000);
    while (!finished && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(finished);
    EXPECT_EQ(passes.load(), calls);

    // Operation, result and what ended it, one pass per scenario call.
    QStringList log;
    for (const SimLogEntry& e : device->log()) {
        QString arguments = e.arguments;
        arguments.replace(dir.path() + "/", "");
        log << QStringLiteral("%1(%2) = %3 %4").arg(e.operation, arguments).arg(e.result).arg(e.detail).trimmed();
    }
    const QStringList expected = {
        "OpenChannel(gateway=-1, waveOut=-1, waveIn=-1, hook=1, transmitDtmf=0) = 0",
        // The caller who leaves a message: 1 during the menu, # ends the recording.
        "BeginPass() = 0",
        "WaitRing(1) = 0 caller \"5550100\", called \"8000\"",
        "Answer() = 0",
        "PlayFile(\"wav/welcome.wav\", true) = 0 800 ms",
        "PlayFile(\"wav/menu.wav\", true) = 0 interrupted by a digit",
        "ReceiveDTMF(1, 0, 5, 0) = 0 digits \"1\", max length",
        "PlayFile(\"wav/beep.wav\", false) = 0 200 ms",
        "RecordFile(\"message.wav\", true, 10) = 0 interrupted by a digit, 4300 ms",
        "PlayFile(\"wav/goodbye.wav\", false) = 0 800 ms",
        "SetHookSwitch(1) = 0",
        "EndPass() = 0",
        // The caller who asks for the opening hours.
        "BeginPass() = 0",
        "WaitRing(1) = 0 caller \"5550101\", called \"8000\"",
        "Answer() = 0",
        "PlayFile(\"wav/welcome.wav\", true) = 0 800 ms",
        "PlayFile(\"wav/menu.wav\", true) = 0 1000 ms",
        "ReceiveDTMF(1, 0, 5, 0) = 0 digits \"2\", max length",
        "Speak(\"We are open from nine to five, Monday to Friday.\", true, false, false) = 0 3840 ms",
        "PlayFile(\"wav/goodbye.wav\", false) = 0 800 ms",
        "SetHookSwitch(1) = 0",
        "EndPass() = 0",
        // The caller who presses nothing: the menu times out, goodbye.
        "BeginPass() = 0",
        "WaitRing(1) = 0 caller \"5550102\", called \"8000\"",
        "Answer() = 0",
        "PlayFile(\"wav/welcome.wav\", true) = 0 800 ms",
        "PlayFile(\"wav/menu.wav\", true) = 0 1000 ms",
        "ReceiveDTMF(1, 0, 5, 0) = 0 digits \"\", time-out",
        "PlayFile(\"wav/goodbye.wav\", false) = 0 800 ms",
        "SetHookSwitch(1) = 0",
        "EndPass() = 0",
        // The caller who hangs up during the greeting: the closing part hangs up at once.
        "BeginPass() = 0",
        "WaitRing(1) = 0 caller \"5550103\", called \"8000\"",
        "Answer() = 0",
        "PlayFile(\"wav/welcome.wav\", true) = 2 caller hung up",
        "SetHookSwitch(1) = 0",
        "EndPass() = 0",
        // The stop after the last pass.
        "Abort() = 0",
        "CloseChannel() = 0",
    };
    EXPECT_EQ(log.join('\n').toStdString(), expected.join('\n').toStdString());

    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(dir.filePath("message.wav"), info));
    EXPECT_EQ(info.format, WaveFormat::telephone());
    EXPECT_EQ(info.durationMs(), 4300);
}

}  // namespace
