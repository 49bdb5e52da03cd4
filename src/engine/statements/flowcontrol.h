#pragma once

#include "engine/statements/declarations.h"

// Base of flow control: decides whether the runner enters the children.
// Equality as conditions and cases see it: the variant equality, except that two result names
// stand for their result codes, so a flow written under one interface language takes the same
// path under the other. False with *error when the values don't compare.
bool conditionEquals(const Value& a, const Value& b, bool* equal, QString* error);

class TIVRProcess : public TIVRUseVariant {
public:
    using TIVRUseVariant::TIVRUseVariant;
    bool WhetherDoIt(Value& shared) override = 0;
};

// The statements with a condition.
class TIVRCondition : public TIVRProcess {
public:
    using TIVRProcess::TIVRProcess;
    QString GetDescription() const override;
    static const PropertyList& conditionProperties();
};

class IVRIf : public TIVRCondition {
    SORVIX_STATEMENT(IVRIf)
public:
    using TIVRCondition::TIVRCondition;
    bool WhetherDoIt(Value& shared) override;
};

class IVRSwitch : public TIVRCondition {
    SORVIX_STATEMENT(IVRSwitch)
public:
    using TIVRCondition::TIVRCondition;
    bool WhetherDoIt(Value& shared) override;
};

class IVRCase : public TIVRCondition {
    SORVIX_STATEMENT(IVRCase)
public:
    using TIVRCondition::TIVRCondition;
    bool WhetherDoIt(Value& shared) override;
};

class IVRWhile : public TIVRCondition {
    SORVIX_STATEMENT(IVRWhile)
public:
    using TIVRCondition::TIVRCondition;
    bool WhetherDoIt(Value& shared) override;
};

class IVRBlock : public TIVRProcess {
    SORVIX_STATEMENT(IVRBlock)
public:
    using TIVRProcess::TIVRProcess;
    bool WhetherDoIt(Value&) override { return true; }
};

class IVREnd : public IVRBlock {
    SORVIX_STATEMENT(IVREnd)
public:
    using IVRBlock::IVRBlock;
};

class TIVRTrueFalse : public TIVRProcess {
public:
    using TIVRProcess::TIVRProcess;
};

class IVRTrue : public TIVRTrueFalse {
    SORVIX_STATEMENT(IVRTrue)
public:
    using TIVRTrueFalse::TIVRTrueFalse;
    bool WhetherDoIt(Value& shared) override;
};

class IVRFalse : public TIVRTrueFalse {
    SORVIX_STATEMENT(IVRFalse)
public:
    using TIVRTrueFalse::TIVRTrueFalse;
    bool WhetherDoIt(Value&) override { return true; }
};

class IVRDefault : public TIVRProcess {
    SORVIX_STATEMENT(IVRDefault)
public:
    using TIVRProcess::TIVRProcess;
    bool WhetherDoIt(Value&) override { return true; }
};
