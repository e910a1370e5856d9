// The portable INI reader held to the system's private-profile functions, and hostile
// preset files through the manager: they load within the limits, and every preset of
// them applies without a value the engine would not hold.
#include "PresetTestSupport.h"

#include <random>

#include "IniText.h"
#include "ParamTable.h"
#include "PresetData.h"
#include "PresetReadingCases.h"
#include "StandaloneEngine.h"

namespace qz::test {
namespace {

using PresetFileSystemTest = PresetFilesTest;

// Every key of interest read both ways, from files that stretch the INI rules.
TEST_F(PresetFileSystemTest, IniTextReadsWhatTheSystemReads)
{
    const std::string files[] = {
        "[Plug-in]\r\nCLSID=abc\r\n[Preset1]\r\nVersion=3\r\nName=A\r\nBank=\r\nData=1,2\r\n",
        "  [Preset1]  \n  Version  =  3  \n\tName\t=\tspaced name\t\nData=\"quoted, with comma\"\nBank='b'\n",
        "[preset1]\nVERSION=3\nname=lower\nname=second\n[PRESET1]\nData=later section\n[Preset2]\nVersion\nName=x=y\n",
        "no section=1\n[Preset1]\nVersion=\"3\nName=\"\"\nData='\nBank=\"half'\n[Preset2]x\nVersion=2\n",
        "[Preset1]\nVersion=3\nName=" + std::string(300, 'n') + "\nData=" + std::string(5000, '9') + "\n",
        "\xEF\xBB\xBF[Preset1]\nVersion=3\nName=after a byte-order mark\n",
        "[Preset1]\r\nVersion=3\r\nName=no newline at the end",
        "[Plug-in]\n;CLSID=commented\nCLSID = x ; not a comment\n[Preset1]\nName=semi;colon\n",
        "[Preset1]\rVersion=3\rName=CR only\rData=1\r",
        "[Preset1]\r\nName=stray\rData=2\r\nBank=b\r\n",
        "[ Preset1 ]\r\nName=blanks in the brackets\r\n[Preset2 ]x\r\nName=y\r\n",
        test::Utf16("[Preset1]\r\nVersion=3\r\nName=B\xE4sse\r\nData=\"q\"\r\n", true),
        test::Utf16("[Preset1]\nName=big end\n[plug-IN]\nCLSID=\xFF\n", false),
        "\xEF\xBB\xBF[Preset1]\r\nName=B\xC3\xA4sse \xE2\x82\xAC\r\nData=\xC3\r\n",
        "[Preset1]\r\nName=B\xC3\xA4sse \x81\x8D\x90\x9D\r\n",
        "[Preset1]\r\nName=\"" + std::string(126, 'q') + "\"\r\nData=\"  " + std::string(200, 'd') + "  \"\r\n",
    };
    const char* sections[] = {"Plug-in", "Preset1", "Preset2", "preset1"};
    const char* keys[] = {"CLSID", "Version", "Name", "Bank", "Data", "no section", ";CLSID"};
    const std::string path = Path("rules.ini");
    int file = 0;
    for (const std::string& text : files) {
        WriteText(path, text);
        const IniText ini(text);
        for (const char* section : sections)
            for (const char* key : keys)
                for (size_t maxChars : {size_t{127}, size_t{4095}}) {
                    std::vector<char> buffer(maxChars + 1);
                    const DWORD length = GetPrivateProfileStringA(section, key, "<missing>", buffer.data(),
                                                                  static_cast<DWORD>(buffer.size()), path.c_str());
                    const std::string system(buffer.data(), length);
                    EXPECT_EQ(ini.Read(section, key, maxChars).value_or("<missing>"), system)
                        << "file " << file << " [" << section << "] " << key << " cut at " << maxChars;
                }
        ++file;
    }
}

// The system's own functions behind the preset file format's reading.
class SystemProfileReader final : public ProfileReader {
public:
    explicit SystemProfileReader(const std::string& path) : m_path(path) {}
    std::optional<std::string> Read(const std::string& section, const std::string& key,
                                    size_t maxChars) const override
    {
        std::vector<char> value(maxChars + 1);
        const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", value.data(),
                                                      static_cast<DWORD>(value.size()), m_path.c_str());
        if (length == 1 && value[0] == '\x01')
            return std::nullopt;
        return std::string(value.data(), length);
    }

private:
    std::string m_path;
};

// The files readers have disagreed about: the plug-in's manager, the system's profile
// functions and (in the native tests, from the same table) qzmb list the same presets.
TEST_F(PresetFileSystemTest, ThePlugInReadsWhatTheSystemAndQzmbRead)
{
    const std::string path = Path("reading.ini");
    for (const test::PresetReadingCase& c : test::PresetReadingCases(kTestClassKey)) {
        SCOPED_TRACE(c.what);
        WriteText(path, c.bytes);
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(path.c_str(), kTestClassKey, kStoreName);
        EXPECT_EQ(PresetLines(manager.Presets()), c.presets) << "the plug-in";
        PresetList system;
        for (const PresetSection& section : ReadPresetSections(SystemProfileReader(path)))
            if (section.isPreset()) {
                system.emplace_back();
                static_cast<PresetFields&>(system.back()) = section.fields;
            }
        SortPresets(system);
        EXPECT_EQ(PresetLines(system), c.presets) << "the system's functions";
    }
    EXPECT_TRUE(messages.shown.empty());
}

std::string Garbage(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Applies every preset's data to an engine and checks each field is in its range.
void ExpectEveryPresetApplies(const PresetList& presets)
{
    for (const PresetRecord& preset : presets) {
        StandaloneEngine engine;
        const ParamBlock defaults = DefaultParamBlock();
        engine.ApplyParamBlock(&defaults);
        ApplyPresetData(engine, preset.data);
        ParamBlock block{};
        engine.GetParamBlock(&block);
        for (int i = 0; i < kBlockFieldCount; ++i) {
            const ParamDef& field = BlockField(i);
            EXPECT_EQ(field.clamp(block.field(i)), block.field(i)) << preset.name.substr(0, 20) << ": " << field.label;
        }
    }
}

TEST_F(PresetFileSystemTest, HostileFilesLoadWithinTheLimitsAndApplySafely)
{
    const std::string identity = "[Plug-in]\r\nCLSID=" + std::string(kTestClassKey) + "\r\n";
    const std::string name4k(4096, 'N');
    const std::string full = FormatPresetData(DefaultParamBlock());
    struct Case {
        const char* what;
        std::string text;
        size_t presets;
    };
    const Case cases[] = {
        {"4 KB names and banks",
         identity + "[Preset1]\r\nVersion=3\r\nName=" + name4k + "\r\nBank=" + name4k + "\r\nData=" + full + "\r\n", 1},
        {"data strings with missing, extra and wrong numbers",
         StoreText(kTestClassKey, {{3, "few", "", "1,2"},
                                   {3, "many", "", full + ",1,2,3,4"},
                                   {3, "text", "", "a,b,c, d,e"},
                                   {3, "huge", "", "99999999999,-99999999999, 4294967096"},
                                   {3, "commas", "", ",,,,,,,,,, ,,,,"},
                                   {3, "empty", "", ""}}),
         6},
        {"binary garbage", Garbage(1 << 16, 1), 0},
        {"binary garbage after a good preset", StoreText(kTestClassKey, {{3, "good", "", full}}) + Garbage(1 << 16, 2), 1},
        {"a 10 MB file",
         identity + "[Preset1]\r\nVersion=3\r\nName=big\r\nBank=\r\nData=" + std::string(10 << 20, '5') +
             "\r\n[Preset2]\r\nVersion=3\r\nName=after\r\nData=1\r\n",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string store = Path("hostile.ini");
        WriteText(store, c.text);
        messages.shown.clear();
        PresetManager& manager = NewManager();
        manager.OpenPresetStore(store.c_str(), kTestClassKey, "hostile.ini");
        ASSERT_EQ(manager.Presets().size(), c.presets);
        for (const PresetRecord& preset : manager.Presets()) {
            EXPECT_LE(preset.name.size(), kPresetNameChars);
            EXPECT_LE(preset.bank.size(), kPresetNameChars);
            EXPECT_LE(preset.data.size(), kPresetDataChars);
        }
        ExpectEveryPresetApplies(manager.Presets());
        // And qzmb's reader sees the same presets.
        std::vector<PresetSection> portable = ReadPresetSections(IniText(c.text));
        size_t complete = 0;
        for (const PresetSection& section : portable)
            complete += section.isPreset();
        EXPECT_EQ(complete, c.presets);
    }
}

} // namespace
} // namespace qz::test
