// qzmb and preset files: it lists what the plug-in lists, from the same table of files
// the plug-in is held to under Wine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "PresetFileFormat.h"
#include "PresetFiles.h"
#include "PresetReadingCases.h"
#include "QzmbTestSupport.h"
#include "StoredRecord.h"
#include "qz_guids.h"

namespace qz {
namespace {

TEST(QzmbPresetFile, ReadsWhatThePlugInReads)
{
    const std::string path = TempPath("reading.ini");
    for (const test::PresetReadingCase& c : test::PresetReadingCases(PresetClassKey(kCLSID_Filter))) {
        SCOPED_TRACE(c.what);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        std::string error;
        const cli::PresetFileContents contents = cli::ReadPresetFile(path, error);
        EXPECT_EQ(error, "");
        EXPECT_EQ(test::PresetLines(contents.presets), c.presets);
        EXPECT_TRUE(contents.notes.empty()) << contents.notes.front();
    }
    std::remove(path.c_str());
}

// Names differing only in case: the spelling given picks; otherwise the message says
// what to give.
TEST(QzmbPresetFile, TheExactSpellingPicksAmongNamesThatDifferInCase)
{
    const std::string ini = TempPath("case.ini"), record = TempPath("case.rec");
    {
        std::ofstream file(ini);
        file << "[Plug-in]\nCLSID=" << PresetClassKey(kCLSID_Filter) << "\n"
             << "[Preset1]\nVersion=3\nName=Snare\nBank=Drums\nData=1\n"
             << "[Preset2]\nVersion=3\nName=SNARE\nBank=Drums\nData=0\n"
             << "[Preset3]\nVersion=3\nName=Kick\nBank=Drums\nData=1\n"
             << "[Preset4]\nVersion=3\nName=Kick\nBank=drums\nData=0\n"
             << "[Preset5]\nVersion=3\nName=Pad\nBank=Keys\nData=1\n"
             << "[Preset6]\nVersion=3\nName=Pad\nBank=Keys\nData=0\n"
             << "[Preset7]\nVersion=3\nName=Twice\nBank=\nData=1\n"
             << "[Preset8]\nVersion=3\nName=Twice\nBank=\nData=1\n"
             << "[Preset9]\nVersion=3\nName=Hat\nBank=A\nData=1\n"
             << "[Preset10]\nVersion=3\nName=hat\nBank=B\nData=0\n";
    }
    struct Case {
        std::string choice;
        int limiter;       // the preset's first value, when one is chosen
        std::string says;  // the problem otherwise
    };
    const Case cases[] = {
        {"--preset Snare --bank Drums", 1, ""},
        {"--preset SNARE --bank Drums", 0, ""},
        {"--preset Snare", 1, ""},
        {"--preset snare --bank Drums",
         -1, "2 presets match \"snare\" only without regard to case (names \"Snare\", \"SNARE\", banks \"Drums\"); "
             "give the name and the bank in their exact case"},
        {"--preset Kick --bank drums", 0, ""},
        {"--preset Kick --bank DRUMS",
         -1, "2 presets match \"Kick\" only without regard to case (names \"Kick\", banks \"Drums\", \"drums\"); "
             "give the name and the bank in their exact case"},
        {"--preset Pad", -1,
         "2 presets in bank \"Keys\" are named exactly \"Pad\"; rename one of them in the plug-in's preset manager"},
        {"--preset twice", 1, ""},
        {"--preset HAT", -1, "2 presets are named \"HAT\" (in banks \"A\", \"B\"); choose one with --bank"},
        {"--preset HAT --bank b", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        std::remove(record.c_str());
        const RunResult run = RunQzmb("record " + record + " --preset-file " + ini + " " + c.choice);
        if (c.says.empty()) {
            ASSERT_EQ(run.exitCode, 0) << run.output;
            std::ifstream in(record, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), {});
            ASSERT_EQ(bytes.size(), kStoredRecordSize);
            uint8_t block[kStoredBlockSize];
            std::memcpy(block, bytes.data() + kStoredHeaderSize, sizeof block);
            EXPECT_EQ(ReadStoredBlock(block).Limiter, c.limiter);
        } else {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.output, "qzmb: " + c.says + " in " + ini + "\n");
        }
    }
    std::remove(ini.c_str());
    std::remove(record.c_str());
}

// A preset file gets the checks settings records get: a pipe is not waited on, a
// device or a file beyond the size limit is not read, a folder is not taken for a
// file. Each is one line, for listing and for choosing a preset alike. (The run is
// bounded in time and memory, as a qzmb without these checks would hang or fill it.)
TEST(QzmbPresetFile, WhatIsNoPresetFileGetsOneLine)
{
    const std::string fifo = TempPath("presets.fifo"), zero = TempPath("zero.ini"), folder = TempPath("folder.ini"),
                      huge = TempPath("huge.ini"), missing = TempPath("missing.ini"), record = TempPath("p.rec");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    {
        std::ofstream file(huge);
        file << "[Plug-in]\nCLSID=x\n";
    }
    ASSERT_EQ(truncate(huge.c_str(), (64 << 20) + 1), 0);
    struct Case {
        std::string path;
        std::string says;
    };
    const Case cases[] = {
        {fifo, "it is a pipe"},
        {zero, "it is a device"},
        {folder, "it is a folder"},
        {huge, "it is larger than 64 MB"},
        {missing, "No such file or directory"},
    };
    const std::string bounded = MemoryCap(1000) + "timeout 60 ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        for (const std::string& arguments :
             {"presets " + c.path, "record " + record + " --preset-file " + c.path + " --preset Any"}) {
            const RunResult run = RunQzmb(arguments, bounded);
            EXPECT_EQ(run.exitCode, 1) << run.output;
            EXPECT_EQ(run.output, "qzmb: cannot read the preset file " + c.path + ": " + c.says + "\n");
        }
    }
    EXPECT_NE(access(record.c_str(), F_OK), 0) << "nothing written";
    for (const std::string& path : {fifo, zero, huge})
        std::remove(path.c_str());
    rmdir(folder.c_str());
}

} // namespace
} // namespace qz
