#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class TIVRCondition;

// The condition of an If, a Switch or a While.
class TfrmIVRProcess : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmIVRProcess(QWidget* parent = nullptr);

    // Condition editing; the topic is the help page of the statement's kind ("IVRIf.htm", ...).
    bool Edit(TIVRCondition& statement, const QString& helpTopic);

    QLabel* lblCondition;
    TVariantCombo* cmbVariant;

protected:
    bool checkInput() override;
};

extern QPointer<TfrmIVRProcess> frmIVRProcess;

// Creates the flow-control dialogs and registers the Edit of If, Switch and While.
void installFlowControlDialogs();
