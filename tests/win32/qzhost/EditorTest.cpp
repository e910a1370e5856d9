// qzhost process --editor end to end: the real qzhost.exe plays a file in real time with
// the DLL's editor page open in the system's property frame, under Xvfb; the test finds
// the frame among the child's windows, closes it as a user would, and checks the file
// qzhost wrote against the engine's own result.
#include "HostTestSupport.h"

#include "ControlsTestSupport.h"
#include "PageLayout.h"
#include "ResourceIds.h"
#include "qz_guids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <objbase.h>
#include <set>
#include <string>

namespace {

struct ChildWindowSearch {
    DWORD processId;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisibleWindowOfProcess(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<ChildWindowSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != s->processId || !IsWindowVisible(window))
        return TRUE;
    s->found = window;
    return FALSE;
}

BOOL CALLBACK CollectClassName(HWND window, LPARAM names)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    reinterpret_cast<std::set<std::string>*>(names)->insert(name);
    return TRUE;
}

// The window classes of everything inside `frame`.
std::set<std::string> ClassesInside(HWND frame)
{
    std::set<std::string> names;
    EnumChildWindows(frame, CollectClassName, reinterpret_cast<LPARAM>(&names));
    return names;
}

bool HoldsThePage(HWND frame)
{
    const std::set<std::string> names = ClassesInside(frame);
    return names.count("qz:PushButton") != 0 || names.count("qz:MultiMeter") != 0;
}

// The child's property frame once it shows the editor page; null when it does not
// within the deadline (a limit for a program under Wine, not a measurement).
HWND FrameWithPage(const QzhostChild& child)
{
    for (int attempt = 0; attempt < 3000; ++attempt) {
        ChildWindowSearch search{child.ProcessId()};
        EnumWindows(FindVisibleWindowOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && HoldsThePage(search.found))
            return search.found;
        Sleep(20);
    }
    return nullptr;
}

struct ButtonSearch {
    const char* text;
    HWND found = nullptr;
};

BOOL CALLBACK FindButtonByText(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<ButtonSearch*>(search);
    char name[32] = "", text[32] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, text, sizeof text);
    if (lstrcmpiA(name, "Button") != 0 || std::string(text) != s->text || !IsWindowVisible(window))
        return TRUE;
    s->found = window;
    return FALSE;
}

struct ControlSearch {
    const char* windowClass;
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK FindControl(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<ControlSearch*>(search);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != s->windowClass || GetDlgCtrlID(window) != s->id)
        return TRUE;
    s->found = window;
    return FALSE;
}

// A control of the editor page inside the child's frame.
HWND PageControl(HWND frame, const char* windowClass, int id)
{
    ControlSearch search{windowClass, id};
    EnumChildWindows(frame, FindControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct TitleSearch {
    DWORD processId;
    const char* title;
    HWND found = nullptr;
};

BOOL CALLBACK FindTitledWindow(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<TitleSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    if (owner != s->processId || !IsWindowVisible(window) || std::string(title) != s->title)
        return TRUE;
    s->found = window;
    return FALSE;
}

// A visible top-level window of the child with this title, or null.
HWND WindowOf(const QzhostChild& child, const char* title)
{
    TitleSearch search{child.ProcessId(), title};
    EnumWindows(FindTitledWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The texts of the controls of a dialog (a message box) of the child, a line each.
std::string DialogText(HWND box)
{
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        // WM_GETTEXT itself: GetWindowText answers only the titles of other processes' windows.
        char line[512] = "";
        DWORD_PTR copied = 0;
        SendMessageTimeoutA(child, WM_GETTEXT, sizeof line, reinterpret_cast<LPARAM>(line), SMTO_ABORTIFHUNG, 5000,
                            &copied);
        text += std::string(line) + "\n";
    }
    return text;
}

// How many pixels of a window's column `x`, rows `first` to `last`, glow as the lit
// parts of the page's meters do (blue, amber, red), on the screen: the dark unlit
// faces and the meter wells stay below half brightness in every channel. The column
// is copied from the screen in one piece.
int GlowingPixels(HWND window, int x, int first, int last)
{
    POINT at{x, first};
    ClientToScreen(window, &at);
    const int height = last - first + 1;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP column = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, column);
    BitBlt(memory, 0, 0, 1, height, screen, at.x, at.y, SRCCOPY);
    GdiFlush();
    int glowing = 0;
    for (int y = 0; y < height; ++y) {
        const uint32_t pixel = static_cast<const uint32_t*>(bits)[y];  // 0x00RRGGBB
        if (((pixel >> 16) & 0xFF) >= 0x80 || ((pixel >> 8) & 0xFF) >= 0x80 || (pixel & 0xFF) >= 0x80)
            ++glowing;
    }
    SelectObject(memory, previous);
    DeleteObject(column);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return glowing;
}

// Waits for `done`, polling every 20 ms for at most a minute (a limit for a program
// under Wine, not a measurement).
template <class Done>
bool WaitFor(Done done)
{
    for (int attempt = 0; attempt < 3000; ++attempt) {
        if (done())
            return true;
        Sleep(20);
    }
    return false;
}

const char kEndLine[] = "end:      the whole file has been processed; close the editor to finish";
const char kHelpTitle[] = "Tavelin:qz Multiband Help";  // the help file's own title

// The size of a file, or 0 when there is none.
uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::vector<int16_t> Prefix(const std::vector<int16_t>& samples, size_t count)
{
    return std::vector<int16_t>(samples.begin(), samples.begin() + std::min(count, samples.size()));
}

TEST_F(QzhostTest, EditorClosedEarlyLeavesAValidFileOfWhatWasProcessed)
{
    // 20 s of audio, far longer than the frame takes to appear and be closed.
    const WavData in = TestSignal(2, 44100, 20 * 44100, 0.9);
    const std::wstring inPath = WriteInput(L"long.wav", in);
    const std::wstring outPath = scratch.Path(L"early.wav");
    QzhostChild child({L"process", inPath, outPath, L"--editor", L"--set", L"Threshold 1=0.5"});
    const HWND frame = FrameWithPage(child);
    ASSERT_NE(frame, nullptr) << "the property frame with the editor page";
    char caption[128] = "";
    GetWindowTextA(frame, caption, sizeof caption);
    EXPECT_NE(std::string(caption).find("long.wav"), std::string::npos) << caption;
    // The audio reaches the temporary file while the frame is open.
    const uint64_t header = 44;
    bool writing = false;
    for (int attempt = 0; attempt < 3000 && !writing; ++attempt) {
        writing = FileSize(outPath + L".partial") > header;
        if (!writing)
            Sleep(20);
    }
    EXPECT_TRUE(writing) << "audio written while the editor is open";

    // As the frame's close box does.
    PostMessageA(frame, WM_CLOSE, 0, 0);
    const HostRun run = child.Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReportLine(run.out, "editor:"),
              "editor:   closed before the end of the file; the output holds what was processed until then");
    EXPECT_EQ(ReportLine(run.out, "end:"), "") << "the file had not ended";

    std::string problem;
    const WavData out = ReadWav(outPath, problem);
    ASSERT_EQ(problem, "") << "the output is a complete WAV file";
    EXPECT_FALSE(Exists(outPath + L".partial"));
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.rate, 44100u);
    EXPECT_GT(out.data.size(), 0u);
    EXPECT_LT(out.data.size(), in.data.size()) << "played in real time, the file cannot be through yet";
    const std::vector<int16_t> produced = Samples16(out.data);
    EXPECT_TRUE(SameSamples(produced, Prefix(EngineResult(BlockWith({{"Threshold 1", 0.5f}}), in), produced.size())));
    const std::string framesLine = "frames:   " + std::to_string(out.data.size() / 4) + " written";
    EXPECT_EQ(ReportLine(run.out, "frames:").rfind(framesLine, 0), 0u) << run.out;
}

// A half-second file ends while the frame is still opening: qzhost's apartment stops
// the graph once its frame's loop runs, and the end is reported.
TEST_F(QzhostTest, EditorStaysOpenPastTheEndOfTheFileAndTheOutputIsComplete)
{
    const WavData in = TestSignal(2, 44100, 44100 / 2, 0.9);
    const std::wstring inPath = WriteInput(L"half-second.wav", in);
    const std::wstring outPath = scratch.Path(L"complete.wav");
    QzhostChild child({L"process", inPath, outPath, L"--editor"});
    const HWND frame = FrameWithPage(child);
    ASSERT_NE(frame, nullptr) << "the property frame with the editor page";

    // qzhost says when the file has ended; the frame is still there for the user.
    ASSERT_TRUE(WaitFor([&] { return ReportLine(child.OutputSoFar(), "end:") == kEndLine; })) << child.OutputSoFar();
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_TRUE(HoldsThePage(frame));

    // The user presses the frame's OK button with the real pointer.
    ButtonSearch ok{"OK"};
    EnumChildWindows(frame, FindButtonByText, reinterpret_cast<LPARAM>(&ok));
    ASSERT_NE(ok.found, nullptr) << "the frame's OK button";
    RECT button{};
    GetClientRect(ok.found, &button);
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(ok.found, button.right / 2, button.bottom / 2) + " click 1"));

    const HostRun run = child.Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReportLine(run.out, "editor:"), "editor:   closed after the whole file was processed");
    EXPECT_EQ(ReportLine(run.out, "frames:"), "frames:   22050 written (0.500 s)");
    std::string problem;
    const WavData out = ReadWav(outPath, problem);
    ASSERT_EQ(problem, "");
    ASSERT_EQ(out.data.size(), in.data.size()) << "the lookahead's last frames are flushed at the end";
    EXPECT_TRUE(SameSamples(Samples16(out.data), EngineResult(qz::DefaultParamBlock(), in)));
}

// qzhost playing the test signal with the editor open, found in its frame.
class QzhostEditorTest : public QzhostTest {
protected:
    // Starts qzhost process --editor on `seconds` of the test signal, with `options`,
    // and finds its frame (null when it does not open).
    HWND Play(int seconds, const std::vector<std::wstring>& options = {})
    {
        const std::wstring in = WriteInput(L"played.wav", TestSignal(2, 44100, seconds * 44100, 0.9));
        std::vector<std::wstring> arguments = {L"process", in, scratch.Path(L"out.wav"), L"--editor"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        child = std::make_unique<QzhostChild>(arguments);
        return FrameWithPage(*child);
    }

    std::unique_ptr<QzhostChild> child;
};

// When the file ends, qzhost stops the graph as a host's transport does, and the
// meters that showed the audio fall to nothing while the frame stays open.
TEST_F(QzhostEditorTest, WhenTheFileEndsTheEditorsMetersFall)
{
    const HWND frame = Play(4);
    ASSERT_NE(frame, nullptr) << "the property frame with the editor page";
    const HWND output = PageControl(frame, "qz:Meter", qz::page::ID_OUTPUT_METER_LEFT);
    const HWND bands = PageControl(frame, "qz:MultiMeter", qz::page::ID_MULTIMETER);
    ASSERT_NE(output, nullptr);
    ASSERT_NE(bands, nullptr);
    // The output meter's bar, and band 1's left level bar below its threshold marker.
    const auto glowing = [&] { return GlowingPixels(output, 5, 2, 152) + GlowingPixels(bands, 15, 20, 146); };

    bool shown = false;
    const bool ended = WaitFor([&] {
        shown = shown || glowing() > 0;
        return ReportLine(child->OutputSoFar(), "end:") == kEndLine;
    });
    ASSERT_TRUE(ended) << child->OutputSoFar();
    EXPECT_TRUE(shown) << "the meters showed the audio while it played";
    // The output meter holds its peak for 1.5 s and then lets it fall.
    EXPECT_TRUE(WaitFor([&] { return glowing() == 0; })) << glowing() << " pixels still lit";
    EXPECT_TRUE(IsWindowVisible(frame)) << "the frame stays open";

    PostMessageA(frame, WM_CLOSE, 0, 0);
    const HostRun run = child->Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReportLine(run.out, "editor:"), "editor:   closed after the whole file was processed");
}

// The page's Help button, clicked in qzhost's frame, opens the help file beside the
// DLL in the help viewer, as it does in any host.
TEST_F(QzhostEditorTest, TheEditorsHelpOpensInQzhost)
{
    const HWND frame = Play(20);
    ASSERT_NE(frame, nullptr) << "the property frame with the editor page";
    const HWND help = PageControl(frame, "qz:PushButton", qz::page::ID_HELP);
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(help, 38, 10) + " click 1"));

    // The viewer's window comes first; when the viewer then fails, the page says so
    // in a box of its own, so the box is watched for a little longer.
    HWND viewer = nullptr, error = nullptr;
    WaitFor([&] {
        viewer = WindowOf(*child, kHelpTitle);
        error = WindowOf(*child, "Error");
        return viewer != nullptr || error != nullptr;
    });
    for (int check = 0; check < 150 && error == nullptr; ++check, Sleep(20))
        error = WindowOf(*child, "Error");
    EXPECT_EQ(error, nullptr) << DialogText(error);
    EXPECT_NE(viewer, nullptr) << "the help viewer opened";
    EXPECT_TRUE(viewer != nullptr && IsWindow(viewer)) << "and stays open";
    for (HWND window : {error, viewer, frame})
        if (window != nullptr && IsWindow(window))
            PostMessageA(window, WM_CLOSE, 0, 0);
    const HostRun run = child->Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
}

// qzhost loads the DLL without registering it: Add Preset then keeps the preset store
// beside the DLL it loaded.
TEST_F(QzhostEditorTest, AddPresetInQzhostStoresBesideTheDll)
{
    wchar_t clsid[40];
    StringFromGUID2(qz::kCLSID_Filter, clsid, 40);
    HKEY server = nullptr;
    const std::wstring serverKey = L"SOFTWARE\\Classes\\CLSID\\" + std::wstring(clsid) + L"\\InprocServer32";
    ASSERT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, serverKey.c_str(), 0, KEY_READ, &server), ERROR_SUCCESS)
        << "the filter is registered: this test needs it unregistered";

    const std::wstring dll = scratch.Path(L"qzMultibandDX.dll");
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"qzMultibandDX.dll").c_str(), dll.c_str(), FALSE));
    const HWND frame = Play(20, {L"--dll", dll});
    ASSERT_NE(frame, nullptr) << "the property frame with the editor page";
    const HWND presets = PageControl(frame, "qz:PushButton", qz::page::ID_PRESETS);
    ASSERT_NE(presets, nullptr);
    // The menu opens on the press; its first item is Add Preset..., whose dialog takes
    // the name; Enter adds it.
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(presets, 7, 10) +
                        " mousedown 1 sleep 0.4 mouseup 1 sleep 0.3 key --delay 60 Down Return"));
    HWND add = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (add = WindowOf(*child, "Add qz:Multiband preset")) != nullptr; }));
    const HWND name = GetDlgItem(add, IDC_PM_NAME);
    ASSERT_NE(name, nullptr);
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(name, 10, 5) + " click 1"));
    ASSERT_TRUE(Xdotool("type --delay 60 'From qzhost'"));  // xdotool types all that follows "type"
    ASSERT_TRUE(WaitFor([&] { return DialogText(add).find("From qzhost") != std::string::npos; }))
        << DialogText(add);
    ASSERT_TRUE(Xdotool("key Return"));

    const std::wstring store = scratch.Path(L"qzMultibandDX.ini");
    HWND error = nullptr;
    WaitFor([&] {
        error = WindowOf(*child, "qz:Multiband Preset Manager");
        return error != nullptr || ReadBytes(store).size() > 0;
    });
    EXPECT_EQ(error, nullptr) << DialogText(error);
    const std::vector<BYTE> bytes = ReadBytes(store);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("Name=From qzhost"), std::string::npos) << "the store beside the DLL holds the new preset: "
                                                                 << text;

    for (HWND window : {error, frame})
        if (window != nullptr)
            PostMessageA(window, WM_CLOSE, 0, 0);
    const HostRun run = child->Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
}

} // namespace
