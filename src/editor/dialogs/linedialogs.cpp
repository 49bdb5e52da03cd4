#include "editor/dialogs/linedialogs.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/line.h"
#include "engine/texts.h"

QPointer<TfrmRing> frmRing;
QPointer<TfrmCall> frmCall;
QPointer<TfrmGateway> frmGateway;
QPointer<TfrmPutDTMF> frmPutDTMF;
QPointer<TfrmIVRGetDTMF> frmIVRGetDTMF;
QPointer<TfrmSpeakerPhone> frmSpeakerPhone;

namespace {

constexpr int kSmallIntMax = 32767;

QSpinBox* newSpinBox(QWidget* parent, int minimum)
{
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, kSmallIntMax);
    box->setMinimumWidth(90);
    return box;
}

// A field whose label is a check box: the box takes the label's place in the grid.
void labelWithCheckBox(QGridLayout* grid, TStatementDlg::Field& field, QCheckBox* box)
{
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(field.label), &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(field.label);
    delete field.label;
    field.label = nullptr;
    box->setParent(field.input->parentWidget());
    grid->addWidget(box, row, 0);
}

// The whole tab order, when check boxes stand among the fields.
void chainTabs(std::initializer_list<QWidget*> chain)
{
    const QWidget* previous = nullptr;
    for (QWidget* w : chain) {
        if (!w) continue;
        if (previous) QWidget::setTabOrder(const_cast<QWidget*>(previous), w);
        previous = w;
    }
}

}  // namespace

// ---- TfrmRing ----

TfrmRing::TfrmRing(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, false);
    lblSaveCalling = addField(txt::RingSaveCaller, cmbVariant).label;
    updownRingNumber = newSpinBox(this, 0);
    lblRingNumber = addField(txt::RingTimes, updownRingNumber).label;
    addNoteField(txt::Note);
    cmbCalledID = new TVariantCombo(this, false);
    lblSaveCalled = addField(txt::RingSaveCalled, cmbCalledID).label;
    finishLayout();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRRing.htm"));
}

bool TfrmRing::Edit(IVRRing& statement)
{
    const TIVRFlow& flow = *statement.flow();
    cmbVariant->fillVariants(flow, statement.link);
    cmbCalledID->fillVariants(flow, statement.SaveCalled);
    updownRingNumber->setValue(statement.Times);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    writeVariantLink(statement.SaveCalled, *cmbCalledID);
    statement.Times = updownRingNumber->value();
    return true;
}

// ---- TfrmCall ----

TfrmCall::TfrmCall(QWidget* parent) : TfrmCall(parent, txt::NoteCall)
{
    finishLayout();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRCall.htm"));
}

TfrmCall::TfrmCall(QWidget* parent, const QString& noteCaption) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, true);
    lblCalledNo = addField(txt::CallCalledNo, cmbVariant).label;
    updownTimeOut = newSpinBox(this, 0);
    lblSecond = new QLabel(txt::Sec, this);
    lblTimeout = addField(txt::CallTimeOut, updownTimeOut, lblSecond).label;
    addNoteField(noteCaption);
    cmbCalledType = new QComboBox(this);
    cmbCalledType->clear();
    cmbCalledType->addItems(txt::CalledTypeNames);
    lblCalledType = addField(txt::CallCalledType, cmbCalledType).label;
    unbindLabel(lblCalledType, txt::CallCalledType);
}

void TfrmCall::fillCall(IVRCall& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    cmbCalledType->setCurrentIndex(int(statement.CalledType));
    updownTimeOut->setValue(statement.TimeOut);
}

void TfrmCall::writeCall(IVRCall& statement) const
{
    writeVariantLink(statement.link, *cmbVariant);
    const int type = cmbCalledType->currentIndex();
    if (type >= 0) statement.CalledType = TCalledType(type);
    statement.TimeOut = updownTimeOut->value();
}

bool TfrmCall::Edit(IVRCall& statement)
{
    fillCall(statement);
    if (!execute(statement)) return false;
    writeCall(statement);
    return true;
}

bool TfrmCall::checkInput()
{
    return checkValueInput(cmbVariant, lblCalledNo);
}

// ---- TfrmGateway ----

TfrmGateway::TfrmGateway(QWidget* parent) : TfrmCall(parent, txt::NoteGateway)
{
    cmbMaxLength = new TVariantCombo(this, true);
    lblSecond1 = new QLabel(txt::Sec, this);
    lblMaxLength = addField(txt::RecordMaxLength, cmbMaxLength, lblSecond1).label;
    cmbAnotherGateway = new TVariantCombo(this, true);
    Field& another = addField(txt::GatewayAnother, cmbAnotherGateway);
    lblAnotherGateway = another.label;
    chkAnotherGateway = new QCheckBox(txt::GatewayThroughAnother, this);
    another.enabledWhen = [this] { return chkAnotherGateway->isChecked(); };
    addRow(chkAnotherGateway, {chkAnotherGateway});
    finishLayout();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRGateway.htm"));
    connect(chkAnotherGateway, &QCheckBox::clicked, this, &TfrmGateway::chkAnotherGatewayClick);
}

void TfrmGateway::chkAnotherGatewayClick()
{
    updateFields();
    unbindLabel(lblCalledType, chkAnotherGateway->isChecked() ? txt::GatewayType : txt::CallCalledType);
}

bool TfrmGateway::Edit(IVRGateway& statement)
{
    fillCall(statement);
    const TIVRFlow& flow = *statement.flow();
    cmbMaxLength->fillVariants(flow, statement.MaxLength);
    cmbAnotherGateway->fillVariants(flow, statement.ThroughAnotherGateway);
    chkAnotherGateway->setChecked(!cmbAnotherGateway->currentText().isEmpty());
    chkAnotherGatewayClick();
    if (!execute(statement)) return false;
    writeCall(statement);
    writeVariantLink(statement.MaxLength, *cmbMaxLength);
    if (chkAnotherGateway->isChecked()) {
        writeVariantLink(statement.ThroughAnotherGateway, *cmbAnotherGateway);
    } else {
        statement.ThroughAnotherGateway.Unlink();
        statement.ThroughAnotherGateway.constant = Value();
    }
    return true;
}

bool TfrmGateway::checkInput()
{
    if (!TfrmCall::checkInput()) return false;
    if (!checkValueInput(cmbMaxLength, lblMaxLength)) return false;
    return !chkAnotherGateway->isChecked() || checkValueInput(cmbAnotherGateway, lblAnotherGateway);
}

// ---- TfrmPutDTMF ----

TfrmPutDTMF::TfrmPutDTMF(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, true);
    lblSendDTMF = addField(txt::SendDTMFDigits, cmbVariant).label;
    addNoteField(txt::NoteSendDTMF);
    finishLayout();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRSend.htm"));
}

bool TfrmPutDTMF::Edit(IVRSendDTMF& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    return true;
}

bool TfrmPutDTMF::checkInput()
{
    return checkValueInput(cmbVariant, lblSendDTMF);
}

// ---- TfrmIVRGetDTMF ----

TfrmIVRGetDTMF::TfrmIVRGetDTMF(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, false);
    lblSaveVariant = addField(QString(), cmbVariant).label;
    addNoteField(QString());
    updownMaxLength = newSpinBox(this, 0);
    lblMaxLength = addField(QString(), updownMaxLength).label;

    ckbEndChar = new QCheckBox(this);
    cmbEndChar = new QComboBox(this);
    cmbEndChar->addItems({"*", "#", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    labelWithCheckBox(grid(), addField(QString(), cmbEndChar), ckbEndChar);

    ckbTimeOut = new QCheckBox(this);
    updownTimeOut = newSpinBox(this, 1);
    lblSecond1 = new QLabel(this);
    labelWithCheckBox(grid(), addField(QString(), updownTimeOut, lblSecond1), ckbTimeOut);

    ckbTimeOutFirstAdd = new QCheckBox(this);
    updownTimeOutFirstAdd = newSpinBox(this, 1);
    lblSecond2 = new QLabel(this);
    labelWithCheckBox(grid(), addField(QString(), updownTimeOutFirstAdd, lblSecond2), ckbTimeOutFirstAdd);

    finishLayout();
    chainTabs({cmbVariant, edtNote, updownMaxLength, ckbEndChar, cmbEndChar, ckbTimeOut, updownTimeOut,
               ckbTimeOutFirstAdd, updownTimeOutFirstAdd, btnOk, btnCancel, btnHelp});
    setCaptions();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRGain.htm"));
    pnlContent->installEventFilter(this);

    connect(ckbEndChar, &QCheckBox::clicked, this, &TfrmIVRGetDTMF::ckbEndCharClick);
    connect(ckbTimeOut, &QCheckBox::clicked, this, &TfrmIVRGetDTMF::ckbTimeOutClick);
    connect(ckbTimeOutFirstAdd, &QCheckBox::clicked, this, &TfrmIVRGetDTMF::ckbTimeOutFirstAddClick);
    // Every change of the max length, typed or stepped; filling blocks the signal and applies
    // the rule itself.
    connect(updownMaxLength, &QSpinBox::valueChanged, this, &TfrmIVRGetDTMF::maxLengthChanged);
}

void TfrmIVRGetDTMF::setCaptions()
{
    lblSaveVariant->setText(txt::SaveVariant);
    lblNote->setText(txt::Note);
    lblMaxLength->setText(txt::RecordMaxLength);
    ckbEndChar->setText(txt::ReceiveDTMFEndChar);
    ckbTimeOut->setText(txt::ReceiveDTMFTimeOut);
    lblSecond1->setText(txt::Sec);
    ckbTimeOutFirstAdd->setText(txt::ReceiveDTMFFirstAdd);
    lblSecond2->setText(txt::Sec);
}

bool TfrmIVRGetDTMF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlContent && event->type() == QEvent::MouseButtonPress) setCaptions();
    return TStatementDlg::eventFilter(watched, event);
}

void TfrmIVRGetDTMF::updateEnabled()
{
    cmbEndChar->setEnabled(ckbEndChar->isChecked());
    const bool timeOut = ckbTimeOut->isChecked();
    updownTimeOut->setEnabled(timeOut);
    lblSecond1->setEnabled(timeOut);
    ckbTimeOutFirstAdd->setEnabled(timeOut);
    const bool firstAdd = timeOut && ckbTimeOutFirstAdd->isChecked();
    updownTimeOutFirstAdd->setEnabled(firstAdd);
    lblSecond2->setEnabled(firstAdd);
}

void TfrmIVRGetDTMF::requireEndDigit()
{
    if (updownMaxLength->value() != 0) return;
    if (ckbEndChar->isChecked() && cmbEndChar->currentIndex() >= 0) return;
    ckbEndChar->setChecked(true);
    cmbEndChar->setCurrentIndex(0);
    updateEnabled();
}

void TfrmIVRGetDTMF::maxLengthChanged(int value)
{
    if (value != 0) return;
    // As the rule has it: the end digit is checked and the first one selected.
    ckbEndChar->setChecked(true);
    cmbEndChar->setCurrentIndex(0);
    updateEnabled();
}

void TfrmIVRGetDTMF::ckbEndCharClick()
{
    if (!ckbEndChar->isChecked() && updownMaxLength->value() == 0) updownMaxLength->setValue(1);
    updateEnabled();
}

void TfrmIVRGetDTMF::ckbTimeOutClick()
{
    updateEnabled();
}

void TfrmIVRGetDTMF::ckbTimeOutFirstAddClick()
{
    updateEnabled();
}

bool TfrmIVRGetDTMF::Edit(IVRReceiveDTMF& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    {
        const QSignalBlocker block(updownMaxLength);
        updownMaxLength->setValue(statement.MaxLength);
    }
    const QChar end = statement.EndDTMF;
    ckbEndChar->setChecked(!end.isNull());
    cmbEndChar->setCurrentIndex(end.isNull() ? 0 : cmbEndChar->findText(QString(end)));
    ckbTimeOut->setChecked(statement.TimeOut > 0);
    updownTimeOut->setValue(statement.TimeOut > 0 ? statement.TimeOut : 3);
    ckbTimeOutFirstAdd->setChecked(statement.TimeOutFirstAdd > 0);
    updownTimeOutFirstAdd->setValue(statement.TimeOutFirstAdd > 0 ? statement.TimeOutFirstAdd : 2);
    // A statement read from a file may hold a max length of 0 without an end digit.
    requireEndDigit();
    updateEnabled();
    if (!execute(statement)) return false;

    writeVariantLink(statement.link, *cmbVariant);
    statement.MaxLength = updownMaxLength->value();
    const int endIndex = cmbEndChar->currentIndex();
    statement.EndDTMF = ckbEndChar->isChecked() && endIndex >= 0 ? cmbEndChar->itemText(endIndex).at(0) : QChar();
    statement.TimeOut = ckbTimeOut->isChecked() ? updownTimeOut->value() : 0;
    statement.TimeOutFirstAdd = ckbTimeOutFirstAdd->isChecked() ? updownTimeOutFirstAdd->value() : 0;
    return true;
}

bool TfrmIVRGetDTMF::checkInput()
{
    // The spin box keeps its last valid value while its text is being typed; the rule holds for
    // what will be stored.
    updownMaxLength->interpretText();
    requireEndDigit();
    return true;
}

// ---- TfrmSpeakerPhone ----

TfrmSpeakerPhone::TfrmSpeakerPhone(QWidget* parent) : TStatementDlg(parent)
{
    grpMode = new QGroupBox(txt::SpeakerPhoneMode, this);
    radOnHook = new QRadioButton(txt::SpeakerPhoneOnHook, grpMode);
    radSpeaker = new QRadioButton(txt::SpeakerPhoneSpeaker, grpMode);
    radMicSpeaker = new QRadioButton(txt::SpeakerPhoneMicSpeaker, grpMode);
    auto* modes = new QVBoxLayout(grpMode);
    modes->addWidget(radOnHook);
    modes->addWidget(radSpeaker);
    modes->addWidget(radMicSpeaker);
    addRow(grpMode, {radOnHook, radSpeaker, radMicSpeaker});
    addNoteField(txt::NoteSpeakerPhone);
    finishLayout();
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRSpeakerPhone.htm"));
}

bool TfrmSpeakerPhone::Edit(IVRSpeakerPhone& statement)
{
    switch (statement.HookSwitchMode) {
    case hsmSpeaker: radSpeaker->setChecked(true); break;
    case hsmMicSpeaker: radMicSpeaker->setChecked(true); break;
    default: radOnHook->setChecked(true); break;
    }
    if (!execute(statement)) return false;
    if (radOnHook->isChecked()) statement.HookSwitchMode = hsmOnHook;
    else if (radSpeaker->isChecked()) statement.HookSwitchMode = hsmSpeaker;
    else if (radMicSpeaker->isChecked()) statement.HookSwitchMode = hsmMicSpeaker;
    return true;
}

void TfrmSpeakerPhone::showEvent(QShowEvent* event)
{
    TStatementDlg::showEvent(event);
    // The first field is the checked mode.
    if (!btnOk->isEnabled()) return;
    for (QRadioButton* r : {radOnHook, radSpeaker, radMicSpeaker})
        if (r->isChecked()) r->setFocus(Qt::OtherFocusReason);
}

// ---- installation ----

void installLineDialogs()
{
    QWidget* owner = EditRegistry::owner();
    frmRing = new TfrmRing(owner);
    frmCall = new TfrmCall(owner);
    frmGateway = new TfrmGateway(owner);
    frmPutDTMF = new TfrmPutDTMF(owner);
    frmIVRGetDTMF = new TfrmIVRGetDTMF(owner);
    frmSpeakerPhone = new TfrmSpeakerPhone(owner);
    for (QWidget* d : std::initializer_list<QWidget*>{frmRing, frmCall, frmGateway, frmPutDTMF, frmIVRGetDTMF,
                                                       frmSpeakerPhone})
        EditRegistry::adopt(d);

    EditRegistry::registerEditOf<IVRRing>([](IVRRing& s) { return frmRing && frmRing->Edit(s); });
    EditRegistry::registerEditOf<IVRCall>([](IVRCall& s) { return frmCall && frmCall->Edit(s); });
    EditRegistry::registerEditOf<IVRGateway>([](IVRGateway& s) { return frmGateway && frmGateway->Edit(s); });
    EditRegistry::registerEditOf<IVRSendDTMF>([](IVRSendDTMF& s) { return frmPutDTMF && frmPutDTMF->Edit(s); });
    EditRegistry::registerEditOf<IVRReceiveDTMF>(
        [](IVRReceiveDTMF& s) { return frmIVRGetDTMF && frmIVRGetDTMF->Edit(s); });
    EditRegistry::registerEditOf<IVRSpeakerPhone>(
        [](IVRSpeakerPhone& s) { return frmSpeakerPhone && frmSpeakerPhone->Edit(s); });
}
