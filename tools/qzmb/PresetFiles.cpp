#include "PresetFiles.h"

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

const PresetRecord* FindPreset(const PresetList& presets, const std::string& name, const std::string* bank,
                               std::string& error)
{
    std::vector<const PresetRecord*> found;
    for (const PresetRecord& record : presets)
        if (SameText(record.name, name) && (bank == nullptr || SameText(record.bank, *bank)))
            found.push_back(&record);
    if (found.size() == 1)
        return found.front();
    if (found.empty())
        error = "no preset named \"" + name + "\"" + (bank != nullptr ? " in bank \"" + *bank + "\"" : "");
    else
        error = std::to_string(found.size()) + " presets are named \"" + name + "\"; choose one with --bank";
    return nullptr;
}

} // namespace qz::cli
