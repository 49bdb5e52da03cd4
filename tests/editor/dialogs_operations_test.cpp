#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "dialogfixture.h"
#include "editor/dialogs/allsysteminfo.h"
#include "editor/dialogs/dboperatedialogs.h"
#include "editor/dialogs/variabledialogs.h"
#include "engine/statements/database.h"
#include "engine/statements/variables.h"

namespace {

struct OperationDialogs : DialogTest {
    IVRDataBase* database(const QString& name)
    {
        auto* d = add<IVRDataBase>(flow->VarRoot);
        d->Name = name;
        return d;
    }
    static QStringList items(const QComboBox* c)
    {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
        return l;
    }
    // Clicks OK; a refusal is answered and the dialog cancelled. Returns the refusal's caption.
    QString confirm(TStatementDlg& d, QWidget* expectedFocus = nullptr)
    {
        const qsizetype before = prompt.captions.size();
        d.btnOk->click();
        if (!d.isVisible()) return {};
        if (expectedFocus) {
            EXPECT_TRUE(user::focused(&d, expectedFocus));
        }
        d.btnCancel->click();
        return prompt.captions.size() > before ? prompt.captions.last() : QStringLiteral("(no message)");
    }
};

// ---- operator ----

TEST_F(OperationDialogs, OperatorControlsAndTabOrder)
{
    TfrmIVRVariantOperate& d = *frmIVRVariantOperate;
    EXPECT_EQ(d.lblSaveVariant->text(), "&Save Variant: ");
    EXPECT_EQ(d.lblOperatorType->text(), "Operator &Type: ");
    EXPECT_EQ(d.lblDestVariant->text(), "&Dest: ");
    EXPECT_EQ(d.lblSourceVariant->text(), "So&urce: ");
    EXPECT_EQ(d.btnGetResult->text(), "&Result...");
    for (QLabel* l : {d.lblSaveVariant, d.lblOperatorType, d.lblDestVariant, d.lblSourceVariant, d.lblNote})
        EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
    EXPECT_FALSE(d.cmbResult->isEditable());
    EXPECT_FALSE(d.cmbOperate->isEditable());
    EXPECT_TRUE(d.cmbDest->isEditable());
    EXPECT_TRUE(d.cmbSource->isEditable());
    EXPECT_EQ(d.cmbOperate->count(), 16);
    EXPECT_EQ(d.cmbOperate->itemText(0), "Assign");
    EXPECT_EQ(d.cmbOperate->itemText(15), "Not");
    EXPECT_EQ(user::tabOrder(d.cmbResult, 9),
              (std::vector<QWidget*>{d.cmbResult, d.cmbOperate, d.cmbDest, d.btnGetResult, d.cmbSource, d.edtNote,
                                     d.btnOk, d.btnCancel, d.btnHelp}));
}

TEST_F(OperationDialogs, OperatorSourceTakesPartUnlessAssignOrNot)
{
    const std::pair<TVariantOperateType, bool> cases[] = {
        {optNull, true}, {optAssign, false}, {optAdd, true}, {optGreater, true}, {optOr, true}, {optNot, false},
    };
    for (auto [operate, sourceOn] : cases) {
        SCOPED_TRACE(int(operate));
        auto* s = addToBegin<IVROperator>();
        s->Operate = operate;
        driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
            EXPECT_EQ(d.cmbOperate->currentIndex(), operate == optNull ? -1 : int(operate));
            EXPECT_EQ(d.cmbSource->isEnabled(), sourceOn);
            EXPECT_EQ(d.lblSourceVariant->isEnabled(), sourceOn);
            EXPECT_TRUE(d.cmbDest->isEnabled());
        });
        s->Edit();
    }
}

TEST_F(OperationDialogs, ChoosingAssignEmptiesTheSourceEvenWhenItHeldAVariable)
{
    IVRVariant* a = variable("a");
    IVRVariant* b = variable("b");
    auto* s = addToBegin<IVROperator>();
    s->Operate = optAdd;
    s->link.LinkTo(a);
    s->Dest.LinkTo(a);
    s->Source.LinkTo(b);
    driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
        EXPECT_EQ(d.cmbResult->currentText(), "a");
        EXPECT_EQ(d.cmbSource->currentText(), "b");
        user::choose(d.cmbOperate, "Assign");
        EXPECT_FALSE(d.cmbSource->isEnabled());
        user::choose(d.cmbOperate, "Subtract");
        EXPECT_TRUE(d.cmbSource->isEnabled());
        user::choose(d.cmbOperate, "Assign");
        user::type(d.cmbSource, "unparsable");  // not checked: the source takes no part
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, optAssign);
    EXPECT_EQ(s->Source.variable(), nullptr);
    EXPECT_TRUE(s->Source.constant.isEmpty());
    EXPECT_FALSE(s->WhetherUse(0, b));
    EXPECT_EQ(s->Dest.variable(), a);
}

// Typed operands: what they store, or the caption of the refusal.
struct OperandCase {
    const char* operate;
    const char* dest;
    const char* source;
    const char* storedDest;    // stored forms; nullptr = refused
    const char* storedSource;
    const char* refusal;
};

TEST_F(OperationDialogs, OperatorOperandsAreCheckedDestFirst)
{
    variable("v");
    const OperandCase cases[] = {
        {"Add", "\"abc\"", "1", "\"abc\"", "1", nullptr},
        {"Add", "v", "2.5", "v", "2.5", nullptr},
        {"Add", "", "", "", "", nullptr},
        {"Not", "-1", "abc", "-1", "", nullptr},
        {"Add", "abc", "1", nullptr, nullptr, "Error : Dest"},
        {"Add", "abc", "abc", nullptr, nullptr, "Error : Dest"},
        {"Add", "1", "abc", nullptr, nullptr, "Error : Source"},
        {"Equality", "1", "1.2.3", nullptr, nullptr, "Error : Source"},
    };
    for (const OperandCase& c : cases) {
        SCOPED_TRACE(std::string(c.operate) + " " + c.dest + " " + c.source);
        auto* s = addToBegin<IVROperator>();
        QString refusal;
        driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
            user::choose(d.cmbOperate, c.operate);
            user::type(d.cmbDest, c.dest);
            user::type(d.cmbSource, c.source);
            const bool destBad = c.refusal && QString(c.refusal).endsWith("Dest");
            refusal = confirm(d, destBad ? d.cmbDest : d.cmbSource);
        });
        const bool confirmed = s->Edit();
        if (c.storedDest) {
            EXPECT_TRUE(confirmed);
            EXPECT_EQ(s->Dest.GetValueText(), c.storedDest);
            EXPECT_EQ(s->Source.GetValueText(), c.storedSource);
        } else {
            EXPECT_FALSE(confirmed);
            EXPECT_EQ(refusal, c.refusal);
            EXPECT_EQ(s->Operate, optNull);
        }
    }
}

TEST_F(OperationDialogs, ResultPickerPutsAQuotedNameIntoDest)
{
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVROperator>();
    s->Dest.LinkTo(v);
    driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
        d.btnGetResult->click();  // cancelled
        EXPECT_EQ(d.cmbDest->currentText(), "v");
        EXPECT_TRUE(d.cmbDest->hasSelection());
        d.btnGetResult->click();
        EXPECT_EQ(d.cmbDest->currentText(), "\"returnHANGUP\"");
        EXPECT_FALSE(d.cmbDest->hasSelection());
        EXPECT_TRUE(user::focused(&d, d.cmbDest));
        user::choose(d.cmbOperate, "Assign");
        d.btnOk->click();
    });
    driver.then<TfrmAllSystemInfo>([](TfrmAllSystemInfo& p) { p.btnCancel->click(); });
    driver.then<TfrmAllSystemInfo>([](TfrmAllSystemInfo& p) {
        p.lbAllSystemInfo->setCurrentRow(2);
        p.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Dest.variable(), nullptr);
    EXPECT_EQ(s->Dest.constant, Value("returnHANGUP"));
    EXPECT_EQ(s->link.variable(), nullptr);  // no Save variable chosen
}

TEST_F(OperationDialogs, SaveListLinksOrForgetsTheVariable)
{
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVROperator>();
    driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
        EXPECT_EQ(items(d.cmbResult), QStringList({"Result", "v"}));
        EXPECT_EQ(d.cmbResult->currentIndex(), -1);
        user::choose(d.cmbResult, "v");
        user::choose(d.cmbOperate, "Not");
        user::type(d.cmbDest, "0");
        user::type(d.edtNote, "flip");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), v);
    EXPECT_EQ(s->Operate, optNot);
    EXPECT_EQ(s->Note, "flip");
    driver.then<TfrmIVRVariantOperate>([&](TfrmIVRVariantOperate& d) {
        EXPECT_EQ(d.cmbResult->currentText(), "v");
        user::choose(d.cmbResult, -1);
        user::choose(d.cmbOperate, -1);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), nullptr);
    EXPECT_EQ(s->Operate, optNull);
}

// ---- string ----

TEST_F(OperationDialogs, StringUpDownsTakePartInSubStringOnly)
{
    TfrmStringOperate& d0 = *frmStringOperate;
    EXPECT_EQ(d0.lblConvertVariant->text(), "Convert &Variant: ");
    EXPECT_EQ(d0.lblStringType->text(), "Convert &Type: ");
    EXPECT_EQ(d0.lblSubIndex->text(), "Sub &Index: ");
    EXPECT_EQ(d0.lblSubCount->text(), "&Sub Count: ");
    EXPECT_EQ(d0.edtSubIndex->minimum(), 1);
    EXPECT_EQ(d0.edtSubIndex->maximum(), 32767);
    EXPECT_FALSE(d0.edtSubCount->wrapping());
    EXPECT_EQ(d0.cmbOperate->count(), 7);

    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVRString>();
    s->Operate = strTrim;
    s->link.LinkTo(v);
    driver.then<TfrmStringOperate>([&](TfrmStringOperate& d) {
        EXPECT_EQ(d.cmbOperate->currentText(), "Trim");
        EXPECT_EQ(d.edtSubIndex->value(), 1);
        EXPECT_EQ(d.edtSubCount->value(), 1);
        EXPECT_EQ(d.edtSubIndex->text(), "1");
        EXPECT_FALSE(d.edtSubIndex->isEnabled());
        EXPECT_FALSE(d.lblSubCount->isEnabled());
        user::choose(d.cmbOperate, "SubString");
        EXPECT_TRUE(d.edtSubIndex->isEnabled());
        EXPECT_TRUE(d.lblSubIndex->isEnabled());
        EXPECT_TRUE(d.edtSubCount->isEnabled());
        d.edtSubIndex->setValue(3);
        d.edtSubCount->setValue(40000);  // beyond the range: the largest
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, strSubString);
    EXPECT_EQ(s->SubIndex, 3);
    EXPECT_EQ(s->SubCount, 32767);
    EXPECT_EQ(s->link.variable(), v);

    driver.then<TfrmStringOperate>([&](TfrmStringOperate& d) {
        EXPECT_EQ(d.edtSubIndex->value(), 3);
        EXPECT_TRUE(d.edtSubIndex->isEnabled());
        user::choose(d.cmbOperate, "GetLength");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, strGetLength);
    EXPECT_EQ(s->SubIndex, 0);
    EXPECT_EQ(s->SubCount, 0);

    driver.then<TfrmStringOperate>([&](TfrmStringOperate& d) {
        user::choose(d.cmbOperate, -1);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, strNil);
}

// ---- date-time ----

TEST_F(OperationDialogs, DateTimePartOrTypedPattern)
{
    TfrmDateOperate& d0 = *frmDateOperate;
    EXPECT_EQ(d0.lblDateVariant->text(), "&DateTime Variant: ");
    EXPECT_EQ(d0.lblDateOperateType->text(), "DateTime &Type: ");
    EXPECT_EQ(d0.rbtnSystemDate->text(), "&System");
    EXPECT_EQ(d0.rbtnVariantDate->text(), "&Variant");
    EXPECT_TRUE(d0.cmbOperate->isEditable());
    EXPECT_EQ(d0.cmbOperate->count(), 15);
    EXPECT_EQ(user::tabOrder(d0.cmbVariant, 3), (std::vector<QWidget*>{d0.cmbVariant, d0.rbtnSystemDate,
                                                                       d0.rbtnVariantDate}));

    auto* s = addToBegin<IVRDateTime>();
    s->Operate = dtNull;
    s->Format = "yyyy-mm-dd";
    driver.then<TfrmDateOperate>([&](TfrmDateOperate& d) {
        EXPECT_EQ(d.cmbOperate->currentText(), "yyyy-mm-dd");
        EXPECT_FALSE(d.cmbOperate->hasSelection());
        EXPECT_TRUE(d.rbtnSystemDate->isChecked());
        EXPECT_FALSE(d.rbtnVariantDate->isChecked());
        user::type(d.cmbOperate, "hh:nn");
        d.rbtnVariantDate->click();
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dtNull);
    EXPECT_EQ(s->Format, "hh:nn");
    EXPECT_FALSE(s->System);

    driver.then<TfrmDateOperate>([&](TfrmDateOperate& d) {
        EXPECT_TRUE(d.rbtnVariantDate->isChecked());
        user::choose(d.cmbOperate, "Hour");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dtHour);
    EXPECT_TRUE(s->Format.isEmpty());

    // A typed text that is a part's name is that part; an empty text is no operation.
    driver.then<TfrmDateOperate>([&](TfrmDateOperate& d) {
        EXPECT_EQ(d.cmbOperate->currentText(), "Hour");
        user::type(d.cmbOperate, "Year");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dtYear);
    driver.then<TfrmDateOperate>([&](TfrmDateOperate& d) {
        user::type(d.cmbOperate, "");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dtNull);
    EXPECT_TRUE(s->Format.isEmpty());
}

// ---- database operation ----

TEST_F(OperationDialogs, DataBaseOperateCloseDisablesThePositionButKeepsIt)
{
    IVRDataBase* first = database("first");
    IVRDataBase* second = database("second");
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVRDBOperate>();
    s->link.LinkTo(second);
    s->variantLink.LinkTo(v);
    s->Operate = dbNext;
    driver.then<TfrmDataBaseOperate>([&](TfrmDataBaseOperate& d) {
        EXPECT_EQ(d.lblDataBase->text(), "&DataBase: ");
        EXPECT_EQ(d.lblOperateType->text(), "&Operate Type: ");
        EXPECT_EQ(d.lblPositionVariant->text(), "Position Variant: ");
        EXPECT_EQ(d.lblPositionVariant->buddy(), nullptr);
        EXPECT_EQ(d.lblDataBase->buddy(), d.cmbDataBase);
        EXPECT_EQ(d.lblOperateType->buddy(), d.cmbOperateType);
        EXPECT_EQ(items(d.cmbDataBase), QStringList({"first", "second"}));
        EXPECT_EQ(d.cmbDataBase->currentText(), "second");
        EXPECT_EQ(d.cmbOperateType->count(), 7);
        EXPECT_EQ(d.cmbOperateType->currentText(), "Next");
        EXPECT_TRUE(d.cmbVariant->isEnabled());
        user::choose(d.cmbOperateType, "Close");
        EXPECT_FALSE(d.cmbVariant->isEnabled());
        EXPECT_FALSE(d.lblPositionVariant->isEnabled());
        EXPECT_EQ(d.cmbVariant->currentText(), "v");
        user::choose(d.cmbDataBase, "first");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dbClose);
    EXPECT_EQ(s->link.target(), first);
    EXPECT_EQ(s->variantLink.variable(), v);

    driver.then<TfrmDataBaseOperate>([&](TfrmDataBaseOperate& d) {
        EXPECT_FALSE(d.cmbVariant->isEnabled());  // the stored Close, before anything is chosen
        user::choose(d.cmbDataBase, -1);
        user::choose(d.cmbOperateType, -1);
        EXPECT_TRUE(d.cmbVariant->isEnabled());
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->Operate, dbNull);
    EXPECT_EQ(s->link.target(), nullptr);
    EXPECT_EQ(s->GetNodeText(), "DBOperate : NoDataBase NoOperate v");
}

// ---- field and parameter ----

TEST_F(OperationDialogs, FieldAndParamShareOneDialogThatFollowsTheLastUse)
{
    IVRDataBase* db = database("db");
    IVRVariant* v = variable("v");
    auto* f = addToBegin<IVRField>();
    auto* p = addToBegin<IVRParam>();
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        EXPECT_EQ(d.windowTitle(), "Field");
        EXPECT_EQ(d.lblFieldName->text(), "&Field Name or Index: ");
        EXPECT_EQ(d.lblSaveVariant->text(), "&Save Variant: ");
        EXPECT_FALSE(d.cmbVariant->isEditable());
        EXPECT_TRUE(d.cmbField->isEditable());
        EXPECT_EQ(d.HelpTopic, "IVRField.htm");
        user::choose(d.cmbDataBase, "db");
        user::type(d.cmbField, "0");
        user::choose(d.cmbVariant, "v");
        d.btnOk->click();
    });
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        EXPECT_EQ(d.windowTitle(), "Param");
        EXPECT_EQ(d.lblFieldName->text(), "&Param Name or Index: ");
        EXPECT_EQ(d.lblSaveVariant->text(), "Param &Value");
        EXPECT_TRUE(d.cmbVariant->isEditable());
        EXPECT_EQ(d.HelpTopic, "IVRParam.htm");
        EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + "/DataOperate/IVRParam.htm");
        user::type(d.cmbField, "\"id\"");
        user::type(d.cmbVariant, "42");
        d.btnOk->click();
    });
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        EXPECT_FALSE(d.cmbVariant->isEditable());
        EXPECT_EQ(d.cmbField->currentText(), "0");
        EXPECT_EQ(d.cmbVariant->currentText(), "v");
        d.btnCancel->click();
    });
    ASSERT_TRUE(f->Edit());
    ASSERT_TRUE(p->Edit());
    EXPECT_FALSE(f->Edit());
    EXPECT_EQ(f->link.target(), db);
    EXPECT_EQ(f->Field.constant, Value(0));
    EXPECT_EQ(f->variantLink.variable(), v);
    EXPECT_EQ(p->link.target(), nullptr);
    EXPECT_EQ(p->Param.constant, Value("id"));
    EXPECT_EQ(p->variantLink.constant, Value(42));
    EXPECT_EQ(p->GetNodeText(), "Param : NoDataBase \"id\" 42");
}

TEST_F(OperationDialogs, FieldAndParamRefuseUnquotedTexts)
{
    auto* f = addToBegin<IVRField>();
    auto* p = addToBegin<IVRParam>();
    QString fieldRefusal, paramNameRefusal, paramValueRefusal;
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        user::type(d.cmbField, "name");
        fieldRefusal = confirm(d, d.cmbField);
    });
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        user::type(d.cmbField, "name");
        user::type(d.cmbVariant, "1");
        paramNameRefusal = confirm(d, d.cmbField);
    });
    driver.then<TfrmFieldOperate>([&](TfrmFieldOperate& d) {
        user::type(d.cmbField, "1");
        user::type(d.cmbVariant, "value");
        paramValueRefusal = confirm(d, d.cmbVariant);
    });
    EXPECT_FALSE(f->Edit());
    EXPECT_FALSE(p->Edit());
    EXPECT_FALSE(p->Edit());
    EXPECT_EQ(fieldRefusal, "Error : Field Name or Index");
    EXPECT_EQ(paramNameRefusal, "Error : Param Name or Index");
    EXPECT_EQ(paramValueRefusal, "Error : Param Value");
    EXPECT_EQ(prompt.messages.value(0), txt::QuoteHint);
}

// ---- command ----

TEST_F(OperationDialogs, CommandTypeAndText)
{
    database("db");
    auto* s = addToBegin<IVRCommand>();
    QString refusal;
    driver.then<TfrmCommandOperate>([&](TfrmCommandOperate& d) {
        EXPECT_EQ(d.lblCommandType->text(), "Command &Type: ");
        EXPECT_EQ(d.lblCommandText->text(), "Command T&ext: ");
        EXPECT_EQ(items(d.cmbCommandType), QStringList({"Unknown", "SQLStatement", "Table", "StoredProcedure"}));
        EXPECT_EQ(d.cmbCommandType->currentText(), "Unknown");
        user::type(d.cmbVariant, "select * from calls");
        refusal = confirm(d, d.cmbVariant);
    });
    driver.then<TfrmCommandOperate>([&](TfrmCommandOperate& d) {
        user::choose(d.cmbDataBase, "db");
        user::choose(d.cmbCommandType, "SQLStatement");
        user::type(d.cmbVariant, "\"select * from calls\"");
        d.btnOk->click();
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(refusal, "Error : Command Text");
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->CommandType, cmdText);
    EXPECT_EQ(s->variantLink.constant, Value("select * from calls"));
    EXPECT_EQ(s->GetNodeText(), "Command : db SQLStatement \"select * from calls\"");

    // A type the list does not offer, read from a file, is kept.
    s->CommandType = cmdTableDirect;
    driver.then<TfrmCommandOperate>([&](TfrmCommandOperate& d) {
        EXPECT_EQ(d.cmbCommandType->currentIndex(), -1);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->CommandType, cmdTableDirect);
}

}  // namespace
