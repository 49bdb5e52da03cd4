#pragma once

#include <cstdint>

#include "engine/statements/operation.h"

class QVariant;

// Values between the data sets and the flow.
namespace dbvalue {
// A field's value as a flow value: its kind follows the driver's type (64-bit integers stay
// 64-bit, dates and times become date-times, a null field is null).
Value fromField(const QVariant& v);
// A flow value as a parameter value; false with *error for a value the database cannot take.
bool toParam(const Value& v, QVariant* out, QString* error);
}  // namespace dbvalue

enum TDataBaseOperateType : uint8_t { dbExecute, dbOpen, dbClose, dbFirst, dbPrior, dbNext, dbLast, dbNull };
extern const char* const DataBaseOperateTypeIds[8];

// Executes, opens, closes or moves the definition's data set; `Save` receives a count or position.
class IVRDBOperate : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRDBOperate)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TDataBaseOperateType Operate = dbNull;
};

// Copies a field of the current record into `Save`.
class IVRField : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRField)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink Field;  // 0-based position or name

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&Field}; }
};

// Sets a parameter of the command to `Value`.
class IVRParam : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRParam)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink Param;  // 0-based position or name

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&Param}; }
};

// Replaces the data set's command type and text for the rest of the pass.
class IVRCommand : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRCommand)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TCommandType CommandType = cmdUnknown;
};
