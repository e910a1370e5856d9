// The DLL in the system's filter graph against the native engine: every case of the
// identity table (computed by the native build) is pushed through the filter in media
// samples of the case's size, and what reaches the renderer must be the native
// output, byte for byte, the end-of-stream flush included.
//
//   identity_tests <identity table file> [gtest options]
#include "FilterTestSupport.h"
#include "TestFilters.h"

#include <gtest/gtest.h>

#include "IdentityCases.h"
#include "qz_guids.h"

#include <objbase.h>

#include <algorithm>

namespace {

using qz::identity::IdentityCase;

std::string g_tablePath;

constexpr LONG kCompletionTimeoutMs = 60000;

// What the DLL's filter makes of the case's input in Wine's graph.
std::vector<BYTE> ThroughTheDll(FilterServer& server, const IdentityCase& c)
{
    TestGraph graph;
    ComPtr<IBaseFilter> filter = server.Create<IBaseFilter>(IID_IBaseFilter);
    ComPtr<qz::ITqPlugInProp> prop = As<qz::ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
    if (!graph.ok() || !prop) {
        ADD_FAILURE() << "no graph or no filter";
        return {};
    }
    qz::ParamBlock block = c.block;
    EXPECT_EQ(prop->ApplyParamBlock(&block), S_OK);

    std::vector<std::vector<BYTE>> buffers;
    const size_t bufferBytes = static_cast<size_t>(c.bufferFrames) * c.bytesPerFrame();
    for (size_t at = 0; at < c.input.size(); at += bufferBytes)
        buffers.emplace_back(c.input.begin() + at, c.input.begin() + std::min(c.input.size(), at + bufferBytes));
    ComPtr<CPushSource> source(
        new CPushSource(AudioType(c.formatTag, c.channels, c.sampleRate, c.bitsPerSample), buffers, false));
    ComPtr<CRecordingSink> sink(new CRecordingSink());
    EXPECT_EQ(graph.Add(source.get(), L"Source"), S_OK);
    EXPECT_EQ(graph.Add(filter.get(), L"qz:Multiband"), S_OK);
    EXPECT_EQ(graph.Add(sink.get(), L"Sink"), S_OK);
    HRESULT hr = graph.builder()->ConnectDirect(source->GetPin(0), FindPinByDirection(filter.get(), PINDIR_INPUT).get(),
                                                nullptr);
    EXPECT_EQ(hr, S_OK) << "into the filter: " << HrText(hr);
    hr = graph.builder()->ConnectDirect(FindPinByDirection(filter.get(), PINDIR_OUTPUT).get(), sink->GetPin(0), nullptr);
    EXPECT_EQ(hr, S_OK) << "out of the filter: " << HrText(hr);
    hr = graph.control()->Run();
    EXPECT_TRUE(SUCCEEDED(hr)) << HrText(hr);
    LONG code = 0;
    EXPECT_EQ(graph.events()->WaitForCompletion(kCompletionTimeoutMs, &code), S_OK) << "completion";
    graph.control()->Stop();
    return sink->Recorded().data;
}

TEST(Identity, TheDllComputesTheNativeEnginesBytes)
{
    std::vector<IdentityCase> cases;
    ASSERT_TRUE(qz::identity::ReadIdentityCases(g_tablePath, cases))
        << "cannot read the identity table \"" << g_tablePath << "\" (the native build writes it)";
    ASSERT_FALSE(cases.empty());
    FilterServer server;
    ASSERT_TRUE(server.ok());
    for (const IdentityCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<BYTE> produced = ThroughTheDll(server, c);
        EXPECT_EQ(produced.size(), c.output.size()) << "bytes delivered";
        const auto first = std::mismatch(produced.begin(), produced.end(), c.output.begin(), c.output.end());
        if (first.first != produced.end() && first.second != c.output.end()) {
            const size_t at = static_cast<size_t>(first.first - produced.begin());
            ADD_FAILURE() << "first difference at byte " << at << " (frame " << at / c.bytesPerFrame() << " of "
                          << c.output.size() / c.bytesPerFrame() << ")";
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: identity_tests <identity table file> [gtest options]\n");
        return 2;
    }
    g_tablePath = argv[1];
    // The multithreaded apartment, as a host's streaming code runs in.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
