#pragma once

#include "ui/sorvixform.h"

class ConsoleConfig;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits a device group's name and application. The caller fills the name, the application list
// (each entry's data is its application row) and EditedItem; OK closes only when the checks pass.
class TfrmGroup : public TSorvixDlg {
    Q_OBJECT
public:
    explicit TfrmGroup(const ConsoleConfig* config, QWidget* parent = nullptr);

    // The group row being edited; -1 for a new group.
    int EditedItem = -1;

    QLabel* lblName;
    QLineEdit* edtGroupName;
    QLabel* lblApplication;
    QComboBox* cmbApplication;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Lists the applications of the configuration and selects none.
    void fillApplications();
    // The chosen application row; -1 none.
    int chosenApplication() const;

    void btnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const ConsoleConfig* config_;
};
