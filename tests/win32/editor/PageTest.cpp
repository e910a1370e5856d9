// The editor page as a host's frame drives it: the property-page plumbing, the
// controls it creates, what its commands, notifications and timer do to the engine,
// the system's own property frame, and that opening and closing it many times leaves
// no GDI object, window or live server object behind.
#include "EditorTestSupport.h"

#include "ControlsTestSupport.h"
#include "GdiLedger.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageLayout.h"
#include "PresetData.h"
#include "ResourceIds.h"
#include "SkinDrawing.h"
#include "qz_guids.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <olectl.h>

#include <clocale>
#include <initializer_list>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace qz::page;

TEST(EditorPage, IsServedByTheDllAndDescribesItself)
{
    ComPtr<IPropertyPage> page = CreatePage();
    ASSERT_TRUE(page) << "the DLL serves the class GetPages names";
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO)) << "28 bytes in the 32-bit build, 48 in the 64-bit one";
    EXPECT_STREQ(info.pszTitle, L"qz:multiband");
    EXPECT_EQ(info.size.cx, 570);
    EXPECT_EQ(info.size.cy, 436);
    EXPECT_EQ(info.pszHelpFile, nullptr);
    EXPECT_EQ(info.dwHelpContext, 0u);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
}

TEST(EditorPage, PlumbingAnswersOutOfOrderCallsAsTheInterfaceSays)
{
    ComPtr<IPropertyPage> page = CreatePage();
    ASSERT_TRUE(page);
    TestSite site;
    const RECT area = {0, 0, 570, 436};
    ComPtr<IUnknown> notAFilter = Server().Create<IUnknown>(IID_IUnknown);
    ComPtr<IUnknown> pageItself = As<IUnknown>(page.get(), IID_IUnknown);
    IUnknown* none[] = {nullptr};
    IUnknown* wrong[] = {pageItself.get()};

    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED) << "no window yet";
    EXPECT_EQ(page->Move(&area), E_UNEXPECTED);
    EXPECT_EQ(page->Move(nullptr), E_POINTER);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(page->SetPageSite(nullptr), E_UNEXPECTED) << "no site to let go of";
    EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED) << "nothing connected";
    EXPECT_EQ(page->SetObjects(1, none), E_POINTER);
    EXPECT_EQ(page->SetObjects(1, wrong), E_NOINTERFACE) << "the page edits only the filter";
    EXPECT_EQ(page->Apply(), E_UNEXPECTED) << "no object, no site";
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);

    EXPECT_EQ(page->SetPageSite(&site), S_OK);
    EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED) << "a second site";
    EXPECT_EQ(site.references, 1u);
    EXPECT_EQ(page->Activate(HostWindow(), &area, FALSE), S_OK);
    EXPECT_EQ(page->Activate(HostWindow(), &area, FALSE), E_UNEXPECTED) << "already active";
    EXPECT_EQ(page->Show(SW_MAXIMIZE), E_INVALIDARG);
    EXPECT_EQ(page->Show(SW_HIDE), S_OK);
    IUnknown* objects[] = {notAFilter.get()};
    EXPECT_EQ(page->SetObjects(2, objects), E_UNEXPECTED) << "one filter at a time";
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->Apply(), S_OK) << "never dirty: nothing to apply";
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(GetWindow(HostWindow(), GW_CHILD), nullptr) << "the page window is gone";
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.references, 0u);
}

TEST(EditorPage, ASecondPageStillHasItsControlsWhenTheFirstIsGone)
{
    ComPtr<IPropertyPage> first = CreatePage();
    ComPtr<IPropertyPage> second = CreatePage();
    ASSERT_TRUE(first && second);
    first.reset();  // the first page goes before the second shows its window
    const RECT area = {0, 0, 570, 436};
    ASSERT_EQ(second->Activate(HostWindow(), &area, FALSE), S_OK);
    HWND window = GetWindow(HostWindow(), GW_CHILD);
    EXPECT_NE(GetDlgItem(window, ID_BYPASS), nullptr) << "the control classes are still registered";
    EXPECT_EQ(second->Deactivate(), S_OK);
}

TEST(EditorPage, CreatesTheControlsInTheTableOrder)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    RECT client;
    GetClientRect(open.window, &client);
    EXPECT_EQ(client.right, 570);
    EXPECT_EQ(client.bottom, 436);

    std::vector<int> expected = {IDC_OVER_LAMP, ID_BYPASS,  ID_UNDO, ID_SETUP,      ID_SETUP_MENU,
                                 ID_RESET,      ID_PRESETS, ID_HELP, ID_MULTIMETER, ID_XOVER_GRAPH};
    for (int band = 0; band < 5; ++band)
        expected.insert(expected.end(), {ID_THRESHOLD + band, ID_BAND_SOLO + band, ID_BAND_BYPASS + band});
    for (int id : std::initializer_list<int>{
             ID_FREQ, ID_FREQ + 1, ID_FREQ + 2, ID_FREQ + 3, ID_COMP_GRAPH, ID_SELECTOR, ID_CAPTION_BAND,
             ID_CAPTION_Q, ID_CAPTION_OUT, ID_CAPTION_DB, ID_RATIO, ID_KNEE, ID_TYPE, ID_QFACTOR, ID_TCR, ID_LIMITER,
             ID_OUTPUT_GAIN, ID_GRID, ID_GAIN, ID_GAIN_SLIDER, ID_ATTACK, ID_ATTACK_SLIDER, ID_RELEASE,
             ID_RELEASE_SLIDER, ID_OUTPUT_METER_LEFT, ID_OUTPUT_METER_RIGHT, ID_PEAK_TEXT})
        expected.push_back(id);
    std::vector<int> ids;
    for (HWND child = GetWindow(open.window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        ids.push_back(GetDlgCtrlID(child));
    EXPECT_EQ(ids, expected);

    const struct {
        int id;
        const char* windowClass;
        const char* text;
        int x, y, width, height;
    } controls[] = {
        {ID_BYPASS, "qz:PushButton", "Bypass", 16, 16, 76, 21},
        {ID_SETUP, "qz:PushButton", "Setup A", 174, 16, 61, 21},
        {ID_SETUP_MENU, "qz:PushButton", "", 235, 16, 15, 21},
        {ID_HELP, "qz:PushButton", "Help", 411, 16, 76, 21},
        {ID_BAND_SOLO + 2, "qz:PushButton", "", 147, 234, 19, 14},
        {ID_BAND_BYPASS + 4, "qz:PushButton", "", 288, 234, 19, 14},
        {ID_SELECTOR, "qz:StaticImage", "", 333, 217, 200, 20},
        {ID_CAPTION_BAND, "qz:StaticNoHitImage", "", 342, 239, 113, 10},
        {ID_LIMITER, "qz:PushButton", "Limit", 431, 239, 36, 21},
        {ID_PEAK_TEXT, "qz:StaticText", nullptr, 503, 32, 53, 11},
        {IDC_OVER_LAMP, "Static", nullptr, 522, 22, 12, 9},
        {ID_MULTIMETER, "qz:MultiMeter", "", 17, 44, 313, 155},
        {ID_XOVER_GRAPH, "qz:XoverGraph", "", 17, 253, 313, 102},
        {ID_THRESHOLD + 2, "qz:Edit", "0.0", 147, 211, 40, 21},
        {ID_FREQ + 3, "qz:Edit", "5024", 255, 367, 40, 21},
        {ID_COMP_GRAPH, "qz:CompGraph", "", 333, 44, 155, 155},
        {ID_QFACTOR, "qz:Edit", "1.00", 349, 239, 36, 21},
        {ID_OUTPUT_GAIN, "qz:Edit", "0.0", 493, 239, 36, 21},
        {ID_GRID, "qz:CommonGrid", "", 335, 264, 210, 120},
        {ID_RELEASE_SLIDER, "qz:Slider", "", 401, 362, 142, 23},
        {ID_OUTPUT_METER_RIGHT, "qz:Meter", "", 538, 44, 12, 155},
    };
    for (const auto& c : controls) {
        HWND control = open.Control(c.id);
        ASSERT_NE(control, nullptr) << c.id;
        char windowClass[64];
        GetClassNameA(control, windowClass, sizeof windowClass);
        EXPECT_STRCASEEQ(windowClass, c.windowClass) << c.id;
        if (c.text != nullptr) {
            EXPECT_EQ(Text(control), c.text) << c.id;
        }
        RECT box;
        GetWindowRect(control, &box);
        MapWindowPoints(nullptr, open.window, reinterpret_cast<POINT*>(&box), 2);
        EXPECT_EQ(box.left, c.x) << c.id;
        EXPECT_EQ(box.top, c.y) << c.id;
        EXPECT_EQ(box.right - box.left, c.width) << c.id;
        EXPECT_EQ(box.bottom - box.top, c.height) << c.id;
    }
    EXPECT_FALSE(IsWindowVisible(open.Control(ID_TYPE))) << "the all-bands view hides the band's type";
    EXPECT_TRUE(IsWindowVisible(open.Control(ID_TCR))) << "and shows TCR";
}

TEST(EditorPage, PaintsTheSkinWhereNoControlIs)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    RedrawWindow(open.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessages();
    HPALETTE palette = nullptr;
    HBITMAP skin = qz::LoadSkinBitmap(GetModuleHandleA(nullptr), IDB_SKIN, &palette);
    ASSERT_NE(skin, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, skin);
    const POINT bare[] = {{5, 5}, {300, 420}, {560, 100}, {100, 400}, {569, 435}};
    for (const POINT& at : bare)
        EXPECT_EQ(ScreenPixel(open.window, at.x, at.y), GetPixel(memory, at.x, at.y)) << at.x << ", " << at.y;
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(skin);
}

// A record of the engine as the host stores it; loading it makes the engine notify
// the page, which re-reads its controls.
ComPtr<IStream> SavedRecord(IUnknown* filter)
{
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    As<IPersistStream>(filter, IID_IPersistStream)->Save(stream.get(), FALSE);
    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return stream;
}

TEST(EditorPage, ConnectingBeforeOrAfterTheWindowEndsWithEngineNotificationsArriving)
{
    for (bool connectFirst : {true, false}) {
        OpenPage open(connectFirst);
        ASSERT_NE(open.window, nullptr);
        open.prop->SetSolo(1, 2, FALSE);
        ComPtr<IStream> record = SavedRecord(open.filter.get());
        open.prop->SetSolo(0, 2, FALSE);
        ASSERT_EQ(As<IPersistStream>(open.filter.get(), IID_IPersistStream)->Load(record.get()), S_OK);
        EXPECT_FALSE(Checked(open.Control(ID_BAND_SOLO + 2))) << "the notification is posted, not sent";
        PumpMessages();
        EXPECT_TRUE(Checked(open.Control(ID_BAND_SOLO + 2))) << (connectFirst ? "connected first" : "window first");
        EXPECT_TRUE(Checked(open.Control(ID_BAND_BYPASS))) << "another band soloed: band 0's bypass lit";
    }
}

TEST(EditorPage, ButtonsChangeTheEngine)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    qz::ITqPlugInProp& engine = *open.prop.get();
    const auto value = [&](HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*get)(LONG*, LONG), LONG index) {
        LONG v = -1;
        (engine.*get)(&v, index);
        return v;
    };

    Click(open, ID_BAND_SOLO + 1);
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetSolo, 1), 1);
    EXPECT_TRUE(Checked(open.Control(ID_BAND_SOLO + 1)));
    EXPECT_TRUE(Checked(open.Control(ID_BAND_BYPASS + 3))) << "muted by the solo";
    EXPECT_FALSE(Checked(open.Control(ID_BAND_BYPASS + 1))) << "the soloed band plays";
    Click(open, ID_BAND_SOLO + 1);
    Click(open, ID_BAND_BYPASS + 3);
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetBypass, 3), 1);
    EXPECT_TRUE(Checked(open.Control(ID_BAND_BYPASS + 3)));
    EXPECT_FALSE(Checked(open.Control(ID_BAND_BYPASS + 2)));

    LONG tcr = -1, limiter = -1;
    Click(open, ID_TCR);
    Click(open, ID_LIMITER);
    engine.GetTCR(&tcr);
    engine.GetLimiter(&limiter);
    EXPECT_EQ(tcr, 1);
    EXPECT_EQ(limiter, 0) << "on by default, toggled off";
    EXPECT_TRUE(Checked(open.Control(ID_TCR)));
    EXPECT_FALSE(Checked(open.Control(ID_LIMITER)));

    // The selector strip: x 27..53 is band 1; the band view shows the band's type.
    PostMessageA(open.window, qz::SI_CLICK, ID_SELECTOR, MAKELPARAM(30, 5));
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(open.Control(ID_TYPE)));
    EXPECT_FALSE(IsWindowVisible(open.Control(ID_TCR)));
    Click(open, ID_TYPE);
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetType, 1), 1);
    EXPECT_EQ(Text(open.Control(ID_TYPE)), "Vintage");

    Click(open, ID_BYPASS);
    BOOL bypass = FALSE;
    engine.GetEffectBypass(&bypass);
    EXPECT_TRUE(bypass);
    EXPECT_TRUE(Checked(open.Control(ID_BYPASS)));

    Click(open, ID_SETUP);
    LONG setup = -1;
    engine.GetSetup(&setup);
    EXPECT_EQ(setup, 1);
    EXPECT_EQ(Text(open.Control(ID_SETUP)), "Setup B");
    Click(open, ID_SETUP);
    EXPECT_EQ(Text(open.Control(ID_SETUP)), "Setup A");
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetType, 1), 1) << "setup A came back";

    Click(open, ID_RESET);
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetType, 1), 0) << "reset";
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetBypass, 3), 0);
    engine.GetLimiter(&limiter);
    EXPECT_EQ(limiter, 1);
    engine.GetEffectBypass(&bypass);
    EXPECT_TRUE(bypass) << "reset leaves the effect bypass alone";
    Click(open, ID_UNDO);
    EXPECT_EQ(value(&qz::ITqPlugInProp::GetType, 1), 1) << "undo brings back what reset replaced";
    EXPECT_EQ(Text(open.Control(ID_TYPE)), "Vintage");
}

TEST(EditorPage, TheRealPointerTogglesABandsSoloAndTheHostHearsTheGesture)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    GestureRecorder host;
    ComPtr<IMediaParamsSetUICallback> setCallback =
        As<IMediaParamsSetUICallback>(open.filter.get(), qz::kIID_IMediaParamsSetUICallback);
    ASSERT_TRUE(setCallback);
    ASSERT_EQ(setCallback->SetUICallback(&host), S_OK);
    open.Tick();  // the first tick's own work is done
    host.events.clear();

    SetForegroundWindow(HostWindow());
    HWND solo = open.Control(ID_BAND_SOLO + 2);
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(solo, 9, 7) + " click 1"));
    const auto soloOfBand2 = [&] {
        LONG value = 0;
        open.prop->GetSolo(&value, 2);
        return value;
    };
    EXPECT_TRUE(PumpUntil([&] { return soloOfBand2() == 1; })) << "a click on band 2's solo button";
    EXPECT_TRUE(Checked(solo));
    open.Tick();  // no control is held any more: the capture ends
    constexpr int kSoloOfBand2 = 10;  // its automation index
    const std::vector<std::string> expected = {"begin " + std::to_string(kSoloOfBand2),
                                               "changed " + std::to_string(kSoloOfBand2) + " =1.000000",
                                               "end " + std::to_string(kSoloOfBand2)};
    EXPECT_EQ(host.events, expected);

    ASSERT_TRUE(Xdotool("click 1"));
    EXPECT_TRUE(PumpUntil([&] { return soloOfBand2() == 0; })) << "a second click";
    setCallback->SetUICallback(nullptr);
    EXPECT_EQ(host.references, 0u);
}

TEST(EditorPage, TimerTickFollowsAutomationAndTheOverLamp)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    open.Tick();
    ComPtr<IMediaParams> params = As<IMediaParams>(open.filter.get(), qz::kIID_IMediaParams);
    ASSERT_TRUE(params);
    constexpr DWORD kTcrIndex = 3;
    ASSERT_EQ(params->SetParam(kTcrIndex, 1.0f), S_OK);
    EXPECT_FALSE(Checked(open.Control(ID_TCR)));
    open.Tick();
    EXPECT_TRUE(Checked(open.Control(ID_TCR))) << "host automation shows within a tick";

    // The engine writes 3 when the output goes over; the lamp steps down to latched.
    open.prop->SetOverIndicator(3, 0);
    const LONG expectedStates[][2] = {{2, 3}, {1, 2}, {1, 1}, {1, 1}};
    for (const auto& expected : expectedStates) {
        open.Tick();
        LONG state = -1, shown = -1;
        open.prop->GetOverIndicator(&state, 0);
        open.prop->GetOverIndicator(&shown, 1);
        EXPECT_EQ(state, expected[0]);
        EXPECT_EQ(shown, expected[1]);
    }
    HWND lamp = open.Control(IDC_OVER_LAMP);
    const HANDLE latched = reinterpret_cast<HANDLE>(SendMessageA(lamp, STM_GETIMAGE, IMAGE_BITMAP, 0));
    SendMessageA(open.window, WM_COMMAND, MAKEWPARAM(IDC_OVER_LAMP, STN_CLICKED), reinterpret_cast<LPARAM>(lamp));
    open.Tick();
    LONG state = -1;
    open.prop->GetOverIndicator(&state, 0);
    EXPECT_EQ(state, 0) << "a click on the lamp clears it";
    EXPECT_NE(reinterpret_cast<HANDLE>(SendMessageA(lamp, STM_GETIMAGE, IMAGE_BITMAP, 0)), latched);
}

TEST(EditorPage, OnlyTheFirstOpeningCopiesIntoTheOtherSetup)
{
    ComPtr<IUnknown> filter = Server().Create<IUnknown>(IID_IUnknown);
    ComPtr<qz::ITqPlugInProp> engine = As<qz::ITqPlugInProp>(filter.get(), qz::kIID_ITqPlugInProp);
    engine->SetRatio(40, 1, FALSE);
    {
        OpenPage first(true, filter.get());
        first.Tick();
    }
    engine->SetRatio(70, 1, FALSE);
    engine->CopySetup(0, 1);  // "Copy to B": B has ratio 70
    engine->SetRatio(20, 1, FALSE);
    {
        OpenPage second(true, filter.get());
        second.Tick();
        second.Tick();
    }
    engine->SelectSetup(1);
    LONG ratio = -1;
    engine->GetRatio(&ratio, 1);
    EXPECT_EQ(ratio, 70) << "reopening the editor kept the user's setup B";

    ComPtr<IUnknown> other = Server().Create<IUnknown>(IID_IUnknown);
    ComPtr<qz::ITqPlugInProp> otherEngine = As<qz::ITqPlugInProp>(other.get(), qz::kIID_ITqPlugInProp);
    otherEngine->SetRatio(55, 1, FALSE);
    {
        OpenPage onOther(true, other.get());
        onOther.Tick();
    }
    otherEngine->SelectSetup(1);
    otherEngine->GetRatio(&ratio, 1);
    EXPECT_EQ(ratio, 55) << "each filter's first opening copies";
}

TEST(EditorPage, AnswersThePresetDataRequestWithTheCurrentParameters)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    open.prop->SetThreshold(-125, 4, FALSE);
    char* data = nullptr;
    SendMessageA(open.window, 10900, reinterpret_cast<WPARAM>(&data), 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data), qz::ProducePresetData(*open.prop.get()));
    EXPECT_NE(std::string(data).find(",-125,"), std::string::npos) << data;
    delete[] data;
}

// A stand-in for the grid: a child with the grid's id that records the block pointer
// it is handed, and how many references the filter had at that moment.
struct GridRecord {
    std::vector<void*> blocks;
    std::vector<ULONG> filterReferences;
    IUnknown* filter = nullptr;
};
GridRecord g_grid;

LRESULT CALLBACK RecordingGrid(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == 3225) {
        g_grid.blocks.push_back(reinterpret_cast<void*>(wParam));
        g_grid.filter->AddRef();
        g_grid.filterReferences.push_back(g_grid.filter->Release());
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(EditorPage, TheGridHasTheBlockWhileConnectedAndLosesItBeforeTheEngineGoes)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingGrid;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "qz:RecordingGrid";
    RegisterClassA(&windowClass);

    OpenPage open(false);
    g_grid = GridRecord{};
    g_grid.filter = open.filter.get();
    open.page->SetObjects(0, nullptr);
    DestroyWindow(open.Control(ID_GRID));
    CreateWindowExA(0, windowClass.lpszClassName, "", WS_CHILD, 335, 264, 210, 120, open.window,
                    reinterpret_cast<HMENU>(ID_GRID), windowClass.hInstance, nullptr);
    g_grid.blocks.clear();
    g_grid.filterReferences.clear();

    open.Connect();  // after the window exists
    ULONG withPage = (open.filter->AddRef(), open.filter->Release());
    open.page->SetObjects(0, nullptr);
    ASSERT_EQ(g_grid.blocks.size(), 2u);
    EXPECT_EQ(g_grid.blocks[0], open.prop->GetParamBlockPtr()) << "a late connection hands the grid its block";
    EXPECT_EQ(g_grid.blocks[1], nullptr) << "disconnecting takes it away";
    EXPECT_EQ(g_grid.filterReferences[1], withPage) << "before the page lets go of the engine";
    open.Connect();
}

TEST(EditorPage, TextsAndValuesDoNotDependOnTheCLocale)
{
    ASSERT_NE(std::setlocale(LC_ALL, "German"), nullptr) << "a comma-decimal locale";
    char decimal[8];
    std::snprintf(decimal, sizeof decimal, "%.1f", 1.5);
    EXPECT_STREQ(decimal, "1,5") << "the locale is in force";
    {
        OpenPage open;
        ASSERT_NE(open.window, nullptr);
        open.prop->SetQFactor(75, FALSE);
        EXPECT_EQ(Text(open.Control(ID_PEAK_TEXT)).substr(0, 4), "-Inf") << "no signal yet";
        char* data = nullptr;
        SendMessageA(open.window, 10900, reinterpret_cast<WPARAM>(&data), 0);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::string(data).substr(0, 16), "1,0,0,75,0,0,60,");
        delete[] data;
    }
    EXPECT_EQ(qz::FormatTenths(-125, -999), "-12.5");
    EXPECT_EQ(qz::FormatHundredths(75), "0.75");
    EXPECT_EQ(qz::ParseFixed("12.34", 1), 123);
    EXPECT_EQ(qz::ParseFixed("0.75", 2), 75);
    std::setlocale(LC_ALL, "C");
}

BOOL CALLBACK FindOtherVisibleWindow(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window) || window == HostWindow())
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK FindBypassButton(HWND window, LPARAM found)
{
    if (GetDlgCtrlID(window) != ID_BYPASS)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK CollectStaticTexts(HWND window, LPARAM texts)
{
    char windowClass[16] = "", text[512] = "";
    GetClassNameA(window, windowClass, sizeof windowClass);
    GetWindowTextA(window, text, sizeof text);
    if (lstrcmpiA(windowClass, "Static") == 0)
        *reinterpret_cast<std::string*>(texts) += text;
    return TRUE;
}

// Another thread's watch over the message boxes of this thread: it reads each one
// (its title, "|", its texts) and closes it with OK, as a user would, until Stop.
class MessageBoxWatch {
public:
    MessageBoxWatch() : thread_(GetCurrentThreadId()), watcher_([this] { Watch(); }) {}
    ~MessageBoxWatch() { Stop(); }
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    // Ends the watch: the boxes seen, in order.
    std::vector<std::string> Stop()
    {
        stop_ = true;
        if (watcher_.joinable())
            watcher_.join();
        return boxes_;
    }

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM found)
    {
        char windowClass[16] = "";
        GetClassNameA(window, windowClass, sizeof windowClass);
        if (!IsWindowVisible(window) || std::string(windowClass) != "#32770")
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    void Watch()
    {
        while (!stop_) {
            Sleep(20);
            HWND box = nullptr;
            EnumThreadWindows(thread_, FindBox, reinterpret_cast<LPARAM>(&box));
            if (box == nullptr)
                continue;
            char caption[64] = "";
            GetWindowTextA(box, caption, sizeof caption);
            std::string text;
            EnumChildWindows(box, CollectStaticTexts, reinterpret_cast<LPARAM>(&text));
            boxes_.push_back(std::string(caption) + "|" + text);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            for (int attempt = 0; attempt < 250 && IsWindow(box); ++attempt)
                Sleep(20);
        }
    }

    const DWORD thread_;
    std::vector<std::string> boxes_;
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

// Where the page of that copy of the DLL looks for the help file.
std::string HelpFileBeside(HMODULE dll)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(dll, path, sizeof path);
    const std::string dllPath = path;
    return dllPath.substr(0, dllPath.find_last_of('\\') + 1) + "TavelinqzMultiband.chm";
}

// The copy of the DLL that the build puts in a folder of its own, without the help file.
std::wstring DllWithoutHelp()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program = path;
    return program.substr(0, program.find_last_of(L'\\') + 1) + L"without-help\\qzMultibandDX.dll";
}

constexpr char kHelpTitle[] = "Tavelin:qz Multiband Help";  // the help file's own title

BOOL CALLBACK FindHelpWindow(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || std::string(title) != kHelpTitle)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND HelpWindow()
{
    HWND help = nullptr;
    EnumWindows(FindHelpWindow, reinterpret_cast<LPARAM>(&help));
    return help;
}

BOOL CALLBACK FindTreeView(HWND window, LPARAM found)
{
    char windowClass[32] = "";
    GetClassNameA(window, windowClass, sizeof windowClass);
    if (std::string(windowClass) != WC_TREEVIEWA)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The contents tree of a help window, as the viewer read it out of the file: the text
// of the top entry and how many entries there are.
std::string HelpContents(HWND help)
{
    HWND tree = nullptr;
    EnumChildWindows(help, FindTreeView, reinterpret_cast<LPARAM>(&tree));
    if (tree == nullptr)
        return "no contents tree";
    char text[64] = "";
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetRoot(tree);
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return std::string(text) + ", " + std::to_string(TreeView_GetCount(tree)) + " entries";
}

// With the help file beside the DLL, a real click on the Help button and the frame's
// Help each open the help viewer on it: a top-level window of this process with the
// file's own title and its contents tree, and no message box. Wine's viewer has no
// HTML engine here and leaves its page pane blank, so the pages are not checked here.
TEST(EditorPage, HelpOpensTheHelpFileBesideTheDll)
{
    OpenPage open;
    ASSERT_NE(open.window, nullptr);
    ASSERT_NE(GetFileAttributesA(HelpFileBeside(Server().module()).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the build puts the help file beside the DLL";
    ASSERT_EQ(HelpWindow(), nullptr);
    MessageBoxWatch watch;
    const auto expectHelpWindowThenClose = [](HWND help, const char* opener) {
        EXPECT_NE(help, nullptr) << opener << " opened a window titled " << kHelpTitle;
        if (help == nullptr)
            return;
        PostMessageA(help, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([help] { return !IsWindow(help); })) << "the help window closes";
    };

    SetForegroundWindow(HostWindow());
    ASSERT_TRUE(Xdotool("mousemove " + ScreenPoint(open.Control(ID_HELP), 38, 10) + " click 1"));
    HWND help = nullptr;
    PumpUntil([&] { return (help = HelpWindow()) != nullptr; });
    if (help != nullptr) {
        EXPECT_EQ(HelpContents(help), "qz:Multiband, 12 entries") << "the viewer read the file's contents";
    }
    expectHelpWindowThenClose(help, "the Help button");

    EXPECT_EQ(open.page->Help(nullptr), S_OK);
    expectHelpWindowThenClose(HelpWindow(), "the frame's Help");

    EXPECT_EQ(watch.Stop(), std::vector<std::string>()) << "no message box";
}

// A copy of the DLL without the help file beside it: the Help button and the frame's
// Help tell the user which file could not be opened.
TEST(EditorPage, HelpWithoutItsFileSaysWhichFileItLookedFor)
{
    FilterServer withoutHelp(DllWithoutHelp().c_str());
    ASSERT_TRUE(withoutHelp.ok()) << "the copy in without-help\\ loads";
    ASSERT_NE(withoutHelp.module(), Server().module()) << "a module of its own";
    const std::string expectedPath = HelpFileBeside(withoutHelp.module());
    ASSERT_EQ(GetFileAttributesA(expectedPath.c_str()), INVALID_FILE_ATTRIBUTES) << "no help file beside this copy";
    OpenPage open(true, nullptr, withoutHelp);
    ASSERT_NE(open.window, nullptr);

    MessageBoxWatch watch;
    Click(open, ID_HELP);
    EXPECT_EQ(open.page->Help(nullptr), S_OK) << "the frame's Help: always S_OK";
    const std::string expected = "Error|Unable to open the Tavelin:qz Multiband help file:\n" + expectedPath;
    EXPECT_EQ(watch.Stop(), std::vector<std::string>(2, expected)) << "the Help button, then the frame's Help";
}

// The system's property frame, as a host opens it. It is modal: a thread finds the
// frame and the page inside it, then closes the frame as a user would.
TEST(EditorPage, OpensInTheSystemPropertyFrame)
{
    ASSERT_EQ(Server().Register(), S_OK) << "the frame creates the page by its class";
    ComPtr<IUnknown> filter = Server().Create<IUnknown>(IID_IUnknown);
    IUnknown* objects[] = {filter.get()};
    CLSID pageClass = qz::kCLSID_PropertyPage;
    HWND host = HostWindow();  // made on this thread, before the closer asks for it

    std::atomic<bool> sawPage{false};
    std::atomic<bool> stop{false};
    const DWORD thread = GetCurrentThreadId();
    std::thread closer([&] {
        for (int attempt = 0; attempt < 1000 && !stop; ++attempt) {
            Sleep(20);
            HWND frame = nullptr;
            EnumThreadWindows(thread, FindOtherVisibleWindow, reinterpret_cast<LPARAM>(&frame));
            if (frame == nullptr)
                continue;
            // The page's Bypass button, somewhere inside the frame.
            HWND bypass = nullptr;
            EnumChildWindows(frame, FindBypassButton, reinterpret_cast<LPARAM>(&bypass));
            if (bypass == nullptr)
                continue;
            char text[16] = "";
            GetWindowTextA(bypass, text, sizeof text);
            sawPage = std::string(text) == "Bypass" && IsWindowVisible(bypass);
            PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
            return;
        }
    });
    const HRESULT hr = OleCreatePropertyFrame(host, 10, 10, L"qz:Multiband", 1, objects, 1, &pageClass,
                                              GetUserDefaultLCID(), 0, nullptr);
    stop = true;
    closer.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(sawPage) << "the frame showed the page";
    EXPECT_EQ(Server().Unregister(), S_OK);
}

// Runs last: it lets go of the server's class factories.
TEST(EditorPageLifetime, HundredOpeningsLeaveNoGdiObjectsNoWindowsAndNoObjects)
{
    ASSERT_TRUE(InstallGdiCounters(Server().module())) << "the DLL's GDI calls are counted";
    {
        // Whatever the toolkit keeps for the process is made by now.
        OpenPage warmUp;
        ASSERT_NE(warmUp.window, nullptr);
        warmUp.Tick();
    }
    PumpMessages();
    const std::set<HGDIOBJ> liveBefore = g_ledger.live;
    const long createdBefore = g_ledger.created;
    const int windowsBefore = ThreadWindowCount();

    for (int opening = 0; opening < 100; ++opening) {
        OpenPage open(opening % 2 == 0);
        ASSERT_NE(open.window, nullptr) << opening;
        open.Tick();
        open.prop->SetOverIndicator(3, 0);
        open.Tick();  // swaps the lamp's picture
        InvalidateRect(open.window, nullptr, TRUE);
        UpdateWindow(open.window);
    }
    PumpMessages();

    EXPECT_GE(g_ledger.created - createdBefore, 100 * 4) << "skin, font and lamps counted at each opening";
    EXPECT_EQ(g_ledger.live, liveBefore) << "GDI objects left behind: "
                                         << static_cast<long>(g_ledger.live.size() - liveBefore.size());
    EXPECT_EQ(g_ledger.windowDcs, 0);
    EXPECT_EQ(g_ledger.deletedWhileSelected, 0);
    EXPECT_EQ(g_ledger.failedDeletes, 0);
    EXPECT_EQ(ThreadWindowCount(), windowsBefore);

    ReleasePageFactory();
    Server().ReleaseFactory();
    EXPECT_EQ(Server().CanUnloadNow(), S_OK) << "every page, filter and factory is gone";
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
