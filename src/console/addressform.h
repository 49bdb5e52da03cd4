#pragma once

#include "ui/sorvixform.h"

class QComboBox;
class QPushButton;
class QRadioButton;

// Binds one or more device addresses to an application or a group. The caller fills both lists
// (each entry's data is its row), sets the radio buttons and the caption; OK closes only when
// the checks pass.
class TfrmAddress : public TSorvixDlg {
    Q_OBJECT
public:
    explicit TfrmAddress(QWidget* parent = nullptr);

    QRadioButton* radApplication;
    QComboBox* cmbApplication;
    QRadioButton* radGroup;
    QComboBox* cmbGroup;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Unchecks both radio buttons.
    void clearRadios();
    // The chosen rows; -1 none.
    int chosenApplication() const;
    int chosenGroup() const;

    // Each list is enabled exactly when its radio button is checked.
    void radApplicationGroupClick();
    void btnOkClick();

protected:
    void showEvent(QShowEvent* event) override;
};
