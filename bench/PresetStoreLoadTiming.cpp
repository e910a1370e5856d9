// How long the plug-in's preset manager takes to open its store, under Wine (or on
// Windows): stores of 1,000, 20,000 and 100,000 presets (about 20 MB) written to the
// temporary folder, each opened five times by a new manager as the editor page opens
// it. Prints one line per size with the fastest and the median time. A timing program,
// not a test: it checks only that every preset was loaded.
//
//   cmake/wine-run build/win32/bench/preset_store_load.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "PresetManager.h"
#include "PresetStoreText.h"

namespace {

constexpr int kRuns = 5;

bool WriteStore(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return CloseHandle(file) && ok && written == text.size();
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency)
{
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "qz-store-load-" + std::to_string(GetCurrentProcessId()) + ".ini";
    const std::string classKey = qz::PresetClassKey(qz::kCLSID_Filter);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    int failures = 0;
    for (const int presets : {1000, 20000, 100000}) {
        const std::string text = qz::bench::PresetStoreText(presets);
        if (!WriteStore(path, text)) {
            std::fprintf(stderr, "preset_store_load: cannot write %s\n", path.c_str());
            return 1;
        }
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            qz::PresetManager manager(GetModuleHandleA(nullptr), nullptr, "qz:Multiband");
            std::string shown;
            manager.SetMessageBox([&](HWND, const std::string& message, const std::string&, UINT) {
                shown = message;
                return IDOK;
            });
            LARGE_INTEGER start{}, end{};
            QueryPerformanceCounter(&start);
            manager.OpenPresetStore(path.c_str(), classKey.c_str(), nullptr);
            QueryPerformanceCounter(&end);
            if (manager.Presets().size() != static_cast<size_t>(presets) || !shown.empty()) {
                std::fprintf(stderr, "preset_store_load: %d presets stored, %u loaded %s\n", presets,
                             static_cast<unsigned>(manager.Presets().size()), shown.c_str());
                ++failures;
                break;
            }
            times.push_back(Milliseconds(start, end, frequency));
        }
        if (times.empty())
            continue;
        std::sort(times.begin(), times.end());
        std::printf("PresetStoreLoad/%-7d %9.1f MB  fastest %9.1f ms  median %9.1f ms  (%d runs)\n", presets,
                    static_cast<double>(text.size()) / 1e6, times.front(), times[times.size() / 2], kRuns);
    }
    DeleteFileA(path.c_str());
    return failures == 0 ? 0 : 1;
}
