// The automation object through its COM interfaces, as a host uses it, wired to a real
// engine: argument checks, time formats, parameter text, the gesture relay, the host's
// callback, and values reaching the engine's blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "EngineTestSupport.h"
#include "MediaParams.h"
#include "qz_guids.h"

namespace qz::test {
namespace {

constexpr DWORD kAll = 0xFFFFFFFFu;
constexpr REFERENCE_TIME kSecond = 10000000;

// An engine as the filter makes it, with its automation object and the default block.
class AutomatedEngine : public StandaloneEngine {
public:
    AutomatedEngine() : StandaloneEngine(&CMediaParams::Create)
    {
        ParamBlock defaults = DefaultParamBlock();
        ApplyParamBlock(&defaults);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        // The filter answers the automation interfaces with its automation object.
        CMediaParams* automation = static_cast<CMediaParams*>(Automation());
        if (iid == kIID_IMediaParams)
            *object = static_cast<IMediaParams*>(automation);
        else if (iid == kIID_IMediaParamInfo)
            *object = static_cast<IMediaParamInfo*>(automation);
        else if (iid == kIID_IMediaParamsSetUICallback)
            *object = static_cast<IMediaParamsSetUICallback*>(automation);
        else if (iid == kIID_IUnknown || iid == kIID_ITqPlugInProp)
            return StandaloneEngine::QueryInterface(kIID_ITqPlugInProp, object);
        else
            return StandaloneEngine::QueryInterface(iid, object);
        automation->AddRef();
        return S_OK;
    }
    CMediaParams& params() { return *static_cast<CMediaParams*>(Automation()); }
};

// A host's callback that records the gestures relayed to it.
class HostCallback final : public IMediaParamsUICallback {
public:
    LONG references = 1;
    std::vector<std::string> log;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE ParamsBeginCapture(DWORD* i, DWORD n) override { return Record("begin", i, n); }
    HRESULT STDMETHODCALLTYPE ParamsChanged(DWORD* i, DWORD n, MP_DATA*) override { return Record("changed", i, n); }
    HRESULT STDMETHODCALLTYPE ParamsEndCapture(DWORD* i, DWORD n) override { return Record("end", i, n); }

private:
    HRESULT Record(const char* what, DWORD* indices, DWORD count)
    {
        std::string entry = what;
        for (DWORD k = 0; k < count; ++k)
            entry += " " + std::to_string(indices[k]);
        log.push_back(entry);
        return S_OK;
    }
};

TEST(MediaParams, ArgumentErrorsOfEveryMethod)
{
    AutomatedEngine engine;
    CMediaParams& mp = engine.params();
    MP_DATA value;
    MP_PARAMINFO info;
    WCHAR* text;
    DWORD count;
    GUID format;
    MP_ENVELOPE_SEGMENT segment{0, kSecond, 0, 1, MP_CURVE_LINEAR, 0};
    EXPECT_EQ(mp.GetParamCount(&count), S_OK);
    EXPECT_EQ(count, 53u);
    EXPECT_EQ(mp.GetParamCount(nullptr), E_POINTER);
    EXPECT_EQ(mp.GetParam(53, &value), E_INVALIDARG);
    EXPECT_EQ(mp.GetParam(0, nullptr), E_POINTER);
    EXPECT_EQ(mp.SetParam(53, 0.5f), E_INVALIDARG);
    EXPECT_EQ(mp.GetParamInfo(53, &info), E_INVALIDARG);
    EXPECT_EQ(mp.GetParamInfo(0, nullptr), E_POINTER);
    EXPECT_EQ(mp.GetParamText(53, &text), E_INVALIDARG);
    EXPECT_EQ(mp.GetParamText(0, nullptr), E_POINTER);
    EXPECT_EQ(mp.AddEnvelope(53, 1, &segment), E_INVALIDARG);
    EXPECT_EQ(mp.AddEnvelope(0, 0, nullptr), S_OK) << "nothing to add";
    EXPECT_EQ(mp.AddEnvelope(0, 1, nullptr), E_POINTER);
    EXPECT_EQ(mp.AddEnvelope(0, 1u << 27, &segment), E_OUTOFMEMORY) << "a count that cannot be stored";
    EXPECT_EQ(mp.FlushEnvelope(53, 0, 1), E_INVALIDARG);
    EXPECT_EQ(mp.FlushEnvelope(0, 2, 1), E_INVALIDARG) << "start after end";
    EXPECT_EQ(mp.FlushEnvelope(0, 1, 1), S_OK);
    EXPECT_EQ(mp.SetTimeFormat(kTimeFormatReferenceTime, 0), S_OK);
    EXPECT_EQ(mp.SetTimeFormat(kIID_ITqPlugInProp, 0), E_INVALIDARG);
    EXPECT_EQ(mp.GetNumTimeFormats(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(mp.GetNumTimeFormats(nullptr), E_POINTER);
    EXPECT_EQ(mp.GetSupportedTimeFormat(1, &format), E_INVALIDARG);
    EXPECT_EQ(mp.GetSupportedTimeFormat(0, nullptr), E_POINTER);
    EXPECT_EQ(mp.GetSupportedTimeFormat(0, &format), S_OK);
    EXPECT_EQ(format, kTimeFormatReferenceTime);
    EXPECT_EQ(mp.GetCurrentTimeFormat(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(mp.GetCurrentTimeFormat(&format, nullptr), S_OK);
    EXPECT_EQ(mp.ParamsBeginCapture(nullptr, 1), E_POINTER);
}

TEST(MediaParams, AllParametersAtOnce)
{
    AutomatedEngine engine;
    MP_ENVELOPE_SEGMENT segment{0, kSecond, 0.25f, 0.25f, MP_CURVE_JUMP, 0};
    EXPECT_EQ(engine.params().AddEnvelope(kAll, 1, &segment), S_OK);
    for (int p = 0; p < kParamCount; ++p)
        EXPECT_EQ(engine.params().Envelope(p).Segments().size(), 1u) << p;
    EXPECT_EQ(engine.params().FlushEnvelope(kAll, std::numeric_limits<REFERENCE_TIME>::min(),
                                            std::numeric_limits<REFERENCE_TIME>::max()),
              S_OK);
    for (int p = 0; p < kParamCount; ++p)
        EXPECT_TRUE(engine.params().Envelope(p).Segments().empty()) << p;
}

TEST(MediaParams, SetAndGetInTheHostsRange)
{
    AutomatedEngine engine;
    MP_DATA value = 0;
    EXPECT_EQ(engine.params().SetParam(1, 0.75f), S_OK);
    engine.params().GetParam(1, &value);
    EXPECT_EQ(value, 0.75f);
    engine.params().SetParam(0, 0.4f);
    engine.params().GetParam(0, &value);
    EXPECT_EQ(value, 0.0f) << "the boolean Limiter";
    EXPECT_EQ(engine.params().TestAndClearChanged(), S_OK);
    EXPECT_EQ(engine.params().TestAndClearChanged(), S_FALSE);
}

TEST(MediaParams, ParamTextIsLabelThenThreeZeros)
{
    AutomatedEngine engine;
    WCHAR* text = nullptr;
    ASSERT_EQ(engine.params().GetParamText(25, &text), S_OK);
    const char expected[] = "Ratio 3\0\0\0";
    for (size_t k = 0; k < sizeof expected - 1; ++k)
        EXPECT_EQ(text[k], static_cast<WCHAR>(expected[k])) << "at " << k;
    CoTaskMemFree(text);
}

TEST(MediaParams, ParamInfoIsTheTablesRecord)
{
    AutomatedEngine engine;
    MP_PARAMINFO info;
    ASSERT_EQ(engine.params().GetParamInfo(5, &info), S_OK);
    EXPECT_EQ(std::memcmp(&info, &ParamInfo(5).info, sizeof info), 0);
    EXPECT_EQ(info.mpdNeutralValue, 0.40333334f);
}

// Calls through the vtable slots a host compiled against the Windows SDK uses:
// IUnknown's three, then GetParam, SetParam, AddEnvelope, FlushEnvelope, SetTimeFormat.
TEST(MediaParams, EachMethodSitsInTheSlotHostsCall)
{
    AutomatedEngine engine;
    IMediaParams* host = static_cast<IMediaParams*>(&engine.params());
    void** slots = *reinterpret_cast<void***>(host);
    using GetParamFn = HRESULT(STDMETHODCALLTYPE*)(IMediaParams*, DWORD, MP_DATA*);
    using SetParamFn = HRESULT(STDMETHODCALLTYPE*)(IMediaParams*, DWORD, MP_DATA);
    using AddEnvelopeFn = HRESULT(STDMETHODCALLTYPE*)(IMediaParams*, DWORD, DWORD, MP_ENVELOPE_SEGMENT*);
    using FlushEnvelopeFn = HRESULT(STDMETHODCALLTYPE*)(IMediaParams*, DWORD, REFERENCE_TIME, REFERENCE_TIME);
    using SetTimeFormatFn = HRESULT(STDMETHODCALLTYPE*)(IMediaParams*, GUID, MP_TIMEDATA);
    EXPECT_EQ(reinterpret_cast<SetParamFn>(slots[4])(host, 2, 0.25f), S_OK);
    MP_DATA value = 0;
    EXPECT_EQ(reinterpret_cast<GetParamFn>(slots[3])(host, 2, &value), S_OK);
    EXPECT_EQ(value, 0.25f) << "slot 3 is GetParam";
    MP_ENVELOPE_SEGMENT segment{0, kSecond, 0.1f, 0.1f, MP_CURVE_JUMP, 0};
    EXPECT_EQ(reinterpret_cast<AddEnvelopeFn>(slots[5])(host, 2, 1, &segment), S_OK);
    EXPECT_EQ(engine.params().Envelope(2).Segments().size(), 1u) << "slot 5 is AddEnvelope";
    EXPECT_EQ(reinterpret_cast<FlushEnvelopeFn>(slots[6])(host, 2, 0, kSecond), S_OK);
    EXPECT_TRUE(engine.params().Envelope(2).Segments().empty()) << "slot 6 is FlushEnvelope";
    EXPECT_EQ(reinterpret_cast<SetTimeFormatFn>(slots[7])(host, kIID_ITqPlugInProp, 0), E_INVALIDARG)
        << "slot 7 is SetTimeFormat";
}

TEST(MediaParams, UpdateToSampleEvaluatesAtTheSamplesTime)
{
    AutomatedEngine engine;
    CParamEnvelope& ratio = engine.params().Envelope(23);
    MP_ENVELOPE_SEGMENT segment{0, 2 * kSecond, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    engine.params().AddEnvelope(23, 1, &segment);
    engine.params().TestAndClearChanged();
    EXPECT_EQ(engine.params().UpdateToSample(44100), S_FALSE) << "the last envelope has no segments";
    EXPECT_EQ(ratio.LastTime(), kSecond);
    EXPECT_NEAR(ratio.CurrentValue(), 0.5f, 1e-6);
    EXPECT_EQ(engine.params().TestAndClearChanged(), S_OK) << "a value moved";
    engine.params().UpdateToSample(1);
    EXPECT_EQ(ratio.LastTime(), 227);

    MP_ENVELOPE_SEGMENT still{0, 2 * kSecond, 0.3f, 0.3f, MP_CURVE_LINEAR, 0};
    engine.params().FlushEnvelope(23, 0, 2 * kSecond);
    engine.params().AddEnvelope(23, 1, &still);
    engine.params().UpdateToSample(100);
    engine.params().TestAndClearChanged();
    engine.params().UpdateToSample(200);
    EXPECT_EQ(engine.params().TestAndClearChanged(), S_FALSE) << "a pass that moves nothing is no change";
}

TEST(MediaParams, HostSetParamReachesTheBlockAndTheEditorOnce)
{
    AutomatedEngine engine;
    const WAVEFORMATEX format = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    engine.QueryChanged();
    engine.SetChanged(FALSE);
    EXPECT_EQ(engine.QueryChanged(), S_FALSE);

    engine.params().SetParam(25, 0.5f);  // Ratio 3
    std::vector<float> buffer(2 * 64);
    LONG frames = 64;
    engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames);
    LONG ratio = 0;
    engine.GetRatio(&ratio, 2);
    EXPECT_EQ(ratio, 152);
    EXPECT_EQ(engine.QueryChanged(), S_OK);
    engine.SetChanged(FALSE);
    EXPECT_EQ(engine.QueryChanged(), S_FALSE) << "once";
    EXPECT_EQ(engine.params().SampleRate(), 44100);
}

TEST(MediaParams, EditorGesturesReachTheHostAndHoldTheEditorsValue)
{
    AutomatedEngine engine;
    HostCallback host;
    engine.params().SetUICallback(&host);
    EXPECT_EQ(host.references, 2);
    MP_ENVELOPE_SEGMENT segment{0, 10 * kSecond, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    engine.params().AddEnvelope(18, 1, &segment);  // Threshold 1

    engine.SetThreshold(-300, 0, TRUE);  // the editor drags Threshold 1 to -30 dB
    engine.params().UpdateToSample(5 * 44100);
    MP_DATA value = 0;
    engine.params().GetParam(18, &value);
    EXPECT_EQ(value, 0.5f) << "the editor's value, not the curve's";
    engine.EndCapture();
    engine.params().UpdateToSample(8 * 44100);
    engine.params().GetParam(18, &value);
    EXPECT_NEAR(value, 0.8f, 1e-6) << "the curve again after the gesture";
    EXPECT_EQ(host.log, (std::vector<std::string>{"begin 18", "changed 18", "end 18"}));

    // Replacing the callback releases the previous one exactly once.
    HostCallback other;
    engine.params().SetUICallback(&other);
    EXPECT_EQ(host.references, 1);
    engine.params().SetUICallback(nullptr);
    EXPECT_EQ(other.references, 1);
    EXPECT_EQ(engine.params().ParamsBeginCapture(nullptr, 0), S_OK) << "no callback: fine";
}

TEST(MediaParams, CaptureIndicesBeyondTheParametersNeverReachAnEnvelope)
{
    AutomatedEngine engine;
    DWORD indices[] = {53, 0xFFFFFFFFu, 3};
    EXPECT_EQ(engine.params().ParamsBeginCapture(indices, 3), S_OK);
    EXPECT_TRUE(engine.params().Envelope(3).IsCaptured());
    EXPECT_EQ(engine.params().ParamsEndCapture(indices, 3), S_OK);
    EXPECT_FALSE(engine.params().Envelope(3).IsCaptured());
    MP_DATA values[] = {0.1f, 0.2f, 0.3f};
    EXPECT_EQ(engine.params().ParamsChanged(indices, 3, values), E_INVALIDARG);
}

TEST(MediaParams, WhatAHostSetsIsUnsavedUntilASaveStoresIt)
{
    AutomatedEngine engine;
    auto save = [&] { engine.MarkSaved(engine.BlockForSaving()); };
    save();
    EXPECT_FALSE(engine.HasUnsavedChanges());
    engine.params().SetParam(1, 0.9f);
    EXPECT_TRUE(engine.HasUnsavedChanges()) << "a save now would store the new output gain";
    save();
    EXPECT_FALSE(engine.HasUnsavedChanges());
    engine.params().SetParam(1, 0.9f);
    EXPECT_FALSE(engine.HasUnsavedChanges()) << "the same value again";

    MP_ENVELOPE_SEGMENT ramp{0, kSecond, 0.0f, 1.0f, MP_CURVE_LINEAR, 0};
    engine.params().AddEnvelope(1, 1, &ramp);
    EXPECT_FALSE(engine.HasUnsavedChanges()) << "nothing moved yet";
    engine.params().UpdateToSample(22050);
    EXPECT_TRUE(engine.HasUnsavedChanges()) << "the envelope moved the value a save stores";
}

TEST(MediaParams, IdentityGoesThroughTheFilterAndOutlivesIt)
{
    LONG before = ModuleObjectCount();
    IMediaParams* kept = nullptr;
    {
        AutomatedEngine engine;
        EXPECT_EQ(ModuleObjectCount(), before + 1) << "the automation object counts as a live object";
        IUnknown* fromParams = nullptr;
        IUnknown* fromEngine = nullptr;
        ASSERT_EQ(engine.params().QueryInterface(kIID_IUnknown, reinterpret_cast<void**>(&fromParams)), S_OK);
        ASSERT_EQ(engine.QueryInterface(kIID_IUnknown, reinterpret_cast<void**>(&fromEngine)), S_OK);
        EXPECT_EQ(fromParams, fromEngine) << "one identity";
        ITqPlugInProp* prop = nullptr;
        EXPECT_EQ(engine.params().QueryInterface(kIID_ITqPlugInProp, reinterpret_cast<void**>(&prop)), S_OK)
            << "the filter's interfaces are reachable from the automation object";
        engine.params().AddRef();
        kept = &engine.params();
    }
    // The filter is gone; the host still holds IMediaParams.
    EXPECT_EQ(ModuleObjectCount(), before + 1);
    MP_DATA value = 0;
    EXPECT_EQ(kept->SetParam(1, 0.25f), S_OK);
    EXPECT_EQ(kept->GetParam(1, &value), S_OK);
    EXPECT_EQ(value, 0.25f);
    IMediaParamInfo* info = nullptr;
    EXPECT_EQ(kept->QueryInterface(kIID_IMediaParamInfo, reinterpret_cast<void**>(&info)), S_OK);
    ITqPlugInProp* prop = nullptr;
    EXPECT_EQ(kept->QueryInterface(kIID_ITqPlugInProp, reinterpret_cast<void**>(&prop)), E_NOINTERFACE)
        << "never the destroyed filter";
    info->Release();
    EXPECT_EQ(kept->Release(), 0u);
    EXPECT_EQ(ModuleObjectCount(), before);
}

} // namespace
} // namespace qz::test
