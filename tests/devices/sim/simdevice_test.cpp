#include "devices/sim/devicefactory.h"
#include "devices/sim/scenario.h"
#include "devices/sim/simdevice.h"
#include "platform/wave.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "support/oddfiles.h"
#include "support/smalldisk.h"

namespace R = ChannelResult;

namespace {

QString fixture(const QString& name) { return QStringLiteral(SORVIX_FIXTURES "/") + name; }
const QString kTone250 = fixture("wav/tone_8k16_250ms.wav");

std::shared_ptr<SimDevice> deviceFrom(const char* json)
{
    Scenario scenario;
    QString error;
    EXPECT_TRUE(parseScenario(QByteArray(json), scenario, &error)) << error.toStdString();
    return std::make_shared<SimDevice>(std::move(scenario));
}

ChannelPtr openChannel(ITAPI3Device& device, int address = 0, int gateway = -1)
{
    ChannelPtr channel;
    EXPECT_EQ(device.OpenChannel(address, channel, gateway, -1, -1, HookMode::OnHook, 0), R::Success);
    EXPECT_TRUE(channel);
    return channel;
}

// The last log entry of one operation.
SimLogEntry lastOf(const SimDevice& device, const QString& operation)
{
    const auto log = device.log();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->operation == operation)
            return *it;
    ADD_FAILURE() << "no " << operation.toStdString() << " in the log";
    return {};
}

// Rings the first scripted call of the channel's address and answers it.
void ringAndAnswer(IIVRAddress& channel)
{
    QString caller, called;
    ASSERT_EQ(channel.WaitRing(1, caller, called), R::Success);
    ASSERT_EQ(channel.Answer(), R::Success);
}

// Waits (bounded by the test harness's time limit) until the channel blocks.
void waitUntilBlocked(const ChannelPtr& channel)
{
    auto* sim = dynamic_cast<SimChannel*>(channel.get());
    ASSERT_NE(sim, nullptr);
    while (!sim->isWaiting())
        std::this_thread::yield();
}

QString writeSilence(const QTemporaryDir& dir, const QString& name, int ms)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeWaveFile(path, WaveFormat::telephone(), QByteArray(ms * 16, '\0')));
    return path;
}

}  // namespace

// ---- Wave files ----

TEST(Wave, ReadsPcmLayoutsAndRejectsOthers)
{
    struct Case {
        const char* file;
        bool ok;
        int channels, rate, bits;
        qint64 ms;
    };
    const Case cases[] = {
        {"tone_8k16_250ms.wav", true, 1, 8000, 16, 250},
        {"stereo_22k8_100ms.wav", true, 2, 22050, 8, 100},
        {"extensible_16k24_50ms.wav", true, 1, 16000, 24, 50},  // odd chunk before data
        {"empty_58.wav", true, 1, 8000, 16, 0},                  // fmt of 18 bytes and a fact chunk
        {"alaw_8k.wav", false, 0, 0, 0, 0},
        {"not_a_wave.wav", false, 0, 0, 0, 0},
        {"no_such_file.wav", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WaveInfo info;
        QString error;
        ASSERT_EQ(readWaveInfo(fixture(QStringLiteral("wav/") + c.file), info, &error), c.ok);
        if (!c.ok) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        EXPECT_EQ(info.format.channels, c.channels);
        EXPECT_EQ(int(info.format.sampleRate), c.rate);
        EXPECT_EQ(info.format.bitsPerSample, c.bits);
        EXPECT_EQ(info.durationMs(), c.ms);
    }
}

TEST(Wave, WritesCanonicalHeaderAndReadsBack)
{
    QTemporaryDir dir;
    QByteArray samples;
    for (int i = 0; i < 500; ++i)
        samples.append(char(i)).append(char(i >> 8));
    const QString path = dir.filePath("out.wav");
    ASSERT_TRUE(writeWaveFile(path, WaveFormat::telephone(), samples));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 44 + 1000);
    const char* p = bytes.constData();
    EXPECT_EQ(bytes.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(p + 4), 36u + 1000u);
    EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(p + 16), 16u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(p + 20), 1u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(p + 22), 1u);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(p + 24), 8000u);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(p + 28), 16000u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(p + 32), 2u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(p + 34), 16u);
    EXPECT_EQ(bytes.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(p + 40), 1000u);

    WaveInfo info;
    QByteArray back;
    ASSERT_TRUE(readWaveFile(path, info, back));
    EXPECT_EQ(info.format, WaveFormat::telephone());
    EXPECT_EQ(back, samples);
    EXPECT_EQ(info.durationMs(), 62);  // 500 frames at 8 kHz
}

TEST(Wave, OddDataIsPaddedAndTruncatedDataIsCut)
{
    QTemporaryDir dir;
    const QString odd = dir.filePath("odd.wav");
    WaveFormat eightBit;
    eightBit.bitsPerSample = 8;
    ASSERT_TRUE(writeWaveFile(odd, eightBit, QByteArray("abc")));
    QFile f(odd);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    EXPECT_EQ(bytes.size(), 48);  // the pad byte is in the file and in the RIFF size, not in the data size
    EXPECT_EQ(qFromLittleEndian<uint32_t>(bytes.constData() + 4), 40u);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(bytes.constData() + 40), 3u);
    WaveInfo info;
    QByteArray back;
    ASSERT_TRUE(readWaveFile(odd, info, back));
    EXPECT_EQ(back, "abc");

    // A recorder that stopped early: the data chunk claims 16000 bytes, 1001 are there.
    QByteArray cut;
    {
        QFile tone(kTone250);
        ASSERT_TRUE(tone.open(QIODevice::ReadOnly));
        cut = tone.read(44 + 1001);
    }
    qToLittleEndian<uint32_t>(16000, cut.data() + 40);
    const QString truncated = dir.filePath("truncated.wav");
    QFile t(truncated);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write(cut);
    t.close();
    ASSERT_TRUE(readWaveFile(truncated, info, back));
    EXPECT_EQ(info.dataBytes, 1000);  // whole frames only
    EXPECT_EQ(back.size(), 1000);
}

TEST(Wave, FailedWriteLeavesTargetAlone)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(writeWaveFile(dir.filePath("missing/folder/x.wav"), WaveFormat::telephone(), QByteArray(10, 0), &error));
    EXPECT_FALSE(error.isEmpty());

    const QString path = writeSilence(dir, "keep.wav", 10);
    {
        WaveWriter writer(path, WaveFormat::telephone());
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write(QByteArray(4000, 1)));
    }  // no commit
    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(path, info));
    EXPECT_EQ(info.dataBytes, 160);
}

// A recording never replaces what is not a regular file: the device, the pipe or the folder stays
// what it was and the writer says why.
TEST(Wave, RecordingOntoADevicePipeOrFolderIsRefused)
{
    QTemporaryDir dir;
    const OddFiles odd(dir, ".wav");
    ASSERT_GE(odd.entries.size(), 2u);
    auto sim = deviceFrom(R"({"speed": 0, "addresses": ["Line 1"]})");
    ChannelPtr ch = openChannel(*sim);
    for (const auto& c : odd.entries) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        EXPECT_FALSE(writeWaveFile(c.path, WaveFormat::telephone(), QByteArray(16000, 0), &error));
        EXPECT_TRUE(error.contains(c.path) && error.contains("not a regular file")) << error.toStdString();
        WaveWriter writer(c.path, WaveFormat::telephone());
        EXPECT_FALSE(writer.open(&error));
        EXPECT_EQ(ch->RecordFile(c.path, false, 1), R::Failed);
        EXPECT_TRUE(lastOf(*sim, "RecordFile").detail.contains("not a regular file"))
            << lastOf(*sim, "RecordFile").detail.toStdString();
    }
    EXPECT_TRUE(odd.unchanged());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
              qsizetype(odd.entries.size()));
}

// A recording that does not fit on the disk fails with the system's reason and leaves nothing.
TEST(Wave, RecordingOntoAFullDiskSaysSo)
{
    SmallDisk disk(64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "no small file system can be mounted here";
    auto sim = deviceFrom(R"({"speed": 0, "addresses": ["Line 1"]})");
    ChannelPtr ch = openChannel(*sim);
    const QString file = disk.filePath("message.wav");
    EXPECT_EQ(ch->RecordFile(file, false, 5), R::Failed);  // 80,000 bytes of samples
    const QString detail = lastOf(*sim, "RecordFile").detail;
    EXPECT_TRUE(detail.contains(file) && detail.contains("No space left on device")) << detail.toStdString();
    QString error;
    EXPECT_FALSE(writeWaveFile(file, WaveFormat::telephone(), QByteArray(80000, 0), &error));
    EXPECT_TRUE(error.contains("No space left on device")) << error.toStdString();
    EXPECT_TRUE(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// ---- Scenarios ----

TEST(Scenario, LoadsEveryField)
{
    Scenario s;
    QString error;
    ASSERT_TRUE(loadScenario(fixture("scenarios/two_lines.json"), s, &error)) << error.toStdString();
    EXPECT_EQ(s.speed, 0.0);
    EXPECT_TRUE(s.speechEngine);
    EXPECT_EQ(s.ringMs, 4000);
    EXPECT_EQ(s.gateway, 2);
    ASSERT_EQ(s.addresses.size(), 3u);
    EXPECT_EQ(s.addresses[1].name, "Line 2");
    EXPECT_TRUE(s.addresses[1].calls.empty());
    const ScriptedAddress& a = s.addresses[0];
    EXPECT_EQ(a.force.at("SetHookSwitch"), 1);
    ASSERT_EQ(a.calls.size(), 2u);
    const ScriptedCall& c = a.calls[0];
    EXPECT_EQ(c.caller, "5550100");
    EXPECT_EQ(c.called, "8000");
    EXPECT_EQ(c.rings, 2);
    EXPECT_EQ(c.timeline.hangupMs, 20000);
    EXPECT_EQ(c.timeline.recordToneHz, 440);
    const std::vector<DigitEvent> sorted{{1000, "9"}, {3000, "42#"}};
    EXPECT_EQ(c.timeline.digits, sorted);
    EXPECT_FALSE(a.calls[1].rings);
    EXPECT_FALSE(a.calls[1].timeline.hangupMs);
    EXPECT_EQ(a.calls[1].arriveMs, 1500);
    EXPECT_EQ(a.calls[1].force.at("Speak"), 7);
    ASSERT_EQ(a.outbound.size(), 2u);
    EXPECT_EQ(a.outbound[0].result, 3);
    EXPECT_EQ(a.outbound[0].afterMs, 5000);
    EXPECT_EQ(a.outbound[1].result, 0);
    EXPECT_EQ(a.outbound[1].timeline.hangupMs, 60000);
}

TEST(Scenario, ErrorsNameThePlace)
{
    struct Case {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {"[1]", "scenario: an object is expected"},
        {"{\"speed\": ", "scenario: "},
        {"{\"sped\": 1}", "scenario.sped: unknown key"},
        {"{\"speed\": -1}", "scenario.speed: out of range"},
        {"{\"speech_engine\": 1}", "scenario.speech_engine: true or false is expected"},
        {"{\"gateway\": 0}", "scenario.gateway: no address has this index"},
        {"{\"addresses\": [3]}", "scenario.addresses[0]: a name or an object is expected"},
        {"{\"addresses\": [{\"calls\": [{\"hangup\": 5}]}]}", "scenario.addresses[0].calls[0].hangup: unknown key"},
        {"{\"addresses\": [{\"calls\": [{\"rings\": 1.5}]}]}", "scenario.addresses[0].calls[0].rings: a whole number is expected"},
        {"{\"addresses\": [{\"calls\": [{\"digits\": [{\"at_ms\": 1, \"digits\": \"1x\"}]}]}]}",
         "scenario.addresses[0].calls[0].digits[0].digits: digits are"},
        {"{\"addresses\": [{\"calls\": [{\"digits\": [{\"at_ms\": -1, \"digits\": \"1\"}]}]}]}",
         "scenario.addresses[0].calls[0].digits[0].at_ms: out of range"},
        {"{\"addresses\": [{\"force\": {\"Abort\": 1}}]}", "scenario.addresses[0].force.Abort: not an operation"},
        {"{\"addresses\": [{\"outbound\": [{\"result\": \"3\"}]}]}", "scenario.addresses[0].outbound[0].result: a number"},
        // A key given twice: which one counts would be a guess.
        {"{\"speed\": 1, \"ring_ms\": 5, \"speed\": 2}", "scenario.speed: duplicate key"},
        {"{\"speed\": 1, \"sp\\u0065ed\": 2}", "scenario.speed: duplicate key"},
        {"{\"addresses\": [\"A\", {\"name\": \"B\", \"calls\": [], \"name\": \"C\"}]}",
         "scenario.addresses[1].name: duplicate key"},
        {"{\"addresses\": [{\"calls\": [{}, {\"digits\": [{\"at_ms\": 1, \"digits\": \"1\", \"at_ms\": 2}]}]}]}",
         "scenario.addresses[0].calls[1].digits[0].at_ms: duplicate key"},
        {"{\"addresses\": [{\"force\": {\"Speak\": 7, \"Speak\": 1}}]}", "scenario.addresses[0].force.Speak: duplicate key"},
        // So slow that even a wait of a millisecond would never end.
        {"{\"speed\": 1e-13}", "scenario.speed: out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        Scenario s;
        QString error;
        EXPECT_FALSE(parseScenario(QByteArray(c.json), s, &error));
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
    }
    Scenario s;
    QString error;
    EXPECT_FALSE(loadScenario(fixture("scenarios/unknown_key.json"), s, &error));
    EXPECT_TRUE(error.contains("unknown_key.json")) << error.toStdString();
    EXPECT_TRUE(error.contains("calls[0].hangup: unknown key")) << error.toStdString();
}

TEST(DeviceFactory, PicksScenarioFromArgumentEnvironmentOrDefault)
{
    qunsetenv("SORVIX_SCENARIO");
    QString error;
    auto device = createTelephonyDevice({}, &error);
    ASSERT_TRUE(device);
    int count = 0, gateway = 0;
    device->GetAddressCount(count);
    device->GetGatewayAddress(gateway);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(gateway, -1);
    QString name;
    EXPECT_EQ(device->GetAddressName(3, name), R::Success);
    EXPECT_EQ(name, "Line 4");
    EXPECT_EQ(dynamic_cast<SimDevice&>(*device).speed(), 1.0);

    qputenv("SORVIX_SCENARIO", fixture("scenarios/two_lines.json").toUtf8());
    device = createTelephonyDevice({}, &error);
    qunsetenv("SORVIX_SCENARIO");
    ASSERT_TRUE(device) << error.toStdString();
    device->GetAddressCount(count);
    EXPECT_EQ(count, 3);

    TelephonyDeviceOptions options;
    options.scenarioFile = fixture("scenarios/two_lines.json");
    options.speed = 0;
    QStringList printed;
    options.log = [&](const SimLogEntry& e) { printed << e.text(); };
    options.keepLog = true;
    device = createTelephonyDevice(options, &error);
    ASSERT_TRUE(device);
    EXPECT_EQ(dynamic_cast<SimDevice&>(*device).speed(), 0.0);
    ChannelPtr channel = openChannel(*device, 1);
    channel->BeginPass();
    EXPECT_EQ(printed, dynamic_cast<SimDevice&>(*device).logText());
    EXPECT_EQ(printed.last(), "Line 2: BeginPass() = 0");

    // Without asking, the programs' device keeps no log of its own; the callback still sees all.
    options.keepLog = false;
    printed.clear();
    device = createTelephonyDevice(options, &error);
    ChannelPtr unlogged = openChannel(*device, 1);
    unlogged->BeginPass();
    EXPECT_TRUE(dynamic_cast<SimDevice&>(*device).log().empty());
    EXPECT_EQ(printed.last(), "Line 2: BeginPass() = 0");

    options.scenarioFile = fixture("scenarios/unknown_key.json");
    EXPECT_FALSE(createTelephonyDevice(options, &error));
    EXPECT_TRUE(error.contains("unknown key"));
}

// ---- The device ----

TEST(SimDevice, ChannelsOpenOncePerAddressAndCloseForGood)
{
    auto device = std::make_shared<SimDevice>();
    ChannelPtr none;
    EXPECT_EQ(device->OpenChannel(4, none, -1, -1, -1, HookMode::OnHook, 0), R::BadParameter);
    EXPECT_FALSE(none);
    EXPECT_EQ(device->OpenChannel(0, none, 7, -1, -1, HookMode::OnHook, 0), R::BadParameter);
    EXPECT_EQ(device->OpenChannel(0, none, -1, -1, -1, 2, 0), R::BadParameter);
    QString name = "x";
    EXPECT_EQ(device->GetAddressName(-1, name), R::BadParameter);
    EXPECT_TRUE(name.isEmpty());

    ChannelPtr first = openChannel(*device, 0);
    ChannelPtr second;
    EXPECT_EQ(device->OpenChannel(0, second, -1, -1, -1, HookMode::OnHook, 0), R::Failed);
    EXPECT_FALSE(second);
    ChannelPtr other = openChannel(*device, 1);
    EXPECT_EQ(device->CloseChannel(0, other), R::BadParameter);  // not address 0's channel
    EXPECT_EQ(device->CloseChannel(0, nullptr), R::Failed);     // a runner without a channel closes nothing
    EXPECT_EQ(first->Sleep(false, 1), R::Success);               // still open

    EXPECT_EQ(device->CloseChannel(0, first), R::Success);
    EXPECT_EQ(first->Sleep(false, 1), R::Failed);
    EXPECT_EQ(lastOf(*device, "Sleep").detail, "channel closed");
    ChannelPtr again = openChannel(*device, 0);
    EXPECT_EQ(again->Sleep(false, 1), R::Success);
    EXPECT_EQ(device->log().front().text(), "#4: OpenChannel(gateway=-1, waveOut=-1, waveIn=-1, hook=1, transmitDtmf=0) = 9");
}

TEST(SimDevice, InboundCallIsLoggedStepByStep)
{
    auto device = deviceFrom(R"({"speed": 0, "ring_ms": 4000, "addresses": [{"name": "Line 1", "calls": [
        {"caller": "5550100", "called": "8000", "arrive_ms": 500,
         "digits": [{"at_ms": 1000, "digits": "9"}, {"at_ms": 3000, "digits": "42#"}], "hangup_ms": 20000}]}]})");
    ChannelPtr ch = openChannel(*device);
    QString caller, called, digits = " ";
    EXPECT_EQ(ch->BeginPass(), R::Success);
    EXPECT_EQ(ch->WaitRing(2, caller, called), R::Success);
    EXPECT_EQ(caller, "5550100");
    EXPECT_EQ(called, "8000");
    EXPECT_EQ(lastOf(*device, "WaitRing").callMs, 4500);  // arrival plus one ring period
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->SetHookSwitch(HookMode::Speaker), R::Success);
    EXPECT_EQ(ch->PlayFile(kTone250, false), R::Success);
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 5, 0), R::Success);
    EXPECT_EQ(digits, "9");
    EXPECT_EQ(ch->ReceiveDTMF(digits, 0, '#', 5, 0), R::Success);
    EXPECT_EQ(digits, "42");
    EXPECT_EQ(ch->Sleep(false, 10), R::Success);
    EXPECT_EQ(ch->SendDTMF("12"), R::Success);
    EXPECT_EQ(ch->Speak("hello", true, false, false), R::NoSpeechEngine);
    EXPECT_EQ(ch->Sleep(true, 0), R::HungUp);
    EXPECT_EQ(ch->PlayFile(kTone250, true), R::HungUp);
    EXPECT_EQ(ch->EndPass(), R::Success);
    EXPECT_EQ(device->CloseChannel(0, ch), R::Success);

    const QStringList expected{
        "Line 1: OpenChannel(gateway=-1, waveOut=-1, waveIn=-1, hook=1, transmitDtmf=0) = 0",
        "Line 1: BeginPass() = 0",
        "Line 1: WaitRing(2) = 0 [caller \"5550100\", called \"8000\"]",
        "Line 1: Answer() = 0",
        "Line 1: SetHookSwitch(4) = 0",
        "Line 1: PlayFile(\"" + kTone250 + "\", false) = 0 [250 ms]",
        "Line 1: ReceiveDTMF(1, 0, 5, 0) = 0 [digits \"9\", max length]",
        "Line 1: ReceiveDTMF(0, '#', 5, 0) = 0 [digits \"42\", end digit]",
        "Line 1: Sleep(false, 10) = 0",
        "Line 1: SendDTMF(\"12\") = 0",
        "Line 1: Speak(\"hello\", true, false, false) = 7",
        "Line 1: Sleep(true, 0) = 2 [caller hung up]",
        "Line 1: PlayFile(\"" + kTone250 + "\", true) = 2 [caller hung up]",
        "Line 1: EndPass() = 0",
        "Line 1: CloseChannel() = 0",
    };
    EXPECT_EQ(device->logText(), expected);
    const auto log = device->log();
    const std::vector<int64_t> clock{0, 0, 4500, 0, 0, 250, 1000, 3000, 4000, 4200, 4200, 20000, 20000};
    for (size_t i = 0; i < clock.size(); ++i)
        EXPECT_EQ(log[i].callMs, clock[i]) << log[i].text().toStdString();
}

TEST(SimDevice, BadArgumentsAndMissingThingsFailBeforeTheLine)
{
    QTemporaryDir dir;
    auto device = deviceFrom(R"({"speed": 0, "speech_engine": true, "addresses": ["Line 1"]})");
    ChannelPtr ch = openChannel(*device);
    QString digits;
    struct Case {
        const char* what;
        std::function<int32_t()> call;
        int32_t result;
    };
    const Case cases[] = {
        {"answer without a call", [&] { return ch->Answer(); }, R::Failed},
        {"play without a name", [&] { return ch->PlayFile("", true); }, R::MissingParameter},
        {"play a missing file", [&] { return ch->PlayFile(dir.filePath("none.wav"), true); }, R::Failed},
        {"play a text file", [&] { return ch->PlayFile(fixture("wav/not_a_wave.wav"), true); }, R::Failed},
        {"play a non-PCM file", [&] { return ch->PlayFile(fixture("wav/alaw_8k.wav"), true); }, R::Failed},
        {"receive, negative length", [&] { return ch->ReceiveDTMF(digits, -1, 0, 1, 0); }, R::BadParameter},
        {"receive that never ends", [&] { return ch->ReceiveDTMF(digits, 0, 0, 0, 0); }, R::BadParameter},
        {"receive, end digit out of range", [&] { return ch->ReceiveDTMF(digits, 1, 200, 0, 0); }, R::BadParameter},
        {"record without a name", [&] { return ch->RecordFile("", true, 1); }, R::MissingParameter},
        {"record, negative length", [&] { return ch->RecordFile(dir.filePath("r.wav"), true, -1); }, R::BadParameter},
        {"record into a missing folder", [&] { return ch->RecordFile(dir.filePath("no/r.wav"), true, 1); }, R::Failed},
        {"speak nothing", [&] { return ch->Speak("", true, false, false); }, R::MissingParameter},
        {"speak a missing file", [&] { return ch->Speak(dir.filePath("none.txt"), true, false, true); }, R::Failed},
        {"call nobody", [&] { return ch->MakeCall("", AddressType::PhoneNumber, 0); }, R::MissingParameter},
        {"call, bad address type", [&] { return ch->MakeCall("1", 2, 0); }, R::BadParameter},
        {"call with no outcome scripted", [&] { return ch->MakeCall("1", AddressType::PhoneNumber, 0); }, R::CallFailed},
        {"sleep, negative", [&] { return ch->Sleep(true, -1); }, R::BadParameter},
        {"send nothing", [&] { return ch->SendDTMF(""); }, R::MissingParameter},
        {"send a letter", [&] { return ch->SendDTMF("12x"); }, R::BadParameter},
        {"gateway call without a gateway", [&] { return ch->GatewayCall("1", "", 1, 0, 0); }, R::Failed},
        {"gateway call, negative length", [&] { return ch->GatewayCall("1", "", 1, 0, -1); }, R::BadParameter},
        {"hook mode 2", [&] { return ch->SetHookSwitch(2); }, R::BadParameter},
        {"waiting for -1 rings", [&] { QString a, b; return ch->WaitRing(-1, a, b); }, R::BadParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = device->log().size();
        EXPECT_EQ(c.call(), c.result);
        const auto log = device->log();
        ASSERT_EQ(log.size(), before + 1);
        EXPECT_EQ(log.back().result, c.result);
        EXPECT_EQ(log.back().callMs, 0) << "no time passed";
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("r.wav")));
}

TEST(SimDevice, HangUpEndsEveryBlockingOperation)
{
    QTemporaryDir dir;
    const QString longWave = writeSilence(dir, "long.wav", 2000);
    struct Case {
        const char* what;
        std::function<int32_t(IIVRAddress&)> call;
    };
    const Case cases[] = {
        {"PlayFile", [&](IIVRAddress& c) { return c.PlayFile(longWave, false); }},
        {"RecordFile", [&](IIVRAddress& c) { return c.RecordFile(dir.filePath("hung.wav"), false, 0); }},
        {"ReceiveDTMF", [](IIVRAddress& c) { QString d; return c.ReceiveDTMF(d, 0, '#', 0, 0); }},
        {"Sleep", [](IIVRAddress& c) { return c.Sleep(false, 0); }},
        {"Speak", [](IIVRAddress& c) { return c.Speak(QString(100, 'a'), false, false, false); }},
        {"SendDTMF", [](IIVRAddress& c) { return c.SendDTMF("0123456789"); }},
        {"GatewayCall", [](IIVRAddress& c) { return c.GatewayCall("900", "", 1, 0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto device = deviceFrom(R"({"speed": 0, "speech_engine": true, "gateway": 1, "addresses": [
            {"name": "Line 1", "calls": [{"hangup_ms": 500}], "outbound": [{"after_ms": 100}]}, "Gateway"]})");
        ChannelPtr ch = openChannel(*device, 0, 1);
        ringAndAnswer(*ch);
        EXPECT_EQ(c.call(*ch), R::HungUp);
        const SimLogEntry e = lastOf(*device, c.what);
        EXPECT_EQ(e.callMs, 500);
        EXPECT_TRUE(e.detail.startsWith("caller hung up")) << e.detail.toStdString();
        EXPECT_EQ(c.call(*ch), R::HungUp) << "the line stays gone";
        EXPECT_EQ(lastOf(*device, c.what).callMs, 500);
    }
    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(dir.filePath("hung.wav"), info));
    EXPECT_EQ(info.durationMs(), 500) << "a record keeps what came before the hang-up";
}

TEST(SimDevice, DigitInterruptsOnlyInterruptibleOperations)
{
    QTemporaryDir dir;
    const QString longWave = writeSilence(dir, "long.wav", 2000);
    struct Case {
        const char* what;
        std::function<int32_t(IIVRAddress&, bool)> call;
        int64_t fullMs;
    };
    const Case cases[] = {
        {"PlayFile", [&](IIVRAddress& c, bool i) { return c.PlayFile(longWave, i); }, 2000},
        {"RecordFile", [&](IIVRAddress& c, bool i) { return c.RecordFile(dir.filePath("r.wav"), i, 2); }, 2000},
        {"Sleep", [](IIVRAddress& c, bool i) { return c.Sleep(i, 20); }, 2000},
        {"Speak", [](IIVRAddress& c, bool i) { return c.Speak("<b>hello</b> world", i, true, false); }, 11 * 80},
    };
    for (const Case& c : cases) {
        for (bool interruptible : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (interruptible ? " interruptible" : " not interruptible"));
            auto device = deviceFrom(R"({"speed": 0, "speech_engine": true, "addresses": [
                {"name": "Line 1", "calls": [{"digits": [{"at_ms": 100, "digits": "5"}]}]}]})");
            ChannelPtr ch = openChannel(*device);
            ringAndAnswer(*ch);
            EXPECT_EQ(c.call(*ch, interruptible), R::Success);
            const SimLogEntry e = lastOf(*device, c.what);
            EXPECT_EQ(e.callMs, interruptible ? 100 : c.fullMs);
            EXPECT_EQ(e.detail.startsWith("interrupted by a digit"), interruptible) << e.detail.toStdString();
            QString digits;
            EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 1, 0), R::Success);
            EXPECT_EQ(digits, "5") << "the digit stays for the next ReceiveDTMF";
        }
    }
    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(dir.filePath("r.wav"), info));
    EXPECT_EQ(info.durationMs(), 2000);  // the last record ran its full length
}

TEST(SimDevice, WaitingDigitEndsInterruptiblePlayAtOnce)
{
    auto device = deviceFrom(R"({"speed": 0, "addresses": [{"calls": [{"digits": [{"at_ms": 0, "digits": "7"}]}]}]})");
    ChannelPtr ch = openChannel(*device);
    ringAndAnswer(*ch);
    EXPECT_EQ(ch->PlayFile(kTone250, true), R::Success);
    EXPECT_EQ(lastOf(*device, "PlayFile").callMs, 0);
    EXPECT_EQ(ch->PlayFile(kTone250, false), R::Success);
    EXPECT_EQ(lastOf(*device, "PlayFile").callMs, 250);
}

TEST(SimDevice, RecordWritesTelephoneWaveOfTheRecordedLength)
{
    QTemporaryDir dir;
    struct Case {
        int toneHz;
        int maxSeconds;
        int64_t ms;
    };
    for (const Case c : {Case{440, 2, 2000}, Case{0, 1, 1000}}) {
        SCOPED_TRACE(c.toneHz);
        auto device = deviceFrom(QStringLiteral(R"({"speed": 0, "addresses": [{"calls": [{"record_tone_hz": %1}]}]})")
                                     .arg(c.toneHz)
                                     .toUtf8()
                                     .constData());
        ChannelPtr ch = openChannel(*device);
        ringAndAnswer(*ch);
        const QString path = dir.filePath(QStringLiteral("rec%1.wav").arg(c.toneHz));
        EXPECT_EQ(ch->RecordFile(path, true, c.maxSeconds), R::Success);
        WaveInfo info;
        QByteArray samples;
        ASSERT_TRUE(readWaveFile(path, info, samples));
        EXPECT_EQ(info.format, WaveFormat::telephone());
        EXPECT_EQ(info.durationMs(), c.ms);
        EXPECT_EQ(samples.size(), c.ms * 16);
        EXPECT_EQ(QFileInfo(path).size(), 44 + c.ms * 16);
        int peak = 0;
        for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
            peak = std::max(peak, std::abs(int(qFromLittleEndian<int16_t>(samples.constData() + i))));
        if (c.toneHz)
            EXPECT_NEAR(peak, 8192, 10);
        else
            EXPECT_EQ(peak, 0);
    }
}

TEST(SimDevice, ReceiveDigitsByLengthEndDigitAndTimeOut)
{
    struct Case {
        const char* what;
        const char* digits;  // the call's digit events
        int maxLength, endDigit, timeOut, firstAdd;
        const char* got;
        int64_t atMs;
        const char* next;  // what a second ReceiveDTMF(1 digit, 1 s) gets
    };
    const Case cases[] = {
        {"type-ahead beyond the length stays", R"([{"at_ms": 10, "digits": "12345"}])", 3, 0, 0, 0, "123", 10, "4"},
        {"end digit ends and is not returned", R"([{"at_ms": 10, "digits": "12#3"}])", 0, '#', 0, 0, "12", 10, "3"},
        {"length reached before the end digit", R"([{"at_ms": 10, "digits": "12#"}])", 2, '#', 0, 0, "12", 10, "#"},
        {"nothing in time", R"([{"at_ms": 6000, "digits": "1"}])", 1, 0, 5, 0, "", 5000, ""},
        {"first digit gets extra time", R"([{"at_ms": 6000, "digits": "1"}])", 1, 0, 5, 2, "1", 6000, ""},
        {"time-out counts from the last digit",
         R"([{"at_ms": 1000, "digits": "1"}, {"at_ms": 6500, "digits": "2"}])", 4, 0, 5, 0, "1", 6000, "2"},
        {"a digit exactly at the time-out is too late", R"([{"at_ms": 5000, "digits": "1"}])", 1, 0, 5, 0, "", 5000, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto device = deviceFrom(
            QStringLiteral(R"({"speed": 0, "addresses": [{"calls": [{"digits": %1}]}]})").arg(c.digits).toUtf8().constData());
        ChannelPtr ch = openChannel(*device);
        ringAndAnswer(*ch);
        QString got = " ";
        EXPECT_EQ(ch->ReceiveDTMF(got, c.maxLength, c.endDigit, c.timeOut, c.firstAdd), R::Success);
        EXPECT_EQ(got, c.got);
        EXPECT_EQ(lastOf(*device, "ReceiveDTMF").callMs, c.atMs);
        EXPECT_EQ(ch->ReceiveDTMF(got, 1, 0, 1, 0), R::Success);
        EXPECT_EQ(got, c.next);
    }
}

TEST(SimDevice, WaitRingSkipsCallersWhoGiveUpAndStartsEachCallAfresh)
{
    auto device = deviceFrom(R"({"speed": 0, "ring_ms": 1000, "addresses": [{"calls": [
        {"caller": "1", "rings": 1, "digits": [{"at_ms": 0, "digits": "1"}]},
        {"caller": "2", "rings": 3, "digits": [{"at_ms": 50, "digits": "2"}]},
        {"caller": "3", "arrive_ms": 200}]}]})");
    ChannelPtr ch = openChannel(*device);
    QString caller, called, digits;
    EXPECT_EQ(ch->WaitRing(3, caller, called), R::Success);
    EXPECT_EQ(caller, "2");
    EXPECT_EQ(lastOf(*device, "WaitRing").detail, "caller \"2\", called \"\", 1 missed");
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 1, 0), R::Success);
    EXPECT_EQ(digits, "2");
    EXPECT_EQ(lastOf(*device, "ReceiveDTMF").callMs, 50);
    EXPECT_EQ(ch->EndPass(), R::Success);
    EXPECT_EQ(ch->Answer(), R::Failed) << "the call was released";
    EXPECT_EQ(ch->WaitRing(0, caller, called), R::Success);
    EXPECT_EQ(caller, "3");
    EXPECT_EQ(lastOf(*device, "WaitRing").callMs, 200);
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 1, 0), R::Success);
    EXPECT_EQ(digits, "") << "nothing carried over from the last call";
    // The calls are used up; a reopened channel does not see them again and waits for Abort.
    EXPECT_EQ(device->CloseChannel(0, ch), R::Success);
    ch = openChannel(*device);
    std::thread aborter([&] {
        waitUntilBlocked(ch);
        ch->Abort();
    });
    EXPECT_EQ(ch->WaitRing(1, caller, called), R::EndPass);
    aborter.join();
    EXPECT_TRUE(caller.isEmpty());
}

TEST(SimDevice, OutboundCallsFollowTheScript)
{
    auto device = deviceFrom(R"({"speed": 0, "addresses": [{"outbound": [
        {"result": 3, "after_ms": 5000},
        {"after_ms": 30000},
        {"after_ms": 2000, "digits": [{"at_ms": 100, "digits": "1"}], "hangup_ms": 1000},
        {"result": 6}]}]})");
    ChannelPtr ch = openChannel(*device);
    EXPECT_EQ(ch->MakeCall("100", AddressType::PhoneNumber, 20), R::CallFailed);
    EXPECT_EQ(lastOf(*device, "MakeCall").callMs, 5000);
    EXPECT_EQ(ch->MakeCall("101", AddressType::PhoneNumber, 20), R::CallFailed);
    EXPECT_EQ(lastOf(*device, "MakeCall").detail, "no answer");
    EXPECT_EQ(lastOf(*device, "MakeCall").callMs, 20000);
    EXPECT_EQ(ch->MakeCall("102", AddressType::IPAddress, 0), R::Success);
    EXPECT_EQ(lastOf(*device, "MakeCall").callMs, 0) << "the call's clock starts at its answer";
    QString digits;
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 0, 0), R::Success);
    EXPECT_EQ(digits, "1");
    EXPECT_EQ(ch->Sleep(false, 0), R::HungUp);
    EXPECT_EQ(lastOf(*device, "Sleep").callMs, 1000);
    EXPECT_EQ(ch->MakeCall("103", AddressType::DomainName, 0), R::Disconnected);
    EXPECT_EQ(ch->MakeCall("104", AddressType::PhoneNumber, 0), R::CallFailed);
    EXPECT_EQ(lastOf(*device, "MakeCall").detail, "nobody to call");
}

TEST(SimDevice, GatewayCallBridgesUntilTheFarEndOrTheLimit)
{
    auto device = deviceFrom(R"({"speed": 0, "gateway": 1, "addresses": [
        {"calls": [{"hangup_ms": 100000}], "outbound": [
            {"after_ms": 1000, "hangup_ms": 3000}, {"after_ms": 0}, {"result": 3, "after_ms": 500}, {"after_ms": 9000}]},
        "Gateway"]})");
    ChannelPtr ch = openChannel(*device, 0, 1);
    ringAndAnswer(*ch);
    EXPECT_EQ(ch->GatewayCall("900", "", AddressType::PhoneNumber, 0, 0), R::Success);
    EXPECT_EQ(lastOf(*device, "GatewayCall").detail, "far end hung up");
    EXPECT_EQ(lastOf(*device, "GatewayCall").callMs, 4000);
    EXPECT_EQ(ch->GatewayCall("901", "", AddressType::PhoneNumber, 0, 2), R::Success);
    EXPECT_EQ(lastOf(*device, "GatewayCall").detail, "max length");
    EXPECT_EQ(lastOf(*device, "GatewayCall").callMs, 6000);
    EXPECT_EQ(ch->GatewayCall("902", "", AddressType::PhoneNumber, 0, 0), R::CallFailed);
    EXPECT_EQ(ch->GatewayCall("903", "", AddressType::PhoneNumber, 5, 0), R::CallFailed);
    EXPECT_EQ(lastOf(*device, "GatewayCall").detail, "no answer");
    EXPECT_EQ(ch->Sleep(false, 1), R::Success) << "the caller is still on the line";

    // Another gateway named by text needs no gateway address on the channel.
    auto plain = deviceFrom(R"({"speed": 0, "addresses": [{"outbound": [{"hangup_ms": 10}]}]})");
    ChannelPtr other = openChannel(*plain);
    EXPECT_EQ(other->GatewayCall("900", "10.0.0.9", AddressType::IPAddress, 0, 0), R::Success);
}

TEST(SimDevice, ForcedResultsAndSpeechEngine)
{
    Scenario s;
    QString error;
    ASSERT_TRUE(loadScenario(fixture("scenarios/two_lines.json"), s, &error));
    auto device = std::make_shared<SimDevice>(s);
    ChannelPtr ch = openChannel(*device, 0, 2);
    EXPECT_EQ(ch->SetHookSwitch(HookMode::Speaker), R::Failed);  // forced on the address
    EXPECT_EQ(lastOf(*device, "SetHookSwitch").detail, "forced");
    QString caller, called;
    EXPECT_EQ(ch->WaitRing(1, caller, called), R::Success);
    EXPECT_EQ(caller, "5550100");
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->Speak("hi", false, false, false), R::Success);  // the scenario has an engine
    EXPECT_EQ(lastOf(*device, "Speak").detail, "160 ms");
    EXPECT_EQ(ch->EndPass(), R::Success);
    EXPECT_EQ(ch->WaitRing(1, caller, called), R::Success);
    EXPECT_EQ(caller, "5550101");
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->Speak("hi", false, false, false), R::NoSpeechEngine);  // forced on this call
    EXPECT_EQ(ch->EndPass(), R::Success);
    EXPECT_EQ(ch->Speak("hi", false, false, false), R::Success) << "the call's force ended with the call";
}

// ---- Abort ----

TEST(SimDevice, AbortBeforeBlockingCallIsLatchedUntilClose)
{
    auto device = deviceFrom(R"({"speed": 0, "addresses": [{"calls": [{"caller": "1"}]}]})");
    ChannelPtr ch = openChannel(*device);
    EXPECT_EQ(ch->Abort(), R::Success);
    QString caller, called, digits;
    EXPECT_EQ(ch->WaitRing(1, caller, called), R::EndPass);
    EXPECT_EQ(ch->PlayFile(kTone250, false), R::EndPass);
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 0, 0), R::EndPass);
    EXPECT_EQ(ch->Sleep(false, 0), R::EndPass);
    EXPECT_EQ(ch->Answer(), R::EndPass);
    EXPECT_EQ(ch->EndPass(), R::Success) << "the pass can still be ended";
    EXPECT_EQ(ch->BeginPass(), R::Success);
    EXPECT_EQ(ch->Sleep(false, 1), R::EndPass) << "still latched in the next pass";
    EXPECT_EQ(device->CloseChannel(0, ch), R::Success);
    ch = openChannel(*device);
    EXPECT_EQ(ch->WaitRing(1, caller, called), R::Success) << "the aborted wait took no call";
    EXPECT_EQ(caller, "1");
}

TEST(SimDevice, AbortFromAnotherThreadEndsEachBlockingOperation)
{
    QTemporaryDir dir;
    struct Case {
        const char* what;
        double speed;
        std::function<int32_t(IIVRAddress&)> call;
    };
    const Case cases[] = {
        {"WaitRing", 0, [](IIVRAddress& c) {
             QString a, b;
             c.WaitRing(1, a, b);  // the one scripted call
             return c.WaitRing(1, a, b);
         }},
        {"ReceiveDTMF", 0, [](IIVRAddress& c) { QString d; return c.ReceiveDTMF(d, 4, 0, 0, 0); }},
        {"Sleep", 0, [](IIVRAddress& c) { return c.Sleep(true, 0); }},
        {"RecordFile", 0, [&](IIVRAddress& c) { return c.RecordFile(dir.filePath("a.wav"), true, 0); }},
        {"GatewayCall", 0, [](IIVRAddress& c) { return c.GatewayCall("9", "gw", 1, 0, 0); }},
        // Real waits, slowed down so far that only the abort can end them.
        {"PlayFile", 1e-4, [](IIVRAddress& c) { return c.PlayFile(kTone250, false); }},
        {"Speak", 1e-4, [](IIVRAddress& c) { return c.Speak("words", false, false, false); }},
        {"SendDTMF", 1e-4, [](IIVRAddress& c) { return c.SendDTMF("1"); }},
        {"MakeCall", 1e-4, [](IIVRAddress& c) { return c.MakeCall("9", 1, 0); }},
        {"RecordFile", 1e-4, [&](IIVRAddress& c) { return c.RecordFile(dir.filePath("b.wav"), false, 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " at speed " + std::to_string(c.speed));
        auto device = deviceFrom(R"({"speech_engine": true, "addresses": [
            {"calls": [{"caller": "1"}], "outbound": [{"after_ms": 1000}, {}]}]})");
        device->setSpeed(0);
        ChannelPtr ch = openChannel(*device);
        if (QString(c.what) != "WaitRing" && QString(c.what) != "MakeCall")
            ringAndAnswer(*ch);
        device->setSpeed(c.speed);
        int32_t result = -1;
        std::thread runner([&] { result = c.call(*ch); });
        waitUntilBlocked(ch);
        ch->Abort();
        runner.join();
        EXPECT_EQ(result, R::EndPass);
        EXPECT_EQ(lastOf(*device, c.what).detail.left(7), "aborted");
    }
    // An aborted record keeps what it had: nothing at no-wait speed.
    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(dir.filePath("a.wav"), info));
    EXPECT_EQ(info.dataBytes, 0);
    ASSERT_TRUE(readWaveInfo(dir.filePath("b.wav"), info));
    EXPECT_LT(info.durationMs(), 5000);
}

TEST(SimDevice, AbortRacingTheStartOfAnOperationIsNeverLost)
{
    auto device = deviceFrom(R"({"speed": 0, "addresses": ["Line 1"]})");
    for (int i = 0; i < 200; ++i) {
        ChannelPtr ch = openChannel(*device);
        int32_t result = -1;
        std::thread runner([&] { result = ch->Sleep(false, 0); });  // ends only by Abort
        std::thread stopper([&] { ch->Abort(); });
        stopper.join();
        runner.join();
        ASSERT_EQ(result, R::EndPass);
        ASSERT_EQ(device->CloseChannel(0, ch), R::Success);
    }
}

TEST(SimDevice, ClosingOrDestroyingTheDeviceWakesABlockedChannel)
{
    auto device = deviceFrom(R"({"speed": 0, "addresses": ["Line 1", "Line 2"]})");
    ChannelPtr ch = openChannel(*device, 0);
    int32_t result = -1;
    std::thread runner([&] { result = ch->Sleep(false, 0); });
    waitUntilBlocked(ch);
    EXPECT_EQ(device->CloseChannel(0, ch), R::Success);
    runner.join();
    EXPECT_EQ(result, R::EndPass);
    EXPECT_EQ(ch->Sleep(false, 1), R::Failed);

    ChannelPtr other = openChannel(*device, 1);
    std::thread second([&] { result = other->Sleep(false, 0); });
    waitUntilBlocked(other);
    device.reset();
    second.join();
    EXPECT_EQ(result, R::EndPass);
}

TEST(SimDevice, RealTimeWaitsComplete)
{
    // Fast but real waits: the timed path of every wait.
    auto device = deviceFrom(R"({"speed": 1000, "ring_ms": 1000, "addresses": [
        {"calls": [{"rings": 2, "digits": [{"at_ms": 300, "digits": "1"}], "hangup_ms": 900}]}]})");
    ChannelPtr ch = openChannel(*device);
    QString caller, called, digits;
    EXPECT_EQ(ch->WaitRing(2, caller, called), R::Success);
    EXPECT_EQ(ch->Answer(), R::Success);
    EXPECT_EQ(ch->PlayFile(kTone250, false), R::Success);
    EXPECT_EQ(ch->ReceiveDTMF(digits, 1, 0, 1, 0), R::Success);
    EXPECT_EQ(digits, "1");
    EXPECT_EQ(ch->Sleep(false, 0), R::HungUp);
    EXPECT_EQ(lastOf(*device, "Sleep").callMs, 900);
}

// ---- Many channels ----

TEST(SimDevice, ManyChannelsOnManyThreads)
{
    constexpr int kLines = 16;
    constexpr int kCalls = 8;
    QString json = R"({"speed": 100000, "speech_engine": true, "addresses": [)";
    for (int line = 0; line < kLines; ++line) {
        json += line ? "," : "";
        json += QStringLiteral(R"({"name": "Line %1", "calls": [)").arg(line + 1);
        for (int call = 0; call < kCalls; ++call)
            json += QStringLiteral(R"(%1{"caller": "%2", "digits": [{"at_ms": 100, "digits": "%3#"}], "hangup_ms": 3000})")
                        .arg(call ? "," : "")
                        .arg(line * 100 + call)
                        .arg(call);
        json += "]}";
    }
    json += "]}";
    auto device = deviceFrom(json.toUtf8().constData());
    std::atomic<int> printed{0};
    device->setLogCallback([&](const SimLogEntry&) { ++printed; });
    QTemporaryDir dir;

    std::vector<ChannelPtr> channels(kLines);
    std::vector<std::thread> threads;
    std::vector<QStringList> received(kLines);
    std::atomic<int> served{0};
    for (int line = 0; line < kLines; ++line) {
        threads.emplace_back([&, line] {
            ChannelPtr ch;
            device->OpenChannel(line, ch, -1, -1, -1, HookMode::MicSpeaker, -1);
            channels[line] = ch;  // published before the thread counts its calls
            const QString record = dir.filePath(QStringLiteral("line%1.wav").arg(line));
            for (;;) {
                ch->BeginPass();
                QString caller, called, digits;
                if (ch->WaitRing(1, caller, called) == R::EndPass) {
                    ch->EndPass();
                    break;
                }
                ch->Answer();
                ch->PlayFile(kTone250, true);
                ch->ReceiveDTMF(digits, 0, '#', 2, 0);
                received[line] << caller + ":" + digits;
                ch->Speak("thanks", true, false, false);
                ch->RecordFile(record, true, 1);
                ch->Sleep(false, 0);  // until the caller hangs up
                ch->EndPass();
                ++served;
            }
        });
    }
    // Read the log while the channels write it.
    while (served.load() < kLines * kCalls)
        (void)device->log().size();
    for (int line = 0; line < kLines; ++line) {
        ChannelPtr ch;
        while (!(ch = channels[line]) || !dynamic_cast<SimChannel&>(*ch).isWaiting())
            std::this_thread::yield();
        ch->Abort();
    }
    for (auto& t : threads)
        t.join();
    for (int line = 0; line < kLines; ++line) {
        ASSERT_EQ(received[line].size(), kCalls);
        for (int call = 0; call < kCalls; ++call)
            EXPECT_EQ(received[line][call], QStringLiteral("%1:%2").arg(line * 100 + call).arg(call));
        EXPECT_EQ(device->CloseChannel(line, channels[line]), R::Success);
    }
    const auto log = device->log();
    EXPECT_EQ(int(log.size()), printed.load());
    // Per line: open, 8 calls of 9 operations, the last pass (BeginPass, WaitRing, EndPass), abort, close.
    for (int line = 0; line < kLines; ++line) {
        const auto count = std::count_if(log.begin(), log.end(), [&](const SimLogEntry& e) { return e.address == line; });
        EXPECT_EQ(count, 1 + kCalls * 9 + 3 + 1 + 1);
    }
}
