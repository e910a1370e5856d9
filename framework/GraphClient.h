// What programs that build filter graphs (hosts and tests) share: the system's WAVE
// Parser's class, and finding a filter's pin by direction.
#pragma once

#include "ComPtr.h"

#include <strmif.h>

// The system's WAVE Parser; no import library defines its class identifier.
constexpr CLSID kCLSID_WAVEParser = {0xd51bd5a1, 0x7548, 0x11cf, {0xa5, 0x20, 0x00, 0x80, 0xc7, 0x7e, 0xf5, 0x8a}};

// The first pin of `filter` with the given direction; empty when there is none.
inline ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())))
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION found;
        if (SUCCEEDED(pin->QueryDirection(&found)) && found == direction)
            return pin;
    }
    return {};
}
