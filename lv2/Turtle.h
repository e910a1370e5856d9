#pragma once
// The Turtle texts of the LV2 bundles: the plug-in's description (both variants, every
// port from the port table), the bundle manifest, and presets. The build writes the
// plug-in's bundle with them; qzmb writes preset bundles with them.

#include <string>
#include <vector>

#include "ParamBlock.h"

namespace qz::lv2 {

constexpr char kBinaryFile[] = "qzmultiband.so";
constexpr char kPluginFile[] = "qzmultiband.ttl";
constexpr char kBuiltinPresetFile[] = "presets.ttl";

// A preset: its subject (an IRI, absolute or relative to its file), its label, its
// settings, and the bank it belongs to (an IRI, or empty).
struct Preset {
    std::string subject;
    std::string label;
    ParamBlock settings;
    std::string bank;
};

// A bank of presets: its subject and its label.
struct Bank {
    std::string subject;
    std::string label;
};

// The plug-in's description: the stereo and the mono variant with all their ports.
std::string PluginDescription();

// The manifest of the plug-in's own bundle: both variants and the built-in presets.
std::string PluginManifest();

// The built-in presets, as the plug-in's bundle carries them.
std::vector<Preset> BuiltinPresets();

// A file of presets: each with its label, the value of every control port and the
// settings record as the plug-in's state; banks with their labels.
std::string PresetDescription(const std::vector<Preset>& presets, const std::vector<Bank>& banks);

// The manifest of a bundle of presets (and banks) kept in `file`; `heading` goes first,
// a comment line or empty.
std::string PresetBundleManifest(const std::string& heading, const std::vector<Preset>& presets,
                                 const std::vector<Bank>& banks, const std::string& file);

// A text as a Turtle string literal. Bytes that are not UTF-8 are taken as
// Windows-1252, the code page preset stores were written in.
std::string TurtleString(const std::string& text);

// RFC 4648 base64, with padding.
std::string Base64(const uint8_t* bytes, size_t size);

} // namespace qz::lv2
