#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class TIVRCondition;
class IVRGoto;
class TfrmAllSystemInfo;

// The condition dialogs: a variable, or a typed constant, and the note.
class TConditionDlg : public TStatementDlg {
    Q_OBJECT
public:
    // Condition editing; the topic is the help page of the statement's kind.
    bool Edit(TIVRCondition& statement, const QString& helpTopic);

    QLabel* lblCondition;
    TVariantCombo* cmbVariant;

protected:
    // The button beside the condition, if any, is made by the dialog before the fields.
    TConditionDlg(QWidget* parent, QWidget* conditionButton);
    bool checkInput() override;
};

// The condition of an If, a Switch or a While.
class TfrmIVRProcess : public TConditionDlg {
    Q_OBJECT
public:
    explicit TfrmIVRProcess(QWidget* parent = nullptr);
};

// The value a Case matches; a result name can be picked as a string constant.
class TfrmCase : public TConditionDlg {
    Q_OBJECT
public:
    explicit TfrmCase(TfrmAllSystemInfo* picker, QWidget* parent = nullptr);

    QPushButton* btnGetResult;
    void btnGetResultClick();

private:
    QPointer<TfrmAllSystemInfo> picker_;
};

// The label a Goto jumps to.
class TfrmGoto : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmGoto(QWidget* parent = nullptr);

    bool Edit(IVRGoto& statement);

    QLabel* lblLabel;
    TVariantCombo* cmbLabel;
};

extern QPointer<TfrmIVRProcess> frmIVRProcess;
extern QPointer<TfrmCase> frmCase;
extern QPointer<TfrmGoto> frmGoto;

// Creates the flow-control dialogs and registers the Edit of If, Switch, While, Case, Goto and
// Block (the block uses the note dialog of the declarations).
void installFlowControlDialogs();
