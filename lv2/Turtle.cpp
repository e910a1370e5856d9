#include "Turtle.h"

#include <cstdio>
#include <cstdlib>

#include "BuiltinPresets.h"
#include "Limiter.h"
#include "PortTable.h"
#include "StoredRecord.h"

namespace qz::lv2 {

namespace {

const char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
    "\n";

// The ratio has no unit of the units vocabulary: it gets one of its own.
const char kRatioUnit[] = "urn:tavelin:qz-multiband:ratio";

std::string Iri(const std::string& iri) { return "<" + iri + ">"; }

// The shortest decimal that reads back as the same float, always with a point (a
// Turtle decimal, never an integer).
std::string Number(float value)
{
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    std::string number = text;
    if (number.find_first_of(".e") == std::string::npos)
        number += ".0";
    return number;
}

std::string Integer(long value) { return std::to_string(value); }

const char* UnitIri(PortUnit unit)
{
    switch (unit) {
    case PortUnit::Decibel: return "units:db";
    case PortUnit::Millisecond: return "units:ms";
    case PortUnit::Hertz: return "units:hz";
    case PortUnit::Ratio: return nullptr;  // written as an IRI of its own
    case PortUnit::None: break;
    }
    return nullptr;
}

std::string PortHeader(const char* classes, int index, const std::string& symbol, const std::string& name)
{
    return "\t\ta " + std::string(classes) + " ;\n" +
           "\t\tlv2:index " + Integer(index) + " ;\n" +
           "\t\tlv2:symbol " + TurtleString(symbol) + " ;\n" +
           "\t\tlv2:name " + TurtleString(name);
}

std::string ControlInput(int p)
{
    const ControlPort& port = ControlPortOf(p);
    std::string ttl = PortHeader("lv2:InputPort, lv2:ControlPort", p, port.symbol, port.name);
    ttl += " ;\n\t\tlv2:default " + Number(port.defaultValue) + " ;\n\t\tlv2:minimum " + Number(port.minimum) +
           " ;\n\t\tlv2:maximum " + Number(port.maximum);
    std::vector<std::string> properties;
    if (port.toggled)
        properties.push_back("lv2:toggled");
    if (port.enumeration)
        properties.push_back("lv2:enumeration");
    if (port.integer)
        properties.push_back("lv2:integer");
    if (port.logarithmic)
        properties.push_back("pprops:logarithmic");
    for (size_t i = 0; i < properties.size(); ++i)
        ttl += (i == 0 ? " ;\n\t\tlv2:portProperty " : ", ") + properties[i];
    if (port.rangeSteps > 0)
        ttl += " ;\n\t\tpprops:rangeSteps " + Integer(port.rangeSteps);
    if (port.unit == PortUnit::Ratio)
        ttl += " ;\n\t\tunits:unit " + Iri(kRatioUnit);
    else if (const char* unit = UnitIri(port.unit))
        ttl += " ;\n\t\tunits:unit " + std::string(unit);
    if (port.enumeration) {
        const char* const labels[] = {"Normal", "Vintage"};
        for (int v = 0; v < 2; ++v)
            ttl += std::string(v == 0 ? " ;\n\t\tlv2:scalePoint " : ", ") + "[ rdfs:label " + TurtleString(labels[v]) +
                   " ; rdf:value " + Integer(v) + " ]";
    }
    return ttl;
}

std::string MeterOutput(int index, const std::string& symbol, const std::string& name, float minimum, float maximum,
                        float rest)
{
    return PortHeader("lv2:OutputPort, lv2:ControlPort", index, symbol, name) + " ;\n\t\tlv2:minimum " +
           Number(minimum) + " ;\n\t\tlv2:maximum " + Number(maximum) + " ;\n\t\tlv2:default " + Number(rest) +
           " ;\n\t\tlv2:portProperty lv2:connectionOptional ;\n\t\tunits:unit units:db";
}

std::string PluginVariant(const char* uri, const char* name, const PortLayout& layout)
{
    const bool stereo = layout.channels == 2;
    const char* const sides[2][2] = {{"", ""}, {"_left", "_right"}};
    const char* const sideNames[2][2] = {{"", ""}, {" left", " right"}};
    std::vector<std::string> ports;
    for (int p = 0; p < kParamCount; ++p)
        ports.push_back(ControlInput(p));
    for (int c = 0; c < layout.channels; ++c)
        ports.push_back(PortHeader("lv2:InputPort, lv2:AudioPort", layout.audioIn(c),
                                   std::string("in") + sides[stereo][c], std::string("In") + sideNames[stereo][c]));
    for (int c = 0; c < layout.channels; ++c)
        ports.push_back(PortHeader("lv2:OutputPort, lv2:AudioPort", layout.audioOut(c),
                                   std::string("out") + sides[stereo][c], std::string("Out") + sideNames[stereo][c]));
    ports.push_back(PortHeader("lv2:OutputPort, lv2:ControlPort", layout.latency(), "latency", "Latency") +
                    " ;\n\t\tlv2:designation lv2:latency ;\n\t\tlv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
                    "\t\tlv2:minimum 0 ;\n\t\tlv2:maximum " + Integer(LimiterState::kLookahead) +
                    " ;\n\t\tunits:unit units:frame");
    for (int b = 0; b < kBandCount; ++b)
        ports.push_back(MeterOutput(layout.bandGain(b), "gain_change_" + Integer(b + 1),
                                    "Gain change " + Integer(b + 1), kBandGainFloorDb, kBandGainCeilingDb, 0.0f));
    for (int c = 0; c < layout.channels; ++c)
        ports.push_back(MeterOutput(layout.outputPeak(c), std::string("output_peak") + sides[stereo][c],
                                    std::string("Output peak") + sideNames[stereo][c], kPeakFloorDb, kPeakCeilingDb,
                                    kPeakFloorDb));

    std::string ttl = Iri(uri) + "\n\ta lv2:Plugin, lv2:CompressorPlugin ;\n\tdoap:name " + TurtleString(name) +
                      " ;\n\tdoap:maintainer [ doap:name \"Tavelin\" ] ;\n"
                      "\tlv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
                      "\tlv2:extensionData state:interface ;\n\tlv2:port [\n";
    for (size_t i = 0; i < ports.size(); ++i)
        ttl += ports[i] + (i + 1 < ports.size() ? "\n\t] , [\n" : "\n\t] .\n");
    return ttl;
}

std::string RecordLiteral(const ParamBlock& settings)
{
    uint8_t record[kStoredRecordSize];
    WriteStoredRecord(settings, record);
    return TurtleString(Base64(record, sizeof record)) + "^^xsd:base64Binary";
}

// The manifest's lines that make presets (and banks) in `file` known to hosts.
std::string PresetManifestEntries(const std::vector<Preset>& presets, const std::vector<Bank>& banks,
                                  const std::string& file)
{
    std::string ttl;
    for (const Bank& bank : banks)
        ttl += Iri(bank.subject) + "\n\ta pset:Bank ;\n\trdfs:label " + TurtleString(bank.label) +
               " ;\n\trdfs:seeAlso " + Iri(file) + " .\n\n";
    for (const Preset& preset : presets)
        ttl += Iri(preset.subject) + "\n\ta pset:Preset ;\n\tlv2:appliesTo " + Iri(kStereoUri) + ", " +
               Iri(kMonoUri) + " ;\n\trdfs:seeAlso " + Iri(file) + " .\n\n";
    return ttl;
}

bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + extra >= text.size())
            return false;
        unsigned long code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        const unsigned long shortest[] = {0, 0x80, 0x800, 0x10000};
        if (code < shortest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Windows-1252 to UTF-8. Its five unassigned bytes become the control characters of
// the same number, as Windows converts them.
std::string FromWindows1252(const std::string& text)
{
    static const unsigned short k80to9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    for (char byte : text) {
        const unsigned char c = static_cast<unsigned char>(byte);
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? k80to9F[c - 0x80] : c);
    }
    return out;
}

} // namespace

std::string TurtleString(const std::string& text)
{
    const std::string utf8 = IsUtf8(text) ? text : FromWindows1252(text);
    std::string literal = "\"";
    for (char byte : utf8) {
        const unsigned char c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"': literal += "\\\""; break;
        case '\\': literal += "\\\\"; break;
        case '\n': literal += "\\n"; break;
        case '\r': literal += "\\r"; break;
        case '\t': literal += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", c);
                literal += escape;
            } else {
                literal += byte;
            }
        }
    }
    return literal + "\"";
}

std::string Base64(const uint8_t* bytes, size_t size)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < size; i += 3) {
        const size_t left = size - i;
        const uint32_t group = static_cast<uint32_t>(bytes[i]) << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) |
                               (left > 2 ? bytes[i + 2] : 0);
        text += kDigits[group >> 18 & 63];
        text += kDigits[group >> 12 & 63];
        text += left > 1 ? kDigits[group >> 6 & 63] : '=';
        text += left > 2 ? kDigits[group & 63] : '=';
    }
    return text;
}

std::string PluginDescription()
{
    return std::string(kPrefixes) + Iri(kRatioUnit) +
           "\n\ta units:Unit ;\n\trdfs:label \"ratio\" ;\n\tunits:symbol \":1\" ;\n\tunits:render \"%.1f:1\" .\n\n" +
           PluginVariant(kStereoUri, "qz:Multiband", kStereoLayout) + "\n" +
           PluginVariant(kMonoUri, "qz:Multiband (mono)", kMonoLayout);
}

std::vector<Preset> BuiltinPresets()
{
    const char* const subjects[kBuiltinPresetCount] = {"urn:tavelin:qz-multiband:preset:default",
                                                       "urn:tavelin:qz-multiband:preset:full-reset"};
    std::vector<Preset> presets;
    for (int i = 0; i < kBuiltinPresetCount; ++i)
        presets.push_back({subjects[i], GetBuiltinPreset(i).name, GetBuiltinPreset(i).block, ""});
    return presets;
}

std::string PluginManifest()
{
    std::string ttl = kPrefixes;
    for (const char* uri : {kStereoUri, kMonoUri})
        ttl += Iri(uri) + "\n\ta lv2:Plugin ;\n\tlv2:binary " + Iri(kBinaryFile) + " ;\n\trdfs:seeAlso " +
               Iri(kPluginFile) + " .\n\n";
    return ttl + PresetManifestEntries(BuiltinPresets(), {}, kBuiltinPresetFile);
}

std::string PresetBundleManifest(const std::string& heading, const std::vector<Preset>& presets,
                                 const std::vector<Bank>& banks, const std::string& file)
{
    return heading + kPrefixes + PresetManifestEntries(presets, banks, file);
}

std::string PresetDescription(const std::vector<Preset>& presets, const std::vector<Bank>& banks)
{
    std::string ttl = kPrefixes;
    for (const Bank& bank : banks)
        ttl += Iri(bank.subject) + "\n\ta pset:Bank ;\n\trdfs:label " + TurtleString(bank.label) + " .\n\n";
    for (const Preset& preset : presets) {
        ttl += Iri(preset.subject) + "\n\ta pset:Preset ;\n\tlv2:appliesTo " + Iri(kStereoUri) + ", " +
               Iri(kMonoUri) + " ;\n\trdfs:label " + TurtleString(preset.label) + " ;\n";
        if (!preset.bank.empty())
            ttl += "\tpset:bank " + Iri(preset.bank) + " ;\n";
        ttl += "\tlv2:port [\n";
        for (int p = 0; p < kParamCount; ++p)
            ttl += "\t\tlv2:symbol " + TurtleString(ControlPortOf(p).symbol) + " ;\n\t\tpset:value " +
                   Number(PortValue(p, preset.settings.field(Param(p).blockIndex))) +
                   (p + 1 < kParamCount ? "\n\t] , [\n" : "\n\t] ;\n");
        ttl += "\tstate:state [\n\t\t" + Iri(kRecordUri) + " " + RecordLiteral(preset.settings) + "\n\t] .\n\n";
    }
    return ttl;
}

} // namespace qz::lv2
