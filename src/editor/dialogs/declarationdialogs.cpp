#include "editor/dialogs/declarationdialogs.h"

#include <QLabel>
#include <QLineEdit>

#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

QPointer<TfrmDataCategory> frmDataCategory;
QPointer<TfrmIVRVariant> frmIVRVariant;
QPointer<TfrmLabel> frmLabel;

// ---- TfrmDataCategory ----

TfrmDataCategory::TfrmDataCategory(QWidget* parent) : TStatementDlg(parent)
{
    addNoteField(txt::Note);
    edtNote->setMinimumWidth(260);
    finishLayout();
}

bool TfrmDataCategory::Edit(TIVRBase& statement, const QString& noteCaption, const QString& helpCategory,
                            const QString& helpTopic)
{
    lblNote->setText(noteCaption);
    setHelpTopic(helpCategory, helpTopic);
    return execute(statement);
}

// ---- TfrmIVRVariant ----

TfrmIVRVariant::TfrmIVRVariant(QWidget* parent) : TStatementDlg(parent)
{
    edtName = new QLineEdit(this);
    edtName->setMinimumWidth(220);
    lblName = addField(txt::Name, edtName).label;
    edtDefaultValue = new QLineEdit(this);
    lblInitialValue = addField(txt::InitialValue, edtDefaultValue).label;
    addNoteField(txt::Note);
    setHelpTopic(DataDefine, QStringLiteral("IVRVariant.htm"));
    finishLayout();
}

bool TfrmIVRVariant::Edit(IVRVariant& statement)
{
    edtName->setText(statement.Name);
    const TIVRFlow* flow = statement.flow();
    if (flow && flow->Running()) {
        // The runner may be storing into the variable: GetCurrentValueText reads it guarded.
        lblInitialValue->setText(txt::CurrentValue);
        edtDefaultValue->setText(statement.GetCurrentValueText());
    } else {
        lblInitialValue->setText(txt::InitialValue);
        edtDefaultValue->setText(statement.link.GetValueText());
    }
    statement_ = &statement;
    const bool confirmed = execute(statement);
    statement_ = nullptr;
    if (!confirmed) return false;
    statement.Name = edtName->text();
    statement.link.constant = TIVRFlow::TextToValue(edtDefaultValue->text(), nullptr);
    return true;
}

bool TfrmIVRVariant::checkInput()
{
    const QString name = edtName->text();
    if (name.isEmpty()) {
        refuse(txt::NameEmpty, lblName, edtName);
        return false;
    }
    // A reference to the variable is stored as its name; a stored name that begins with a
    // double quotation mark reads back as a string constant, so every reference would be lost.
    if (name.startsWith(QLatin1Char('"'))) {
        refuse(txt::VariantNameQuote, lblName, edtName);
        return false;
    }
    const TIVRFlow* flow = statement_ ? statement_->flow() : nullptr;
    if (flow && flow->NameExists(name, 0, statement_)) {
        refuse(txt::VariantNameUsed, lblName, edtName);
        return false;
    }
    QString error;
    TIVRFlow::TextToValue(edtDefaultValue->text(), &error);
    if (!error.isEmpty()) {
        refuse(error, lblInitialValue, edtDefaultValue);
        return false;
    }
    return true;
}

// ---- TfrmLabel ----

TfrmLabel::TfrmLabel(QWidget* parent) : TStatementDlg(parent)
{
    edtLabelName = new QLineEdit(this);
    edtLabelName->setMinimumWidth(220);
    lblName = addField(txt::Name, edtLabelName).label;
    addNoteField(txt::Note);
    setHelpTopic(FlowControl, QStringLiteral("IVRLabel.htm"));
    finishLayout();
}

bool TfrmLabel::Edit(IVRLabel& statement)
{
    edtLabelName->setText(statement.Name);
    statement_ = &statement;
    const bool confirmed = execute(statement);
    statement_ = nullptr;
    if (!confirmed) return false;
    statement.Name = edtLabelName->text();
    return true;
}

bool TfrmLabel::checkInput()
{
    const QString name = edtLabelName->text();
    if (name.isEmpty()) {
        refuse(txt::NameEmpty, lblName, edtLabelName);
        return false;
    }
    const TIVRFlow* flow = statement_ ? statement_->flow() : nullptr;
    if (flow && flow->NameExists(name, 2, statement_)) {
        refuse(txt::LabelNameUsed, lblName, edtLabelName);
        return false;
    }
    return true;
}

// ---- installation ----

void installDeclarationDialogs()
{
    QWidget* owner = EditRegistry::owner();
    frmDataCategory = new TfrmDataCategory(owner);
    frmIVRVariant = new TfrmIVRVariant(owner);
    frmLabel = new TfrmLabel(owner);
    for (QWidget* d : {static_cast<QWidget*>(frmDataCategory), static_cast<QWidget*>(frmIVRVariant),
                       static_cast<QWidget*>(frmLabel)})
        EditRegistry::adopt(d);

    EditRegistry::registerEditOf<IVRCategory>([](IVRCategory& s) {
        return frmDataCategory &&
               frmDataCategory->Edit(s, txt::Note, TStatementDlg::DataDefine, QStringLiteral("IVRCategory.htm"));
    });
    EditRegistry::registerEditOf<IVRVariant>([](IVRVariant& s) { return frmIVRVariant && frmIVRVariant->Edit(s); });
    // The result variable is only looked at, and only while the flow runs.
    EditRegistry::registerEditOf<IVRResult>([](IVRResult& s) {
        if (frmIVRVariant && s.flow() && s.flow()->Running()) frmIVRVariant->Edit(s);
        return false;
    });
    EditRegistry::registerEditOf<IVRLabel>([](IVRLabel& s) { return frmLabel && frmLabel->Edit(s); });
}
