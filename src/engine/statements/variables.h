#pragma once

#include <cstdint>

#include "engine/statements/operation.h"

enum TDateOperateType : uint8_t {
    dtDateTime, dtDate, dtYear, dtMonth, dtDay, dtWeek, dtTime, dtHour, dtMinute, dtSecond, dtMillSecond,
    dtDays, dtHours, dtMinutes, dtSeconds, dtNull
};
extern const char* const DateOperateTypeIds[16];

enum TVariantOperateType : uint8_t {
    optAssign, optAdd, optSubtract, optMultiply, optRealDivide, optIntDivide, optModulus, optLess,
    optLessEqual, optEquality, optInequality, optGreatEqual, optGreater, optAnd, optOr, optNot, optNull
};
extern const char* const VariantOperateTypeIds[17];

enum TStringOperateType : uint8_t {
    strGetLength, strTrimLeft, strTrimRight, strTrim, strSubString, strToNumber, strToString, strNil
};
extern const char* const StringOperateTypeIds[8];

// Stores one part of the current date-time, or of the date-time in the `Save` variable, into it.
class IVRDateTime : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRDateTime)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TDateOperateType Operate = dtNull;
    QString Format;  // the pattern of dtNull
    bool System = true;
};

// `Save` := `Dest` operator `Source`.
class IVROperator : public TIVROperateVariant {
    SORVIX_STATEMENT(IVROperator)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    // Declared Dest first, so Source is unlinked and freed first.
    TIVRVariantLink Dest;
    TIVRVariantLink Source;
    TVariantOperateType Operate = optNull;

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&Source, &Dest}; }
};

// Converts the text in the `Save` variable in place.
class IVRString : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRString)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    // After resolving the link: a substring takes at least position 1 and one byte; the other
    // operations keep neither.
    void BuildLink() override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TStringOperateType Operate = strNil;
    int SubIndex = 0;  // 1-based byte position, 0..32767
    int SubCount = 0;  // bytes, 0..32767
};
