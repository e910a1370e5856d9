#include "PresetFiles.h"

#include <algorithm>
#include <iterator>

#include "IniText.h"
#include "ParamTable.h"
#include "PresetFileFormat.h"
#include "SafeFiles.h"
#include "qz_guids.h"

namespace qz::cli {

namespace {

std::string Label(int position) { return BlockField(PresetDataField(position)).label; }

// "Knee 1" or "Knee 1 .. Type 5" for the text positions [first, last].
std::string Span(int first, int last)
{
    return last == first ? Label(first) : Label(first) + " .. " + Label(last);
}

} // namespace

std::vector<std::string> DescribeUnreadValues(const PresetDataReading& reading)
{
    std::vector<std::string> lines;
    const int looked = reading.hasBandValues ? kBlockFieldCount : kPresetGlobalCount;
    for (int position = 0; position < looked; ++position)
        if (reading.notNumbers.test(position))
            lines.push_back("value " + std::to_string(position + 1) + " (" + Label(position) +
                            ") is not a number; left unchanged");
    // Missing values form runs at the end of the global and of the band values.
    for (int first = 0; first < looked; ++first) {
        if (reading.taken.test(first) || reading.notNumbers.test(first))
            continue;
        int last = first;
        while (last + 1 < looked && !reading.taken.test(last + 1) && !reading.notNumbers.test(last + 1))
            ++last;
        lines.push_back("no value for " + Span(first, last) + "; left unchanged");
        first = last;
    }
    if (!reading.hasBandValues)
        lines.push_back("no space after the tenth value: the band values were not read");
    return lines;
}

PresetFileContents ReadPresetFile(const std::string& path, std::string& error)
{
    PresetFileContents contents;
    std::string bytes;
    const files::ReadResult read = files::ReadWholeFile(path, kPresetFileLimit, bytes);
    if (!read.problem.empty()) {
        error = "cannot read the preset file " + path + ": " + read.problem;
        return contents;
    }
    const IniText file(std::move(bytes));
    const std::string identity = ReadPresetFileIdentity(file);
    if (identity.empty())
        contents.notes.push_back(path + " does not say which plug-in it belongs to");
    else if (!SameText(identity, PresetClassKey(kCLSID_Filter)))
        contents.notes.push_back(path + " holds presets of another plug-in (" + identity + ")");
    const std::vector<PresetSection> sections = ReadPresetSections(file);
    for (size_t i = 0; i < sections.size(); ++i) {
        if (!sections[i].isPreset()) {
            contents.notes.push_back(PresetSectionName(static_cast<int>(i + 1)) + " has no " +
                                     (sections[i].hasName ? "Data" : "Name") + "; skipped");
            continue;
        }
        PresetRecord record;
        static_cast<PresetFields&>(record) = sections[i].fields;
        record.id = kFirstPresetId + static_cast<int>(contents.presets.size());
        contents.presets.push_back(std::move(record));
    }
    SortPresets(contents.presets);
    return contents;
}

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The distinct spellings of a field among the presets, quoted, in list order.
std::string Spellings(const std::vector<const PresetRecord*>& presets, std::string PresetFields::*field)
{
    std::vector<std::string> seen;
    for (const PresetRecord* preset : presets)
        if (std::find(seen.begin(), seen.end(), preset->*field) == seen.end())
            seen.push_back(preset->*field);
    std::string list;
    for (const std::string& text : seen)
        list += (list.empty() ? "" : ", ") + Quoted(text);
    return list;
}

// Keeps the presets that `holds`, when any does.
template <typename Holds>
void KeepWhereAny(std::vector<const PresetRecord*>& presets, Holds holds)
{
    std::vector<const PresetRecord*> kept;
    std::copy_if(presets.begin(), presets.end(), std::back_inserter(kept), [&](const PresetRecord* p) { return holds(*p); });
    if (!kept.empty())
        presets = std::move(kept);
}

} // namespace

const PresetRecord* FindPreset(const PresetList& presets, const std::string& name, const std::string* bank,
                               std::string& error)
{
    std::vector<const PresetRecord*> found;
    for (const PresetRecord& record : presets)
        if (SameText(record.name, name) && (bank == nullptr || SameText(record.bank, *bank)))
            found.push_back(&record);
    if (found.empty()) {
        error = "no preset named " + Quoted(name) + (bank != nullptr ? " in bank " + Quoted(*bank) : "");
        return nullptr;
    }
    // The spelling as given picks among presets that differ only in case: the name's,
    // then the bank's.
    std::vector<const PresetRecord*> candidates = found;
    KeepWhereAny(candidates, [&](const PresetRecord& p) { return p.name == name; });
    if (bank != nullptr)
        KeepWhereAny(candidates, [&](const PresetRecord& p) { return p.bank == *bank; });
    const auto all = [&](auto holds) { return std::all_of(candidates.begin(), candidates.end(), holds); };
    const PresetRecord& first = *candidates.front();
    if (all([&](const PresetRecord* p) { return static_cast<const PresetFields&>(*p) == first; }))
        return &first;
    const std::string count = std::to_string(candidates.size()) + " presets";
    const std::string banks = Spellings(candidates, &PresetFields::bank);
    if (bank == nullptr && !all([&](const PresetRecord* p) { return SameText(p->bank, first.bank); }))
        error = count + " are named " + Quoted(name) + " (in banks " + banks + "); choose one with --bank";
    else if (all([&](const PresetRecord* p) { return p->name == first.name && p->bank == first.bank; }))
        error = count + " in bank " + Quoted(first.bank) + " are named exactly " + Quoted(first.name) +
                "; rename one of them in the plug-in's preset manager";
    else
        error = count + " match " + Quoted(name) + " only without regard to case (names " +
                Spellings(candidates, &PresetFields::name) + ", banks " + banks +
                "); give the name and the bank in their exact case";
    return nullptr;
}

} // namespace qz::cli
