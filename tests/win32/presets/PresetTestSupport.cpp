#include "PresetTestSupport.h"

#include <algorithm>
#include <cstdio>
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

std::string Fingerprint(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return "missing";
    const std::string bytes = ReadText(path);
    unsigned long long hash = 14695981039346656037ull;
    for (char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char text[64];
    std::snprintf(text, sizeof text, "%zu:%016llx", bytes.size(), hash);
    return text;
}

bool RunShell(const std::string& command)
{
    // Wine neither waits for a Unix program nor hands its exit code back: the status
    // comes through a file, complete once renamed into place.
    // A name of this call's own: a status left by another run must not answer for it.
    static unsigned calls = 0;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const std::string status = "/tmp/qz-preset-shell-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(now.QuadPart) + "-" + std::to_string(++calls);
    const std::string line = "/bin/sh -c \"(" + command + ") >/dev/null 2>&1; echo $? >" + status + ".part; mv " +
                             status + ".part " + status + "\"";
    std::wstring wide(line.begin(), line.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::string windowsStatus = "Z:" + status;
    std::replace(windowsStatus.begin(), windowsStatus.end(), '/', '\\');
    for (int wait = 0; wait < 6000 && GetFileAttributesA(windowsStatus.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait)
        Sleep(10);
    const std::string code = ReadText(windowsStatus);
    DeleteFileA(windowsStatus.c_str());
    return code == "0\n";
}

UnixFolder::UnixFolder(const std::string& name, int tmpfsKilobytes)
    : m_unix("/tmp/qz-presets-" + std::to_string(GetCurrentProcessId()) + "-" + name), m_mounted(tmpfsKilobytes > 0)
{
    std::string command = "mkdir -p " + m_unix;
    if (m_mounted)
        command += " && mount -t tmpfs -o size=" + std::to_string(tmpfsKilobytes) + "k qz-presets " + m_unix;
    m_ready = RunShell(command);
}

UnixFolder::~UnixFolder() { RunShell((m_mounted ? "umount " + m_unix + "; " : std::string()) + "rm -rf " + m_unix); }

std::string UnixFolder::Windows(const std::string& name) const
{
    std::string path = "Z:" + Unix(name);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<std::string> Names(const PresetList& presets)
{
    std::vector<std::string> names;
    for (const PresetRecord& record : presets)
        names.push_back(record.bank + "/" + record.name);
    return names;
}

} // namespace qz::test
