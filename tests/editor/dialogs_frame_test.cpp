#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "dialogfixture.h"
#include "editor/dialogs/flowcontroldialogs.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"

namespace {

using FrameTest = DialogTest;

TEST_F(FrameTest, RegistryInstallsTheHandlerAndCreatesEachDialogOnce)
{
    EXPECT_TRUE(statementDialogsInstalled());
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRIf::info));
    EXPECT_FALSE(EditRegistry::hasEdit(&IVRTrue::info));
    TfrmIVRProcess* dialog = frmIVRProcess;
    ASSERT_NE(dialog, nullptr);
    installStatementDialogs();  // a second call changes nothing
    EXPECT_EQ(frmIVRProcess.data(), dialog);

    auto* i = addToBegin<IVRIf>();
    auto* w = addToBegin<IVRWhile>();
    std::vector<TStatementDlg*> shown;
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) { shown.push_back(&d); });
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) { shown.push_back(&d); });
    EXPECT_FALSE(i->Edit());
    EXPECT_FALSE(w->Edit());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], dialog);
    EXPECT_EQ(shown[1], dialog);

    // Kinds without a dialog, and everything once the dialogs are gone, answer false unshown.
    auto* t = static_cast<TIVRBase*>(i->node()->firstChild()->statement());
    EXPECT_FALSE(t->Edit());
    uninstallStatementDialogs();
    EXPECT_TRUE(frmIVRProcess.isNull());
    EXPECT_FALSE(i->Edit());
    EXPECT_EQ(driver.runs, 2);
    installStatementDialogs();
}

TEST_F(FrameTest, DialogsGoWithTheirOwnerWindow)
{
    uninstallStatementDialogs();
    auto owner = std::make_unique<QWidget>();
    installStatementDialogs(owner.get());
    ASSERT_NE(frmIVRProcess, nullptr);
    EXPECT_EQ(frmIVRProcess->parentWidget(), owner.get());
    EXPECT_TRUE(frmIVRProcess->isWindow());
    owner.reset();
    EXPECT_TRUE(frmIVRProcess.isNull());
    EXPECT_FALSE(statementDialogsInstalled());
    auto* i = addToBegin<IVRIf>();
    EXPECT_FALSE(i->Edit());
    EXPECT_EQ(driver.runs, 0);
    installStatementDialogs();
}

TEST_F(FrameTest, ControlsCaptionsAcceleratorsAndTabOrder)
{
    TfrmIVRProcess& d = *frmIVRProcess;
    EXPECT_EQ(d.lblCondition->text(), "Con&dition: ");
    EXPECT_EQ(d.lblCondition->buddy(), d.cmbVariant);
    EXPECT_EQ(d.lblNote->text(), "&Note: ");
    EXPECT_EQ(d.lblNote->buddy(), d.edtNote);
    EXPECT_EQ(d.btnOk->text(), "&Ok");
    EXPECT_TRUE(d.btnOk->isDefault());
    EXPECT_EQ(d.btnCancel->text(), "&Cancel");
    ASSERT_NE(d.btnHelp, nullptr);
    EXPECT_EQ(d.btnHelp->text(), "&Help");
    EXPECT_TRUE(d.cmbVariant->isEditable());

    // Content first, then OK, Cancel, Help, and round again.
    const auto order = user::tabOrder(d.cmbVariant, 6);
    EXPECT_EQ(order, (std::vector<QWidget*>{d.cmbVariant, d.edtNote, d.btnOk, d.btnCancel, d.btnHelp, d.cmbVariant}));
}

// Typed condition text: what it stores, or the refusal it gets.
struct ConditionCase {
    const char* typed;
    const char* stored;   // the Condition property as the flow file writes it; nullptr = refused
    const char* message;  // the start of the refusal text
};

TEST_F(FrameTest, TypedConditionsAreStoredOrRefusedWithTheFieldsName)
{
    const ConditionCase cases[] = {
        {"\"abc\"", "\"abc\"", nullptr},
        {"  12 ", "12", nullptr},
        {"+5", "5", nullptr},
        {"1.5", "1.5", nullptr},
        {"", "", nullptr},
        {"\"\"", "\"\"", nullptr},
        {"abc", nullptr, "If it is String, it must be quoted by double quotation marks(\")."},
        {"1e5", nullptr, "Number format error, error content: \r\n"},
        {"12abc", nullptr, "Number format error, error content: \r\n"},
        {"\"abc", nullptr, "If it is String, it must be quoted by double quotation marks(\")."},
    };
    for (const ConditionCase& c : cases) {
        SCOPED_TRACE(c.typed);
        auto* s = addToBegin<IVRIf>();
        s->link.constant = Value(7);
        prompt.messages.clear();
        prompt.captions.clear();
        bool refusedFocus = false;
        driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
            EXPECT_EQ(d.cmbVariant->currentText(), "7");
            user::type(d.cmbVariant, c.typed);
            d.btnOk->click();
            if (d.isVisible()) {
                refusedFocus = user::focused(&d, d.cmbVariant);
                d.btnCancel->click();
            }
        });
        const bool confirmed = s->Edit();
        if (c.stored) {
            EXPECT_TRUE(confirmed);
            EXPECT_TRUE(prompt.messages.isEmpty());
            EXPECT_EQ(s->link.GetValueText(), c.stored);
            EXPECT_EQ(s->link.variable(), nullptr);
        } else {
            EXPECT_FALSE(confirmed);
            ASSERT_EQ(prompt.messages.size(), 1);
            EXPECT_TRUE(prompt.messages[0].startsWith(c.message)) << prompt.messages[0].toStdString();
            EXPECT_EQ(prompt.captions[0], "Error : Condition");
            EXPECT_TRUE(refusedFocus);
            EXPECT_EQ(s->link.constant, Value(7));  // unchanged
        }
    }
}

TEST_F(FrameTest, AVariableIsSelectedWhileTheTextEqualsItsName)
{
    IVRVariant* a = variable("a");
    IVRVariant* b = variable("b");
    auto* s = addToBegin<IVRSwitch>();
    s->link.LinkTo(a);

    // Shown selected; the list is the variables oldest first, the result variable first.
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        EXPECT_EQ(d.cmbVariant->count(), 3);
        EXPECT_EQ(d.cmbVariant->itemText(0), "Result");
        EXPECT_EQ(d.cmbVariant->currentText(), "a");
        EXPECT_EQ(d.cmbVariant->selectedIndex(), 1);
        user::type(d.cmbVariant, "b");  // typed, equal to an item: that variable
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), b);

    // Picked, then typed over: a constant, unlinked.
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        user::choose(d.cmbVariant, "a");
        user::type(d.cmbVariant, "\"a\"");
        EXPECT_FALSE(d.cmbVariant->hasSelection());
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), nullptr);
    EXPECT_EQ(s->link.constant, Value("a"));
    EXPECT_EQ(s->GetNodeText(), "Switch : \"a\"");
}

TEST_F(FrameTest, CancelAndTheNoteFollowTheCommonShape)
{
    auto* s = addToBegin<IVRWhile>();
    s->Note = "old";
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        EXPECT_EQ(d.windowTitle(), "While");
        EXPECT_EQ(d.edtNote->text(), "old");
        EXPECT_TRUE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        user::type(d.edtNote, "new");
        user::type(d.cmbVariant, "1");
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(s->Note, "old");
    EXPECT_TRUE(s->link.constant.isEmpty());

    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        user::type(d.edtNote, "new");
        user::type(d.cmbVariant, "1");
        d.btnOk->click();
    });
    EXPECT_TRUE(s->Edit());
    EXPECT_EQ(s->Note, "new");
    EXPECT_EQ(s->link.constant, Value(1));

    // A dialog left open by the user's actions counts as cancelled.
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) { user::type(d.edtNote, "other"); });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(s->Note, "new");
}

TEST_F(FrameTest, HelpShowsTheTopicOfTheStatementLastEdited)
{
    QTemporaryDir help;
    qputenv("SORVIX_HELP_DIR", help.path().toUtf8());
    const QString page = help.path() + "/StatementReference/FlowControl/IVRWhile.htm";
    QDir().mkpath(QFileInfo(page).path());
    QFile(page).open(QIODevice::WriteOnly);

    auto* i = addToBegin<IVRIf>();
    auto* w = addToBegin<IVRWhile>();
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess&) {});
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + "/FlowControl/IVRWhile.htm");
        d.btnHelp->click();
        EXPECT_TRUE(d.isVisible());
    });
    i->Edit();
    w->Edit();
    qunsetenv("SORVIX_HELP_DIR");
    EXPECT_EQ(prompt.urls, QStringList{QUrl::fromLocalFile(page).toString()});
    EXPECT_EQ(prompt.beeps, 0);
}

TEST_F(FrameTest, ReadOnlyWhileTheFlowRuns)
{
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVRIf>();
    s->link.LinkTo(v);
    s->Note = "note";
    auto* stop = addToBegin<IVROperator>();
    ASSERT_TRUE(runUntilPausedAt(stop));

    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        EXPECT_EQ(d.windowTitle(), "If [Running - ReadOnly]");
        EXPECT_FALSE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.btnCancel));
        EXPECT_EQ(d.cmbVariant->currentText(), "v");  // it still shows the statement
        user::type(d.cmbVariant, "1");
        user::type(d.edtNote, "changed");
        d.btnOk->click();
        EXPECT_TRUE(d.isVisible()) << "OK is unavailable";
        d.btnOkClick();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(s->link.variable(), v);
    EXPECT_EQ(s->Note, "note");

    ASSERT_TRUE(flow->Stop());
    driver.then<TfrmIVRProcess>([&](TfrmIVRProcess& d) {
        EXPECT_EQ(d.windowTitle(), "If");
        EXPECT_TRUE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        d.btnOk->click();
    });
    EXPECT_TRUE(s->Edit());
}

}  // namespace
