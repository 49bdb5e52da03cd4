// The editor's debugger commands: run, step, execute and stop the active flow on the device
// address of the debug options, and edit those options.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "ui/authorizated.h"
#include "channels/channeloptions.h"
#include "ui/prompt.h"
#include "editor/flowform.h"
#include "editor/mdimain.h"
#include "editor/startup.h"
#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/runner.h"
#include "engine/texts.h"
#include "platform/registry.h"

TfrmAuthorizated* TfrmSorvixEdit::debugOptionsDialog()
{
    if (!frmAuthorizated) {
        const std::unique_ptr<WaveDeviceList> waves = WaveDeviceList::system();
        adoptDebugOptionsDialog(new TfrmAuthorizated(TAPI3Device.get(), *waves, this));
    }
    return frmAuthorizated;
}

void TfrmSorvixEdit::StartFlow(bool debug, bool step)
{
    if (FDebugWindow) {
        // Run and Step are enabled only while the run is paused; anything else would release the
        // runner's next pause before it comes.
        if (!acRun->isEnabled()) return;
        FlowPaused(false);
        FDebugWindow->FFlow->Run({.debug = debug, .step = step});
        return;
    }
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;

    TfrmAuthorizated* options = debugOptionsDialog();
    if (!FOptionsConfirmed || options->cmbAddress->currentIndex() < 0) {
        if (options->cmbAddress->count() == 0) {
            Prompt::instance().message(this, txt::NoDebugAddress, ProductTitle, Prompt::Kind::Information,
                                       Prompt::Buttons::Ok);
            return;
        }
        if (ShowDebugOptions() != QDialog::Accepted) return;
    }

    TIVRFlow* flow = w->FFlow;
    // The runner asks on the main thread and waits for the answer. A run being stopped gets no
    // question: its answer would not be used.
    flow->OnErrorQuestion = [this, flow](const QString& text, const QString& caption) {
        if (const TFlowThread* runner = flow->FlowThread(); !runner || runner->terminateRequested()) return false;
        return Prompt::instance().message(this, text, caption, Prompt::Kind::Question, Prompt::Buttons::YesNo) ==
               Prompt::Yes;
    };
    flow->Run({.debug = debug,
               .step = step,
               .addressIndex = DebugOptions.Address,
               .gatewayIndex = DebugOptions.Gateway,
               .waveOut = DebugOptions.ModemPlay - 1,
               .waveIn = DebugOptions.ModemRecord - 1,
               .hookMode = DebugOptions.HookSwitchMode,
               .transmitDtmf = DebugOptions.TransmitDTMF});

    FDebugWindow = w;
    w->UpdateCaption(flow->Modified);
    EnablePalette(!flow->Running());
    SetRunActions(false);
}

int TfrmSorvixEdit::ShowDebugOptions()
{
    TfrmAuthorizated* options = debugOptionsDialog();
    const bool running = FDebugWindow != nullptr;
    options->SetCaption(txt::OptionCaption, running);
    if (running) {
        // Read-only: whatever the dialog answers, the running options stay as they are.
        TChannelOptions copy = DebugOptions;
        return options->ExecuteOptions(copy);
    }
    const int result = options->ExecuteOptions(DebugOptions);
    if (result == QDialog::Accepted) {
        FOptionsConfirmed = true;
        RegistryStore store;
        // The save creates the key in its own transaction: one bounded wait when another
        // program holds the store. A failed write is shown by SaveOptions; the confirmed
        // options still hold for this run.
        const RegistryKey key(&store, productKeyPath());
        options->SaveOptions(key, DebugOptions, false);
    }
    return result;
}

void TfrmSorvixEdit::FlowPaused(bool paused)
{
    if (!FDebugWindow) return;
    acRun->setEnabled(paused);
    acStep->setEnabled(paused);
    showFlowWindow(FDebugWindow);
}

void TfrmSorvixEdit::FlowFinished()
{
    if (FDebugWindow) FDebugWindow->UpdateCaption(FDebugWindow->FFlow->Modified);
    FDebugWindow = nullptr;
    TfrmFlow* active = activeFlowWindow();
    EnablePalette(active && !active->FFlow->Running());
    SetRunActions(true);
}

namespace {

QString recoveredFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Sorvix/recovered");
}

// The list of the recovery copies made since the user was last told of them, one path a line.
QString recoveryListFile()
{
    return recoveredFolder() + QStringLiteral("/copies.txt");
}

QStringList readRecoveryList()
{
    QFile file(recoveryListFile());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList names = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    names.removeAll(QString());
    return names;
}

bool writeRecoveryList(const QStringList& names)
{
    if (names.isEmpty()) return !QFileInfo::exists(recoveryListFile()) || QFile::remove(recoveryListFile());
    if (!QDir().mkpath(recoveredFolder())) return false;
    QByteArray bytes;
    for (const QString& name : names) bytes += name.toUtf8() + '\n';
    QString error;
    return flowfile::saveBytes(recoveryListFile(), bytes, &error);
}

}  // namespace

QString TfrmSorvixEdit::RecoveryFileName(const TIVRFlow& flow)
{
    QString folder, base;
    if (!flow.FileName.isEmpty()) {
        const QFileInfo fi(flow.FileName);
        folder = fi.absolutePath();
        base = fi.completeBaseName();
    } else {
        folder = recoveredFolder();
        base = QFileInfo(flow.FlowName).fileName();
    }
    // An earlier copy is not overwritten: it may be the only one of other work.
    QString name = QDir(folder).filePath(base + QStringLiteral(".recovered.svx"));
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QDir(folder).filePath(base + QStringLiteral(".recovered-%1.svx").arg(n));
    return name;
}

QStringList TfrmSorvixEdit::StopForSignal()
{
    // The runner first: it reads the tree that is written below.
    for (TfrmFlow* w : flowWindows())
        if (w->FFlow->Running()) w->FFlow->Stop();
    QStringList report;
    QStringList kept = readRecoveryList();
    for (TfrmFlow* w : flowWindows()) {
        const TIVRFlow& flow = *w->FFlow;
        if (!flow.Modified) continue;
        const QString copy = RecoveryFileName(flow);
        QString message;
        if (!QDir().mkpath(QFileInfo(copy).absolutePath()))
            message = QStringLiteral("cannot make the folder %1").arg(QFileInfo(copy).absolutePath());
        else if (flowfile::saveBytes(copy, flowfile::write(flow), &message)) {
            message.clear();
            kept << QFileInfo(copy).absoluteFilePath();
        }
        report << (message.isEmpty() ? QStringLiteral("unsaved changes of %1 kept in %2").arg(flow.FlowName, copy)
                                     : QStringLiteral("unsaved changes of %1 lost: %2").arg(flow.FlowName, message));
    }
    // The next start tells of them.
    if (!writeRecoveryList(kept)) report << QStringLiteral("cannot note the recovery copies in %1").arg(recoveryListFile());
    return report;
}

QStringList TfrmSorvixEdit::RecoveredCopies()
{
    QStringList copies;
    for (const QString& name : readRecoveryList())
        if (QFileInfo(name).isFile() && !copies.contains(name)) copies << name;
    return copies;
}

void TfrmSorvixEdit::OfferRecoveredCopies()
{
    const QStringList copies = RecoveredCopies();
    // Told once: the copies stay where they are, the list is done with.
    writeRecoveryList({});
    if (copies.isEmpty()) return;
    QStringList lines;
    for (const QString& copy : copies) lines << QDir::toNativeSeparators(copy);
    const QString text = txt::RecoveredCopiesFound + QStringLiteral("\r\n") + lines.join(QStringLiteral("\r\n")) +
                         QStringLiteral("\r\n") + txt::OpenRecoveredCopies;
    if (Prompt::instance().message(this, text, ProductTitle, Prompt::Kind::Question, Prompt::Buttons::YesNo) !=
        Prompt::Yes)
        return;
    for (const QString& copy : copies) OpenFlowFile(copy);
}
