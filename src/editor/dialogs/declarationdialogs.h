#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class IVRVariant;
class IVRLabel;

// A note only: the category folder and the block.
class TfrmDataCategory : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmDataCategory(QWidget* parent = nullptr);

    // The caller names the note's label and the help page.
    bool Edit(TIVRBase& statement, const QString& noteCaption, const QString& helpCategory,
              const QString& helpTopic);
};

// A variable: its name, and its initial value, or while the flow runs its current value.
class TfrmIVRVariant : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmIVRVariant(QWidget* parent = nullptr);

    bool Edit(IVRVariant& statement);

    QLabel* lblName;
    QLineEdit* edtName;
    QLabel* lblInitialValue;
    QLineEdit* edtDefaultValue;

protected:
    bool checkInput() override;

private:
    IVRVariant* statement_ = nullptr;  // the one being edited, for the name checks
};

// A label: its name.
class TfrmLabel : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmLabel(QWidget* parent = nullptr);

    bool Edit(IVRLabel& statement);

    QLabel* lblName;
    QLineEdit* edtLabelName;

protected:
    bool checkInput() override;

private:
    IVRLabel* statement_ = nullptr;
};

extern QPointer<TfrmDataCategory> frmDataCategory;
extern QPointer<TfrmIVRVariant> frmIVRVariant;
extern QPointer<TfrmLabel> frmLabel;

// Creates the note, variable and label dialogs and registers the Edit of the category, the
// variable, the result variable and the label.
void installDeclarationDialogs();
