// The preset data string: its exact layout, reading it back whole or in part, hostile
// text, the locale, and applying it to the engine through its setters.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

#include "EngineTestSupport.h"
#include "ParamTable.h"
#include "PresetData.h"

namespace qz {
namespace {

const std::string kDefaultBand = "0,0,0,10,10,0,150,200,0";
const std::string kDefaultText = "1,0,0,100,0,0,60,121,180,240, " + kDefaultBand + "," + kDefaultBand + "," +
                                 kDefaultBand + "," + kDefaultBand + "," + kDefaultBand;

// A block whose every field differs from the default and from its neighbours.
ParamBlock DistinctBlock()
{
    ParamBlock block{};
    for (int i = 0; i < kBlockFieldCount; ++i)
        block.field(i) = (i % 2 ? -1 : 1) * (i * 37 + 5);
    return block;
}

TEST(PresetData, DefaultBlockHasTheDocumentedText)
{
    EXPECT_EQ(FormatPresetData(DefaultParamBlock()), kDefaultText);
}

TEST(PresetData, EveryFieldSurvivesTheRoundTripEvenAtTheIntegerLimits)
{
    ParamBlock block = DistinctBlock();
    block.OutputGain = INT32_MIN;
    block.Release[4] = INT32_MAX;
    ParamBlock read{};
    const PresetDataReading reading = ParsePresetData(FormatPresetData(block), read);
    EXPECT_TRUE(reading.complete());
    EXPECT_TRUE(reading.notNumbers.none());
    EXPECT_EQ(read, block);
}

using ReadValues = std::vector<std::pair<int, int32_t>>;  // text position, value

// Values read from consecutive text positions, starting at `first`.
ReadValues ValuesFrom(int first, std::initializer_list<int32_t> values)
{
    ReadValues read;
    for (int32_t value : values)
        read.emplace_back(first++, value);
    return read;
}

ReadValues operator+(ReadValues a, const ReadValues& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Which values a string yields; every other field must keep its value.
struct PartialCase {
    const char* what;
    std::string text;
    ReadValues read;
    std::vector<int> notNumbers;  // text positions marked as text where a number belongs
    bool hasBandValues;
};

TEST(PresetData, MissingOrNonNumericValuesLeaveTheirFieldsAlone)
{
    const ReadValues defaultGlobals = ValuesFrom(0, {1, 0, 0, 100, 0, 0, 60, 121, 180, 240});
    const PartialCase cases[] = {
        {"no space after the tenth value: global values only", "0,7,-30,120,1,1,10,20,30,40,1,1,-100",
         ValuesFrom(0, {0, 7, -30, 120, 1, 1, 10, 20, 30, 40}), {}, false},
        {"too few band values", "1,0,0,100,0,0,60,121,180,240, 1,0,-200,40", defaultGlobals + ValuesFrom(10, {1, 0, -200, 40}),
         {}, true},
        {"too few global values", "0,7,-30", ValuesFrom(0, {0, 7, -30}), {}, false},
        {"text after a number", "1,0,0,100,0,0,60,121,180,240, 1,0,-200abc,40",
         defaultGlobals + ValuesFrom(10, {1, 0}) + ValuesFrom(13, {40}), {12}, true},
        {"a number beyond 32 bits", "1,0,0,100,0,0,60,121,180,240, 1,0,4294967096,40",
         defaultGlobals + ValuesFrom(10, {1, 0}) + ValuesFrom(13, {40}), {12}, true},
        {"an empty value", "0,,-30,120,1,1,10,20,30,40", ValuesFrom(0, {0}) + ValuesFrom(2, {-30, 120, 1, 1, 10, 20, 30, 40}), {1},
         false},
        {"text among the global values", "0,x,-30,120,1,1,10,20,30,40",
         ValuesFrom(0, {0}) + ValuesFrom(2, {-30, 120, 1, 1, 10, 20, 30, 40}), {1}, false},
        {"blanks around numbers and a plus sign; the band values follow the first space character",
         "1,\t+2\t,3,4,5,6,7,8,9,10, 11 , -12", ValuesFrom(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -12}), {}, true},
        {"the lowest 32-bit number", "-2147483648", ValuesFrom(0, {INT32_MIN}), {}, false},
        {"a zero byte ends the text", std::string("5,6\0" "7,8", 7), ValuesFrom(0, {5, 6}), {}, false},
        {"nothing at all", "", {}, {}, false},
    };
    for (const PartialCase& c : cases) {
        SCOPED_TRACE(c.what);
        const ParamBlock before = DistinctBlock();
        ParamBlock block = before;
        const PresetDataReading reading = ParsePresetData(c.text, block);
        EXPECT_EQ(reading.hasBandValues, c.hasBandValues);
        std::bitset<kBlockFieldCount> expectedRead, expectedText;
        ParamBlock expected = before;
        for (const auto& [position, value] : c.read) {
            expected.field(PresetDataField(position)) = value;
            expectedRead.set(position);
        }
        for (int position : c.notNumbers)
            expectedText.set(position);
        // Listed positions hold their values; every position not read keeps its own.
        for (int position = 0; position < kBlockFieldCount; ++position) {
            const int field = PresetDataField(position);
            const int32_t wanted = reading.taken.test(position) ? expected.field(field) : before.field(field);
            EXPECT_EQ(block.field(field), wanted) << "position " << position;
        }
        EXPECT_EQ(reading.taken, expectedRead);
        EXPECT_EQ(reading.notNumbers, expectedText);
    }
}

TEST(PresetData, ValuesAfterTheLastAreIgnored)
{
    ParamBlock block = DistinctBlock();
    EXPECT_TRUE(ParsePresetData(kDefaultText + ",99,98", block).complete());
    EXPECT_EQ(block, DefaultParamBlock());
}

// A host may run with a comma as its decimal separator; the strings must not change.
TEST(PresetData, TheLocaleChangesNothing)
{
    const char* const commaLocales[] = {"de_DE.UTF-8", "German_Germany.1252", "German", "fr_FR.UTF-8"};
    std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* name : commaLocales)
        if (std::setlocale(LC_ALL, name) != nullptr) {
            chosen = name;
            break;
        }
    if (chosen == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed here";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const ParamBlock block = DistinctBlock();
    const std::string text = FormatPresetData(block);
    ParamBlock read{};
    const bool complete = ParsePresetData(text, read).complete();
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_STREQ(probe, "1,5") << chosen << " is a decimal-comma locale";
    EXPECT_TRUE(complete);
    EXPECT_EQ(read, block);
    EXPECT_EQ(text, FormatPresetData(block)) << "formatted in " << chosen << " as in C";
}

TEST(PresetData, ApplyingSetsTheReadValuesThroughTheClampingSetters)
{
    test::TestEngine engine;
    engine.automation().take();
    ParamBlock wanted = DefaultParamBlock();
    wanted.Threshold[2] = -300;
    wanted.Ratio[4] = 40;
    wanted.Freq[0] = 50;
    std::string text = FormatPresetData(wanted);
    text.replace(text.find("-300"), 4, "-300x");  // Threshold 3 stays as it is
    wanted.Threshold[2] = 0;
    // 99999 is far above the Release range; the setter brings it to the limit.
    const size_t lastRelease = text.rfind("200");
    text.replace(lastRelease, 3, "99999");

    const PresetDataReading reading = ApplyPresetData(engine, text);
    EXPECT_EQ(reading.taken.count(), 54u);
    ParamBlock now{};
    engine.GetParamBlock(&now);
    wanted.Release[4] = BlockField(BlockIndex::Release + 4).maximum();
    EXPECT_EQ(now, wanted);
    EXPECT_EQ(ProducePresetData(engine), FormatPresetData(wanted));

    // With notify, every setter reports its parameter to the automation object.
    const std::vector<test::AutomationCall> calls = engine.automation().take();
    int setParams = 0;
    for (const test::AutomationCall& call : calls)
        setParams += call.kind == test::AutomationCall::SetParam;
    EXPECT_EQ(setParams, kParamCount - 1) << "all parameters but Threshold 3 (the spare fields have none)";
}

} // namespace
} // namespace qz
