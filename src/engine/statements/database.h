#pragma once

#include <cstdint>

#include "engine/statements/operation.h"

enum TDataBaseOperateType : uint8_t { dbExecute, dbOpen, dbClose, dbFirst, dbPrior, dbNext, dbLast, dbNull };
extern const char* const DataBaseOperateTypeIds[8];

// Executes, opens, closes or moves the definition's data set; `Save` receives a count or position.
class IVRDBOperate : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRDBOperate)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    // DoIt: implemented with the database statements' execution.

    TDataBaseOperateType Operate = dbNull;
};

// Copies a field of the current record into `Save`.
class IVRField : public TIVROperateDataBase {
    SORVIX_STATEMENT(IVRField)
public:
    using TIVROperateDataBase::TIVROperateDataBase;
    QString GetDescription() const override;
    // DoIt: implemented with the database statements' execution.

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
    // DoIt: implemented with the database statements' execution.

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
    // DoIt: implemented with the database statements' execution.

    TCommandType CommandType = cmdUnknown;
};
