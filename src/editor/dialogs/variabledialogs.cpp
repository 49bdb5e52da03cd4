#include "editor/dialogs/variabledialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "editor/dialogs/allsysteminfo.h"
#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"

QPointer<TfrmIVRVariantOperate> frmIVRVariantOperate;
QPointer<TfrmStringOperate> frmStringOperate;
QPointer<TfrmDateOperate> frmDateOperate;

namespace {
// The list row of an enumeration value; its no-operation value has no row.
int rowOf(int value, int noOperation)
{
    return value == noOperation ? -1 : value;
}

constexpr int kNotRow = 15;        // "Not": one operand
constexpr int kSubStringRow = 4;   // "SubString"
}  // namespace

// ---- TfrmIVRVariantOperate ----

TfrmIVRVariantOperate::TfrmIVRVariantOperate(TfrmAllSystemInfo* picker, QWidget* parent)
    : TStatementDlg(parent), picker_(picker)
{
    cmbResult = new TVariantCombo(this, false);
    lblSaveVariant = addField(txt::OperatorSaveVariant, cmbResult).label;
    cmbOperate = new TVariantCombo(this, false);
    cmbOperate->setNames(txt::OperatorNames);
    lblOperatorType = addField(txt::OperatorType, cmbOperate).label;
    cmbDest = new TVariantCombo(this, true);
    btnGetResult = new QPushButton(txt::OperatorResult, this);
    btnGetResult->setAutoDefault(false);
    lblDestVariant = addField(txt::OperatorDest, cmbDest, btnGetResult).label;
    cmbSource = new TVariantCombo(this, true);
    Field& source = addField(txt::OperatorSource, cmbSource);
    source.enabledWhen = [this] { return sourceUsed(); };
    lblSourceVariant = source.label;
    addNoteField(txt::Note);
    setHelpTopic(DataOperate, QStringLiteral("IVROperator.htm"));
    finishLayout();

    connect(cmbOperate, &QComboBox::activated, this, &TfrmIVRVariantOperate::cmbOperateChange);
    connect(btnGetResult, &QPushButton::clicked, this, &TfrmIVRVariantOperate::btnGetResultClick);
}

bool TfrmIVRVariantOperate::sourceUsed() const
{
    const int row = cmbOperate->selectedIndex();
    return row != optAssign && row != kNotRow;
}

bool TfrmIVRVariantOperate::Edit(IVROperator& statement)
{
    const TIVRFlow& flow = *statement.flow();
    cmbResult->fillVariants(flow, statement.link);
    cmbOperate->select(rowOf(statement.Operate, optNull));
    cmbOperateChange();
    cmbDest->fillVariants(flow, statement.Dest);
    cmbSource->fillVariants(flow, statement.Source);
    if (!execute(statement)) return false;

    writeVariantLink(statement.link, *cmbResult);
    const int row = cmbOperate->selectedIndex();
    statement.Operate = row < 0 ? optNull : TVariantOperateType(row);
    writeVariantLink(statement.Dest, *cmbDest);
    if (statement.Operate == optAssign || row == kNotRow) {
        statement.Source.Unlink();
        statement.Source.constant = Value();
    } else {
        writeVariantLink(statement.Source, *cmbSource);
    }
    return true;
}

void TfrmIVRVariantOperate::btnGetResultClick()
{
    const QString name = picker_ ? picker_->Execute() : QString();
    // Quoted: Dest becomes the result name as text.
    if (!name.isEmpty()) cmbDest->setTypedText(QLatin1Char('"') + name + QLatin1Char('"'));
    cmbDest->setFocus(Qt::OtherFocusReason);
}

bool TfrmIVRVariantOperate::checkInput()
{
    if (!checkValueInput(cmbDest, lblDestVariant)) return false;
    if (sourceUsed() && !checkValueInput(cmbSource, lblSourceVariant)) return false;
    return true;
}

// ---- TfrmStringOperate ----

TfrmStringOperate::TfrmStringOperate(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, false);
    lblConvertVariant = addField(txt::StringConvertVariant, cmbVariant).label;
    cmbOperate = new TVariantCombo(this, false);
    cmbOperate->setNames(txt::StringOperateNames);
    lblStringType = addField(txt::StringConvertType, cmbOperate).label;
    auto upDown = [this] {
        auto* s = new QSpinBox(this);
        s->setRange(1, 32767);
        s->setWrapping(false);
        s->setAlignment(Qt::AlignLeft);
        return s;
    };
    const auto subString = [this] { return cmbOperate->selectedIndex() == kSubStringRow; };
    edtSubIndex = upDown();
    Field& index = addField(txt::StringSubIndex, edtSubIndex);
    index.enabledWhen = subString;
    lblSubIndex = index.label;
    edtSubCount = upDown();
    Field& count = addField(txt::StringSubCount, edtSubCount);
    count.enabledWhen = subString;
    lblSubCount = count.label;
    addNoteField(txt::Note);
    setHelpTopic(DataOperate, QStringLiteral("IVRString.htm"));
    finishLayout();

    connect(cmbOperate, &QComboBox::activated, this, &TfrmStringOperate::cmbOperateChange);
}

bool TfrmStringOperate::Edit(IVRString& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    cmbOperate->select(rowOf(statement.Operate, strNil));
    cmbOperateChange();
    const bool subString = statement.Operate == strSubString;
    edtSubIndex->setValue(subString ? statement.SubIndex : 1);
    edtSubCount->setValue(subString ? statement.SubCount : 1);
    if (!execute(statement)) return false;

    writeVariantLink(statement.link, *cmbVariant);
    const int row = cmbOperate->selectedIndex();
    statement.Operate = row < 0 ? strNil : TStringOperateType(row);
    if (statement.Operate == strSubString) {
        statement.SubIndex = edtSubIndex->value();
        statement.SubCount = edtSubCount->value();
    } else {
        statement.SubIndex = 0;
        statement.SubCount = 0;
    }
    return true;
}

// ---- TfrmDateOperate ----

TfrmDateOperate::TfrmDateOperate(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, false);
    lblDateVariant = addField(txt::DateTimeVariant, cmbVariant).label;

    auto* from = new QWidget(this);
    rbtnSystemDate = new QRadioButton(txt::DateTimeSystemOption, from);
    rbtnVariantDate = new QRadioButton(txt::DateTimeFromVariantOption, from);
    auto* row = new QHBoxLayout(from);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(rbtnSystemDate);
    row->addSpacing(16);
    row->addWidget(rbtnVariantDate);
    row->addStretch();
    addRow(from, {rbtnSystemDate, rbtnVariantDate});

    cmbOperate = new TVariantCombo(this, true);
    cmbOperate->setNames(txt::DateOperateNames);
    lblDateOperateType = addField(txt::DateTimeType, cmbOperate).label;
    addNoteField(txt::Note);
    setHelpTopic(DataOperate, QStringLiteral("IVRDateTime.htm"));
    finishLayout();
}

bool TfrmDateOperate::Edit(IVRDateTime& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    if (statement.Operate == dtNull) cmbOperate->setTypedText(statement.Format);
    else cmbOperate->select(statement.Operate);
    rbtnSystemDate->setChecked(statement.System);
    rbtnVariantDate->setChecked(!statement.System);
    if (!execute(statement)) return false;

    writeVariantLink(statement.link, *cmbVariant);
    const int row = cmbOperate->selectedIndex();
    if (row < 0) {
        // A custom pattern; an empty one means no operation.
        statement.Operate = dtNull;
        statement.Format = cmbOperate->typedText();
    } else {
        statement.Operate = TDateOperateType(row);
        statement.Format.clear();
    }
    statement.System = rbtnSystemDate->isChecked();
    return true;
}

// ---- installation ----

void installVariableDialogs()
{
    QWidget* owner = EditRegistry::owner();
    frmIVRVariantOperate = new TfrmIVRVariantOperate(frmAllSystemInfo, owner);
    frmStringOperate = new TfrmStringOperate(owner);
    frmDateOperate = new TfrmDateOperate(owner);
    for (QWidget* d : {static_cast<QWidget*>(frmIVRVariantOperate), static_cast<QWidget*>(frmStringOperate),
                       static_cast<QWidget*>(frmDateOperate)})
        EditRegistry::adopt(d);

    EditRegistry::registerEditOf<IVROperator>(
        [](IVROperator& s) { return frmIVRVariantOperate && frmIVRVariantOperate->Edit(s); });
    EditRegistry::registerEditOf<IVRString>([](IVRString& s) { return frmStringOperate && frmStringOperate->Edit(s); });
    EditRegistry::registerEditOf<IVRDateTime>([](IVRDateTime& s) { return frmDateOperate && frmDateOperate->Edit(s); });
}
