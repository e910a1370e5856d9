#pragma once
// What the tests of the preset menu and dialogs share. The editor page of the real DLL
// owns the manager and answers its requests for the current settings; the dialogs run
// modally on the test's thread while a driver thread of the test's own answers them
// with window messages and, through xdotool, the real pointer and keys.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EditorTestSupport.h"
#include "PresetTestSupport.h"

namespace qz::test {

// A store file in the test's folder and a manager of it owned by a real editor page.
class PresetUiTest : public PresetFilesTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the store with these presets and opens a manager on it.
    PresetManager& OpenStore(const std::vector<PresetFields>& presets);
    std::string StorePath() const { return Path(kStoreName); }
    // The store as it is on disk: "bank/name" of each preset, in file order.
    std::vector<std::string> StoredNames() const;
    // One preset of the store on disk, by name; a version of -1 when it is not there.
    PresetFields StoredPreset(const std::string& name) const;
    // What the page answers for the current settings.
    std::string PageData() const;

    std::unique_ptr<OpenPage> page;
    PresetManager* manager = nullptr;
};

// From now on, every allocation through operator new of at least `size` bytes fails
// with std::bad_alloc; 0 ends that.
void FailAllocationsFrom(size_t size);

std::vector<std::string> Sorted(std::vector<std::string> lines);

// Runs `modal` (a dialog or menu) on this thread while `driver` runs on a thread of
// its own; returns what `modal` returned once both have finished.
int WhileDriving(const std::function<void()>& driver, const std::function<int()>& modal);

// Waits (a deadline, not a measurement) for a visible top-level window of this
// process with this title, owned by `owner` when one is given; nullptr when none came.
HWND WaitForWindow(const std::string& title, HWND owner = nullptr);
// Waits until the window is gone; false when it stayed.
bool WaitUntilGone(HWND window);
// Waits until `done` answers true; false when it did not within the deadline.
bool WaitFor(const std::function<bool()>& done);

// The manager dialog's tree and its items, read across threads.
HTREEITEM FindTreeItem(HWND tree, const std::string& text);
std::string TreeText(HWND tree, HTREEITEM item);
// Every item below `item`, as "text" lines indented by depth, expanded or not.
std::vector<std::string> TreeLines(HWND tree);
// The screen point of an item's text, for xdotool, as "X Y".
std::string ItemPoint(HWND tree, HTREEITEM item);

// The popup menu shown now (a menu window of this process), or nullptr.
HMENU WaitForPopupMenu(int level = 0);
// The screen point of a popup menu's item, by position, as "X Y".
std::string MenuItemPoint(HMENU menu, int position);
// A menu's items as text lines: "-" for a separator, "Bank>" for a popup followed by
// its items indented, "*" after a checked item.
std::vector<std::string> MenuLines(HMENU menu, const std::string& indent = "");

} // namespace qz::test
