#include "PresetStore.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

namespace qz {

PresetFile::PresetFile(std::string bytes) : m_ini(std::move(bytes)), m_identity(ReadPresetFileIdentity(m_ini))
{
    for (int number = 1; std::optional<PresetSection> section = ReadPresetSection(m_ini, number); ++number) {
        m_list.push_back(std::move(*section));
        m_listSections.push_back(m_ini.FindSection(PresetSectionName(number)) - m_ini.sections().data());
    }
}

namespace {

// The complete presets of a file's list by their fields, each found once, the first
// not yet found first.
class SectionFinder {
public:
    explicit SectionFinder(const std::vector<PresetSection>& list) : m_found(list.size(), false)
    {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].isPreset())
                m_places[Key(list[i].fields)].push_back(i);
    }

    std::optional<size_t> Find(const PresetFields& fields)
    {
        const auto places = m_places.find(Key(fields));
        if (places == m_places.end() || places->second.empty())
            return std::nullopt;
        const size_t place = places->second.front();
        places->second.pop_front();
        m_found[place] = true;
        return place;
    }
    bool Found(size_t place) const { return m_found[place]; }

private:
    // Values of one line each: a line break cannot be part of any of them.
    static std::string Key(const PresetFields& fields)
    {
        return std::to_string(fields.version) + '\n' + fields.name + '\n' + fields.bank + '\n' + fields.data;
    }

    std::unordered_map<std::string, std::deque<size_t>> m_places;
    std::vector<bool> m_found;
};

bool IsEmpty(const StoreSlot& slot) { return !slot.from && !slot.fields; }

} // namespace

std::vector<StoreSlot> SlotsOf(const PresetList& presets)
{
    std::vector<StoreSlot> slots;
    slots.reserve(presets.size());
    for (const PresetRecord& record : presets)
        slots.push_back({std::nullopt, static_cast<const PresetFields&>(record), record.id});
    return slots;
}

std::vector<StoreSlot> MergeStore(const PresetFile& file, bool isStore, const PresetList& presets,
                                  const std::vector<PresetFields>& deleted)
{
    if (!isStore)
        return SlotsOf(presets);
    const std::vector<PresetSection>& list = file.list();
    SectionFinder finder(list);
    std::vector<StoreSlot> layout(list.size());
    // Sections without a name or data are no presets: nobody here changes them.
    const auto pinned = [&](const StoreSlot& slot) { return slot.from && !list[*slot.from].isPreset(); };
    for (size_t i = 0; i < list.size(); ++i)
        if (!list[i].isPreset())
            layout[i].from = i;
    for (const PresetFields& fields : deleted)
        finder.Find(fields);
    std::vector<StoreSlot> added;
    for (const PresetRecord& record : presets) {
        const PresetFields& fields = record;
        const bool changedHere = !record.stored || fields != *record.stored;
        const std::optional<size_t> place = record.stored ? finder.Find(*record.stored) : std::nullopt;
        if (place)
            layout[*place] = {place, changedHere ? std::optional<PresetFields>(fields) : std::nullopt, record.id};
        else if (changedHere)
            added.push_back({std::nullopt, fields, record.id});
        // else: left as it was here, changed or deleted by another editor: theirs stands.
    }
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].isPreset() && !finder.Found(i))
            layout[i].from = i;  // another editor's

    size_t next = 0;
    for (StoreSlot& slot : added) {
        while (next < layout.size() && !IsEmpty(layout[next]))
            ++next;
        if (next < layout.size())
            layout[next] = std::move(slot);
        else
            layout.push_back(std::move(slot));
    }
    // The last movable sections close the gaps, so the numbers run without one and few
    // move. A gap before sections that must stay where they are stays too.
    const auto dropEmptyEnd = [&] {
        while (!layout.empty() && IsEmpty(layout.back()))
            layout.pop_back();
    };
    dropEmptyEnd();
    for (size_t i = 0; i < layout.size(); ++i) {
        if (!IsEmpty(layout[i]))
            continue;
        size_t last = layout.size();
        while (--last > i && (IsEmpty(layout[last]) || pinned(layout[last])))
            ;
        if (last == i)
            break;
        layout[i] = std::move(layout[last]);
        layout[last] = {};
        dropEmptyEnd();
    }
    return layout;
}

namespace {

const char kLineBreak[] = "\r\n";

// Builds the bytes of a file in its encoding: spans of the file as they are, new text
// converted.
class FileBuilder {
public:
    explicit FileBuilder(const IniText& ini) : m_ini(ini), m_unit(CodeUnitSize(ini.encoding()))
    {
        m_out.reserve(ini.bytes().size() + ini.bytes().size() / 8);
    }

    void Bytes(IniText::Span span) { m_out.append(m_ini.bytes(), span.begin, span.end - span.begin); }
    void Text(const std::string& ansi) { m_out += FileFromAnsi(ansi, m_ini.encoding()); }
    void Line(const std::string& ansi)
    {
        StartLine();
        Text(ansi + kLineBreak);
    }
    // Ends the line written last, unless it has ended (or nothing is written yet): what
    // follows starts a line of its own. The file's last line may end without a break.
    void StartLine()
    {
        if (m_out.size() >= m_unit + m_markSize && !IsLineBreakAt(m_out, m_out.size() - m_unit))
            Text(kLineBreak);
    }
    void SetMarkSize(size_t size) { m_markSize = size; }
    // Where the line break of this line begins: its end when it has none.
    size_t LineBreakStart(IniText::Span line) const
    {
        size_t at = line.end;
        while (at >= line.begin + m_unit && IsLineBreakAt(m_ini.bytes(), at - m_unit))
            at -= m_unit;
        return at;
    }
    std::string Take() { return std::move(m_out); }

private:
    bool IsLineBreakAt(const std::string& bytes, size_t at) const
    {
        const unsigned unit = CodeUnitAt(bytes, at, m_ini.encoding());
        return unit == '\n' || unit == '\r';
    }

    const IniText& m_ini;
    const size_t m_unit;
    size_t m_markSize = 0;
    std::string m_out;
};

// A key the writer sets, and what reading gives when it holds that already.
struct KeyValue {
    const char* key;
    std::string value;  // as the reader gives it
    size_t maxChars;
    bool isNumber = false;  // compared as PresetVersionNumber reads it
};

std::vector<KeyValue> PresetKeys(const PresetFields& fields)
{
    return {{kVersionKey, std::to_string(fields.version), kVersionChars, true},
            {kNameKey, fields.name, kPresetNameChars},
            {kBankKey, fields.bank, kPresetNameChars},
            {kDataKey, fields.data, kPresetDataChars}};
}

std::string KeyLine(const KeyValue& entry) { return std::string(entry.key) + "=" + IniValueText(entry.value); }

bool Holds(const std::optional<std::string>& read, const KeyValue& entry)
{
    if (!read)
        return false;
    return entry.isNumber ? std::to_string(PresetVersionNumber(*read)) == entry.value : *read == entry.value;
}

// A section of the file with `values` set: the first key of each name takes its value
// (where it does not hold it already) and missing keys are added at the end; every other
// byte stays. `header` replaces the header line when given.
void WriteSection(FileBuilder& out, const IniText& ini, const IniText::Section& section,
                  const std::optional<std::string>& header, const std::vector<KeyValue>& values)
{
    if (header) {
        out.Line(*header);
    } else {
        out.StartLine();
        out.Bytes(section.header);
    }
    std::vector<bool> present(values.size(), false);
    size_t at = section.header.end;
    for (size_t k = 0; k < section.keyCount; ++k) {
        const IniText::Key& key = ini.key(section, k);
        out.Bytes({at, key.bytes.begin});
        at = key.bytes.end;
        const auto entry = std::find_if(values.begin(), values.end(), [&](const KeyValue& value) {
            return ini.FindKey(section, value.key) == &key;
        });
        if (entry == values.end()) {
            out.Bytes(key.bytes);
            continue;
        }
        present[entry - values.begin()] = true;
        if (Holds(ini.Value(key, entry->maxChars), *entry)) {
            out.Bytes(key.bytes);
            continue;
        }
        out.Text(KeyLine(*entry));
        out.Bytes({out.LineBreakStart(key.bytes), key.bytes.end});
    }
    out.Bytes({at, section.bytes.end});
    for (size_t i = 0; i < values.size(); ++i)
        if (!present[i])
            out.Line(KeyLine(values[i]));
}

void WriteNewSection(FileBuilder& out, const std::string& header, const std::vector<KeyValue>& values)
{
    out.Line(header);
    for (const KeyValue& value : values)
        out.Line(KeyLine(value));
}

} // namespace

std::string WritePresetFile(const PresetFile& file, const std::vector<StoreSlot>& slots, const PluginKeys& keys)
{
    const IniText& ini = file.ini();
    FileBuilder out(ini);
    size_t markSize = 0;
    DetectIniEncoding(ini.bytes(), markSize);
    out.SetMarkSize(markSize);
    out.Bytes(ini.preamble());

    std::vector<KeyValue> plugin = {{kPluginNameKey, keys.pluginName, kIdentityChars},
                                    {kIdentityKey, keys.classKey, kIdentityChars}};
    if (keys.defaultPreset)
        plugin.push_back({kDefaultPresetKey, "1", kIdentityChars});
    const IniText::Section* pluginSection = ini.FindSection(kPluginSection);
    if (pluginSection != nullptr)
        WriteSection(out, ini, *pluginSection, std::nullopt, plugin);
    else
        WriteNewSection(out, std::string("[") + kPluginSection + "]", plugin);

    for (size_t i = 0; i < slots.size(); ++i) {
        const StoreSlot& slot = slots[i];
        const std::string header = "[" + PresetSectionName(static_cast<int>(i) + 1) + "]";
        const std::vector<KeyValue> values = slot.fields ? PresetKeys(*slot.fields) : std::vector<KeyValue>{};
        if (slot.from) {
            const IniText::Section& section = ini.sections()[file.listSections()[*slot.from]];
            WriteSection(out, ini, section, *slot.from == i ? std::nullopt : std::optional<std::string>(header),
                         values);
        } else if (slot.fields) {
            WriteNewSection(out, header, values);
        }
    }

    std::unordered_set<size_t> written(file.listSections().begin(), file.listSections().end());
    if (pluginSection != nullptr)
        written.insert(pluginSection - ini.sections().data());
    for (size_t i = 0; i < ini.sections().size(); ++i)
        if (written.count(i) == 0) {
            out.StartLine();
            out.Bytes(ini.sections()[i].bytes);
        }
    return out.Take();
}

PresetList ListAfterSave(const PresetFile& written, const std::vector<StoreSlot>& slots, const PresetList& before,
                         int& nextId)
{
    std::unordered_map<int, PresetFields> ours;
    PresetList theirs;
    for (size_t i = 0; i < written.list().size(); ++i) {
        const PresetSection& section = written.list()[i];
        if (!section.isPreset())
            continue;
        const int id = i < slots.size() ? slots[i].id : 0;
        if (id != 0 && ours.emplace(id, section.fields).second)
            continue;
        PresetRecord record;
        static_cast<PresetFields&>(record) = section.fields;
        record.id = nextId++;
        theirs.push_back(std::move(record));
    }
    PresetList after;
    after.reserve(ours.size() + theirs.size());
    for (const PresetRecord& record : before) {
        const auto held = ours.find(record.id);
        if (held == ours.end())
            continue;
        PresetRecord kept;
        static_cast<PresetFields&>(kept) = held->second;
        kept.id = record.id;
        after.push_back(std::move(kept));
    }
    after.insert(after.end(), std::make_move_iterator(theirs.begin()), std::make_move_iterator(theirs.end()));
    for (PresetRecord& record : after)
        record.stored = static_cast<const PresetFields&>(record);
    return after;
}

} // namespace qz
