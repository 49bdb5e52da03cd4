#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class QRadioButton;
class QSpinBox;
class IVROperator;
class IVRString;
class IVRDateTime;
class TfrmAllSystemInfo;

// Save := Dest operator Source.
class TfrmIVRVariantOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmIVRVariantOperate(TfrmAllSystemInfo* picker, QWidget* parent = nullptr);

    bool Edit(IVROperator& statement);

    QLabel* lblSaveVariant;
    TVariantCombo* cmbResult;
    QLabel* lblOperatorType;
    TVariantCombo* cmbOperate;
    QLabel* lblDestVariant;
    TVariantCombo* cmbDest;
    QPushButton* btnGetResult;
    QLabel* lblSourceVariant;
    TVariantCombo* cmbSource;

    // The source takes part unless the operation is Assign or Not (or none is chosen yet).
    void cmbOperateChange() { updateFields(); }
    void btnGetResultClick();

protected:
    bool checkInput() override;

private:
    bool sourceUsed() const;
    QPointer<TfrmAllSystemInfo> picker_;
};

// Converts the text in a variable in place.
class TfrmStringOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmStringOperate(QWidget* parent = nullptr);

    bool Edit(IVRString& statement);

    QLabel* lblConvertVariant;
    TVariantCombo* cmbVariant;
    QLabel* lblStringType;
    TVariantCombo* cmbOperate;
    QLabel* lblSubIndex;
    QSpinBox* edtSubIndex;  // the edit with its up-down
    QLabel* lblSubCount;
    QSpinBox* edtSubCount;

    // The position and the length take part in SubString only.
    void cmbOperateChange() { updateFields(); }
};

// One part of a date-time, or a formatted text, into a variable.
class TfrmDateOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmDateOperate(QWidget* parent = nullptr);

    bool Edit(IVRDateTime& statement);

    QLabel* lblDateVariant;
    TVariantCombo* cmbVariant;
    QRadioButton* rbtnSystemDate;
    QRadioButton* rbtnVariantDate;
    QLabel* lblDateOperateType;
    TVariantCombo* cmbOperate;  // a part, or a typed format pattern
};

extern QPointer<TfrmIVRVariantOperate> frmIVRVariantOperate;
extern QPointer<TfrmStringOperate> frmStringOperate;
extern QPointer<TfrmDateOperate> frmDateOperate;

// Creates the dialogs of the operator, string and date-time statements and registers their Edit.
void installVariableDialogs();
