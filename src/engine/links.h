#pragma once

#include <QString>

#include "engine/value.h"

class IVRVariant;
class IVRLabel;
class IVRDataBase;

// A statement's reference to a variable, or a constant value when it refers to none.
// Every declaration's own link heads the chain of the links that refer to it.
class TIVRVariantLink {
public:
    TIVRVariantLink() = default;
    ~TIVRVariantLink() { Unlink(); }
    TIVRVariantLink(const TIVRVariantLink&) = delete;
    TIVRVariantLink& operator=(const TIVRVariantLink&) = delete;

    // The variable's current value, or the constant; Null comes back as empty.
    Value GetLinkValue() const;
    // The same value without a copy, where no copy is needed: the constant, or the variable's
    // value read by the thread that writes it; nullptr otherwise. Null stays Null here.
    const Value* PeekLinkValue() const;
    // The stored form: the variable's name, a string constant in double quotes, or the constant.
    Value GetSaveValue() const;
    QString GetValueText() const;
    void SetSaveValue(const Value& v) { constant = v; }

    void LinkTo(IVRVariant* variable);
    void Unlink();
    IVRVariant* variable() const { return variable_; }

    Value constant;

private:
    friend class IVRVariant;
    TIVRVariantLink* prev_ = nullptr;
    TIVRVariantLink* next_ = nullptr;
    IVRVariant* variable_ = nullptr;
};

// A reference to a label or a database definition by name.
template <class Decl>
class TIVRNamedLink {
public:
    TIVRNamedLink() = default;
    ~TIVRNamedLink() { Unlink(); }
    TIVRNamedLink(const TIVRNamedLink&) = delete;
    TIVRNamedLink& operator=(const TIVRNamedLink&) = delete;

    void LinkTo(Decl* target)
    {
        Unlink();
        TIVRNamedLink& head = target->ownLink();
        prev_ = &head;
        next_ = head.next_;
        if (head.next_) head.next_->prev_ = this;
        head.next_ = this;
        target_ = target;
    }
    void Unlink()
    {
        if (!target_) return;
        if (prev_) prev_->next_ = next_;
        if (next_) next_->prev_ = prev_;
        prev_ = next_ = nullptr;
        target_ = nullptr;
    }
    Decl* target() const { return target_; }
    // The referenced declaration's name, or empty.
    QString targetName() const { return target_ ? target_->Name : QString(); }
    // Makes every link that refers to `owner` (this being owner's own link) forget it.
    void cutChain()
    {
        TIVRNamedLink* l = next_;
        while (l) {
            TIVRNamedLink* n = l->next_;
            l->prev_ = l->next_ = nullptr;
            l->target_ = nullptr;
            l = n;
        }
        next_ = nullptr;
    }

    QString name;  // as read from a file, resolved by BuildLink

private:
    TIVRNamedLink* prev_ = nullptr;
    TIVRNamedLink* next_ = nullptr;
    Decl* target_ = nullptr;
};

using TIVRLabelLink = TIVRNamedLink<IVRLabel>;
using TIVRDataBaseLink = TIVRNamedLink<IVRDataBase>;
