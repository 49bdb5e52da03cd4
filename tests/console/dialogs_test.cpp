#include "consolefixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "console/addform.h"
#include "console/addressform.h"
#include "console/applicationform.h"
#include "console/groupform.h"
#include "ui/sorvixform.h"
#include "ui/fakeprompt.h"

namespace {

// Applications "Bank" and "Shop", groups "Sales" and "Night".
struct DialogTest : ConsoleStoreFixture {
    std::unique_ptr<ConsoleConfig> config;
    FakePrompt prompt;

    void SetUp() override
    {
        ConsoleStoreFixture::SetUp();
        initProductTexts();
        seed(ConsoleConfig::ApplicationKey, "Bank", "/b.svx");
        seed(ConsoleConfig::ApplicationKey, "Shop", "/s.svx");
        seed(ConsoleConfig::GroupKey, "Sales", "Bank");
        seed(ConsoleConfig::GroupKey, "Night", "");
        config = std::make_unique<ConsoleConfig>(store.get());
        ASSERT_TRUE(config->load({"Line 1"}));
    }
};

TEST_F(DialogTest, ApplicationChecksInOrder)
{
    TfrmApplication dlg(config.get());
    EXPECT_EQ(dlg.windowTitle(), "Application");
    EXPECT_EQ(dlg.lblFlowFile->text(), "&Flow File: ");
    EXPECT_EQ(dlg.btnSelectFile->text(), "&Select File...");
    dlg.show();

    struct Case {
        int edited;
        const char* name;
        const char* file;
        const char* message;  // null: accepted
        const char* caption;
        QWidget* focus;
    } cases[] = {
        {-1, "", "", "Name cann't be empty", "Sorvix IVR", dlg.edtApplicationName},
        {-1, "bank", "/x.svx", "Name has been used by another Application. ", "Sorvix IVR", dlg.edtApplicationName},
        {1, "BANK", "/x.svx", "Name has been used by another Application. ", "Sorvix IVR", dlg.edtApplicationName},
        {-1, "Fax", "", "Please input flow file", "Sorvix IVR", dlg.edtApplicationFile},
        {0, "BANK", "/x.svx", nullptr, nullptr, nullptr},  // its own name, in another case
        {0, "Bank", "/x.svx", nullptr, nullptr, nullptr},
        {-1, " Bank", "/missing.svx", nullptr, nullptr, nullptr},  // blanks count; the file is not checked
    };
    for (const Case& c : cases) {
        prompt.messages.clear();
        prompt.captions.clear();
        dlg.setResult(0);
        dlg.show();
        dlg.EditedItem = c.edited;
        dlg.edtApplicationName->setText(c.name);
        dlg.edtApplicationFile->setText(c.file);
        dlg.btnOKClick();
        if (c.message) {
            ASSERT_EQ(prompt.messages, QStringList{c.message}) << c.name;
            EXPECT_EQ(prompt.captions, QStringList{c.caption}) << c.name;
            EXPECT_EQ(dlg.focusWidget(), c.focus) << c.name;
            EXPECT_TRUE(dlg.isVisible()) << c.name;
            EXPECT_EQ(dlg.edtApplicationName->text(), c.name) << "contents stay";
        } else {
            EXPECT_TRUE(prompt.messages.isEmpty()) << c.name;
            EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.name;
        }
    }
}

TEST_F(DialogTest, ApplicationFileComesFromThePicker)
{
    TfrmApplication dlg(config.get());
    prompt.fileNames = {dir.filePath("flows/a.svx"), QString()};
    dlg.btnSelectFileClick();
    EXPECT_EQ(dlg.edtApplicationFile->text(), dir.filePath("flows/a.svx"));
    dlg.btnSelectFileClick();  // cancelled
    EXPECT_EQ(dlg.edtApplicationFile->text(), dir.filePath("flows/a.svx"));
}

TEST_F(DialogTest, GroupChecksInOrder)
{
    TfrmGroup dlg(config.get());
    EXPECT_EQ(dlg.windowTitle(), "Group");
    EXPECT_EQ(dlg.lblApplication->text(), "&Application: ");
    dlg.fillApplications();
    ASSERT_EQ(dlg.cmbApplication->count(), 2);
    EXPECT_EQ(dlg.cmbApplication->currentIndex(), -1);
    dlg.show();
    // Tab goes down the fields, then to the buttons.
    const auto nextTabStop = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(w->window()));
        return w;
    };
    EXPECT_EQ(nextTabStop(dlg.edtGroupName), dlg.cmbApplication);
    EXPECT_EQ(nextTabStop(dlg.cmbApplication), dlg.btnOk);
    EXPECT_EQ(nextTabStop(dlg.btnOk), dlg.btnCancel);

    // A new group named like an existing one is refused, whichever group happens to be selected.
    dlg.EditedItem = -1;
    dlg.edtGroupName->setText("Sales");
    dlg.cmbApplication->setCurrentIndex(0);
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages, QStringList{"Name has been used by another Group. "});
    EXPECT_EQ(prompt.captions, QStringList{"Sorvix IVR"});

    dlg.edtGroupName->setText("Day");
    dlg.cmbApplication->setCurrentIndex(-1);
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages.last(), "Please select Application");
    EXPECT_EQ(prompt.captions.last(), "Sorvix IVR");
    EXPECT_EQ(dlg.focusWidget(), dlg.cmbApplication);

    dlg.edtGroupName->clear();
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages.last(), "Name cann't be empty");
    EXPECT_EQ(dlg.focusWidget(), dlg.edtGroupName);

    // Editing keeps its own name.
    dlg.EditedItem = 0;
    dlg.edtGroupName->setText("sales");
    dlg.cmbApplication->setCurrentIndex(1);
    dlg.btnOkClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.chosenApplication(), 1);
}

TEST_F(DialogTest, GroupWithoutApplicationsCanOnlyBeCancelled)
{
    ConsoleConfig empty(store.get());
    TfrmGroup dlg(&empty);
    dlg.fillApplications();
    dlg.edtGroupName->setText("Day");
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages, QStringList{"Please select Application"});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
}

TEST_F(DialogTest, AddressChecksAndListEnabling)
{
    TfrmAddress dlg;
    EXPECT_EQ(dlg.radApplication->text(), "Application");
    EXPECT_EQ(dlg.radGroup->text(), "Group");
    dlg.cmbApplication->addItem("Bank", 0);
    dlg.cmbGroup->addItem("Sales", 0);
    dlg.cmbApplication->setCurrentIndex(-1);
    dlg.cmbGroup->setCurrentIndex(-1);
    dlg.clearRadios();
    dlg.show();
    EXPECT_FALSE(dlg.cmbApplication->isEnabled());
    EXPECT_FALSE(dlg.cmbGroup->isEnabled());

    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages, QStringList{"Please select Application or Group"});
    EXPECT_EQ(prompt.captions, QStringList{"Sorvix IVR"});

    dlg.radApplication->click();
    EXPECT_TRUE(dlg.cmbApplication->isEnabled());
    EXPECT_FALSE(dlg.cmbGroup->isEnabled());
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages.last(), "Please select Application");
    EXPECT_EQ(dlg.focusWidget(), dlg.cmbApplication);

    dlg.radGroup->click();
    EXPECT_FALSE(dlg.cmbApplication->isEnabled());
    EXPECT_TRUE(dlg.cmbGroup->isEnabled());
    dlg.btnOkClick();
    EXPECT_EQ(prompt.messages.last(), "Please select Group");
    EXPECT_EQ(prompt.captions.last(), "Sorvix IVR");

    dlg.cmbGroup->setCurrentIndex(0);
    dlg.btnOkClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(prompt.messages.size(), 3);
}

TEST_F(DialogTest, PickListGivesTheChosenRowsInListOrder)
{
    TfrmAdd dlg;
    dlg.addEntry("Line 2", 1);
    dlg.addEntry("Line 4", 3);
    dlg.addEntry("Line 5", 4);
    EXPECT_TRUE(dlg.chosenRows().empty());
    dlg.lbAdd->item(2)->setSelected(true);
    dlg.lbAdd->item(0)->setSelected(true);
    EXPECT_EQ(dlg.chosenRows(), (std::vector<int>{1, 4}));
    EXPECT_EQ(dlg.lbAdd->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(DialogTest, ApplicationAndGroupShowWhatTheyAreGivenAndGiveBackWhatWasEntered)
{
    TfrmApplication app(config.get());
    app.setValues(1, {"Shop", "/s.svx"});
    EXPECT_EQ(app.EditedItem, 1);
    EXPECT_EQ(app.edtApplicationName->text(), "Shop");
    EXPECT_EQ(app.edtApplicationFile->text(), "/s.svx");
    app.edtApplicationName->setText("Outlet");
    EXPECT_EQ(app.values().name, "Outlet");
    EXPECT_EQ(app.values().flowFile, "/s.svx");
    app.setValues(-1, {});
    EXPECT_EQ(app.EditedItem, -1);
    EXPECT_TRUE(app.edtApplicationName->text().isEmpty());
    EXPECT_TRUE(app.edtApplicationFile->text().isEmpty());

    // The group's application is chosen by its row; the list is made afresh each time.
    TfrmGroup group(config.get());
    group.setValues(0, {"Sales", 1});
    group.setValues(0, {"Sales", 0});
    EXPECT_EQ(group.EditedItem, 0);
    ASSERT_EQ(group.cmbApplication->count(), 2);
    EXPECT_EQ(group.cmbApplication->currentText(), "Bank");
    group.edtGroupName->setText("Team");
    EXPECT_EQ(group.values().name, "Team");
    EXPECT_EQ(group.values().application, 0);
    group.setValues(-1, {});
    EXPECT_EQ(group.cmbApplication->currentIndex(), -1);
    EXPECT_EQ(group.values().application, -1);
    EXPECT_TRUE(group.edtGroupName->text().isEmpty());
}

TEST_F(DialogTest, AddressShowsTheBindingItIsGiven)
{
    using Binding = ConsoleConfig::Binding;
    struct Case {
        const char* what;
        Binding binding;
        int target;
        bool checked;
        bool application, group;  // radio buttons checked
        int applicationRow, groupRow;  // selected entries
    } cases[] = {
        {"bound to Shop", Binding::Application, 1, true, true, false, 1, 0},
        {"in Night", Binding::Group, 1, true, false, true, 0, 1},
        {"unbound", Binding::None, -1, true, false, false, 0, 0},
        {"several, the first in Night", Binding::Group, 1, false, false, false, 0, 1},
    };
    TfrmAddress dlg;
    dlg.show();
    for (const Case& c : cases) {
        dlg.setValues({c.what, {"Bank", "Shop"}, {"Sales", "Night"}, c.binding, c.target, c.checked});
        EXPECT_EQ(dlg.windowTitle(), c.what);
        EXPECT_EQ(dlg.radApplication->isChecked(), c.application) << c.what;
        EXPECT_EQ(dlg.radGroup->isChecked(), c.group) << c.what;
        EXPECT_EQ(dlg.cmbApplication->count(), 2) << c.what;
        EXPECT_EQ(dlg.chosenApplication(), c.applicationRow) << c.what;
        EXPECT_EQ(dlg.chosenGroup(), c.groupRow) << c.what;
        EXPECT_EQ(dlg.cmbApplication->isEnabled(), c.application) << c.what;
        EXPECT_EQ(dlg.cmbGroup->isEnabled(), c.group) << c.what;
        const auto [binding, target] = dlg.chosenBinding();
        EXPECT_EQ(binding, c.application ? Binding::Application : c.group ? Binding::Group : Binding::None) << c.what;
        EXPECT_EQ(target, c.application ? c.applicationRow : c.group ? c.groupRow : -1) << c.what;
    }
    // Lists without entries choose nothing.
    dlg.setValues({"Line 1", {}, {}, Binding::None, -1, true});
    EXPECT_EQ(dlg.chosenApplication(), -1);
    EXPECT_EQ(dlg.chosenGroup(), -1);
}

TEST_F(DialogTest, PickListOffersOnlyTheEntriesGivenLast)
{
    TfrmAdd dlg;
    dlg.setEntries("Address", {{"Line 1", 0}, {"Line 2", 1}});
    dlg.lbAdd->item(1)->setSelected(true);
    dlg.setEntries("Group", {{"Night", 1}});
    EXPECT_EQ(dlg.windowTitle(), "Group");
    ASSERT_EQ(dlg.lbAdd->count(), 1);
    EXPECT_EQ(dlg.lbAdd->item(0)->text(), "Night");
    EXPECT_TRUE(dlg.chosenRows().empty());
    dlg.lbAdd->item(0)->setSelected(true);
    EXPECT_EQ(dlg.chosenRows(), std::vector<int>{1});
}

TEST_F(DialogTest, ChineseRefusalsCarryTheChineseProductTitle)
{
    setTextLanguage(true);
    setAdminTextLanguage(true);
    initProductTexts();
    TfrmApplication dlg(config.get());
    dlg.edtApplicationName->setText("Fax");
    dlg.btnOKClick();
    EXPECT_EQ(prompt.messages, QStringList{QStringLiteral("请输入流程文件")});
    EXPECT_EQ(prompt.captions.first(), QStringLiteral("Sorvix 语音应答系统"));
    setTextLanguage(false);
    setAdminTextLanguage(false);
    initProductTexts();
}

}  // namespace
