#pragma once

#include "engine/statements/operation.h"

// Appends `WriteText` to the file named by `FileName` (the inherited link).
class IVRTextFile : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRTextFile)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink WriteText;
    bool WriteLine = true;

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&WriteText}; }
};

// Reads a value from or writes one into the INI file named by `FileName` (the inherited link).
class IVRInitFile : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRInitFile)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink Section;
    TIVRVariantLink Key;
    TIVRVariantLink Value;    // reading: the variable that receives the value; writing: the value
    TIVRVariantLink Default;  // reading: the text of a missing key
    bool Read = true;

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&Section, &Key, &Value, &Default}; }
};

// Starts the program of `CommandLine` (the inherited link) and may wait for it.
class IVRExecute : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRExecute)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    int TimeOut = 0;  // seconds to wait, 0 does not wait
    bool Terminate = false;
};
