#pragma once

#include <QComboBox>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "ui/sorvixform.h"
#include "engine/dialogservices.h"
#include "engine/links.h"

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class TIVRBase;
class TIVRFlow;
class IVRVariant;
class IVRDataBase;
class IVRLabel;

// A drop-down of the statement dialogs: a list (no typing) or a box that also takes typed text
// (a constant). In a box an item counts as selected only while the box's text equals it, so
// typing over a picked name turns it into a typed constant.
class TVariantCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TVariantCombo(QWidget* parent = nullptr, bool typing = false);

    // A box takes typed text, a list does not; switching keeps the items.
    void setTyping(bool typing);
    bool typing() const { return isEditable(); }

    // Replaces the items with plain names (no declarations behind them), nothing selected.
    void setNames(const QStringList& names);
    // Replaces the items with the declarations of a flow list; selects the linked one, or shows
    // the given text (a box only).
    template <class Decl>
    void fill(const DeclarationCombo<Decl>& combo)
    {
        std::vector<void*> items(combo.items.begin(), combo.items.end());
        fillItems(combo.names, std::move(items), combo.selected, combo.text);
    }
    void fillVariants(const TIVRFlow& flow, const TIVRVariantLink& link);
    void fillDataBases(const TIVRFlow& flow, const TIVRDataBaseLink& link);
    void fillLabels(const TIVRFlow& flow, const TIVRLabelLink& link);

    // The selected row, -1 for none.
    int selectedIndex() const;
    bool hasSelection() const { return selectedIndex() >= 0; }
    // Selects a row (-1: none; a box then shows no text).
    void select(int index);
    // Clears the selection and types the text (a box only).
    void setTypedText(const QString& text);
    // The text the box shows; empty for a list.
    QString typedText() const;

    // The declaration behind the selected row, or null.
    template <class Decl>
    Decl* selected() const
    {
        const int i = selectedIndex();
        return i >= 0 && size_t(i) < items_.size() ? static_cast<Decl*>(items_[size_t(i)]) : nullptr;
    }

private:
    void fillItems(const QStringList& names, std::vector<void*> items, int selected, const QString& text);
    std::vector<void*> items_;
};

// Link write-back of a filled combo box: a selected row links the declaration (which clears a
// variable link's constant); without one the link refers to nothing and, for a variable box, its
// constant becomes the typed text converted (the dialog has refused text that does not convert).
void writeVariantLink(TIVRVariantLink& link, const TVariantCombo& combo);
void writeDataBaseLink(TIVRDataBaseLink& link, const TVariantCombo& combo);
void writeLabelLink(TIVRLabelLink& link, const TVariantCombo& combo);

// The common frame of the statement property dialogs: a content panel of labelled fields, then
// OK, Cancel and Help. A statement's Edit fills the fields, calls execute() (caption, note,
// read-only while the flow runs, the modal run, the note written back on OK) and writes its own
// fields back when execute() answers true.
class TStatementDlg : public TSorvixDlg {
    Q_OBJECT
public:
    enum class Buttons { OkCancelHelp, OkCancel };

    // One input of the content panel with the label that names it in the accelerator and in
    // input-error captions, and whatever stands beside it (a button).
    struct Field {
        QLabel* label = nullptr;
        QWidget* input = nullptr;
        QWidget* companion = nullptr;
        std::function<bool()> enabledWhen;  // empty: always enabled
        void setEnabled(bool on) const;
    };

    explicit TStatementDlg(QWidget* parent = nullptr, Buttons buttons = Buttons::OkCancelHelp);

    QWidget* pnlContent;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp = nullptr;
    // The note field, for the dialogs that have one (addNoteField).
    QLabel* lblNote = nullptr;
    QLineEdit* edtNote = nullptr;

    // Help: StatementHelpRoot + "/" + category + "/" + topic.
    void setHelpTopic(const QString& category, const QString& topic);
    QString helpPath() const;
    // The categories of the statement help.
    static const QString DataDefine, DataOperate, FlowControl, TelephoneOperate;

    // OK runs the dialog's checks and closes with OK when they pass; Help shows the topic.
    void btnOkClick();
    void btnHelpClick();

    // Applies every field's enabling rule.
    void updateFields();
    const std::deque<Field>& fields() const { return fields_; }

    // Tests: every modal run of a statement dialog shows the dialog, hands it to the driver and
    // answers what its buttons decided (Cancel when they decided nothing), without a modal loop.
    using ModalDriver = std::function<void(TStatementDlg& dialog)>;
    static void setModalDriver(ModalDriver driver);

    // The common shape of Edit: caption := the statement's type name, note filled, PrepareDialog,
    // the modal run; on OK the note is written back. Answers whether the user confirmed.
    bool execute(TIVRBase& statement);
    // Runs the dialog modally and answers its result (QDialog::Accepted on OK).
    int showModal();

    // Makes a field's label bound to no input: it shows its caption without an accelerator, since
    // there is nothing for the key to reach (a label without a buddy would show a literal "&").
    static void unbindLabel(QLabel* label, const QString& caption);
    // The caption without its accelerator: "T&ype: " gives "Type: ", "类型(&Y)：" gives "类型：".
    static QString withoutAccelerator(const QString& caption);

protected:
    // Declares a field: its label (accelerator to the input), its row and its place in the tab
    // order, which follows the order of declaration.
    Field& addField(const QString& caption, QWidget* input, QWidget* companion = nullptr);
    // A row without a label of its own (radio buttons, a label above a list).
    void addRow(QWidget* widget, std::initializer_list<QWidget*> tabStops = {});
    void addNoteField(const QString& caption);
    // OK first in the tab order, before the content panel.
    void setOkFirstInTabOrder() { okFirst_ = true; }
    // Sets the tab order; the dialog's constructor calls it after declaring its fields.
    void finishLayout();

    // PrepareDialog: read-only while the flow runs (caption marked, OK off, focus on Cancel),
    // else OK on and the focus on the first input.
    void prepare(const TIVRFlow* flow, const QString& caption);

    // The dialog's checks before OK closes it; true accepts.
    virtual bool checkInput() { return true; }
    // A refused input: a message box (OK only) captioned "Error" + " : " + the label's name,
    // then the focus to the input; the dialog stays open.
    void refuse(const QString& message, const QLabel* label, QWidget* focus);
    // CheckValueInput: a combo box with a selected row passes; otherwise its text must convert.
    bool checkValueInput(const TVariantCombo* combo, const QLabel* label);

    // Runs the dialog modally; tests drive it through the modal driver instead.
    virtual int runModal();
    void showEvent(QShowEvent* event) override;

    QGridLayout* grid() const { return grid_; }

private:
    QWidget* firstInput() const;

    QGridLayout* grid_;
    QHBoxLayout* buttonRow_;
    std::deque<Field> fields_;
    std::vector<QWidget*> tabChain_;
    QString helpCategory_, helpTopic_;
    QWidget* focusOnShow_ = nullptr;
    bool okFirst_ = false;
};
