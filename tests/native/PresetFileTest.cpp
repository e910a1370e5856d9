// Preset files without the system: the list's order, ids and file names, the identity,
// and hostile files through the INI reader the command-line tools use. The reader's
// rules are held to the system's own functions by the preset tests under Wine.
#include <gtest/gtest.h>

#include <random>

#include "IniText.h"
#include "PresetFileFormat.h"
#include "PresetList.h"
#include "PresetReadingCases.h"

namespace qz {
namespace {

PresetRecord Preset(const std::string& name, const std::string& bank, int id = 0)
{
    PresetRecord record;
    record.name = name;
    record.bank = bank;
    record.id = id;
    return record;
}

std::vector<std::string> Names(const PresetList& list)
{
    std::vector<std::string> names;
    for (const PresetRecord& record : list)
        names.push_back(record.bank + "/" + record.name);
    return names;
}

TEST(PresetList, SortsNamedBanksWithoutCaseThenTheRootPresets)
{
    PresetList list = {Preset("Zed", ""), Preset("b2", "beta"), Preset("a", "Alpha"), Preset("B1", "beta"),
                       Preset("Air", ""), Preset("same", "BETA", 1), Preset("Same", "beta", 2)};
    SortPresets(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Alpha/a", "beta/B1", "beta/b2", "BETA/same", "beta/Same",
                                                     "/Air", "/Zed"}));
    EXPECT_EQ(list[3].id, 1) << "equal keys keep their order";
}

TEST(PresetList, BlankNamesAreNoNames)
{
    for (const std::string name : {"", " ", "\t \r\n\v\f", "\x1a"})
        EXPECT_TRUE(IsBlankName(name)) << name;
    for (const std::string name : {"a", " a ", "\xa0"})
        EXPECT_FALSE(IsBlankName(name)) << name;
}

TEST(PresetList, FileNamesLoseTheCharactersAFileNameCannotHold)
{
    const std::pair<std::string, std::string> cases[] = {
        {"qz:Multiband", "qz_Multiband"},
        {"Drums", "Drums"},
        {"a b*c?d<e>f:g\\h\"i/j|k\tl\rm\nn", "a_b_c_d_e_f_g_h_i_j_k_l_m_n"},
        {"Bässe & Höhen (2)", "Bässe_&_Höhen_(2)"},
        {"NUL.ini", "NUL_.ini"},
        {"aux.ini", "aux_.ini"},
        {"Com1.bank.ini", "Com1_.bank.ini"},
        {"lpt9", "lpt9_"},
        {"con .ini", "con_.ini"},
        {"Console.ini", "Console.ini"},
        {"COM10.ini", "COM10.ini"},
    };
    for (const auto& [name, sanitized] : cases) {
        std::string text = name;
        SanitizeFileName(text);
        EXPECT_EQ(text, sanitized);
    }
}

TEST(PresetList, NamesCompareWithoutCase)
{
    EXPECT_TRUE(SameText("Drums", "dRUMS"));
    EXPECT_FALSE(SameText("Drums", "Drum"));
    EXPECT_FALSE(SameText("Ä", "ä")) << "bytes beyond ASCII compare as they are";
}

std::string Section(int number, const std::string& body) { return "[Preset" + std::to_string(number) + "]\n" + body; }

TEST(PresetFile, IdentityAndClassKey)
{
    const GUID clsid = {0x12345678, 0x9abc, 0xdef0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};
    EXPECT_EQ(PresetClassKey(clsid), "SOFTWARE\\Classes\\CLSID\\{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    EXPECT_EQ(ReadPresetFileIdentity(IniText("[Plug-in]\nCLSID=x\n")), "x");
    EXPECT_EQ(ReadPresetFileIdentity(IniText("[Preset1]\nCLSID=x\n")), "");
    EXPECT_EQ(ReadPresetFileIdentity(IniText("[Plug-in]\nCLSID=" + std::string(300, 'c'))), std::string(99, 'c'));
}

// Files nobody should write load anyway, without overflow, within the limits.
TEST(PresetFile, HostileFilesLoadWithinTheLimits)
{
    const std::string longName(4096, 'N');
    std::string huge = "[Plug-in]\nCLSID=x\n" + Section(1, "Version=3\nName=" + longName + "\nBank=" + longName +
                                                          "\nData=" + std::string(10 << 20, '7') + "\n") +
                       Section(2, "Version=3\nName=After\nData=1\n");
    ASSERT_GE(huge.size(), 10u << 20);
    std::vector<PresetSection> sections = ReadPresetSections(IniText(huge));
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].fields.name, std::string(127, 'N'));
    EXPECT_EQ(sections[0].fields.bank, std::string(127, 'N'));
    EXPECT_EQ(sections[0].fields.data.size(), 4095u);
    EXPECT_EQ(sections[1].fields.name, "After");

    std::mt19937 random(12);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    garbage += "\n" + Section(1, "Version=3\nName=Kept\nData=\x01\x02\xff\n");
    sections = ReadPresetSections(IniText(garbage));
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].fields.name, "Kept");
    EXPECT_EQ(sections[0].fields.data, "\x01\x02\xff");
}

// The presets of a file as the reader gives them, in the plug-in's order.
PresetList ReadPresets(const std::string& bytes)
{
    PresetList presets;
    for (const PresetSection& section : ReadPresetSections(IniText(bytes)))
        if (section.isPreset()) {
            PresetRecord record;
            static_cast<PresetFields&>(record) = section.fields;
            presets.push_back(record);
        }
    SortPresets(presets);
    return presets;
}

TEST(IniText, ReadsLineEndsAndEncodingsAsTheProfileFunctionsDo)
{
    for (const test::PresetReadingCase& c : test::PresetReadingCases("x")) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::PresetLines(ReadPresets(c.bytes)), c.presets);
        EXPECT_EQ(ReadPresetFileIdentity(IniText(c.bytes)), "x");
    }
}

std::string Bytes(const IniText& ini, IniText::Span span) { return ini.bytes().substr(span.begin, span.end - span.begin); }

// Every byte of the file belongs to the preamble or to exactly one section, and a
// section's keys know their lines.
TEST(IniText, KnowsTheBytesOfEverySectionAndKey)
{
    const std::string text = "\xEF\xBB\xBF; a comment\r\nstray=1\r\n[A]\r\nk = v \r\n\r\n  [ B ] trailing\nx\rY=2";
    const IniText ini(text);
    EXPECT_EQ(ini.encoding(), IniEncoding::Utf8);
    EXPECT_EQ(Bytes(ini, ini.preamble()), "\xEF\xBB\xBF; a comment\r\nstray=1\r\n");
    ASSERT_EQ(ini.sections().size(), 2u);
    const IniText::Section& a = ini.sections()[0];
    const IniText::Section& b = ini.sections()[1];
    EXPECT_EQ(ini[a.name], "A");
    EXPECT_EQ(Bytes(ini, a.bytes), "[A]\r\nk = v \r\n\r\n");
    EXPECT_EQ(Bytes(ini, a.header), "[A]\r\n");
    ASSERT_EQ(a.keyCount, 1u);
    EXPECT_EQ(ini[ini.key(a, 0).name], "k");
    EXPECT_EQ(ini[ini.key(a, 0).value], "v");
    EXPECT_EQ(Bytes(ini, ini.key(a, 0).bytes), "k = v \r\n\r\n");
    EXPECT_EQ(ini[b.name], "B");
    EXPECT_EQ(Bytes(ini, b.bytes), "  [ B ] trailing\nx\rY=2");
    ASSERT_EQ(b.keyCount, 2u);
    EXPECT_FALSE(ini.key(b, 0).hasValue) << "a line without = is a key without a value";
    EXPECT_EQ(ini.Read("b", "y", 10), "2");
    EXPECT_EQ(ini.Read("", "stray", 10), std::nullopt) << "keys before the first section belong to none";
    EXPECT_EQ(&*ini.FindSection("a"), &a);
    EXPECT_EQ(ini.FindKey(b, "Z"), nullptr);
}

TEST(IniText, UnitsOfUtf16AreWholeAndTheirTextIsAnsi)
{
    std::string text = test::Utf16("[S]\nName=\xE9t\xE9\n", true);
    text += std::string("\x3B\x26", 2);  // U+263B, beyond the ANSI code page
    text += "\x01";                          // half a unit
    const IniText ini(text);
    EXPECT_EQ(ini.encoding(), IniEncoding::Utf16LE);
    EXPECT_EQ(ini.Read("S", "Name", 99), "\xE9t\xE9");
    ASSERT_EQ(ini.sections().size(), 1u);
    EXPECT_EQ(ini.sections()[0].bytes.end, text.size() - 1) << "the odd byte is no text";
    ASSERT_EQ(ini.sections()[0].keyCount, 2u);
    EXPECT_EQ(ini[ini.key(ini.sections()[0], 1).name], "?");
}

TEST(IniText, ValuesAreWrittenSoThatTheyReadBackAsThemselves)
{
    const std::string values[] = {"plain", "", " lead", "trail\t", "\"quoted\"", "'single'", "\"", "'mixed\"",
                                  "  \"both\"  ", "end\x1a", "in side", "a=b;c"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        const IniText ini("[S]\nK=" + IniValueText(value) + "\n");
        EXPECT_EQ(ini.Read("S", "K", 100), value);
    }
    EXPECT_EQ(IniValueText("plain"), "plain") << "only what needs quotes gets them";
}

TEST(IniEncodingTest, AnsiTextRoundTripsThroughEveryEncoding)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    for (IniEncoding encoding : {IniEncoding::Ansi, IniEncoding::Utf8, IniEncoding::Utf16LE, IniEncoding::Utf16BE}) {
        const std::string bytes = FileFromAnsi(all, encoding);
        EXPECT_EQ(AnsiFromFile(bytes, 0, bytes.size(), encoding), all) << static_cast<int>(encoding);
    }
    EXPECT_EQ(FileFromAnsi("\x80", IniEncoding::Utf8), "\xE2\x82\xAC") << "the euro sign of Windows-1252";
    const std::string broken = "\xC3(\xF0\x9F\x98\x80\xED\xA0\x80";  // bad, beyond the plane, a surrogate
    EXPECT_EQ(AnsiFromFile(broken, 0, broken.size(), IniEncoding::Utf8), "?(?????") << "each half of the pair unknown";
}

} // namespace
} // namespace qz
