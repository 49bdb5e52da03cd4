#pragma once

#include <cstdint>

#include "engine/statements/operation.h"

// What the content of a speech statement holds.
enum TSpeechType : uint8_t { stText, stFile, stContext };
extern const char* const SpeechTypeIds[3];

// Base of the voice statements: whether a key press of the caller ends the operation early.
class TIVRPlayOperate : public TIVROperateVariant {
public:
    using TIVROperateVariant::TIVROperateVariant;

    bool Interruptible = true;

protected:
    // "Interruptible" or "UnInterruptible".
    QString interruptibleWord() const;
};

// Plays the wave file named by `WavFile` (the inherited link).
class IVRPlay : public TIVRPlayOperate {
    SORVIX_STATEMENT(IVRPlay)
public:
    using TIVRPlayOperate::TIVRPlayOperate;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;
};

// Records into the wave file named by `WavFile` (the inherited link).
class IVRRecord : public TIVRPlayOperate {
    SORVIX_STATEMENT(IVRRecord)
public:
    using TIVRPlayOperate::TIVRPlayOperate;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    int MaxLength = 20;  // whole seconds, 0 no limit
};

// Pauses. Its inherited link is neither published nor used.
class IVRSleep : public TIVRPlayOperate {
    SORVIX_STATEMENT(IVRSleep)
public:
    using TIVRPlayOperate::TIVRPlayOperate;
    QString GetDescription() const override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    int MaxLength = 10;  // tenths of a second, 0 no limit
};

// Speaks a text, a text file's content or a text marked as a speech context.
class IVRSpeech : public TIVRPlayOperate {
    SORVIX_STATEMENT(IVRSpeech)
public:
    using TIVRPlayOperate::TIVRPlayOperate;
    QString GetDescription() const override;
    // Resolves `Content`, then looks XMLTag up in the language or context ids.
    void BuildLink() override;
    int DoIt(ExecContext& ctx, QString& resultText, QString& errorText) override;

    bool SupportXML = false;
    TSpeechType SpeechType = stText;
    QString XMLTag;   // speech language id (stText) or speech context id (stContext)
    int TagIndex = -1;  // XMLTag's position in the id list; -1 not found or not looked up

    // What Speak is given for a text (not for a file): the text itself, or, with SupportXML and a
    // tag, the text inside the language or context element. The tag is escaped as an attribute
    // value, so a typed tag cannot end the element early; the text is markup and goes as it is.
    QString speechMarkup(const QString& text) const;
};
