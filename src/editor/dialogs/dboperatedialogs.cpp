#include "editor/dialogs/dboperatedialogs.h"

#include <QLabel>

#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/database.h"
#include "engine/texts.h"

QPointer<TfrmDataBaseOperate> frmDataBaseOperate;
QPointer<TfrmFieldOperate> frmFieldOperate;
QPointer<TfrmCommandOperate> frmCommandOperate;

namespace {
constexpr int kCloseRow = 2;                  // "Close"
constexpr int kCommandTypeRows = 4;           // the command types the dialog offers
}  // namespace

// ---- TfrmDataBaseOperate ----

TfrmDataBaseOperate::TfrmDataBaseOperate(QWidget* parent) : TStatementDlg(parent)
{
    cmbDataBase = new TVariantCombo(this, false);
    lblDataBase = addField(txt::DBOperateDataBase, cmbDataBase).label;
    cmbOperateType = new TVariantCombo(this, false);
    cmbOperateType->setNames(txt::DataBaseOperateNames);
    lblOperateType = addField(txt::DBOperateType, cmbOperateType).label;
    cmbVariant = new TVariantCombo(this, false);
    Field& position = addField(txt::DBOperatePositionVariant, cmbVariant);
    position.enabledWhen = [this] { return cmbOperateType->selectedIndex() != kCloseRow; };
    lblPositionVariant = position.label;
    // This label is no accelerator of its list.
    unbindLabel(lblPositionVariant, txt::DBOperatePositionVariant);
    addNoteField(txt::Note);
    setHelpTopic(DataOperate, QStringLiteral("IVRDBOperate.htm"));
    finishLayout();

    connect(cmbOperateType, &QComboBox::activated, this, &TfrmDataBaseOperate::cmbOperateTypeChange);
}

bool TfrmDataBaseOperate::Edit(IVRDBOperate& statement)
{
    const TIVRFlow& flow = *statement.flow();
    cmbDataBase->fillDataBases(flow, statement.link);
    cmbOperateType->select(statement.Operate == dbNull ? -1 : statement.Operate);
    cmbOperateTypeChange();
    cmbVariant->fillVariants(flow, statement.variantLink);
    if (!execute(statement)) return false;

    writeDataBaseLink(statement.link, *cmbDataBase);
    const int row = cmbOperateType->selectedIndex();
    statement.Operate = row < 0 ? dbNull : TDataBaseOperateType(row);
    // Also for Close: the disabled list is written back as it stands.
    writeVariantLink(statement.variantLink, *cmbVariant);
    return true;
}

// ---- TfrmFieldOperate ----

TfrmFieldOperate::TfrmFieldOperate(QWidget* parent) : TStatementDlg(parent)
{
    cmbDataBase = new TVariantCombo(this, false);
    lblDataBase = addField(txt::DBOperateDataBase, cmbDataBase).label;
    cmbField = new TVariantCombo(this, true);
    lblFieldName = addField(txt::FieldNameOrIndex, cmbField).label;
    cmbVariant = new TVariantCombo(this, false);
    lblSaveVariant = addField(txt::SaveVariant, cmbVariant).label;
    addNoteField(txt::Note);
    finishLayout();
}

void TfrmFieldOperate::prepareFor(const QString& fieldCaption, const QString& variantCaption, bool typing,
                                  const QString& topic)
{
    lblFieldName->setText(fieldCaption);
    lblSaveVariant->setText(variantCaption);
    cmbVariant->setTyping(typing);
    HelpTopic = topic;
    setHelpTopic(DataOperate, HelpTopic);
}

bool TfrmFieldOperate::Edit(IVRField& statement)
{
    const TIVRFlow& flow = *statement.flow();
    prepareFor(txt::FieldNameOrIndex, txt::SaveVariant, false, QStringLiteral("IVRField.htm"));
    cmbDataBase->fillDataBases(flow, statement.link);
    cmbField->fillVariants(flow, statement.Field);
    cmbVariant->fillVariants(flow, statement.variantLink);
    if (!execute(statement)) return false;

    writeDataBaseLink(statement.link, *cmbDataBase);
    // A typed number selects the field by position, a quoted text by name.
    writeVariantLink(statement.Field, *cmbField);
    writeVariantLink(statement.variantLink, *cmbVariant);
    return true;
}

bool TfrmFieldOperate::Edit(IVRParam& statement)
{
    const TIVRFlow& flow = *statement.flow();
    prepareFor(txt::ParamNameOrIndex, txt::ParamValue, true, QStringLiteral("IVRParam.htm"));
    cmbDataBase->fillDataBases(flow, statement.link);
    cmbField->fillVariants(flow, statement.Param);
    cmbVariant->fillVariants(flow, statement.variantLink);
    if (!execute(statement)) return false;

    writeDataBaseLink(statement.link, *cmbDataBase);
    writeVariantLink(statement.Param, *cmbField);
    writeVariantLink(statement.variantLink, *cmbVariant);
    return true;
}

bool TfrmFieldOperate::checkInput()
{
    // As a list the variable has no typed text, which always passes.
    return checkValueInput(cmbField, lblFieldName) && checkValueInput(cmbVariant, lblSaveVariant);
}

// ---- TfrmCommandOperate ----

TfrmCommandOperate::TfrmCommandOperate(QWidget* parent) : TStatementDlg(parent)
{
    cmbDataBase = new TVariantCombo(this, false);
    lblDataBase = addField(txt::DBOperateDataBase, cmbDataBase).label;
    cmbCommandType = new TVariantCombo(this, false);
    cmbCommandType->setNames(txt::CommandTypeNames.mid(0, kCommandTypeRows));
    lblCommandType = addField(txt::CommandType, cmbCommandType).label;
    cmbVariant = new TVariantCombo(this, true);
    lblCommandText = addField(txt::CommandText, cmbVariant).label;
    addNoteField(txt::Note);
    setHelpTopic(DataOperate, QStringLiteral("IVRCommand.htm"));
    finishLayout();
}

bool TfrmCommandOperate::Edit(IVRCommand& statement)
{
    const TIVRFlow& flow = *statement.flow();
    cmbDataBase->fillDataBases(flow, statement.link);
    cmbCommandType->select(statement.CommandType);
    cmbVariant->fillVariants(flow, statement.variantLink);
    if (!execute(statement)) return false;

    writeDataBaseLink(statement.link, *cmbDataBase);
    // A type the list does not offer (from a file) stays as it was unless another is chosen.
    if (const int row = cmbCommandType->selectedIndex(); row >= 0) statement.CommandType = TCommandType(row);
    writeVariantLink(statement.variantLink, *cmbVariant);
    return true;
}

bool TfrmCommandOperate::checkInput()
{
    return checkValueInput(cmbVariant, lblCommandText);
}

// ---- installation ----

void installDataBaseOperateDialogs()
{
    QWidget* owner = EditRegistry::owner();
    frmDataBaseOperate = new TfrmDataBaseOperate(owner);
    frmFieldOperate = new TfrmFieldOperate(owner);
    frmCommandOperate = new TfrmCommandOperate(owner);
    for (QWidget* d : {static_cast<QWidget*>(frmDataBaseOperate), static_cast<QWidget*>(frmFieldOperate),
                       static_cast<QWidget*>(frmCommandOperate)})
        EditRegistry::adopt(d);

    EditRegistry::registerEditOf<IVRDBOperate>(
        [](IVRDBOperate& s) { return frmDataBaseOperate && frmDataBaseOperate->Edit(s); });
    EditRegistry::registerEditOf<IVRField>([](IVRField& s) { return frmFieldOperate && frmFieldOperate->Edit(s); });
    EditRegistry::registerEditOf<IVRParam>([](IVRParam& s) { return frmFieldOperate && frmFieldOperate->Edit(s); });
    EditRegistry::registerEditOf<IVRCommand>(
        [](IVRCommand& s) { return frmCommandOperate && frmCommandOperate->Edit(s); });
}
