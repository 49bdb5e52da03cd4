#include "editor/dialogs/allsysteminfo.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/dialogs/editregistry.h"
#include "engine/texts.h"

QPointer<TfrmAllSystemInfo> frmAllSystemInfo;

TfrmAllSystemInfo::TfrmAllSystemInfo(QWidget* parent) : TStatementDlg(parent, Buttons::OkCancel)
{
    setWindowTitle(txt::tnResult);
    auto* box = new QWidget(this);
    lblAllSystemInfo = new QLabel(txt::AllResult, box);
    lbAllSystemInfo = new QListWidget(box);
    lbAllSystemInfo->addItems(txt::ResultNames);
    lbAllSystemInfo->setSelectionMode(QAbstractItemView::SingleSelection);
    lblAllSystemInfo->setBuddy(lbAllSystemInfo);
    const int rows = lbAllSystemInfo->count();
    lbAllSystemInfo->setFixedHeight(lbAllSystemInfo->sizeHintForRow(0) * rows + 2 * lbAllSystemInfo->frameWidth() + 4);
    lbAllSystemInfo->setMinimumWidth(lbAllSystemInfo->sizeHintForColumn(0) + 40);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(lblAllSystemInfo);
    column->addWidget(lbAllSystemInfo);
    addRow(box, {lbAllSystemInfo});
    finishLayout();
    // A double click chooses the row, as OK does.
    connect(lbAllSystemInfo, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!item || !btnOk->isEnabled()) return;
        lbAllSystemInfo->setCurrentItem(item);
        btnOk->click();
    });
}

void TfrmAllSystemInfo::showEvent(QShowEvent* event)
{
    lbAllSystemInfo->clearSelection();
    lbAllSystemInfo->setCurrentRow(-1);
    TStatementDlg::showEvent(event);
    lbAllSystemInfo->setFocus(Qt::OtherFocusReason);
}

QString TfrmAllSystemInfo::Execute()
{
    btnOk->setEnabled(true);
    if (showModal() != QDialog::Accepted) return {};
    const QList<QListWidgetItem*> chosen = lbAllSystemInfo->selectedItems();
    return chosen.isEmpty() ? QString() : chosen.first()->text();
}

void installResultPicker()
{
    frmAllSystemInfo = new TfrmAllSystemInfo(EditRegistry::owner());
    EditRegistry::adopt(frmAllSystemInfo);
}
