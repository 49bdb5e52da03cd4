#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;
class QSpinBox;
class IVRRing;
class IVRCall;
class IVRGateway;
class IVRSendDTMF;
class IVRReceiveDTMF;
class IVRSpeakerPhone;

// The line statements' property dialogs. A spin box stands for an edit with its up-down control:
// the statement's value is the spin box's.

// Waiting for a call: where caller and called number go, how many rings.
class TfrmRing : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmRing(QWidget* parent = nullptr);
    bool Edit(IVRRing& statement);

    QLabel* lblSaveCalling;
    TVariantCombo* cmbVariant;
    QLabel* lblRingNumber;
    QSpinBox* updownRingNumber;
    QLabel* lblSaveCalled;
    TVariantCombo* cmbCalledID;
};

// Placing a call; the gateway dialog adds its own fields below.
class TfrmCall : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmCall(QWidget* parent = nullptr);
    bool Edit(IVRCall& statement);

    QLabel* lblCalledNo;
    TVariantCombo* cmbVariant;
    QLabel* lblTimeout;
    QSpinBox* updownTimeOut;
    QLabel* lblSecond;
    QLabel* lblCalledType;
    QComboBox* cmbCalledType;

protected:
    TfrmCall(QWidget* parent, const QString& noteCaption);
    void fillCall(IVRCall& statement);
    void writeCall(IVRCall& statement) const;
    bool checkInput() override;
};

class TfrmGateway : public TfrmCall {
    Q_OBJECT
public:
    explicit TfrmGateway(QWidget* parent = nullptr);
    bool Edit(IVRGateway& statement);

    QLabel* lblMaxLength;
    TVariantCombo* cmbMaxLength;
    QLabel* lblSecond1;
    QLabel* lblAnotherGateway;
    TVariantCombo* cmbAnotherGateway;
    QCheckBox* chkAnotherGateway;

    // Enables the other-gateway field by the check box and names the type field after it.
    void chkAnotherGatewayClick();

protected:
    bool checkInput() override;
};

class TfrmPutDTMF : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmPutDTMF(QWidget* parent = nullptr);
    bool Edit(IVRSendDTMF& statement);

    QLabel* lblSendDTMF;
    TVariantCombo* cmbVariant;

protected:
    bool checkInput() override;
};

// Collecting digits. A max length of 0 needs an end digit, or input could never end: the dialog
// keeps that pair out whatever way it arises (typed, stepped, loaded) and checks it again on OK.
class TfrmIVRGetDTMF : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmIVRGetDTMF(QWidget* parent = nullptr);
    bool Edit(IVRReceiveDTMF& statement);

    QLabel* lblSaveVariant;
    TVariantCombo* cmbVariant;
    QLabel* lblMaxLength;
    QSpinBox* updownMaxLength;
    QCheckBox* ckbEndChar;
    QComboBox* cmbEndChar;
    QCheckBox* ckbTimeOut;
    QSpinBox* updownTimeOut;
    QLabel* lblSecond1;
    QCheckBox* ckbTimeOutFirstAdd;
    QSpinBox* updownTimeOutFirstAdd;
    QLabel* lblSecond2;

    void ckbEndCharClick();
    void ckbTimeOutClick();
    void ckbTimeOutFirstAddClick();
    // The max length became 0 (by the user or by filling): an end digit is then required.
    void maxLengthChanged(int value);
    // The captions as the dialog was created with.
    void setCaptions();

protected:
    bool checkInput() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateEnabled();
    // Max length 0 without an end digit: check the end digit and select the first one.
    void requireEndDigit();
};

class TfrmSpeakerPhone : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmSpeakerPhone(QWidget* parent = nullptr);
    bool Edit(IVRSpeakerPhone& statement);

    QGroupBox* grpMode;
    QRadioButton* radOnHook;
    QRadioButton* radSpeaker;
    QRadioButton* radMicSpeaker;

protected:
    void showEvent(QShowEvent* event) override;
};

extern QPointer<TfrmRing> frmRing;
extern QPointer<TfrmCall> frmCall;
extern QPointer<TfrmGateway> frmGateway;
extern QPointer<TfrmPutDTMF> frmPutDTMF;
extern QPointer<TfrmIVRGetDTMF> frmIVRGetDTMF;
extern QPointer<TfrmSpeakerPhone> frmSpeakerPhone;

// Creates the line statements' dialogs and registers the Edit of each line statement.
void installLineDialogs();
