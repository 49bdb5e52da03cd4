// The main window's side of the channel supervision: the channel commands and the calls into
// ChannelSupervisor. Starting, stopping, the property and reset commands are still stubs.
#include "console/adminmain.h"

#include "console/supervisor.h"
#include "editor/common/authorizated.h"

void TfrmSorvixAdmin::LoadChannelOptions()
{
    if (frmAuthorizated) FSupervisor->LoadChannelOptions(frmAuthorizated->lists());
}

bool TfrmSorvixAdmin::StartChannel(int i, QString& error)
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

void TfrmSorvixAdmin::CheckAddressInUse(int address, int gateway, QString& error)
{
    FSupervisor->CheckAddressInUse(address, gateway, error);
}

void TfrmSorvixAdmin::AutoStartChannels()
{
    for (int i = 0; i < FSupervisor->channelCount(); ++i) {
        if (!FSupervisor->FChannels[size_t(i)].AutoStart) continue;
        QString error;
        StartChannel(i, error);
        if (!error.isEmpty())
            qWarning("SorvixAdmin: %s did not start: %s", qPrintable(FChannelNames.value(i)),
                     qPrintable(QString(error).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    }
}

// ---- Stubs: the channel supervision fills these in. ----

void TfrmSorvixAdmin::acSetAddressExecute() {}
void TfrmSorvixAdmin::acClearAuthorizationSetExecute() {}
void TfrmSorvixAdmin::acAuthorizatedResetAllExecute() {}
void TfrmSorvixAdmin::acStartExecute() {}
void TfrmSorvixAdmin::acStartAllExecute() {}
void TfrmSorvixAdmin::acStopExecute() {}
void TfrmSorvixAdmin::acStopAllExecute() {}
