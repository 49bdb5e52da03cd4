#include "engine/statements/line.h"
#include "engine/texts.h"

const char* const CalledTypeIds[3] = {"ctPhoneNumber", "ctDomainName", "ctIPAddress"};
const char* const HookSwitchModeIds[3] = {"hsmOnHook", "hsmSpeaker", "hsmMicSpeaker"};

namespace {
const PropertyList* common() { return &TIVRBase::commonProperties(); }

const PropertyList* ringProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("Save"));
        l.push_back(props::link<&IVRRing::SaveCalled>("SaveCalled"));
        l.push_back(props::integer<&IVRRing::Times>("Times", true));
        return l;
    }();
    return &list;
}

void addCallProps(PropertyList& l)
{
    l.push_back(props::mainLink("Called"));
    l.push_back(props::integer<&IVRCall::TimeOut>("TimeOut", true));
    l.push_back(props::enumeration<&IVRCall::CalledType>("CalledType", true, ctPhoneNumber, CalledTypeIds));
}

const PropertyList* callProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        addCallProps(l);
        return l;
    }();
    return &list;
}

const PropertyList* gatewayProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        addCallProps(l);
        l.push_back(props::link<&IVRGateway::ThroughAnotherGateway>("ThroughAnotherGateway"));
        l.push_back(props::link<&IVRGateway::MaxLength>("MaxLength"));
        return l;
    }();
    return &list;
}

const PropertyList* speakerPhoneProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::enumeration<&IVRSpeakerPhone::HookSwitchMode>("HookSwitchMode", true, hsmMicSpeaker,
                                                                          HookSwitchModeIds));
        return l;
    }();
    return &list;
}

const PropertyList* sendDtmfProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("DTMF"));
        return l;
    }();
    return &list;
}

const PropertyList* receiveDtmfProps()
{
    static const PropertyList list = [] {
        PropertyList l = TIVRBase::commonProperties();
        l.push_back(props::mainLink("Save"));
        l.push_back(props::integer<&IVRReceiveDTMF::MaxLength>("MaxLength", true));
        l.push_back(props::character<&IVRReceiveDTMF::EndDTMF>("EndDTMF", false, 0));
        l.push_back(props::integer<&IVRReceiveDTMF::TimeOut>("TimeOut", true));
        l.push_back(props::integer<&IVRReceiveDTMF::TimeOutFirstAdd>("TimeOutFirstAdd", true));
        return l;
    }();
    return &list;
}
}  // namespace

SORVIX_DEFINE_CLASS(IVRRing, txt::tnRing, OperateTypeSet, 17, ringProps);
SORVIX_DEFINE_CLASS(IVRAnswer, txt::tnAnswer, tfMovable | tfSibling | tfOperation | tfOperationFamily, 18, common);
SORVIX_DEFINE_CLASS(IVRCall, txt::tnCall, OperateTypeSet, 19, callProps);
SORVIX_DEFINE_CLASS(IVRGateway, txt::tnGateway, OperateTypeSet, 19, gatewayProps);
SORVIX_DEFINE_CLASS(IVRSpeakerPhone, txt::tnSpeakerPhone,
                    tfMovable | tfSibling | tfOperation | tfOperationFamily, 18, speakerPhoneProps);
SORVIX_DEFINE_CLASS(IVRSendDTMF, txt::tnSendDTMF, OperateTypeSet, 23, sendDtmfProps);
SORVIX_DEFINE_CLASS(IVRReceiveDTMF, txt::tnReceiveDTMF, OperateTypeSet, 4, receiveDtmfProps);
