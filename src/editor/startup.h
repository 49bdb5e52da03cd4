#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

class TfrmAuthorizated;
class QWidget;
class TfrmSorvixEdit;

// The editor's channel properties dialog, used for its debug options; once made.
extern TfrmAuthorizated* frmAuthorizated;

// The name that marks the running editor and that a second start hands its files to.
extern const QString EditorInstanceName;

// Makes the dialog the editor's Option dialog: its auto-start box is hidden (the debug options have
// none) and the global forgets it when it is freed.
void adoptDebugOptionsDialog(TfrmAuthorizated* dialog);

// The main window's normal (not maximised) place on a screen's available area: centred, with
// room around it for a window manager's frame, so that leaving the maximised state gives a
// window that fits the screen.
QRect normalMainWindowGeometry(const QRect& available);

// Creates the dialogs of the editor once, after its main window, owned by that window.
void createEditorDialogs(TfrmSorvixEdit* main);

// Loads the main window's DebugOptions from the product key of the registry store (made when
// missing). A store that cannot be read is reported; the options then keep what was read.
void loadDebugOptions(TfrmSorvixEdit* main);

// The hand-over between two editor starts. The second start sends its file names as absolute
// paths (it knows its own working folder, the running editor does not), each followed by CR LF.
// The running editor opens them in the order they came, once its main window is ready; names that
// arrive before that wait for it.
class TEditorHandOver : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The message for the command-line arguments; empty arguments are left out.
    static QByteArray buildMessage(const QStringList& arguments);
    // The lines of a message or of a WMOpenFiles text; a final line break gives no empty line.
    static QStringList fileNames(const QString& text);

    // A message from a second start: opened now when the window is ready, else kept.
    void received(const QByteArray& message);
    // The window is ready: what was kept opens now, and later messages open at once.
    void setWindow(TfrmSorvixEdit* window);

    // Raises the window as a second start does: restored to its state before it was minimised
    // (maximised stays maximised), with its title bar on a screen.
    static void bringForward(QWidget* window);

    // Messages not opened yet, oldest first.
    QStringList pending() const { return pending_; }

private:
    void deliver();

    QPointer<TfrmSorvixEdit> window_;
    QStringList pending_;
    bool delivering_ = false;
};
