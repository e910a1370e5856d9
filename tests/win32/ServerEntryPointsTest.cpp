// Loads the built qzMultibandDX.dll the way a host does (LoadLibrary beside the
// program, GetProcAddress by the plain export names) and calls its entry points.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using DllEntryFn = HRESULT(STDAPICALLTYPE*)();

// The four exports and the bytes of arguments their __stdcall decoration would carry.
const struct {
    const char* name;
    int argument_bytes;
} kExports[] = {
    {"DllGetClassObject", 12},
    {"DllCanUnloadNow", 0},
    {"DllRegisterServer", 0},
    {"DllUnregisterServer", 0},
};

std::string hr_text(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// Paths and GUIDs in failure messages are plain ASCII here.
std::string narrow(const wchar_t* text)
{
    return std::string(text, text + std::wcslen(text));
}

std::string guid_text(const GUID& guid)
{
    wchar_t text[40];
    if (StringFromGUID2(guid, text, 40) == 0)
        return "(unprintable GUID)";
    return narrow(text);
}

// The DLL is copied beside this program, where hosts usually find their filters.
std::wstring module_beside_program(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

class ServerEntryPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = module_beside_program(L"qzMultibandDX.dll");
        module_ = LoadLibraryW(path_.c_str());
        ASSERT_NE(module_, nullptr) << "LoadLibrary(" << narrow(path_.c_str()) << ")"
                                    << " failed, error " << GetLastError();
    }

    void TearDown() override
    {
        if (module_ != nullptr) {
            EXPECT_TRUE(FreeLibrary(module_)) << "FreeLibrary failed, error " << GetLastError();
        }
    }

    template <typename Fn>
    Fn entry(const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    std::wstring path_;
    HMODULE module_ = nullptr;
};

TEST_F(ServerEntryPoints, ExportsAreFoundByTheirPlainNames)
{
    for (const auto& exported : kExports) {
        EXPECT_NE(GetProcAddress(module_, exported.name), nullptr)
            << "GetProcAddress(\"" << exported.name << "\") failed, error " << GetLastError();

        // Hosts look the entry points up by their plain names only: the __stdcall
        // decorations must not be what the export table holds.
        const std::string stem = std::string(exported.name) + "@" + std::to_string(exported.argument_bytes);
        for (const std::string& decorated : {stem, "_" + stem}) {
            EXPECT_EQ(GetProcAddress(module_, decorated.c_str()), nullptr)
                << "decorated export \"" << decorated << "\" is present";
        }
    }
}

TEST_F(ServerEntryPoints, DllGetClassObjectRefusesAnUnknownClass)
{
    auto get_class_object = entry<DllGetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(get_class_object, nullptr) << "DllGetClassObject is not exported";

    CLSID unknown;
    ASSERT_EQ(CoCreateGuid(&unknown), S_OK) << "CoCreateGuid failed";

    void* factory = reinterpret_cast<void*>(0xdeadbeef);
    HRESULT hr = get_class_object(unknown, IID_IClassFactory, &factory);
    EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE)
        << "DllGetClassObject(" << guid_text(unknown) << ", IID_IClassFactory) returned " << hr_text(hr);
    EXPECT_EQ(factory, nullptr)
        << "DllGetClassObject(" << guid_text(unknown) << ") left the out pointer at " << factory;

    factory = reinterpret_cast<void*>(0xdeadbeef);
    hr = get_class_object(unknown, IID_IUnknown, &factory);
    EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE)
        << "DllGetClassObject(" << guid_text(unknown) << ", IID_IUnknown) returned " << hr_text(hr);
    EXPECT_EQ(factory, nullptr)
        << "DllGetClassObject(" << guid_text(unknown) << ", IID_IUnknown) left the out pointer at " << factory;
}

TEST_F(ServerEntryPoints, DllGetClassObjectWithoutOutPointerIsEPointer)
{
    auto get_class_object = entry<DllGetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(get_class_object, nullptr) << "DllGetClassObject is not exported";

    HRESULT hr = get_class_object(CLSID_NULL, IID_IClassFactory, nullptr);
    EXPECT_EQ(hr, E_POINTER) << "DllGetClassObject(CLSID_NULL, IID_IClassFactory, NULL) returned " << hr_text(hr);
}

TEST_F(ServerEntryPoints, DllCanUnloadNowWithNoObjectsIsSOk)
{
    auto can_unload_now = entry<DllEntryFn>("DllCanUnloadNow");
    ASSERT_NE(can_unload_now, nullptr) << "DllCanUnloadNow is not exported";

    HRESULT hr = can_unload_now();
    EXPECT_EQ(hr, S_OK) << "DllCanUnloadNow with no objects returned " << hr_text(hr);
}

} // namespace
