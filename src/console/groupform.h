#pragma once

#include "channels/configmodel.h"
#include "ui/sorvixform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits a device group's name and application: setValues before it runs, values after it was
// accepted. The list offers the configuration's applications (each entry's data is its row). OK
// closes only when the checks pass. Nothing is written here.
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

    // Shows a group for editing (editedItem: its row, -1 for a new one): the applications listed
    // afresh, the group's own selected (none when it has none).
    void setValues(int editedItem, const ConsoleConfig::Group& values);
    // The name as typed and the chosen application row (-1 none).
    ConsoleConfig::Group values() const;

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
