// The main window's side of the channel supervision: the channel commands, their message boxes
// and the channel rows' columns. The work itself is ChannelSupervisor's.
#include "console/adminmain.h"

#include <QAction>

#include "channels/admintexts.h"
#include "console/consolelist.h"
#include "channels/supervisor.h"
#include "ui/authorizated.h"
#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "engine/texts.h"

namespace {

const QString CrLf = QStringLiteral("\r\n");

std::vector<int> allRows(int count)
{
    std::vector<int> rows(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) rows[size_t(i)] = i;
    return rows;
}

}  // namespace

void TfrmSorvixAdmin::LoadChannelOptions()
{
    QString error;
    const ChannelOptionLists lists = frmAuthorizated ? frmAuthorizated->lists()
                                                     : ChannelOptionLists::collect(TAPI3Device.get(), *WaveDeviceList::system());
    const bool read = FSupervisor->LoadChannelOptions(lists, &error);
    // A store that could not be read: the user chose whether to keep what could.
    if ((!read && !askUnreadableStore(error)) || (FStoreAsked && !FKeepWhatWasRead)) FSupervisor->ForgetChannelOptions();
}

void TfrmSorvixAdmin::channelRowChanged(int i)
{
    if (i < 0 || i >= lvAllAuthorization->rowCount()) return;
    lvAllAuthorization->setText(i, 1, FSupervisor->addressText(i));
    lvAllAuthorization->setText(i, 2, FSupervisor->gatewayText(i));
    // A channel that stopped by itself, or did not start with the console, says why.
    QString state = FSupervisor->stateText(i);
    const QString why = FSupervisor->stopReason(i);
    if (!why.isEmpty()) state = state.isEmpty() ? why : state + QStringLiteral(" (") + why + QLatin1Char(')');
    lvAllAuthorization->setText(i, 3, state);
    lvAllAuthorization->setToolTip(i, 3, why);
    if (!why.isEmpty()) lvAllAuthorization->growColumnToContents(3);
    lvAllAuthorizationChange();
}

bool TfrmSorvixAdmin::StartChannel(int i, QString* error)
{
    const bool started = FSupervisor->StartChannel(i, error);
    lvAllAuthorizationChange();
    return started;
}

void TfrmSorvixAdmin::StopChannel(int row)
{
    FSupervisor->StopChannel(row);
    lvAllAuthorizationChange();
}

void TfrmSorvixAdmin::CheckAddressInUse(int address, int gateway, QString* error)
{
    FSupervisor->CheckAddressInUse(address, gateway, error);
}

void TfrmSorvixAdmin::AutoStartChannels()
{
    for (int i = 0; i < FSupervisor->channelCount(); ++i) {
        if (!FSupervisor->FChannels[size_t(i)].AutoStart) continue;
        QString error;
        StartChannel(i, &error);
        if (error.isEmpty()) continue;
        qWarning("SorvixAdmin: %s did not start: %s", qPrintable(FChannelNames.value(i)),
                 qPrintable(QString(error).replace(CrLf, QStringLiteral(" "))));
        FSupervisor->setStartFailure(i, error);
    }
}

// ---- property and reset ----

void TfrmSorvixAdmin::acSetAddressExecute()
{
    const int i = lvAllAuthorization->firstSelected();
    if (i < 0 || !frmAuthorizated) return;
    // A running channel's settings are shown, not changed.
    const bool running = FSupervisor->isRunning(i);
    frmAuthorizated->SetCaption(FChannelNames.value(i), running);
    TChannelOptions record = FSupervisor->FChannels[size_t(i)];
    if (frmAuthorizated->ExecuteOptions(record) != QDialog::Accepted || running) return;
    QString error;
    if (!FSupervisor->SetChannelOptions(i, record, &error) && !error.isEmpty())
        Prompt::instance().message(this, error, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
}

bool TfrmSorvixAdmin::resetChannels(const std::vector<int>& rows)
{
    int left = int(rows.size());
    for (int i : rows) {
        --left;
        if (FSupervisor->isRunning(i)) {
            const QString text = FChannelNames.value(i) + adm::ChannelRunning;
            if (left < 1) {
                Prompt::instance().message(this, text, ProductTitle, Prompt::Kind::Warning, Prompt::Buttons::Ok);
            } else if (Prompt::instance().message(this, text + CrLf + txt::Continue, ProductTitle,
                                                  Prompt::Kind::Question, Prompt::Buttons::YesNo) != Prompt::Yes) {
                return false;
            }
            continue;
        }
        QString error;
        if (!FSupervisor->ResetChannelOptions(i, &error)) {
            Prompt::instance().message(this, error, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
            return false;
        }
    }
    return true;
}

void TfrmSorvixAdmin::acClearAuthorizationSetExecute()
{
    resetChannels(lvAllAuthorization->selectedRows());
}

void TfrmSorvixAdmin::acAuthorizatedResetAllExecute()
{
    resetChannels(allRows(lvAllAuthorization->rowCount()));
}

// ---- start and stop ----

void TfrmSorvixAdmin::startChannels(const std::vector<int>& rows)
{
    int left = int(rows.size());
    for (int i : rows) {
        QString error;
        StartChannel(i, &error);
        --left;
        if (error.isEmpty()) continue;
        const QString text = FChannelNames.value(i) + QLatin1Char(' ') + adm::RunError + CrLf + error;
        if (left < 1) {
            Prompt::instance().message(this, text, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
        } else if (Prompt::instance().message(this, text + CrLf + txt::Continue, ProductTitle, Prompt::Kind::Question,
                                              Prompt::Buttons::YesNo) != Prompt::Yes) {
            break;
        }
    }
    lvAllAuthorizationChange();
}

void TfrmSorvixAdmin::acStartExecute()
{
    startChannels(lvAllAuthorization->selectedRows());
}

void TfrmSorvixAdmin::acStartAllExecute()
{
    startChannels(allRows(lvAllAuthorization->rowCount()));
}

void TfrmSorvixAdmin::acStopExecute()
{
    FSupervisor->StopChannels(lvAllAuthorization->selectedRows());
    lvAllAuthorizationChange();
}

void TfrmSorvixAdmin::acStopAllExecute()
{
    FSupervisor->StopAll();
    lvAllAuthorizationChange();
}
