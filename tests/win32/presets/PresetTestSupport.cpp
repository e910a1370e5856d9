#include "PresetTestSupport.h"

#include <fstream>
#include <iterator>

namespace qz::test {

const char kTestClassKey[] = "SOFTWARE\\Classes\\CLSID\\{6D0C1F4A-2B7E-4C51-9A3D-58E7F0B2C913}";
const char kPluginName[] = "qz:Multiband";
const char kStoreName[] = "qzMultibandDX.ini";
const char kManagerTitle[] = "qz:Multiband Preset Manager";

PresetFields Fields(const std::string& name, const std::string& bank, const std::string& data, int version)
{
    return PresetFields{version, name, bank, data};
}

PresetMessageBox MessageRecorder::box()
{
    return [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
        shown.push_back({owner, text, caption, type});
        if ((type & MB_TYPEMASK) == MB_OK)
            return IDOK;
        if (answers.empty())
            return IDNO;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    };
}

std::vector<std::string> MessageRecorder::texts() const
{
    std::vector<std::string> texts;
    for (const ShownMessage& message : shown)
        texts.push_back(message.text);
    return texts;
}

void PresetFilesTest::SetUp()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = std::string(temp) + "qzpresets_" + std::to_string(GetCurrentProcessId()) + "_" + test->name();
    CreateDirectoryA(m_folder.c_str(), nullptr);
}

void PresetFilesTest::TearDown()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Path("*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string path = Path(found.cFileName);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(path.c_str());
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(m_folder.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestClassKey);
}

PresetManager& PresetFilesTest::NewManager(HWND owner)
{
    m_managers.push_back(std::make_unique<PresetManager>(GetModuleHandleA(nullptr), owner, kPluginName));
    m_managers.back()->SetMessageBox(messages.box());
    return *m_managers.back();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ProfileValue(const std::string& path, const char* section, const char* key)
{
    char value[4096];
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, path.c_str());
    return value;
}

std::string StoreText(const std::string& identity, const std::vector<PresetFields>& presets)
{
    std::string text = "[Plug-in]\r\nPluginName=qz:Multiband\r\nCLSID=" + identity + "\r\n";
    for (size_t i = 0; i < presets.size(); ++i)
        text += "[Preset" + std::to_string(i + 1) + "]\r\nVersion=" + std::to_string(presets[i].version) +
                "\r\nName=" + presets[i].name + "\r\nBank=" + presets[i].bank + "\r\nData=" + presets[i].data + "\r\n";
    return text;
}

std::vector<std::string> Names(const PresetList& presets)
{
    std::vector<std::string> names;
    for (const PresetRecord& record : presets)
        names.push_back(record.bank + "/" + record.name);
    return names;
}

} // namespace qz::test
