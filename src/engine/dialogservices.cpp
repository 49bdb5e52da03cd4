// The flow document's services for the statements' property dialogs.
#include "engine/flow.h"

#include "engine/links.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

namespace {
// Walks a declaration list from its head (the most recent) and lists it oldest first.
template <class Decl, class Next>
DeclarationCombo<Decl> fillCombo(Decl* head, Next next, const Decl* linked)
{
    DeclarationCombo<Decl> combo;
    for (Decl* d = head; d; d = next(d)) {
        combo.names.prepend(d->Name);
        combo.items.insert(combo.items.begin(), d);
    }
    for (size_t i = 0; i < combo.items.size(); ++i) {
        if (combo.items[i] == linked) {
            combo.selected = int(i);
            combo.text = combo.names[qsizetype(i)];
            break;
        }
    }
    return combo;
}
}  // namespace

DeclarationCombo<IVRVariant> TIVRFlow::FillVariantCombo(const TIVRVariantLink& link) const
{
    auto combo = fillCombo<IVRVariant>(FirstVariant, [](IVRVariant* v) { return v->nextVariant; }, link.variable());
    if (combo.selected < 0) combo.text = link.GetValueText();  // the constant, as typed
    return combo;
}

DeclarationCombo<IVRDataBase> TIVRFlow::FillDataBaseCombo(const TIVRDataBaseLink& link) const
{
    return fillCombo<IVRDataBase>(FirstDataBase, [](IVRDataBase* d) { return d->nextDataBase; }, link.target());
}

DeclarationCombo<IVRLabel> TIVRFlow::FillLabelCombo(const TIVRLabelLink& link) const
{
    return fillCombo<IVRLabel>(FirstLabel, [](IVRLabel* l) { return l->nextLabel; }, link.target());
}

DialogPreparation TIVRFlow::PrepareDialog(const QString& caption) const
{
    DialogPreparation p;
    if (Running()) {
        // The runner reads the statements: the dialog only shows them and can only be cancelled.
        p.caption = caption + txt::RunningReadOnly;
        p.okEnabled = false;
        p.focus = DialogPreparation::Focus::RunningControl;
    } else {
        p.caption = caption;
        p.okEnabled = true;
        p.focus = DialogPreparation::Focus::EditControl;
    }
    return p;
}

ValueInputCheck TIVRFlow::CheckValueInput(bool itemSelected, const QString& text, const QString& labelCaption)
{
    ValueInputCheck check;
    if (itemSelected) return check;
    QString error;
    TextToValue(text, &error);
    if (error.isEmpty()) return check;
    check.accepted = false;
    check.message = error;
    check.caption = txt::Error + txt::Colon + CaptionToName(labelCaption);
    return check;
}
