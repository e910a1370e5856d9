// Both DLLs on one 64-bit Windows, as a user who has 32-bit and 64-bit hosts installs
// them: the 64-bit qzMultibandDX.dll registered with the 64-bit regsvr32, the 32-bit
// one with the 32-bit regsvr32 (WoW64). A 32-bit and a 64-bit qzhost each create the
// filter through COM, as hosts do, and must find the DLL of their own width; a
// settings record saved by one loads in the other and gives the same audio, bit for
// bit; both find the same preset store.
//
//   cross_width_tests WIN32_BUILD_DIR [gtest options]
//
// WIN32_BUILD_DIR is the 32-bit build folder (a Windows path), which holds the 32-bit
// DLL and programs; this program's folder holds the 64-bit ones.
#include "HostTestSupport.h"

#include "qz_guids.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwctype>

namespace {

std::wstring g_win32Build;

// The programs and the DLL of one width.
struct Width {
    const char* name;
    std::wstring regsvr32;
    std::wstring dll;
    std::wstring qzhost;
    std::wstring storeProbe;
    REGSAM registryView;
};

std::wstring SystemFolder(UINT (WINAPI* query)(LPWSTR, UINT))
{
    wchar_t folder[MAX_PATH];
    const UINT length = query(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

Width Win64()
{
    const std::wstring here = ProgramFolder();
    return {"64-bit", SystemFolder(GetSystemDirectoryW) + L"\\regsvr32.exe", here + L"qzMultibandDX.dll",
            here + L"qzhost.exe", here + L"qzstorepath.exe", KEY_WOW64_64KEY};
}

Width Win32()
{
    return {"32-bit", SystemFolder(GetSystemWow64DirectoryW) + L"\\regsvr32.exe",
            g_win32Build + L"\\host\\qzMultibandDX.dll", g_win32Build + L"\\tools\\qzhost\\qzhost.exe",
            g_win32Build + L"\\tests\\win32\\crosswidth\\qzstorepath.exe", KEY_WOW64_32KEY};
}

// Windows paths compare without regard to case.
template <typename Text>
Text Lower(Text text)
{
    for (auto& c : text)
        c = static_cast<typename Text::value_type>(std::towlower(c));
    return text;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

std::wstring ClsidText(REFCLSID clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return text;
}

// The server path registered for the filter in one registry view; "" when none.
std::wstring RegisteredServer(REGSAM view)
{
    const std::wstring key = L"Software\\Classes\\CLSID\\" + ClsidText(qz::kCLSID_Filter) + L"\\InprocServer32";
    HKEY handle;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS)
        return L"";
    wchar_t path[MAX_PATH] = L"";
    DWORD type = 0, bytes = sizeof path - sizeof path[0];
    const LONG error = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes);
    RegCloseKey(handle);
    return error == ERROR_SUCCESS && type == REG_SZ ? path : L"";
}

std::string Described(const Width& width, const std::vector<std::wstring>& arguments)
{
    std::string described = std::string(width.name) + " qzhost";
    for (const std::wstring& argument : arguments)
        described += " " + Narrow(argument);
    return described;
}

class CrossWidth : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const Width& width : {Win64(), Win32()})
            Register(width);
    }

    static void TearDownTestSuite()
    {
        for (const Width& width : {Win64(), Win32()})
            RunProgram(width.regsvr32, {L"/u", L"/s", width.dll});
    }

    static void Register(const Width& width)
    {
        const HostRun run = RunProgram(width.regsvr32, {L"/s", width.dll});
        EXPECT_EQ(run.exitCode, 0u) << "the " << width.name << " regsvr32 registers " << Narrow(width.dll);
    }

    static void Unregister(const Width& width)
    {
        const HostRun run = RunProgram(width.regsvr32, {L"/u", L"/s", width.dll});
        EXPECT_EQ(run.exitCode, 0u) << "the " << width.name << " regsvr32 unregisters " << Narrow(width.dll);
    }

    // qzhost of `width` on the registered filter; expects success and the filter
    // served by that width's DLL. Answers the report.
    std::string Host(const Width& width, std::vector<std::wstring> arguments)
    {
        arguments.push_back(L"--registered");
        const HostRun run = RunProgram(width.qzhost, arguments);
        EXPECT_EQ(run.exitCode, 0u) << Described(width, arguments) << "\nstandard error: " << run.err;
        const std::string filter = ReportLine(run.out, "filter:");
        if (arguments[0] == L"process") {
            EXPECT_NE(Lower(filter).find(Narrow(Lower(width.dll))), std::string::npos)
                << Described(width, arguments) << ": the filter comes from this width's DLL\n" << run.out;
        }
        return run.out;
    }

    // The 16-bit samples `width` makes of the test signal with the settings `record`;
    // the record the filter saves after loading it goes to `resaved`.
    std::vector<int16_t> Processed(const Width& width, const std::wstring& record, const std::wstring& resaved)
    {
        const std::wstring out = scratch.Path(L"out" + std::to_wstring(++outputs) + L".wav");
        Host(width, {L"process", Input(), out, L"--load", record, L"--save", resaved});
        std::string problem;
        const WavData wav = ReadWav(out, problem);
        EXPECT_EQ(problem, "") << Narrow(out);
        return Samples16(wav.data);
    }

    std::wstring Input()
    {
        const std::wstring path = scratch.Path(L"in.wav");
        if (!Exists(path))
            WriteWav(path, TestSignal(2, 44100, 44100, 0.9));
        return path;
    }

    ScratchFolder scratch;
    int outputs = 0;
};

TEST_F(CrossWidth, EachDllIsRegisteredInTheViewOfItsWidth)
{
    for (const Width& width : {Win64(), Win32()})
        EXPECT_EQ(Lower(RegisteredServer(width.registryView)), Lower(width.dll)) << width.name << " view";
}

TEST_F(CrossWidth, ARecordSavedByEitherWidthLoadsInTheOtherAndGivesTheSameAudio)
{
    struct Case {
        Width saver, loader;
        std::vector<std::wstring> settings;
    };
    const Case cases[] = {
        {Win32(), Win64(), {L"--set", L"Ratio 1=0.4", L"--set", L"Threshold 1=0.3", L"--set", L"TCR=1"}},
        {Win64(), Win32(), {L"--set", L"Ratio 2=0.6", L"--set", L"Threshold 2=0.2", L"--preset", L"1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("saved by the ") + c.saver.name + " DLL, loaded by the " + c.loader.name + " one");
        const std::wstring record = scratch.Path(L"saved.rec");
        std::vector<std::wstring> save{L"settings"};
        save.insert(save.end(), c.settings.begin(), c.settings.end());
        save.insert(save.end(), {L"--save", record});
        Host(c.saver, save);
        const std::vector<BYTE> saved = ReadBytes(record);
        ASSERT_EQ(saved.size(), 240u);

        const std::wstring resavedByLoader = scratch.Path(L"resaved-loader.rec");
        const std::wstring resavedBySaver = scratch.Path(L"resaved-saver.rec");
        const std::vector<int16_t> loaderAudio = Processed(c.loader, record, resavedByLoader);
        const std::vector<int16_t> saverAudio = Processed(c.saver, record, resavedBySaver);
        EXPECT_EQ(ReadBytes(resavedByLoader), saved) << "the other width keeps every setting of the record";
        EXPECT_EQ(ReadBytes(resavedBySaver), saved);
        ASSERT_FALSE(saverAudio.empty());
        EXPECT_NE(saverAudio, Samples16(TestSignal(2, 44100, 44100, 0.9).data)) << "the settings compress";
        EXPECT_TRUE(SameSamples(loaderAudio, saverAudio));
    }
}

// The store the preset manager finds in a process of `width`, lower case; "" when none.
std::string ProbedStore(const Width& width)
{
    const HostRun run = RunProgram(width.storeProbe, {});
    EXPECT_EQ(run.exitCode, 0u) << width.name << " store probe: " << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    return lines.size() == 1 ? Lower(lines[0]) : "";
}

TEST_F(CrossWidth, BothWidthsShareThePresetStoreOfThe64BitRegistration)
{
    const std::string shared = Narrow(Lower(Folder(Win64().dll) + L"qzMultibandDX.ini"));
    for (const Width& width : {Win64(), Win32()})
        EXPECT_EQ(ProbedStore(width), shared) << width.name;

    // Without a 64-bit registration, the 32-bit DLL keeps its store beside itself.
    Unregister(Win64());
    const std::string alone = ProbedStore(Win32());
    Register(Win64());
    EXPECT_EQ(alone, Narrow(Lower(Folder(Win32().dll) + L"qzMultibandDX.ini")));
}

TEST_F(CrossWidth, WithNothingRegisteredForItsWidthQzhostSaysSo)
{
    for (const Width& width : {Win64(), Win32()}) {
        Unregister(width);
        const HostRun run = RunProgram(width.qzhost, {L"presets", L"--registered"});
        Register(width);
        EXPECT_EQ(run.exitCode, 1u) << width.name;
        EXPECT_NE(run.err.find(std::string("no qz:Multiband filter is registered for ") + width.name + " programs"),
                  std::string::npos)
            << width.name << ": " << run.err;
        EXPECT_EQ(Lower(RegisteredServer(width.registryView)), Lower(width.dll)) << width.name << " registered again";
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: cross_width_tests WIN32_BUILD_DIR [gtest options]\n");
        return 2;
    }
    g_win32Build = std::wstring(argv[1], argv[1] + std::strlen(argv[1]));
    const Width win32 = Win32();
    for (const std::wstring& file : {win32.dll, win32.qzhost, win32.storeProbe}) {
        if (!Exists(file)) {
            std::fprintf(stderr, "cross_width_tests: %s is missing: build the win32 preset first (make win32)\n",
                         Narrow(file).c_str());
            return 1;
        }
    }
    return RUN_ALL_TESTS();
}
