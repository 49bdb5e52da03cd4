#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;
class QSpinBox;
class IVRExecute;
class IVRTextFile;
class IVRInitFile;

// The execute statement: a command line, how long to wait, whether to end the program then.
class TfrmExecute : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmExecute(QWidget* parent = nullptr);
    bool Edit(IVRExecute& statement);

    void updownTimeOutChangingEx(int proposed);

    QLabel* lblCommandLine;
    TVariantCombo* cmbVariant;
    QLabel* lblTimeOut;
    QSpinBox* updownTimeOut;
    QLabel* lblSecond;
    QCheckBox* ckbTimeOutTerminate;

protected:
    bool checkInput() override;
    void showEvent(QShowEvent* event) override;
};

// The text-file statement.
class TfrmTextFile : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmTextFile(QWidget* parent = nullptr);
    bool Edit(IVRTextFile& statement);

    QLabel* lblFileName;
    TVariantCombo* cmbVariant;
    QLabel* lblWriteText;
    TVariantCombo* cmbWriteText;
    QCheckBox* ckbWriteLine;

protected:
    bool checkInput() override;
};

// The INI-file statement: reading a key into a variable or writing a value.
class TfrmInitFile : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmInitFile(QWidget* parent = nullptr);
    bool Edit(IVRInitFile& statement);

    void radReadClick();

    QLabel* lblFileName;
    TVariantCombo* cmbFileName;
    QLabel* lblSection;
    TVariantCombo* cmbSection;
    QRadioButton* radRead;
    QRadioButton* radWrite;
    QLabel* lblKey;
    TVariantCombo* cmbKey;
    QLabel* lblValue;
    TVariantCombo* cmbValue;
    QLabel* lblDefault;
    TVariantCombo* cmbDefault;

protected:
    bool checkInput() override;
    void showEvent(QShowEvent* event) override;
};

// A called-number dialog that is created with the others but that nothing opens.
class TfrmTransfer : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmTransfer(QWidget* parent = nullptr);

    QLabel* lblVariant;
    TVariantCombo* cmbVariant;
    QGroupBox* grpTimeOut;
    QLabel* Label1;
    QSpinBox* updownTimeOut;
    QLabel* Label2;

protected:
    bool checkInput() override;
};

extern QPointer<TfrmExecute> frmExecute;
extern QPointer<TfrmTextFile> frmTextFile;
extern QPointer<TfrmInitFile> frmInitFile;
extern QPointer<TfrmTransfer> frmTransfer;

// Creates the file and process statements' dialogs (and the transfer dialog) and registers
// their Edit.
void installFileDialogs();
