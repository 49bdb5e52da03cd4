#pragma once

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "channels/configmodel.h"
#include "ui/sorvixform.h"

class ChannelSupervisor;
class ConsoleListView;
class ITAPI3Device;
class QAction;
class QActionGroup;
class QDialog;
class QMenu;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class RegistryStore;
class TfrmAboutSorvix;
class TfrmAdd;
class TfrmAddress;
class TfrmApplication;
class TfrmAuthorizated;
class TfrmGroup;
class TfrmSorvixAdmin;

// The console's windows, one each, created by the program entry in this order and reused for the
// whole run (createConsoleDialogs makes the dialogs). The main window reaches the dialogs here.
extern TfrmSorvixAdmin* frmSorvixAdmin;
extern TfrmApplication* frmApplication;
extern TfrmGroup* frmGroup;
extern TfrmAdd* frmAdd;
extern TfrmAboutSorvix* frmAboutSorvix;
extern TfrmAuthorizated* frmAuthorizated;
extern TfrmAddress* frmAddress;

// Creates the dialogs after the main window (owned by it), trims the channel properties dialog
// to what the console needs and binds its address check to the main window.
void createConsoleDialogs(TfrmSorvixAdmin* main);

// The channel console's main window: a tree with the channels, the applications, the device
// addresses and the groups on the left, the list of the selected node on the right. Every
// change goes to the registry store at once (through ConsoleConfig); the tree and the lists follow
// the model's signals.
class TfrmSorvixAdmin : public TSorvixForm {
    Q_OBJECT
public:
    // The kinds of tree node.
    enum NodeKind { nkChannels = 0, nkApplications = 1, nkApplication = 2, nkAddresses = 3, nkGroups = 4, nkGroup = 5 };

    // device: the process's telephony device, asked once for its addresses. registryFile: the
    // store of the configuration.
    TfrmSorvixAdmin(std::shared_ptr<ITAPI3Device> device, const QString& registryFile, QWidget* parent = nullptr);
    ~TfrmSorvixAdmin() override;

    ConsoleConfig& config() { return *FConfig; }
    ChannelSupervisor& supervisor() { return *FSupervisor; }
    RegistryStore* registry() const { return FRegistry.get(); }

    // The selected tree node's kind; -1 when none is selected.
    int selectedKind() const;
    // The row the selected application or group node stands for; -1 for other nodes.
    int selectedNodeRow() const;
    // Selects a node (the tree then shows its list).
    void selectNode(QTreeWidgetItem* node);
    // The menu that the Operate button drops down for the selected node.
    QMenu* operateMenu() const { return FOperateMenu; }
    // The lists that the selected node shows.
    std::vector<ConsoleListView*> shownLists() const;

    // Runs a dialog modally and answers its result; tests replace it to drive the dialog.
    std::function<int(QDialog&)> runDialog;

    std::shared_ptr<ITAPI3Device> TAPI3Device;
    int FAddressCount = 0;
    int FGatewayAddressIndex = -1;
    QTreeWidgetItem* FChannelsNode = nullptr;
    QTreeWidgetItem* FApplicationsNode = nullptr;
    QTreeWidgetItem* FAddressesNode = nullptr;
    QTreeWidgetItem* FGroupsNode = nullptr;

    QToolBar* bandMenu;
    QMenuBar* tbarMenu;
    QToolBar* tbarTool;
    QSplitter* splitMain;
    QTreeWidget* tvMain;
    QWidget* pnlLists;
    QSplitter* splitSub;
    ConsoleListView* lvAllAuthorization;
    ConsoleListView* lvAllApplication;
    ConsoleListView* lvAllAddress;
    ConsoleListView* lvAllGroup;
    ConsoleListView* lvAddress;
    ConsoleListView* lvGroup;
    QStatusBar* StatusLine;

    QAction* mnuRunButton;
    QAction* mnuOperateButton;
    QAction* mnuViewButton;
    QAction* mnuHelpButton;

    QMenu* popmApplication;
    QMenu* popmAllGroup;
    QMenu* popmAllAddress;
    QMenu* popmAuthorization;
    QMenu* popmAddress;
    QMenu* popmGroup;
    QMenu* popmOperateAddressAndGroup;
    QMenu* popmRun;
    QMenu* popmView;
    QMenu* popmExplorBar;
    QMenu* popmHelp;

    QAction* acNewApplication;
    QAction* acDeleteApplication;
    QAction* acEditApplication;
    QAction* acNewGroup;
    QAction* acDeleteGroup;
    QAction* acEditGroup;
    QAction* acAddAddress;
    QAction* acRemoveAddress;
    QAction* acAddGroup;
    QAction* acRemoveGroup;
    QAction* acSetApplication;
    QAction* acClearAddressSet;
    QAction* acClearAllAddressSet;
    QAction* acSetAddress;
    QAction* acClearAuthorizationSet;
    QAction* acAuthorizatedResetAll;
    QAction* acStartAll;
    QAction* acStart;
    QAction* acStop;
    QAction* acStopAll;
    QAction* acToolBar;
    QAction* acStatusBar;
    QAction* acShowExplorBar;
    QAction* acAuthorization;
    QAction* acApplication;
    QAction* acAddress;
    QAction* acGroup;
    QAction* acLargeIcon;
    QAction* acSmallIcon;
    QAction* acList;
    QAction* acDetail;
    QAction* acHelpContent;
    QAction* acAbout;
    // The items of popmOperateAddressAndGroup, which carry the commands under their own captions.
    QAction* miAddAddress;
    QAction* miRemoveAddress;
    QAction* miAddGroup;
    QAction* miRemoveGroup;

    // Tree and lists.
    void tvMainChange();
    // Every action's enabling from the selected node and the lists' selections.
    void updateActions();

    // Applications, groups, addresses.
    void acNewApplicationExecute();
    void acEditApplicationExecute();
    void acDeleteApplicationExecute();
    void acNewGroupExecute();
    void acEditGroupExecute();
    void acDeleteGroupExecute();
    void acAddAddressExecute();
    void acRemoveAddressExecute();
    void acAddGroupExecute();
    void acRemoveGroupExecute();
    void acSetApplicationExecute();
    void acClearAddressSetExecute();
    void acClearAllAddressSetExecute();

    // Menu enabling as each menu opens.
    void popmApplicationPopup();
    void popmAllGroupPopup();
    void popmAllAddressPopup();
    void popmGroupPopup();
    void popmAuthorizationPopup();
    void lvAllAuthorizationChange();
    void popmViewPopup();
    void popmExplorBarPopup();

    // View.
    void acToolBarExecute();
    void acStatusBarExecute();
    void acShowExplorBarExecute();
    void setViewStyle(int style);

    void acHelpContentExecute();
    void acAboutExecute();
    // A second start of the console asked for this window: show it, raise it and activate it.
    void BringToFront();

    // Channels (supervision): the rows, their settings and running flows.
    QStringList channelNames() const { return FChannelNames; }
    void LoadChannelOptions();
    // Starts channel i; error is empty on success or when nothing was to be done.
    bool StartChannel(int i, QString* error);
    void StopChannel(int row);
    void CheckAddressInUse(int address, int gateway, QString* error);
    // The configuration store could not be read at start-up: says so in a box naming the file
    // and the reason (once), protects the file from every write, and answers the user's choice:
    // true to go on with what could be read, false to start with nothing.
    bool askUnreadableStore(const QString& reason);
    // Starts every channel set to start with the console, first to last. A channel that does not
    // start stays stopped without a message box; why is logged.
    void AutoStartChannels();
    // Rewrites a channel row's address, gateway and state columns from the supervisor.
    void channelRowChanged(int i);
    void acSetAddressExecute();
    void acClearAuthorizationSetExecute();
    void acAuthorizatedResetAllExecute();
    void acStartExecute();
    void acStartAllExecute();
    void acStopExecute();
    void acStopAllExecute();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void createActions();
    void createMenus();
    void createLayout();
    QAction* action(const QString& caption, int image = -1);
    int showModal(QDialog& dialog);
    void reportFailure();
    // Rewrites every list's columns from the model (names and bindings).
    void refreshColumns();
    // The selected node's own lists made afresh from the model, or made to follow it.
    void rebuildSubLists();
    void followSubLists();
    // The model's signals: the tree and the lists follow every change, whoever made it.
    void appendModelRow(ConsoleConfig::Table table, int row);
    void removeModelRows(ConsoleConfig::Table table, const std::vector<int>& rows);
    void modelChanged();
    void setOperateMenu(QMenu* menu);
    // The channel commands over some rows, first to last; the last row's failure gets an OK box,
    // every other row's a question whether to go on.
    void startChannels(const std::vector<int>& rows);
    bool resetChannels(const std::vector<int>& rows);

    std::unique_ptr<RegistryStore> FRegistry;
    std::unique_ptr<ConsoleConfig> FConfig;
    std::unique_ptr<ChannelSupervisor> FSupervisor;
    QStringList FChannelNames;
    QMenu* FOperateMenu = nullptr;
    bool FStoreAsked = false;
    bool FKeepWhatWasRead = true;
    QActionGroup* FExplorGroup = nullptr;
    QActionGroup* FStyleGroup = nullptr;
};
