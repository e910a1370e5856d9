// qzmb lv2-presets: a preset store as an LV2 preset bundle, read by lilv's tools and by
// jalv's preset list; nothing of an earlier bundle or of other folders is ever lost.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "Lv2TestHost.h"
#include "PresetData.h"
#include "QzmbTestSupport.h"
#include "HostTestSupport.h"
#include "StoredRecord.h"
#include "Turtle.h"

namespace qz::lv2test {
namespace {

TEST(Lv2Presets, StoreBecomesABundleWithBanksPortValuesAndRecords)
{
    ParamBlock soft = BusySettings();
    soft.Spare1 = 321;
    ParamBlock loud = DefaultParamBlock();
    loud.OutputGain = 120;
    loud.Threshold[4] = -450;
    // In a folder of its own, which LV2_PATH names below.
    const std::string folder = TempPath("presets"), store = TempPath("store.ini"), bundle = folder + "/user.lv2";
    RunShellCommand("rm -rf '" + folder + "' && mkdir '" + folder + "'");
    WriteText(store, PresetStoreText({{"Soft", "Drums", FormatPresetData(soft)},
                            {"Loud \"Bus\"", "", FormatPresetData(loud)},
                            {"Soft", "drums", "1,0,0,100"}}));
    const RunResult made = RunQzmb("lv2-presets '" + store + "' '" + bundle + "'");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_NE(made.output.find("3 presets in 1 bank"), std::string::npos) << made.output;
    EXPECT_NE(made.output.find("warning: preset \"drums / Soft\": no value for Spare2 .. Freq 4"), std::string::npos)
        << "an incomplete preset keeps the defaults, and says so: " << made.output;

    for (const char* file : {"/manifest.ttl", "/presets.ttl"}) {
        const RunResult checked = RunShellCommand("serdi -q -i turtle -o ntriples '" + bundle + file + "' >/dev/null");
        EXPECT_EQ(checked.exitCode, 0) << file << ": " << checked.output;
        EXPECT_EQ(checked.output, "") << file;
    }
    const std::string presets = ReadText(bundle + "/presets.ttl");
    EXPECT_NE(presets.find("rdfs:label \"Drums / Soft\""), std::string::npos);
    EXPECT_NE(presets.find("rdfs:label \"Loud \\\"Bus\\\"\""), std::string::npos);
    EXPECT_NE(presets.find("pset:bank <presets.ttl#bank/drums>"), std::string::npos);
    EXPECT_NE(presets.find(RecordBase64(soft)), std::string::npos) << "the record, spares included";
    EXPECT_NE(presets.find(RecordBase64(loud)), std::string::npos);

    // lilv finds them beside the plug-in, and jalv's preset list shows them.
    const RunResult info =
        RunWithBundle(std::string("lv2info ") + lv2::kStereoUri + " | grep -A6 Presets", folder);
    EXPECT_NE(info.output.find("Drums / Soft"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Loud \"Bus\""), std::string::npos) << info.output;
}

TEST(Lv2Presets, AnotherPlugInsStoreIsRefused)
{
    const std::string store = TempPath("other.ini"), bundle = TempPath("other.lv2");
    RunShellCommand("rm -rf '" + bundle + "'");
    WriteText(store, PresetStoreText({{"X", "", "1,0,0,100"}}, "SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000000}"));
    const RunResult made = RunQzmb("lv2-presets '" + store + "' '" + bundle + "'");
    EXPECT_EQ(made.exitCode, 1);
    EXPECT_NE(made.output.find("holds presets of another plug-in"), std::string::npos) << made.output;
    EXPECT_NE(access(bundle.c_str(), F_OK), 0) << "nothing written";
}

TEST(Lv2Presets, OnlyItsOwnBundleIsReplaced)
{
    const std::string store = TempPath("mine.ini"), bundle = TempPath("mine.lv2"), folder = TempPath("folder.lv2");
    RunShellCommand("rm -rf '" + bundle + "' '" + folder + "' && mkdir '" + folder + "' && echo keep > '" + folder + "/notes.txt'");
    WriteText(store, PresetStoreText({{"First", "", FormatPresetData(DefaultParamBlock())}}));
    ASSERT_EQ(RunQzmb("lv2-presets '" + store + "' '" + bundle + "'").exitCode, 0);
    WriteText(store, PresetStoreText({{"Second", "", FormatPresetData(BusySettings())}}));
    const RunResult again = RunQzmb("lv2-presets '" + store + "' '" + bundle + "'");
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_NE(ReadText(bundle + "/presets.ttl").find("\"Second\""), std::string::npos);
    EXPECT_EQ(ReadText(bundle + "/presets.ttl").find("\"First\""), std::string::npos);

    const RunResult refused = RunQzmb("lv2-presets '" + store + "' '" + folder + "'");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("not a preset bundle qzmb wrote"), std::string::npos) << refused.output;
    EXPECT_EQ(ReadText(folder + "/notes.txt"), "keep\n");
    const RunResult onFile = RunQzmb("lv2-presets '" + store + "' '" + store + "'");
    EXPECT_EQ(onFile.exitCode, 1) << "the store itself is not a bundle folder";
    EXPECT_NE(ReadText(store).find("Second"), std::string::npos);
}

// On a full disk the new bundle cannot be completed: the old one stays as it was and
// nothing is left behind.
TEST(Lv2Presets, AFullDiskLeavesTheOldBundle)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string disk = TempPath("smalldisk");
    RunShellCommand("mkdir -p '" + disk + "'");
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k"), 0) << "cannot mount a tmpfs";
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{disk};
    const std::string store = TempPath("full.ini"), bundle = disk + "/user.lv2";
    WriteText(store, PresetStoreText({{"Small", "", FormatPresetData(DefaultParamBlock())}}));
    ASSERT_EQ(RunQzmb("lv2-presets '" + store + "' '" + bundle + "'").exitCode, 0);
    const std::string before = ReadText(bundle + "/presets.ttl");
    std::vector<std::array<std::string, 3>> many;
    for (int i = 0; i < 60; ++i)
        many.push_back({"Preset " + std::to_string(i), "Bank", FormatPresetData(BusySettings())});
    WriteText(store, PresetStoreText(many));
    const RunResult full = RunQzmb("lv2-presets '" + store + "' '" + bundle + "'");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.output.find("cannot write the bundle"), std::string::npos) << full.output;
    EXPECT_EQ(ReadText(bundle + "/presets.ttl"), before);
    const RunResult listed = RunShellCommand("ls -A '" + disk + "'");
    EXPECT_NE(listed.output.find("user.lv2\n"), std::string::npos);
    EXPECT_EQ(listed.output.find("user.lv2."), std::string::npos) << "a half-written bundle was left: " << listed.output;
}

} // namespace
} // namespace qz::lv2test
