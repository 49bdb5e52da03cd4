#pragma once

#include <QStringList>

#include <utility>

#include "channels/configmodel.h"
#include "ui/sorvixform.h"

class QComboBox;
class QPushButton;
class QRadioButton;

// Binds one or more device addresses to an application or a group: setValues before it runs,
// chosenBinding after it was accepted. Each list's entries carry their row as data. OK closes
// only when the checks pass.
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

    // What the dialog shows.
    struct Values {
        QString caption;
        QStringList applications;  // the entries of the two lists, by row
        QStringList groups;
        // Selected in its list; a list left with no selection selects its first entry.
        ConsoleConfig::Binding binding = ConsoleConfig::Binding::None;
        int target = -1;
        bool checked = true;  // the binding's radio button is checked; false: neither is
    };
    void setValues(const Values& values);
    // The list of the checked radio button and its chosen row; Binding::None when neither is checked.
    std::pair<ConsoleConfig::Binding, int> chosenBinding() const;

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
