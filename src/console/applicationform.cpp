#include "console/applicationform.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "console/inputcheck.h"
#include "ui/prompt.h"
#include "engine/flow.h"
#include "engine/texts.h"

TfrmApplication::TfrmApplication(const ConsoleConfig* config, QWidget* parent) : TSorvixDlg(parent), config_(config)
{
    setObjectName(QStringLiteral("frmApplication"));
    setWindowTitle(adm::Application);

    lblName = new QLabel(txt::Name, this);
    edtApplicationName = new QLineEdit(this);
    lblName->setBuddy(edtApplicationName);
    lblFlowFile = new QLabel(adm::FlowFileLabel, this);
    edtApplicationFile = new QLineEdit(this);
    lblFlowFile->setBuddy(edtApplicationFile);
    edtApplicationName->setMinimumWidth(320);
    btnSelectFile = new QPushButton(adm::SelectFile, this);
    btnOK = new QPushButton(txt::Ok, this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(txt::Cancel, this);

    auto* grid = new QGridLayout;
    grid->addWidget(lblName, 0, 0);
    grid->addWidget(edtApplicationName, 0, 1, 1, 2);
    grid->addWidget(lblFlowFile, 1, 0);
    grid->addWidget(edtApplicationFile, 1, 1);
    grid->addWidget(btnSelectFile, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(grid);
    all->addSpacing(8);
    all->addLayout(buttons);

    setTabOrder(edtApplicationName, edtApplicationFile);
    setTabOrder(edtApplicationFile, btnSelectFile);
    setTabOrder(btnSelectFile, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QPushButton::clicked, this, &TfrmApplication::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnSelectFile, &QPushButton::clicked, this, &TfrmApplication::btnSelectFileClick);
}

void TfrmApplication::setValues(int editedItem, const ConsoleConfig::Application& values)
{
    EditedItem = editedItem;
    edtApplicationName->setText(values.name);
    edtApplicationFile->setText(values.flowFile);
}

ConsoleConfig::Application TfrmApplication::values() const
{
    return {edtApplicationName->text(), edtApplicationFile->text()};
}

void TfrmApplication::showEvent(QShowEvent* event)
{
    TSorvixDlg::showEvent(event);
    edtApplicationName->setFocus(Qt::OtherFocusReason);
}

void TfrmApplication::btnOKClick()
{
    const QString name = edtApplicationName->text();
    if (name.isEmpty()) return refuseInput(this, edtApplicationName, txt::NameEmpty);
    const int found = config_ ? config_->findApplication(name, Qt::CaseInsensitive) : -1;
    if (found >= 0 && found != EditedItem)
        return refuseInput(this, edtApplicationName, adm::ApplicationNameUsed);
    if (edtApplicationFile->text().isEmpty())
        return refuseInput(this, edtApplicationFile, adm::InputFlowFile);
    accept();
}

void TfrmApplication::btnSelectFileClick()
{
    const QString current = edtApplicationFile->text();
    const QString dir = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString file = Prompt::instance().openFileName(this, TIVRFlow::CaptionToName(txt::mnuOpen), dir,
                                                         Prompt::qtFilter(txt::FlowFileFilter));
    if (!file.isEmpty()) edtApplicationFile->setText(QFileInfo(file).absoluteFilePath());
}
