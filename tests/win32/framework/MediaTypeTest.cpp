// CMediaType owns its format block and its pUnk reference; the free helpers follow
// the AM_MEDIA_TYPE ownership rules.

#include "MediaType.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <uuids.h>

namespace {

// Counts references so that the tests can see who holds pUnk.
class CountedUnknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown)
            return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    ULONG references = 1;
};

TEST(MediaType, CopiesOwnTheirFormatBlockAndAReferenceOnPUnk)
{
    CountedUnknown unknown;
    CMediaType original = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    original.pUnk = &unknown;
    unknown.AddRef();
    {
        CMediaType copy(original);
        EXPECT_TRUE(copy == original);
        EXPECT_NE(copy.pbFormat, original.pbFormat);
        EXPECT_EQ(copy.cbFormat, sizeof(WAVEFORMATEX));
        EXPECT_EQ(unknown.references, 3u);

        CMediaType assigned;
        EXPECT_FALSE(assigned.IsValid());
        assigned = copy;
        EXPECT_TRUE(assigned == original);
        EXPECT_EQ(unknown.references, 4u);
    }
    EXPECT_EQ(unknown.references, 2u) << "each copy released its reference";

    AM_MEDIA_TYPE* handedOut = CreateMediaType(&original);
    ASSERT_NE(handedOut, nullptr);
    EXPECT_EQ(unknown.references, 3u);
    DeleteMediaType(handedOut);
    EXPECT_EQ(unknown.references, 2u);

    original.Clear();
    EXPECT_EQ(unknown.references, 1u);
    EXPECT_FALSE(original.IsValid());
    EXPECT_EQ(original.pbFormat, nullptr);
    EXPECT_EQ(original.cbFormat, 0u);
}

TEST(MediaType, EqualityLooksAtTypesAndFormatBytes)
{
    const CMediaType pcm = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    EXPECT_TRUE(pcm == AudioType(WAVE_FORMAT_PCM, 2, 44100, 16));
    EXPECT_FALSE(pcm == AudioType(WAVE_FORMAT_PCM, 2, 48000, 16)) << "another sample rate";
    EXPECT_FALSE(pcm == AudioType(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32)) << "another subtype";
}

TEST(MediaType, PartialTypesMatchOnWhatTheyGive)
{
    const CMediaType pcm = AudioType(WAVE_FORMAT_PCM, 2, 44100, 16);
    CMediaType partial;
    EXPECT_TRUE(pcm.MatchesPartial(partial)) << "all wildcards";
    EXPECT_FALSE(CMediaType::IsComplete(partial));
    partial.majortype = MEDIATYPE_Audio;
    EXPECT_TRUE(pcm.MatchesPartial(partial));
    partial.subtype = MEDIASUBTYPE_IEEE_FLOAT;
    EXPECT_FALSE(pcm.MatchesPartial(partial)) << "another subtype";
    partial.subtype = MEDIASUBTYPE_PCM;
    partial.formattype = FORMAT_WaveFormatEx;
    EXPECT_TRUE(pcm.MatchesPartial(partial)) << "format type without a format block";
    EXPECT_TRUE(CMediaType::IsComplete(partial));

    const CMediaType otherRate = AudioType(WAVE_FORMAT_PCM, 2, 48000, 16);
    EXPECT_FALSE(pcm.MatchesPartial(otherRate)) << "a format block must match byte for byte";
    EXPECT_TRUE(pcm.MatchesPartial(pcm));
}

} // namespace
