#include "consolefixture.h"

namespace {

using Binding = ConsoleConfig::Binding;
const QString& AppKey = ConsoleConfig::ApplicationKey;
const QString& GroupKey = ConsoleConfig::GroupKey;
const QString& AddrKey = ConsoleConfig::AddressKey;

const QStringList Lines{"Line 1", "Line 2", "Line 3", "Line 4", "Line 5"};

// Two applications, four groups (bound, empty, wrong case, dangling) and addresses of every kind,
// one of them ("Line 9") not reported by the device.
struct ConfigTest : ConsoleStoreFixture {
    std::unique_ptr<ConsoleConfig> config;

    void SetUp() override
    {
        ConsoleStoreFixture::SetUp();
        seed(AppKey, "Bank", "/flows/bank.svx");
        seed(AppKey, "Shop", "/flows/shop.svx");
        seed(GroupKey, "Sales", "Bank");
        seed(GroupKey, "Night", "");
        seed(GroupKey, "Odd", "bank");
        seed(GroupKey, "Lost", "Ghost");
        seed(AddrKey, "Line 1", "APPLICATION Bank");
        seed(AddrKey, "Line 2", "group Sales");
        seed(AddrKey, "Line 3", "application Shop");
        seed(AddrKey, "Line 4", "APPLICATION Ghost");
        seed(AddrKey, "Line 9", "APPLICATION Bank");
        seed(AddrKey, "Line 5", "GROUP Night");
        load();
    }
    void load(const QStringList& lines = Lines)
    {
        config = std::make_unique<ConsoleConfig>(store.get());
        ASSERT_TRUE(config->load(lines)) << qPrintable(config->errorString());
    }

    // The model's signals from now on, each with the size of its table when it came: "+A2 of 3"
    // (application row 2 appended), "-G0,1 of 2" (group rows 0 and 1 removed), "changed".
    QStringList heard;
    const QStringList& listen()
    {
        heard.clear();
        if (listening) return heard;
        listening = true;
        auto size = [this](ConsoleConfig::Table t) {
            return t == ConsoleConfig::Table::Applications ? config->applications().size() : config->groups().size();
        };
        auto letter = [](ConsoleConfig::Table t) { return t == ConsoleConfig::Table::Applications ? "A" : "G"; };
        QObject::connect(config.get(), &ConsoleConfig::rowAppended, [=, this](ConsoleConfig::Table t, int row) {
            heard << QStringLiteral("+%1%2 of %3").arg(letter(t)).arg(row).arg(size(t));
        });
        QObject::connect(config.get(), &ConsoleConfig::rowsRemoved,
                         [=, this](ConsoleConfig::Table t, const std::vector<int>& rows) {
                             QStringList numbers;
                             for (int r : rows) numbers << QString::number(r);
                             heard << QStringLiteral("-%1%2 of %3").arg(letter(t), numbers.join(',')).arg(size(t));
                         });
        QObject::connect(config.get(), &ConsoleConfig::changed, [this] { heard << QStringLiteral("changed"); });
        return heard;
    }

private:
    bool listening = false;
};

TEST_F(ConfigTest, LoadBindsByExactNamesAfterAPrefixOfAnyCase)
{
    EXPECT_EQ(describe(*config), (QStringList{
                                     "A:Bank=/flows/bank.svx",
                                     "A:Shop=/flows/shop.svx",
                                     "G:Sales>Bank",
                                     "G:Night>",
                                     "G:Odd>",   // "bank" differs in case: unbound
                                     "G:Lost>",  // names no application
                                     "L:Line 1>Bank/",
                                     "L:Line 2>/Sales",
                                     "L:Line 3>Shop/",
                                     "L:Line 4>/",  // names no application
                                     "L:Line 5>/Night",
                                 }));
    EXPECT_EQ(config->addressFlowFile(0), "/flows/bank.svx");
    EXPECT_EQ(config->addressFlowFile(1), "/flows/bank.svx") << "through the group's application";
    EXPECT_EQ(config->addressFlowFile(3), "");
    EXPECT_EQ(config->addressFlowFile(4), "") << "a group without application reaches no file";
    // Dangling values and the unreported address stay as stored.
    EXPECT_TRUE(dump(AddrKey).contains("Line 4=APPLICATION Ghost"));
    EXPECT_TRUE(dump(AddrKey).contains("Line 9=APPLICATION Bank"));
    EXPECT_TRUE(dump(GroupKey).contains("Lost=Ghost"));
}

TEST_F(ConfigTest, AddressValuesThatBindAndThatDoNot)
{
    struct Case {
        const char* data;
        const char* application;
        const char* group;
    } cases[] = {
        {"APPLICATION Bank", "Bank", ""}, {"Application Bank", "Bank", ""}, {"APPLICATION bank", "", ""},
        {"APPLICATIONBank", "", ""},      {"APPLICATION  Bank", "", ""},    {"GROUP Sales", "", "Sales"},
        {"gRoUp Sales", "", "Sales"},     {"GROUP sales", "", ""},          {"GROUP ", "", ""},
        {"Bank", "", ""},                 {"", "", ""},                     {"APPLICATION Sales", "", ""},
    };
    for (const Case& c : cases) {
        seed(AddrKey, "Line 1", c.data);
        load();
        EXPECT_EQ(config->addressApplicationText(0), c.application) << c.data;
        EXPECT_EQ(config->addressGroupText(0), c.group) << c.data;
    }
}

TEST_F(ConfigTest, ValuesOfTheWrongTypeReadAsEmptyAndMissingKeysAreNotCreated)
{
    ASSERT_TRUE(store->writeInteger(AppKey, "Numbers", 7));
    ASSERT_TRUE(store->writeInteger(GroupKey, "Sales", 1));
    ASSERT_TRUE(store->writeInteger(AddrKey, "Line 1", 1));
    load();
    EXPECT_EQ(config->applications().back().name, "Numbers");
    EXPECT_EQ(config->applications().back().flowFile, "");
    EXPECT_EQ(config->groupApplicationText(0), "");
    EXPECT_EQ(config->addresses()[0].binding, Binding::None);

    ASSERT_TRUE(store->deleteKey(ConsoleConfig::ProductKey));
    load({"Line 1"});
    EXPECT_TRUE(config->applications().empty());
    EXPECT_EQ(describe(*config), QStringList{"L:Line 1>/"});
    // Loading only reads; the first command that writes makes the key it needs.
    for (const QString& key : {AppKey, GroupKey, AddrKey}) EXPECT_FALSE(store->keyExists(key)) << qPrintable(key);
    ASSERT_TRUE(config->newApplication("Bank", "/b.svx"));
    EXPECT_TRUE(store->keyExists(AppKey));
}

TEST_F(ConfigTest, NewApplicationAndGroupAreAppended)
{
    ASSERT_TRUE(config->newApplication("Fax", "/flows/fax.svx"));
    ASSERT_TRUE(config->newGroup("Day", 2));
    ASSERT_TRUE(config->newGroup("Spare", -1));
    EXPECT_EQ(dump(AppKey), (QStringList{"Bank=/flows/bank.svx", "Shop=/flows/shop.svx", "Fax=/flows/fax.svx"}));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Sales=Bank", "Night=", "Odd=bank", "Lost=Ghost", "Day=Fax", "Spare="}));
    EXPECT_EQ(config->groupApplicationText(4), "Fax");
    // A name that differs only in case is another application's name.
    EXPECT_FALSE(config->newApplication("BANK", "/x.svx"));
    EXPECT_FALSE(config->newGroup("sales", 0));
    EXPECT_EQ(config->applications().size(), 3u);
}

TEST_F(ConfigTest, EditingWithTheSameNameKeepsTheValueInPlace)
{
    ASSERT_TRUE(config->editApplication(0, "Bank", "/flows/bank2.svx"));
    ASSERT_TRUE(config->editGroup(0, "Sales", 1));
    EXPECT_EQ(dump(AppKey), (QStringList{"Bank=/flows/bank2.svx", "Shop=/flows/shop.svx"}));
    EXPECT_EQ(dump(GroupKey).first(), "Sales=Shop");
    EXPECT_EQ(config->addressFlowFile(1), "/flows/shop.svx");
}

TEST_F(ConfigTest, RenamingAnApplicationRewritesTheBindingsThatNameIt)
{
    ASSERT_TRUE(config->editApplication(0, "Savings", "/flows/bank.svx"));
    EXPECT_EQ(dump(AppKey), (QStringList{"Shop=/flows/shop.svx", "Savings=/flows/bank.svx"}));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Sales=Savings", "Night=", "Odd=bank", "Lost=Ghost"}));
    EXPECT_EQ(dump(AddrKey), (QStringList{"Line 1=APPLICATION Savings", "Line 2=group Sales", "Line 3=application Shop",
                                          "Line 4=APPLICATION Ghost", "Line 9=APPLICATION Savings", "Line 5=GROUP Night"}));
    EXPECT_EQ(config->addressApplicationText(0), "Savings");
    EXPECT_EQ(config->groupApplicationText(0), "Savings");

    // What the window shows is what the next start shows.
    const QStringList shown = describe(*config);
    load();
    QStringList reloaded = describe(*config);
    EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()), QSet<QString>(reloaded.begin(), reloaded.end()));

    // A change of letter case only is a new name too.
    ASSERT_TRUE(config->editApplication(config->findApplication("Savings"), "SAVINGS", "/flows/bank.svx"));
    load();
    EXPECT_EQ(config->addressApplicationText(0), "SAVINGS");
    EXPECT_EQ(config->groupApplicationText(0), "SAVINGS");
}

TEST_F(ConfigTest, RenamingAGroupRewritesTheAddressesThatNameIt)
{
    seed(AddrKey, "Line 8", "Group Sales");  // not reported
    ASSERT_TRUE(config->editGroup(0, "Sales Team", 0));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Night=", "Odd=bank", "Lost=Ghost", "Sales Team=Bank"}));
    EXPECT_TRUE(dump(AddrKey).contains("Line 2=GROUP Sales Team"));
    EXPECT_TRUE(dump(AddrKey).contains("Line 8=GROUP Sales Team"));
    load();
    EXPECT_EQ(config->addressGroupText(1), "Sales Team");
}

TEST_F(ConfigTest, DeletingAnApplicationUnbindsItsAddressesAndEmptiesItsGroups)
{
    ASSERT_TRUE(config->bindAddresses({4}, Binding::Application, 1));  // Line 5 to Shop
    ASSERT_TRUE(config->deleteApplications({0}));
    EXPECT_EQ(dump(AppKey), QStringList{"Shop=/flows/shop.svx"});
    EXPECT_EQ(dump(GroupKey), (QStringList{"Sales=", "Night=", "Odd=bank", "Lost=Ghost"}));
    // Line 1 was bound directly: its value goes; Line 2 keeps its group; the unreported Line 9 stays.
    EXPECT_EQ(dump(AddrKey), (QStringList{"Line 2=group Sales", "Line 3=application Shop", "Line 4=APPLICATION Ghost",
                                          "Line 9=APPLICATION Bank", "Line 5=APPLICATION Shop"}));
    // The rows behind the deleted one moved up and keep their bindings.
    EXPECT_EQ(describe(*config), (QStringList{"A:Shop=/flows/shop.svx", "G:Sales>", "G:Night>", "G:Odd>", "G:Lost>",
                                             "L:Line 1>/", "L:Line 2>/Sales", "L:Line 3>Shop/", "L:Line 4>/",
                                             "L:Line 5>Shop/"}));
    EXPECT_EQ(config->addressFlowFile(2), "/flows/shop.svx");
}

TEST_F(ConfigTest, DeletingSeveralRowsInAnyOrder)
{
    ASSERT_TRUE(config->newApplication("Fax", "/f.svx"));
    ASSERT_TRUE(config->bindAddresses({3}, Binding::Application, 2));
    ASSERT_TRUE(config->deleteApplications({1, 0, 1}));
    EXPECT_EQ(describe(*config).mid(0, 1), QStringList{"A:Fax=/f.svx"});
    EXPECT_EQ(config->addressApplicationText(3), "Fax");
    EXPECT_EQ(config->addressApplicationText(2), "");

    ASSERT_TRUE(config->deleteGroups({3, 0}));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Night=", "Odd=bank"}));
    EXPECT_FALSE(dump(AddrKey).contains("Line 2=group Sales"));
    EXPECT_EQ(config->addressGroupText(4), "Night") << "Night moved up and keeps Line 5";
    EXPECT_FALSE(config->deleteGroups({7}));
}

TEST_F(ConfigTest, BindingMovesAnAddressToItsNewOwner)
{
    ASSERT_TRUE(config->bindAddresses({0, 2}, Binding::Group, 1));
    EXPECT_EQ(dump(AddrKey).mid(0, 3),
              (QStringList{"Line 1=GROUP Night", "Line 2=group Sales", "Line 3=GROUP Night"}));
    EXPECT_EQ(config->addressApplicationText(0), "");
    EXPECT_EQ(config->addressGroupText(0), "Night");
    ASSERT_TRUE(config->bindAddresses({1}, Binding::Application, 1));
    EXPECT_TRUE(dump(AddrKey).contains("Line 2=APPLICATION Shop"));
    EXPECT_EQ(config->addressGroupText(1), "");
    EXPECT_EQ(config->addressesOf(Binding::Group, 1), (std::vector<int>{0, 2, 4}));
}

TEST_F(ConfigTest, UnbindingAddressesDeletesTheirValues)
{
    ASSERT_TRUE(config->unbindAddresses({0, 3}));
    EXPECT_EQ(dump(AddrKey), (QStringList{"Line 2=group Sales", "Line 3=application Shop", "Line 9=APPLICATION Bank",
                                          "Line 5=GROUP Night"}));
    EXPECT_TRUE(config->unbindAddresses({3})) << "an address without a value is no failure";

    ASSERT_TRUE(config->unbindAllAddresses());
    EXPECT_EQ(dump(AddrKey), QStringList{"<none>"});
    for (const auto& a : config->addresses()) EXPECT_EQ(a.binding, Binding::None);
    load();
    for (const auto& a : config->addresses()) EXPECT_EQ(a.binding, Binding::None);
    // Binding again makes the key again.
    ASSERT_TRUE(config->bindAddresses({2}, Binding::Application, 0));
    EXPECT_EQ(dump(AddrKey), QStringList{"Line 3=APPLICATION Bank"});
}

TEST_F(ConfigTest, GroupsJoinAndLeaveAnApplication)
{
    ASSERT_TRUE(config->addGroupsToApplication({1, 2}, 1));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Sales=Bank", "Night=Shop", "Odd=Shop", "Lost=Ghost"}));
    EXPECT_EQ(config->groupsOf(1), (std::vector<int>{1, 2}));
    ASSERT_TRUE(config->removeGroupsFromApplication({0, 1}));
    EXPECT_EQ(dump(GroupKey), (QStringList{"Sales=", "Night=", "Odd=Shop", "Lost=Ghost"}));
    EXPECT_EQ(config->addressGroupText(1), "Sales") << "the group's addresses keep their group";
    EXPECT_EQ(config->addressFlowFile(1), "");
}

TEST_F(ConfigTest, AFailedWriteChangesNeitherTheStoreNorTheModel)
{
    struct Command {
        const char* name;
        std::function<bool(ConsoleConfig&)> run;
    };
    const std::vector<Command> commands = {
        {"new application", [](ConsoleConfig& c) { return c.newApplication("Fax", "/f.svx"); }},
        {"edit application", [](ConsoleConfig& c) { return c.editApplication(0, "Bank", "/b2.svx"); }},
        {"rename application", [](ConsoleConfig& c) { return c.editApplication(0, "Savings", "/b.svx"); }},
        {"delete applications", [](ConsoleConfig& c) { return c.deleteApplications({0, 1}); }},
        {"new group", [](ConsoleConfig& c) { return c.newGroup("Day", 0); }},
        {"rename group", [](ConsoleConfig& c) { return c.editGroup(0, "Team", 1); }},
        {"delete groups", [](ConsoleConfig& c) { return c.deleteGroups({0, 1}); }},
        {"bind", [](ConsoleConfig& c) { return c.bindAddresses({0, 1}, Binding::Group, 1); }},
        {"unbind", [](ConsoleConfig& c) { return c.unbindAddresses({0, 1}); }},
        {"unbind all", [](ConsoleConfig& c) { return c.unbindAllAddresses(); }},
        {"add groups", [](ConsoleConfig& c) { return c.addGroupsToApplication({1}, 0); }},
        {"remove groups", [](ConsoleConfig& c) { return c.removeGroupsFromApplication({0}); }},
    };
    const QStringList stored = allKeys();
    const QStringList model = describe(*config);
    const QStringList& heard = listen();
    failWrites();
    for (const Command& command : commands) {
        EXPECT_FALSE(command.run(*config)) << command.name;
        EXPECT_FALSE(config->errorString().isEmpty()) << command.name;
        EXPECT_EQ(describe(*config), model) << command.name;
        EXPECT_EQ(allKeys(), stored) << command.name;
    }
    EXPECT_TRUE(heard.isEmpty()) << qPrintable(heard.join(' '));
}

TEST_F(ConfigTest, CommandsSignalWhatChangedOnceTheModelHasChanged)
{
    const QStringList& heard = listen();
    struct Step {
        const char* name;
        std::function<bool(ConsoleConfig&)> run;
        QStringList expected;
    } steps[] = {
        {"new application", [](ConsoleConfig& c) { return c.newApplication("Fax", "/f.svx"); },
         {"+A2 of 3", "changed"}},
        {"rename application", [](ConsoleConfig& c) { return c.editApplication(0, "Savings", "/b.svx"); }, {"changed"}},
        {"delete applications", [](ConsoleConfig& c) { return c.deleteApplications({1, 0}); },
         {"-A0,1 of 1", "changed"}},
        {"delete none", [](ConsoleConfig& c) { return c.deleteApplications({}); }, {"changed"}},
        {"new group", [](ConsoleConfig& c) { return c.newGroup("Day", 0); }, {"+G4 of 5", "changed"}},
        {"delete groups", [](ConsoleConfig& c) { return c.deleteGroups({3}); }, {"-G3 of 4", "changed"}},
        {"edit group", [](ConsoleConfig& c) { return c.editGroup(0, "Sales", 0); }, {"changed"}},
        {"bind", [](ConsoleConfig& c) { return c.bindAddresses({0}, Binding::Group, 0); }, {"changed"}},
        {"unbind", [](ConsoleConfig& c) { return c.unbindAddresses({0}); }, {"changed"}},
        {"add groups", [](ConsoleConfig& c) { return c.addGroupsToApplication({1}, 0); }, {"changed"}},
        {"remove groups", [](ConsoleConfig& c) { return c.removeGroupsFromApplication({1}); }, {"changed"}},
        {"unbind all", [](ConsoleConfig& c) { return c.unbindAllAddresses(); }, {"changed"}},
        {"refused name", [](ConsoleConfig& c) { return !c.newApplication("fax", "/g.svx"); }, {}},
        {"no such row", [](ConsoleConfig& c) { return !c.editGroup(9, "Day", 0); }, {}},
    };
    for (const Step& step : steps) {
        listen();
        EXPECT_TRUE(step.run(*config)) << step.name;
        EXPECT_EQ(heard, step.expected) << step.name;
    }
}

TEST_F(ConfigTest, ARenameWhoseLastWriteFailsLeavesEverythingAsItWas)
{
    // The application's own value is written first; the unreported address comes last.
    const QStringList stored = allKeys();
    const QStringList model = describe(*config);
    failWrites("ROW.name = 'Line 9'");
    EXPECT_FALSE(config->editApplication(0, "Savings", "/flows/bank.svx"));
    EXPECT_TRUE(config->errorString().contains("disk is full")) << qPrintable(config->errorString());
    EXPECT_EQ(allKeys(), stored);
    EXPECT_EQ(describe(*config), model);
}

TEST_F(ConfigTest, ChannelRowsFollowTheAddressesUnlessACountIsStored)
{
    EXPECT_EQ(ConsoleConfig::channelNames(store.get(), 3), (QStringList{"Channel 1", "Channel 2", "Channel 3"}));
    EXPECT_TRUE(ConsoleConfig::channelNames(store.get(), 0).isEmpty());
    ASSERT_TRUE(store->writeInteger(ConsoleConfig::ProductKey, "ChannelCount", 5));
    EXPECT_EQ(ConsoleConfig::channelNames(store.get(), 3).size(), 5);
    EXPECT_EQ(ConsoleConfig::channelNames(store.get(), 3).last(), "Channel 5");
    for (int bad : {0, -2, ConsoleConfig::MaxChannels + 1}) {
        ASSERT_TRUE(store->writeInteger(ConsoleConfig::ProductKey, "ChannelCount", bad));
        EXPECT_EQ(ConsoleConfig::channelNames(store.get(), 3).size(), 3) << bad;
    }
    ASSERT_TRUE(store->writeString(ConsoleConfig::ProductKey, "ChannelCount", "8"));
    EXPECT_EQ(ConsoleConfig::channelNames(store.get(), 2).size(), 2) << "a text is not a count";
}

}  // namespace
