#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "dialogfixture.h"
#include "editor/dialogs/allsysteminfo.h"
#include "editor/dialogs/declarationdialogs.h"
#include "editor/dialogs/flowcontroldialogs.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"

namespace {

using DeclarationDialogs = DialogTest;

// What the user types into the variable dialog, and what comes of it.
struct VariableCase {
    const char* name;
    const char* value;
    const char* storedValue;  // the stored form of the initial value; nullptr = refused
    const char* message;      // the refusal
    const char* caption;
    bool focusOnName;
};

TEST_F(DeclarationDialogs, VariableNameAndInitialValueAreCheckedInOrder)
{
    variable("other");
    const VariableCase cases[] = {
        {"v2", "5", "5", nullptr, nullptr, false},
        {"v", "", "", nullptr, nullptr, false},                  // its own name again
        {" ", "\"abc\"", "\"abc\"", nullptr, nullptr, false},    // one blank is a name
        {"a\"b", "1.5", "1.5", nullptr, nullptr, false},         // a quote inside is harmless
        {"V", "-3", "-3", nullptr, nullptr, false},              // names are case-sensitive
        {"", "abc", nullptr, "Name cann't be empty", "Error : Name", true},
        {"other", "", nullptr, "Name has been used by another Variant", "Error : Name", true},
        {"Result", "", nullptr, "Name has been used by another Variant", "Error : Name", true},
        {"\"v", "", nullptr, "Name can't begin with a double quotation mark(\")", "Error : Name", true},
        {"\"v\"", "", nullptr, "Name can't begin with a double quotation mark(\")", "Error : Name", true},
        {"v", "abc", nullptr, "If it is String, it must be quoted by double quotation marks(\").",
         "Error : Initial Value", false},
        {"v", "1e5", nullptr, nullptr, "Error : Initial Value", false},
    };
    for (const VariableCase& c : cases) {
        SCOPED_TRACE(c.name + std::string(" / ") + c.value);
        IVRVariant* v = variable("v", Value("old"));
        v->Note = "n";
        prompt.messages.clear();
        prompt.captions.clear();
        bool focusOnName = false, focusOnValue = false;
        driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
            EXPECT_EQ(d.windowTitle(), "Variant");
            EXPECT_EQ(d.edtName->text(), "v");
            EXPECT_EQ(d.lblInitialValue->text(), "Initial &Value: ");
            EXPECT_EQ(d.edtDefaultValue->text(), "\"old\"");
            EXPECT_EQ(d.edtNote->text(), "n");
            user::type(d.edtName, c.name);
            user::type(d.edtDefaultValue, c.value);
            d.btnOk->click();
            if (d.isVisible()) {
                focusOnName = user::focused(&d, d.edtName);
                focusOnValue = user::focused(&d, d.edtDefaultValue);
                d.btnCancel->click();
            }
        });
        const bool confirmed = v->Edit();
        if (c.storedValue) {
            EXPECT_TRUE(confirmed);
            EXPECT_TRUE(prompt.messages.isEmpty());
            EXPECT_EQ(v->Name, c.name);
            EXPECT_EQ(v->link.GetValueText(), c.storedValue);
        } else {
            EXPECT_FALSE(confirmed);
            ASSERT_EQ(prompt.messages.size(), 1);
            if (c.message) {
                EXPECT_EQ(prompt.messages[0], c.message);
            } else {
                EXPECT_TRUE(prompt.messages[0].startsWith("Number format error"));
            }
            EXPECT_EQ(prompt.captions[0], c.caption);
            EXPECT_EQ(focusOnName, c.focusOnName);
            EXPECT_EQ(focusOnValue, !c.focusOnName);
            EXPECT_EQ(v->Name, "v");
            EXPECT_EQ(v->link.constant, Value("old"));
        }
        flow->tree().remove(v->node());  // the next case starts afresh
    }
}

TEST_F(DeclarationDialogs, RenamingAVariableRenamesItsReferences)
{
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVRIf>();
    s->link.LinkTo(v);
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
        user::type(d.edtName, "w");
        d.btnOk->click();
    });
    flow->tree().select(v->node());
    flow->PressedNode = v->node();
    flow->TreeDblClick();
    EXPECT_EQ(v->Name, "w");
    EXPECT_EQ(s->node()->text(), "If : w");
    EXPECT_EQ(v->node()->text(), "Variant : w");
}

TEST_F(DeclarationDialogs, WhileTheFlowRunsTheVariableDialogShowsCurrentValuesReadOnly)
{
    IVRVariant* v = variable("v", Value(1));
    IVRVariant* text = variable("text");
    auto* assign = addToBegin<IVROperator>();
    assign->link.LinkTo(v);
    assign->Operate = optAssign;
    assign->Dest.constant = Value(5);
    auto* assignText = addToBegin<IVROperator>();
    assignText->link.LinkTo(text);
    assignText->Operate = optAssign;
    assignText->Dest.constant = Value("hello");
    auto* assignResult = addToBegin<IVROperator>();
    assignResult->link.LinkTo(flow->ResultVariant);
    assignResult->Operate = optAssign;
    assignResult->Dest.constant = Value("returnSUCCESS");

    // Before the run the result variable has no dialog.
    EXPECT_FALSE(flow->ResultVariant->Edit());
    EXPECT_EQ(driver.runs, 0);

    ASSERT_TRUE(runUntilPausedAt(addToBegin<IVROperator>()));
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
        EXPECT_EQ(d.windowTitle(), "Variant [Running - ReadOnly]");
        EXPECT_EQ(d.lblInitialValue->text(), "Current &Value: ");
        EXPECT_EQ(d.edtDefaultValue->text(), "5");
        EXPECT_FALSE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.btnCancel));
        user::type(d.edtName, "changed");
        d.btnOk->click();
    });
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) { EXPECT_EQ(d.edtDefaultValue->text(), "\"hello\""); });
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
        EXPECT_EQ(d.windowTitle(), "Result [Running - ReadOnly]");
        EXPECT_EQ(d.edtName->text(), "Result");
        EXPECT_EQ(d.edtDefaultValue->text(), "\"returnSUCCESS\"");
        EXPECT_FALSE(d.btnOk->isEnabled());
    });
    EXPECT_FALSE(v->Edit());
    EXPECT_FALSE(text->Edit());
    EXPECT_FALSE(flow->ResultVariant->Edit());
    EXPECT_EQ(driver.runs, 3);
    EXPECT_EQ(v->Name, "v");
    EXPECT_EQ(v->link.constant, Value(1));

    // After the run: the initial value again, editable.
    ASSERT_TRUE(flow->Stop());
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
        EXPECT_EQ(d.windowTitle(), "Variant");
        EXPECT_EQ(d.lblInitialValue->text(), "Initial &Value: ");
        EXPECT_EQ(d.edtDefaultValue->text(), "1");
        EXPECT_TRUE(d.btnOk->isEnabled());
        EXPECT_TRUE(user::focused(&d, d.edtName));
    });
    EXPECT_FALSE(v->Edit());
}

struct LabelCase {
    const char* name;
    bool stored;
    const char* message;
};

TEST_F(DeclarationDialogs, LabelNamesAreCheckedAgainstOtherLabelsOnly)
{
    add<IVRLabel>(flow->BeginRoot)->Name = "taken";
    variable("var");
    const LabelCase cases[] = {
        {"L2", true, nullptr},
        {"here", true, nullptr},  // its own name
        {" ", true, nullptr},
        {"var", true, nullptr},  // a variable's name is no label's
        {"\"q", true, nullptr},  // labels are found by name alone
        {"", false, "Name cann't be empty"},
        {"taken", false, "Name has been used by another Variant"},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto* l = add<IVRLabel>(flow->BeginRoot);
        l->Name = "here";
        prompt.messages.clear();
        prompt.captions.clear();
        bool focus = false;
        driver.then<TfrmLabel>([&](TfrmLabel& d) {
            EXPECT_EQ(d.windowTitle(), "Label");
            EXPECT_EQ(d.lblName->text(), "N&ame: ");
            EXPECT_EQ(d.edtLabelName->text(), "here");
            user::type(d.edtLabelName, c.name);
            user::type(d.edtNote, "note");
            d.btnOk->click();
            if (d.isVisible()) {
                focus = user::focused(&d, d.edtLabelName);
                d.btnCancel->click();
            }
        });
        EXPECT_EQ(l->Edit(), c.stored);
        if (c.stored) {
            EXPECT_EQ(l->Name, c.name);
            EXPECT_EQ(l->Note, "note");
        } else {
            ASSERT_EQ(prompt.messages.size(), 1);
            EXPECT_EQ(prompt.messages[0], c.message);
            EXPECT_EQ(prompt.captions[0], "Error : Name");
            EXPECT_TRUE(focus);
            EXPECT_EQ(l->Name, "here");
            EXPECT_TRUE(l->Note.isEmpty());
        }
        flow->tree().remove(l->node());
    }
}

TEST_F(DeclarationDialogs, GotoListsTheLabelsAndMayBeLeftWithout)
{
    auto* g = addToBegin<IVRGoto>();
    driver.then<TfrmGoto>([&](TfrmGoto& d) {
        EXPECT_EQ(d.lblLabel->text(), "&Label: ");
        EXPECT_EQ(d.lblLabel->buddy(), d.cmbLabel);
        EXPECT_FALSE(d.cmbLabel->isEditable());
        EXPECT_EQ(d.cmbLabel->count(), 0);
        d.btnOk->click();
    });
    EXPECT_TRUE(g->Edit());
    EXPECT_EQ(g->link.target(), nullptr);
    EXPECT_EQ(g->GetNodeText(), "Goto : NoLabel");

    auto* a = addToBegin<IVRLabel>();
    a->Name = "A";
    auto* b = addToBegin<IVRLabel>();
    b->Name = "B";
    g->link.LinkTo(a);
    driver.then<TfrmGoto>([&](TfrmGoto& d) {
        ASSERT_EQ(d.cmbLabel->count(), 2);
        EXPECT_EQ(d.cmbLabel->itemText(0), "A");  // oldest first
        EXPECT_EQ(d.cmbLabel->itemText(1), "B");
        EXPECT_EQ(d.cmbLabel->currentText(), "A");
        user::choose(d.cmbLabel, "B");
        d.btnOk->click();
    });
    EXPECT_TRUE(g->Edit());
    EXPECT_EQ(g->link.target(), b);
    driver.then<TfrmGoto>([&](TfrmGoto& d) {
        user::choose(d.cmbLabel, -1);
        d.btnOk->click();
    });
    EXPECT_TRUE(g->Edit());
    EXPECT_EQ(g->link.target(), nullptr);
}

TEST_F(DeclarationDialogs, CategoryAndBlockEditTheirNote)
{
    auto* c = add<IVRCategory>(flow->VarRoot);
    auto* b = addToBegin<IVRBlock>();
    driver.then<TfrmDataCategory>([&](TfrmDataCategory& d) {
        EXPECT_EQ(d.windowTitle(), "Category");
        EXPECT_EQ(d.lblNote->text(), "&Note: ");
        EXPECT_EQ(d.lblNote->buddy(), d.edtNote);
        user::type(d.edtNote, "callers");
        d.btnOk->click();
    });
    driver.then<TfrmDataCategory>([&](TfrmDataCategory& d) {
        EXPECT_EQ(d.windowTitle(), "Block");
        EXPECT_TRUE(d.edtNote->text().isEmpty());
        user::type(d.edtNote, "steps");
        d.btnOk->click();
    });
    EXPECT_TRUE(c->Edit());
    EXPECT_TRUE(b->Edit());
    EXPECT_EQ(c->Note, "callers");
    EXPECT_EQ(b->Note, "steps");
    EXPECT_EQ(c->GetNodeText(), "Category {callers} ");
}

TEST_F(DeclarationDialogs, CasePicksAResultNameAsAStringConstant)
{
    IVRVariant* named = variable("returnSUCCESS");
    auto* sw = addToBegin<IVRSwitch>();
    auto* c = add<IVRCase>(sw->node());
    c->link.LinkTo(named);

    // OK first in the tab order, then the content, Cancel and Help.
    TfrmCase& dlg = *frmCase;
    EXPECT_EQ(user::tabOrder(dlg.btnOk, 6), (std::vector<QWidget*>{dlg.btnOk, dlg.cmbVariant, dlg.btnGetResult,
                                                                    dlg.edtNote, dlg.btnCancel, dlg.btnHelp}));
    EXPECT_EQ(dlg.btnGetResult->text(), "&Result...");

    driver.then<TfrmCase>([&](TfrmCase& d) {
        EXPECT_EQ(d.windowTitle(), "Case");
        EXPECT_EQ(d.cmbVariant->currentText(), "returnSUCCESS");
        EXPECT_TRUE(d.cmbVariant->hasSelection());
        d.btnGetResult->click();  // picker, cancelled: nothing changes
        EXPECT_EQ(d.cmbVariant->currentText(), "returnSUCCESS");
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        d.btnGetResult->click();  // picker, OK without a row: nothing changes
        EXPECT_TRUE(d.cmbVariant->hasSelection());
        d.btnGetResult->click();  // picker: the first name
        EXPECT_EQ(d.cmbVariant->currentText(), "\"returnSUCCESS\"");
        EXPECT_FALSE(d.cmbVariant->hasSelection());
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        d.btnOk->click();
    });
    driver.then<TfrmAllSystemInfo>([&](TfrmAllSystemInfo& p) {
        EXPECT_EQ(p.windowTitle(), "Result");
        EXPECT_EQ(p.lblAllSystemInfo->text(), "&All Result: ");
        EXPECT_EQ(p.btnHelp, nullptr);
        ASSERT_EQ(p.lbAllSystemInfo->count(), 4);
        EXPECT_EQ(p.lbAllSystemInfo->item(3)->text(), "returnCALLFAILED");
        p.lbAllSystemInfo->setCurrentRow(2);
        p.btnCancel->click();
    });
    driver.then<TfrmAllSystemInfo>([&](TfrmAllSystemInfo& p) {
        EXPECT_TRUE(p.lbAllSystemInfo->selectedItems().isEmpty()) << "the selection is cleared when shown";
        p.btnOk->click();
    });
    driver.then<TfrmAllSystemInfo>([&](TfrmAllSystemInfo& p) {
        p.lbAllSystemInfo->setCurrentRow(0);
        p.btnOk->click();
    });
    ASSERT_TRUE(c->Edit());
    EXPECT_EQ(c->link.variable(), nullptr);
    EXPECT_EQ(c->link.constant, Value("returnSUCCESS"));
    EXPECT_EQ(c->GetNodeText(), "Case : \"returnSUCCESS\"");
}

TEST_F(DeclarationDialogs, ADoubleClickInTheResultPickerChooses)
{
    auto* sw = addToBegin<IVRSwitch>();
    auto* c = add<IVRCase>(sw->node());
    driver.then<TfrmCase>([&](TfrmCase& d) {
        d.btnGetResult->click();
        EXPECT_EQ(d.cmbVariant->currentText(), "\"returnCALLFAILED\"");
        d.btnOk->click();
    });
    driver.then<TfrmAllSystemInfo>([&](TfrmAllSystemInfo& p) {
        QListWidget* list = p.lbAllSystemInfo;
        const QPoint at = list->visualItemRect(list->item(3)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        EXPECT_FALSE(p.isVisible()) << "the double click closed the picker";
    });
    ASSERT_TRUE(c->Edit());
    EXPECT_EQ(c->link.constant, Value("returnCALLFAILED"));
}

TEST_F(DeclarationDialogs, CaseRefusesAnUnquotedText)
{
    auto* sw = addToBegin<IVRSwitch>();
    auto* c = add<IVRCase>(sw->node());
    driver.then<TfrmCase>([&](TfrmCase& d) {
        user::type(d.cmbVariant, "returnSUCCESS");
        d.btnOk->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        user::type(d.cmbVariant, "");  // no value: matches an empty switch value
        d.btnOk->click();
    });
    ASSERT_TRUE(c->Edit());
    EXPECT_EQ(prompt.captions, QStringList{"Error : Condition"});
    EXPECT_TRUE(c->link.constant.isEmpty());
    EXPECT_EQ(c->GetNodeText(), "Case : Null");
}

TEST_F(DeclarationDialogs, RefusalCaptionsInChinese)
{
    uninstallStatementDialogs();
    setTextLanguage(true);
    installStatementDialogs();
    IVRVariant* v = variable("v");
    driver.then<TfrmIVRVariant>([&](TfrmIVRVariant& d) {
        EXPECT_EQ(d.lblName->text(), "名称(&A)：");
        user::type(d.edtName, "\"v");
        d.btnOk->click();
        user::type(d.edtName, "v");
        user::type(d.edtDefaultValue, "abc");
        d.btnOk->click();
        d.btnCancel->click();
    });
    v->Edit();
    const QStringList messages = prompt.messages, captions = prompt.captions;
    uninstallStatementDialogs();
    setTextLanguage(false);
    installStatementDialogs();
    EXPECT_EQ(captions, QStringList({"错误：名称", "错误：初始值"}));
    EXPECT_EQ(messages.value(0), "名称不能以双引号(\")开头");
}

}  // namespace
