#include "editor/startup.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include "ui/authorizated.h"
#include "channels/channeloptions.h"
#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "editor/dialogs/editregistry.h"
#include "editor/mdimain.h"
#include "platform/registry.h"

TfrmAuthorizated* frmAuthorizated = nullptr;

const QString EditorInstanceName = QStringLiteral("TfrmSorvixEdit");

namespace {
const QString LineBreak = QStringLiteral("\r\n");
}

void adoptDebugOptionsDialog(TfrmAuthorizated* dialog)
{
    frmAuthorizated = dialog;
    if (!dialog) return;
    dialog->chkAutoStart->hide();
    QObject::connect(dialog, &QObject::destroyed, [dialog] {
        if (frmAuthorizated == dialog) frmAuthorizated = nullptr;
    });
}

QRect normalMainWindowGeometry(const QRect& available)
{
    const QSize size(available.width() * 9 / 10, available.height() * 9 / 10);
    QRect place(QPoint(), size);
    place.moveCenter(available.center());
    return place;
}

void createEditorDialogs(TfrmSorvixEdit* main)
{
    // The statement property dialogs, then the about box, then the channel properties.
    installStatementDialogs(main);
    main->aboutBox();
    main->debugOptionsDialog();
}

void loadDebugOptions(TfrmSorvixEdit* main)
{
    TfrmAuthorizated* dialog = main->debugOptionsDialog();
    RegistryStore store;
    const RegistryKey key(&store, productKeyPath());
    key.create();
    QString error;
    if (!dialog->LoadOptions(key, main->DebugOptions, &error) && !error.isEmpty())
        Prompt::instance().message(main, error, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
}

// ---- the hand-over ----

QByteArray TEditorHandOver::buildMessage(const QStringList& arguments)
{
    QString text;
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        text += QDir::cleanPath(QFileInfo(argument).absoluteFilePath()) + LineBreak;
    }
    return text.toUtf8();
}

QStringList TEditorHandOver::fileNames(const QString& text)
{
    QStringList names = text.split(LineBreak);
    // An empty line would open a new flow: it names no file.
    names.removeAll(QString());
    return names;
}

void TEditorHandOver::received(const QByteArray& message)
{
    pending_ << QString::fromUtf8(message);
    deliver();
}

void TEditorHandOver::setWindow(TfrmSorvixEdit* window)
{
    window_ = window;
    deliver();
}

void TEditorHandOver::bringForward(QWidget* window)
{
    // Back in the state it had before it was minimised: a maximised window stays maximised.
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    if (!(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        // Its title bar where the user can take hold of it: on the screen nearest to it.
        const QRect frame = window->frameGeometry();
        QScreen* screen = QGuiApplication::screenAt(frame.center());
        if (!screen) screen = window->screen();
        if (screen) {
            const QRect avail = screen->availableGeometry();
            const QRect titleBar(frame.topLeft(), QSize(frame.width(), qMax(1, frame.height() - window->height())));
            if (!avail.contains(titleBar.topLeft()) || !avail.contains(titleBar.topRight())) {
                QPoint to = frame.topLeft();
                to.setX(qBound(avail.left(), to.x(), qMax(avail.left(), avail.right() - frame.width() + 1)));
                to.setY(qBound(avail.top(), to.y(), qMax(avail.top(), avail.bottom() - frame.height() + 1)));
                window->move(to);
            }
        }
    }
    window->raise();
    window->activateWindow();
}

void TEditorHandOver::deliver()
{
    // A load error's message box runs an event loop in which further messages can arrive; they
    // wait for the one being opened.
    if (delivering_) return;
    delivering_ = true;
    while (window_ && !pending_.isEmpty()) {
        const QString text = pending_.takeFirst();
        TfrmSorvixEdit* w = window_;
        bringForward(w);
        w->WMOpenFiles(text);
    }
    delivering_ = false;
}

void TfrmSorvixEdit::WMOpenFiles(const QString& text)
{
    for (const QString& name : TEditorHandOver::fileNames(text)) OpenFlowFile(name);
}
