#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class IVRDBOperate;
class IVRField;
class IVRParam;
class IVRCommand;

// Executes, opens, closes or moves a database definition's data set.
class TfrmDataBaseOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmDataBaseOperate(QWidget* parent = nullptr);

    bool Edit(IVRDBOperate& statement);

    QLabel* lblDataBase;
    TVariantCombo* cmbDataBase;
    QLabel* lblOperateType;
    TVariantCombo* cmbOperateType;
    QLabel* lblPositionVariant;
    TVariantCombo* cmbVariant;

    // Close reports nothing: the position variable is off (its selection is kept).
    void cmbOperateTypeChange() { updateFields(); }
};

// A field into a variable (IVRField), or a value into a command parameter (IVRParam).
class TfrmFieldOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmFieldOperate(QWidget* parent = nullptr);

    bool Edit(IVRField& statement);
    bool Edit(IVRParam& statement);

    QLabel* lblDataBase;
    TVariantCombo* cmbDataBase;
    QLabel* lblFieldName;
    TVariantCombo* cmbField;
    QLabel* lblSaveVariant;
    TVariantCombo* cmbVariant;  // a list for a field, a box for a parameter
    QString HelpTopic;

protected:
    bool checkInput() override;

private:
    void prepareFor(const QString& fieldCaption, const QString& variantCaption, bool typing, const QString& topic);
};

// Replaces the command type and text of a data set.
class TfrmCommandOperate : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmCommandOperate(QWidget* parent = nullptr);

    bool Edit(IVRCommand& statement);

    QLabel* lblDataBase;
    TVariantCombo* cmbDataBase;
    QLabel* lblCommandType;
    TVariantCombo* cmbCommandType;
    QLabel* lblCommandText;
    TVariantCombo* cmbVariant;

protected:
    bool checkInput() override;
};

extern QPointer<TfrmDataBaseOperate> frmDataBaseOperate;
extern QPointer<TfrmFieldOperate> frmFieldOperate;
extern QPointer<TfrmCommandOperate> frmCommandOperate;

// Creates the dialogs of the database statements and registers their Edit.
void installDataBaseOperateDialogs();
