#pragma once

// Shared by the statements, their dialogs and the channel options. The ordinals are what flow
// files and the registry store; the telephony device takes other values (see below).

enum TCalledType { ctPhoneNumber, ctDomainName, ctIPAddress };

enum THookSwitchMode { hsmOnHook, hsmSpeaker, hsmMicSpeaker };

// Address type that the device expects for a called type; 0 for a value outside the enumeration.
constexpr int deviceAddressType(TCalledType type)
{
    switch (type) {
    case ctPhoneNumber: return 1;
    case ctDomainName: return 8;
    case ctIPAddress: return 16;
    }
    return 0;
}

// Hook-switch mode that the device expects; 0 for a value outside the enumeration.
constexpr int deviceHookSwitchMode(THookSwitchMode mode)
{
    switch (mode) {
    case hsmOnHook: return 1;
    case hsmSpeaker: return 4;
    case hsmMicSpeaker: return 8;
    }
    return 0;
}
