#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

#include "dialogfixture.h"
#include "ui/help.h"
#include "editor/dialogs/linedialogs.h"
#include "engine/statements/line.h"
#include "engine/statements/variables.h"

namespace {

using LineDialogTest = DialogTest;

// Types into a spin box as the user does: the old text selected, then the keys.
void typeInto(QSpinBox* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
}

// ---- typed constants of the call, gateway and send dialogs ----

enum class Field { CallNumber, GatewayNumber, GatewayMaxLength, GatewayAnother, SendDigits };

struct TypedCase {
    Field field;
    const char* typed;
    const char* stored;   // the field's link as the flow file writes it; nullptr = refused
    const char* message;  // refusal: the start of its text
    const char* caption;  // refusal: the message box caption
};

const char* const kQuote = "If it is String, it must be quoted by double quotation marks(\").";
const char* const kNumber = "Number format error, error content: \r\n";

TEST_F(LineDialogTest, TypedValuesAreStoredOrRefusedNamingTheField)
{
    const TypedCase cases[] = {
        {Field::CallNumber, "8001", "8001", nullptr, nullptr},
        {Field::CallNumber, "\"8001\"", "\"8001\"", nullptr, nullptr},
        {Field::CallNumber, "", "", nullptr, nullptr},
        {Field::CallNumber, "abc", nullptr, kQuote, "Error : Called No"},
        {Field::CallNumber, "12abc", nullptr, kNumber, "Error : Called No"},
        {Field::GatewayNumber, "\"8001\"", "\"8001\"", nullptr, nullptr},
        {Field::GatewayNumber, "abc", nullptr, kQuote, "Error : Called No"},
        {Field::GatewayMaxLength, "60", "60", nullptr, nullptr},
        {Field::GatewayMaxLength, "-1", "-1", nullptr, nullptr},  // caught when the statement runs
        {Field::GatewayMaxLength, "", "", nullptr, nullptr},
        {Field::GatewayMaxLength, "sixty", nullptr, kQuote, "Error : MaxLength"},
        {Field::GatewayMaxLength, "1e5", nullptr, kNumber, "Error : MaxLength"},
        {Field::GatewayAnother, "\"gw2\"", "\"gw2\"", nullptr, nullptr},
        {Field::GatewayAnother, "gw2", nullptr, kQuote, "Error : Another Gateway"},
        {Field::SendDigits, "\"12#\"", "\"12#\"", nullptr, nullptr},
        {Field::SendDigits, "123", "123", nullptr, nullptr},
        {Field::SendDigits, "12#", nullptr, kNumber, "Error : Send DTMF"},
        {Field::SendDigits, "#12", nullptr, kQuote, "Error : Send DTMF"},
    };
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.field) << " typed " << c.typed);
        prompt.messages.clear();
        prompt.captions.clear();
        TIVRBase* statement = nullptr;
        TIVRVariantLink* link = nullptr;
        bool refusedFocus = false;
        auto confirm = [&](TStatementDlg& d, TVariantCombo* box) {
            user::type(box, c.typed);
            d.btnOk->click();
            if (d.isVisible()) {
                refusedFocus = user::focused(&d, box);
                d.btnCancel->click();
            }
        };
        switch (c.field) {
        case Field::CallNumber: {
            auto* s = addToBegin<IVRCall>();
            statement = s;
            link = &s->link;
            driver.then<TfrmCall>([&](TfrmCall& d) { confirm(d, d.cmbVariant); });
            break;
        }
        case Field::SendDigits: {
            auto* s = addToBegin<IVRSendDTMF>();
            statement = s;
            link = &s->link;
            driver.then<TfrmPutDTMF>([&](TfrmPutDTMF& d) { confirm(d, d.cmbVariant); });
            break;
        }
        default: {
            auto* s = addToBegin<IVRGateway>();
            statement = s;
            link = c.field == Field::GatewayNumber      ? &s->link
                   : c.field == Field::GatewayMaxLength ? &s->MaxLength
                                                        : &s->ThroughAnotherGateway;
            driver.then<TfrmGateway>([&](TfrmGateway& d) {
                EXPECT_TRUE(dynamic_cast<TfrmGateway*>(&d));
                if (c.field == Field::GatewayNumber) return confirm(d, d.cmbVariant);
                if (c.field == Field::GatewayMaxLength) return confirm(d, d.cmbMaxLength);
                EXPECT_TRUE(d.chkAnotherGateway->isChecked());  // it shows the constant 7
                if (!d.chkAnotherGateway->isChecked()) d.chkAnotherGateway->click();
                confirm(d, d.cmbAnotherGateway);
            });
        }
        }
        link->constant = Value(7);
        const bool confirmed = statement->Edit();
        if (c.stored) {
            EXPECT_TRUE(confirmed);
            EXPECT_TRUE(prompt.messages.isEmpty()) << prompt.messages.join('|').toStdString();
            EXPECT_EQ(link->GetValueText(), c.stored);
            EXPECT_EQ(link->variable(), nullptr);
        } else {
            EXPECT_FALSE(confirmed);
            ASSERT_EQ(prompt.messages.size(), 1);
            EXPECT_TRUE(prompt.messages[0].startsWith(c.message)) << prompt.messages[0].toStdString();
            EXPECT_EQ(prompt.captions[0], c.caption);
            EXPECT_TRUE(refusedFocus);
            EXPECT_EQ(link->constant, Value(7));  // unchanged
        }
    }
}

TEST_F(LineDialogTest, CallDialogFillsAndWritesEveryProperty)
{
    IVRVariant* phone = variable("Phone");
    auto* s = addToBegin<IVRCall>();
    s->link.LinkTo(phone);
    s->CalledType = ctDomainName;
    s->TimeOut = 45;
    s->Note = "n";
    driver.then<TfrmCall>([&](TfrmCall& d) {
        EXPECT_EQ(d.windowTitle(), "Call");
        EXPECT_EQ(d.cmbVariant->currentText(), "Phone");
        EXPECT_EQ(d.cmbCalledType->count(), 3);
        EXPECT_EQ(d.cmbCalledType->currentText(), "Domain Name");
        EXPECT_EQ(d.updownTimeOut->value(), 45);
        EXPECT_EQ(d.updownTimeOut->maximum(), 32767);
        EXPECT_EQ(d.lblSecond->text(), "(Sec)");
        EXPECT_EQ(d.lblCalledNo->text(), "C&alled No: ");
        EXPECT_EQ(d.lblCalledNo->buddy(), d.cmbVariant);
        EXPECT_EQ(d.lblCalledType->buddy(), nullptr);
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        user::choose(d.cmbCalledType, 2);
        typeInto(d.updownTimeOut, "0");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), phone);
    EXPECT_EQ(s->CalledType, ctIPAddress);
    EXPECT_EQ(s->TimeOut, 0);
    EXPECT_EQ(s->GetNodeText(), "Call : Phone IP Address Persist {n} ");
}

TEST_F(LineDialogTest, GatewayLabelsKeepTheirAcceleratorsOnTheirFields)
{
    auto* s = addToBegin<IVRGateway>();
    driver.then<TfrmGateway>([&](TfrmGateway& d) {
        EXPECT_EQ(d.lblMaxLength->text(), "&MaxLength: ");
        EXPECT_EQ(d.lblMaxLength->buddy(), d.cmbMaxLength);
        EXPECT_EQ(d.lblAnotherGateway->text(), "Another &Gateway: ");
        EXPECT_EQ(d.lblAnotherGateway->buddy(), d.cmbAnotherGateway);
        // The called type stays without a key of its own.
        EXPECT_EQ(d.lblCalledType->buddy(), nullptr);
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
}

TEST_F(LineDialogTest, GatewayOtherGatewayFollowsItsCheckBox)
{
    auto* s = addToBegin<IVRGateway>();
    driver.then<TfrmGateway>([&](TfrmGateway& d) {
        EXPECT_FALSE(d.chkAnotherGateway->isChecked());
        EXPECT_FALSE(d.cmbAnotherGateway->isEnabled());
        EXPECT_FALSE(d.lblAnotherGateway->isEnabled());
        EXPECT_EQ(d.lblCalledType->text(), "Called Type: ");
        d.chkAnotherGateway->click();
        EXPECT_TRUE(d.cmbAnotherGateway->isEnabled());
        EXPECT_EQ(d.lblCalledType->text(), "Gateway Type: ");
        user::type(d.cmbAnotherGateway, "\"10.0.0.2\"");
        user::type(d.cmbMaxLength, "600");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->ThroughAnotherGateway.constant, Value("10.0.0.2"));
    EXPECT_EQ(s->MaxLength.constant, Value(600));

    // Shown checked again; unchecked and confirmed, the other gateway is emptied although the
    // field still shows text, and its text is not checked any more.
    driver.then<TfrmGateway>([&](TfrmGateway& d) {
        EXPECT_TRUE(d.chkAnotherGateway->isChecked());
        EXPECT_TRUE(d.cmbAnotherGateway->isEnabled());
        EXPECT_EQ(d.lblCalledType->text(), "Gateway Type: ");
        EXPECT_EQ(d.cmbAnotherGateway->currentText(), "\"10.0.0.2\"");
        user::type(d.cmbAnotherGateway, "not quoted");
        d.chkAnotherGateway->click();
        EXPECT_EQ(d.lblCalledType->text(), "Called Type: ");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_TRUE(prompt.messages.isEmpty());
    EXPECT_TRUE(s->ThroughAnotherGateway.constant.isEmpty());
    EXPECT_EQ(s->ThroughAnotherGateway.variable(), nullptr);
    EXPECT_EQ(s->MaxLength.constant, Value(600));
}

TEST_F(LineDialogTest, RingListsLinkOnlyPickedVariables)
{
    IVRVariant* caller = variable("Caller");
    auto* s = addToBegin<IVRRing>();
    s->link.constant = Value("x");  // a constant cannot be shown in a list
    s->SaveCalled.LinkTo(caller);
    driver.then<TfrmRing>([&](TfrmRing& d) {
        EXPECT_FALSE(d.cmbVariant->isEditable());
        EXPECT_EQ(d.cmbVariant->currentIndex(), -1);
        EXPECT_EQ(d.cmbCalledID->currentText(), "Caller");
        EXPECT_EQ(d.updownRingNumber->value(), 1);
        typeInto(d.updownRingNumber, "3");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), nullptr);
    EXPECT_EQ(s->SaveCalled.variable(), caller);
    EXPECT_EQ(s->Times, 3);

    driver.then<TfrmRing>([&](TfrmRing& d) {
        user::choose(d.cmbVariant, "Caller");
        d.cmbCalledID->setCurrentIndex(-1);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), caller);
    EXPECT_EQ(s->SaveCalled.variable(), nullptr);
}

TEST_F(LineDialogTest, SpeakerPhoneModesAndTheirFocus)
{
    auto* s = addToBegin<IVRSpeakerPhone>();
    const std::pair<THookSwitchMode, int> modes[] = {{hsmOnHook, 0}, {hsmSpeaker, 1}, {hsmMicSpeaker, 2}};
    for (const auto& [mode, button] : modes) {
        s->HookSwitchMode = hsmMicSpeaker;
        driver.then<TfrmSpeakerPhone>([&](TfrmSpeakerPhone& d) {
            EXPECT_TRUE(d.radMicSpeaker->isChecked());
            EXPECT_TRUE(user::focused(&d, d.radMicSpeaker));
            QRadioButton* r[] = {d.radOnHook, d.radSpeaker, d.radMicSpeaker};
            r[button]->click();
            d.btnOk->click();
        });
        ASSERT_TRUE(s->Edit());
        EXPECT_EQ(s->HookSwitchMode, mode);
    }
    s->HookSwitchMode = hsmSpeaker;  // Cancel keeps the mode, whatever was clicked
    driver.then<TfrmSpeakerPhone>([&](TfrmSpeakerPhone& d) {
        EXPECT_TRUE(d.radSpeaker->isChecked());
        EXPECT_EQ(d.grpMode->title(), "Mode");
        d.radOnHook->click();
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(s->HookSwitchMode, hsmSpeaker);
}

// ---- receive DTMF ----

TEST_F(LineDialogTest, GetDtmfOpensWithTheStatementsValues)
{
    IVRVariant* digits = variable("Digits");
    auto* s = addToBegin<IVRReceiveDTMF>();
    s->link.LinkTo(digits);
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_EQ(d.cmbVariant->currentText(), "Digits");
        EXPECT_EQ(d.updownMaxLength->value(), 1);
        EXPECT_FALSE(d.ckbEndChar->isChecked());
        EXPECT_EQ(d.cmbEndChar->currentText(), "*");
        EXPECT_FALSE(d.cmbEndChar->isEnabled());
        // No time-out: unchecked, 3 and 2 shown, the first-add box off with it.
        EXPECT_FALSE(d.ckbTimeOut->isChecked());
        EXPECT_EQ(d.updownTimeOut->value(), 3);
        EXPECT_FALSE(d.updownTimeOut->isEnabled());
        EXPECT_FALSE(d.ckbTimeOutFirstAdd->isEnabled());
        EXPECT_EQ(d.updownTimeOutFirstAdd->value(), 2);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->TimeOut, 0);
    EXPECT_EQ(s->TimeOutFirstAdd, 0);
    EXPECT_TRUE(s->EndDTMF.isNull());

    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        d.ckbTimeOut->click();
        EXPECT_TRUE(d.updownTimeOut->isEnabled());
        EXPECT_TRUE(d.ckbTimeOutFirstAdd->isEnabled());
        EXPECT_FALSE(d.updownTimeOutFirstAdd->isEnabled());
        d.ckbTimeOutFirstAdd->click();
        EXPECT_TRUE(d.updownTimeOutFirstAdd->isEnabled());
        typeInto(d.updownTimeOut, "10");
        d.ckbEndChar->click();
        user::choose(d.cmbEndChar, "#");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->TimeOut, 10);
    EXPECT_EQ(s->TimeOutFirstAdd, 2);
    EXPECT_EQ(s->EndDTMF, QChar('#'));

    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_TRUE(d.ckbEndChar->isChecked());
        EXPECT_EQ(d.cmbEndChar->currentText(), "#");
        EXPECT_TRUE(d.ckbTimeOut->isChecked());
        EXPECT_EQ(d.updownTimeOut->value(), 10);
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
}

// Every way to a max length of 0 ends with an end digit, so the statement can run.
TEST_F(LineDialogTest, GetDtmfNeverStoresZeroLengthWithoutEndDigit)
{
    IVRVariant* digits = variable("Digits");
    struct Way {
        const char* name;
        std::function<void(TfrmIVRGetDTMF&)> act;
    };
    const Way ways[] = {
        {"typed", [](TfrmIVRGetDTMF& d) { typeInto(d.updownMaxLength, "0"); }},
        {"stepped", [](TfrmIVRGetDTMF& d) { d.updownMaxLength->stepDown(); }},
        {"typed over a longer one", [](TfrmIVRGetDTMF& d) {
             typeInto(d.updownMaxLength, "12");
             typeInto(d.updownMaxLength, "0");
         }},
        {"past the signals", [](TfrmIVRGetDTMF& d) {
             const QSignalBlocker block(d.updownMaxLength);
             d.updownMaxLength->setValue(0);
         }},
        {"typed, not yet taken", [](TfrmIVRGetDTMF& d) {
             d.updownMaxLength->setKeyboardTracking(false);
             typeInto(d.updownMaxLength, "0");
             d.updownMaxLength->setKeyboardTracking(true);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        auto* s = addToBegin<IVRReceiveDTMF>();
        s->link.LinkTo(digits);
        bool checkedAtOnce = false;
        driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
            ASSERT_FALSE(d.ckbEndChar->isChecked());
            way.act(d);
            checkedAtOnce = d.ckbEndChar->isChecked();
            d.btnOk->click();
            EXPECT_FALSE(d.isVisible());
        });
        ASSERT_TRUE(s->Edit());
        EXPECT_EQ(s->MaxLength, 0);
        EXPECT_EQ(s->EndDTMF, QChar('*'));
        // The user sees the rule at once where the spin box reports the change.
        const std::string name = way.name;
        if (name == "typed" || name == "stepped" || name == "typed over a longer one") {
            EXPECT_TRUE(checkedAtOnce);
        }
    }
}

TEST_F(LineDialogTest, GetDtmfEndDigitAndMaxLengthKeepEachOther)
{
    auto* s = addToBegin<IVRReceiveDTMF>();
    s->MaxLength = 0;
    s->EndDTMF = QChar('5');
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_TRUE(d.ckbEndChar->isChecked());
        EXPECT_EQ(d.cmbEndChar->currentText(), "5");
        // Unchecking the end digit at a max length of 0 gives a max length of 1.
        d.ckbEndChar->click();
        EXPECT_FALSE(d.cmbEndChar->isEnabled());
        EXPECT_EQ(d.updownMaxLength->value(), 1);
        // Back to 0: the end digit is checked again and "*" selected.
        d.updownMaxLength->stepDown();
        EXPECT_TRUE(d.ckbEndChar->isChecked());
        EXPECT_TRUE(d.cmbEndChar->isEnabled());
        EXPECT_EQ(d.cmbEndChar->currentText(), "*");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->MaxLength, 0);
    EXPECT_EQ(s->EndDTMF, QChar('*'));
}

TEST_F(LineDialogTest, GetDtmfLoadedZeroLengthWithoutEndDigitOpensMended)
{
    // As a flow file can hold it; cancelled, the statement stays as it was.
    auto* s = addToBegin<IVRReceiveDTMF>();
    s->MaxLength = 0;
    s->EndDTMF = QChar();
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_EQ(d.updownMaxLength->value(), 0);
        EXPECT_TRUE(d.ckbEndChar->isChecked());
        EXPECT_EQ(d.cmbEndChar->currentText(), "*");
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_TRUE(s->EndDTMF.isNull());

    // An end character the list does not offer is replaced the same way.
    s->EndDTMF = QChar('A');
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) { d.btnOk->click(); });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->MaxLength, 0);
    EXPECT_EQ(s->EndDTMF, QChar('*'));
    EXPECT_EQ(s->GetNodeText(), "ReceiveDTMF : NoVariant Persist '*'");
}

TEST_F(LineDialogTest, GetDtmfPanelClickRestoresTheCaptions)
{
    auto* s = addToBegin<IVRReceiveDTMF>();
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_EQ(d.ckbEndChar->text(), "&End Char: ");
        EXPECT_EQ(d.ckbTimeOut->text(), "&Time Out: ");
        EXPECT_EQ(d.ckbTimeOutFirstAdd->text(), "&First Add: ");
        EXPECT_EQ(d.lblMaxLength->text(), "&MaxLength: ");
        EXPECT_EQ(d.lblMaxLength->buddy(), d.updownMaxLength);
        d.ckbTimeOut->setText("x");
        QTest::mouseClick(d.pnlContent, Qt::LeftButton, {}, QPoint(1, 1));
        EXPECT_EQ(d.ckbTimeOut->text(), "&Time Out: ");
        // Content first: list, note, max length, then each box before its field.
        const auto order = user::tabOrder(d.cmbVariant, 13);
        EXPECT_EQ(order, (std::vector<QWidget*>{d.cmbVariant, d.edtNote, d.updownMaxLength, d.ckbEndChar,
                                                d.cmbEndChar, d.ckbTimeOut, d.updownTimeOut, d.ckbTimeOutFirstAdd,
                                                d.updownTimeOutFirstAdd, d.btnOk, d.btnCancel, d.btnHelp,
                                                d.cmbVariant}));
    });
    EXPECT_FALSE(s->Edit());
}

// ---- help ----

TEST_F(LineDialogTest, EachDialogOpensItsHelpPage)
{
    qputenv("SORVIX_HELP_DIR", SORVIX_BINARY_DIR "/src/apps/help");
    struct Topic {
        TIVRBase* statement;
        const char* path;
    };
    const Topic topics[] = {
        {addToBegin<IVRRing>(), "/TelephoneOperate/IVRRing.htm"},
        {addToBegin<IVRCall>(), "/TelephoneOperate/IVRCall.htm"},
        {addToBegin<IVRGateway>(), "/TelephoneOperate/IVRGateway.htm"},
        {addToBegin<IVRSendDTMF>(), "/TelephoneOperate/IVRSend.htm"},
        {addToBegin<IVRReceiveDTMF>(), "/TelephoneOperate/IVRGain.htm"},
        {addToBegin<IVRSpeakerPhone>(), "/TelephoneOperate/IVRSpeakerPhone.htm"},
    };
    for (const Topic& t : topics) {
        SCOPED_TRACE(t.path);
        prompt.urls.clear();
        driver.then<TStatementDlg>([&](TStatementDlg& d) {
            EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + t.path);
            ASSERT_NE(d.btnHelp, nullptr);
            d.btnHelp->click();
            EXPECT_TRUE(d.isVisible());
        });
        EXPECT_FALSE(t.statement->Edit());
        ASSERT_EQ(prompt.urls.size(), 1);
        const QString page = QUrl(prompt.urls[0]).toLocalFile();
        EXPECT_TRUE(page.endsWith(QLatin1String(t.path))) << page.toStdString();
        EXPECT_TRUE(QFileInfo(page).isFile()) << page.toStdString();
    }
    qunsetenv("SORVIX_HELP_DIR");
    EXPECT_EQ(prompt.beeps, 0);
    EXPECT_FALSE(addToBegin<IVRAnswer>()->Edit());
}

TEST_F(LineDialogTest, ReadOnlyWhileTheFlowRuns)
{
    auto* stop = addToBegin<IVROperator>();
    auto* s = addToBegin<IVRReceiveDTMF>();
    s->MaxLength = 4;
    ASSERT_TRUE(runUntilPausedAt(stop));
    driver.then<TfrmIVRGetDTMF>([&](TfrmIVRGetDTMF& d) {
        EXPECT_EQ(d.windowTitle(), "ReceiveDTMF [Running - ReadOnly]");
        EXPECT_FALSE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.btnCancel));
        d.updownMaxLength->setValue(9);
        d.btnOkClick();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(s->MaxLength, 4);
}

}  // namespace

TEST(UnboundLabels, ShowTheirCaptionWithoutAnAccelerator)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Gateway T&ype: ", "Gateway Type: "},
        {"&MaxLength: ", "MaxLength: "},
        {"网关类型(&Y)：", "网关类型："},
        {"Tom && Jerry: ", "Tom & Jerry: "},
        {"Plain: ", "Plain: "},
    };
    for (const auto& [caption, shown] : rows)
        EXPECT_EQ(TStatementDlg::withoutAccelerator(QString::fromUtf8(caption)), QString::fromUtf8(shown)) << caption;
}
