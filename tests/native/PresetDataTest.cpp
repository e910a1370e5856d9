// The preset data string: its exact layout, and reading it back whole or in part.
#include <gtest/gtest.h>

#include "PresetData.h"
#include "ParamTable.h"

namespace qz {
namespace {

TEST(PresetData, DefaultBlockHasTheDocumentedText)
{
    std::string band = "0,0,0,10,10,0,150,200,0";
    EXPECT_EQ(FormatPresetData(DefaultParamBlock()),
              "1,0,0,100,0,0,60,121,180,240, " + band + "," + band + "," + band + "," + band + "," + band);
}

TEST(PresetData, EveryFieldSurvivesTheRoundTrip)
{
    ParamBlock block{};
    for (int i = 0; i < kBlockFieldCount; ++i)
        block.field(i) = (i % 2 ? -1 : 1) * (i * 37 + 5);
    ParamBlock read{};
    EXPECT_EQ(ParsePresetData(FormatPresetData(block), read), kBlockFieldCount);
    EXPECT_EQ(read, block);
}

TEST(PresetData, WithoutTheSpaceOnlyTheGlobalValuesAreRead)
{
    ParamBlock block = DefaultParamBlock();
    EXPECT_EQ(ParsePresetData("0,7,-30,120,1,1,10,20,30,40,1,1,-100", block), 10);
    EXPECT_EQ(block.Limiter, 0);
    EXPECT_EQ(block.Spare1, 7);
    EXPECT_EQ(block.OutputGain, -30);
    EXPECT_EQ(block.Freq[3], 40);
    EXPECT_EQ(block.Solo[0], 0) << "band values are not read";
    EXPECT_EQ(block.Threshold[0], 0);
}

TEST(PresetData, MissingValuesLeaveTheirFieldsAlone)
{
    ParamBlock block = DefaultParamBlock();
    EXPECT_EQ(ParsePresetData("1,0,0,100,0,0,60,121,180,240, 1,0,-200,40", block), 14);
    EXPECT_EQ(block.Solo[0], 1);
    EXPECT_EQ(block.Threshold[0], -200);
    EXPECT_EQ(block.Ratio[0], 40);
    EXPECT_EQ(block.Knee[0], 10) << "not in the text: unchanged";
    EXPECT_EQ(block.Type[4], 0);

    ParamBlock untouched = DefaultParamBlock();
    EXPECT_EQ(ParsePresetData("garbage", untouched), 0);
    EXPECT_EQ(untouched, DefaultParamBlock());
}

} // namespace
} // namespace qz
