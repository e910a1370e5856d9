// The parameter set: table layout, the two conversions and their rounding, and the
// physical meaning of engine values.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "ParamTable.h"
#include "ParamUnits.h"

namespace qz {
namespace {

TEST(ParamTable, EveryParameterSitsAtItsBlockFieldAndBack)
{
    int automatable = 0;
    for (int b = 0; b < kBlockFieldCount; ++b) {
        const ParamDef& def = BlockField(b);
        EXPECT_EQ(def.blockIndex, b) << def.label;
        if (def.paramIndex < 0)
            continue;
        ++automatable;
        EXPECT_EQ(Param(def.paramIndex).blockIndex, b) << def.label;
        EXPECT_EQ(FindParam(def.label), def.paramIndex) << def.label;
    }
    EXPECT_EQ(automatable, kParamCount);
    EXPECT_EQ(BlockField(BlockIndex::Spare1).paramIndex, -1);
    EXPECT_EQ(BlockField(BlockIndex::Spare2).paramIndex, -1);
    EXPECT_EQ(FindParam("Spare1"), -1);
    EXPECT_EQ(FindParam("Ratio 6"), -1);
}

TEST(ParamTable, IndicesLabelsAndBlockPositionsMatchTheLayout)
{
    struct Expected {
        int paramIndex;
        const char* label;
        int blockIndex;
    };
    const Expected cases[] = {
        {0, "Limiter", 0},       {1, "OutputGain", 2},   {2, "QFactor", 7},     {3, "TCR", 19},
        {4, "Freq 1", 3},        {7, "Freq 4", 6},       {8, "Solo 1", 8},      {12, "Solo 5", 12},
        {13, "Bypass 1", 13},    {17, "Bypass 5", 17},   {18, "Threshold 1", 20}, {22, "Threshold 5", 24},
        {23, "Ratio 1", 25},     {27, "Ratio 5", 29},    {28, "Knee 1", 30},    {33, "Gain 1", 35},
        {38, "Attack 1", 40},    {43, "Release 1", 45},  {47, "Release 5", 49}, {48, "Type 1", 50},
        {52, "Type 5", 54},
    };
    for (const Expected& c : cases) {
        EXPECT_STREQ(Param(c.paramIndex).label, c.label) << "parameter " << c.paramIndex;
        EXPECT_EQ(Param(c.paramIndex).blockIndex, c.blockIndex) << c.label;
    }
}

TEST(ParamTable, DefaultBlockIsTheTransparentStartingSetup)
{
    ParamBlock d = DefaultParamBlock();
    EXPECT_EQ(d.Limiter, 1);
    EXPECT_EQ(d.Spare1, 0);
    EXPECT_EQ(d.OutputGain, 0);
    EXPECT_EQ(d.Freq[0], 60);
    EXPECT_EQ(d.Freq[1], 121);
    EXPECT_EQ(d.Freq[2], 180);
    EXPECT_EQ(d.Freq[3], 240);
    EXPECT_EQ(d.QFactor, 100);
    EXPECT_EQ(d.TCR, 0);
    for (int b = 0; b < kBandCount; ++b) {
        EXPECT_EQ(d.Solo[b], 0);
        EXPECT_EQ(d.Bypass[b], 0);
        EXPECT_EQ(d.Threshold[b], 0);
        EXPECT_EQ(d.Ratio[b], 10) << "ratio 1.0:1 in every band";
        EXPECT_EQ(d.Knee[b], 10);
        EXPECT_EQ(d.Gain[b], 0);
        EXPECT_EQ(d.Attack[b], 150);
        EXPECT_EQ(d.Release[b], 200);
        EXPECT_EQ(d.Type[b], 0);
    }
}

TEST(ParamTable, InformationRecordsDescribeEveryParameterToHosts)
{
    for (int p = 0; p < kParamCount; ++p) {
        const ParamInfoRecord& r = ParamInfo(p);
        const ParamDef& def = Param(p);
        bool onOff = def.kind != ParamKind::Scaled;
        EXPECT_EQ(r.info.mpType, onOff ? MPT_BOOL : MPT_FLOAT) << def.label;
        EXPECT_EQ(r.info.mopCaps, 1u) << def.label;
        EXPECT_EQ(r.info.mpdMinValue, 0.0f) << def.label;
        EXPECT_EQ(r.info.mpdMaxValue, 1.0f) << def.label;
        EXPECT_EQ(r.info.szUnitText[0], 0) << def.label;
        EXPECT_EQ(r.internalMin, 0.0f) << def.label;
        EXPECT_EQ(r.internalMax, 1.0f) << def.label;
        EXPECT_EQ(r.enumText, nullptr) << def.label;
        size_t length = std::strlen(def.label);
        for (size_t c = 0; c <= length; ++c)
            EXPECT_EQ(r.info.szLabel[c], static_cast<WCHAR>(def.label[c])) << def.label << " at " << c;
    }
    // Neutral values are what hosts are told, and not the defaults.
    EXPECT_EQ(ParamInfo(0).info.mpdNeutralValue, 1.0f);
    EXPECT_EQ(ParamInfo(1).info.mpdNeutralValue, 0.5f);
    EXPECT_EQ(ParamInfo(5).info.mpdNeutralValue, 0.40333334f);
    EXPECT_EQ(ParamInfo(18).info.mpdNeutralValue, 1.0f);
    EXPECT_EQ(ParamInfo(25).info.mpdNeutralValue, 0.5f);
    EXPECT_EQ(ParamInfo(30).info.mpdNeutralValue, 0.3f);
    EXPECT_EQ(ParamInfo(40).info.mpdNeutralValue, 0.4f);
    EXPECT_EQ(ParamInfo(45).info.mpdNeutralValue, 0.05f);
    EXPECT_EQ(ToEngine(23, ParamInfo(23).info.mpdNeutralValue), 152) << "neutral ratio is 15.2:1";
    EXPECT_EQ(ToEngine(43, ParamInfo(43).info.mpdNeutralValue), 201) << "neutral release is 201 ms";
}

TEST(ParamConversion, EveryEngineValueSurvivesTheRoundTrip)
{
    for (int p = 0; p < kParamCount; ++p) {
        const ParamDef& def = Param(p);
        for (int32_t n = def.minimum(); n <= def.maximum(); ++n) {
            float v = ToNormalized(p, n);
            ASSERT_GE(v, 0.0f) << def.label << " " << n;
            ASSERT_LE(v, 1.0f) << def.label << " " << n;
            ASSERT_EQ(ToEngine(p, v), n) << def.label << " " << n << " via " << v;
        }
    }
}

TEST(ParamConversion, NormalizedValuesFollowEachParametersScale)
{
    EXPECT_EQ(ToNormalized(1, -240), 0.0f);
    EXPECT_EQ(ToNormalized(1, 120), 0.75f);
    EXPECT_EQ(ToNormalized(2, 150), 1.0f);
    EXPECT_EQ(ToNormalized(4, 60), 0.2f);
    EXPECT_EQ(ToNormalized(5, 121), 0.40333334f);
    EXPECT_EQ(ToNormalized(18, -300), 0.5f);
    EXPECT_EQ(ToNormalized(23, 152), static_cast<float>(148.0 / 296.0));
    EXPECT_EQ(ToNormalized(43, 4000), 1.0f);
    EXPECT_EQ(ToNormalized(43, 1), 0.0f);
    EXPECT_EQ(ToNormalized(8, 1), 1.0f);
}

TEST(ParamConversion, SwitchesTurnOnAtOneHalfOrOnlyAboveIt)
{
    EXPECT_EQ(ToEngine(0, 0.5f), 1) << "Limiter";
    EXPECT_EQ(ToEngine(3, 0.5f), 1) << "TCR";
    EXPECT_EQ(ToEngine(0, 0.49999994f), 0) << "Limiter just below one half";
    EXPECT_EQ(ToEngine(0, 0.49999997f), 1) << "the single-precision sum rounds up to 1";
    for (int p : {8, 12, 13, 17, 48, 52}) {
        EXPECT_EQ(ToEngine(p, 0.5f), 0) << Param(p).label;
        EXPECT_EQ(ToEngine(p, 0.50000006f), 1) << Param(p).label;
    }
}

TEST(ParamConversion, SinglePrecisionRoundingCases)
{
    EXPECT_EQ(ToEngine(43, 1.0f), 4000) << "Release at 1.0";
    EXPECT_EQ(ToEngine(43, 0.0f), 1) << "Release at 0.0";
    EXPECT_EQ(ToEngine(4, 0.2f), 60) << "Freq 1 neutral";
    EXPECT_EQ(units::FrequencyHz(60), 80);
    EXPECT_EQ(ToEngine(5, 0.40333334f), 121) << "Freq 2 neutral";
    EXPECT_EQ(units::FrequencyHz(121), 324);
    EXPECT_EQ(ToEngine(28, 0.3f), 9) << "Knee neutral 0.3 is 9 dB";
    EXPECT_EQ(ToEngine(38, 0.4f), 1600) << "Attack neutral 0.4 is 160 ms";
    // 0.5 x 3999 + 1 + 0.5 = 2001 exactly: the half-step rounds up.
    EXPECT_EQ(ToEngine(43, 0.5f), 2001);
}

TEST(ParamConversion, AutomationOutsideTheRangeIsBroughtBackInto)
{
    EXPECT_EQ(ToEngine(23, 7.0f), 300) << "Ratio above 1.0";
    EXPECT_EQ(ToEngine(23, -3.0f), 4) << "Ratio below 0.0";
    EXPECT_EQ(ToEngine(43, std::numeric_limits<float>::quiet_NaN()), 1) << "Release from NaN";
    EXPECT_EQ(ToEngine(1, std::numeric_limits<float>::infinity()), 240) << "OutputGain from +inf";
    EXPECT_EQ(ToEngine(13, 2.0f), 1) << "Bypass above 1.0";
}

TEST(ParamUnits, PhysicalMeaningsOfEngineValues)
{
    EXPECT_EQ(units::FrequencyHz(0), 20);
    EXPECT_EQ(units::FrequencyHz(100), 200);
    EXPECT_EQ(units::FrequencyHz(200), 2000);
    EXPECT_EQ(units::FrequencyHz(300), 20000);
    EXPECT_EQ(units::FrequencyHz(180), 1262);
    EXPECT_EQ(units::FrequencyHz(240), 5024);
    EXPECT_NEAR(units::OutputGainFactor(240), 15.848931924611133, 1e-12);
    EXPECT_NEAR(units::ThresholdLinear(-200), 0.1, 1e-15);
    EXPECT_EQ(units::MakeupFactor(0), 1.0);
    EXPECT_EQ(units::QualityFactor(100), 1.0);
    EXPECT_EQ(units::RatioValue(4), 0.4);
    EXPECT_NEAR(units::KneeFactor(20), 0.1, 1e-15);
    EXPECT_EQ(units::KneeFactor(0), 1.0);
    EXPECT_EQ(units::AttackMs(150), 15.0);
    EXPECT_EQ(units::ReleaseMs(200), 200.0);
}

TEST(ParamTable, FieldsClampToTheirRange)
{
    struct Case {
        int blockIndex;
        int32_t value;
        int32_t stored;
    };
    const Case cases[] = {
        {BlockIndex::Ratio, 2, 4},          {BlockIndex::Knee, -5, 0},
        {BlockIndex::Release, 0, 1},        {BlockIndex::Freq + 3, 301, 300},
        {BlockIndex::Threshold, 10, 0},     {BlockIndex::Limiter, -3, 0},
        {BlockIndex::Solo + 2, 7, 1},       {BlockIndex::Spare1, 5000, 4096},
        {BlockIndex::Spare2, 2, 1},         {BlockIndex::OutputGain, -241, -240},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BlockField(c.blockIndex).clamp(c.value), c.stored) << BlockField(c.blockIndex).label;
}

} // namespace
} // namespace qz
