// The console's channel supervision without windows, on the simulated device at full speed with
// real flow files: settings, the start errors, the in-use rules, the lifecycle of a channel, a
// runner that ends by itself, late events of an old run, and many channels at once.
#include <gtest/gtest.h>

#include <atomic>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "channels/supervisor.h"
#include "engine/flow.h"
#include "channels/supervisortesthelpers.h"
#include "engine/texts.h"
#include "platform/registry.h"
#include "devices/sim/scenario.h"

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using namespace suptest;
using State = ChannelSupervisor::State;

struct Supervisor : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<RegistryStore> store;
    std::unique_ptr<ConsoleConfig> config;
    std::shared_ptr<WatchedDevice> device;
    std::unique_ptr<ChannelSupervisor> sup;
    std::vector<QStringList> seen;  // the state texts each channel showed, in order

    void SetUp() override
    {
        setTextLanguage(false);
        setAdminTextLanguage(false);
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<RegistryStore>(dir.filePath("registry.db"));
    }
    void TearDown() override
    {
        sup.reset();
        config.reset();
        store.reset();
        if (QSqlDatabase::contains("inject")) QSqlDatabase::removeDatabase("inject");
        setAdminTextLanguage(false);
    }

    // The device and the configuration: applications and groups are made by the caller after.
    void openDevice(Scenario scenario)
    {
        device = std::make_shared<WatchedDevice>(std::move(scenario));
        int count = 0;
        device->GetAddressCount(count);
        QStringList names;
        for (int i = 0; i < count; ++i) {
            QString name;
            device->GetAddressName(i, name);
            names << name;
        }
        config = std::make_unique<ConsoleConfig>(store.get());
        ASSERT_TRUE(config->load(names)) << qPrintable(config->errorString());
    }
    // The supervisor over the device with that many channels, their settings loaded from the store.
    void openSupervisor(int channels)
    {
        QStringList names;
        for (int i = 1; i <= channels; ++i) names << QStringLiteral("Channel %1").arg(i);
        int gateway = -1;
        device->GetGatewayAddress(gateway);
        sup = std::make_unique<ChannelSupervisor>(device, store.get(), config.get(), names, gateway);
        seen.assign(size_t(channels), {});
        QObject::connect(sup.get(), &ChannelSupervisor::channelStateChanged, sup.get(),
                         [this](int i) { seen[size_t(i)] << sup->stateText(i); });
        QString error;
        ASSERT_TRUE(sup->LoadChannelOptions(ChannelOptionLists::collect(device.get(), NoWaveDevices()), &error))
            << qPrintable(error);
    }
    QString flow(const QString& name, const QByteArray& text)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, text));
        return path;
    }
    // An application with the flow, bound to the addresses.
    void application(const QString& name, const QString& file, const std::vector<int>& addresses)
    {
        ASSERT_TRUE(config->newApplication(name, file));
        if (addresses.empty()) return;
        ASSERT_TRUE(config->bindAddresses(addresses, ConsoleConfig::Binding::Application, config->findApplication(name)));
    }
    // gateway: -1 off, -2 on without a gateway address.
    void channel(int i, int address, int gateway = -1)
    {
        TChannelOptions& o = sup->FChannels[size_t(i)];
        o.Address = address;
        o.UseGateway = gateway != -1;
        o.Gateway = gateway >= 0 ? gateway : -1;
    }
    void start(int i)
    {
        QString error;
        ASSERT_TRUE(sup->StartChannel(i, &error)) << qPrintable(error);
        ASSERT_TRUE(error.isEmpty());
    }
    int flowsAlive() const { return int(sup->findChildren<TIVRFlow*>().size()); }
    RegistryKey key(int i) const { return RegistryKey(store.get(), channelKeyPath(QStringLiteral("Channel %1").arg(i + 1))); }
    QString stored(int i, const QString& name) const
    {
        QString text;
        const RegistryStore::Status s = key(i).readString(name, &text);
        if (s == RegistryStore::Status::Missing) return "<missing>";
        if (s != RegistryStore::Status::Ok) {
            int32_t n = 0;
            key(i).readInteger(name, &n);
            return "#" + QString::number(n);
        }
        return text;
    }
    void seedChannel(int i, const QString& name, const QString& text)
    {
        ASSERT_TRUE(key(i).create());
        ASSERT_TRUE(key(i).writeString(name, text));
    }
    // Every change to a stored value fails from now on.
    void failWrites()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inject");
        db.setDatabaseName(dir.filePath("registry.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* op : {"INSERT", "UPDATE", "DELETE"})
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail_%1 BEFORE %1 ON registry_values "
                                              "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                                   .arg(QLatin1String(op))))
                << qPrintable(q.lastError().text());
        db.close();
    }
};

// ---- settings ----

TEST_F(Supervisor, LoadingGivesEachAddressAndGatewayToTheFirstChannelThatNamesIt)
{
    Scenario s = lines(3, 0, {}, -1, {"Gateway"});
    s.gateway = 3;
    openDevice(s);
    seedChannel(0, "Address", "Line 1");
    seedChannel(1, "Address", "line 1");  // the same address in other letters
    seedChannel(2, "Address", "Gateway");
    seedChannel(3, "Address", "GATEWAY");  // the device's gateway: both keep it
    seedChannel(4, "Gateway", "Line 2");
    seedChannel(4, "Address", "Gateway");
    seedChannel(5, "Gateway", "Line 2");
    seedChannel(6, "Gateway", "Gateway");
    seedChannel(7, "Gateway", "Gateway");
    openSupervisor(8);

    const std::vector<int32_t> address{0, -1, 3, 3, 3, -1, -1, -1};
    const std::vector<int32_t> gateway{-1, -1, -1, -1, 1, -1, 3, 3};
    const QStringList addressColumn{"Line 1", "", "Gateway", "Gateway", "Gateway", "", "", ""};
    const QStringList gatewayColumn{"", "", "", "", "Line 2", "", "Gateway", "Gateway"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sup->FChannels[size_t(i)].Address, address[size_t(i)]);
        EXPECT_EQ(sup->FChannels[size_t(i)].Gateway, gateway[size_t(i)]);
        EXPECT_EQ(sup->addressText(i), addressColumn[i]);
        EXPECT_EQ(sup->gatewayText(i), gatewayColumn[i]);
        EXPECT_EQ(sup->stateText(i), "");
    }
    // The registry keeps what it held; the channel that lost its gateway still has it switched on.
    EXPECT_EQ(stored(1, "Address"), "line 1");
    EXPECT_EQ(stored(5, "Gateway"), "Line 2");
    EXPECT_TRUE(sup->FChannels[5].UseGateway);
    QString error;
    EXPECT_FALSE(sup->StartChannel(1, &error));
    EXPECT_EQ(error, "Address is empty.");
    // Keys are made for channels that had none.
    EXPECT_TRUE(store->keyExists(channelKeyPath("Channel 8")));
}

TEST_F(Supervisor, PropertyTakesTheAddressAndTheGatewayFromStoppedChannels)
{
    Scenario s = lines(3, 0, {}, -1, {"Gateway"});
    s.gateway = 3;
    openDevice(s);
    openSupervisor(4);
    channel(0, 0);
    channel(1, 3, 1);  // the device's gateway address going through Line 2
    channel(2, 3, 1);
    channel(3, 2, 3);

    // Channel 4 takes Line 1 from channel 1; its gateway is the device's, which nobody loses.
    TChannelOptions mine;
    mine.Address = 0;
    mine.UseGateway = true;
    mine.Gateway = 3;
    mine.AutoStart = true;
    QString error;
    ASSERT_TRUE(sup->SetChannelOptions(3, mine, &error)) << qPrintable(error);
    EXPECT_EQ(sup->FChannels[0].Address, -1);
    EXPECT_EQ(sup->addressText(0), "");
    EXPECT_EQ(stored(0, "Address"), "");
    EXPECT_EQ(sup->addressText(3), "Line 1");
    EXPECT_EQ(sup->gatewayText(3), "Gateway");
    EXPECT_EQ(stored(3, "Address"), "Line 1");
    EXPECT_EQ(stored(3, "Gateway"), "Gateway");
    EXPECT_EQ(stored(3, "AutoStart"), "#1");
    // Both on the device's gateway address, and through the device's gateway: nobody else loses.
    EXPECT_EQ(sup->FChannels[1].Address, 3);
    EXPECT_EQ(sup->FChannels[2].Gateway, 1);

    // Channel 2 keeps Line 2 as its gateway: channel 3, also going through Line 2, loses it but
    // keeps its gateway switched on, so its start says the gateway is empty.
    TChannelOptions second = sup->FChannels[1];
    ASSERT_TRUE(sup->SetChannelOptions(1, second, &error));
    EXPECT_EQ(sup->FChannels[2].Gateway, -1);
    EXPECT_TRUE(sup->FChannels[2].UseGateway);
    EXPECT_EQ(sup->gatewayText(2), "");
    EXPECT_EQ(stored(2, "Gateway"), "");
    EXPECT_FALSE(sup->StartChannel(2, &error));
    EXPECT_EQ(error, "Gateway is empty.");

    // Switching the gateway off empties the gateway column.
    second.UseGateway = false;
    second.Gateway = -1;
    ASSERT_TRUE(sup->SetChannelOptions(1, second, &error));
    EXPECT_EQ(sup->gatewayText(1), "");
    EXPECT_EQ(stored(1, "Gateway"), "");
}

TEST_F(Supervisor, AFailedWriteChangesNoSettings)
{
    openDevice(lines(2));
    openSupervisor(2);
    channel(0, 0);
    const TChannelOptions before = sup->FChannels[0];
    failWrites();
    TChannelOptions other;
    other.Address = 0;
    QString error;
    EXPECT_FALSE(sup->SetChannelOptions(1, other, &error));
    EXPECT_TRUE(error.startsWith("Save options error: ")) << qPrintable(error);
    EXPECT_TRUE(error.contains("disk is full")) << qPrintable(error);
    EXPECT_EQ(sup->FChannels[0], before);
    EXPECT_EQ(sup->FChannels[1].Address, -1);
    EXPECT_FALSE(sup->ResetChannelOptions(0, &error));
    EXPECT_TRUE(error.contains("disk is full")) << qPrintable(error);
    EXPECT_EQ(sup->FChannels[0], before);
}

TEST_F(Supervisor, ResetClearsAStoppedChannelAndRefusesARunningOne)
{
    openDevice(lines(2));
    application("Serve", flow("serve.svx", ServeFlow), {0, 1});
    openSupervisor(2);
    channel(0, 0, 1);
    sup->FChannels[0].AutoStart = true;
    sup->FChannels[0].ModemPlay = 1;
    sup->FChannels[0].HookSwitchMode = 2;
    sup->FChannels[0].TransmitDTMF = -1;
    channel(1, 1);
    start(1);

    QString error;
    ASSERT_TRUE(sup->ResetChannelOptions(0, &error)) << qPrintable(error);
    TChannelOptions cleared;
    cleared.TransmitDTMF = -1;  // left as it was
    EXPECT_EQ(sup->FChannels[0], cleared);
    EXPECT_EQ(QStringList({stored(0, "Address"), stored(0, "AutoStart"), stored(0, "Gateway"), stored(0, "ModemPlay"),
                           stored(0, "ModemRecord"), stored(0, "HookSwitchMode")}),
              QStringList({"", "#0", "", "", "", "#0"}));
    EXPECT_EQ(sup->addressText(0), "");
    EXPECT_EQ(sup->gatewayText(0), "");

    EXPECT_FALSE(sup->ResetChannelOptions(1, &error));
    EXPECT_EQ(error, QStringLiteral("Channel 2 channel is running，please first stop."));
    EXPECT_EQ(sup->FChannels[1].Address, 1);
    sup->StopChannel(1);
    ASSERT_TRUE(sup->ResetChannelOptions(1, &error));
    EXPECT_EQ(sup->stateText(1), "");  // a reset empties the state column too
}

// ---- starting ----

TEST_F(Supervisor, EveryStartErrorInItsOrder)
{
    openDevice(lines(8));
    const QString serve = flow("serve.svx", ServeFlow);
    const QString broken = flow("broken.svx", "object IVRBegin\n  object IVRNoSuchThing\n  end\nend\n");
    const QString missing = dir.filePath("missing.svx");
    application("Serve", serve, {0, 7});
    application("Nothing", "", {1});
    application("Missing", missing, {3});
    application("Broken", broken, {4});
    ASSERT_TRUE(config->newGroup("Empty group", -1));
    ASSERT_TRUE(config->bindAddresses({2}, ConsoleConfig::Binding::Group, 0));
    ASSERT_TRUE(config->newGroup("Missing group", config->findApplication("Missing")));
    ASSERT_TRUE(config->bindAddresses({5}, ConsoleConfig::Binding::Group, 1));
    // Line 7 is bound to nothing.
    openSupervisor(12);
    QString brokenError;
    TIVRFlow probe(nullptr, broken, false, &brokenError);
    ASSERT_FALSE(brokenError.isEmpty());
    // A running channel on Line 1 going through Line 8.
    channel(11, 0);
    start(11);

    struct Case {
        int address, gateway;  // gateway: -1 off, -2 on without a gateway
        QString error;
    } cases[] = {
        {-1, -1, "Address is empty."},
        {-1, -2, "Address is empty."},
        {2, -2, "Gateway is empty."},
        {1, -1, "Line 2, FlowFile of Application is empty."},
        {2, -1, "Line 3, FlowFile of Application is empty."},   // its group has no application
        {6, -1, "Line 7, Application is empty."},
        {3, -1, missing + ", FlowFile is not existent."},
        {5, -1, missing + ", FlowFile is not existent."},       // through its group
        {4, -1, brokenError + ", " + broken},
        {0, -1, "Line 1  is running by another channel."},     // after every other check
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.error));
        channel(row, c.address, c.gateway);
        QString error = "stale";
        EXPECT_FALSE(sup->StartChannel(row, &error));
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(sup->isRunning(row));
        EXPECT_EQ(sup->stateText(row), "");  // unchanged
        ++row;
    }
    EXPECT_EQ(flowsAlive(), 1);

    // Chinese: the name and the full-width comma of the text.
    setAdminTextLanguage(true);
    channel(0, 6);
    QString error;
    sup->StartChannel(0, &error);
    EXPECT_EQ(error, QStringLiteral("Line 7，没有设置应用流程"));
    channel(0, 2, -2);
    sup->StartChannel(0, &error);
    EXPECT_EQ(error, "Gateway is empty.");  // English in both languages

    // A running channel starts nothing and reports nothing.
    error = "stale";
    EXPECT_TRUE(sup->StartChannel(11, &error));
    EXPECT_TRUE(error.isEmpty());
}

// A flow file that exists but is no regular file (a pipe without a writer, a device, a folder)
// is refused at once by the load, whose message says so and names it; it is not "missing".
TEST_F(Supervisor, FlowFileThatIsNoRegularFileIsRefusedAtTheStart)
{
    openDevice(lines(3));
    const QString pipe = dir.filePath("pipe.svx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = dir.filePath("folder.svx");
    ASSERT_TRUE(QDir().mkpath(folder));
    application("Pipe", pipe, {0});
    application("Device", "/dev/zero", {1});
    application("Folder", folder, {2});
    openSupervisor(3);
    int row = 0;
    for (const QString& file : {pipe, QStringLiteral("/dev/zero"), folder}) {
        SCOPED_TRACE(file.toStdString());
        channel(row, row);
        QString error;
        EXPECT_FALSE(sup->StartChannel(row, &error));
        EXPECT_EQ(error, "File cann't be openned: \r\n" + file + ": not a regular file, " + file);
        EXPECT_FALSE(sup->isRunning(row));
        ++row;
    }
    EXPECT_EQ(flowsAlive(), 0);
}

TEST_F(Supervisor, InUseTable)
{
    Scenario s = lines(5, 0, {}, -1, {"Gateway"});
    s.gateway = 5;
    openDevice(s);
    application("Serve", flow("serve.svx", ServeFlow), {0, 1, 2, 3, 4, 5});
    openSupervisor(5);
    channel(0, 0);         // Line 1
    channel(1, 5, 1);      // the gateway address, through Line 2
    channel(2, 2, 5);      // Line 3, through the device's gateway
    channel(3, 3);         // Line 4, stopped: never checked
    start(0);
    start(1);
    start(2);

    struct Case {
        int address, gateway;
        QString error;
    } cases[] = {
        {0, -1, "Line 1  is running by another channel."},
        {3, 1, "Line 2  is running as Gateway by another channel."},
        {3, -1, ""},
        {4, -1, ""},
        {5, -1, ""},  // the device's gateway address is everybody's
        {4, 5, ""},
        {5, 4, ""},
        // One line serves one channel: an address that runs as a gateway, a gateway that runs as
        // an address.
        {1, -1, "Line 2  is running as Gateway by another channel."},
        {4, 0, "Line 1  is running by another channel."},
        {4, 2, "Line 3  is running by another channel."},
        // The channels in row order, the first hit wins.
        {1, 0, "Line 1  is running by another channel."},
        {0, 1, "Line 1  is running by another channel."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1/%2").arg(c.address).arg(c.gateway).toStdString());
        QString error = "stale";
        sup->CheckAddressInUse(c.address, c.gateway, &error);
        EXPECT_EQ(error, c.error);
    }

    // The same rules keep a start off a line that runs: channel 4 on Line 2, channel 5 through it.
    channel(3, 1);
    QString error;
    EXPECT_FALSE(sup->StartChannel(3, &error));
    EXPECT_EQ(error, "Line 2  is running as Gateway by another channel.");
    channel(4, 5, 2);
    EXPECT_FALSE(sup->StartChannel(4, &error));
    EXPECT_EQ(error, "Line 3  is running by another channel.");
    // Stopped channels free their lines.
    sup->StopChannel(1);
    sup->StopChannel(2);
    channel(3, 1);
    start(3);
    start(4);

    setAdminTextLanguage(true);
    sup->CheckAddressInUse(0, -1, &error);
    EXPECT_EQ(error, QStringLiteral("Line 1  正被另一通道运行"));
    sup->CheckAddressInUse(2, -1, &error);
    EXPECT_EQ(error, QStringLiteral("Line 3  正被另一通道作为网关运行"));
}

// ---- the life of a channel ----

TEST_F(Supervisor, WaitConnectedWaitAndAStopWhileWaitingForTheNextCall)
{
    openDevice(lines(1, 1, {}, 200));
    application("Serve", flow("serve.svx", ServeFlow), {0});
    openSupervisor(1);
    channel(0, 0);
    start(0);
    EXPECT_TRUE(sup->isRunning(0));
    EXPECT_EQ(sup->stateText(0), "Wait For Call");

    // The call is served; the next pass waits for a call the scenario does not have. At full
    // speed the call may be over before the main thread looks: what it shows is the latest state.
    ASSERT_TRUE(waitUntil([&] {
        return device->count("Answer", 0, ChannelResult::Success) == 1 && device->waiting(0) &&
               sup->pendingStateEvents() == 0;
    }));
    const QStringList served = seen[0];
    EXPECT_TRUE(served == (QStringList{"Wait For Call", "Connected", "Wait For Call"}) ||
                served == QStringList{"Wait For Call"})
        << qPrintable(served.join('|'));
    sup->StopChannel(0);
    // The stop ends the waiting pass first, which waits again (no change to show), and then the run.
    EXPECT_EQ(seen[0], served + QStringList{"Stop"});
    EXPECT_FALSE(sup->isRunning(0));
    EXPECT_EQ(flowsAlive(), 0);
    EXPECT_EQ(device->count("WaitRing", 0, ChannelResult::EndPass), 1);  // the stop ended the wait
    EXPECT_EQ(device->count("CloseChannel", 0), 1);

    // Stopping a stopped channel changes nothing.
    sup->StopChannel(0);
    EXPECT_EQ(seen[0].size(), served.size() + 1);
    EXPECT_EQ(sup->stateText(0), "Stop");

    // It starts again as a new run.
    const uint64_t first = sup->runNumber(0);
    start(0);
    EXPECT_GT(sup->runNumber(0), first);
    EXPECT_EQ(sup->stateText(0), "Wait For Call");
    ASSERT_TRUE(waitUntil([&] { return device->waiting(0); }));
    sup.reset();  // the supervisor's end stops its channels
    EXPECT_EQ(device->count("CloseChannel", 0), 2);
}

TEST_F(Supervisor, ARunnerThatEndsByItselfShowsStop)
{
    // Two channels may share the device's gateway address, but the device opens it only once:
    // the second runner has no channel, makes one pass and ends.
    Scenario s = lines(1, 0, {}, -1, {"Gateway"});
    s.gateway = 1;
    openDevice(s);
    application("Serve", flow("serve.svx", ServeFlow), {1});
    openSupervisor(2);
    channel(0, 1);
    channel(1, 1);
    start(0);
    ASSERT_TRUE(waitUntil([&] { return device->waiting(1); }));
    start(1);
    ASSERT_TRUE(waitUntil([&] { return !sup->isRunning(1); }));
    EXPECT_EQ(sup->stateText(1), "Stop");
    EXPECT_EQ(seen[1], (QStringList{"Wait For Call", "Stop"}));
    EXPECT_EQ(sup->stopReason(1), "Gateway: already open");
    EXPECT_EQ(flowsAlive(), 1);
    EXPECT_TRUE(sup->isRunning(0));
    EXPECT_EQ(sup->stateText(0), "Wait For Call");

    // Once the line is free it starts and stays, and the reason is gone.
    sup->StopChannel(0);
    EXPECT_EQ(sup->stopReason(0), "");
    start(1);
    EXPECT_EQ(sup->stopReason(1), "");
    ASSERT_TRUE(waitUntil([&] { return device->waiting(1); }));
    EXPECT_TRUE(sup->isRunning(1));
    sup->StopAll();
    EXPECT_EQ(flowsAlive(), 0);
}

TEST_F(Supervisor, ASpinningFlowKeepsAtMostOneStateEventQueued)
{
    // Every answer succeeds at once and the pass ends: the flow never blocks, and each pass
    // goes from connected back to waiting.
    Scenario s = lines(1);
    s.addresses[0].force[QStringLiteral("Answer")] = ChannelResult::Success;
    openDevice(s);
    std::atomic<int> passes{0};
    device->sim->setKeepLog(false);
    device->sim->setLogCallback([&](const SimLogEntry& e) {
        if (e.operation == QLatin1String("EndPass")) ++passes;
    });
    application("Spin", flow("spin.svx", "object IVRVar\nend\nobject IVRBegin\n  object IVRAnswer\n  end\nend\n"
                                         "object IVREnd\nend\n"),
                {0});
    openSupervisor(1);
    channel(0, 0);
    start(0);

    // The main thread is busy elsewhere while the flow runs pass after pass.
    QDeadlineTimer deadline(60000);
    while (passes.load() < 2000 && !deadline.hasExpired()) QThread::msleep(2);
    ASSERT_GE(passes.load(), 2000);
    EXPECT_LE(sup->pendingStateEvents(), 1);

    // Served again, the window catches up with a state of this run at once.
    const int before = int(seen[0].size());
    ASSERT_TRUE(waitUntil([&] { return int(seen[0].size()) > before; }));
    // The flow never waits for a call: between calls it shows Running, not Wait For Call.
    EXPECT_TRUE(sup->state(0) == State::Connected || sup->state(0) == State::Running);
    EXPECT_LE(sup->pendingStateEvents(), 1);
    sup->StopChannel(0);
    EXPECT_EQ(sup->stateText(0), "Stop");
    QCoreApplication::processEvents();
    EXPECT_EQ(sup->stateText(0), "Stop");  // a hand-over still queued for the run is dropped
    device->sim->setLogCallback(nullptr);
}

TEST_F(Supervisor, EventsOfAnEndedRunAreDropped)
{
    openDevice(lines(1));
    application("Serve", flow("serve.svx", ServeFlow), {0});
    openSupervisor(1);
    channel(0, 0);
    start(0);
    const uint64_t old = sup->runNumber(0);
    sup->StopChannel(0);
    start(0);
    ASSERT_TRUE(waitUntil([&] { return device->waiting(0); }));
    const uint64_t now = sup->runNumber(0);
    ASSERT_NE(old, now);

    // Late events of the first run reach the channel while the second runs.
    sup->FlowConnect(0, old);
    EXPECT_EQ(sup->stateText(0), "Wait For Call");
    sup->FlowFinish(0, old);
    EXPECT_TRUE(sup->isRunning(0));
    sup->FlowConnect(0, now);
    EXPECT_EQ(sup->stateText(0), "Connected");
    sup->FlowHangUp(0, old);
    EXPECT_EQ(sup->stateText(0), "Connected");
    sup->FlowHangUp(0, now);
    EXPECT_EQ(sup->stateText(0), "Wait For Call");
    sup->StopChannel(0);
    // And after the stop, nothing comes back to life.
    sup->FlowConnect(0, now);
    EXPECT_EQ(sup->stateText(0), "Stop");
}

TEST_F(Supervisor, ThirtyTwoChannelsServeTheirCallsAndStopTogether)
{
    constexpr int n = 32;
    openDevice(lines(n, 3, "2"));
    const QString welcome = copyWelcome(dir.filePath("examples"));
    std::vector<int> all;
    for (int i = 0; i < n; ++i) all.push_back(i);
    application("Welcome", welcome, all);
    openSupervisor(n);
    for (int i = 0; i < n; ++i) channel(i, i);
    for (int i = 0; i < n; ++i) start(i);

    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < n; ++i)
            if (!device->waiting(i) || device->count("Answer", i, ChannelResult::Success) < 3) return false;
        return sup->pendingStateEvents() == 0;
    }));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(device->count("Speak", i, ChannelResult::Success), 3) << i;  // the "2" of the menu
        EXPECT_EQ(sup->stateText(i), "Wait For Call") << i;
    }
    sup->StopAll();
    for (int i = 0; i < n; ++i) {
        EXPECT_FALSE(sup->isRunning(i));
        EXPECT_EQ(sup->stateText(i), "Stop");
        // Started, at most three calls shown (each shown only if the window looked in time), stopped;
        // never the same state twice in a row.
        const QStringList& states = seen[size_t(i)];
        EXPECT_LE(states.size(), 1 + 3 * 2 + 1) << i;
        EXPECT_EQ(states.front(), "Wait For Call") << i;
        EXPECT_EQ(states.back(), "Stop") << i;
        for (int k = 1; k < states.size(); ++k) EXPECT_NE(states[k], states[k - 1]) << i;
    }
    EXPECT_EQ(flowsAlive(), 0);
    EXPECT_EQ(device->count("CloseChannel"), n);
}

TEST_F(Supervisor, ThirtyTwoChannelsStopTogetherInTheMiddleOfACall)
{
    constexpr int n = 32;
    openDevice(lines(n, 1));
    std::vector<int> all;
    for (int i = 0; i < n; ++i) all.push_back(i);
    application("Busy", flow("busy.svx", BusyFlow), all);
    openSupervisor(n);
    for (int i = 0; i < n; ++i) channel(i, i);
    for (int i = 0; i < n; ++i) start(i);
    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < n; ++i)
            if (sup->state(i) != State::Connected || !device->waiting(i)) return false;
        return true;
    }));
    // Only some of them, then all: a stopped channel is passed over.
    sup->StopChannels({0, 5, 31});
    EXPECT_EQ(sup->stateText(5), "Stop");
    EXPECT_EQ(sup->stateText(6), "Connected");
    sup->StopAll();
    for (int i = 0; i < n; ++i) EXPECT_EQ(sup->stateText(i), "Stop") << i;
    EXPECT_EQ(device->count("Sleep", -1, ChannelResult::EndPass), n);
    EXPECT_EQ(flowsAlive(), 0);
}

// The console demo's scenario (scripts/admin-demo.sh): six lines with calls in real time.
TEST(AdminDemo, ScenarioHasCallsOnSixLines)
{
    Scenario s;
    QString error;
    ASSERT_TRUE(loadScenario(examplesFolder() + "/admin-scenario.json", s, &error)) << qPrintable(error);
    EXPECT_EQ(s.speed, 1.0);
    ASSERT_EQ(s.addresses.size(), 6u);
    for (size_t i = 0; i < s.addresses.size(); ++i) {
        EXPECT_EQ(s.addresses[i].name, QStringLiteral("Line %1").arg(i + 1));
        EXPECT_GE(s.addresses[i].calls.size(), 20u);
    }
}

}  // namespace
