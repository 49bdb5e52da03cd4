#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "support/listingdevice.h"
#include "ui/authorizated.h"
#include "ui/sorvixform.h"
#include "engine/device.h"
#include "engine/texts.h"
#include "fakeprompt.h"
#include "fakewavedevices.h"
#include "platform/registry.h"

namespace {

// Four lines, the third the device's gateway.
struct FourLineDevice : ListingDevice {
    FourLineDevice()
    {
        names = {"Line 1", "Line 2", "Gateway", "Line 4"};
        gateway = 2;
    }
};

constexpr int kServerGateway = 2;

// Runs ExecuteOptions without a modal loop: the dialog is shown, the test acts on it, and the
// result is what its buttons decided.
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

TChannelOptions record(int32_t address, bool gateway = false, int32_t gatewayIndex = -1, int32_t play = 0,
                       int32_t rec = 0, uint8_t hook = 0, int32_t dtmf = 0)
{
    TChannelOptions o;
    o.Address = address;
    o.UseGateway = gateway;
    o.Gateway = gatewayIndex;
    o.ModemPlay = play;
    o.ModemRecord = rec;
    o.HookSwitchMode = hook;
    o.TransmitDTMF = dtmf;
    return o;
}

struct AuthorizatedTest : ::testing::Test {
    FourLineDevice device;
    FakeWaveDevices waves{{"Speakers"}, {"Microphone"}};
    FakePrompt prompt;
    DrivenDialog dlg{&device, waves};

    void SetUp() override { initProductTexts(); }

    // Shows the record and leaves the dialog open for the test.
    void open(const TChannelOptions& o)
    {
        TChannelOptions copy = o;
        dlg.user = [](DrivenDialog& d) { d.hide(); };
        dlg.ExecuteOptions(copy);
        dlg.user = nullptr;
        dlg.show();
    }
    // A user's choice in a combo box.
    static void choose(QComboBox* combo, int index)
    {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
};

TEST_F(AuthorizatedTest, ControlsCaptionsListsAndTabOrder)
{
    EXPECT_EQ(dlg.windowTitle(), "Debug Option");
    EXPECT_EQ(dlg.lblChannelAddress->text(), "Channel &Address: ");
    EXPECT_EQ(dlg.lblChannelAddress->buddy(), dlg.cmbAddress);
    EXPECT_EQ(dlg.chkGateway->text(), "Using &Gateway");
    EXPECT_EQ(dlg.chkAutoStart->text(), "A&uto start when program execute");
    EXPECT_EQ(dlg.grpGateway->title(), "Gateway");
    EXPECT_EQ(dlg.lblGateway->text(), "A&ddress");
    EXPECT_EQ(dlg.lblModemPlay->text(), "&Play");
    EXPECT_EQ(dlg.lblModemRecord->text(), "&Record");
    EXPECT_EQ(dlg.grpSpeakerPhone->title(), "SpeakerPhone");
    EXPECT_EQ(dlg.radOnHook->text(), "No&Hook");
    EXPECT_EQ(dlg.radSpeaker->text(), "&Speaker");
    EXPECT_EQ(dlg.radMicSpeaker->text(), "&MicSpeaker");
    EXPECT_EQ(dlg.chkTransmitDTMF->text(), "&Transmit DTMF");
    EXPECT_EQ(dlg.btnOK->text(), "&Ok");
    EXPECT_TRUE(dlg.btnOK->isDefault());
    EXPECT_EQ(dlg.btnCancel->text(), "&Cancel");
    EXPECT_EQ(dlg.btnHelp->text(), "&Help");
    EXPECT_TRUE(dlg.radOnHook->isChecked());
    EXPECT_EQ(dlg.GatewayAddressIndex, kServerGateway);
    EXPECT_EQ(dlg.cmbAddress->width(), 200);

    auto items = [](QComboBox* c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
        return l;
    };
    EXPECT_EQ(items(dlg.cmbAddress), device.names);
    EXPECT_EQ(items(dlg.cmbGateway), device.names);
    EXPECT_EQ(items(dlg.cmbModemPlay), QStringList({"Default Line Play", "Speakers"}));
    EXPECT_EQ(items(dlg.cmbModemRecord), QStringList({"Default Line Record", "Microphone"}));
    EXPECT_FALSE(dlg.cmbAddress->isEditable());

    const std::vector<QWidget*> order = {dlg.cmbAddress,   dlg.cmbGateway, dlg.cmbModemPlay, dlg.cmbModemRecord,
                                         dlg.radOnHook,    dlg.radSpeaker, dlg.radMicSpeaker, dlg.chkTransmitDTMF,
                                         dlg.btnOK,        dlg.btnCancel,  dlg.btnHelp,       dlg.chkGateway,
                                         dlg.chkAutoStart};
    std::vector<QWidget*> chain;
    QWidget* w = dlg.cmbAddress;
    do {
        if (std::find(order.begin(), order.end(), w) != order.end()) chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != dlg.cmbAddress);
    EXPECT_EQ(chain, order);
}

TEST_F(AuthorizatedTest, CaptionsInChinese)
{
    setTextLanguage(true);
    DrivenDialog zh(&device, waves);
    setTextLanguage(false);
    EXPECT_EQ(zh.windowTitle(), "调试选项");
    EXPECT_EQ(zh.cmbModemPlay->itemText(0), "缺省线路放音");
    EXPECT_EQ(zh.radOnHook->text(), "不摘机(&H)");
}

TEST_F(AuthorizatedTest, GatewayOffDisablesTheGatewayControls)
{
    open(record(1));
    for (QWidget* w : {static_cast<QWidget*>(dlg.grpGateway), static_cast<QWidget*>(dlg.cmbGateway),
                       static_cast<QWidget*>(dlg.cmbModemPlay), static_cast<QWidget*>(dlg.radSpeaker),
                       static_cast<QWidget*>(dlg.chkTransmitDTMF)})
        EXPECT_FALSE(w->isEnabled()) << qPrintable(w->metaObject()->className());
    dlg.chkGateway->click();
    EXPECT_TRUE(dlg.grpGateway->isEnabled());
    EXPECT_TRUE(dlg.cmbModemRecord->isEnabled());
    EXPECT_TRUE(dlg.radMicSpeaker->isEnabled());
    dlg.chkGateway->click();
    EXPECT_FALSE(dlg.cmbModemRecord->isEnabled());
}

TEST_F(AuthorizatedTest, OnlyTheServersGatewayAddressMayChooseItsGateway)
{
    open(record(0, true, 3));
    EXPECT_EQ(dlg.cmbGateway->currentIndex(), kServerGateway) << "the stored gateway is replaced on show";
    EXPECT_FALSE(dlg.cmbGateway->isEnabled());

    choose(dlg.cmbAddress, kServerGateway);
    EXPECT_TRUE(dlg.cmbGateway->isEnabled());
    choose(dlg.cmbGateway, 3);
    EXPECT_EQ(dlg.cmbGateway->currentIndex(), 3);

    choose(dlg.cmbAddress, 1);
    EXPECT_EQ(dlg.cmbGateway->currentIndex(), kServerGateway);
    EXPECT_FALSE(dlg.cmbGateway->isEnabled());
}

TEST_F(AuthorizatedTest, DigitsForwardOnlyThroughTheServersGatewayOrASoundDevice)
{
    open(record(kServerGateway, true, 0, 0, 0, 0, -1));
    EXPECT_FALSE(dlg.chkTransmitDTMF->isChecked()) << "cleared on show";
    EXPECT_FALSE(dlg.chkTransmitDTMF->isEnabled());

    choose(dlg.cmbModemPlay, 1);
    EXPECT_TRUE(dlg.chkTransmitDTMF->isEnabled());
    dlg.chkTransmitDTMF->click();
    choose(dlg.cmbModemPlay, 0);
    EXPECT_FALSE(dlg.chkTransmitDTMF->isChecked());
    EXPECT_FALSE(dlg.chkTransmitDTMF->isEnabled());

    choose(dlg.cmbGateway, kServerGateway);
    EXPECT_TRUE(dlg.chkTransmitDTMF->isEnabled());
    choose(dlg.cmbGateway, 3);
    EXPECT_FALSE(dlg.chkTransmitDTMF->isEnabled());

    // The address rule moves the gateway to the server's gateway address: digits may go again.
    choose(dlg.cmbAddress, 1);
    EXPECT_EQ(dlg.cmbGateway->currentIndex(), kServerGateway);
    EXPECT_TRUE(dlg.chkTransmitDTMF->isEnabled());
}

TEST_F(AuthorizatedTest, OkChecksInOrderWithTheirTextsAndFocus)
{
    std::vector<std::pair<int, int>> calls;
    QString answer;
    dlg.OnCheckAddress = [&](int address, int gateway, QString* error) {
        calls.emplace_back(address, gateway);
        EXPECT_TRUE(error->isEmpty());
        *error = answer;
    };
    struct Case {
        const char* name;
        TChannelOptions shown;
        QString callbackAnswer;
        QString message;
        QWidget* focus;
        int calledAddress;  // -2: the callback is not called
        int calledGateway;
    };
    const QString inUse = "Line 2  is running by another channel.";
    const std::vector<Case> cases = {
        {"no address, whatever else is wrong", record(-1, true, -1), "", "Please select Debug Address.",
         dlg.cmbAddress, -2, 0},
        {"gateway on without gateway", record(kServerGateway, true, -1), "", "Please select Gateway Address",
         dlg.cmbGateway, -2, 0},
        {"gateway equal to address, even the server's", record(kServerGateway, true, kServerGateway), "",
         "Gateway Address can't be same as Channel Address", dlg.cmbGateway, -2, 0},
        {"the callback's text verbatim", record(1), inUse, inUse, nullptr, 1, -1},
        {"gateway passed when on", record(1, true, kServerGateway), inUse, inUse, nullptr, 1, kServerGateway},
        {"accepted", record(1, true, kServerGateway), "", "", nullptr, 1, kServerGateway},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        prompt.messages.clear();
        prompt.captions.clear();
        answer = c.callbackAnswer;
        open(c.shown);
        dlg.setResult(QDialog::Rejected);
        dlg.btnOK->setFocus();
        dlg.btnOKClick();
        if (c.message.isEmpty()) {
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_FALSE(dlg.isVisible());
            EXPECT_TRUE(prompt.messages.isEmpty());
        } else {
            EXPECT_EQ(dlg.result(), QDialog::Rejected);
            EXPECT_TRUE(dlg.isVisible());
            EXPECT_EQ(prompt.messages, QStringList{c.message});
            EXPECT_EQ(prompt.captions, QStringList{ProductTitle});
            EXPECT_EQ(dlg.focusWidget(), c.focus ? c.focus : dlg.btnOK);
        }
        if (c.calledAddress == -2) {
            EXPECT_TRUE(calls.empty());
        } else {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].first, c.calledAddress);
            EXPECT_EQ(calls[0].second, c.calledGateway);
        }
        dlg.hide();
    }
}

TEST_F(AuthorizatedTest, NoCallbackAndNoAddressesLeaveTheThreeChecks)
{
    FourLineDevice empty;
    empty.names.clear();
    empty.gateway = -1;
    DrivenDialog none(&empty, waves);
    EXPECT_EQ(none.cmbAddress->count(), 0);
    TChannelOptions o = record(0);
    none.user = [](DrivenDialog& d) { d.btnOKClick(); };
    EXPECT_EQ(none.ExecuteOptions(o), QDialog::Rejected);
    EXPECT_EQ(prompt.messages, QStringList{"Please select Debug Address."});
}

TEST_F(AuthorizatedTest, ExecuteOptionsWritesBackOnOkOnly)
{
    TChannelOptions o = record(1, true, kServerGateway, 1, 1, 1, -1);
    o.AutoStart = true;
    const TChannelOptions before = o;

    dlg.user = [](DrivenDialog& d) {
        d.chkGateway->click();  // off
        d.btnCancel->click();
    };
    EXPECT_EQ(dlg.ExecuteOptions(o), QDialog::Rejected);
    EXPECT_EQ(o, before);

    dlg.user = [](DrivenDialog& d) { d.btnOKClick(); };
    EXPECT_EQ(dlg.ExecuteOptions(o), QDialog::Accepted);
    EXPECT_EQ(o, before);
    EXPECT_TRUE(dlg.radSpeaker->isChecked());

    // The shown record, not what the dialog held before.
    dlg.user = [](DrivenDialog& d) {
        choose(d.cmbModemRecord, 0);
        d.radMicSpeaker->click();
        d.chkAutoStart->click();
        d.btnOKClick();
    };
    ASSERT_EQ(dlg.ExecuteOptions(o), QDialog::Accepted);
    TChannelOptions changed = before;
    changed.ModemRecord = 0;
    changed.HookSwitchMode = 2;
    changed.AutoStart = false;
    EXPECT_EQ(o, changed);

    dlg.user = [](DrivenDialog& d) {
        d.chkGateway->click();
        d.btnOKClick();
    };
    ASSERT_EQ(dlg.ExecuteOptions(o), QDialog::Accepted);
    EXPECT_EQ(o, record(1));
}

TEST_F(AuthorizatedTest, HookModeOutsideTheEnumerationShowsNoHook)
{
    TChannelOptions o = record(kServerGateway, true, 0, 0, 0, 3);
    dlg.radMicSpeaker->setChecked(true);
    dlg.user = [](DrivenDialog& d) {
        EXPECT_TRUE(d.radOnHook->isChecked());
        d.btnOKClick();
    };
    ASSERT_EQ(dlg.ExecuteOptions(o), QDialog::Accepted);
    EXPECT_EQ(o.HookSwitchMode, 0);
}

TEST_F(AuthorizatedTest, RunningChannelIsReadOnly)
{
    dlg.SetCaption("Channel 1", true);
    EXPECT_EQ(dlg.windowTitle(), "Channel 1 [Running - ReadOnly]");
    EXPECT_FALSE(dlg.btnOK->isEnabled());
    TChannelOptions o = record(1);
    const TChannelOptions before = o;
    dlg.user = [](DrivenDialog& d) {
        // The whole caption fits the title bar, in either language.
        EXPECT_GE(d.width(), titleBarWidth(d.windowTitle()));
        choose(d.cmbAddress, 3);
        d.btnOKClick();
        EXPECT_TRUE(d.isVisible());
        d.btnCancel->click();
    };
    EXPECT_EQ(dlg.ExecuteOptions(o), QDialog::Rejected);
    EXPECT_EQ(o, before);

    dlg.SetCaption(txt::OptionCaption, false);
    EXPECT_EQ(dlg.windowTitle(), "Debug Option");
    EXPECT_TRUE(dlg.btnOK->isEnabled());
}

TEST_F(AuthorizatedTest, HiddenTopPanelShrinksTheDialog)
{
    dlg.show();
    const int tall = dlg.height();
    dlg.hide();
    dlg.pnlTop->hide();
    dlg.show();
    EXPECT_EQ(dlg.height(), tall - 15);
}

TEST_F(AuthorizatedTest, HelpOpensTheChannelPropertyTopic)
{
    QTemporaryDir dir;
    qputenv("SORVIX_HELP_DIR", dir.path().toUtf8());
    ASSERT_TRUE(QDir(dir.path()).mkpath("SorvixAdmin"));
    QFile page(dir.filePath("SorvixAdmin/ChannelProperty.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    dlg.btnHelp->click();
    qunsetenv("SORVIX_HELP_DIR");
    ASSERT_EQ(prompt.urls.size(), 1);
    EXPECT_EQ(prompt.urls[0], QUrl::fromLocalFile(page.fileName()).toString());
}

TEST_F(AuthorizatedTest, LoadAndSaveUseTheDialogsListsAndReportAFailedSave)
{
    QTemporaryDir dir;
    RegistryStore store(dir.filePath("registry.db"));
    const RegistryKey key(&store, productKeyPath());
    const TChannelOptions o = record(1, true, kServerGateway, 1, 0, 2, -1);
    ASSERT_TRUE(dlg.SaveOptions(key, o, false));
    QString name;
    ASSERT_EQ(key.readString("ModemPlay", &name), RegistryStore::Status::Ok);
    EXPECT_EQ(name, "Speakers");
    EXPECT_FALSE(key.valueExists("AutoStart"));
    TChannelOptions back;
    ASSERT_TRUE(dlg.LoadOptions(key, back));
    EXPECT_EQ(back, o);
    EXPECT_TRUE(prompt.messages.isEmpty());

    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.db")));
    RegistryStore broken(dir.filePath("folder.db"));
    EXPECT_FALSE(dlg.SaveOptions(RegistryKey(&broken, productKeyPath()), o, false));
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_TRUE(prompt.messages[0].startsWith("Save options error: Software\\Sorvix\r\n")) << qPrintable(prompt.messages[0]);
    EXPECT_EQ(prompt.captions, QStringList{ProductTitle});
    QString error;
    EXPECT_FALSE(dlg.LoadOptions(RegistryKey(&broken, productKeyPath()), back, &error));
    EXPECT_TRUE(error.startsWith("Load options error: "));
}

}  // namespace
