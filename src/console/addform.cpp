#include "console/addform.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/texts.h"

TfrmAdd::TfrmAdd(QWidget* parent) : TSorvixDlg(parent)
{
    setObjectName(QStringLiteral("frmAdd"));
    lbAdd = new QListWidget(this);
    lbAdd->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbAdd->setFixedSize(300, 240);
    btnOk = new QPushButton(txt::Ok, this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(txt::Cancel, this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* all = new QVBoxLayout(this);
    all->addWidget(lbAdd);
    all->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAdd::setEntries(const QString& caption, const std::vector<std::pair<QString, int>>& entries)
{
    setWindowTitle(caption);
    lbAdd->clear();
    for (const auto& [name, row] : entries) addEntry(name, row);
}

void TfrmAdd::addEntry(const QString& name, int row)
{
    auto* item = new QListWidgetItem(name, lbAdd);
    item->setData(Qt::UserRole, row);
}

std::vector<int> TfrmAdd::chosenRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < lbAdd->count(); ++i)
        if (lbAdd->item(i)->isSelected()) rows.push_back(lbAdd->item(i)->data(Qt::UserRole).toInt());
    return rows;
}
