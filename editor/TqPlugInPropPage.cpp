#include "TqPlugInPropPage.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageHelp.h"
#include "PresetData.h"
#include "ResourceIds.h"
#include "ServerModule.h"
#include "SkinDrawing.h"
#include "qz_guids.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kPageWidth = 570;
constexpr int kPageHeight = 436;
constexpr UINT_PTR kTickTimer = 0;
constexpr UINT kTickMilliseconds = 50;
constexpr int kBands = 5;

// The grid's message that hands it the parameter block it shows (its class joins the
// toolkit with the grid; the number is the grid's own).
constexpr UINT GR_SETDATA = 3225;

// Control ids.
enum : int {
    ID_BYPASS = 20010,
    ID_UNDO = 20011,
    ID_SETUP = 20012,
    ID_SETUP_MENU = 20013,
    ID_RESET = 20014,
    ID_PRESETS = 20015,
    ID_HELP = 20016,
    ID_BAND_SOLO = 10160,    // + band
    ID_BAND_BYPASS = 10180,  // + band
    ID_SELECTOR = 10140,
    ID_CAPTION_BAND = 10028,
    ID_CAPTION_Q = 10029,
    ID_CAPTION_DB = 10030,
    ID_CAPTION_OUT = 10031,
    ID_RATIO = 10012,
    ID_KNEE = 10013,
    ID_TYPE = 10018,
    ID_QFACTOR = 10024,
    ID_TCR = 10019,
    ID_LIMITER = 10023,
    ID_OUTPUT_GAIN = 10032,
    ID_GRID = 10027,
    ID_GAIN = 10008,
    ID_GAIN_SLIDER = 10009,
    ID_ATTACK = 10014,
    ID_ATTACK_SLIDER = 10015,
    ID_RELEASE = 10016,
    ID_RELEASE_SLIDER = 10017,
    ID_PEAK_TEXT = 10022,
};

constexpr DWORD kTabStop = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr DWORD kPlain = WS_CHILD | WS_VISIBLE;
constexpr COLORREF kCheckedTint = 0xEB78F8FF;
constexpr COLORREF kBypassedTint = 0xE080E080;
constexpr COLORREF kSoloMutedTint = 0x873232FF;

// One control of the page and how it is set up after creation. The page creates the
// controls in the order of ControlTable().
struct ControlEntry {
    int id;
    const char* windowClass;
    int x, y, width, height;
    DWORD style;
    DWORD exStyle;
    const char* text;
    int normalFace, pressedFace;  // push buttons: PB_SETFACES pixel images, 0 for none
    int image;                    // push buttons: PB_SETICON bitmap; static images: SI_SETIMAGE
    const int* focusRect;         // push buttons: PB_SETFOCUSRECT offsets, null for none
    int focusInset;
    COLORREF onTint;              // push buttons: PB_SETONTINT, 0 for none
};

const int kSetupFocus[4] = {0, 0, 1, 0};
const int kArrowFocus[4] = {-2, 0, 0, 0};
const int kBandButtonFocus[4] = {-2, -2, 1, 1};

ControlEntry PushButton(int id, int x, int y, int width, int height, DWORD style, const char* text, int normal,
                       int pressed)
{
    return {id, "qz:PushButton", x, y, width, height, style, 0, text, normal, pressed, 0, nullptr, 0, 0};
}

ControlEntry Caption(int id, int x, int y, int width, int height, int image)
{
    return {id, "qz:StaticNoHitImage", x, y, width, height, kPlain, 0, "", 0, 0, image, nullptr, 0, 0};
}

// The page's controls in creation order. The band fields, meters, graphs, sliders and
// the grid join this table with their control classes.
std::vector<ControlEntry> ControlTable()
{
    std::vector<ControlEntry> table = {
        PushButton(ID_BYPASS, 16, 16, 76, 21, kTabStop, "Bypass", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED),
        PushButton(ID_UNDO, 95, 16, 76, 21, kTabStop, "Undo", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED),
        PushButton(ID_SETUP, 174, 16, 61, 21, kTabStop, "Setup A", IDR_FACE61_NORMAL, IDR_FACE61_PRESSED),
        PushButton(ID_SETUP_MENU, 235, 16, 15, 21, kTabStop | qz::PBS_ARROWMARK, "", IDR_FACE15_NORMAL,
                   IDR_FACE15_PRESSED),
        PushButton(ID_RESET, 253, 16, 76, 21, kTabStop, "Reset", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED),
        PushButton(ID_PRESETS, 332, 16, 76, 21, kTabStop | qz::PBS_ARROWMARK, "Presets", IDR_FACE76_NORMAL,
                   IDR_FACE76_PRESSED),
        PushButton(ID_HELP, 411, 16, 76, 21, kTabStop, "Help", IDR_FACE76_NORMAL, IDR_FACE76_PRESSED),
    };
    table[2].focusRect = kSetupFocus;
    table[3].focusRect = kArrowFocus;

    for (int band = 0; band < kBands; ++band) {
        ControlEntry solo = PushButton(ID_BAND_SOLO + band, 27 + 60 * band, 234, 19, 14, kTabStop, "",
                                      IDR_FACE19_NORMAL, IDR_FACE19_PRESSED);
        solo.image = IDB_ICON_SOLO;
        solo.focusRect = kBandButtonFocus;
        solo.focusInset = 1;
        ControlEntry bypass = solo;
        bypass.id = ID_BAND_BYPASS + band;
        bypass.x = 48 + 60 * band;
        bypass.image = IDB_ICON_BYPASS;
        bypass.onTint = kCheckedTint;
        table.push_back(solo);
        table.push_back(bypass);
    }

    table.push_back({ID_SELECTOR, "qz:StaticImage", 333, 217, 200, 20, kPlain, 0, "", 0, 0, 0, nullptr, 0, 0});
    table.push_back(Caption(ID_CAPTION_BAND, 342, 239, 113, 10, IDB_CAPTION_BAND));
    table.push_back(Caption(ID_CAPTION_Q, 336, 246, 12, 10, IDB_CAPTION_Q));
    table.push_back(Caption(ID_CAPTION_OUT, 472, 246, 20, 10, IDB_CAPTION_OUT));
    table.push_back(Caption(ID_CAPTION_DB, 529, 246, 16, 10, IDB_CAPTION_DB));
    table.push_back(PushButton(ID_TYPE, 431, 250, 76, 21, kTabStop | qz::PBS_MENUMARK, "Normal", IDR_FACE76_NORMAL,
                               IDR_FACE76_PRESSED));
    ControlEntry tcr = PushButton(ID_TCR, 392, 239, 36, 21, kTabStop, "TCR", IDR_FACE36_NORMAL, IDR_FACE36_PRESSED);
    tcr.exStyle = WS_EX_TRANSPARENT;
    ControlEntry limiter = tcr;
    limiter.id = ID_LIMITER;
    limiter.x = 431;
    limiter.text = "Limit";
    table.push_back(tcr);
    table.push_back(limiter);
    table.push_back({ID_PEAK_TEXT, "qz:StaticText", 503, 32, 52, 11, kPlain | SS_CENTER | SS_NOTIFY, 0,
                     "-Inf -Inf", 0, 0, 0, nullptr, 0, 0});
    return table;
}

// The controls that only the all-bands view shows, and those only the band view shows.
const int kAllBandsViewControls[] = {ID_LIMITER, ID_TCR, ID_QFACTOR, ID_CAPTION_Q, ID_CAPTION_DB,
                                     ID_CAPTION_OUT, ID_OUTPUT_GAIN, ID_GRID};
const int kBandViewControls[] = {ID_RATIO, ID_KNEE, ID_TYPE, ID_GAIN, ID_GAIN_SLIDER,
                                 ID_ATTACK, ID_ATTACK_SLIDER, ID_RELEASE, ID_RELEASE_SLIDER, ID_CAPTION_BAND};

// The band selector strip's picture for each selection (bands 0..4, then all bands).
const int kSelectorImages[] = {IDB_STRIP_BAND1, IDB_STRIP_BAND2, IDB_STRIP_BAND3,
                               IDB_STRIP_BAND4, IDB_STRIP_BAND5, IDB_STRIP_ALL};

template <class Handle>
void DeleteAndForget(Handle& object)
{
    if (object != nullptr)
        DeleteObject(object);
    object = nullptr;
}

// A step of UpdateControls runs for id 0 (all controls) or for one of its own ids.
bool Names(int controlId, int id) { return controlId == 0 || controlId == id; }

} // namespace

CUnknown* CALLBACK CTqPlugInPropPage::CreateInstance(LPUNKNOWN outer, HRESULT* result)
{
    auto* page = new (std::nothrow) CTqPlugInPropPage(outer);
    if (page == nullptr)
        *result = E_OUTOFMEMORY;
    return page;
}

// The control classes stay registered while any page exists: a host may create a
// second page before it lets go of the first, and the classes must outlive both.
// Pages live on the window thread of their frame, one thread per process in practice;
// the count is interlocked all the same.
volatile LONG CTqPlugInPropPage::s_pagesAlive = 0;

CTqPlugInPropPage::CTqPlugInPropPage(LPUNKNOWN outer) : CBasePropertyPage(outer, g_hInst, IDD_PAGE, IDS_PAGE_TITLE)
{
    if (InterlockedIncrement(&s_pagesAlive) == 1)
        qz::RegisterControlClasses();
}

CTqPlugInPropPage::~CTqPlugInPropPage()
{
    // The window and the engine go first: the controls' classes must outlive them.
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);
    if (m_prop != nullptr)
        OnDisconnect();
    if (InterlockedDecrement(&s_pagesAlive) == 0)
        qz::UnregisterControlClasses();
}

STDMETHODIMP CTqPlugInPropPage::GetPageInfo(PROPPAGEINFO* info)
{
    const HRESULT hr = CBasePropertyPage::GetPageInfo(info);
    if (SUCCEEDED(hr))
        info->size = {kPageWidth, kPageHeight};
    return hr;
}

// The frame's Help button: the page's help file; whatever happens, the frame has
// nothing more to do.
STDMETHODIMP CTqPlugInPropPage::Help(LPCOLESTR /*helpDirectory*/)
{
    qz::ShowHelp(m_hwnd, g_hInst);
    return S_OK;
}

HRESULT CTqPlugInPropPage::OnConnect(IUnknown* object)
{
    if (object == nullptr)
        return E_POINTER;
    if (m_prop != nullptr)
        OnDisconnect();
    if (FAILED(object->QueryInterface(qz::kIID_ITqPlugInProp, reinterpret_cast<void**>(&m_prop)))) {
        m_prop = nullptr;
        return E_NOINTERFACE;
    }
    if (m_hwnd != nullptr) {
        m_prop->SetNotifyWindow(m_hwnd, kNotifyCommandId);
        BindGrid(m_prop->GetParamBlockPtr());
        UpdateControls(0, true, true);
    }
    return S_OK;
}

HRESULT CTqPlugInPropPage::OnDisconnect()
{
    if (m_prop == nullptr)
        return E_UNEXPECTED;
    if (m_hwnd != nullptr) {
        m_prop->SetNotifyWindow(m_hwnd, 0);
        BindGrid(nullptr);
    }
    m_prop->Release();
    m_prop = nullptr;
    return S_OK;
}

void CTqPlugInPropPage::BindGrid(qz::ParamBlock* block)
{
    SendDlgItemMessageA(m_hwnd, ID_GRID, GR_SETDATA, reinterpret_cast<WPARAM>(block), 0);
}

INT_PTR CTqPlugInPropPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(window);
        return FALSE;  // no default focus
    case WM_DESTROY:
        Teardown();
        return FALSE;
    case WM_ERASEBKGND:
        PaintBackground(reinterpret_cast<HDC>(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kTickTimer)
            OnTimerTick();
        return TRUE;
    case WM_COMMAND:
        if (m_prop != nullptr)
            OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case qz::SI_CLICK:
        if (static_cast<int>(wParam) == ID_SELECTOR)
            OnSelectorClick(LOWORD(lParam));
        return TRUE;
    case kPresetDataRequest:
        ProducePresetData(reinterpret_cast<char**>(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

// --- Window lifetime ------------------------------------------------------------------

void CTqPlugInPropPage::InitDialog(HWND window)
{
    m_hwnd = window;
    if (m_prop != nullptr)
        m_prop->SetNotifyWindow(window, kNotifyCommandId);
    m_skin = qz::LoadSkinBitmap(g_hInst, IDB_SKIN, &m_skinPalette);
    m_font = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    m_ownsFont = m_font != nullptr;
    if (!m_ownsFont)
        m_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    CreateControls();
    SetWindowPos(GetDlgItem(window, IDC_OVER_LAMP), nullptr, 522, 22, 12, 9, SWP_NOZORDER | SWP_NOACTIVATE);
    for (int state = 0; state < 3; ++state)
        m_lamps[state] = LoadBitmapA(g_hInst, MAKEINTRESOURCEA(IDB_LAMP_OFF + state));
    if (m_prop != nullptr) {
        BindGrid(m_prop->GetParamBlockPtr());
        BOOL bypass = FALSE;
        m_prop->GetEffectBypass(&bypass);
        SendDlgItemMessageA(window, ID_BYPASS, qz::PB_SETCHECK, bypass, 0);
        LONG setup = 0;
        m_prop->GetSetup(&setup);
        SetSetupButtonText(setup);
    }
    UpdateControls(0, true, true);
    SetTimer(window, kTickTimer, kTickMilliseconds, nullptr);
    m_firstErase = true;
}

void CTqPlugInPropPage::CreateControls()
{
    for (const ControlEntry& entry : ControlTable()) {
        HWND control = CreateWindowExA(entry.exStyle, entry.windowClass, entry.text, entry.style, entry.x, entry.y,
                                       entry.width, entry.height, m_hwnd, reinterpret_cast<HMENU>(entry.id), g_hInst,
                                       m_skin);
        if (control == nullptr)
            continue;
        if (std::strcmp(entry.windowClass, "qz:PushButton") == 0) {
            SendMessageA(control, qz::PB_SETFACES,
                         reinterpret_cast<WPARAM>(qz::LoadPixelImage(g_hInst, entry.normalFace)),
                         reinterpret_cast<LPARAM>(qz::LoadPixelImage(g_hInst, entry.pressedFace)));
            if (entry.image != 0)
                SendMessageA(control, qz::PB_SETICON, entry.image, 0);
            if (entry.onTint != 0)
                SendMessageA(control, qz::PB_SETONTINT, entry.onTint, 0);
            if (entry.focusRect != nullptr)
                SendMessageA(control, qz::PB_SETFOCUSRECT, reinterpret_cast<WPARAM>(entry.focusRect), entry.focusInset);
        } else if (std::strcmp(entry.windowClass, "qz:StaticText") == 0) {
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), 0);
        } else if (entry.image != 0) {
            SendMessageA(control, qz::SI_SETIMAGE, entry.image, 0);
        }
    }
}

void CTqPlugInPropPage::Teardown()
{
    KillTimer(m_hwnd, kTickTimer);
    if (m_prop != nullptr)
        m_prop->SetNotifyWindow(m_hwnd, 0);
    if (m_ownsFont)
        DeleteAndForget(m_font);
    m_font = nullptr;
    m_ownsFont = false;
    DeleteAndForget(m_skin);
    DeleteAndForget(m_skinPalette);
    // The lamp static still shows one of the lamps; it is destroyed right after the
    // page and never paints again.
    for (HBITMAP& lamp : m_lamps)
        DeleteAndForget(lamp);
    m_firstTick = true;
    m_selectedBand = kAllBands;
}

void CTqPlugInPropPage::PaintBackground(HDC dc)
{
    if (m_firstErase) {
        m_firstErase = false;
        // In a tool-window frame the first erase comes before the frame has its final
        // size; paint everything once more when it has.
        HWND ancestor = GetParent(m_hwnd);
        for (int level = 0; level < 3 && ancestor != nullptr; ++level, ancestor = GetParent(ancestor))
            if (GetWindowLongA(ancestor, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) {
                InvalidateRect(m_hwnd, nullptr, FALSE);
                break;
            }
    }
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr)
        return;
    HGDIOBJ previous = SelectObject(memory, m_skin);
    BitBlt(dc, 0, 0, kPageWidth, kPageHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

// --- Showing the engine's state -------------------------------------------------------

bool CTqPlugInPropPage::UpdateControls(int controlId, bool /*setTexts*/, bool recompute)
{
    if (m_prop == nullptr || m_hwnd == nullptr)
        return false;
    if (controlId == kNotifyCommandId)
        controlId = 0;
    if (recompute)
        m_prop->RecomputeNow();
    ShowViewControls();
    ShowBandButtons(controlId);

    const int band = m_selectedBand;
    if (Names(controlId, ID_TYPE)) {
        LONG type = 0;
        if (band != kAllBands)
            m_prop->GetType(&type, band);
        SetDlgItemTextA(m_hwnd, ID_TYPE, type == 0 ? "Normal" : "Vintage");
    }
    if (Names(controlId, ID_TCR)) {
        LONG tcr = 0;
        m_prop->GetTCR(&tcr);
        SendDlgItemMessageA(m_hwnd, ID_TCR, qz::PB_SETCHECK, tcr, 1);
    }
    if (Names(controlId, ID_LIMITER)) {
        LONG limiter = 0;
        m_prop->GetLimiter(&limiter);
        SendDlgItemMessageA(m_hwnd, ID_LIMITER, qz::PB_SETCHECK, limiter, 1);
    }
    if (Names(controlId, ID_SELECTOR))
        SendDlgItemMessageA(m_hwnd, ID_SELECTOR, qz::SI_SETIMAGE, kSelectorImages[band], 0);
    if (controlId == 0) {
        HWND grid = GetDlgItem(m_hwnd, ID_GRID);
        if (grid != nullptr) {
            InvalidateRect(grid, nullptr, FALSE);
            UpdateWindow(grid);
        }
    }
    return true;
}

void CTqPlugInPropPage::ShowViewControls()
{
    if (m_prop == nullptr)
        return;
    const bool allBands = m_selectedBand == kAllBands;
    for (int id : kAllBandsViewControls)
        ShowWindow(GetDlgItem(m_hwnd, id), allBands ? SW_SHOW : SW_HIDE);
    for (int id : kBandViewControls)
        ShowWindow(GetDlgItem(m_hwnd, id), allBands ? SW_HIDE : SW_SHOW);
}

// Solo buttons show their band's solo; a bypass button is lit when its band is
// bypassed, or silenced because another band is soloed (then in a warmer tint).
void CTqPlugInPropPage::ShowBandButtons(int controlId)
{
    LONG solo[kBands] = {}, bypass[kBands] = {};
    bool anySolo = false;
    for (int band = 0; band < kBands; ++band) {
        m_prop->GetSolo(&solo[band], band);
        m_prop->GetBypass(&bypass[band], band);
        anySolo = anySolo || solo[band] != 0;
    }
    for (int band = 0; band < kBands; ++band) {
        if (Names(controlId, ID_BAND_SOLO + band))
            SendDlgItemMessageA(m_hwnd, ID_BAND_SOLO + band, qz::PB_SETCHECK, solo[band], 1);
        if (Names(controlId, ID_BAND_BYPASS + band)) {
            const bool shown = bypass[band] != 0 || (anySolo && solo[band] == 0);
            SendDlgItemMessageA(m_hwnd, ID_BAND_BYPASS + band, qz::PB_SETONTINT,
                                bypass[band] != 0 ? kBypassedTint : kSoloMutedTint, 0);
            SendDlgItemMessageA(m_hwnd, ID_BAND_BYPASS + band, qz::PB_SETCHECK, shown, 1);
        }
    }
}

// --- Messages -------------------------------------------------------------------------

void CTqPlugInPropPage::OnCommand(int controlId, int code)
{
    // Buttons act when clicked; everything else here reacts to any code.
    const bool clicked = code == qz::PBN_CLICKED;
    const auto toggle = [this](HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*get)(LONG*, LONG),
                               HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*set)(LONG, LONG, BOOL), LONG index) {
        LONG value = 0;
        (m_prop->*get)(&value, index);
        (m_prop->*set)(value == 0 ? 1 : 0, index, TRUE);
    };

    if (controlId == kNotifyCommandId) {
        UpdateControls(0, true, true);
    } else if (controlId == IDC_OVER_LAMP) {
        m_prop->SetOverIndicator(0, 0);
    } else if (controlId >= ID_BAND_SOLO && controlId < ID_BAND_SOLO + kBands && clicked) {
        m_prop->UndoCheckpoint(-2);
        toggle(&qz::ITqPlugInProp::GetSolo, &qz::ITqPlugInProp::SetSolo, controlId - ID_BAND_SOLO);
        UpdateControls(0, true, true);
    } else if (controlId >= ID_BAND_BYPASS && controlId < ID_BAND_BYPASS + kBands && clicked) {
        m_prop->UndoCheckpoint(-2);
        toggle(&qz::ITqPlugInProp::GetBypass, &qz::ITqPlugInProp::SetBypass, controlId - ID_BAND_BYPASS);
        UpdateControls(0, true, true);
    } else if (controlId == ID_TYPE && clicked) {
        // Only a band has a type; the all-bands view leaves it alone.
        if (m_selectedBand != kAllBands) {
            m_prop->UndoCheckpoint(-2);
            toggle(&qz::ITqPlugInProp::GetType, &qz::ITqPlugInProp::SetType, m_selectedBand);
        }
        UpdateControls(ID_TYPE, true, true);
    } else if ((controlId == ID_TCR || controlId == ID_LIMITER) && clicked) {
        m_prop->UndoCheckpoint(-2);
        LONG value = 0;
        if (controlId == ID_TCR) {
            m_prop->GetTCR(&value);
            m_prop->SetTCR(value == 0 ? 1 : 0, TRUE);
        } else {
            m_prop->GetLimiter(&value);
            m_prop->SetLimiter(value == 0 ? 1 : 0, TRUE);
        }
        UpdateControls(controlId, true, true);
    } else if (clicked) {
        switch (controlId) {
        case ID_BYPASS: ToggleEffectBypass(); break;
        case ID_UNDO: UndoLastChange(); break;
        case ID_SETUP: SwitchSetup(); break;
        case ID_RESET: ResetToDefaults(); break;
        case ID_HELP: qz::ShowHelp(m_hwnd, g_hInst); break;
        default: break;
        }
    }
}

void CTqPlugInPropPage::OnTimerTick()
{
    if (m_prop == nullptr)
        return;
    // A held control or a dragged graph keeps the host's automation capture open.
    m_prop->SetCaptureMode(qz::IsControlDragging(), qz::IsGraphDragging());
    m_prop->EndCapture();

    if (m_prop->QueryChanged() == S_OK) {
        m_prop->SetChanged(FALSE);
        // While streaming, the streaming thread recomputes the coefficients itself.
        UpdateControls(0, true, m_prop->IsProcessing() == S_FALSE);
    }

    // The engine writes 3 when the output goes over: the lamp shows "active" for two
    // ticks after the last event, then "latched" until the user clicks it.
    LONG state = 0, shown = 0;
    m_prop->GetOverIndicator(&state, 0);
    m_prop->GetOverIndicator(&shown, 1);
    if (state != shown) {
        HBITMAP lamp = m_lamps[state <= 0 ? 0 : state == 1 ? 1 : 2];
        HANDLE previous = reinterpret_cast<HANDLE>(SendDlgItemMessageA(
            m_hwnd, IDC_OVER_LAMP, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(lamp)));
        // The first swap hands back the picture the template's static loaded itself.
        if (previous != nullptr && previous != m_lamps[0] && previous != m_lamps[1] && previous != m_lamps[2])
            DeleteObject(previous);
        m_prop->SetOverIndicator(state, 1);
    }
    if (state > 1)
        --state;
    m_prop->SetOverIndicator(state, 0);

    if (m_firstTick) {
        m_firstTick = false;
        m_prop->UndoCheckpoint(-2);
        // The other setup starts as a copy of the current parameters, once per filter:
        // later openings leave what the user put there.
        m_prop->SeedOtherSetup();
        // The frame focuses the first button; a stray space key must not bypass the
        // effect, so the page itself takes the focus.
        if (GetFocus() == GetDlgItem(m_hwnd, ID_BYPASS))
            SetFocus(m_hwnd);
    }
}

void CTqPlugInPropPage::OnSelectorClick(int x)
{
    m_selectedBand = x / 27 < kAllBands ? x / 27 : kAllBands;
    UpdateControls(0, true, true);
}

void CTqPlugInPropPage::ProducePresetData(char** buffer)
{
    if (buffer == nullptr)
        return;
    *buffer = nullptr;
    if (m_prop == nullptr)
        return;
    const std::string data = qz::ProducePresetData(*m_prop);
    constexpr size_t kBufferSize = 4096;
    char* copy = new (std::nothrow) char[kBufferSize];
    if (copy == nullptr)
        return;
    lstrcpynA(copy, data.c_str(), kBufferSize);
    *buffer = copy;
}

// --- Page commands --------------------------------------------------------------------

void CTqPlugInPropPage::ToggleEffectBypass()
{
    BOOL bypass = FALSE;
    m_prop->GetEffectBypass(&bypass);
    bypass = !bypass;
    m_prop->SetEffectBypass(bypass);
    SendDlgItemMessageA(m_hwnd, ID_BYPASS, qz::PB_SETCHECK, bypass, 0);
}

void CTqPlugInPropPage::UndoLastChange()
{
    m_prop->Undo();
    UpdateControls(0, true, true);
}

void CTqPlugInPropPage::SwitchSetup()
{
    m_prop->UndoCheckpoint(-2);
    LONG setup = 0;
    m_prop->GetSetup(&setup);
    setup = 1 - setup;
    m_prop->SelectSetup(setup);
    SetSetupButtonText(setup);
    UpdateControls(0, true, true);
}

void CTqPlugInPropPage::SetSetupButtonText(LONG setup)
{
    SetDlgItemTextA(m_hwnd, ID_SETUP, setup == 1 ? "Setup B" : "Setup A");
}

// The built-in defaults; QFactor, the spares, the effect bypass and the setup index
// keep their values.
void CTqPlugInPropPage::ResetToDefaults()
{
    m_prop->UndoCheckpoint(-2);
    for (int band = 0; band < kBands; ++band) {
        m_prop->SetAttack(150, band, TRUE);
        m_prop->SetRelease(200, band, TRUE);
        m_prop->SetThreshold(0, band, TRUE);
        m_prop->SetRatio(10, band, TRUE);
        m_prop->SetGain(0, band, TRUE);
        m_prop->SetKnee(10, band, TRUE);
        m_prop->SetType(0, band, TRUE);
        m_prop->SetSolo(0, band, TRUE);
        m_prop->SetBypass(0, band, TRUE);
    }
    const LONG crossovers[] = {60, 121, 180, 240};
    for (int k = 0; k < 4; ++k)
        m_prop->SetFreq(crossovers[k], k, TRUE);
    m_prop->SetTCR(0, TRUE);
    m_prop->SetLimiter(1, TRUE);
    m_prop->SetOutputGain(0, TRUE);
    UpdateControls(0, true, true);
}
