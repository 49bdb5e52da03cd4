#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "dialogfixture.h"
#include "editor/dialogs/filedialogs.h"
#include "engine/statements/files.h"

namespace {

using FileDialogTest = DialogTest;

TEST_F(FileDialogTest, ExecuteTerminatesOnlyWithATimeOut)
{
    auto* s = addToBegin<IVRExecute>();
    s->link.constant = Value("prog");
    s->TimeOut = 0;
    s->Terminate = true;  // as a stored file may hold it
    driver.then<TfrmExecute>([&](TfrmExecute& d) {
        EXPECT_EQ(d.windowTitle(), "Execute");
        EXPECT_EQ(d.lblCommandLine->text(), "Command &Line");
        EXPECT_EQ(d.lblTimeOut->text(), "&Time Out: ");
        EXPECT_EQ(d.lblSecond->text(), "(Sec)");
        EXPECT_FALSE(d.ckbTimeOutTerminate->isEnabled());
        EXPECT_FALSE(d.ckbTimeOutTerminate->isChecked());
        d.updownTimeOut->stepUp();
        EXPECT_TRUE(d.ckbTimeOutTerminate->isEnabled());
        d.ckbTimeOutTerminate->click();
        d.updownTimeOut->stepDown();
        EXPECT_FALSE(d.ckbTimeOutTerminate->isEnabled());
        d.btnOk->click();  // at 0 the box is cleared
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->TimeOut, 0);
    EXPECT_FALSE(s->Terminate);

    driver.then<TfrmExecute>([&](TfrmExecute& d) {
        user::type(d.cmbVariant, "notepad");  // unquoted: refused
        d.btnOk->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(prompt.captions.back(), "Error : Command Line");
        user::type(d.cmbVariant, "\"sleep 5\"");
        d.updownTimeOut->setValue(2);
        d.ckbTimeOutTerminate->click();
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.constant, Value("sleep 5"));
    EXPECT_EQ(s->TimeOut, 2);
    EXPECT_TRUE(s->Terminate);

    driver.then<TfrmExecute>([&](TfrmExecute& d) {
        EXPECT_TRUE(d.ckbTimeOutTerminate->isEnabled());
        EXPECT_TRUE(d.ckbTimeOutTerminate->isChecked());
        EXPECT_EQ(d.updownTimeOut->value(), 2);
    });
    EXPECT_FALSE(s->Edit());
}

TEST_F(FileDialogTest, TextFileRefusesAnUnquotedNameInsteadOfStoringNothing)
{
    IVRVariant* line = variable("line");
    auto* s = addToBegin<IVRTextFile>();
    s->link.constant = Value("log.txt");
    driver.then<TfrmTextFile>([&](TfrmTextFile& d) {
        EXPECT_EQ(d.cmbVariant->currentText(), "\"log.txt\"");
        EXPECT_TRUE(d.ckbWriteLine->isChecked());
        user::type(d.cmbVariant, "out.txt");
        d.btnOk->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(prompt.captions.back(), "Error : File Name");
        EXPECT_TRUE(user::focused(&d, d.cmbVariant));
        user::type(d.cmbVariant, "\"out.txt\"");
        user::type(d.cmbWriteText, "hello");
        d.btnOk->click();
        EXPECT_EQ(prompt.captions.back(), "Error : Append Text");
        EXPECT_TRUE(user::focused(&d, d.cmbWriteText));
        user::choose(d.cmbWriteText, "line");
        d.ckbWriteLine->click();
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.constant, Value("out.txt"));
    EXPECT_EQ(s->WriteText.variable(), line);
    EXPECT_FALSE(s->WriteLine);
    EXPECT_EQ(prompt.messages.size(), 2);
}

TEST_F(FileDialogTest, IniReadAndWriteModes)
{
    IVRVariant* v = variable("v");
    auto* s = addToBegin<IVRInitFile>();
    s->link.constant = Value("a.ini");
    s->Section.constant = Value("main");
    s->Key.constant = Value("k");
    s->Value.LinkTo(v);
    s->Default.constant = Value(5);
    s->Read = true;
    driver.then<TfrmInitFile>([&](TfrmInitFile& d) {
        EXPECT_TRUE(d.radRead->isChecked());
        EXPECT_FALSE(d.cmbValue->isEditable()) << "reading needs a variable";
        EXPECT_EQ(d.cmbValue->currentText(), "v");
        EXPECT_TRUE(d.cmbDefault->isEnabled());
        EXPECT_TRUE(d.lblDefault->isEnabled());
        EXPECT_EQ(d.cmbDefault->currentText(), "5");
        // Read mode checks the default.
        user::type(d.cmbDefault, "none");
        d.btnOk->click();
        EXPECT_EQ(prompt.captions.back(), "Error : Default");
        // Write mode: a typed value, the default unused and not checked.
        d.radWrite->click();
        EXPECT_TRUE(d.cmbValue->isEditable());
        EXPECT_FALSE(d.cmbDefault->isEnabled());
        EXPECT_FALSE(d.lblDefault->isEnabled());
        user::type(d.cmbValue, "\"x\"");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(prompt.messages.size(), 1);
    EXPECT_FALSE(s->Read);
    EXPECT_EQ(s->Value.variable(), nullptr);
    EXPECT_EQ(s->Value.constant, Value("x"));
    EXPECT_EQ(s->Default.constant, Value(5)) << "writing keeps the default's constant";

    // Refusals in order, each with its field's name.
    driver.then<TfrmInitFile>([&](TfrmInitFile& d) {
        EXPECT_TRUE(d.radWrite->isChecked());
        EXPECT_EQ(d.cmbValue->currentText(), "\"x\"");
        const std::pair<TVariantCombo*, const char*> fields[] = {
            {d.cmbFileName, "Error : File Name"}, {d.cmbSection, "Error : Section"},
            {d.cmbKey, "Error : Key"},            {d.cmbValue, "Error : Value"}};
        for (const auto& [box, caption] : fields) {
            user::type(box, "bad");
            d.btnOk->click();
            EXPECT_EQ(prompt.captions.back(), caption);
            EXPECT_TRUE(user::focused(&d, box));
            user::type(box, "1");
        }
        // Back to reading: the value must be a variable again.
        d.radRead->click();
        EXPECT_FALSE(d.cmbValue->isEditable());
        user::choose(d.cmbValue, "v");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_TRUE(s->Read);
    EXPECT_EQ(s->Value.variable(), v);
    EXPECT_EQ(s->Key.constant, Value(1));
}

// A value typed in write mode and then hidden by read mode is not kept behind the empty list.
TEST_F(FileDialogTest, IniValueHiddenByReadModeIsNotStored)
{
    variable("v");
    auto* s = addToBegin<IVRInitFile>();
    s->link.constant = Value("a.ini");
    s->Section.constant = Value("main");
    s->Key.constant = Value("k");
    s->Value.constant = Value("old");
    s->Read = false;
    driver.then<TfrmInitFile>([&](TfrmInitFile& d) {
        EXPECT_TRUE(d.radWrite->isChecked());
        user::type(d.cmbValue, "\"typed\"");
        d.radRead->click();
        EXPECT_FALSE(d.cmbValue->isEditable());
        EXPECT_EQ(d.cmbValue->currentText(), "") << "nothing chosen";
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_TRUE(s->Read);
    EXPECT_EQ(s->Value.variable(), nullptr);
    EXPECT_EQ(s->Value.constant, Value());
}

TEST_F(FileDialogTest, HelpPagesAndTheTransferDialog)
{
    struct Case {
        TStatementDlg* dialog;
        QString path;
    };
    const std::vector<Case> cases = {
        {frmExecute, "/DataOperate/IVRExecute.htm"},
        {frmTextFile, "/DataOperate/IVRTextFile.htm"},
        {frmInitFile, "/DataOperate/IVRInitFile.htm"},
    };
    const QString pages = QStringLiteral(SORVIX_FIXTURES "/../../help/StatementReference");
    for (const Case& c : cases) {
        ASSERT_NE(c.dialog, nullptr);
        EXPECT_EQ(c.dialog->helpPath(), txt::StatementHelpRoot + c.path);
        EXPECT_TRUE(QFileInfo::exists(pages + c.path)) << c.path.toStdString();
    }
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRExecute::info));
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRTextFile::info));
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRInitFile::info));

    // Created with the others; its captions are its own; it has no help and its time-out is hidden.
    ASSERT_NE(frmTransfer, nullptr);
    EXPECT_EQ(frmTransfer->btnHelp, nullptr);
    EXPECT_EQ(frmTransfer->btnOk->text(), QStringLiteral("确定(&O)"));
    EXPECT_FALSE(frmTransfer->grpTimeOut->isVisibleTo(frmTransfer));
    EXPECT_EQ(frmTransfer->updownTimeOut->value(), 10);
    EXPECT_EQ(frmTransfer->updownTimeOut->minimum(), 1);
    EXPECT_EQ(frmTransfer->updownTimeOut->maximum(), 255);
}

}  // namespace
