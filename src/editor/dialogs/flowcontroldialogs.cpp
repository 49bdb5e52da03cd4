#include "editor/dialogs/flowcontroldialogs.h"

#include <QLabel>
#include <QPushButton>

#include "editor/dialogs/allsysteminfo.h"
#include "editor/dialogs/declarationdialogs.h"
#include "editor/dialogs/editregistry.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"

QPointer<TfrmIVRProcess> frmIVRProcess;
QPointer<TfrmCase> frmCase;
QPointer<TfrmGoto> frmGoto;

// ---- TConditionDlg ----

TConditionDlg::TConditionDlg(QWidget* parent, QWidget* conditionButton) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, true);
    lblCondition = addField(txt::Condition, cmbVariant, conditionButton).label;
    addNoteField(txt::Note);
}

bool TConditionDlg::Edit(TIVRCondition& statement, const QString& helpTopic)
{
    setHelpTopic(FlowControl, helpTopic);
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    return true;
}

bool TConditionDlg::checkInput()
{
    return checkValueInput(cmbVariant, lblCondition);
}

// ---- TfrmIVRProcess ----

TfrmIVRProcess::TfrmIVRProcess(QWidget* parent) : TConditionDlg(parent, nullptr)
{
    finishLayout();
}

// ---- TfrmCase ----

TfrmCase::TfrmCase(TfrmAllSystemInfo* picker, QWidget* parent)
    : TConditionDlg(parent, new QPushButton(txt::OperatorResult)), picker_(picker)
{
    btnGetResult = static_cast<QPushButton*>(fields().front().companion);
    btnGetResult->setAutoDefault(false);
    setOkFirstInTabOrder();
    finishLayout();
    connect(btnGetResult, &QPushButton::clicked, this, &TfrmCase::btnGetResultClick);
}

void TfrmCase::btnGetResultClick()
{
    const QString name = picker_ ? picker_->Execute() : QString();
    // Quoted: a string constant, so the Case matches the name stored in the result variable,
    // even when a variable of that name exists.
    if (!name.isEmpty()) cmbVariant->setTypedText(QLatin1Char('"') + name + QLatin1Char('"'));
    cmbVariant->setFocus(Qt::OtherFocusReason);
}

// ---- TfrmGoto ----

TfrmGoto::TfrmGoto(QWidget* parent) : TStatementDlg(parent)
{
    cmbLabel = new TVariantCombo(this, false);
    lblLabel = addField(txt::GotoLabel, cmbLabel).label;
    addNoteField(txt::Note);
    setHelpTopic(FlowControl, QStringLiteral("IVRGoto.htm"));
    finishLayout();
}

bool TfrmGoto::Edit(IVRGoto& statement)
{
    cmbLabel->fillLabels(*statement.flow(), statement.link);
    if (!execute(statement)) return false;
    writeLabelLink(statement.link, *cmbLabel);
    return true;
}

// ---- installation ----

void installFlowControlDialogs()
{
    QWidget* owner = EditRegistry::owner();
    frmIVRProcess = new TfrmIVRProcess(owner);
    frmCase = new TfrmCase(frmAllSystemInfo, owner);
    frmGoto = new TfrmGoto(owner);
    for (QWidget* d : {static_cast<QWidget*>(frmIVRProcess), static_cast<QWidget*>(frmCase),
                       static_cast<QWidget*>(frmGoto)})
        EditRegistry::adopt(d);

    EditRegistry::registerEditOf<IVRIf>([](IVRIf& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRIf.htm"));
    });
    EditRegistry::registerEditOf<IVRSwitch>([](IVRSwitch& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRSwitch.htm"));
    });
    EditRegistry::registerEditOf<IVRWhile>([](IVRWhile& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRWhile.htm"));
    });
    EditRegistry::registerEditOf<IVRCase>([](IVRCase& s) {
        return frmCase && frmCase->Edit(s, QStringLiteral("IVRCase.htm"));
    });
    EditRegistry::registerEditOf<IVRGoto>([](IVRGoto& s) { return frmGoto && frmGoto->Edit(s); });
    EditRegistry::registerEditOf<IVRBlock>([](IVRBlock& s) {
        return frmDataCategory &&
               frmDataCategory->Edit(s, txt::Note, TStatementDlg::FlowControl, QStringLiteral("IVRBlock.htm"));
    });
}
