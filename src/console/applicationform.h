#pragma once

#include "channels/configmodel.h"
#include "ui/sorvixform.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Edits an application's name and flow file: setValues before it runs, values after it was
// accepted. OK closes only when the checks pass. Nothing is written here.
class TfrmApplication : public TSorvixDlg {
    Q_OBJECT
public:
    // config: the applications the name is checked against.
    explicit TfrmApplication(const ConsoleConfig* config, QWidget* parent = nullptr);

    // The application row being edited; -1 for a new application.
    int EditedItem = -1;

    // Shows an application for editing (editedItem: its row, -1 for a new one).
    void setValues(int editedItem, const ConsoleConfig::Application& values);
    // The name and flow file as they stand in the fields.
    ConsoleConfig::Application values() const;

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
