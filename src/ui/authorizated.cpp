#include "ui/authorizated.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/help.h"
#include "ui/prompt.h"
#include "engine/device.h"
#include "engine/texts.h"
#include "engine/typedefine.h"
#include "platform/registry.h"

TfrmAuthorizated::TfrmAuthorizated(ITAPI3Device* device, const WaveDeviceList& waves, QWidget* parent)
    : TSorvixDlg(parent), lists_(ChannelOptionLists::collect(device, waves))
{
    FormCreate(device);
}

void TfrmAuthorizated::FormCreate(ITAPI3Device* device)
{
    if (device) {
        int gateway = -1;
        device->GetGatewayAddress(gateway);
        GatewayAddressIndex = gateway;
    }

    setWindowTitle(txt::OptionCaption);

    pnlTop = new QWidget(this);
    pnlTop->setFixedHeight(15);
    pnlAuthorizated = new QWidget(this);

    auto combo = [](const QStringList& items, QWidget* parent) {
        auto* c = new QComboBox(parent);
        c->addItems(items);
        c->setCurrentIndex(-1);
        c->setFixedWidth(200);
        return c;
    };
    lblChannelAddress = new QLabel(txt::OptionChannelAddress, pnlAuthorizated);
    cmbAddress = combo(lists_.Addresses, pnlAuthorizated);
    lblChannelAddress->setBuddy(cmbAddress);
    chkGateway = new QCheckBox(txt::OptionUsingGateway, pnlAuthorizated);
    chkAutoStart = new QCheckBox(txt::OptionAutoStart, pnlAuthorizated);

    grpGateway = new QGroupBox(txt::OptionGateway, pnlAuthorizated);
    lblGateway = new QLabel(txt::OptionGatewayAddress, grpGateway);
    cmbGateway = combo(lists_.Addresses, grpGateway);
    lblGateway->setBuddy(cmbGateway);
    lblModemPlay = new QLabel(txt::OptionPlay, grpGateway);
    cmbModemPlay = combo(lists_.Plays, grpGateway);
    lblModemPlay->setBuddy(cmbModemPlay);
    lblModemRecord = new QLabel(txt::OptionRecord, grpGateway);
    cmbModemRecord = combo(lists_.Records, grpGateway);
    lblModemRecord->setBuddy(cmbModemRecord);

    grpSpeakerPhone = new QGroupBox(txt::tnSpeakerPhone, grpGateway);
    radOnHook = new QRadioButton(txt::OptionNoHook, grpSpeakerPhone);
    radSpeaker = new QRadioButton(txt::OptionSpeaker, grpSpeakerPhone);
    radMicSpeaker = new QRadioButton(txt::OptionMicSpeaker, grpSpeakerPhone);
    radOnHook->setChecked(true);
    chkTransmitDTMF = new QCheckBox(txt::OptionTransmitDTMF, grpGateway);

    btnOK = new QPushButton(txt::Ok, pnlAuthorizated);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(txt::Cancel, pnlAuthorizated);
    btnHelp = new QPushButton(txt::Help, pnlAuthorizated);

    // Layout.
    auto* hooks = new QHBoxLayout(grpSpeakerPhone);
    hooks->addWidget(radOnHook);
    hooks->addWidget(radSpeaker);
    hooks->addWidget(radMicSpeaker);
    hooks->addStretch();

    auto* gateway = new QGridLayout(grpGateway);
    gateway->addWidget(lblGateway, 0, 0);
    gateway->addWidget(cmbGateway, 0, 1, Qt::AlignLeft);
    gateway->addWidget(lblModemPlay, 1, 0);
    gateway->addWidget(cmbModemPlay, 1, 1, Qt::AlignLeft);
    gateway->addWidget(lblModemRecord, 2, 0);
    gateway->addWidget(cmbModemRecord, 2, 1, Qt::AlignLeft);
    gateway->addWidget(grpSpeakerPhone, 3, 0, 1, 2);
    gateway->addWidget(chkTransmitDTMF, 4, 0, 1, 2);
    gateway->setColumnStretch(1, 1);

    auto* address = new QHBoxLayout;
    address->addWidget(lblChannelAddress);
    address->addWidget(cmbAddress);
    address->addStretch();

    auto* checks = new QHBoxLayout;
    checks->addWidget(chkGateway);
    checks->addSpacing(16);
    checks->addWidget(chkAutoStart);
    checks->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnHelp);

    auto* main = new QVBoxLayout(pnlAuthorizated);
    main->addLayout(address);
    main->addLayout(checks);
    main->addWidget(grpGateway);
    main->addLayout(buttons);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(pnlTop);
    outer->addWidget(pnlAuthorizated);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(cmbAddress, cmbGateway);
    setTabOrder(cmbGateway, cmbModemPlay);
    setTabOrder(cmbModemPlay, cmbModemRecord);
    setTabOrder(cmbModemRecord, radOnHook);
    setTabOrder(radOnHook, radSpeaker);
    setTabOrder(radSpeaker, radMicSpeaker);
    setTabOrder(radMicSpeaker, chkTransmitDTMF);
    setTabOrder(chkTransmitDTMF, btnOK);
    setTabOrder(btnOK, btnCancel);
    setTabOrder(btnCancel, btnHelp);
    setTabOrder(btnHelp, chkGateway);
    setTabOrder(chkGateway, chkAutoStart);

    // The rules react to the user only; fill() leaves them to the show.
    connect(chkGateway, &QCheckBox::clicked, this, &TfrmAuthorizated::chkGatewayClick);
    connect(cmbAddress, &QComboBox::activated, this, &TfrmAuthorizated::cmbAddressChange);
    connect(cmbGateway, &QComboBox::activated, this, &TfrmAuthorizated::cmbGatewayChange);
    connect(cmbModemPlay, &QComboBox::activated, this, &TfrmAuthorizated::cmbModemPlayChange);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAuthorizated::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmAuthorizated::btnHelpClick);
}

void TfrmAuthorizated::SetCaption(const QString& caption, bool running)
{
    setWindowTitle(running ? caption + txt::RunningReadOnly : caption);
    btnOK->setEnabled(!running);
}

void TfrmAuthorizated::hideTopSpacer()
{
    const int spacer = pnlTop->height();
    pnlTop->hide();
    resize(width(), height() - spacer);
}

int TfrmAuthorizated::ExecuteOptions(TChannelOptions& options)
{
    fill(options);
    const int result = runModal();
    if (result == QDialog::Accepted) readBack(options);
    return result;
}

int TfrmAuthorizated::runModal()
{
    return exec();
}

void TfrmAuthorizated::fill(const TChannelOptions& options)
{
    cmbAddress->setCurrentIndex(options.Address);
    chkAutoStart->setChecked(options.AutoStart);
    chkGateway->setChecked(options.UseGateway);
    cmbGateway->setCurrentIndex(options.Gateway);
    cmbModemPlay->setCurrentIndex(options.ModemPlay);
    cmbModemRecord->setCurrentIndex(options.ModemRecord);
    chkTransmitDTMF->setChecked(options.TransmitDTMF != 0);
    switch (options.HookSwitchMode) {
    case hsmSpeaker: radSpeaker->setChecked(true); break;
    case hsmMicSpeaker: radMicSpeaker->setChecked(true); break;
    default: radOnHook->setChecked(true); break;
    }
}

void TfrmAuthorizated::readBack(TChannelOptions& options) const
{
    options.Address = cmbAddress->currentIndex();
    options.UseGateway = chkGateway->isChecked();
    options.AutoStart = chkAutoStart->isChecked();
    if (options.UseGateway) {
        options.Gateway = cmbGateway->currentIndex();
        // The device lists always hold the line's own entry; a record without a valid device
        // gives that entry rather than an id below the line's.
        options.ModemPlay = std::max(0, cmbModemPlay->currentIndex());
        options.ModemRecord = std::max(0, cmbModemRecord->currentIndex());
        options.HookSwitchMode = radMicSpeaker->isChecked() ? hsmMicSpeaker
                                 : radSpeaker->isChecked()  ? hsmSpeaker
                                                            : hsmOnHook;
        options.TransmitDTMF = chkTransmitDTMF->isChecked() ? -1 : 0;
    } else {
        options.Gateway = -1;
        options.ModemPlay = 0;
        options.ModemRecord = 0;
        options.HookSwitchMode = hsmOnHook;
        options.TransmitDTMF = 0;
    }
}

void TfrmAuthorizated::showEvent(QShowEvent* event)
{
    chkGatewayClick();
    TSorvixDlg::showEvent(event);
}

void TfrmAuthorizated::chkGatewayClick()
{
    const bool on = chkGateway->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(grpGateway), static_cast<QWidget*>(lblGateway),
                       static_cast<QWidget*>(cmbGateway), static_cast<QWidget*>(lblModemPlay),
                       static_cast<QWidget*>(cmbModemPlay), static_cast<QWidget*>(lblModemRecord),
                       static_cast<QWidget*>(cmbModemRecord), static_cast<QWidget*>(grpSpeakerPhone),
                       static_cast<QWidget*>(radOnHook), static_cast<QWidget*>(radSpeaker),
                       static_cast<QWidget*>(radMicSpeaker), static_cast<QWidget*>(chkTransmitDTMF)})
        w->setEnabled(on);
    cmbAddressChange();
}

void TfrmAuthorizated::cmbAddressChange()
{
    applyAddressRule();
    // The address rule may have changed the gateway, on which the play rule depends.
    applyPlayRule();
}

void TfrmAuthorizated::cmbGatewayChange()
{
    applyPlayRule();
}

void TfrmAuthorizated::cmbModemPlayChange()
{
    applyPlayRule();
}

// Only the server's gateway address may go through another address; every other channel goes
// through the server's gateway address.
void TfrmAuthorizated::applyAddressRule()
{
    if (!chkGateway->isChecked()) return;
    const int address = cmbAddress->currentIndex();
    if (address < 0 || address == GatewayAddressIndex) {
        cmbGateway->setEnabled(true);
    } else {
        cmbGateway->setCurrentIndex(GatewayAddressIndex);
        cmbGateway->setEnabled(false);
    }
}

// Digits can be forwarded only through the server's gateway address or a sound device.
void TfrmAuthorizated::applyPlayRule()
{
    if (!chkGateway->isChecked()) return;
    const bool allowed = cmbGateway->currentIndex() == GatewayAddressIndex || cmbModemPlay->currentIndex() != 0;
    if (!allowed) chkTransmitDTMF->setChecked(false);
    chkTransmitDTMF->setEnabled(allowed);
}

void TfrmAuthorizated::refuse(const QString& text, QWidget* focus)
{
    Prompt::instance().message(this, text, ProductTitle, Prompt::Kind::Information, Prompt::Buttons::Ok);
    if (focus) focus->setFocus();
}

void TfrmAuthorizated::btnOKClick()
{
    if (!btnOK->isEnabled()) return;
    const int address = cmbAddress->currentIndex();
    const bool gatewayOn = chkGateway->isChecked();
    const int gateway = cmbGateway->currentIndex();
    if (address < 0) return refuse(txt::SelectDebugAddress, cmbAddress);
    if (gatewayOn && gateway < 0) return refuse(txt::OptionSelectGatewayAddress, cmbGateway);
    if (gatewayOn && gateway == address) return refuse(txt::OptionGatewaySameAsChannel, cmbGateway);
    if (OnCheckAddress) {
        QString error;
        OnCheckAddress(address, gatewayOn ? gateway : -1, &error);
        if (!error.isEmpty()) return refuse(error, nullptr);
    }
    accept();
}

void TfrmAuthorizated::btnHelpClick()
{
    ShowHtmlHelp(this, txt::HelpRoot + QStringLiteral("SorvixAdmin") + QStringLiteral("\\ChannelProperty.htm"), 0, 0);
}

bool TfrmAuthorizated::LoadOptions(const RegistryKey& key, TChannelOptions& options, QString* error)
{
    QString text;
    const bool ok = readChannelOptions(key, lists_, options, &text);
    if (error) *error = text;
    return ok;
}

bool TfrmAuthorizated::SaveOptions(const RegistryKey& key, const TChannelOptions& options, bool WriteAutoStart)
{
    QString error;
    if (writeChannelOptions(key, lists_, options, WriteAutoStart, &error)) return true;
    Prompt::instance().message(this, error, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
    return false;
}
