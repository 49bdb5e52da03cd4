#pragma once

#include "ui/sorvixform.h"

class QLabel;
class QPushButton;

// The about box of both programs.
class TfrmAboutSorvix : public TSorvixDlg {
    Q_OBJECT
public:
    explicit TfrmAboutSorvix(QWidget* parent = nullptr);

    QLabel* lblSorvix;
    QLabel* lblIVRMachine;
    QLabel* lblVersion;
    QLabel* lblWebSite;
    QLabel* lblWebUrl;
    QLabel* lblTechSupport;
    QLabel* lblSupportEmail;
    QLabel* lblMarket;
    QLabel* lblMarketEmail;
    QPushButton* btnOK;

    void lblWebUrlClick();
    void lblSupportEmailClick();
    void lblMarketEmailClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
};
