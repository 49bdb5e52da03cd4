// The channel commands of the console's main window over real flows on the simulated device:
// the state column, start and stop enabling, the message boxes of start and reset, the channel
// properties of a running and of a stopped channel, and closing the window.
#include "consolefixture.h"

#include <QTest>
#include <QTreeView>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "console/adminmain.h"
#include "console/consolelist.h"
#include "channels/supervisor.h"
#include "ui/authorizated.h"
#include "channels/supervisortesthelpers.h"
#include "ui/fakeprompt.h"

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using namespace suptest;

// The channel properties dialog without a modal loop: shown, acted on by `user`, hidden.
class DrivenDialog : public TfrmAuthorizated {
public:
    using TfrmAuthorizated::TfrmAuthorizated;
    std::function<void(DrivenDialog&)> user;

protected:
    int runModal() override
    {
        setResult(QDialog::Rejected);
        show();
        if (user) user(*this);
        hide();
        return result();
    }
};

// Five lines, the last the device's gateway address; Line 1 to 3 and the gateway address serve
// a flow, Line 4 belongs to an application whose flow file is missing. One channel per line,
// channel i on line i.
struct ChannelWindow : ConsoleStoreFixture {
    FakePrompt prompt;
    std::shared_ptr<WatchedDevice> device;
    std::unique_ptr<TfrmSorvixAdmin> win;
    DrivenDialog* dialog = nullptr;

    void SetUp() override
    {
        ConsoleStoreFixture::SetUp();
        initProductTexts();
        const QString serve = dir.filePath("serve.svx");
        ASSERT_TRUE(writeFile(serve, ServeFlow));
        seed(ConsoleConfig::ApplicationKey, "Serve", serve);
        seed(ConsoleConfig::ApplicationKey, "Lost", dir.filePath("lost.svx"));
        for (const char* line : {"Line 1", "Line 2", "Line 3", "Gateway"})
            seed(ConsoleConfig::AddressKey, line, "APPLICATION Serve");
        seed(ConsoleConfig::AddressKey, "Line 4", "APPLICATION Lost");
        const char* lines[] = {"Line 1", "Line 2", "Line 3", "Line 4", "Gateway"};
        for (int i = 0; i < 5; ++i) seed(channelKeyPath(QStringLiteral("Channel %1").arg(i + 1)), "Address", lines[i]);
    }
    void TearDown() override
    {
        win.reset();
        ConsoleStoreFixture::TearDown();
    }

    // The window as the program entry makes it: dialogs, settings, auto start.
    void open()
    {
        win.reset();
        Scenario s = suptest::lines(4, 0, {}, -1, {"Gateway"});
        s.gateway = 4;
        device = std::make_shared<WatchedDevice>(s);
        win = std::make_unique<TfrmSorvixAdmin>(device, registryFile());
        frmSorvixAdmin = win.get();
        createConsoleDialogs(win.get());
        dialog = new DrivenDialog(device.get(), NoWaveDevices(), win.get());
        dialog->OnCheckAddress = frmAuthorizated->OnCheckAddress;
        delete frmAuthorizated;
        frmAuthorizated = dialog;
        win->LoadChannelOptions();
        win->AutoStartChannels();
        win->selectNode(win->FChannelsNode);
    }
    ChannelSupervisor& sup() { return win->supervisor(); }
    QString state(int row) const { return win->lvAllAuthorization->text(row, 3); }
    void select(const std::vector<int>& rows)
    {
        win->lvAllAuthorization->clearSelection();
        for (int r : rows) win->lvAllAuthorization->setRowSelected(r, true);
    }
    void startRows(const std::vector<int>& rows)
    {
        select(rows);
        win->acStart->trigger();
    }
    std::pair<bool, bool> startStop() const { return {win->acStart->isEnabled(), win->acStop->isEnabled()}; }
};

TEST_F(ChannelWindow, StateColumnAndStartStopEnablingByTheSelection)
{
    open();
    EXPECT_EQ(win->lvAllAuthorization->text(0, 1), "Line 1");
    EXPECT_EQ(state(0), "");
    startRows({0});
    EXPECT_TRUE(prompt.messages.isEmpty()) << qPrintable(prompt.messages.join('|'));
    EXPECT_EQ(state(0), "Wait For Call");

    select({});
    EXPECT_EQ(startStop(), std::make_pair(false, false));
    select({0});  // running
    EXPECT_EQ(startStop(), std::make_pair(false, true));
    select({1});  // stopped
    EXPECT_EQ(startStop(), std::make_pair(true, false));
    select({0, 1});
    EXPECT_EQ(startStop(), std::make_pair(true, true));
    select({1, 2});
    EXPECT_EQ(startStop(), std::make_pair(true, true));
    EXPECT_TRUE(win->acStartAll->isEnabled());
    EXPECT_TRUE(win->acStopAll->isEnabled());

    select({0});
    win->acStop->trigger();
    EXPECT_EQ(state(0), "Stop");
    EXPECT_EQ(startStop(), std::make_pair(true, false));
    // Another node: start and stop are off whatever the selection.
    win->selectNode(win->FApplicationsNode);
    EXPECT_EQ(startStop(), std::make_pair(false, false));
}

// A flow that never waits for a call (no ring statement, or only a disabled one) runs without
// saying it waits for one.
TEST_F(ChannelWindow, AChannelWhoseFlowNeverWaitsForACallShowsRunning)
{
    const QByteArray sleeper = "  object IVRSleep\n    Interruptible = False\n    MaxLength = 0\n  end\n";
    const QByteArray flows[] = {
        "object IVRVar\nend\nobject IVRBegin\n" + sleeper + "end\nobject IVREnd\nend\n",
        "object IVRVar\nend\nobject IVRBegin\n  object IVRRing\n    Enabled = False\n    Times = 1\n  end\n" + sleeper +
            "end\nobject IVREnd\nend\n",
    };
    for (const QByteArray& flow : flows) {
        ASSERT_TRUE(writeFile(dir.filePath("serve.svx"), flow));
        open();
        startRows({0});
        EXPECT_TRUE(prompt.messages.isEmpty()) << qPrintable(prompt.messages.join('|'));
        EXPECT_EQ(state(0), "Running");
        // Still so once the runner is under way.
        QTest::qWait(100);
        EXPECT_EQ(state(0), "Running");
        select({0});
        win->acStop->trigger();
        EXPECT_EQ(state(0), "Stop");
    }
}

TEST_F(ChannelWindow, ARunnerThatEndsByItselfFreesItsRow)
{
    // Channels 4 and 5 share the device's gateway address; the device opens it once, so the
    // second runner ends by itself.
    seed(channelKeyPath("Channel 4"), "Address", "Gateway");
    open();
    startRows({4});
    ASSERT_TRUE(waitUntil([&] { return device->waiting(4); }));
    startRows({3});
    ASSERT_TRUE(waitUntil([&] { return !sup().isRunning(3); }));
    // The row says why, and so does the console's log.
    EXPECT_EQ(state(3), "Stop (Gateway: already open)");
    EXPECT_EQ(startStop(), std::make_pair(true, false));  // row 3 is still selected
    EXPECT_EQ(state(4), "Wait For Call");

    // A start by hand that works, and a stop by hand, leave no reason behind.
    win->acStop->trigger();
    select({4});
    win->acStop->trigger();
    startRows({3});
    ASSERT_TRUE(waitUntil([&] { return device->waiting(4); }));
    EXPECT_EQ(state(3), "Wait For Call");
    win->acStop->trigger();
    EXPECT_EQ(state(3), "Stop");
}

TEST_F(ChannelWindow, StartErrorsAskWhetherToGoOnExceptForTheLastRow)
{
    open();
    // Channel 1 runs already and is passed over without a box; 2 has no address, 4 a missing
    // flow file.
    startRows({0});
    const QString lost = dir.filePath("lost.svx");
    sup().FChannels[1].Address = -1;
    prompt.answers = {Prompt::Yes};
    startRows({0, 1, 3});
    ASSERT_EQ(prompt.messages.size(), 2);
    EXPECT_EQ(prompt.messages[0], "Channel 2 run error:\r\nAddress is empty.\r\nContinue?");
    EXPECT_EQ(prompt.messages[1], "Channel 4 run error:\r\n" + lost + ", FlowFile is not existent.");
    EXPECT_EQ(prompt.captions[0], ProductTitle);

    // No ends the loop: channel 3 stays stopped.
    prompt.messages.clear();
    prompt.answers = {Prompt::No};
    startRows({1, 2});
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_FALSE(sup().isRunning(2));
    EXPECT_EQ(startStop(), std::make_pair(true, true));

    // Start all: channel 3 and 5 start; the error of the last row would get an OK box.
    prompt.messages.clear();
    prompt.answers = {Prompt::Yes, Prompt::Yes};
    win->acStartAll->trigger();
    EXPECT_EQ(prompt.messages, (QStringList{"Channel 2 run error:\r\nAddress is empty.\r\nContinue?",
                                            "Channel 4 run error:\r\n" + lost + ", FlowFile is not existent.\r\nContinue?"}));
    EXPECT_EQ(state(2), "Wait For Call");
    EXPECT_EQ(state(4), "Wait For Call");
    win->acStopAll->trigger();
    for (int r : {0, 2, 4}) EXPECT_EQ(state(r), "Stop") << r;
    EXPECT_EQ(state(1), "");
}

TEST_F(ChannelWindow, PropertyOfARunningChannelIsReadOnly)
{
    open();
    startRows({0});
    QString caption;
    bool okEnabled = true;
    dialog->user = [&](DrivenDialog& d) {
        caption = d.windowTitle();
        okEnabled = d.btnOK->isEnabled();
        d.btnOK->click();  // disabled: does nothing
    };
    select({0});
    const TChannelOptions before = sup().FChannels[0];
    win->acSetAddress->trigger();
    EXPECT_EQ(caption, "Channel 1 [Running - ReadOnly]");
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(sup().FChannels[0], before);
    EXPECT_TRUE(sup().isRunning(0));

    // A stopped channel may not take the running channel's line, but a stopped one's.
    dialog->user = [&](DrivenDialog& d) {
        caption = d.windowTitle();
        okEnabled = d.btnOK->isEnabled();
        d.cmbAddress->setCurrentIndex(0);
        d.btnOK->click();
        if (d.result() == QDialog::Accepted) return;
        d.cmbAddress->setCurrentIndex(2);
        d.chkAutoStart->setChecked(true);
        d.btnOK->click();
    };
    select({1});
    win->acSetAddress->trigger();
    EXPECT_EQ(caption, "Channel 2");
    EXPECT_TRUE(okEnabled);
    EXPECT_EQ(prompt.messages, QStringList{"Line 1  is running by another channel."});
    EXPECT_EQ(win->lvAllAuthorization->text(1, 1), "Line 3");
    EXPECT_EQ(win->lvAllAuthorization->text(2, 1), "");
    EXPECT_EQ(sup().FChannels[2].Address, -1);
    QString stored;
    ASSERT_EQ(store->readString(channelKeyPath("Channel 2"), "Address", &stored), RegistryStore::Status::Ok);
    EXPECT_EQ(stored, "Line 3");
    int32_t autoStart = 0;
    store->readInteger(channelKeyPath("Channel 2"), "AutoStart", &autoStart);
    EXPECT_EQ(autoStart, 1);
    ASSERT_EQ(store->readString(channelKeyPath("Channel 3"), "Address", &stored), RegistryStore::Status::Ok);
    EXPECT_EQ(stored, "");

    // Nothing selected: nothing is shown.
    caption.clear();
    select({});
    win->acSetAddressExecute();
    EXPECT_TRUE(caption.isEmpty());
}

TEST_F(ChannelWindow, ResetPassesOverRunningChannels)
{
    open();
    startRows({2});
    prompt.answers = {Prompt::Yes};
    select({0, 2, 3});
    win->acClearAuthorizationSet->trigger();
    EXPECT_EQ(prompt.messages,
              QStringList{QStringLiteral("Channel 3 channel is running，please first stop.\r\nContinue?")});
    EXPECT_EQ(win->lvAllAuthorization->text(0, 1), "");
    EXPECT_EQ(win->lvAllAuthorization->text(3, 1), "");
    EXPECT_EQ(win->lvAllAuthorization->text(2, 1), "Line 3");

    // No ends the command; the last row gets an OK box.
    prompt.messages.clear();
    prompt.answers = {Prompt::No};
    select({2, 4});
    win->acClearAuthorizationSet->trigger();
    EXPECT_EQ(prompt.messages.size(), 1);
    EXPECT_EQ(win->lvAllAuthorization->text(4, 1), "Gateway");

    // Reset all with the last row running: its box has no question.
    win->acStopAll->trigger();
    startRows({4});
    prompt.messages.clear();
    win->acAuthorizatedResetAll->trigger();
    EXPECT_EQ(prompt.messages, QStringList{QStringLiteral("Channel 5 channel is running，please first stop.")});
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(win->lvAllAuthorization->text(r, 1), "") << r;
        EXPECT_EQ(state(r), "") << r;
    }
    EXPECT_EQ(state(4), "Wait For Call");
}

TEST_F(ChannelWindow, AutoStartAndClosingTheWindow)
{
    for (int i : {1, 2, 4})
        ASSERT_TRUE(store->writeInteger(channelKeyPath(QStringLiteral("Channel %1").arg(i)), "AutoStart", 1));
    open();
    // Channel 4's flow file is missing: it stays stopped, with no box; its row says why.
    EXPECT_EQ(state(0), "Wait For Call");
    EXPECT_EQ(state(1), "Wait For Call");
    EXPECT_EQ(state(2), "");
    EXPECT_EQ(state(3), dir.filePath("lost.svx") + ", FlowFile is not existent.");
    EXPECT_TRUE(prompt.messages.isEmpty());
    // A reason longer than the State column is shown whole: its tip, and a column that holds it.
    win->show();
    QTreeView* view = win->lvAllAuthorization->reportView();
    const QModelIndex cell = view->model()->index(3, 3);
    EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), state(3));
    EXPECT_GE(view->columnWidth(3), view->fontMetrics().horizontalAdvance(state(3)));
    win->close();
    EXPECT_FALSE(sup().isRunning(0));
    EXPECT_FALSE(sup().isRunning(1));
    EXPECT_EQ(device->count("CloseChannel"), 2);
}

TEST_F(ChannelWindow, ChineseStates)
{
    setTextLanguage(true);
    setAdminTextLanguage(true);
    initProductTexts();
    open();
    startRows({0});
    EXPECT_EQ(state(0), QStringLiteral("等候呼叫"));
    win->acStop->trigger();
    EXPECT_EQ(state(0), QStringLiteral("停止"));
    setTextLanguage(false);
    setAdminTextLanguage(false);
    initProductTexts();
}

}  // namespace
