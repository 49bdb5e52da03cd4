#include "console/groupform.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "console/inputcheck.h"
#include "engine/texts.h"

TfrmGroup::TfrmGroup(const ConsoleConfig* config, QWidget* parent) : TSorvixDlg(parent), config_(config)
{
    setObjectName(QStringLiteral("frmGroup"));
    setWindowTitle(adm::Group);

    lblName = new QLabel(txt::Name, this);
    edtGroupName = new QLineEdit(this);
    edtGroupName->setMinimumWidth(240);
    lblName->setBuddy(edtGroupName);
    lblApplication = new QLabel(adm::ApplicationLabel, this);
    cmbApplication = new QComboBox(this);
    cmbApplication->setEditable(false);
    lblApplication->setBuddy(cmbApplication);
    btnOk = new QPushButton(txt::Ok, this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(txt::Cancel, this);

    auto* grid = new QGridLayout;
    grid->addWidget(lblName, 0, 0);
    grid->addWidget(edtGroupName, 0, 1);
    grid->addWidget(lblApplication, 1, 0);
    grid->addWidget(cmbApplication, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(grid);
    all->addSpacing(8);
    all->addLayout(buttons);

    // Down the fields, then the buttons: Tab from the name reaches the application.
    setTabOrder(edtGroupName, cmbApplication);
    setTabOrder(cmbApplication, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(btnOk, &QPushButton::clicked, this, &TfrmGroup::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmGroup::setValues(int editedItem, const ConsoleConfig::Group& values)
{
    EditedItem = editedItem;
    edtGroupName->setText(values.name);
    fillApplications();
    cmbApplication->setCurrentIndex(cmbApplication->findData(values.application));
}

ConsoleConfig::Group TfrmGroup::values() const
{
    return {edtGroupName->text(), chosenApplication()};
}

void TfrmGroup::fillApplications()
{
    fillRows(cmbApplication, config_ ? config_->applicationNames() : QStringList());
}

int TfrmGroup::chosenApplication() const
{
    return chosenRow(cmbApplication);
}

void TfrmGroup::showEvent(QShowEvent* event)
{
    TSorvixDlg::showEvent(event);
    edtGroupName->setFocus(Qt::OtherFocusReason);
}

void TfrmGroup::btnOkClick()
{
    const QString name = edtGroupName->text();
    if (name.isEmpty()) return refuseInput(this, edtGroupName, txt::NameEmpty);
    const int found = config_ ? config_->findGroup(name, Qt::CaseInsensitive) : -1;
    if (found >= 0 && found != EditedItem) return refuseInput(this, edtGroupName, adm::GroupNameUsed);
    if (chosenApplication() < 0)
        return refuseInput(this, cmbApplication, adm::SelectApplication);
    accept();
}
