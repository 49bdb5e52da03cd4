#include "editor/dialogs/flowcontroldialogs.h"

#include <QLabel>

#include "editor/dialogs/editregistry.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"

QPointer<TfrmIVRProcess> frmIVRProcess;

// ---- TfrmIVRProcess ----

TfrmIVRProcess::TfrmIVRProcess(QWidget* parent) : TStatementDlg(parent)
{
    cmbVariant = new TVariantCombo(this, true);
    lblCondition = addField(txt::Condition, cmbVariant).label;
    addNoteField(txt::Note);
    finishLayout();
}

bool TfrmIVRProcess::Edit(TIVRCondition& statement, const QString& helpTopic)
{
    setHelpTopic(FlowControl, helpTopic);
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    return true;
}

bool TfrmIVRProcess::checkInput()
{
    return checkValueInput(cmbVariant, lblCondition);
}

// ---- installation ----

void installFlowControlDialogs()
{
    frmIVRProcess = new TfrmIVRProcess(EditRegistry::owner());
    EditRegistry::adopt(frmIVRProcess);

    EditRegistry::registerEditOf<IVRIf>([](IVRIf& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRIf.htm"));
    });
    EditRegistry::registerEditOf<IVRSwitch>([](IVRSwitch& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRSwitch.htm"));
    });
    EditRegistry::registerEditOf<IVRWhile>([](IVRWhile& s) {
        return frmIVRProcess && frmIVRProcess->Edit(s, QStringLiteral("IVRWhile.htm"));
    });
}
