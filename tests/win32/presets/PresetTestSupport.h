#pragma once
// What the preset tests share: a folder of real files that goes away after each test,
// a class key of the tests' own in the real registry, and the messages the manager
// would have shown, recorded with scripted answers.

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PresetManager.h"

namespace qz::test {

// Not the filter's class: the tests may write and delete its registry key freely.
extern const char kTestClassKey[];
extern const char kPluginName[];
extern const char kStoreName[];    // the store's file name
extern const char kManagerTitle[]; // the caption of every message

PresetFields Fields(const std::string& name, const std::string& bank, const std::string& data = "1,2,3",
                    int version = 3);

struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

class MessageRecorder {
public:
    std::vector<ShownMessage> shown;
    std::deque<int> answers;  // for questions, in order; IDNO when none is left

    PresetMessageBox box();
    std::vector<std::string> texts() const;
};

class PresetFilesTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A path in this test's folder.
    std::string Path(const std::string& name) const { return m_folder + "\\" + name; }
    // A manager of the test plug-in whose messages go to `messages`.
    PresetManager& NewManager(HWND owner = nullptr);

    std::string m_folder;
    MessageRecorder messages;

private:
    std::vector<std::unique_ptr<PresetManager>> m_managers;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
// A key as the system's private-profile functions read it; "<missing>" when absent.
std::string ProfileValue(const std::string& path, const char* section, const char* key);

// "[Plug-in]" with the identity, then the given preset sections as
// {version, name, bank, data}.
std::string StoreText(const std::string& identity, const std::vector<PresetFields>& presets);

// "bank/name" of each preset, in list order.
std::vector<std::string> Names(const PresetList& presets);

// Size and FNV-1a hash of a file's bytes: "size:hash", or "missing".
std::string Fingerprint(const std::string& path);

// Runs a shell command on the Unix side (Wine starts Unix programs as it starts its
// own); true when it exited with 0.
bool RunShell(const std::string& command);

// A folder on the Unix side that goes away with the object; with a size, a tmpfs of
// that many kilobytes mounted there (the tests run as root).
class UnixFolder {
public:
    explicit UnixFolder(const std::string& name, int tmpfsKilobytes = 0);
    ~UnixFolder();
    UnixFolder(const UnixFolder&) = delete;
    UnixFolder& operator=(const UnixFolder&) = delete;

    bool ready() const { return m_ready; }
    std::string Unix(const std::string& name) const { return m_unix + "/" + name; }
    std::string Windows(const std::string& name) const;

private:
    std::string m_unix;
    bool m_mounted;
    bool m_ready;
};

} // namespace qz::test
