// A preset store as any program may have left it, loaded and saved as the preset
// manager does. Properties: saving the store with nothing changed keeps its list, every
// preset with its fields; what a save wrote reads back as the list the manager keeps
// afterwards; once the file is the store, a save with nothing changed writes the same
// bytes; and an export of the list reads back as the list. (A save over a file that is
// not the store may show more presets than the load did: a section that a same-named
// one above it hid from every reader is seen once the list no longer reaches down to it.)
#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "FuzzCheck.h"
#include "PresetStore.h"

using namespace qz;
using fuzz::Check;

namespace {

const char kClassKey[] = "SOFTWARE\\Classes\\CLSID\\{OURS}";
const PluginKeys kStoreKeys{"qz:Multiband", kClassKey, true};

// The manager's list as loading `file` gives it: every preset section, as stored.
PresetList Loaded(const PresetFile& file)
{
    PresetList list;
    for (const PresetSection& section : file.list())
        if (section.isPreset()) {
            PresetRecord record;
            static_cast<PresetFields&>(record) = section.fields;
            record.stored = section.fields;
            record.id = kFirstPresetId + static_cast<int>(list.size());
            list.push_back(record);
        }
    return list;
}

bool Before(const PresetFields& a, const PresetFields& b)
{
    return std::tie(a.name, a.bank, a.data, a.version) < std::tie(b.name, b.bank, b.data, b.version);
}

// The presets' fields in one order, so that lists compare whatever places they take.
std::vector<PresetFields> Sorted(const PresetList& list)
{
    std::vector<PresetFields> fields(list.begin(), list.end());
    std::sort(fields.begin(), fields.end(), Before);
    return fields;
}

// Saves `list` over `bytes` as the manager saves its store; `list` becomes the
// manager's list afterwards.
std::string Save(const std::string& bytes, PresetList& list)
{
    const PresetFile file(bytes);
    const bool isStore = SameText(file.identity(), kClassKey);
    const std::vector<StoreSlot> slots = MergeStore(file, isStore, list, {});
    const std::string written = WritePresetFile(file, slots, kStoreKeys);
    int nextId = kFirstPresetId + static_cast<int>(list.size());
    list = ListAfterSave(PresetFile(written), slots, list, nextId);
    return written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string disk(reinterpret_cast<const char*>(data), size);
    const PresetFile file(disk);
    Check(file.list().size() == file.listSections().size(), "every listed section has its place in the file");
    const PresetList loaded = Loaded(file);

    PresetList list = loaded;
    const std::string written = Save(disk, list);
    const std::vector<PresetFields> kept = Sorted(list), held = Sorted(loaded);
    if (SameText(file.identity(), kClassKey))
        Check(kept == held, "a save of the store with nothing changed keeps its list");
    else
        Check(std::includes(kept.begin(), kept.end(), held.begin(), held.end(), Before),
              "a save over another file keeps every preset it showed");
    Check(Sorted(Loaded(PresetFile(written))) == Sorted(list), "what a save wrote is the manager's list");

    // The first save may make the file the store, which a save then keeps in its own
    // order; from then on a save with nothing changed writes the same bytes.
    const std::string store = Save(written, list);
    Check(Save(store, list) == store, "saving the store again writes the same bytes");

    const std::string exported = WritePresetFile(PresetFile(), SlotsOf(loaded), {"qz:Multiband", kClassKey, false});
    Check(Sorted(Loaded(PresetFile(exported))) == Sorted(loaded), "an export reads back as the list");
    return 0;
}
