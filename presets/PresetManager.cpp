#include "PresetManager.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <vector>

namespace qz {

namespace {

const char kMissingDefault[] = "KEY_NOT_FOUND";

// Reads a preset file through the system's private-profile functions.
class PrivateProfileReader final : public ProfileReader {
public:
    explicit PrivateProfileReader(const std::string& path) : m_path(path) {}

    std::optional<std::string> Read(const std::string& section, const std::string& key,
                                    size_t maxChars) const override
    {
        std::vector<char> buffer(maxChars + 1);
        const std::string value = Get(section, key, kMissingDefault, buffer);
        if (value != kMissingDefault)
            return value;
        // A value may really be that text; a second default tells it from a missing key.
        if (Get(section, key, "", buffer) == kMissingDefault)
            return value;
        return std::nullopt;
    }

private:
    std::string Get(const std::string& section, const std::string& key, const char* fallback,
                    std::vector<char>& buffer) const
    {
        const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback, buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), m_path.c_str());
        return std::string(buffer.data(), std::min<size_t>(length, buffer.size() - 1));
    }

    std::string m_path;
};

// Writes through the system's private-profile functions and remembers whether any
// write failed.
class ProfileWriter {
public:
    explicit ProfileWriter(const std::string& path) : m_path(path) {}

    void Write(const std::string& section, const char* key, const std::string& value)
    {
        m_ok = m_ok && WritePrivateProfileStringA(section.c_str(), key, value.c_str(), m_path.c_str()) != 0;
    }
    // Replaces the section's keys with "key=value" lines: one write for the section.
    void WriteSection(const std::string& section, const std::vector<std::string>& lines)
    {
        std::string block;
        for (const std::string& line : lines)
            block.append(line).push_back('\0');
        block.push_back('\0');
        m_ok = m_ok && WritePrivateProfileSectionA(section.c_str(), block.c_str(), m_path.c_str()) != 0;
    }
    void RemoveSection(const std::string& section)
    {
        m_ok = m_ok && WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, m_path.c_str()) != 0;
    }
    bool ok() const { return m_ok; }

private:
    std::string m_path;
    bool m_ok = true;
};

void WritePresetSection(ProfileWriter& file, int number, const PresetSection& section)
{
    std::vector<std::string> lines = {std::string(kVersionKey) + "=" + std::to_string(section.fields.version)};
    if (section.hasName)
        lines.push_back(std::string(kNameKey) + "=" + section.fields.name);
    lines.push_back(std::string(kBankKey) + "=" + section.fields.bank);
    if (section.hasData)
        lines.push_back(std::string(kDataKey) + "=" + section.fields.data);
    file.WriteSection(PresetSectionName(number), lines);
}

PresetSection SectionOf(const PresetFields& fields)
{
    PresetSection section;
    section.fields = fields;
    section.hasName = section.hasData = true;
    return section;
}

std::vector<PresetSection> SectionsOf(const PresetList& presets)
{
    std::vector<PresetSection> sections;
    for (const PresetRecord& record : presets)
        sections.push_back(SectionOf(record));
    return sections;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

enum class RegistryText { Missing, Read, TooLong };

// On 64-bit Windows the 32-bit and the 64-bit DLL are registered in two views of the
// registry, and both keep their presets in one store: the one the 64-bit view's class
// key leads to, when that key exists, else the one of the DLL's own view. 32-bit
// Windows has one view and ignores the flag.
REGSAM StoreRegistryView(const std::string& classKey)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, classKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &handle) !=
        ERROR_SUCCESS)
        return 0;
    RegCloseKey(handle);
    return KEY_WOW64_64KEY;
}

// A string value of HKEY_LOCAL_MACHINE\key in the registry view `view`. A value that
// does not fit MAX_PATH bytes with its terminator is reported, never cut; one stored
// without its terminator is taken as stored.
RegistryText ReadRegistryText(REGSAM view, const std::string& key, const char* valueName, std::string& text)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS)
        return RegistryText::Missing;
    char buffer[MAX_PATH];
    DWORD type = 0, size = sizeof buffer;
    const LONG error = RegQueryValueExA(handle, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (error == ERROR_MORE_DATA)
        return RegistryText::TooLong;
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return RegistryText::Missing;
    const size_t length = std::find(buffer, buffer + size, '\0') - buffer;
    if (length == sizeof buffer)
        return RegistryText::TooLong;
    text.assign(buffer, length);
    return RegistryText::Read;
}

// A name, bank or data string as a file line can hold it: within the store's limit,
// and with line breaks (which would start new keys or sections) made spaces.
std::string OneLine(const std::string& text, size_t maxChars)
{
    std::string line = text.substr(0, std::min(maxChars, text.find('\0')));
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

bool ContainsDll(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(".dll") != std::string::npos;
}

} // namespace

PresetManager::PresetManager(HINSTANCE instance, HWND owner, const char* pluginName)
    : m_instance(instance),
      m_owner(owner),
      m_pluginName(pluginName != nullptr ? pluginName : ""),
      m_title(pluginName != nullptr ? m_pluginName + " Preset Manager" : "Quorvex Tavelin:qz Preset Manager"),
      m_messageBox([](HWND window, const std::string& text, const std::string& caption, UINT type) {
          return MessageBoxA(window, text.c_str(), caption.c_str(), type);
      })
{
}

int PresetManager::Message(HWND owner, UINT type, const char* format, const std::string& argument,
                           const std::string& argument2)
{
    std::vector<char> text(std::char_traits<char>::length(format) + argument.size() + argument2.size() + 1);
    std::snprintf(text.data(), text.size(), format, argument.c_str(), argument2.c_str());
    return m_messageBox(owner, text.data(), m_title, type);
}

bool PresetManager::ReportLongPath(const std::string& path)
{
    Message(nullptr, MB_OK | MB_ICONHAND, "The preset file cannot be used because its path is too long:\n%s", path);
    return false;
}

// The store is "PluginPath"\fileName when that registry value exists, else beside the
// module the class is registered with, both read in the view StoreRegistryView picks.
// A module loaded without registration (a host such as qzhost) keeps it beside itself.
// A path that does not fit MAX_PATH is reported.
bool PresetManager::FindStorePath(const char* fileName)
{
    const std::string pluginPathValue = "HKEY_LOCAL_MACHINE\\" + m_classKey + "\\PluginPath";
    const std::string serverKey = m_classKey + "\\InProcserver32";
    const REGSAM view = StoreRegistryView(m_classKey);
    // The folder of a module path, with its backslash; empty when it names none.
    const auto folderOf = [](const std::string& module) {
        const size_t slash = module.rfind('\\');
        return ContainsDll(module) && slash != std::string::npos ? module.substr(0, slash + 1) : std::string();
    };
    std::string directory, module, path;
    switch (ReadRegistryText(view, m_classKey, "PluginPath", directory)) {
    case RegistryText::Read:
        path = directory + (!directory.empty() && directory.back() == '\\' ? "" : "\\") + fileName;
        break;
    case RegistryText::TooLong:
        return ReportLongPath(pluginPathValue);
    case RegistryText::Missing: {
        if (ReadRegistryText(view, serverKey, nullptr, module) == RegistryText::TooLong)
            return ReportLongPath("HKEY_LOCAL_MACHINE\\" + serverKey);
        std::string folder = folderOf(module);
        if (folder.empty()) {
            char own[MAX_PATH];
            const DWORD length = GetModuleFileNameA(m_instance, own, sizeof own);
            folder = length > 0 && length < sizeof own ? folderOf(std::string(own, length)) : std::string();
        }
        if (folder.empty())
            return false;
        path = folder + fileName;
        break;
    }
    }
    if (path.size() >= MAX_PATH)
        return ReportLongPath(path);
    m_storePath = path;
    return true;
}

int PresetManager::OpenPresetStore(const char* path, const char* classKey, const char* fileName)
{
    m_classKey = classKey != nullptr ? classKey : "";
    m_storePath.clear();
    if (path != nullptr && *path != '\0') {
        if (std::char_traits<char>::length(path) < MAX_PATH)
            m_storePath = path;
        else
            ReportLongPath(path);
    } else if (!m_classKey.empty()) {
        FindStorePath(fileName);
    }
    if (m_storePath.empty())
        return -1;
    const std::string identity = ReadPresetFileIdentity(PrivateProfileReader(m_storePath));
    if (identity.empty())
        return -1;
    if (!SameText(identity, m_classKey)) {
        Message(nullptr, MB_OK | MB_ICONHAND,
                "No presets could be loaded because the preset file\n\"%s\"\ndoes not contain preset data compatible "
                "with this plug-in.",
                m_storePath);
        return -1;
    }
    AppendPresets(m_storePath, false, true);
    SortPresets();
    return -1;
}

int PresetManager::AppendPresets(const std::string& path, bool askAboutDuplicates, bool inStore)
{
    int appended = 0;
    try {
        for (const PresetSection& section : ReadPresetSections(PrivateProfileReader(path))) {
            if (!section.isPreset())
                continue;
            const PresetFields& fields = section.fields;
            const bool duplicate = std::any_of(m_presets.begin(), m_presets.end(), [&](const PresetRecord& record) {
                return SameText(record.name, fields.name) && SameText(record.bank, fields.bank) &&
                       SameText(record.data, fields.data);
            });
            if (askAboutDuplicates && duplicate &&
                Message(m_dialog, MB_YESNO | MB_ICONQUESTION,
                        "The preset \"%s\" you are importing already exists in the %s preset list.\nDo you want to add "
                        "it anyway?",
                        fields.name, m_pluginName) != IDYES)
                continue;
            PresetRecord record;
            static_cast<PresetFields&>(record) = fields;
            record.id = NextPresetId(m_presets);
            if (inStore)
                record.stored = fields;
            m_presets.push_back(std::move(record));
            ++appended;
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: the presets read so far stay.
    }
    return appended;
}

int PresetManager::LoadPresetFile(const char* path, bool askAboutDuplicates)
{
    if (path != nullptr && *path != '\0')
        AppendPresets(path, askAboutDuplicates, !m_storePath.empty() && SameText(path, m_storePath));
    return 1;
}

int PresetManager::ImportPresetFile(const char* path)
{
    if (path == nullptr || *path == '\0' || m_classKey.empty())
        return 0;
    const PrivateProfileReader file(path);
    const std::string identity = ReadPresetFileIdentity(file);
    if (identity.empty()) {
        Message(m_dialog, MB_OK | MB_ICONHAND,
                "The file you selected does not contain Quorvex Tavelin:qz plug-in preset data.");
        return 0;
    }
    if (!SameText(identity, m_classKey)) {
        Message(m_dialog, MB_OK | MB_ICONHAND,
                "The preset file you are trying to import does not contain data for this plug-in.");
        return 0;
    }
    const std::vector<PresetSection> sections = ReadPresetSections(file);
    if (std::none_of(sections.begin(), sections.end(), [](const PresetSection& s) { return s.isPreset(); })) {
        Message(m_dialog, MB_OK | MB_ICONHAND, "The preset file\n\"%s\"\ndoes not contain any presets.", path);
        return 0;
    }
    const int appended = AppendPresets(path, true, false);
    if (appended > 0)
        m_modified = true;
    return appended > 0 ? 1 : 0;
}

// Writes `sections` as the file's preset sections, numbered from 1, and removes the
// preset sections the file has beyond them. A section (or key) that already holds what
// `onDisk` says it does is not written again: the profile functions rewrite the whole
// file on every call. Shows the failure.
bool PresetManager::WriteFile(const std::string& path, const std::string& classKey,
                              const std::vector<PresetSection>& sections, bool wholeList,
                              const std::vector<PresetSection>& onDisk)
{
    if (path.empty()) {
        Message(MessageOwner(), MB_OK | MB_ICONHAND,
                "The presets could not be saved because the preset file has no path.");
        return false;
    }
    ProfileWriter file(path);
    const PrivateProfileReader current(path);
    for (int number = static_cast<int>(sections.size()) + 1;
         file.ok() && current.Read(PresetSectionName(number), kVersionKey, kVersionChars); ++number)
        file.RemoveSection(PresetSectionName(number));
    const auto writeKey = [&](const char* key, const std::string& value) {
        if (current.Read(kPluginSection, key, kIdentityChars) != value)
            file.Write(kPluginSection, key, value);
    };
    writeKey(kPluginNameKey, m_pluginName);
    writeKey(kIdentityKey, classKey);
    if (wholeList)
        writeKey(kDefaultPresetKey, "1");
    for (size_t i = 0; i < sections.size(); ++i)
        if (i >= onDisk.size() || !(onDisk[i] == sections[i]))
            WritePresetSection(file, static_cast<int>(i) + 1, sections[i]);
    if (!file.ok())
        Message(MessageOwner(), MB_OK | MB_ICONHAND,
                "Unable to write the preset file\n\"%s\"\nThe presets were not saved.", path);
    return file.ok();
}

bool PresetManager::ConfirmRewrite(const std::string& path)
{
    if (!FileExists(path) || SameText(ReadPresetFileIdentity(PrivateProfileReader(path)), m_classKey))
        return true;
    return Message(MessageOwner(), MB_YESNO | MB_ICONQUESTION,
                   "The preset file\n\"%s\"\ndoes not contain presets of this plug-in.\nDo you want to replace its "
                   "presets with yours?",
                   path) == IDYES;
}

// Saving to the store: read it again and apply this manager's changes to the sections
// it holds now. Sections nobody changed stay where they are and are not written;
// deleted ones make room for added ones, and the last sections close any gaps left.
// The list then holds what the store holds, other editors' presets included.
int PresetManager::SaveStore()
{
    if (!m_storePath.empty() && !ConfirmRewrite(m_storePath))
        return 0;
    std::vector<PresetSection> disk;
    if (!m_storePath.empty() && SameText(ReadPresetFileIdentity(PrivateProfileReader(m_storePath)), m_classKey))
        disk = ReadPresetSections(PrivateProfileReader(m_storePath));
    std::vector<std::optional<PresetSection>> layout(disk.begin(), disk.end());
    std::vector<bool> claimed(disk.size(), false);
    // The first section, not yet claimed, that holds exactly these fields.
    const auto claim = [&](const PresetFields& fields) -> int {
        for (size_t i = 0; i < disk.size(); ++i)
            if (!claimed[i] && disk[i].isPreset() && disk[i].fields == fields) {
                claimed[i] = true;
                return static_cast<int>(i);
            }
        return -1;
    };
    for (const PresetFields& deleted : m_deletedFromStore)
        if (const int at = claim(deleted); at >= 0)
            layout[at].reset();
    PresetList merged;
    std::vector<PresetSection> added;
    for (const PresetRecord& record : m_presets) {
        const bool changedHere = !record.stored || static_cast<const PresetFields&>(record) != *record.stored;
        const int at = record.stored ? claim(*record.stored) : -1;
        if (at >= 0)
            layout[at] = SectionOf(record);
        else if (changedHere)
            added.push_back(SectionOf(record));
        else
            continue;  // left as it was here, changed or deleted by another editor: theirs stands
        merged.push_back(record);
    }
    for (size_t i = 0; i < disk.size(); ++i)
        if (!claimed[i] && disk[i].isPreset()) {
            PresetRecord theirs;
            static_cast<PresetFields&>(theirs) = disk[i].fields;
            theirs.id = NextPresetId(merged);
            merged.push_back(std::move(theirs));
        }
    for (PresetSection& section : added) {
        const auto gap = std::find(layout.begin(), layout.end(), std::nullopt);
        if (gap != layout.end())
            *gap = std::move(section);
        else
            layout.push_back(std::move(section));
    }
    // The last sections close the gaps, so the numbers run without one and few move.
    for (size_t i = 0; i < layout.size(); ++i) {
        while (!layout.empty() && !layout.back())
            layout.pop_back();
        if (i < layout.size() && !layout[i]) {
            layout[i] = std::move(layout.back());
            layout.pop_back();
        }
    }
    std::vector<PresetSection> sections;
    for (std::optional<PresetSection>& section : layout)
        sections.push_back(std::move(*section));
    if (!WriteFile(m_storePath, m_classKey, sections, true, disk))
        return 0;
    for (PresetRecord& record : merged)
        record.stored = static_cast<const PresetFields&>(record);
    m_presets = std::move(merged);
    m_deletedFromStore.clear();
    return 1;
}

int PresetManager::SavePresetFile(const char* classKey, const char* path)
{
    const std::string target = path != nullptr ? path : "";
    const std::string key = classKey != nullptr ? classKey : "";
    if (!target.empty() && SameText(target, m_storePath) && SameText(key, m_classKey))
        return SaveStore();
    return WriteFile(target, key, SectionsOf(m_presets), true) ? 1 : 0;
}

int PresetManager::ExportPresets(const char* classKey, const char* path, const PresetSelection& selection)
{
    PresetList chosen;
    switch (selection.kind) {
    case PresetSelection::Nothing:
        return 0;
    case PresetSelection::All:
        return SavePresetFile(classKey, path);
    case PresetSelection::Bank:
        std::copy_if(m_presets.begin(), m_presets.end(), std::back_inserter(chosen),
                     [&](const PresetRecord& record) { return SameText(record.bank, selection.bank); });
        break;
    case PresetSelection::Preset:
        if (const PresetRecord* record = FindPreset(selection.id))
            chosen.push_back(*record);
        break;
    }
    if (chosen.empty())
        return 0;
    const bool written = WriteFile(path != nullptr ? path : "", classKey != nullptr ? classKey : "",
                                   SectionsOf(chosen), false);
    return written ? 1 : 0;
}

void PresetManager::SortPresets() { qz::SortPresets(m_presets); }

const PresetRecord* PresetManager::FindPreset(int id) const
{
    const auto found = std::find_if(m_presets.begin(), m_presets.end(), [id](const PresetRecord& r) { return r.id == id; });
    return found != m_presets.end() ? &*found : nullptr;
}

PresetRecord* PresetManager::Find(int id) { return const_cast<PresetRecord*>(FindPreset(id)); }

int PresetManager::AddPreset(const std::string& name, const std::string& bank, const std::string& data)
{
    if (name.empty())
        return 0;
    PresetRecord record;
    record.name = OneLine(name, kPresetNameChars);
    record.bank = OneLine(bank, kPresetNameChars);
    record.data = OneLine(data, kPresetDataChars);
    record.id = NextPresetId(m_presets);
    m_presets.push_back(record);
    m_currentPreset = record.id;
    m_modified = true;
    return record.id;
}

bool PresetManager::UpdatePreset(int id, const std::string& data, bool asCurrentVersion)
{
    PresetRecord* record = Find(id);
    if (record == nullptr)
        return false;
    record->data = OneLine(data, kPresetDataChars);
    if (asCurrentVersion)
        record->version = kPresetVersion;
    return true;
}

bool PresetManager::RenamePreset(int id, const std::string& name)
{
    PresetRecord* record = Find(id);
    if (record == nullptr || name.empty())
        return false;
    record->name = OneLine(name, kPresetNameChars);
    m_modified = true;
    return true;
}

int PresetManager::RenameBank(const std::string& bank, const std::string& newName)
{
    int renamed = 0;
    if (bank.empty() || newName.empty())
        return 0;
    for (PresetRecord& record : m_presets)
        if (SameText(record.bank, bank)) {
            record.bank = OneLine(newName, kPresetNameChars);
            ++renamed;
        }
    m_modified = m_modified || renamed > 0;
    return renamed;
}

bool PresetManager::MovePreset(int id, const std::string& bank)
{
    PresetRecord* record = Find(id);
    if (record == nullptr)
        return false;
    record->bank = OneLine(bank, kPresetNameChars);
    m_modified = true;
    return true;
}

void PresetManager::Forget(PresetList::iterator record)
{
    if (record->stored)
        m_deletedFromStore.push_back(*record->stored);
    m_presets.erase(record);
    m_modified = true;
}

bool PresetManager::DeletePreset(int id)
{
    const auto found = std::find_if(m_presets.begin(), m_presets.end(), [id](const PresetRecord& r) { return r.id == id; });
    if (found == m_presets.end())
        return false;
    Forget(found);
    return true;
}

int PresetManager::DeleteBank(const std::string& bank)
{
    int deleted = 0;
    for (size_t i = m_presets.size(); i-- > 0;)
        if (SameText(m_presets[i].bank, bank)) {
            Forget(m_presets.begin() + i);
            ++deleted;
        }
    return deleted;
}

void PresetManager::DeleteAllPresets()
{
    while (!m_presets.empty())
        Forget(m_presets.end() - 1);
}

bool PresetManager::MakeBackup()
{
    m_hasBackup = false;
    m_backup = {};
    try {
        m_backup = {m_presets, m_deletedFromStore};
        m_hasBackup = true;
    } catch (const std::bad_alloc&) {
    }
    return m_hasBackup;
}

void PresetManager::RestoreBackup()
{
    if (!m_hasBackup)
        return;
    std::swap(m_presets, m_backup.presets);
    std::swap(m_deletedFromStore, m_backup.deletedFromStore);
    // A preset added since the backup is gone; its id must not name a later one.
    if (FindPreset(m_currentPreset) == nullptr)
        m_currentPreset = -1;
}

} // namespace qz
