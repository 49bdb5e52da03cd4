#pragma once

#include <QPointer>

#include "editor/dialogs/statementdlg.h"

class QListWidget;

// The result picker: one of the four result names, for a statement to compare against the
// result variable.
class TfrmAllSystemInfo : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmAllSystemInfo(QWidget* parent = nullptr);

    // Shows the picker; the chosen result name, or empty when nothing was chosen or it was cancelled.
    QString Execute();

    QLabel* lblAllSystemInfo;
    QListWidget* lbAllSystemInfo;

protected:
    void showEvent(QShowEvent* event) override;
};

extern QPointer<TfrmAllSystemInfo> frmAllSystemInfo;

// Creates the result picker that the operator and case dialogs share.
void installResultPicker();
