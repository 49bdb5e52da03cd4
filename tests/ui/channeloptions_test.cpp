#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "support/listingdevice.h"
#include "channels/channeloptions.h"
#include "engine/device.h"
#include "engine/texts.h"
#include "fakewavedevices.h"
#include "platform/registry.h"

namespace {

ChannelOptionLists testLists()
{
    ListingDevice device;
    device.names = {"Line 1", "Line 2", "Gateway 1", "Line 4"};
    FakeWaveDevices waves({"Speakers", "USB Headset"}, {"Microphone"});
    return ChannelOptionLists::collect(&device, waves);
}

TChannelOptions gatewayOn(int32_t address, int32_t gateway, int32_t play, int32_t record, uint8_t hook, int32_t dtmf)
{
    TChannelOptions o;
    o.Address = address;
    o.UseGateway = true;
    o.Gateway = gateway;
    o.ModemPlay = play;
    o.ModemRecord = record;
    o.HookSwitchMode = hook;
    o.TransmitDTMF = dtmf;
    return o;
}

QString describe(const TChannelOptions& o)
{
    return QStringLiteral("Address=%1 AutoStart=%2 UseGateway=%3 Gateway=%4 ModemPlay=%5 ModemRecord=%6 Hook=%7 DTMF=%8")
        .arg(o.Address)
        .arg(o.AutoStart)
        .arg(o.UseGateway)
        .arg(o.Gateway)
        .arg(o.ModemPlay)
        .arg(o.ModemRecord)
        .arg(int(o.HookSwitchMode))
        .arg(o.TransmitDTMF);
}

struct ChannelOptionsTest : ::testing::Test {
    QTemporaryDir dir;
    RegistryStore store{dir.filePath("registry.db")};
    RegistryKey key{&store, channelKeyPath("Channel 1")};
    ChannelOptionLists lists = testLists();

    void SetUp() override { ASSERT_TRUE(key.create()); }

    // The key's values in creation order: integers bare, texts quoted.
    QString dump() const
    {
        QStringList names, parts;
        EXPECT_TRUE(key.valueNames(&names));
        for (const QString& n : names) {
            QString text;
            int32_t number = 0;
            if (key.readString(n, &text) == RegistryStore::Status::Ok) parts << n + "='" + text + "'";
            else if (key.readInteger(n, &number) == RegistryStore::Status::Ok) parts << n + "=" + QString::number(number);
        }
        return parts.join(' ');
    }
};

TEST_F(ChannelOptionsTest, KeysAndListsFollowTheDeviceAndTheLanguage)
{
    EXPECT_EQ(productKeyPath(), "Software\\Sorvix");
    EXPECT_EQ(channelKeyPath("Channel 1"), "Software\\Sorvix\\Authorizated\\Channel 1");
    EXPECT_EQ(lists.Addresses, QStringList({"Line 1", "Line 2", "Gateway 1", "Line 4"}));
    EXPECT_EQ(lists.Plays, QStringList({"Default Line Play", "Speakers", "USB Headset"}));
    EXPECT_EQ(lists.Records, QStringList({"Default Line Record", "Microphone"}));

    FakeWaveDevices none({}, {});
    const ChannelOptionLists empty = ChannelOptionLists::collect(nullptr, none);
    EXPECT_TRUE(empty.Addresses.isEmpty());
    EXPECT_EQ(empty.Plays, QStringList({txt::OptionDefaultLinePlay}));
    EXPECT_EQ(empty.Records, QStringList({txt::OptionDefaultLineRecord}));

    // Whatever the machine has, the system list answers without a sound server.
    const auto system = WaveDeviceList::system();
    ASSERT_TRUE(system);
    (void)system->outputDevices();
    (void)system->inputDevices();
}

// Every row starts from a key full of older values: what the record has no value for is removed.
TEST_F(ChannelOptionsTest, SaveWritesTheRecordAndRemovesWhatItDoesNotHold)
{
    TChannelOptions off;
    off.Address = 1;
    off.AutoStart = true;
    TChannelOptions noAutoStart = off;
    noAutoStart.AutoStart = false;
    TChannelOptions noAddress;
    TChannelOptions gatewayWithoutAddress = gatewayOn(1, -1, 1, 1, 1, -1);

    struct Row {
        const char* name;
        TChannelOptions record;
        bool writeAutoStart;
        QString stored;
        TChannelOptions readBack;
    };
    const std::vector<Row> rows = {
        {"gateway off", off, true, "AutoStart=1 Address='Line 2' Gateway=''", off},
        {"auto-start value left alone", noAutoStart, false, "AutoStart=1 Address='Line 2' Gateway=''", off},
        {"no address", noAddress, true, "AutoStart=0 Gateway=''", noAddress},
        {"on hook", gatewayOn(0, 2, 0, 0, 0, 0), true,
         "AutoStart=0 Address='Line 1' Gateway='Gateway 1' ModemPlay='Default Line Play' "
         "ModemRecord='Default Line Record' HookSwitchMode=1 TransmitDTMF=0",
         gatewayOn(0, 2, 0, 0, 0, 0)},
        {"speaker, forward digits", gatewayOn(2, 0, 2, 1, 1, -1), true,
         "AutoStart=0 Address='Gateway 1' Gateway='Line 1' ModemPlay='USB Headset' ModemRecord='Microphone' "
         "HookSwitchMode=4 TransmitDTMF=1",
         gatewayOn(2, 0, 2, 1, 1, -1)},
        {"mic and speaker, any non-zero forwards", gatewayOn(3, 2, 1, 0, 2, 7), true,
         "AutoStart=0 Address='Line 4' Gateway='Gateway 1' ModemPlay='Speakers' ModemRecord='Default Line Record' "
         "HookSwitchMode=8 TransmitDTMF=1",
         gatewayOn(3, 2, 1, 0, 2, -1)},
        {"hook mode outside the enumeration", gatewayOn(0, 2, 0, 0, 3, 0), true,
         "AutoStart=0 Address='Line 1' Gateway='Gateway 1' ModemPlay='Default Line Play' "
         "ModemRecord='Default Line Record' TransmitDTMF=0",
         gatewayOn(0, 2, 0, 0, 0, 0)},
        {"devices no longer present", gatewayOn(0, 2, 5, -1, 0, 0), true,
         "AutoStart=0 Address='Line 1' Gateway='Gateway 1' HookSwitchMode=1 TransmitDTMF=0",
         gatewayOn(0, 2, 0, 0, 0, 0)},
        {"gateway on without a gateway address", gatewayWithoutAddress, true,
         "AutoStart=0 Address='Line 2' Gateway=''", [] {
             TChannelOptions o;
             o.Address = 1;
             return o;
         }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(store.deleteKey(key.path()));
        ASSERT_TRUE(key.create());
        ASSERT_TRUE(key.writeInteger("AutoStart", 1));
        ASSERT_TRUE(key.writeString("Address", "Line 4"));
        ASSERT_TRUE(key.writeString("Gateway", "Line 4"));
        ASSERT_TRUE(key.writeString("ModemPlay", "USB Headset"));
        ASSERT_TRUE(key.writeString("ModemRecord", "Microphone"));
        ASSERT_TRUE(key.writeInteger("HookSwitchMode", 8));
        ASSERT_TRUE(key.writeInteger("TransmitDTMF", 1));

        QString error = "stale";
        ASSERT_TRUE(writeChannelOptions(key, lists, row.record, row.writeAutoStart, &error));
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(dump(), row.stored);

        TChannelOptions back;
        ASSERT_TRUE(readChannelOptions(key, lists, back, &error));
        EXPECT_EQ(describe(back), describe(row.readBack));
    }
}

TEST_F(ChannelOptionsTest, LoadFallsBackOnMissingWrongTypedAndUnknownValues)
{
    struct Value {
        const char* name;
        bool integer;
        const char* text;
        int32_t number;
    };
    auto s = [](const char* name, const char* text) { return Value{name, false, text, 0}; };
    auto i = [](const char* name, int32_t number) { return Value{name, true, "", number}; };
    TChannelOptions defaults;
    TChannelOptions address1;
    address1.Address = 1;
    auto on = [](int32_t address, int32_t gateway, int32_t play, int32_t record, uint8_t hook, int32_t dtmf) {
        return gatewayOn(address, gateway, play, record, hook, dtmf);
    };

    struct Row {
        const char* name;
        std::vector<Value> values;
        TChannelOptions expected;
    };
    const std::vector<Row> rows = {
        {"empty key", {}, defaults},
        {"names in another case",
         {s("Address", "LINE 2"), s("Gateway", "gateway 1"), s("ModemPlay", "usb HEADSET"), s("ModemRecord", "MICROPHONE"),
          i("HookSwitchMode", 4), i("TransmitDTMF", 1)},
         on(1, 2, 2, 1, 1, -1)},
        {"value names in another case", {s("address", "Line 2"), i("AUTOSTART", 1)},
         [&] {
             TChannelOptions o = address1;
             o.AutoStart = true;
             return o;
         }()},
        {"names no longer offered", {s("Address", "Line 9"), s("Gateway", "Line 9"), s("ModemPlay", "Gone"),
                                      s("ModemRecord", "Gone")},
         on(-1, -1, 0, 0, 0, 0)},
        {"empty gateway ignores the gateway values",
         {s("Address", "Line 2"), s("Gateway", ""), s("ModemPlay", "Speakers"), i("HookSwitchMode", 8),
          i("TransmitDTMF", 1)},
         address1},
        {"hook 1", {s("Gateway", "Line 1"), i("HookSwitchMode", 1)}, on(-1, 0, 0, 0, 0, 0)},
        {"hook 8", {s("Gateway", "Line 1"), i("HookSwitchMode", 8)}, on(-1, 0, 0, 0, 2, 0)},
        {"hook 2 is no mode", {s("Gateway", "Line 1"), i("HookSwitchMode", 2)}, on(-1, 0, 0, 0, 0, 0)},
        {"hook 0 is no mode", {s("Gateway", "Line 1"), i("HookSwitchMode", 0)}, on(-1, 0, 0, 0, 0, 0)},
        {"any non-zero forwards digits", {s("Gateway", "Line 1"), i("TransmitDTMF", -5)}, on(-1, 0, 0, 0, 0, -1)},
        {"auto start any non-zero", {i("AutoStart", 2)},
         [] {
             TChannelOptions o;
             o.AutoStart = true;
             return o;
         }()},
        {"numbers stored as texts",
         {s("AutoStart", "1"), s("Gateway", "Line 1"), s("HookSwitchMode", "4"), s("TransmitDTMF", "1")},
         on(-1, 0, 0, 0, 0, 0)},
        {"texts stored as numbers",
         {i("Address", 1), i("Gateway", 2), i("ModemPlay", 1), i("ModemRecord", 1)}, defaults},
        {"device texts stored as numbers",
         {s("Address", "Line 2"), s("Gateway", "Gateway 1"), i("ModemPlay", 1), i("ModemRecord", 1),
          i("HookSwitchMode", 4)},
         on(1, 2, 0, 0, 1, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(store.deleteKey(key.path()));
        ASSERT_TRUE(key.create());
        for (const Value& v : row.values)
            ASSERT_TRUE(v.integer ? key.writeInteger(v.name, v.number) : key.writeString(v.name, v.text));
        TChannelOptions loaded = gatewayOn(3, 3, 2, 1, 2, -1);  // nothing of it may survive
        loaded.AutoStart = true;
        QString error;
        ASSERT_TRUE(readChannelOptions(key, lists, loaded, &error));
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(describe(loaded), describe(row.expected));
    }
}

TEST_F(ChannelOptionsTest, LoadLeavesTheRunningFlowAndAMissingKeyReadsAsEmpty)
{
    TChannelOptions o = gatewayOn(1, 2, 1, 1, 1, -1);
    auto* flow = reinterpret_cast<TIVRFlow*>(&o);  // only compared, never used
    o.RunningFlow = flow;
    QString error;
    ASSERT_TRUE(readChannelOptions(RegistryKey(&store, channelKeyPath("Nobody")), lists, o, &error));
    EXPECT_EQ(o.RunningFlow, flow);
    o.RunningFlow = nullptr;
    EXPECT_EQ(o, TChannelOptions{});
}

TEST_F(ChannelOptionsTest, SaveCreatesTheKey)
{
    const RegistryKey product(&store, productKeyPath() + "\\Fresh");
    QString error;
    ASSERT_TRUE(writeChannelOptions(product, lists, gatewayOn(0, 2, 0, 0, 0, 0), false, &error)) << qPrintable(error);
    TChannelOptions back;
    ASSERT_TRUE(readChannelOptions(product, lists, back, &error));
    EXPECT_EQ(back, gatewayOn(0, 2, 0, 0, 0, 0));
}

TEST_F(ChannelOptionsTest, StoreFailuresAreReported)
{
    const QString folder = dir.filePath("folder.db");
    ASSERT_TRUE(QDir().mkpath(folder));
    RegistryStore broken(folder);
    const RegistryKey bad(&broken, channelKeyPath("Channel 1"));
    QString error;
    TChannelOptions o;
    EXPECT_FALSE(readChannelOptions(bad, lists, o, &error));
    EXPECT_TRUE(error.startsWith("Load options error: Software\\Sorvix\\Authorizated\\Channel 1\r\n"))
        << qPrintable(error);
    EXPECT_GT(error.size(), QString("Load options error: Software\\Sorvix\\Authorizated\\Channel 1\r\n").size());
    EXPECT_EQ(o, TChannelOptions{});

    EXPECT_FALSE(writeChannelOptions(bad, lists, gatewayOn(0, 2, 0, 0, 0, 0), true, &error));
    EXPECT_TRUE(error.startsWith("Save options error: Software\\Sorvix\\Authorizated\\Channel 1\r\n"))
        << qPrintable(error);

    EXPECT_FALSE(writeChannelOptions(RegistryKey(), lists, o, true, &error));
    EXPECT_FALSE(error.isEmpty());
}

// A write that fails half-way (here the last value) leaves the key as it was.
TEST_F(ChannelOptionsTest, AFailedSaveChangesNothing)
{
    TChannelOptions before = gatewayOn(0, 2, 1, 1, 1, -1);
    QString error;
    ASSERT_TRUE(writeChannelOptions(key, lists, before, true, &error));
    const QString stored = dump();
    store.releaseThreadConnection();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inject");
        db.setDatabaseName(store.filePath());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TRIGGER full_disk BEFORE UPDATE ON registry_values WHEN NEW.name = 'TransmitDTMF' "
                           "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"))
            << qPrintable(q.lastError().text());
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("inject");

    TChannelOptions after = gatewayOn(3, 2, 2, 0, 2, 0);
    after.AutoStart = true;
    EXPECT_FALSE(writeChannelOptions(key, lists, after, true, &error));
    EXPECT_TRUE(error.contains("disk is full")) << qPrintable(error);
    EXPECT_EQ(dump(), stored);
}

}  // namespace
