#include "PresetUiSupport.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "ControlsTestSupport.h"
#include "IniText.h"

namespace qz::test {

void PresetUiTest::SetUp()
{
    PresetFilesTest::SetUp();
    page = std::make_unique<OpenPage>();
    ASSERT_NE(page->window, nullptr);
}

void PresetUiTest::TearDown()
{
    page.reset();
    PresetFilesTest::TearDown();
}

PresetManager& PresetUiTest::OpenStore(const std::vector<PresetFields>& presets)
{
    WriteText(StorePath(), StoreText(kTestClassKey, presets));
    manager = &NewManager(page->window);
    manager->OpenPresetStore(StorePath().c_str(), kTestClassKey, kStoreName);
    return *manager;
}

std::vector<std::string> PresetUiTest::StoredNames() const
{
    std::vector<std::string> names;
    for (const PresetSection& section : ReadPresetSections(IniText(ReadText(StorePath()))))
        names.push_back(section.fields.bank + "/" + section.fields.name);
    return names;
}

PresetFields PresetUiTest::StoredPreset(const std::string& name) const
{
    for (const PresetSection& section : ReadPresetSections(IniText(ReadText(StorePath()))))
        if (section.fields.name == name)
            return section.fields;
    return Fields(name, "", "", -1);
}

std::string PresetUiTest::PageData() const
{
    char* buffer = nullptr;
    SendMessageA(page->window, PresetManager::kPresetDataRequest, reinterpret_cast<WPARAM>(&buffer), 0);
    const std::string data = buffer != nullptr ? buffer : "";
    delete[] buffer;
    return data;
}

namespace {
void CloseVisibleDialogsAndMenus();
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

int WhileDriving(const std::function<void()>& driver, const std::function<int()>& modal)
{
    std::atomic<bool> finished{false};
    std::thread thread([&] {
        driver();
        // A driver that failed half-way leaves a dialog or a menu open: close them all,
        // so that the next test runs.
        if (!WaitFor([&] { return finished.load(); })) {
            ADD_FAILURE() << "a dialog or menu was left open";
            while (!finished) {
                CloseVisibleDialogsAndMenus();
                Sleep(100);
            }
        }
    });
    const int result = modal();
    finished = true;
    thread.join();
    return result;
}

bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        Sleep(10);
    }
    return false;
}

namespace {

struct WindowSearch {
    std::string title;
    std::string className;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto& search = *reinterpret_cast<WindowSearch*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char text[256] = "", className[64] = "";
    GetWindowTextA(window, text, sizeof text);
    GetClassNameA(window, className, sizeof className);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        (search.title.empty() || search.title == text) &&
        (search.className.empty() || search.className == className) &&
        (search.owner == nullptr || GetWindow(window, GW_OWNER) == search.owner)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOfProcess(const std::string& title, const std::string& className, HWND owner)
{
    WindowSearch search{title, className, owner, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK CloseDialogOrMenu(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    if (std::string(className) == "#32770")
        PostMessageA(window, WM_CLOSE, 0, 0);
    else if (std::string(className) == "#32768")
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    return TRUE;
}

void CloseVisibleDialogsAndMenus() { EnumWindows(CloseDialogOrMenu, 0); }

} // namespace

HWND WaitForWindow(const std::string& title, HWND owner)
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowOfProcess(title, "", owner)) != nullptr; });
    return found;
}

bool WaitUntilGone(HWND window)
{
    return WaitFor([&] { return !IsWindow(window); });
}

HTREEITEM FindTreeItem(HWND tree, const std::string& text)
{
    // Depth first through every item.
    std::vector<HTREEITEM> pending{TreeView_GetRoot(tree)};
    while (!pending.empty()) {
        const HTREEITEM item = pending.back();
        pending.pop_back();
        if (item == nullptr)
            continue;
        if (TreeText(tree, item) == text)
            return item;
        pending.push_back(TreeView_GetNextSibling(tree, item));
        pending.push_back(TreeView_GetChild(tree, item));
    }
    return nullptr;
}

std::string TreeText(HWND tree, HTREEITEM item)
{
    char text[256] = "";
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

std::vector<std::string> TreeLines(HWND tree)
{
    std::vector<std::string> lines;
    const std::function<void(HTREEITEM, const std::string&)> walk = [&](HTREEITEM item, const std::string& indent) {
        for (; item != nullptr; item = TreeView_GetNextSibling(tree, item)) {
            lines.push_back(indent + TreeText(tree, item));
            walk(TreeView_GetChild(tree, item), indent + "  ");
        }
    };
    walk(TreeView_GetRoot(tree), "");
    return lines;
}

std::string ItemPoint(HWND tree, HTREEITEM item)
{
    // The item goes in where the rectangle comes back.
    RECT rect{};
    std::memcpy(&rect, &item, sizeof item);
    SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
    return ScreenPoint(tree, rect.left + 8, (rect.top + rect.bottom) / 2);
}

HMENU WaitForPopupMenu(int level)
{
    HMENU menu = nullptr;
    WaitFor([&] {
        // The deepest open menu is the one created last, the first in z-order.
        std::vector<HWND> windows;
        for (HWND window = FindWindowOfProcess("", "#32768", nullptr); window != nullptr;
             window = GetWindow(window, GW_HWNDNEXT)) {
            char className[64] = "";
            GetClassNameA(window, className, sizeof className);
            if (std::string(className) == "#32768" && IsWindowVisible(window))
                windows.insert(windows.begin(), window);
        }
        if (static_cast<int>(windows.size()) <= level)
            return false;
        menu = reinterpret_cast<HMENU>(SendMessageA(windows[level], MN_GETHMENU, 0, 0));
        return menu != nullptr;
    });
    return menu;
}

std::string MenuItemPoint(HMENU menu, int position)
{
    RECT rect{};
    GetMenuItemRect(nullptr, menu, position, &rect);
    return std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2);
}

std::vector<std::string> MenuLines(HMENU menu, const std::string& indent)
{
    std::vector<std::string> lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = "";
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &item);
        if (item.fType & MFT_SEPARATOR) {
            lines.push_back(indent + "-");
            continue;
        }
        lines.push_back(indent + text + (item.hSubMenu != nullptr ? ">" : "") + 
                        (item.fState & MFS_CHECKED ? (item.fType & MFT_RADIOCHECK ? " (radio)" : " (check)") : ""));
        if (item.hSubMenu != nullptr)
            for (const std::string& line : MenuLines(item.hSubMenu, indent + "  "))
                lines.push_back(line);
    }
    return lines;
}

} // namespace qz::test
