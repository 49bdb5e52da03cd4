#pragma once

#include "ui/sorvixform.h"

class ConsoleConfig;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits an application's name and flow file. The caller fills the fields and EditedItem; OK
// closes only when the checks pass. Nothing is written here.
class TfrmApplication : public TSorvixDlg {
    Q_OBJECT
public:
    // config: the applications the name is checked against.
    explicit TfrmApplication(const ConsoleConfig* config, QWidget* parent = nullptr);

    // The application row being edited; -1 for a new application.
    int EditedItem = -1;

    QLabel* lblName;
    QLineEdit* edtApplicationName;
    QLabel* lblFlowFile;
    QLineEdit* edtApplicationFile;
    QPushButton* btnSelectFile;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void btnOKClick();
    void btnSelectFileClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const ConsoleConfig* config_;
};
