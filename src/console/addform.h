#pragma once

#include <vector>

#include "ui/sorvixform.h"

class QListWidget;
class QPushButton;

// The pick list from which the main window adds addresses or groups. The caller sets the
// caption, clears it and fills it (each entry's data is its row); OK always closes.
class TfrmAdd : public TSorvixDlg {
    Q_OBJECT
public:
    explicit TfrmAdd(QWidget* parent = nullptr);

    QListWidget* lbAdd;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void addEntry(const QString& name, int row);
    // The rows of the chosen entries, in list order.
    std::vector<int> chosenRows() const;
};
