// qzmb and preset files: it lists what the plug-in lists, from the same table of files
// the plug-in is held to under Wine.
#include <gtest/gtest.h>

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

} // namespace
} // namespace qz
