#pragma once
// A preset file as a whole, and the store's merge: what saving writes when the file
// on disk holds the work of other editors too. Portable and free of file access: the
// preset manager reads the bytes, hands them here, and writes the bytes it gets back.
//
// Writing keeps what is not this program's to change byte for byte: whatever precedes
// the first section, sections of other names, preset sections beyond the list's end,
// the keys of "Plug-in" other than its own, and the list's sections without a name or
// data, at their numbers. The sections written come first, so that a section of the
// same name further down (which no reader sees) never hides one of them.

#include <optional>
#include <string>
#include <vector>

#include "IniText.h"
#include "PresetFileFormat.h"
#include "PresetList.h"

namespace qz {

class PresetFile {
public:
    PresetFile() = default;  // no file yet
    explicit PresetFile(std::string bytes);

    const IniText& ini() const { return m_ini; }
    // The identity (CLSID of "Plug-in"); empty when it has none.
    const std::string& identity() const { return m_identity; }
    // The preset sections numbered from 1, up to the first without a version.
    const std::vector<PresetSection>& list() const { return m_list; }
    // Where each of them is in ini().sections().
    const std::vector<size_t>& listSections() const { return m_listSections; }

private:
    IniText m_ini;
    std::string m_identity;
    std::vector<PresetSection> m_list;
    std::vector<size_t> m_listSections;
};

// One numbered section of the list a save writes; an empty slot (neither `from` nor
// `fields`) leaves its number out.
struct StoreSlot {
    // The section of the file's list (by its place there) whose bytes are kept.
    std::optional<size_t> from;
    // The preset written: into that section's keys when there is one, else anew.
    std::optional<PresetFields> fields;
    int id = 0;  // the manager's record it holds; 0 for none
};

// The list to write over `file`. When the file is this plug-in's store, the manager's
// changes since it last read or wrote it are applied to what the file holds now: its
// added presets (records without `stored`) and changed ones take free places, its
// deleted ones free theirs, presets nobody here changed stay as the file has them
// (another editor's change or deletion stands), and presets of other editors stay.
// The last presets move into the places left free, so that the numbers run without a
// gap. When the file is not the store (missing, of another plug-in, without identity),
// the list is the manager's, whole, in its order.
std::vector<StoreSlot> MergeStore(const PresetFile& file, bool isStore, const PresetList& presets,
                                  const std::vector<PresetFields>& deleted);

// The list written as new sections: an export, or a store that is replaced.
std::vector<StoreSlot> SlotsOf(const PresetList& presets);

struct PluginKeys {
    std::string pluginName;
    std::string classKey;
    bool defaultPreset = false;  // writes DefaultPreset=1
};

// The bytes of `file` with its list replaced by `slots` and the keys of "Plug-in" set,
// in the file's own encoding.
std::string WritePresetFile(const PresetFile& file, const std::vector<StoreSlot>& slots, const PluginKeys& keys);

// The manager's list once `written` (the bytes WritePresetFile gave for `slots`) is the
// store: the records of `before` that it still holds, in their order, with the fields
// it holds, then the presets it holds beyond them, with ids from `nextId` on. Every
// record's `stored` is what the file holds.
PresetList ListAfterSave(const PresetFile& written, const std::vector<StoreSlot>& slots, const PresetList& before,
                         int& nextId);

} // namespace qz
