#include "PresetManager.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <unordered_set>
#include <vector>

#include "PresetStore.h"
#include "SafeFiles.h"

namespace qz {

namespace {

files::Path FilePath(const std::string& ansiPath)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), &wide[0], size);
    return wide;
}

// A failure of the file code, for a message that names the file already (in the
// ANSI code page): the file code names it too, in UTF-8, and there it becomes "it".
std::string WriteProblem(const std::string& problem, const std::string& ansiPath)
{
    std::string text = problem;
    const std::string shown = files::Shown(FilePath(ansiPath));
    for (size_t at = text.find(shown); !shown.empty() && at != std::string::npos; at = text.find(shown, at + 2))
        text.replace(at, shown.size(), "it");
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + ".";
}

// A preset file as read: its contents, or why it could not be read.
struct FileRead {
    PresetFile file;
    bool exists = false;
    std::string problem;  // empty when read, or when there is no such file
};

FileRead ReadPresetFile(const std::string& path)
{
    FileRead read;
    std::string bytes;
    const files::ReadResult result = files::ReadWholeFile(FilePath(path), kPresetFileLimit, bytes);
    read.exists = !result.missing;
    if (!result.missing)
        read.problem = result.problem;
    if (read.problem.empty())
        read.file = PresetFile(std::move(bytes));
    return read;
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

// A bank as typed; one of blanks only is the root.
std::string BankText(const std::string& typed)
{
    const std::string line = OneLine(typed, kPresetNameChars);
    return IsBlankName(line) ? std::string() : line;
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
    const FileRead store = ReadPresetFile(m_storePath);
    if (!store.problem.empty()) {
        ReportUnreadable(nullptr, m_storePath, store.problem);
        return -1;
    }
    const std::string& identity = store.file.identity();
    if (identity.empty())
        return -1;
    if (!SameText(identity, m_classKey)) {
        Message(nullptr, MB_OK | MB_ICONHAND,
                "No presets could be loaded because the preset file\n\"%s\"\ndoes not contain preset data compatible "
                "with this plug-in.",
                m_storePath);
        return -1;
    }
    AppendPresets(store.file, false, true);
    SortPresets();
    return -1;
}

void PresetManager::ReportUnreadable(HWND owner, const std::string& path, const std::string& reason)
{
    Message(owner, MB_OK | MB_ICONHAND, "The preset file\n\"%s\"\ncannot be read: %s.", path, reason);
}

namespace {

// Name, bank and data without regard to case: what an import asks about.
std::string DuplicateKey(const PresetFields& fields)
{
    std::string key = fields.name + '\n' + fields.bank + '\n' + fields.data;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

} // namespace

int PresetManager::AppendPresets(const PresetFile& file, bool askAboutDuplicates, bool inStore)
{
    int appended = 0;
    try {
        std::unordered_set<std::string> held;
        if (askAboutDuplicates)
            for (const PresetRecord& record : m_presets)
                held.insert(DuplicateKey(record));
        for (const PresetSection& section : file.list()) {
            if (!section.isPreset())
                continue;
            const PresetFields& fields = section.fields;
            if (askAboutDuplicates && !held.insert(DuplicateKey(fields)).second &&
                Message(m_dialog, MB_YESNO | MB_ICONQUESTION,
                        "The preset \"%s\" you are importing already exists in the %s preset list.\nDo you want to add "
                        "it anyway?",
                        fields.name, m_pluginName) != IDYES)
                continue;
            PresetRecord record;
            static_cast<PresetFields&>(record) = fields;
            record.id = m_nextId++;
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

bool PresetManager::IsStore(const std::string& path) const
{
    return !m_storePath.empty() && !path.empty() && files::SameFile(FilePath(path), FilePath(m_storePath));
}

int PresetManager::LoadPresetFile(const char* path, bool askAboutDuplicates)
{
    if (path == nullptr || *path == '\0')
        return 1;
    const FileRead read = ReadPresetFile(path);
    if (!read.problem.empty())
        ReportUnreadable(m_dialog, path, read.problem);
    else
        AppendPresets(read.file, askAboutDuplicates, IsStore(path));
    return 1;
}

int PresetManager::ImportPresetFile(const char* path)
{
    if (path == nullptr || *path == '\0' || m_classKey.empty())
        return 0;
    const FileRead read = ReadPresetFile(path);
    if (!read.problem.empty()) {
        ReportUnreadable(m_dialog, path, read.problem);
        return 0;
    }
    const std::string& identity = read.file.identity();
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
    const std::vector<PresetSection>& sections = read.file.list();
    if (std::none_of(sections.begin(), sections.end(), [](const PresetSection& s) { return s.isPreset(); })) {
        Message(m_dialog, MB_OK | MB_ICONHAND, "The preset file\n\"%s\"\ndoes not contain any presets.", path);
        return 0;
    }
    const int appended = AppendPresets(read.file, true, false);
    if (appended > 0)
        m_modified = true;
    return appended > 0 ? 1 : 0;
}

int PresetManager::ReportWriteFailure(const std::string& path, const std::string& reason)
{
    if (path.empty())
        Message(MessageOwner(), MB_OK | MB_ICONHAND,
                "The presets could not be saved because the preset file has no path.");
    else
        Message(MessageOwner(), MB_OK | MB_ICONHAND,
                "Unable to write the preset file\n\"%s\"\n%s\nThe presets were not saved.", path, reason);
    return 0;
}

// Reads the file as it is now, gives it the new list, and replaces it. The file stays
// as it was unless every byte of the new one reached the disk.
int PresetManager::WriteFile(const std::string& path, const std::string& classKey, const PresetList& presets,
                             bool wholeList)
{
    if (path.empty())
        return ReportWriteFailure(path, "");
    const FileRead read = ReadPresetFile(path);
    if (!read.problem.empty())
        return ReportWriteFailure(path, "It cannot be read: " + read.problem + ".");
    const std::string bytes = WritePresetFile(read.file, SlotsOf(presets), {m_pluginName, classKey, wholeList});
    const std::string problem = files::ReplaceContent(FilePath(path), bytes);
    return problem.empty() ? 1 : ReportWriteFailure(path, WriteProblem(problem, path));
}

bool PresetManager::ConfirmRewrite(const std::string& path)
{
    return Message(MessageOwner(), MB_YESNO | MB_ICONQUESTION,
                   "The preset file\n\"%s\"\ndoes not contain presets of this plug-in.\nDo you want to replace its "
                   "presets with yours?",
                   path) == IDYES;
}

// Saving to the store: read it again and apply this manager's changes to the presets
// it holds now (MergeStore), or, when it is no longer this plug-in's store and the
// user agrees, replace its presets with the whole list. The list then holds what the
// store holds, other editors' presets included.
int PresetManager::SaveStore()
{
    if (m_storePath.empty())
        return ReportWriteFailure(m_storePath, "");
    const FileRead read = ReadPresetFile(m_storePath);
    if (!read.problem.empty())
        return ReportWriteFailure(m_storePath, "It cannot be read: " + read.problem + ".");
    const bool isStore = read.exists && SameText(read.file.identity(), m_classKey);
    if (read.exists && !isStore && !ConfirmRewrite(m_storePath))
        return 0;
    const std::vector<StoreSlot> slots = MergeStore(read.file, isStore, m_presets, m_deletedFromStore);
    const std::string bytes = WritePresetFile(read.file, slots, {m_pluginName, m_classKey, true});
    const std::string problem = files::ReplaceContent(FilePath(m_storePath), bytes);
    if (!problem.empty())
        return ReportWriteFailure(m_storePath, WriteProblem(problem, m_storePath));
    m_presets = ListAfterSave(PresetFile(bytes), slots, m_presets, m_nextId);
    m_deletedFromStore.clear();
    return 1;
}

int PresetManager::SavePresetFile(const char* classKey, const char* path)
{
    const std::string target = path != nullptr ? path : "";
    const std::string key = classKey != nullptr ? classKey : "";
    if (IsStore(target) && SameText(key, m_classKey))
        return SaveStore();
    return WriteFile(target, key, m_presets, true);
}

int PresetManager::ExportPresets(const char* classKey, const char* path, const PresetSelection& selection)
{
    const std::string target = path != nullptr ? path : "";
    if (selection.kind == PresetSelection::Nothing)
        return 0;
    // An export is no save: the store would lose the presets not exported, or take
    // changes the user may still cancel.
    if (IsStore(target)) {
        Message(MessageOwner(), MB_OK | MB_ICONHAND,
                "The presets cannot be exported to the preset file\n\"%s\"\nbecause it is the store of this plug-in's "
                "presets. Choose another file.",
                target);
        return 0;
    }
    PresetList chosen;
    switch (selection.kind) {
    case PresetSelection::Nothing:
    case PresetSelection::All:
        chosen = m_presets;
        break;
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
    return WriteFile(target, classKey != nullptr ? classKey : "", chosen, selection.kind == PresetSelection::All);
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
    PresetRecord record;
    record.name = OneLine(name, kPresetNameChars);
    if (IsBlankName(record.name))
        return 0;
    record.bank = BankText(bank);
    record.data = OneLine(data, kPresetDataChars);
    record.id = m_nextId++;
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
    const std::string line = OneLine(name, kPresetNameChars);
    if (record == nullptr || IsBlankName(line))
        return false;
    record->name = line;
    m_modified = true;
    return true;
}

int PresetManager::RenameBank(const std::string& bank, const std::string& newName)
{
    const std::string line = BankText(newName);
    if (bank.empty() || line.empty())
        return 0;
    int renamed = 0;
    for (PresetRecord& record : m_presets)
        if (SameText(record.bank, bank)) {
            record.bank = line;
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
    record->bank = BankText(bank);
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
