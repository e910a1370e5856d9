// The battery: the real qzMultibandDX.dll through COM in the system's filter graph, held
// to what plug-in validators check. Audio at every sample rate and buffer size, in every
// format, with signals that trouble DSP code; random automation while audio streams;
// the stored state's round trip; a comma-decimal locale; and the editor page opened
// and closed while audio streams, on real windows (the battery needs a display).
//
// The short version runs in `make test`; QZ_BATTERY=long (`make battery`) runs every
// combination and more random rounds, and prints a summary table.
#include "EditorTestSupport.h"
#include "FilterTestSupport.h"
#include "GdiLedger.h"
#include "TestFilters.h"

#include <gtest/gtest.h>

#include "ParamTable.h"
#include "qz_guids.h"

#include <evcode.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <atomic>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace {

using qz::ITqPlugInProp;

constexpr LONG kCompletionTimeoutMs = 120000;
constexpr double kCeiling = 0.9885531;  // the limiter's, -0.1 dB

bool LongRun()
{
    const char* mode = std::getenv("QZ_BATTERY");
    return mode != nullptr && std::strcmp(mode, "long") == 0;
}

// --- The summary table -------------------------------------------------------------------

struct Tally {
    long cases = 0;
    long long frames = 0;
    long failures = 0;
};
std::map<std::string, Tally> g_tally;

void Count(const std::string& check, long long frames, bool passed)
{
    Tally& t = g_tally[check];
    ++t.cases;
    t.frames += frames;
    t.failures += passed ? 0 : 1;
}

class SummaryTable : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::printf("\n%-34s %8s %14s %9s\n", "battery check", "cases", "frames", "failures");
        for (const auto& [check, t] : g_tally)
            std::printf("%-34s %8ld %14lld %9ld\n", check.c_str(), t.cases, t.frames, t.failures);
        std::printf("(%s version)\n", LongRun() ? "long" : "short");
    }
};
const auto* const g_summary = ::testing::AddGlobalTestEnvironment(new SummaryTable);

// --- Signals and formats -----------------------------------------------------------------

enum class Signal { Noise, Dc, Square, SilenceThenBurst, Subnormal, NonFinite, Extreme };
const Signal kSignals[] = {Signal::Noise,     Signal::Dc,       Signal::Square,   Signal::SilenceThenBurst,
                           Signal::Subnormal, Signal::NonFinite, Signal::Extreme};

const char* Name(Signal s)
{
    switch (s) {
    case Signal::Noise: return "noise";
    case Signal::Dc: return "DC";
    case Signal::Square: return "full-scale square";
    case Signal::SilenceThenBurst: return "silence, then a burst";
    case Signal::Subnormal: return "subnormal";
    case Signal::NonFinite: return "noise with NaN and infinities";
    case Signal::Extreme: return "noise with the format's largest values";
    }
    return "";
}

struct SampleFormat {
    WORD tag, bits, channels;
};
const SampleFormat kFormats[] = {{WAVE_FORMAT_PCM, 16, 1},        {WAVE_FORMAT_PCM, 16, 2},
                                 {WAVE_FORMAT_IEEE_FLOAT, 32, 1}, {WAVE_FORMAT_IEEE_FLOAT, 32, 2},
                                 {WAVE_FORMAT_IEEE_FLOAT, 64, 1}, {WAVE_FORMAT_IEEE_FLOAT, 64, 2}};
const DWORD kRates[] = {8000, 11025, 22050, 44100, 48000, 88200, 96000, 176400, 192000};
const int kBufferFrames[] = {1, 2, 17, 64, 511, 1024, 4096, 8192};

// One sample of the signal, full scale 1.0; for subnormal input the smallest values the
// format holds (16-bit PCM has none: its smallest step stands in).
double SignalSample(Signal s, const SampleFormat& f, size_t n, size_t frames, DWORD rate, std::minstd_rand& random)
{
    const double noise = std::uniform_real_distribution<double>(-1.0, 1.0)(random);
    switch (s) {
    case Signal::Noise: return noise;
    case Signal::Dc: return 1.0;
    case Signal::Square: return (n * 200 / rate) % 2 ? -1.0 : 1.0;  // 100 Hz
    case Signal::SilenceThenBurst: return n < frames * 3 / 4 ? 0.0 : noise;
    case Signal::Subnormal: {
        const double tiny = f.bits == 16 ? 1.0 / 32768 : f.bits == 32 ? 1e-40 : 1e-310;
        return n % 2 ? -tiny : tiny;
    }
    case Signal::NonFinite: {
        // Float streams only; 16-bit PCM cannot hold them and gets the noise alone.
        const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
        return n % 331 == 7 && f.bits != 16 ? bad[n % 3] : noise;
    }
    case Signal::Extreme: {
        // +-1e308 in 64-bit streams, the largest float in 32-bit ones, full scale in PCM.
        const double largest = f.bits == 16 ? 1.0 : f.bits == 32 ? std::numeric_limits<float>::max() : 1e308;
        return n % 97 == 5 ? (n % 2 ? -largest : largest) : noise;
    }
    }
    return 0.0;
}

std::vector<BYTE> MakeAudio(Signal s, const SampleFormat& f, size_t frames, DWORD rate)
{
    std::minstd_rand random(12345);
    std::vector<BYTE> bytes(frames * f.channels * f.bits / 8);
    for (size_t k = 0; k < frames * f.channels; ++k) {
        const double x = SignalSample(s, f, k / f.channels, frames, rate, random);
        if (f.bits == 16) {
            const int16_t v = static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, std::round(x * 32768))));
            std::memcpy(&bytes[k * 2], &v, 2);
        } else if (f.bits == 32) {
            const float v = static_cast<float>(x);
            std::memcpy(&bytes[k * 4], &v, 4);
        } else {
            std::memcpy(&bytes[k * 8], &x, 8);
        }
    }
    return bytes;
}

// The first sample the battery objects to, or an empty string: NaN, infinity, a
// subnormal number, or with the limiter on a sample above its ceiling.
std::string FirstDefect(const std::vector<BYTE>& bytes, const SampleFormat& f, bool limiterOn)
{
    const size_t count = bytes.size() / (f.bits / 8);
    for (size_t k = 0; k < count; ++k) {
        double x;
        if (f.bits == 16) {
            int16_t v;
            std::memcpy(&v, &bytes[k * 2], 2);
            if (limiterOn && std::abs(v) > static_cast<int>(kCeiling * 32768) + 1)
                return "sample " + std::to_string(k) + " = " + std::to_string(v) + " is above the ceiling";
            continue;
        }
        if (f.bits == 32) {
            float v;
            std::memcpy(&v, &bytes[k * 4], 4);
            if (std::fpclassify(v) == FP_SUBNORMAL)
                return "sample " + std::to_string(k) + " is a subnormal float";
            x = v;
        } else {
            std::memcpy(&x, &bytes[k * 8], 8);
            if (std::fpclassify(x) == FP_SUBNORMAL)
                return "sample " + std::to_string(k) + " is a subnormal double";
        }
        if (!std::isfinite(x))
            return "sample " + std::to_string(k) + " is " + std::to_string(x);
        if (limiterOn && std::fabs(x) > kCeiling * (1 + 1e-6))
            return "sample " + std::to_string(k) + " = " + std::to_string(x) + " is above the ceiling";
    }
    return "";
}

// --- One filter in the system's graph ----------------------------------------------------

// A fresh filter between the test's push source and a recording renderer, in a graph of
// the system's filter graph manager.
class Rig {
public:
    Rig(FilterServer& server, const SampleFormat& f, DWORD rate, const std::vector<BYTE>& audio, size_t bufferFrames)
        : m_type(AudioType(f.tag, f.channels, rate, f.bits))
    {
        filter = server.Create<IBaseFilter>(IID_IBaseFilter);
        prop = As<ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
        params = As<IMediaParams>(filter.get(), qz::kIID_IMediaParams);
        const size_t bufferBytes = bufferFrames * f.channels * f.bits / 8;
        std::vector<std::vector<BYTE>> buffers;
        for (size_t at = 0; at < audio.size(); at += bufferBytes)
            buffers.emplace_back(audio.begin() + at, audio.begin() + std::min(audio.size(), at + bufferBytes));
        source = ComPtr<CPushSource>(new CPushSource(m_type, buffers, false));
        sink = ComPtr<CRecordingSink>(new CRecordingSink());
    }

    // Connects and streams everything; answers whether the graph completed.
    ::testing::AssertionResult Run()
    {
        if (!graph.ok() || !filter || !prop || !params)
            return ::testing::AssertionFailure() << "no graph or no filter";
        graph.Add(source.get(), L"Source");
        graph.Add(filter.get(), L"qz:Multiband");
        graph.Add(sink.get(), L"Sink");
        HRESULT hr = graph.builder()->ConnectDirect(source->GetPin(0), FindPinByDirection(filter.get(), PINDIR_INPUT).get(),
                                                    nullptr);
        if (hr == S_OK)
            hr = graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), sink->GetPin(0),
                                                nullptr);
        if (hr != S_OK)
            return ::testing::AssertionFailure() << "connection: " << HrText(hr);
        hr = graph.control()->Run();
        if (FAILED(hr))
            return ::testing::AssertionFailure() << "run: " << HrText(hr);
        LONG code = 0;
        hr = graph.events()->WaitForCompletion(kCompletionTimeoutMs, &code);
        graph.control()->Stop();
        if (hr != S_OK || code != EC_COMPLETE)
            return ::testing::AssertionFailure() << "completion: " << HrText(hr) << ", event " << code;
        return ::testing::AssertionSuccess();
    }

    std::vector<BYTE> Output() { return sink->Recorded().data; }

    TestGraph graph;
    ComPtr<IBaseFilter> filter;
    ComPtr<ITqPlugInProp> prop;
    ComPtr<IMediaParams> params;
    ComPtr<CPushSource> source;
    ComPtr<CRecordingSink> sink;

private:
    CMediaType m_type;
};

class Battery : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }
    FilterServer server;
};

// --- Every rate, buffer size, format and signal ------------------------------------------

struct StreamCase {
    DWORD rate;
    int bufferFrames;
    SampleFormat format;
    Signal signal;
    bool limiterOn;
};

std::string Describe(const StreamCase& c)
{
    return std::to_string(c.rate) + " Hz, " + std::to_string(c.bufferFrames) + "-frame buffers, " +
           (c.format.bits == 16 ? "16-bit PCM" : c.format.bits == 32 ? "32-bit float" : "64-bit float") +
           (c.format.channels == 2 ? " stereo, " : " mono, ") + Name(c.signal) +
           (c.limiterOn ? ", limiter on" : ", limiter off");
}

// The long version: every combination. The short one: every rate with every buffer
// size, the formats and signals taking turns, the limiter now on and now off.
std::vector<StreamCase> StreamCases()
{
    std::vector<StreamCase> cases;
    for (size_t r = 0; r < std::size(kRates); ++r)
        for (size_t b = 0; b < std::size(kBufferFrames); ++b) {
            if (!LongRun()) {
                const size_t turn = r * std::size(kBufferFrames) + b;
                cases.push_back({kRates[r], kBufferFrames[b], kFormats[turn % std::size(kFormats)],
                                 kSignals[(r + b) % std::size(kSignals)], turn % 3 != 2});
                continue;
            }
            for (const SampleFormat& format : kFormats)
                for (Signal signal : kSignals)
                    for (bool limiterOn : {true, false})
                        cases.push_back({kRates[r], kBufferFrames[b], format, signal, limiterOn});
        }
    return cases;
}

TEST_F(Battery, EveryRateBufferSizeFormatAndSignalComesOutWholeAndClean)
{
    for (const StreamCase& c : StreamCases()) {
        SCOPED_TRACE(Describe(c));
        // A few buffers' worth, and enough frames for the detectors and the limiter.
        const size_t frames = std::max<size_t>(1500, 2 * static_cast<size_t>(c.bufferFrames) + 100);
        const std::vector<BYTE> audio = MakeAudio(c.signal, c.format, frames, c.rate);
        Rig rig(server, c.format, c.rate, audio, c.bufferFrames);
        ASSERT_TRUE(rig.prop);
        // Loud settings: +12 dB into a compressing band, so the limiter has work to do.
        rig.prop->SetLimiter(c.limiterOn, FALSE);
        rig.prop->SetOutputGain(120, FALSE);
        rig.prop->SetThreshold(-300, 1, FALSE);
        rig.prop->SetRatio(50, 1, FALSE);
        ASSERT_TRUE(rig.Run());
        const std::vector<BYTE> out = rig.Output();
        const std::string defect = FirstDefect(out, c.format, c.limiterOn);
        const bool whole = out.size() == audio.size();
        EXPECT_TRUE(whole) << out.size() << " bytes out of " << audio.size();
        EXPECT_EQ(defect, "");
        Count("stream: every frame, clean", static_cast<long long>(frames), whole && defect.empty());
    }
}

// --- Random automation while streaming ---------------------------------------------------

// What a careless host sends between 32-frame buffers: every parameter, in range, out
// of range or NaN; envelopes added and flushed, some of them nonsense; presets.
class RandomHost {
public:
    RandomHost(IMediaParams* params, IStaticFilterPreset* presets, unsigned seed, DWORD rate)
        : m_params(params), m_presets(presets), m_random(seed), m_rate(rate)
    {
    }

    void BeforeBuffer(size_t index)
    {
        for (DWORD p = 0; p < qz::kParamCount; ++p)
            m_params->SetParam(p, Value());
        const REFERENCE_TIME now = static_cast<REFERENCE_TIME>(index) * 32 * 10000000 / m_rate;
        if (index % 8 == 0) {
            MP_ENVELOPE_SEGMENT segments[3];
            const DWORD count = 1 + m_random() % 3;
            REFERENCE_TIME at = now + Between(-20000, 200000);
            for (DWORD s = 0; s < count; ++s) {
                const REFERENCE_TIME length = Between(-50000, 400000);  // some run backwards
                const MP_CURVE_TYPE curves[] = {MP_CURVE_JUMP, MP_CURVE_LINEAR, MP_CURVE_SQUARE,
                                                MP_CURVE_INVSQUARE, MP_CURVE_SINE, static_cast<MP_CURVE_TYPE>(3)};
                segments[s] = {at, at + length, Value(), Value(), curves[m_random() % 6], 0};
                at += length;
            }
            m_params->AddEnvelope(Index(), count, segments);
        }
        if (index % 13 == 0)
            m_params->FlushEnvelope(Index(), now + Between(-100000, 100000), now + Between(-100000, 300000));
        if (index % 97 == 0)
            m_presets->ApplyPreset(static_cast<LONG>(m_random() % 4) - 1);  // -1 and 2 do not exist
    }

private:
    MP_DATA Value()
    {
        const unsigned kind = m_random() % 10;
        if (kind < 7)
            return std::uniform_real_distribution<float>(0.0f, 1.0f)(m_random);
        if (kind < 9)
            return std::uniform_real_distribution<float>(-4.0f, 5.0f)(m_random);
        return std::numeric_limits<float>::quiet_NaN();
    }
    // A parameter index; now and then one that does not exist, or all of them.
    DWORD Index()
    {
        const unsigned pick = m_random() % 60;
        return pick < qz::kParamCount ? pick : pick < 58 ? 1000 : 0xFFFFFFFF;
    }
    REFERENCE_TIME Between(REFERENCE_TIME low, REFERENCE_TIME high)
    {
        return std::uniform_int_distribution<REFERENCE_TIME>(low, high)(m_random);
    }

    IMediaParams* m_params;
    IStaticFilterPreset* m_presets;
    std::mt19937 m_random;
    DWORD m_rate;
};

TEST_F(Battery, RandomAutomationWhileStreamingKeepsTheOutputFiniteAndTheParametersInRange)
{
    const int rounds = LongRun() ? 12 : 2;
    const size_t frames = LongRun() ? 32 * 2000 : 32 * 300;
    for (int round = 0; round < rounds; ++round) {
        const SampleFormat format = kFormats[(round * 5 + 3) % 6];
        const DWORD rate = kRates[(round * 4 + 3) % 9];
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << rate << " Hz, " << format.bits << "-bit, "
                                        << format.channels << " channel(s)");
        const std::vector<BYTE> audio = MakeAudio(Signal::Noise, format, frames, rate);
        Rig rig(server, format, rate, audio, 32);
        ASSERT_TRUE(rig.prop);
        ComPtr<IStaticFilterPreset> presets = As<IStaticFilterPreset>(rig.filter.get(), qz::kIID_IStaticFilterPreset);
        ASSERT_TRUE(presets);
        RandomHost host(rig.params.get(), presets.get(), 1000 + round, rate);
        rig.source->BeforeEachBuffer([&host](size_t index) { host.BeforeBuffer(index); });
        ASSERT_TRUE(rig.Run());

        const std::vector<BYTE> out = rig.Output();
        const std::string defect = FirstDefect(out, format, false);
        EXPECT_EQ(defect, "");
        // However the limiter was switched, every frame comes out.
        EXPECT_EQ(out.size(), audio.size());

        ComPtr<IMediaParamInfo> info = As<IMediaParamInfo>(rig.filter.get(), qz::kIID_IMediaParamInfo);
        bool inRange = true;
        for (DWORD p = 0; p < qz::kParamCount; ++p) {
            MP_PARAMINFO range{};
            MP_DATA value = -1;
            ASSERT_EQ(info->GetParamInfo(p, &range), S_OK);
            ASSERT_EQ(rig.params->GetParam(p, &value), S_OK);
            const bool ok = std::isfinite(value) && value >= range.mpdMinValue && value <= range.mpdMaxValue;
            EXPECT_TRUE(ok) << "parameter " << p << " ends at " << value;
            inRange = inRange && ok;
        }
        qz::ParamBlock block{};
        rig.prop->GetParamBlock(&block);
        for (int i = 0; i < qz::kBlockFieldCount; ++i) {
            const bool ok = qz::BlockField(i).clamp(block.field(i)) == block.field(i);
            EXPECT_TRUE(ok) << "block field " << i << " = " << block.field(i);
            inRange = inRange && ok;
        }
        Count("automation: finite, in range", static_cast<long long>(frames), defect.empty() && inRange);
    }
}

// --- The stored state --------------------------------------------------------------------

std::vector<BYTE> Saved(IBaseFilter* filter)
{
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (As<IPersistStream>(filter, IID_IPersistStream)->Save(stream.get(), TRUE) != S_OK)
        return {};
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream.get(), &memory);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(memory));
    std::vector<BYTE> saved(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return saved;
}

HRESULT Load(IBaseFilter* filter, const std::vector<BYTE>& bytes)
{
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return As<IPersistStream>(filter, IID_IPersistStream)->Load(stream.get());
}

TEST_F(Battery, SaveLoadSaveGivesTheSameBytesAndRefusedStreamsChangeNothing)
{
    const int rounds = LongRun() ? 400 : 40;
    std::mt19937 random(77);
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ComPtr<IBaseFilter> first = server.Create<IBaseFilter>(IID_IBaseFilter);
        ComPtr<IBaseFilter> second = server.Create<IBaseFilter>(IID_IBaseFilter);
        ASSERT_TRUE(first && second);
        ComPtr<IMediaParams> params = As<IMediaParams>(first.get(), qz::kIID_IMediaParams);
        for (DWORD p = 0; p < qz::kParamCount; ++p)
            params->SetParam(p, std::uniform_real_distribution<float>(0.0f, 1.0f)(random));

        const std::vector<BYTE> saved = Saved(first.get());
        ASSERT_EQ(saved.size(), 240u);
        ASSERT_EQ(Load(second.get(), saved), S_OK);
        const bool roundTrip = Saved(second.get()) == saved;
        EXPECT_TRUE(roundTrip) << "Save, Load, Save";

        // Streams it must refuse: cut short, or another filter's header.
        std::vector<BYTE> refused = saved;
        if (round % 2 == 0) {
            refused.resize(random() % 240);
        } else {
            for (int k = 0; k < 20; ++k)
                refused[k] = static_cast<BYTE>(random());
        }
        const HRESULT hr = Load(second.get(), refused);
        const bool unchanged = Saved(second.get()) == saved;
        if (hr != S_OK) {
            EXPECT_TRUE(unchanged) << "a refused stream of " << refused.size() << " bytes changed the settings";
        }
        // Whatever random header bytes are taken must hold a record the filter saves back.
        Count("state: round trip, refusals", 0, roundTrip && (hr == S_OK || unchanged));
    }
}

// --- A comma-decimal locale --------------------------------------------------------------

// Everything the filter tells a host and writes, for fixed settings and audio.
struct Observed {
    std::vector<std::wstring> texts;  // names, units and value texts of every parameter
    std::vector<MP_DATA> values;
    std::vector<BYTE> saved;
    std::vector<BYTE> audio;
};

Observed Observe(FilterServer& server)
{
    const SampleFormat format{WAVE_FORMAT_IEEE_FLOAT, 32, 2};
    const std::vector<BYTE> audio = MakeAudio(Signal::Noise, format, 6000, 44100);
    Rig rig(server, format, 44100, audio, 1024);
    Observed seen;
    if (!rig.params)
        return seen;
    for (DWORD p = 0; p < qz::kParamCount; ++p)
        rig.params->SetParam(p, 0.3f + 0.4f * static_cast<float>(p) / qz::kParamCount);
    ComPtr<IMediaParamInfo> info = As<IMediaParamInfo>(rig.filter.get(), qz::kIID_IMediaParamInfo);
    for (DWORD p = 0; p < qz::kParamCount; ++p) {
        MP_PARAMINFO i{};
        info->GetParamInfo(p, &i);
        seen.texts.push_back(i.szLabel);
        seen.texts.push_back(i.szUnitText);
        WCHAR* text = nullptr;
        if (info->GetParamText(p, &text) == S_OK && text != nullptr) {
            // A run of strings, ending with an empty one.
            for (const WCHAR* s = text; *s != 0; s += wcslen(s) + 1)
                seen.texts.push_back(s);
            CoTaskMemFree(text);
        }
        MP_DATA value = 0;
        rig.params->GetParam(p, &value);
        seen.values.push_back(value);
    }
    seen.saved = Saved(rig.filter.get());
    if (rig.Run())
        seen.audio = rig.Output();
    return seen;
}

TEST_F(Battery, ACommaDecimalLocaleChangesNothing)
{
    const Observed plain = Observe(server);
    ASSERT_FALSE(plain.audio.empty());
    const char* const locales[] = {"German_Germany.1252", "French_France.1252", "de-DE"};
    const char* chosen = nullptr;
    for (const char* name : locales)
        if ((chosen = std::setlocale(LC_ALL, name)) != nullptr)
            break;
    ASSERT_NE(chosen, nullptr) << "no comma-decimal locale here";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << chosen;
    const Observed comma = Observe(server);
    std::setlocale(LC_ALL, "C");

    EXPECT_EQ(comma.texts, plain.texts) << "names, units and value texts";
    EXPECT_EQ(comma.values, plain.values);
    EXPECT_EQ(comma.saved, plain.saved) << "the stored record";
    EXPECT_EQ(comma.audio, plain.audio);
    Count("locale: comma decimal", 6000,
          comma.texts == plain.texts && comma.values == plain.values && comma.saved == plain.saved &&
              comma.audio == plain.audio);
}

// --- The editor while streaming ----------------------------------------------------------

// Waits, pumping this thread's messages, until `done` answers true; false after a
// minute (a deadline against a hang, not a measurement).
template <class Done>
bool PumpUntilDone(Done done)
{
    for (int i = 0; i < 60000 && !done(); ++i) {
        PumpMessages();
        Sleep(1);
    }
    return done();
}

// The page of the real DLL (created by its class factory, connected with SetObjects,
// activated in a real window) on a fresh filter before it ever streamed, then opened
// and closed again and again while the filter streams: each opening overlaps its own
// stretch of the stream, the source waiting for the page before going on. Then once
// more after the stream. The stream comes out whole and clean, and nothing stays
// behind: no GDI object the DLL made, no window, no live object in the server.
TEST_F(Battery, TheEditorOpensColdWarmAndOverAndOverWhileStreamingAndLeavesNothingBehind)
{
    ASSERT_TRUE(InstallGdiCounters(Server().module())) << "the DLL's GDI calls are counted";
    HostWindow();
    PumpMessages();
    const std::set<HGDIOBJ> liveBefore = g_ledger.live;
    const long createdBefore = g_ledger.created;
    const int windowsBefore = ThreadWindowCount();

    // The first opening is the cold one; the others all open while the audio streams.
    const size_t openings = 1 + (LongRun() ? 100 : 20);
    const size_t buffersPerOpening = 4;
    const int bufferFrames = 256;
    const SampleFormat format{WAVE_FORMAT_IEEE_FLOAT, 32, 2};
    const size_t frames = (openings + 1) * buffersPerOpening * bufferFrames;
    const std::vector<BYTE> audio = MakeAudio(Signal::Noise, format, frames, 48000);
    {
        Rig rig(server, format, 48000, audio, bufferFrames);
        ASSERT_TRUE(rig.prop);
        rig.prop->SetThreshold(-300, 1, FALSE);  // gain reduction for the meters to show

        std::atomic<size_t> openingsDone{0};
        std::atomic<size_t> buffersReleased{0};
        std::atomic<bool> lockstepBroken{false};
        rig.source->BeforeEachBuffer([&](size_t index) {
            if (index % buffersPerOpening == 0) {
                const size_t needed = std::min(index / buffersPerOpening, openings);
                for (int i = 0; i < 60000 && openingsDone < needed; ++i)
                    Sleep(1);
                lockstepBroken = lockstepBroken || openingsDone < needed;
            }
            buffersReleased = index + 1;
        });

        std::optional<OpenPage> page;
        page.emplace(true, rig.filter.get());
        ASSERT_NE(page->window, nullptr) << "the cold opening";
        page->Tick();

        ::testing::AssertionResult streamed = ::testing::AssertionFailure() << "the stream did not run";
        std::thread streaming([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            streamed = rig.Run();
            CoUninitialize();
        });
        size_t pagesShown = 0;
        for (size_t opening = 0; opening < openings; ++opening) {
            if (opening > 0)
                page.emplace(opening % 2 == 1, rig.filter.get());
            // The stream is inside this opening's stretch while the page lives.
            const bool inStream = PumpUntilDone([&] { return buffersReleased > opening * buffersPerOpening; });
            EXPECT_TRUE(inStream) << "opening " << opening;
            pagesShown += page->window != nullptr && IsWindowVisible(page->window) ? 1 : 0;
            for (int tick = 0; tick < 3; ++tick) {
                page->Tick();
                PumpMessages();
            }
            page.reset();
            ++openingsDone;
        }
        streaming.join();
        EXPECT_TRUE(streamed);
        EXPECT_FALSE(lockstepBroken) << "every opening overlapped the stream";
        EXPECT_EQ(pagesShown, openings);

        const std::vector<BYTE> out = rig.Output();
        const std::string defect = FirstDefect(out, format, false);
        EXPECT_EQ(out.size(), audio.size()) << "every frame came out";
        EXPECT_EQ(defect, "");

        // Warm: on the filter that has streamed.
        page.emplace(false, rig.filter.get());
        EXPECT_NE(page->window, nullptr) << "the warm opening";
        page->Tick();
        page.reset();
        Count("editor: opened while streaming", static_cast<long long>(frames),
              streamed && !lockstepBroken && pagesShown == openings && out.size() == audio.size() && defect.empty());
    }
    PumpMessages();

    EXPECT_GE(g_ledger.created - createdBefore, static_cast<long>(openings) * 4) << "the pages' GDI objects counted";
    EXPECT_EQ(g_ledger.live, liveBefore) << "GDI objects left behind: "
                                         << static_cast<long>(g_ledger.live.size() - liveBefore.size());
    EXPECT_EQ(g_ledger.windowDcs, 0);
    EXPECT_EQ(g_ledger.deletedWhileSelected, 0);
    EXPECT_EQ(g_ledger.failedDeletes, 0);
    EXPECT_EQ(ThreadWindowCount(), windowsBefore);

    ReleasePageFactory();
    Server().ReleaseFactory();
    server.ReleaseFactory();
    EXPECT_EQ(server.CanUnloadNow(), S_OK) << "every page, filter and factory is gone";
}

} // namespace
