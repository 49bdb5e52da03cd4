#include "console/addressform.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "channels/admintexts.h"
#include "console/inputcheck.h"
#include "engine/texts.h"

TfrmAddress::TfrmAddress(QWidget* parent) : TSorvixDlg(parent)
{
    setObjectName(QStringLiteral("frmAddress"));

    radApplication = new QRadioButton(adm::Application, this);
    cmbApplication = new QComboBox(this);
    cmbApplication->setMinimumWidth(260);
    radGroup = new QRadioButton(adm::Group, this);
    cmbGroup = new QComboBox(this);
    btnOk = new QPushButton(txt::Ok, this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(txt::Cancel, this);

    auto* lists = new QVBoxLayout;
    lists->addWidget(radApplication);
    auto* app = new QHBoxLayout;
    app->addSpacing(20);
    app->addWidget(cmbApplication);
    lists->addLayout(app);
    lists->addSpacing(6);
    lists->addWidget(radGroup);
    auto* group = new QHBoxLayout;
    group->addSpacing(20);
    group->addWidget(cmbGroup);
    lists->addLayout(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(lists);
    all->addSpacing(8);
    all->addLayout(buttons);

    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, cmbApplication);
    setTabOrder(cmbApplication, radApplication);
    setTabOrder(radApplication, radGroup);
    setTabOrder(radGroup, cmbGroup);

    connect(radApplication, &QRadioButton::clicked, this, &TfrmAddress::radApplicationGroupClick);
    connect(radGroup, &QRadioButton::clicked, this, &TfrmAddress::radApplicationGroupClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmAddress::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAddress::clearRadios()
{
    for (QRadioButton* r : {radApplication, radGroup}) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
}

void TfrmAddress::setValues(const Values& values)
{
    using Binding = ConsoleConfig::Binding;
    setWindowTitle(values.caption);
    clearRadios();
    fillRows(cmbApplication, values.applications);
    fillRows(cmbGroup, values.groups);
    if (values.binding == Binding::Application) {
        cmbApplication->setCurrentIndex(cmbApplication->findData(values.target));
        radApplication->setChecked(values.checked);
    } else if (values.binding == Binding::Group) {
        cmbGroup->setCurrentIndex(cmbGroup->findData(values.target));
        radGroup->setChecked(values.checked);
    }
    for (QComboBox* c : {cmbApplication, cmbGroup})
        if (c->currentIndex() < 0 && c->count() > 0) c->setCurrentIndex(0);
    radApplicationGroupClick();
}

std::pair<ConsoleConfig::Binding, int> TfrmAddress::chosenBinding() const
{
    if (radApplication->isChecked()) return {ConsoleConfig::Binding::Application, chosenApplication()};
    if (radGroup->isChecked()) return {ConsoleConfig::Binding::Group, chosenGroup()};
    return {ConsoleConfig::Binding::None, -1};
}

int TfrmAddress::chosenApplication() const
{
    return chosenRow(cmbApplication);
}

int TfrmAddress::chosenGroup() const
{
    return chosenRow(cmbGroup);
}

void TfrmAddress::showEvent(QShowEvent* event)
{
    TSorvixDlg::showEvent(event);
    radApplicationGroupClick();
}

void TfrmAddress::radApplicationGroupClick()
{
    cmbApplication->setEnabled(radApplication->isChecked());
    cmbGroup->setEnabled(radGroup->isChecked());
}

void TfrmAddress::btnOkClick()
{
    if (!radApplication->isChecked() && !radGroup->isChecked())
        return refuseInput(this, radApplication, adm::SelectApplicationOrGroup);
    if (radApplication->isChecked() && chosenApplication() < 0)
        return refuseInput(this, cmbApplication, adm::SelectApplication);
    if (radGroup->isChecked() && chosenGroup() < 0)
        return refuseInput(this, cmbGroup, adm::SelectGroup);
    accept();
}
