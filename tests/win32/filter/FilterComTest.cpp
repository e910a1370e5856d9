// The filter through COM, as hosts meet it: its interfaces and identity, built-in
// presets, persistence in real COM streams, registration and unloading.
#include "EngineTestSupport.h"
#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include "ParamBlock.h"
#include "StoredRecord.h"
#include "qz_guids.h"

#include <uuids.h>

#include <cstring>
#include <string>

namespace {

using qz::ITqPlugInProp;

class Filter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.ok()) << "qzMultibandDX.dll beside the test, with a class factory for the filter";
        filter = server.Create<IBaseFilter>(IID_IBaseFilter);
        ASSERT_TRUE(filter) << "CreateInstance: " << HrText(server.lastResult());
        prop = As<ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
        ASSERT_TRUE(prop);
    }

    qz::ParamBlock Block()
    {
        qz::ParamBlock block{};
        prop->GetParamBlock(&block);
        return block;
    }

    // A memory stream holding `bytes`, positioned at its start.
    static ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes)
    {
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
        ULONG written = 0;
        stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        return stream;
    }

    static std::vector<BYTE> Contents(IStream* stream)
    {
        HGLOBAL memory = nullptr;
        GetHGlobalFromStream(stream, &memory);
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        const BYTE* data = static_cast<const BYTE*>(GlobalLock(memory));
        std::vector<BYTE> bytes(data, data + stat.cbSize.QuadPart);
        GlobalUnlock(memory);
        return bytes;
    }

    std::vector<BYTE> Saved(BOOL clearDirty = TRUE)
    {
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
        EXPECT_EQ(As<IPersistStream>(filter.get(), IID_IPersistStream)->Save(stream.get(), clearDirty), S_OK);
        return Contents(stream.get());
    }

    FilterServer server;
    ComPtr<IBaseFilter> filter;
    ComPtr<ITqPlugInProp> prop;
};

TEST_F(Filter, AnswersEveryInterfaceWithOneIdentity)
{
    ComPtr<IUnknown> identity = As<IUnknown>(filter.get(), IID_IUnknown);
    const struct {
        const IID* iid;
        const char* name;
    } interfaces[] = {
        {&qz::kIID_ITqPlugInProp, "ITqPlugInProp"},
        {&IID_ISpecifyPropertyPages, "ISpecifyPropertyPages"},
        {&IID_IPersistStream, "IPersistStream"},
        {&qz::kIID_IStaticFilterPreset, "IStaticFilterPreset"},
        {&qz::kIID_IMediaParams, "IMediaParams"},
        {&qz::kIID_IMediaParamInfo, "IMediaParamInfo"},
        {&qz::kIID_IMediaParamsSetUICallback, "IMediaParamsSetUICallback"},
        {&qz::kIID_IMediaParamsUICallback, "IMediaParamsUICallback"},
        {&IID_IBaseFilter, "IBaseFilter"},
        {&IID_IMediaFilter, "IMediaFilter"},
        {&IID_IPersist, "IPersist"},
    };
    for (const auto& entry : interfaces) {
        ComPtr<IUnknown> asked = As<IUnknown>(filter.get(), *entry.iid);
        ASSERT_TRUE(asked) << entry.name;
        ComPtr<IUnknown> back = As<IUnknown>(asked.get(), IID_IUnknown);
        EXPECT_EQ(back.get(), identity.get()) << "IUnknown from " << entry.name;
        ComPtr<IUnknown> roundTrip = As<IUnknown>(asked.get(), qz::kIID_ITqPlugInProp);
        EXPECT_TRUE(roundTrip) << "ITqPlugInProp from " << entry.name;
    }
    EXPECT_EQ(filter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(Filter, StartsWithTheDefaultBlockAndNamesItsPage)
{
    EXPECT_EQ(Block(), qz::DefaultParamBlock());
    CLSID clsid{};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, qz::kCLSID_Filter);
    EXPECT_EQ(As<IPersistStream>(filter.get(), IID_IPersistStream)->GetClassID(nullptr), E_POINTER);

    ComPtr<ISpecifyPropertyPages> pages = As<ISpecifyPropertyPages>(filter.get(), IID_ISpecifyPropertyPages);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_EQ(list.pElems[0], qz::kCLSID_PropertyPage);
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    EXPECT_EQ(prop->IsProcessing(), S_FALSE);
}

TEST_F(Filter, BuiltInPresets)
{
    ComPtr<IStaticFilterPreset> presets = As<IStaticFilterPreset>(filter.get(), qz::kIID_IStaticFilterPreset);
    LONG count = 0;
    EXPECT_EQ(presets->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(presets->GetPresetCount(nullptr), E_POINTER);
    WCHAR name[64];
    EXPECT_EQ(presets->GetPresetName(1, name, 64), S_OK);
    EXPECT_STREQ(name, L"[1] Full Reset");
    EXPECT_EQ(presets->GetPresetName(0, name, 64), S_OK);
    EXPECT_STREQ(name, L"(Default)");
    EXPECT_EQ(presets->GetPresetName(2, name, 64), E_INVALIDARG);
    EXPECT_EQ(presets->GetPresetName(-1, name, 64), E_INVALIDARG);
    EXPECT_EQ(presets->GetPresetName(1, nullptr, 64), E_POINTER);
    WCHAR small[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(presets->GetPresetName(1, small, 4), S_OK);
    EXPECT_STREQ(small, L"[1]") << "cut to the buffer, always terminated";

    prop->SetRatio(60, 2, FALSE);
    prop->SetLimiter(0, FALSE);
    EXPECT_EQ(presets->ApplyPreset(1), S_OK);
    EXPECT_EQ(Block(), qz::DefaultParamBlock());
    EXPECT_EQ(presets->ApplyPreset(2), E_INVALIDARG);
}

TEST_F(Filter, SavesTheDocumentedRecord)
{
    ComPtr<IPersistStream> persist = As<IPersistStream>(filter.get(), IID_IPersistStream);
    ULARGE_INTEGER size{};
    EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 240u);
    EXPECT_EQ(persist->GetSizeMax(nullptr), E_POINTER);
    EXPECT_EQ(persist->Save(nullptr, TRUE), E_POINTER);
    EXPECT_EQ(persist->Load(nullptr), E_POINTER);

    const std::vector<BYTE> bytes = Saved();
    ASSERT_EQ(bytes.size(), 240u);
    uint8_t header[qz::kStoredHeaderSize];
    std::memcpy(header, bytes.data(), sizeof header);
    EXPECT_TRUE(qz::IsStoredHeader(header));
    uint8_t block[qz::kStoredBlockSize];
    std::memcpy(block, bytes.data() + 20, sizeof block);
    EXPECT_EQ(qz::ReadStoredBlock(block), qz::DefaultParamBlock());
}

TEST_F(Filter, LoadRestoresParametersAndKeepsTheRest)
{
    prop->SetRatio(40, 0, FALSE);
    prop->SetThreshold(-250, 4, FALSE);
    const std::vector<BYTE> record = Saved();
    const qz::ParamBlock defaults = qz::DefaultParamBlock();
    prop->ApplyParamBlock(&defaults);  // everything back to the start
    prop->SetSpare1(33, FALSE);
    prop->SetSpare2(1, FALSE);
    prop->SetEffectBypass(TRUE);
    prop->SetKnee(3, 2, FALSE);
    prop->CopySetup(0, 1);      // the other setup: knee 3 in band 3
    prop->UndoCheckpoint(-2);   // the undo copy: the same
    prop->SetKnee(20, 2, FALSE);

    qz::test::TestWindow editor;  // a window registered for engine notifications
    prop->SetNotifyWindow(editor.handle(), 32700);
    ComPtr<IPersistStream> persist = As<IPersistStream>(filter.get(), IID_IPersistStream);
    EXPECT_EQ(persist->Load(StreamOf(record).get()), S_OK);
    qz::ParamBlock now = Block();
    EXPECT_EQ(now.Ratio[0], 40);
    EXPECT_EQ(now.Threshold[4], -250);
    EXPECT_EQ(now.Spare1, 33) << "the spares are not loaded";
    EXPECT_EQ(now.Spare2, 1);
    BOOL bypass = FALSE;
    prop->GetEffectBypass(&bypass);
    EXPECT_TRUE(bypass) << "effect bypass is not part of the record";
    EXPECT_EQ(now.Knee[2], 10) << "loaded";
    prop->SelectSetup(1);
    EXPECT_EQ(Block().Knee[2], 3) << "the other setup is not part of the record";
    prop->SelectSetup(0);
    prop->Undo();
    EXPECT_EQ(Block().Knee[2], 3) << "nor is the undo copy";
    EXPECT_EQ(editor.takeCommands(), (std::vector<WPARAM>{MAKEWPARAM(32700, 100)})) << "the editor is told";
    prop->SetNotifyWindow(editor.handle(), 0);
}

TEST_F(Filter, ForeignOrShortRecordsChangeNothing)
{
    prop->SetRatio(80, 1, FALSE);
    std::vector<BYTE> good = Saved();
    prop->SetRatio(20, 1, FALSE);
    const qz::ParamBlock before = Block();
    ComPtr<IPersistStream> persist = As<IPersistStream>(filter.get(), IID_IPersistStream);

    std::vector<std::pair<std::string, std::vector<BYTE>>> bad;
    std::vector<BYTE> v = good;
    v[0] = 239;
    bad.push_back({"size 239", v});
    v[0] = 241;
    bad.push_back({"size 241", v});
    v = good;
    v[11] ^= 0x40;
    bad.push_back({"one identifier byte", v});
    bad.push_back({"ends inside the block", std::vector<BYTE>(good.begin(), good.begin() + 100)});
    bad.push_back({"ends inside the header", std::vector<BYTE>(good.begin(), good.begin() + 12)});
    for (const auto& [what, bytes] : bad) {
        EXPECT_EQ(persist->Load(StreamOf(bytes).get()), E_FAIL) << what;
        EXPECT_EQ(Block(), before) << what;
    }
}

TEST_F(Filter, LoadClampsOutOfRangeValues)
{
    std::vector<BYTE> record = Saved();
    const int32_t outputGain = 1000;
    std::memcpy(record.data() + 20 + 4 * qz::BlockIndex::OutputGain, &outputGain, 4);
    ComPtr<IPersistStream> persist = As<IPersistStream>(filter.get(), IID_IPersistStream);
    EXPECT_EQ(persist->Load(StreamOf(record).get()), S_OK);
    EXPECT_EQ(Block().OutputGain, 240);
}

TEST_F(Filter, DirtyUntilSavedWithClearing)
{
    ComPtr<IPersistStream> persist = As<IPersistStream>(filter.get(), IID_IPersistStream);
    EXPECT_EQ(persist->IsDirty(), S_OK) << "the default block was applied at creation";
    Saved(TRUE);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    prop->SetGain(30, 2, FALSE);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    Saved(FALSE);
    EXPECT_EQ(persist->IsDirty(), S_OK) << "a save that keeps the flag";
}

TEST_F(Filter, SaveStoresTheHostsAutomatedValue)
{
    ComPtr<IMediaParams> params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
    ASSERT_EQ(params->SetParam(25, 0.5f), S_OK);  // Ratio 3, as a host's automation sets it
    std::vector<BYTE> record = Saved();
    int32_t ratio3 = 0;
    std::memcpy(&ratio3, record.data() + 20 + 4 * (qz::BlockIndex::Ratio + 2), 4);
    EXPECT_EQ(ratio3, 152);
}

TEST_F(Filter, ServerStaysLoadedWhileAnyObjectLives)
{
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "the filter is alive";
    ComPtr<IMediaParams> params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
    prop.reset();
    filter.reset();
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "the host still holds IMediaParams";
    MP_DATA value = 0;
    EXPECT_EQ(params->SetParam(1, 0.25f), S_OK);
    EXPECT_EQ(params->GetParam(1, &value), S_OK);
    EXPECT_EQ(value, 0.25f);
    ComPtr<ITqPlugInProp> gone;
    EXPECT_EQ(params->QueryInterface(qz::kIID_ITqPlugInProp, gone.put_void()), E_NOINTERFACE)
        << "never the destroyed filter";
    params.reset();
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "the class factory is still held";
    server.ReleaseFactory();
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

TEST(ClassFactory, ResultCodesAndAggregationRefusals)
{
    FilterServer server;
    ASSERT_TRUE(server.ok());
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = server.EntryPoint<GetClassObjectFn>("DllGetClassObject");
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(qz::kCLSID_Filter, IID_IUnknown, factory.put_void()), S_OK);
    EXPECT_EQ(getClassObject(qz::kCLSID_Filter, IID_IBaseFilter, factory.put_void()), E_NOINTERFACE);
    EXPECT_EQ(getClassObject(qz::kIID_ITqPlugInProp, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(qz::kCLSID_PropertyPage, IID_IBaseFilter, factory.put_void()), E_NOINTERFACE);
    ASSERT_EQ(getClassObject(qz::kCLSID_PropertyPage, IID_IClassFactory, factory.put_void()), S_OK)
        << "the editor page is served too";
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.put_void()), S_OK);
    EXPECT_TRUE(page);
    page.reset();
    ASSERT_EQ(getClassObject(qz::kCLSID_Filter, IID_IClassFactory, factory.put_void()), S_OK);

    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
    ComPtr<IUnknown> outer = As<IUnknown>(factory.get(), IID_IUnknown);  // any object as the would-be outer
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IBaseFilter, filter.put_void()), E_NOINTERFACE)
        << "an aggregating caller must ask for IUnknown";
    outer.reset();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    server.ReleaseFactory();
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE) << "locked";
    ComPtr<IClassFactory> again;
    getClassObject(qz::kCLSID_Filter, IID_IClassFactory, again.put_void());
    again->LockServer(FALSE);
    again.reset();
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

std::string ReadString(HKEY root, const std::string& path, const char* name)
{
    char value[256] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

DWORD ReadDword(const std::string& path, const char* name)
{
    DWORD value = 0xDEAD, size = sizeof value;
    RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Runs Wine's own regsvr32 on the DLL beside the test program; its exit code.
DWORD RunRegsvr32(const wchar_t* arguments)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring dll = program;
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"qzMultibandDX.dll";
    std::wstring command = std::wstring(L"regsvr32.exe ") + arguments + L" \"" + dll + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(Registration, Regsvr32WritesTheServerThePinsAndTheFilterNameAndRemovesThem)
{
    const std::string clsid = "CLSID\\" + GuidText(qz::kCLSID_Filter);
    const std::string pageClsid = "CLSID\\" + GuidText(qz::kCLSID_PropertyPage);
    const std::string filterKey = "Filter\\" + GuidText(qz::kCLSID_Filter);
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u) << "regsvr32 /s";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid, nullptr), "Tavelin:qz Multiband");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_NE(ReadString(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", nullptr).find("qzMultibandDX.dll"),
              std::string::npos);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, filterKey, nullptr), "Tavelin:qz Multiband");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, pageClsid, nullptr), "Tavelin:qz Multiband Property Page");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, pageClsid + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, pageClsid + "\\InprocServer32", nullptr),
              ReadString(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", nullptr))
        << "the page is served by the same DLL";
    EXPECT_FALSE(KeyExists("Filter\\" + GuidText(qz::kCLSID_PropertyPage))) << "the page is no filter";
    EXPECT_EQ(ReadDword(clsid + "\\Pins\\In", "Direction"), 0u);
    EXPECT_EQ(ReadDword(clsid + "\\Pins\\Out", "Direction"), 1u);
    EXPECT_EQ(ReadDword(clsid + "\\Pins\\In", "AllowedMany"), 0u);
    EXPECT_EQ(ReadDword(clsid + "\\Pins\\Out", "IsRendered"), 0u);
    EXPECT_TRUE(KeyExists(clsid + "\\Pins\\In\\Types\\{73647561-0000-0010-8000-00AA00389B71}\\"
                                  "{00000000-0000-0000-0000-000000000000}"));

    // The system's filter mapper knows it now.
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper.put_void()),
              S_OK);
    ComPtr<IEnumMoniker> found;
    GUID audio[2] = {MEDIATYPE_Audio, GUID_NULL};
    ASSERT_EQ(mapper->EnumMatchingFilters(found.put(), 0, FALSE, 0x00100000, TRUE, 1, audio, nullptr, nullptr, FALSE,
                                          TRUE, 1, audio, nullptr, nullptr),
              S_OK);
    bool listed = false;
    for (ComPtr<IMoniker> moniker; found->Next(1, moniker.put(), nullptr) == S_OK;) {
        ComPtr<IPropertyBag> bag;
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void());
        VARIANT name;
        VariantInit(&name);
        if (bag && SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
            listed = listed || std::wstring(name.bstrVal) == L"Tavelin:qz Multiband";
        VariantClear(&name);
    }
    EXPECT_TRUE(listed) << "the filter mapper lists the filter for audio in and out";

    ComPtr<IBaseFilter> created;
    EXPECT_EQ(CoCreateInstance(qz::kCLSID_Filter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, created.put_void()),
              S_OK)
        << "created by class identifier once registered";
    created.reset();
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(CoCreateInstance(qz::kCLSID_PropertyPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                               page.put_void()),
              S_OK)
        << "the class GetPages names is created through COM";
    page.reset();

    ASSERT_EQ(RunRegsvr32(L"/u /s"), 0u) << "regsvr32 /u /s";
    EXPECT_FALSE(KeyExists(clsid));
    EXPECT_FALSE(KeyExists(pageClsid));
    EXPECT_FALSE(KeyExists(filterKey));
}

} // namespace
