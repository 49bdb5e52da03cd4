#include "editor/dialogs/statementdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/help.h"
#include "ui/prompt.h"
#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

namespace {
TStatementDlg::ModalDriver& modalDriver()
{
    static TStatementDlg::ModalDriver driver;
    return driver;
}
}  // namespace

// ---- TVariantCombo ----

TVariantCombo::TVariantCombo(QWidget* parent, bool typing) : QComboBox(parent)
{
    setMinimumContentsLength(24);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setTyping(typing);
}

void TVariantCombo::setTyping(bool typing)
{
    if (typing == isEditable()) return;
    const int selectedRow = currentIndex();
    setEditable(typing);
    if (typing) {
        // The typed text is a constant, never a new item.
        setInsertPolicy(QComboBox::NoInsert);
        setCompleter(nullptr);
    }
    select(selectedRow);
}

void TVariantCombo::setNames(const QStringList& names)
{
    fillItems(names, std::vector<void*>(size_t(names.size()), nullptr), -1, QString());
}

void TVariantCombo::fillItems(const QStringList& names, std::vector<void*> items, int selectedRow,
                              const QString& text)
{
    clear();
    items_ = std::move(items);
    addItems(names);
    if (selectedRow >= 0) select(selectedRow);
    else setTypedText(text);
}

void TVariantCombo::fillVariants(const TIVRFlow& flow, const TIVRVariantLink& link)
{
    fill(flow.FillVariantCombo(link));
}

void TVariantCombo::fillDataBases(const TIVRFlow& flow, const TIVRDataBaseLink& link)
{
    fill(flow.FillDataBaseCombo(link));
}

void TVariantCombo::fillLabels(const TIVRFlow& flow, const TIVRLabelLink& link)
{
    fill(flow.FillLabelCombo(link));
}

int TVariantCombo::selectedIndex() const
{
    if (!isEditable()) return currentIndex();
    // An editable box keeps its current index while the user types other text.
    const QString text = currentText();
    const int current = currentIndex();
    if (current >= 0 && itemText(current) == text) return current;
    for (int i = 0; i < count(); ++i)
        if (itemText(i) == text) return i;
    return -1;
}

void TVariantCombo::select(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
    if (isEditable() && currentIndex() < 0) setEditText(QString());
}

void TVariantCombo::setTypedText(const QString& text)
{
    setCurrentIndex(-1);
    if (isEditable()) setEditText(text);
}

QString TVariantCombo::typedText() const
{
    return isEditable() ? currentText() : QString();
}

// ---- link write-back ----

void writeVariantLink(TIVRVariantLink& link, const TVariantCombo& combo)
{
    if (IVRVariant* v = combo.selected<IVRVariant>()) {
        link.LinkTo(v);
        return;
    }
    link.Unlink();
    // A list with nothing chosen shows no constant, so it keeps none.
    link.constant = combo.typing() ? TIVRFlow::TextToValue(combo.typedText(), nullptr) : Value();
}

void writeDataBaseLink(TIVRDataBaseLink& link, const TVariantCombo& combo)
{
    if (IVRDataBase* d = combo.selected<IVRDataBase>()) link.LinkTo(d);
    else link.Unlink();
}

void writeLabelLink(TIVRLabelLink& link, const TVariantCombo& combo)
{
    if (IVRLabel* l = combo.selected<IVRLabel>()) link.LinkTo(l);
    else link.Unlink();
}

// ---- TStatementDlg ----

const QString TStatementDlg::DataDefine = QStringLiteral("DataDefine");
const QString TStatementDlg::DataOperate = QStringLiteral("DataOperate");
const QString TStatementDlg::FlowControl = QStringLiteral("FlowControl");
const QString TStatementDlg::TelephoneOperate = QStringLiteral("TelephoneOperate");

void TStatementDlg::Field::setEnabled(bool on) const
{
    if (label) label->setEnabled(on);
    if (input) input->setEnabled(on);
    if (companion) companion->setEnabled(on);
}

TStatementDlg::TStatementDlg(QWidget* parent, Buttons buttons) : TSorvixDlg(parent)
{
    pnlContent = new QWidget(this);
    grid_ = new QGridLayout(pnlContent);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(8);
    grid_->setColumnStretch(1, 1);

    btnOk = new QPushButton(txt::Ok, this);
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    btnCancel = new QPushButton(txt::Cancel, this);
    btnCancel->setAutoDefault(false);
    if (buttons == Buttons::OkCancelHelp) {
        btnHelp = new QPushButton(txt::Help, this);
        btnHelp->setAutoDefault(false);
    }

    buttonRow_ = new QHBoxLayout;
    buttonRow_->addStretch();
    buttonRow_->addWidget(btnOk);
    buttonRow_->addWidget(btnCancel);
    if (btnHelp) buttonRow_->addWidget(btnHelp);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(14);
    outer->addWidget(pnlContent);
    outer->addLayout(buttonRow_);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOk, &QPushButton::clicked, this, &TStatementDlg::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    if (btnHelp) connect(btnHelp, &QPushButton::clicked, this, &TStatementDlg::btnHelpClick);
}

QString TStatementDlg::withoutAccelerator(const QString& caption)
{
    static const QRegularExpression chinese(QStringLiteral("\\(&[^&]\\)"));
    QString text = caption;
    text.remove(chinese);
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;  // "&&" is a plain "&"
        else if (text[i] == QLatin1Char('&')) continue;
        plain += text[i];
    }
    return plain;
}

void TStatementDlg::unbindLabel(QLabel* label, const QString& caption)
{
    label->setBuddy(nullptr);
    label->setText(withoutAccelerator(caption));
}

TStatementDlg::Field& TStatementDlg::addField(const QString& caption, QWidget* input, QWidget* companion)
{
    const int row = grid_->rowCount();
    Field f;
    f.label = new QLabel(caption, pnlContent);
    f.label->setBuddy(input);
    f.input = input;
    f.companion = companion;
    input->setParent(pnlContent);
    grid_->addWidget(f.label, row, 0);
    if (companion) {
        companion->setParent(pnlContent);
        grid_->addWidget(input, row, 1);
        grid_->addWidget(companion, row, 2);
    } else {
        grid_->addWidget(input, row, 1, 1, 2);
    }
    tabChain_.push_back(input);
    if (companion) tabChain_.push_back(companion);
    fields_.push_back(std::move(f));
    return fields_.back();
}

void TStatementDlg::addRow(QWidget* widget, std::initializer_list<QWidget*> tabStops)
{
    widget->setParent(pnlContent);
    grid_->addWidget(widget, grid_->rowCount(), 0, 1, 3);
    tabChain_.insert(tabChain_.end(), tabStops.begin(), tabStops.end());
}

void TStatementDlg::addNoteField(const QString& caption)
{
    edtNote = new QLineEdit(pnlContent);
    lblNote = addField(caption, edtNote).label;
}

void TStatementDlg::finishLayout()
{
    std::vector<QWidget*> chain;
    std::vector<QWidget*> buttons = {btnOk, btnCancel};
    if (btnHelp) buttons.push_back(btnHelp);
    if (okFirst_) {
        chain.push_back(btnOk);
        chain.insert(chain.end(), tabChain_.begin(), tabChain_.end());
        chain.insert(chain.end(), buttons.begin() + 1, buttons.end());
    } else {
        chain = tabChain_;
        chain.insert(chain.end(), buttons.begin(), buttons.end());
    }
    for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void TStatementDlg::setHelpTopic(const QString& category, const QString& topic)
{
    helpCategory_ = category;
    helpTopic_ = topic;
}

QString TStatementDlg::helpPath() const
{
    return txt::StatementHelpRoot + QLatin1Char('/') + helpCategory_ + QLatin1Char('/') + helpTopic_;
}

void TStatementDlg::btnHelpClick()
{
    ShowHtmlHelp(this, helpPath(), 0, 0);
}

void TStatementDlg::btnOkClick()
{
    if (!btnOk->isEnabled()) return;
    if (checkInput()) accept();
}

void TStatementDlg::updateFields()
{
    for (const Field& f : fields_)
        if (f.enabledWhen) f.setEnabled(f.enabledWhen());
}

void TStatementDlg::refuse(const QString& message, const QLabel* label, QWidget* focus)
{
    const QString name = label ? TIVRFlow::CaptionToName(label->text()) : QString();
    Prompt::instance().message(this, message, txt::Error + txt::Colon + name, Prompt::Kind::Error,
                               Prompt::Buttons::Ok);
    if (focus) focus->setFocus(Qt::OtherFocusReason);
}

bool TStatementDlg::checkValueInput(const TVariantCombo* combo, const QLabel* label)
{
    const ValueInputCheck check =
        TIVRFlow::CheckValueInput(combo->hasSelection(), combo->typedText(), label ? label->text() : QString());
    if (check.accepted) return true;
    Prompt::instance().message(this, check.message, check.caption, Prompt::Kind::Error, Prompt::Buttons::Ok);
    const_cast<TVariantCombo*>(combo)->setFocus(Qt::OtherFocusReason);
    return false;
}

QWidget* TStatementDlg::firstInput() const
{
    for (QWidget* w : tabChain_)
        if (w->isEnabled()) return w;
    return btnCancel;
}

void TStatementDlg::prepare(const TIVRFlow* flow, const QString& caption)
{
    DialogPreparation p;
    p.caption = caption;
    if (flow) p = flow->PrepareDialog(caption);
    setWindowTitle(p.caption);
    btnOk->setEnabled(p.okEnabled);
    focusOnShow_ = p.focus == DialogPreparation::Focus::RunningControl ? btnCancel : firstInput();
    focusOnShow_->setFocus(Qt::OtherFocusReason);
}

bool TStatementDlg::execute(TIVRBase& statement)
{
    if (edtNote) edtNote->setText(statement.Note);
    prepare(statement.flow(), statement.GetTypeName());
    if (showModal() != QDialog::Accepted) return false;
    if (edtNote) statement.Note = edtNote->text();
    return true;
}

int TStatementDlg::showModal()
{
    return runModal();
}

void TStatementDlg::setModalDriver(ModalDriver driver)
{
    modalDriver() = std::move(driver);
}

int TStatementDlg::runModal()
{
    if (!modalDriver()) return exec();
    setResult(QDialog::Rejected);
    show();
    // The driver may set another driver for a nested dialog; keep this one alive meanwhile.
    const ModalDriver driver = modalDriver();
    driver(*this);
    if (isVisible()) {
        hide();
        setResult(QDialog::Rejected);
    }
    return result();
}

void TStatementDlg::showEvent(QShowEvent* event)
{
    TSorvixDlg::showEvent(event);
    if (focusOnShow_) focusOnShow_->setFocus(Qt::OtherFocusReason);
}
