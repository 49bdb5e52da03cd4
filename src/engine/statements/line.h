#pragma once

#include <QChar>

#include "engine/statements/operation.h"
#include "engine/typedefine.h"

// Identifiers of the shared enumerations as flow files write them.
extern const char* const CalledTypeIds[3];
extern const char* const HookSwitchModeIds[3];

// The keys a caller can press: 0-9, *, # and A-D.
bool isDtmfDigit(QChar c);

// Waits for a call; `Save` (the inherited link) receives the caller's number, `SaveCalled` the called one.
class IVRRing : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRRing)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink SaveCalled;
    int Times = 1;

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&SaveCalled}; }
};

// Answers the call. Its inherited link is not used.
class IVRAnswer : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRAnswer)
public:
    using TIVROperateVariant::TIVROperateVariant;
    // No property dialog.
    bool Edit() override { return false; }
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;
};

// Places a call to `Called` (the inherited link).
class IVRCall : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRCall)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    int TimeOut = 20;  // seconds without answer, 0 none
    TCalledType CalledType = ctPhoneNumber;

protected:
    // The piece of the caption after the number: called type and time-out.
    QString typeAndTimeOut() const;
};

// Places a call through the gateway.
class IVRGateway : public IVRCall {
    SORVIX_STATEMENT(IVRGateway)
public:
    using IVRCall::IVRCall;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    TIVRVariantLink ThroughAnotherGateway;
    TIVRVariantLink MaxLength;  // the longest call in seconds

protected:
    std::vector<TIVRVariantLink*> extraLinks() override { return {&ThroughAnotherGateway, &MaxLength}; }
};

// Sets the hook switch.
class IVRSpeakerPhone : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRSpeakerPhone)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    THookSwitchMode HookSwitchMode = hsmMicSpeaker;
};

// Sends the digits of `DTMF` (the inherited link).
class IVRSendDTMF : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRSendDTMF)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;
};

// Collects the caller's digits into `Save` (the inherited link).
class IVRReceiveDTMF : public TIVROperateVariant {
    SORVIX_STATEMENT(IVRReceiveDTMF)
public:
    using TIVROperateVariant::TIVROperateVariant;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    int MaxLength = 1;      // most digits, 0 no limit
    QChar EndDTMF;          // the digit that ends input (a DTMF key); the zero character for none
    int TimeOut = 0;        // seconds, 0 none
    int TimeOutFirstAdd = 0;  // seconds added for the first digit
};
