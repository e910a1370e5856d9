// qzmb and preset files: it lists what the plug-in lists, from the same table of files
// the plug-in is held to under Wine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "PresetFileFormat.h"
#include "PresetFiles.h"
#include "PresetReadingCases.h"
#include "QzmbTestSupport.h"
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
    const std::string bounded = "ulimit -v 1000000; timeout 60 ";
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
