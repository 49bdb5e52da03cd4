#pragma once

#include <utility>
#include <vector>

#include "ui/sorvixform.h"

class QListWidget;
class QPushButton;

// The pick list from which the main window adds addresses or groups: setEntries before it runs,
// chosenRows after it was accepted. OK always closes.
class TfrmAdd : public TSorvixDlg {
    Q_OBJECT
public:
    explicit TfrmAdd(QWidget* parent = nullptr);

    QListWidget* lbAdd;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Captions the list and offers these entries (a name and its row each), none chosen.
    void setEntries(const QString& caption, const std::vector<std::pair<QString, int>>& entries);
    void addEntry(const QString& name, int row);
    // The rows of the chosen entries, in list order.
    std::vector<int> chosenRows() const;
};
