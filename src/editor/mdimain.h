#pragma once

#include <QList>
#include <QPoint>
#include <array>
#include <memory>

#include "channels/channeloptions.h"
#include "ui/sorvixform.h"
#include "editor/palette.h"

class ITAPI3Device;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class TfrmAboutSorvix;
class TfrmAuthorizated;
class TfrmFlow;
class TIVRFlow;

// The editor's MDI frame: the statement palette, the file, edit, view, debug, window and help
// commands. Every flow lives in a TfrmFlow child; the commands act on the active one.
class TfrmSorvixEdit : public TSorvixForm {
    Q_OBJECT
public:
    // device: the process's telephony device, handed to every flow this window opens. Without one
    // (null: a scenario that cannot be read) flows still open and edit; a run then finds no channel.
    explicit TfrmSorvixEdit(std::shared_ptr<ITAPI3Device> device, QWidget* parent = nullptr);
    ~TfrmSorvixEdit() override;

    // The process's one telephony device; every flow window hands it to its flow.
    std::shared_ptr<ITAPI3Device> TAPI3Device;
    void setTelephonyDevice(std::shared_ptr<ITAPI3Device> device);

    QMdiArea* mdiArea = nullptr;
    QToolBar* tbarTool = nullptr;
    QToolBar* tbarCommand = nullptr;
    TStatementPanel* palettePanel = nullptr;
    std::array<TPaletteButton*, PaletteSize> FPalette{};
    TPaletteButton* tbtnDataDefine = nullptr;
    TPaletteButton* tbtnDataOperate = nullptr;
    TPaletteButton* tbtnFlowControl = nullptr;
    TPaletteButton* tbtnCardOperate = nullptr;
    TPaletteButton* FPressedButton = nullptr;
    QPoint FPressPoint;
    // The button whose pop-up menu is open.
    TPaletteButton* FPopupButton = nullptr;

    // Debugger state: the debug options (loaded at start-up), whether they were confirmed in this
    // run, and the window whose flow runs.
    TChannelOptions DebugOptions;
    bool FOptionsConfirmed = false;
    TfrmFlow* FDebugWindow = nullptr;
    // The folder of the last flow opened or saved under a new name: where the Open dialog starts.
    QString FLastFolder;

    // Actions: one each, with caption, shortcut, image and enabling.
    QAction *acNew, *acOpen, *acSave, *acSaveAs, *acSaveFlowText, *acClose, *acCloseAll, *acExit;
    QAction *acProperty, *acDelete, *acBreakPoint, *acClearAllBreakPoint, *acDisable, *acEnableAll;
    QAction *acExpandAllFlow, *acCollapseAllFlow, *acExpandCurFlow, *acCollapseCurFlow;
    QAction *acAdd, *acAddChildFirst;
    QAction *acRun, *acStep, *acStop, *acExecute, *acDebugOption;
    QAction *acWindowCascade, *acWindowTileHorizontal, *acWindowTileVertical, *acWindowMinimizeAll,
        *acWindowArrange, *acWindowNext, *acWindowPrevious;
    QAction *acHelpContent, *acHelpAbout;

    // The items of a menu that shows the edit commands; their enabling follows the selection when
    // the menu opens, while the commands (and their keys) stay enabled.
    struct EditItems {
        QAction *property = nullptr, *del = nullptr, *breakPoint = nullptr, *clearAllBreakPoint = nullptr,
                *disable = nullptr, *enableAll = nullptr;
        QAction *expandAll = nullptr, *collapseAll = nullptr, *expand = nullptr, *collapse = nullptr;
    };
    EditItems mnuEditItems;   // Edit menu (no expand items)
    EditItems mnuViewItems;   // View menu (expand items only)
    EditItems popmFlowItems;  // the tree's pop-up

    QMenu *mnuFile, *mnuEdit, *mnuView, *mnuStatementBar, *mnuDebug, *mnuWindow, *mnuHelp;
    QMenu *popmFlow, *popmCommandBar;
    QAction *mnuToolBar, *mnuStatementVisible, *mnuStatementText;

    // ---- operations ----
    // Opens a flow file in a new window, or brings its window forward; empty: a new flow. A name of
    // a file that does not exist is ignored silently.
    void OpenFlowFile(const QString& fileName);
    // Save the active flow; sender acSave titles the dialog "Save". True when saved.
    bool SaveFlow(QObject* sender, QString* error);
    bool SaveFlowAs(QObject* sender, QString* error);
    // Closes one flow window after the stop and save questions; true when it was closed.
    bool CloseFlow(TfrmFlow* window);
    bool CloseAllFlows();
    void EnableFlowActions(bool enabled);
    void EnablePalette(bool enabled);
    void SetEnglishHints(bool setTexts);

    // The active flow window (the current one of the MDI area), or none.
    TfrmFlow* activeFlowWindow() const;
    // Open flow windows, first opened first.
    QList<TfrmFlow*> flowWindows() const;
    // The window of the flow stored in the file, or none.
    TfrmFlow* findFlowWindow(const QString& fileName) const;
    // Whether two names reach the same file: their canonical absolute paths compared exactly.
    static bool sameFlowFile(const QString& a, const QString& b);

    // ---- debugger (mdidebug.cpp) ----
    void StartFlow(bool debug, bool step);
    int ShowDebugOptions();
    void SetRunActions(bool enabled);
    void FlowPaused(bool paused);
    void FlowFinished();

    // After a stop signal, before the program ends without asking: the debug run is stopped and
    // every flow with unsaved changes is written to a recovery copy (its own file stays as it
    // was), noted for the next start. Returns one line per flow kept or lost, for the program to report.
    QStringList StopForSignal();
    // Where a flow's recovery copy goes: beside its file ("x.svx" gives "x.recovered.svx"), or for
    // a flow without a file in the "recovered" folder of the user's data folder.
    static QString RecoveryFileName(const TIVRFlow& flow);
    // The recovery copies made by stop signals that the user has not been told of yet (those
    // still there), and the start-up's notice of them: which exist, and whether to open them.
    static QStringList RecoveredCopies();
    void OfferRecoveredCopies();
    // The Option dialog (frmAuthorizated), made when the start-up has not made it yet.
    TfrmAuthorizated* debugOptionsDialog();

    // ---- hand-over from a second start (startup.cpp) ----
    // Opens each line of the text (CR LF after each) as a flow file.
    void WMOpenFiles(const QString& text);

    // ---- handlers ----
    void acOpenExecute();
    void acSaveExecute();
    void acSaveAsExecute();
    void acSaveFlowTextExecute();
    void acCloseExecute();
    void acPropertyExecute();
    void acDeleteExecute();
    void acBreakPointExecute();
    void acDisableExecute();
    void acClearAllBreakPointExecute();
    void acEnableAllExecute();
    void acExpandAllFlowExecute();
    void acCollapseAllFlowExecute();
    void acExpandCurFlowExecute();
    void acCollapseCurFlowExecute();
    void acAddExecute();
    void acAddChildFirstExecute();
    void acWindowTileHorizontalExecute();
    void acWindowTileVerticalExecute();
    void acWindowMinimizeAllExecute();
    void acWindowArrangeExecute();
    void acHelpContentExecute();
    void acHelpAboutExecute();
    // Menus as they open.
    void mnuEditPopup();
    void mnuViewPopup();
    void popmFlowPopup();
    void mnuWindowPopup();
    // Prepares and shows the tree's pop-up menu.
    void popmFlowShow(const QPoint& globalPos);
    // Prepares the palette pop-up for the button.
    void popmCommandBarPopup(TPaletteButton* button);
    // Palette.
    void tbtnCategoryClick(int category);
    void tbtnClick(TPaletteButton* button, Qt::KeyboardModifiers modifiers);
    // View toggles.
    void mnuToolBarClick();
    void mnuStatementVisibleClick();
    void mnuStatementTextClick();

    TfrmAboutSorvix* aboutBox();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createPalette();
    QAction* editItem(QAction* command, bool checkable = false);
    void updateEditItems(const EditItems& items, bool popup);
    bool saveFlowOf(TfrmFlow* window, QObject* sender, QString* error);
    bool saveFlowAsOf(TfrmFlow* window, QObject* sender, QString* error);
    bool queryCloseFlow(TfrmFlow* window);
    void destroyFlowWindow(TfrmFlow* window);
    void showFlowWindow(TfrmFlow* window);
    void showError(const QString& text);
    QMdiSubWindow* subWindowOf(const TfrmFlow* window) const;
    bool paletteButtonEvent(TPaletteButton* button, QEvent* event);

    TfrmAboutSorvix* about_ = nullptr;
    // A palette drag ended; its button ignores the rest of that press.
    TPaletteButton* dragDone_ = nullptr;
    Qt::KeyboardModifiers releaseModifiers_;
    bool releaseSeen_ = false;
};

// The editor's main window, once created.
extern TfrmSorvixEdit* frmSorvixEdit;

// The images of the tool bar by index (0 New ... 8 Tile Vertical).
QIcon toolBarImage(int index);
