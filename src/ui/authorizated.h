#pragma once

#include <functional>

#include "channels/channeloptions.h"
#include "ui/sorvixform.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

// The channel properties dialog: the editor's debug options and each console channel's settings.
// One instance lives for the program's run; its address and sound-device lists are those present
// when it was created.
class TfrmAuthorizated : public TSorvixDlg {
    Q_OBJECT
public:
    // (address index, gateway index or -1 when the gateway is off, error text): an error text
    // left empty accepts; any other text is shown and the dialog stays open.
    using CheckAddressEvent = std::function<void(int address, int gateway, QString* error)>;

    // device: asked once for its addresses and gateway address (null: none). waves: the sound devices.
    TfrmAuthorizated(ITAPI3Device* device, const WaveDeviceList& waves, QWidget* parent = nullptr);

    // Shows the record, runs the dialog and writes the values back on OK only. Returns the
    // dialog's result (QDialog::Accepted = 1 on OK).
    int ExecuteOptions(TChannelOptions& options);
    // The record from the values of key; false (with a text for the user) when the store fails.
    bool LoadOptions(const RegistryKey& key, TChannelOptions& options, QString* error = nullptr);
    // Writes the record into key, "AutoStart" only when WriteAutoStart. A failure is shown to the
    // user (captioned with the product title) and answered false; the key is then unchanged.
    bool SaveOptions(const RegistryKey& key, const TChannelOptions& options, bool WriteAutoStart);

    // The caption, with the read-only mark and OK disabled while the channel's flow runs.
    void SetCaption(const QString& caption, bool running);
    // Hides the spacer above the properties and shortens the dialog by its height.
    void hideTopSpacer();

    const ChannelOptionLists& lists() const { return lists_; }

    CheckAddressEvent OnCheckAddress;
    int GatewayAddressIndex = -1;

    QWidget* pnlTop;
    QWidget* pnlAuthorizated;
    QLabel* lblChannelAddress;
    QComboBox* cmbAddress;
    QCheckBox* chkGateway;
    QCheckBox* chkAutoStart;
    QGroupBox* grpGateway;
    QLabel* lblGateway;
    QComboBox* cmbGateway;
    QLabel* lblModemPlay;
    QComboBox* cmbModemPlay;
    QLabel* lblModemRecord;
    QComboBox* cmbModemRecord;
    QGroupBox* grpSpeakerPhone;
    QRadioButton* radOnHook;
    QRadioButton* radSpeaker;
    QRadioButton* radMicSpeaker;
    QCheckBox* chkTransmitDTMF;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

    // The rules, bound to the user's changes and run when the dialog is shown.
    void chkGatewayClick();
    void cmbAddressChange();
    void cmbGatewayChange();
    void cmbModemPlayChange();
    void btnOKClick();
    void btnHelpClick();

protected:
    // Runs the dialog modally; tests drive the shown dialog instead.
    virtual int runModal();
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate(ITAPI3Device* device);
    void fill(const TChannelOptions& options);
    void readBack(TChannelOptions& options) const;
    void applyAddressRule();
    void applyPlayRule();
    void refuse(const QString& text, QWidget* focus);

    ChannelOptionLists lists_;
};
