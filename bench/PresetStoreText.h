#pragma once
// A preset store as the plug-in writes it, for the load benchmarks: the [Plug-in]
// section naming the filter, then Preset1 .. PresetN in 25 banks, each with a full data
// string. 100,000 presets make about 20 MB.
#include <string>

#include "PresetFileFormat.h"
#include "qz_guids.h"

namespace qz::bench {

inline std::string PresetStoreText(int presets)
{
    std::string data = "1,0,-20,100,0,0,60,121,180,240, ";
    for (int band = 0; band < 5; ++band)
        data += std::string("0,0,-200,40,10,0,150,200,0") + (band < 4 ? "," : "");
    std::string text = "[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=" + PresetClassKey(kCLSID_Filter) +
                       "\r\nDefaultPreset=1\r\n";
    text.reserve(static_cast<size_t>(presets) * 200);
    for (int i = 1; i <= presets; ++i)
        text += "[Preset" + std::to_string(i) + "]\r\nVersion=3\r\nName=Preset " + std::to_string(i) +
                "\r\nBank=Bank " + std::to_string(i % 25) + "\r\nData=" + data + "\r\n";
    return text;
}

} // namespace qz::bench
