#include "engine/statements/voice.h"
#include "engine/texts.h"

const char* const SpeechTypeIds[3] = {"stText", "stFile", "stContext"};

namespace {
PropertyList playOperateProps()
{
    PropertyList l = TIVRBase::commonProperties();
    l.push_back(props::boolean<&TIVRPlayOperate::Interruptible>("Interruptible", true));
    return l;
}

const PropertyList* playProps()
{
    static const PropertyList list = [] {
        PropertyList l = playOperateProps();
        l.push_back(props::mainLink("WavFile"));
        return l;
    }();
    return &list;
}

const PropertyList* recordProps()
{
    static const PropertyList list = [] {
        PropertyList l = playOperateProps();
        l.push_back(props::mainLink("WavFile"));
        l.push_back(props::integer<&IVRRecord::MaxLength>("MaxLength", true));
        return l;
    }();
    return &list;
}

const PropertyList* sleepProps()
{
    static const PropertyList list = [] {
        PropertyList l = playOperateProps();
        l.push_back(props::integer<&IVRSleep::MaxLength>("MaxLength", true));
        return l;
    }();
    return &list;
}

const PropertyList* speechProps()
{
    static const PropertyList list = [] {
        PropertyList l = playOperateProps();
        l.push_back(props::mainLink("Content"));
        l.push_back(props::boolean<&IVRSpeech::SupportXML>("SupportXML", true));
        l.push_back(props::enumeration<&IVRSpeech::SpeechType>("SpeechType", true, stText, SpeechTypeIds));
        l.push_back(stringProperty<IVRSpeech, &IVRSpeech::XMLTag>("XMLTag"));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRPlay, txt::tnPlay, OperateTypeSet, 20, playProps);
SORVIX_DEFINE_CLASS(IVRRecord, txt::tnRecord, OperateTypeSet, 21, recordProps);
SORVIX_DEFINE_CLASS(IVRSleep, txt::tnSleep, OperateTypeSet, 4, sleepProps);
SORVIX_DEFINE_CLASS(IVRSpeech, txt::tnSpeech, OperateTypeSet, 22, speechProps);
