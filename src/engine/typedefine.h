#pragma once

// Shared by the statements, their dialogs and the channel options. The ordinals are what flow
// files and the registry store; the telephony device takes other values (see below).

#include "engine/device.h"

enum TCalledType { ctPhoneNumber, ctDomainName, ctIPAddress };

enum THookSwitchMode { hsmOnHook, hsmSpeaker, hsmMicSpeaker };

// Address type that the device expects for a called type; 0 for a value outside the enumeration.
constexpr int deviceAddressType(int type)
{
    switch (type) {
    case ctPhoneNumber: return AddressType::PhoneNumber;
    case ctDomainName: return AddressType::DomainName;
    case ctIPAddress: return AddressType::IPAddress;
    }
    return 0;
}

// Hook-switch mode that the device expects; 0 for a value outside the enumeration.
constexpr int deviceHookSwitchMode(int mode)
{
    switch (mode) {
    case hsmOnHook: return HookMode::OnHook;
    case hsmSpeaker: return HookMode::Speaker;
    case hsmMicSpeaker: return HookMode::MicSpeaker;
    }
    return 0;
}

// The hook-switch mode of a device value; on hook for any value the device does not define.
constexpr THookSwitchMode hookSwitchModeOfDevice(int value)
{
    for (const THookSwitchMode mode : {hsmSpeaker, hsmMicSpeaker})
        if (deviceHookSwitchMode(mode) == value) return mode;
    return hsmOnHook;
}
