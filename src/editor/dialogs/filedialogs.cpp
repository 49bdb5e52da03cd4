#include "editor/dialogs/filedialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/files.h"
#include "engine/texts.h"

QPointer<TfrmExecute> frmExecute;
QPointer<TfrmTextFile> frmTextFile;
QPointer<TfrmInitFile> frmInitFile;
QPointer<TfrmTransfer> frmTransfer;

namespace {

// A spin box and the label after it.
QWidget* spinWithLabel(QSpinBox* box, QLabel* after)
{
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    box->setParent(w);
    after->setParent(w);
    row->addWidget(box);
    row->addWidget(after);
    row->addStretch();
    return w;
}

}  // namespace

// ---- TfrmExecute ----

TfrmExecute::TfrmExecute(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(DataOperate, QStringLiteral("IVRExecute.htm"));
    cmbVariant = new TVariantCombo(this, true);
    lblCommandLine = addField(txt::ExecuteCommandLine, cmbVariant).label;
    updownTimeOut = new QSpinBox;
    updownTimeOut->setRange(0, 32767);
    lblSecond = new QLabel(txt::Sec);
    lblTimeOut = addField(txt::CallTimeOut, spinWithLabel(updownTimeOut, lblSecond)).label;
    lblTimeOut->setBuddy(updownTimeOut);
    ckbTimeOutTerminate = new QCheckBox(txt::ExecuteTimeOutTerminate, this);
    addRow(ckbTimeOutTerminate, {ckbTimeOutTerminate});
    addNoteField(txt::Note);
    finishLayout();

    connect(updownTimeOut, &QSpinBox::valueChanged, this, &TfrmExecute::updownTimeOutChangingEx);
}

bool TfrmExecute::Edit(IVRExecute& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    {
        const QSignalBlocker block(updownTimeOut);
        updownTimeOut->setValue(statement.TimeOut);
    }
    ckbTimeOutTerminate->setChecked(statement.Terminate);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    statement.TimeOut = updownTimeOut->value();
    statement.Terminate = ckbTimeOutTerminate->isChecked();
    return true;
}

void TfrmExecute::updownTimeOutChangingEx(int proposed)
{
    // Terminating needs a time-out.
    ckbTimeOutTerminate->setEnabled(proposed != 0);
}

void TfrmExecute::showEvent(QShowEvent* event)
{
    TStatementDlg::showEvent(event);
    ckbTimeOutTerminate->setEnabled(updownTimeOut->value() >= 1);
    if (updownTimeOut->value() == 0) ckbTimeOutTerminate->setChecked(false);
}

bool TfrmExecute::checkInput()
{
    if (!checkValueInput(cmbVariant, lblCommandLine)) return false;
    updownTimeOut->interpretText();
    if (updownTimeOut->value() == 0) ckbTimeOutTerminate->setChecked(false);
    return true;
}

// ---- TfrmTextFile ----

TfrmTextFile::TfrmTextFile(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(DataOperate, QStringLiteral("IVRTextFile.htm"));
    cmbVariant = new TVariantCombo(this, true);
    lblFileName = addField(txt::TextFileName, cmbVariant).label;
    cmbWriteText = new TVariantCombo(this, true);
    lblWriteText = addField(txt::TextFileAppendText, cmbWriteText).label;
    ckbWriteLine = new QCheckBox(txt::TextFileWriteLine, this);
    addRow(ckbWriteLine, {ckbWriteLine});
    addNoteField(txt::Note);
    finishLayout();
}

bool TfrmTextFile::Edit(IVRTextFile& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    cmbWriteText->fillVariants(*statement.flow(), statement.WriteText);
    ckbWriteLine->setChecked(statement.WriteLine);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    writeVariantLink(statement.WriteText, *cmbWriteText);
    statement.WriteLine = ckbWriteLine->isChecked();
    return true;
}

bool TfrmTextFile::checkInput()
{
    // A typed text that does not convert would be stored as nothing.
    return checkValueInput(cmbVariant, lblFileName) && checkValueInput(cmbWriteText, lblWriteText);
}

// ---- TfrmInitFile ----

TfrmInitFile::TfrmInitFile(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(DataOperate, QStringLiteral("IVRInitFile.htm"));
    cmbFileName = new TVariantCombo(this, true);
    lblFileName = addField(txt::TextFileName, cmbFileName).label;
    cmbSection = new TVariantCombo(this, true);
    lblSection = addField(txt::InitFileSection, cmbSection).label;
    auto* mode = new QWidget;
    auto* modeRow = new QHBoxLayout(mode);
    modeRow->setContentsMargins(0, 0, 0, 0);
    radRead = new QRadioButton(txt::InitFileRead, mode);
    radWrite = new QRadioButton(txt::InitFileWrite, mode);
    modeRow->addWidget(radRead);
    modeRow->addSpacing(16);
    modeRow->addWidget(radWrite);
    modeRow->addStretch();
    addRow(mode, {radRead, radWrite});
    cmbKey = new TVariantCombo(this, true);
    lblKey = addField(txt::InitFileKey, cmbKey).label;
    cmbValue = new TVariantCombo(this, true);
    lblValue = addField(txt::InitFileValue, cmbValue).label;
    cmbDefault = new TVariantCombo(this, true);
    lblDefault = addField(txt::InitFileDefault, cmbDefault).label;
    addNoteField(txt::Note);
    finishLayout();

    connect(radRead, &QRadioButton::clicked, this, &TfrmInitFile::radReadClick);
    connect(radWrite, &QRadioButton::clicked, this, &TfrmInitFile::radReadClick);
}

bool TfrmInitFile::Edit(IVRInitFile& statement)
{
    TIVRFlow& flow = *statement.flow();
    // The value box takes typed text while it is filled; read mode then makes it a list.
    cmbValue->setTyping(true);
    cmbFileName->fillVariants(flow, statement.link);
    cmbSection->fillVariants(flow, statement.Section);
    cmbKey->fillVariants(flow, statement.Key);
    cmbValue->fillVariants(flow, statement.Value);
    cmbDefault->fillVariants(flow, statement.Default);
    (statement.Read ? radRead : radWrite)->setChecked(true);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbFileName);
    writeVariantLink(statement.Section, *cmbSection);
    statement.Read = radRead->isChecked();
    writeVariantLink(statement.Key, *cmbKey);
    writeVariantLink(statement.Value, *cmbValue);
    // Writing has no default: only its variable is let go, a constant stays.
    if (statement.Read) writeVariantLink(statement.Default, *cmbDefault);
    else statement.Default.Unlink();
    return true;
}

void TfrmInitFile::radReadClick()
{
    const bool read = radRead->isChecked();
    // Reading needs a variable to receive the value.
    cmbValue->setTyping(!read);
    lblDefault->setEnabled(read);
    cmbDefault->setEnabled(read);
}

void TfrmInitFile::showEvent(QShowEvent* event)
{
    radReadClick();
    TStatementDlg::showEvent(event);
}

bool TfrmInitFile::checkInput()
{
    // A box that the mode disabled is not used; its text is not checked.
    const std::pair<TVariantCombo*, QLabel*> boxes[] = {
        {cmbFileName, lblFileName}, {cmbSection, lblSection}, {cmbKey, lblKey},
        {cmbValue, lblValue},       {cmbDefault, lblDefault},
    };
    for (const auto& [box, label] : boxes)
        if (box->isEnabled() && !checkValueInput(box, label)) return false;
    return true;
}

// ---- TfrmTransfer ----

TfrmTransfer::TfrmTransfer(QWidget* parent) : TStatementDlg(parent, Buttons::OkCancel)
{
    // Its captions are its own, in Chinese; the text tables do not set them.
    setWindowTitle(QStringLiteral("转接"));
    btnOk->setText(QStringLiteral("确定(&O)"));
    btnCancel->setText(QStringLiteral("取消(&C)"));
    cmbVariant = new TVariantCombo(this, true);
    lblVariant = addField(QStringLiteral("被叫号码(&V)："), cmbVariant).label;
    grpTimeOut = new QGroupBox(this);
    auto* row = new QHBoxLayout(grpTimeOut);
    Label1 = new QLabel(QStringLiteral("超时(&T)："), grpTimeOut);
    updownTimeOut = new QSpinBox(grpTimeOut);
    updownTimeOut->setRange(1, 255);
    updownTimeOut->setValue(10);
    Label1->setBuddy(updownTimeOut);
    Label2 = new QLabel(QStringLiteral("(秒)"), grpTimeOut);
    row->addWidget(Label1);
    row->addWidget(updownTimeOut);
    row->addWidget(Label2);
    row->addStretch();
    addRow(grpTimeOut, {updownTimeOut});
    grpTimeOut->hide();
    addNoteField(QStringLiteral("说明(&N)："));
    finishLayout();
}

bool TfrmTransfer::checkInput()
{
    return checkValueInput(cmbVariant, lblVariant);
}

// ---- installation ----

void installFileDialogs()
{
    frmExecute = new TfrmExecute(EditRegistry::owner());
    EditRegistry::adopt(frmExecute);
    frmTextFile = new TfrmTextFile(EditRegistry::owner());
    EditRegistry::adopt(frmTextFile);
    frmInitFile = new TfrmInitFile(EditRegistry::owner());
    EditRegistry::adopt(frmInitFile);
    frmTransfer = new TfrmTransfer(EditRegistry::owner());
    EditRegistry::adopt(frmTransfer);

    EditRegistry::registerEditOf<IVRExecute>([](IVRExecute& s) { return frmExecute && frmExecute->Edit(s); });
    EditRegistry::registerEditOf<IVRTextFile>([](IVRTextFile& s) { return frmTextFile && frmTextFile->Edit(s); });
    EditRegistry::registerEditOf<IVRInitFile>([](IVRInitFile& s) { return frmInitFile && frmInitFile->Edit(s); });
}
