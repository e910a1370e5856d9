// The COM side of the framework: aggregation through CUnknown, the class factory
// and its template table, the module counts behind DllCanUnloadNow, and
// registration in the registry and with the system's filter mapper.

#include "ClassFactory.h"
#include "Registration.h"
#include "TestFilters.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <uuids.h>

#include <new>

namespace {

// An object that aggregates a filter: it answers IUnknown itself and hands every
// other request to the filter's non-delegating IUnknown.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }

    ULONG references = 1;
    IUnknown* inner = nullptr;
};

// {5B8E0F33-8D1C-4A27-9E60-3F2C7D4B1A95}
const CLSID kFailingClsid = {0x5b8e0f33, 0x8d1c, 0x4a27, {0x9e, 0x60, 0x3f, 0x2c, 0x7d, 0x4b, 0x1a, 0x95}};

CUnknown* CALLBACK CreateHalving(LPUNKNOWN outer, HRESULT* result)
{
    return new (std::nothrow) CHalvingFilter(outer, result);
}

// Builds an object but reports a failure, as a filter whose parts failed does.
CUnknown* CALLBACK CreateFailing(LPUNKNOWN outer, HRESULT* result)
{
    *result = E_ACCESSDENIED;
    return new (std::nothrow) CHalvingFilter(outer, result);
}

const CFactoryTemplate kTemplates[] = {
    {L"qz framework test: halving", &CHalvingFilter::kClsid, CreateHalving, &CHalvingFilter::kSetup},
    {L"qz framework test: failing", &kFailingClsid, CreateFailing, nullptr},
};

ComPtr<IClassFactory> Factory(REFCLSID clsid)
{
    ComPtr<IClassFactory> factory;
    HRESULT hr = framework::GetClassObject(kTemplates, 2, clsid, IID_IClassFactory, factory.put_void());
    EXPECT_EQ(hr, S_OK) << "GetClassObject(" << GuidText(clsid) << "): " << HrText(hr);
    return factory;
}

TEST(Aggregation, InterfacesDelegateToTheOuterObject)
{
    Outer outer;
    HRESULT hr = S_OK;
    auto* filter = new CHalvingFilter(&outer, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(filter->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    EXPECT_EQ(outer.references, 1u) << "the inner IUnknown counts on the filter, not on the outer object";

    ComPtr<IBaseFilter> base;
    ASSERT_EQ(outer.QueryInterface(IID_IBaseFilter, base.put_void()), S_OK);
    EXPECT_EQ(outer.references, 2u) << "an interface of the filter counts on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(base->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "IUnknown through the filter is the outer object";
    identity->Release();
    ComPtr<IPin> pin;
    ASSERT_EQ(base->FindPin(L"Input", pin.put()), S_OK);
    EXPECT_EQ(outer.references, 3u) << "pins count on their filter's owner";
    pin.reset();
    base.reset();
    EXPECT_EQ(outer.references, 1u);

    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE);
    outer.inner->Release();
    EXPECT_EQ(framework::CanUnloadNow(), S_OK) << "releasing the inner IUnknown destroyed the filter";
}

TEST(ClassFactory, GetClassObjectFindsTheTemplateOfTheClass)
{
    void* object = reinterpret_cast<void*>(0x1);
    CLSID unknown;
    ASSERT_EQ(CoCreateGuid(&unknown), S_OK);
    EXPECT_EQ(framework::GetClassObject(kTemplates, 2, unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(framework::GetClassObject(kTemplates, 2, CHalvingFilter::kClsid, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(framework::GetClassObject(kTemplates, 2, CHalvingFilter::kClsid, IID_IClassFactory, nullptr), E_POINTER);

    ComPtr<IUnknown> unknownFactory;
    ASSERT_EQ(framework::GetClassObject(kTemplates, 2, CHalvingFilter::kClsid, IID_IUnknown,
                                        unknownFactory.put_void()),
              S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(unknownFactory->QueryInterface(IID_IClassFactory, factory.put_void()), S_OK);
}

TEST(ClassFactory, CreateInstanceMakesTheTemplatesObject)
{
    ComPtr<IClassFactory> factory = Factory(CHalvingFilter::kClsid);
    ASSERT_TRUE(factory);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.put_void()), S_OK);
    CLSID clsid;
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CHalvingFilter::kClsid);
    ComPtr<IAMovieSetup> setup;
    EXPECT_EQ(filter->QueryInterface(IID_IAMovieSetup, setup.put_void()), S_OK);
    ComPtr<IPersist> persist;
    EXPECT_EQ(filter->QueryInterface(IID_IPersist, persist.put_void()), S_OK);

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPin, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ClassFactory, AnAggregatingCallerMustAskForIUnknown)
{
    ComPtr<IClassFactory> factory = Factory(CHalvingFilter::kClsid);
    ASSERT_TRUE(factory);
    Outer outer;
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(outer.QueryInterface(IID_IBaseFilter, filter.put_void()), S_OK);
    filter.reset();
    outer.inner->Release();
    EXPECT_EQ(outer.references, 1u);
}

TEST(ClassFactory, AFailedCreationDiscardsTheObject)
{
    ComPtr<IClassFactory> factory = Factory(kFailingClsid);
    ASSERT_TRUE(factory);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, &object), E_ACCESSDENIED);
    EXPECT_EQ(object, nullptr);
    factory.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_OK) << "the object of the failed creation is gone";
}

TEST(ModuleCounts, LiveObjectsAndServerLocksPreventUnloading)
{
    ASSERT_EQ(framework::CanUnloadNow(), S_OK) << "a previous test left an object alive";

    ComPtr<IClassFactory> factory = Factory(CHalvingFilter::kClsid);
    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE) << "a class factory is alive";
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE) << "the server is locked";
    factory = Factory(CHalvingFilter::kClsid);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_OK) << "unlocked, nothing alive";

    ComPtr<CHalvingFilter> filter(new CHalvingFilter);
    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE) << "a filter is alive";
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.put()), S_OK);
    filter.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_FALSE) << "the enumerator keeps its filter";
    pins.reset();
    EXPECT_EQ(framework::CanUnloadNow(), S_OK);
}

// ---------------------------------------------------------------- registration

std::wstring ClassKey(REFCLSID clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

std::wstring FilterInstanceKey(REFCLSID clsid)
{
    wchar_t category[40], filter[40];
    StringFromGUID2(CLSID_LegacyAmFilterCategory, category, 40);
    StringFromGUID2(clsid, filter, 40);
    return std::wstring(L"CLSID\\") + category + L"\\Instance\\" + filter;
}

bool KeyExists(const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A string value of HKEY_CLASSES_ROOT\path; "(missing)" when there is none.
std::wstring StringValue(const std::wstring& path, const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"(missing)";
    wchar_t text[MAX_PATH] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t), type = 0;
    LONG error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(key);
    return error == ERROR_SUCCESS && type == REG_SZ ? text : L"(missing)";
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoCreateGuid(&clsid_), S_OK); }
    void TearDown() override { framework::UnregisterServer(clsid_); }

    AMOVIESETUP_FILTER Setup() const
    {
        AMOVIESETUP_FILTER setup = CHalvingFilter::kSetup;
        setup.clsID = &clsid_;
        return setup;
    }

    CLSID clsid_{};
};

TEST_F(Registration, ServerKeysNameTheClassAndTheModule)
{
    ASSERT_EQ(framework::RegisterServer(clsid_, L"qz framework test", L"C:\\filters\\test.dll"), S_OK);
    EXPECT_EQ(StringValue(ClassKey(clsid_), nullptr), L"qz framework test");
    EXPECT_EQ(StringValue(ClassKey(clsid_) + L"\\InprocServer32", nullptr), L"C:\\filters\\test.dll");
    EXPECT_EQ(StringValue(ClassKey(clsid_) + L"\\InprocServer32", L"ThreadingModel"), L"Both");

    EXPECT_EQ(framework::UnregisterServer(clsid_), S_OK);
    EXPECT_FALSE(KeyExists(ClassKey(clsid_)));
    EXPECT_EQ(framework::UnregisterServer(clsid_), S_OK) << "unregistering what is not there";
}

TEST_F(Registration, FilterMapper2RecordsTheFilterInTheLegacyCategory)
{
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               mapper.put_void()),
              S_OK);
    const AMOVIESETUP_FILTER setup = Setup();
    ASSERT_EQ(framework::RegisterFilter(mapper.get(), setup, true), S_OK);
    EXPECT_EQ(StringValue(FilterInstanceKey(clsid_), L"FriendlyName"), setup.strName);
    EXPECT_EQ(framework::RegisterFilter(mapper.get(), setup, true), S_OK) << "registering again replaces";

    EXPECT_EQ(framework::RegisterFilter(mapper.get(), setup, false), S_OK);
    EXPECT_FALSE(KeyExists(FilterInstanceKey(clsid_)));
    EXPECT_EQ(framework::RegisterFilter(mapper.get(), setup, false), S_OK) << "unregistering what is not there";
}

TEST_F(Registration, LegacyFilterMapperRecordsTheFilterAndItsPins)
{
    ComPtr<IFilterMapper> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                               mapper.put_void()),
              S_OK);
    const AMOVIESETUP_FILTER setup = Setup();
    ASSERT_EQ(framework::RegisterFilter(mapper.get(), setup, true), S_OK);
    wchar_t text[40];
    StringFromGUID2(clsid_, text, 40);
    EXPECT_EQ(StringValue(std::wstring(L"Filter\\") + text, nullptr), setup.strName);
    EXPECT_TRUE(KeyExists(ClassKey(clsid_) + L"\\Pins\\Input"));
    EXPECT_TRUE(KeyExists(ClassKey(clsid_) + L"\\Pins\\Output"));

    EXPECT_EQ(framework::RegisterFilter(mapper.get(), setup, false), S_OK);
    EXPECT_FALSE(KeyExists(std::wstring(L"Filter\\") + text));
    EXPECT_EQ(framework::RegisterFilter(mapper.get(), setup, false), S_OK) << "unregistering what is not there";
}

TEST_F(Registration, TemplatesRegisterServerAndFilterAndUnregisterBoth)
{
    const AMOVIESETUP_FILTER setup = Setup();
    const CFactoryTemplate table[] = {{L"qz framework test", &clsid_, CreateHalving, &setup}};
    ASSERT_EQ(framework::RegisterTemplates(table, 1, nullptr), S_OK);

    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(StringValue(ClassKey(clsid_) + L"\\InprocServer32", nullptr), program);
    EXPECT_EQ(StringValue(FilterInstanceKey(clsid_), L"FriendlyName"), setup.strName);

    EXPECT_EQ(framework::UnregisterTemplates(table, 1), S_OK);
    EXPECT_FALSE(KeyExists(ClassKey(clsid_)));
    EXPECT_FALSE(KeyExists(FilterInstanceKey(clsid_)));
}

TEST_F(Registration, AFilterRegistersItselfThroughIAMovieSetup)
{
    ComPtr<CHalvingFilter> filter(new CHalvingFilter);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter->QueryInterface(IID_IAMovieSetup, setup.put_void()), S_OK);
    ASSERT_EQ(setup->Register(), S_OK);
    EXPECT_EQ(StringValue(FilterInstanceKey(CHalvingFilter::kClsid), L"FriendlyName"),
              CHalvingFilter::kSetup.strName);
    EXPECT_EQ(setup->Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(FilterInstanceKey(CHalvingFilter::kClsid)));

    ComPtr<CRecordingSink> sink(new CRecordingSink);
    ASSERT_EQ(sink->QueryInterface(IID_IAMovieSetup, setup.put_void()), S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE) << "a filter without a registration record";
}

} // namespace
