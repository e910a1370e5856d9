#include "TqPlugInPropPage.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageHelp.h"
#include "PageLayout.h"
#include "PresetData.h"
#include "PresetFileFormat.h"
#include "PresetManager.h"
#include "ResourceIds.h"
#include "ServerModule.h"
#include "SkinDrawing.h"
#include "qz_guids.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <new>
#include <string>

struct CTqPlugInPropPage::BandParameter {
    HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*get)(LONG* value, LONG band);
    HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*set)(LONG value, LONG band, BOOL notify);
    LONG defaultValue;
    LONG minimum, maximum;
};

namespace {

using namespace qz::page;
using Prop = qz::ITqPlugInProp;
using BandParameter = CTqPlugInPropPage::BandParameter;

constexpr UINT_PTR kTickTimer = 0;
constexpr UINT kTickMilliseconds = 50;

const BandParameter kRatio{&Prop::GetRatio, &Prop::SetRatio, 10, 4, 300};
const BandParameter kKnee{&Prop::GetKnee, &Prop::SetKnee, 10, 0, 30};
const BandParameter kType{&Prop::GetType, &Prop::SetType, 0, 0, 1};
const BandParameter kGain{&Prop::GetGain, &Prop::SetGain, 0, -180, 180};
const BandParameter kAttack{&Prop::GetAttack, &Prop::SetAttack, 150, 0, 4000};
const BandParameter kRelease{&Prop::GetRelease, &Prop::SetRelease, 200, 1, 4000};
const BandParameter kThreshold{&Prop::GetThreshold, &Prop::SetThreshold, 0, -600, 0};
const BandParameter kSolo{&Prop::GetSolo, &Prop::SetSolo, 0, 0, 1};
const BandParameter kBypass{&Prop::GetBypass, &Prop::SetBypass, 0, 0, 1};
// The crossovers are reached like bands, by index; their defaults are kCrossoverDefaults.
const BandParameter kFreq{&Prop::GetFreq, &Prop::SetFreq, 0, 0, 300};
const LONG kCrossoverDefaults[kCrossovers] = {60, 121, 180, 240};

// The grid's rows, top to bottom.
const BandParameter* const kGridRows[] = {&kRatio, &kKnee, &kType, &kGain, &kAttack, &kRelease};
// What Reset sets in every band, in this order.
const BandParameter* const kResetOrder[] = {&kAttack, &kRelease, &kThreshold, &kRatio, &kGain,
                                            &kKnee,   &kType,    &kSolo,      &kBypass};

// The parameter a slider of the band view moves.
const BandParameter* SliderParameter(int sliderId)
{
    switch (sliderId) {
    case ID_GAIN_SLIDER: return &kGain;
    case ID_ATTACK_SLIDER: return &kAttack;
    case ID_RELEASE_SLIDER: return &kRelease;
    default: return nullptr;
    }
}

// Undo checkpoint keys. Equal keys in a row, while a capture is in progress, make one
// undo step; a new snapshot is always taken for kNewSnapshot.
constexpr LONG kNewSnapshot = -2;
constexpr LONG kThresholdDragEnd = -1;
constexpr LONG kThresholdDragKey = 3000;  // + band
constexpr LONG kGridKey = 9876;           // + band, 9875 for every band
constexpr LONG kCurveDragKey = 12345;

// The threshold text shows "-Inf." at or below -99.9 dB; other values have no floor.
constexpr long kThresholdFloor = -999;
constexpr long kNoFloor = LONG_MIN;

constexpr COLORREF kBypassedTint = 0xE080E080;
constexpr COLORREF kSoloMutedTint = 0x873232FF;

// The controls that only the all-bands view shows, and those only the band view shows.
const int kAllBandsViewControls[] = {ID_LIMITER, ID_TCR, ID_QFACTOR, ID_CAPTION_Q, ID_CAPTION_DB,
                                     ID_CAPTION_OUT, ID_OUTPUT_GAIN, ID_GRID};
const int kBandViewControls[] = {ID_RATIO, ID_KNEE, ID_TYPE, ID_GAIN, ID_GAIN_SLIDER,
                                 ID_ATTACK, ID_ATTACK_SLIDER, ID_RELEASE, ID_RELEASE_SLIDER, ID_CAPTION_BAND};

// The band selector strip's picture for each selection (bands 0..4, then all bands).
const int kSelectorImages[] = {IDB_STRIP_BAND1, IDB_STRIP_BAND2, IDB_STRIP_BAND3,
                               IDB_STRIP_BAND4, IDB_STRIP_BAND5, IDB_STRIP_ALL};
// Each band's part of the strip is this wide; past the last band lies "all bands".
constexpr int kSelectorBandWidth = 27;

template <class Handle>
void DeleteAndForget(Handle& object)
{
    if (object != nullptr)
        DeleteObject(object);
    object = nullptr;
}

// A step of UpdateControls runs for id 0 (all controls) or for one of its own ids.
bool Names(int controlId, int id) { return controlId == 0 || controlId == id; }
bool NamesAny(int controlId, std::initializer_list<int> ids)
{
    return controlId == 0 || std::find(ids.begin(), ids.end(), controlId) != ids.end();
}

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

// Attack in tenths of ms as "15.0".
std::string FormatAttack(LONG value) { return std::to_string(value / 10) + "." + std::to_string(value % 10); }

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
    if (InterlockedIncrement(&s_pagesAlive) == 1) {
        qz::RegisterControlClasses();
        qz::RegisterMultiMeterClass();
        qz::RegisterXoverGraphClass();
        qz::RegisterCommonGridClass();
    }
}

CTqPlugInPropPage::~CTqPlugInPropPage()
{
    // The window and the engine go first: the controls' classes must outlive them.
    if (m_hwnd != nullptr)
        DestroyWindow(m_hwnd);
    if (m_prop != nullptr)
        OnDisconnect();
    if (InterlockedDecrement(&s_pagesAlive) == 0) {
        qz::UnregisterControlClasses();
        qz::UnregisterMultiMeterClass();
        qz::UnregisterXoverGraphClass();
        qz::UnregisterCommonGridClass();
    }
}

STDMETHODIMP CTqPlugInPropPage::GetPageInfo(PROPPAGEINFO* info)
{
    const HRESULT hr = CBasePropertyPage::GetPageInfo(info);
    if (SUCCEEDED(hr))
        info->size = {kWidth, kHeight};
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
    SendDlgItemMessageA(m_hwnd, ID_GRID, qz::GR_SETDATA, reinterpret_cast<WPARAM>(block), 0);
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
    case WM_LBUTTONDOWN:
        // A click on the bare page abandons a typed entry.
        qz::CloseInPlaceEditor();
        return TRUE;
    case WM_TIMER:
        if (wParam == kTickTimer)
            OnTimerTick();
        return TRUE;
    case qz::PresetManager::kPresetDataRequest:
        // The current parameters as a preset data string, in a buffer from new[].
        ProducePresetData(reinterpret_cast<char**>(wParam));
        return TRUE;
    default:
        break;
    }
    // Everything else acts on the engine.
    if (m_prop == nullptr)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case qz::SL_POSCHANGED:
        OnSliderMoved(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), static_cast<int>(wParam));
        return TRUE;
    case qz::SL_DBLCLK:
        OnSliderReset(static_cast<int>(wParam));
        return TRUE;
    case qz::ED_DELTA:
        OnFieldStep(LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
        return TRUE;
    case qz::CG_DRAG:
        OnCurveDrag(static_cast<int>(wParam), static_cast<int>(lParam));
        return TRUE;
    case qz::SI_CLICK:
        if (static_cast<int>(wParam) == ID_SELECTOR)
            SelectBand(LOWORD(lParam) / kSelectorBandWidth, GetDlgItem(m_hwnd, ID_SELECTOR));
        return TRUE;
    case qz::MM_ADJUST:
        OnThresholdDrag(static_cast<int>(wParam), static_cast<int>(lParam));
        return TRUE;
    case qz::MM_BANDFOCUS:
        SelectBand(static_cast<short>(LOWORD(wParam)), GetDlgItem(m_hwnd, ID_MULTIMETER));
        return TRUE;
    case qz::MM_DBLCLK:
        if (InRange(static_cast<int>(wParam), 0, kBands)) {
            m_prop->UndoCheckpoint(kNewSnapshot);
            SetBand(kThreshold, static_cast<int>(wParam), kThreshold.defaultValue);
            UpdateControls(ID_THRESHOLD + static_cast<int>(wParam), true, true);
        }
        return TRUE;
    case qz::XG_FREQCHANGED:
        if (InRange(static_cast<int>(wParam), 0, kCrossovers)) {
            SetBand(kFreq, static_cast<int>(wParam), qz::CrossoverPosition(static_cast<long>(lParam)));
            UpdateControls(ID_FREQ + static_cast<int>(wParam), true, true);
        }
        return TRUE;
    case qz::XG_GAINDELTA: {
        const int band = static_cast<int>(wParam);
        SetBand(kGain, band, Band(kGain, band) + static_cast<LONG>(lParam));
        if (band == m_selectedBand)
            UpdateControls(ID_GAIN_SLIDER, true, true);
        else
            SelectBand(band, GetDlgItem(m_hwnd, ID_XOVER_GRAPH));
        return TRUE;
    }
    case qz::XG_BANDCLICK:
        SelectBand(static_cast<short>(LOWORD(wParam)), GetDlgItem(m_hwnd, ID_XOVER_GRAPH));
        return TRUE;
    case qz::XG_DRAGSTART:
        m_prop->UndoCheckpoint(kNewSnapshot);
        return TRUE;
    case qz::GR_CELLDELTA:
        OnGridStep(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), static_cast<short>(LOWORD(lParam)));
        return TRUE;
    case qz::GR_CELLDBLCLK:
        OnGridReset(static_cast<int>(wParam), static_cast<short>(LOWORD(lParam)));
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
    m_presets = std::make_unique<qz::PresetManager>(g_hInst, window, "qz:Multiband");
    m_presets->OpenPresetStore(nullptr, qz::PresetClassKey(qz::kCLSID_Filter).c_str(), "qzMultibandDX.ini");
    if (m_prop != nullptr) {
        LONG currentPreset = -1;
        m_prop->GetEditorValue(&currentPreset);
        m_presets->SetCurrentPreset(currentPreset);
        BindGrid(m_prop->GetParamBlockPtr());
        BOOL bypass = FALSE;
        m_prop->GetEffectBypass(&bypass);
        SendDlgItemMessageA(window, ID_BYPASS, qz::PB_SETCHECK, bypass, 0);
        LONG setup = 0;
        m_prop->GetSetup(&setup);
        SetSetupButtonText(setup);
    }
    SetSliderRanges();
    UpdateControls(0, true, true);
    if (m_prop != nullptr)
        UpdateMeters();
    SetTimer(window, kTickTimer, kTickMilliseconds, nullptr);
    m_firstErase = true;
}

void CTqPlugInPropPage::CreateControls()
{
    const auto argument = [](const SetupArgument& a) {
        return a.pixelImage ? reinterpret_cast<LPARAM>(qz::LoadPixelImage(g_hInst, static_cast<int>(a.value)))
                            : a.value;
    };
    for (const ControlEntry& entry : ControlTable(m_font)) {
        HWND control = CreateWindowExA(entry.exStyle, entry.windowClass, entry.text, entry.style, entry.x, entry.y,
                                       entry.width, entry.height, m_hwnd, reinterpret_cast<HMENU>(entry.id), g_hInst,
                                       m_skin);
        if (control == nullptr)
            continue;
        for (const SetupMessage& setup : entry.setup)
            SendMessageA(control, setup.message, argument(setup.wParam), argument(setup.lParam));
    }
}

bool CTqPlugInPropPage::SetSliderRanges()
{
    SendDlgItemMessageA(m_hwnd, ID_ATTACK_SLIDER, qz::SL_SETRANGE, kAttack.minimum, kAttack.maximum);
    SendDlgItemMessageA(m_hwnd, ID_RELEASE_SLIDER, qz::SL_SETRANGE, kRelease.minimum, kRelease.maximum);
    SendDlgItemMessageA(m_hwnd, ID_GAIN_SLIDER, qz::SL_SETRANGE, kGain.minimum, kGain.maximum);
    return true;
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
    m_presets.reset();
    m_firstTick = true;
    m_selectedBand = kAllBands;
    m_ratioOffset = m_gainOffset = 0;
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
    BitBlt(dc, 0, 0, kWidth, kHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

// --- Reaching the engine ----------------------------------------------------------------

LONG CTqPlugInPropPage::Band(const BandParameter& parameter, int band) const
{
    LONG value = 0;
    (m_prop->*parameter.get)(&value, band);
    return value;
}

// Only bands 0..4 are set: in the all-bands view a band control has no band.
void CTqPlugInPropPage::SetBand(const BandParameter& parameter, int band, LONG value)
{
    if (InRange(band, 0, kBands))
        (m_prop->*parameter.set)(value, band, TRUE);
}

LONG CTqPlugInPropPage::Shown(const BandParameter& parameter) const
{
    if (m_selectedBand != kAllBands)
        return Band(parameter, m_selectedBand);
    if (&parameter == &kRatio)
        return m_ratioOffset;
    return &parameter == &kGain ? m_gainOffset : 0;
}

LONG CTqPlugInPropPage::Global(HRESULT (STDMETHODCALLTYPE qz::ITqPlugInProp::*get)(LONG*)) const
{
    LONG value = 0;
    (m_prop->*get)(&value);
    return value;
}

// --- Showing the engine's state -------------------------------------------------------

bool CTqPlugInPropPage::UpdateControls(int controlId, bool setTexts, bool recompute)
{
    if (m_prop == nullptr || m_hwnd == nullptr)
        return false;
    if (controlId == kNotifyCommandId)
        controlId = 0;
    if (recompute)
        m_prop->RecomputeNow();
    ShowViewControls();

    const int sel = m_selectedBand;
    const bool allBands = sel == kAllBands;
    const auto setText = [this](int id, const std::string& text) { SetDlgItemTextA(m_hwnd, id, text.c_str()); };
    HWND xover = GetDlgItem(m_hwnd, ID_XOVER_GRAPH);
    bool repaintXover = false;

    for (int k = 0; k < kBands; ++k) {
        if (!Names(controlId, ID_FREQ + k))
            continue;
        if (k < kCrossovers) {
            const long hz = qz::CrossoverHz(Band(kFreq, k));
            SendMessageA(xover, qz::XG_SETFREQ, hz, k);
            if (setTexts)
                setText(ID_FREQ + k, std::to_string(hz));
        }
        SendMessageA(xover, qz::XG_SETBANDGAIN, Band(kGain, k), k);
        repaintXover = true;
    }
    if (Names(controlId, ID_QFACTOR) && setTexts)
        setText(ID_QFACTOR, qz::FormatHundredths(Global(&Prop::GetQFactor)));
    for (int band = 0; band < kBands; ++band) {
        if (!Names(controlId, ID_THRESHOLD + band))
            continue;
        int threshold = Band(kThreshold, band);
        if (setTexts)
            setText(ID_THRESHOLD + band, qz::FormatTenths(threshold, kThresholdFloor));
        SendDlgItemMessageA(m_hwnd, ID_MULTIMETER, qz::MM_SETTHRESHOLD, reinterpret_cast<WPARAM>(&threshold), band);
    }
    ShowBandButtons(controlId);
    if (Names(controlId, ID_RATIO) && setTexts)
        setText(ID_RATIO, qz::FormatTenths(Shown(kRatio), kNoFloor));
    if (Names(controlId, ID_GAIN_SLIDER)) {
        const LONG gain = Shown(kGain);
        SendDlgItemMessageA(m_hwnd, ID_GAIN_SLIDER, qz::SL_SETPOS, gain, 1);
        if (!allBands)
            SendMessageA(xover, qz::XG_SETBANDGAIN, gain, sel);
        if (setTexts)
            setText(ID_GAIN, qz::FormatTenths(gain, kNoFloor));
        repaintXover = true;
    }
    if (repaintXover)
        InvalidateRect(xover, nullptr, FALSE);
    if (Names(controlId, ID_OUTPUT_GAIN))
        setText(ID_OUTPUT_GAIN, qz::FormatTenths(Global(&Prop::GetOutputGain), kNoFloor));
    if (Names(controlId, ID_KNEE) && setTexts) {
        const LONG knee = Shown(kKnee);
        setText(ID_KNEE, knee == 0 ? "Hard" : std::to_string(knee));
    }
    if (Names(controlId, ID_ATTACK_SLIDER)) {
        const LONG attack = Shown(kAttack);
        SendDlgItemMessageA(m_hwnd, ID_ATTACK_SLIDER, qz::SL_SETPOS, attack, 1);
        if (setTexts)
            setText(ID_ATTACK, FormatAttack(attack));
    }
    if (Names(controlId, ID_RELEASE_SLIDER)) {
        const LONG release = Shown(kRelease);
        SendDlgItemMessageA(m_hwnd, ID_RELEASE_SLIDER, qz::SL_SETPOS, release, 1);
        if (setTexts)
            setText(ID_RELEASE, std::to_string(release));
    }
    if (Names(controlId, ID_TYPE))
        setText(ID_TYPE, Shown(kType) == 0 ? "Normal" : "Vintage");
    if (Names(controlId, ID_TCR))
        SendDlgItemMessageA(m_hwnd, ID_TCR, qz::PB_SETCHECK, Global(&Prop::GetTCR), 1);
    if (Names(controlId, ID_LIMITER))
        SendDlgItemMessageA(m_hwnd, ID_LIMITER, qz::PB_SETCHECK, Global(&Prop::GetLimiter), 1);
    if (Names(controlId, ID_SELECTOR))
        SendDlgItemMessageA(m_hwnd, ID_SELECTOR, qz::SI_SETIMAGE, kSelectorImages[sel], 0);
    if (NamesAny(controlId, {ID_THRESHOLD, ID_THRESHOLD + 1, ID_THRESHOLD + 2, ID_THRESHOLD + 3, ID_THRESHOLD + 4,
                             ID_RATIO, ID_GAIN_SLIDER, ID_KNEE, ID_TYPE})) {
        qz::CurveParams curves[kBands];
        for (int band = 0; band < kBands; ++band)
            curves[band] = {Band(kThreshold, band), Band(kRatio, band), Band(kGain, band), Band(kKnee, band),
                            -600, 100, Band(kType, band)};
        SendDlgItemMessageA(m_hwnd, ID_COMP_GRAPH, qz::CG_SETCURVES, reinterpret_cast<WPARAM>(curves), sel);
    }
    if (controlId == 0) {
        HWND grid = GetDlgItem(m_hwnd, ID_GRID);
        InvalidateRect(grid, nullptr, FALSE);
        UpdateWindow(grid);
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
// bypassed, or silenced because another band is soloed (then in a warmer tint). The
// crossover graph marks the soloed bands.
void CTqPlugInPropPage::ShowBandButtons(int controlId)
{
    LONG solo[kBands] = {}, bypass[kBands] = {};
    bool anySolo = false;
    for (int band = 0; band < kBands; ++band) {
        solo[band] = Band(kSolo, band);
        bypass[band] = Band(kBypass, band);
        SendDlgItemMessageA(m_hwnd, ID_XOVER_GRAPH, qz::XG_SETSOLO, band, solo[band]);
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

// The engine's linear meters in tenths of dB for the band meters, the selected band's
// dot on the curve graph and the output meters, whose peak holds the text above them shows.
void CTqPlugInPropPage::UpdateMeters()
{
    qz::MeterRecord meters{};
    if (FAILED(m_prop->GetMeters(&meters)))
        return;
    int levels[qz::kMultiMeterValues];
    for (int band = 0; band < kBands; ++band) {
        levels[3 * band] = qz::MeterTenths(meters.band[band].left);
        levels[3 * band + 1] = qz::MeterTenths(meters.band[band].right);
        levels[3 * band + 2] = qz::MeterTenths(meters.band[band].gain);
    }
    if (m_selectedBand != kAllBands) {
        int dot[3] = {levels[3 * m_selectedBand], 0, 0};
        SendDlgItemMessageA(m_hwnd, ID_COMP_GRAPH, qz::CG_SETLEVEL, reinterpret_cast<WPARAM>(dot), 0);
    }
    SendDlgItemMessageA(m_hwnd, ID_MULTIMETER, qz::MM_SETVALUES, reinterpret_cast<WPARAM>(levels),
                        qz::kMultiMeterValues);
    SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_LEFT, qz::MT_SETLEVELS, qz::MeterTenths(meters.outputLeft), 0);
    SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_RIGHT, qz::MT_SETLEVELS, qz::MeterTenths(meters.outputRight), 0);

    int left = qz::kNoLevel, right = qz::kNoLevel;
    SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_LEFT, qz::MT_GETMAX, reinterpret_cast<WPARAM>(&left), 0);
    SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_RIGHT, qz::MT_GETMAX, reinterpret_cast<WPARAM>(&right), 0);
    HWND peakText = GetDlgItem(m_hwnd, ID_PEAK_TEXT);
    HDC dc = GetDC(peakText);
    HGDIOBJ previousFont = SelectObject(dc, m_font);
    const std::string text = qz::FormatPeakPair(left, right, [dc](const std::string& part) {
        SIZE size{};
        GetTextExtentPoint32A(dc, part.c_str(), static_cast<int>(part.size()), &size);
        return static_cast<int>(size.cx);
    });
    SelectObject(dc, previousFont);
    ReleaseDC(peakText, dc);
    SetWindowTextA(peakText, text.c_str());
}

// --- Messages -------------------------------------------------------------------------

void CTqPlugInPropPage::OnCommand(int controlId, int code)
{
    // Buttons act when clicked; the engine's notification, the lamp and the peak text
    // react to any code.
    const bool clicked = code == qz::PBN_CLICKED;
    const auto toggleBand = [this](const BandParameter& parameter, int band) {
        m_prop->UndoCheckpoint(kNewSnapshot);
        SetBand(parameter, band, Band(parameter, band) == 0 ? 1 : 0);
    };
    const auto toggleGlobal = [this](HRESULT (STDMETHODCALLTYPE Prop::*get)(LONG*),
                                     HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG, BOOL)) {
        m_prop->UndoCheckpoint(kNewSnapshot);
        (m_prop->*set)(Global(get) == 0 ? 1 : 0, TRUE);
    };

    if (controlId == kNotifyCommandId) {
        UpdateControls(0, true, true);
    } else if (controlId == IDC_OVER_LAMP) {
        m_prop->SetOverIndicator(0, 0);
    } else if (controlId == ID_PEAK_TEXT) {
        SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_LEFT, qz::MT_RESETMAX, 0, 0);
        SendDlgItemMessageA(m_hwnd, ID_OUTPUT_METER_RIGHT, qz::MT_RESETMAX, 0, 0);
        UpdateMeters();
    } else if (code == qz::kFieldTextCommitted) {
        OnTypedEntry(controlId);
    } else if (code == qz::PBN_PRESSED && controlId == ID_SETUP_MENU) {
        // The menus open on the press, under the pointer that still holds the button.
        ShowSetupMenu();
    } else if (code == qz::PBN_PRESSED && controlId == ID_PRESETS) {
        ShowPresetMenu();
    } else if (!clicked) {
        return;
    } else if (InRange(controlId, ID_BAND_SOLO, kBands)) {
        toggleBand(kSolo, controlId - ID_BAND_SOLO);
        UpdateControls(0, true, true);
    } else if (InRange(controlId, ID_BAND_BYPASS, kBands)) {
        toggleBand(kBypass, controlId - ID_BAND_BYPASS);
        UpdateControls(0, true, true);
    } else if (controlId == ID_TYPE) {
        toggleBand(kType, m_selectedBand);
        UpdateControls(ID_TYPE, true, true);
    } else if (controlId == ID_TCR) {
        toggleGlobal(&Prop::GetTCR, &Prop::SetTCR);
        UpdateControls(ID_TCR, true, true);
    } else if (controlId == ID_LIMITER) {
        toggleGlobal(&Prop::GetLimiter, &Prop::SetLimiter);
        UpdateControls(ID_LIMITER, true, true);
    } else {
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

// Enter in a field's in-place editor: its text, read as the field's parameter shows
// it, becomes the value; the engine clamps it to the parameter's range.
void CTqPlugInPropPage::OnTypedEntry(int controlId)
{
    char text[31] = "";
    GetDlgItemTextA(m_hwnd, controlId, text, sizeof text);
    const auto setGlobal = [this](HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG, BOOL), LONG value) {
        (m_prop->*set)(value, TRUE);
    };
    const int sel = m_selectedBand;
    int refresh = controlId;
    bool setTexts = false;

    m_prop->UndoCheckpoint(kNewSnapshot);
    if (InRange(controlId, ID_THRESHOLD, kBands)) {
        SetBand(kThreshold, controlId - ID_THRESHOLD, qz::ParseFixed(text, 1));
    } else if (InRange(controlId, ID_FREQ, kCrossovers)) {
        SetBand(kFreq, controlId - ID_FREQ, qz::CrossoverPosition(qz::ParseFixed(text, 0)));
    } else if (controlId == ID_RATIO) {
        SetBand(kRatio, sel, qz::ParseFixed(text, 1));
    } else if (controlId == ID_KNEE) {
        SetBand(kKnee, sel, qz::ParseFixed(text, 0));
    } else if (controlId == ID_GAIN) {
        SetBand(kGain, sel, qz::ParseFixed(text, 1));
        refresh = ID_GAIN_SLIDER;
    } else if (controlId == ID_ATTACK) {
        SetBand(kAttack, sel, qz::ParseFixed(text, 1));
        refresh = ID_ATTACK_SLIDER;
    } else if (controlId == ID_RELEASE) {
        SetBand(kRelease, sel, qz::ParseFixed(text, 0));
        refresh = ID_RELEASE_SLIDER;
    } else if (controlId == ID_QFACTOR) {
        setGlobal(&Prop::SetQFactor, qz::ParseFixed(text, 2));
        setTexts = true;
    } else if (controlId == ID_OUTPUT_GAIN) {
        setGlobal(&Prop::SetOutputGain, qz::ParseFixed(text, 1));
    } else {
        return;
    }
    // The field keeps the typed text until the step that follows every entry
    // writes the value the engine took.
    UpdateControls(refresh, setTexts, true);
}

// A field's drag, wheel or key step: the value moves by `step` in the parameter's units.
void CTqPlugInPropPage::OnFieldStep(int controlId, int step)
{
    const int sel = m_selectedBand;
    if (step != 0)
        m_prop->UndoCheckpoint(sel * 100 + controlId);
    const auto stepBand = [this, sel, step](const BandParameter& parameter) {
        SetBand(parameter, sel, Band(parameter, sel) + step);
    };
    const auto stepGlobal = [this, step](HRESULT (STDMETHODCALLTYPE Prop::*get)(LONG*),
                                         HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG, BOOL)) {
        (m_prop->*set)(Global(get) + step, TRUE);
    };

    if (controlId == ID_RATIO || controlId == ID_GAIN) {
        const BandParameter& parameter = controlId == ID_RATIO ? kRatio : kGain;
        if (sel == kAllBands) {
            StepEveryBand(parameter, step);
            UpdateControls(0, true, true);
        } else {
            stepBand(parameter);
            UpdateControls(controlId == ID_RATIO ? ID_RATIO : ID_GAIN_SLIDER, true, true);
        }
    } else if (controlId == ID_KNEE) {
        stepBand(kKnee);
        UpdateControls(ID_KNEE, true, true);
    } else if (controlId == ID_ATTACK) {
        stepBand(kAttack);
        UpdateControls(ID_ATTACK_SLIDER, true, true);
    } else if (controlId == ID_RELEASE) {
        stepBand(kRelease);
        UpdateControls(ID_RELEASE_SLIDER, true, true);
    } else if (controlId == ID_QFACTOR) {
        stepGlobal(&Prop::GetQFactor, &Prop::SetQFactor);
        UpdateControls(controlId, true, true);
    } else if (controlId == ID_OUTPUT_GAIN) {
        stepGlobal(&Prop::GetOutputGain, &Prop::SetOutputGain);
        UpdateControls(controlId, true, true);
    } else if (InRange(controlId, ID_THRESHOLD, kBands)) {
        const int band = controlId - ID_THRESHOLD;
        SetBand(kThreshold, band, Band(kThreshold, band) + step);
        UpdateControls(controlId, true, true);
    } else if (InRange(controlId, ID_FREQ, kCrossovers)) {
        StepCrossover(controlId - ID_FREQ, step);
    }
}

// The all-bands view steps every band by the same amount, cut so that no band
// leaves the range: the loudest band stops at the top and the others keep their
// distance to it.
void CTqPlugInPropPage::StepEveryBand(const BandParameter& parameter, int step)
{
    LONG values[kBands];
    for (int band = 0; band < kBands; ++band) {
        values[band] = Band(parameter, band);
        if (values[band] + step > parameter.maximum)
            step = parameter.maximum - values[band];
        if (values[band] + step < parameter.minimum)
            step = parameter.minimum - values[band];
    }
    (&parameter == &kRatio ? m_ratioOffset : m_gainOffset) += step;
    for (int band = 0; band < kBands; ++band)
        SetBand(parameter, band, values[band] + step);
}

// The crossovers stay in order: one stepped past its neighbours carries them along.
void CTqPlugInPropPage::StepCrossover(int crossover, int step)
{
    const LONG position = Band(kFreq, crossover) + step;
    SetBand(kFreq, crossover, position);
    bool carried = false;
    for (int other = 0; other < kCrossovers; ++other) {
        const LONG at = Band(kFreq, other);
        if ((other < crossover && at > position) || (other > crossover && at < position)) {
            SetBand(kFreq, other, position);
            carried = true;
        }
    }
    UpdateControls(carried ? 0 : ID_FREQ + crossover, true, true);
}

void CTqPlugInPropPage::OnSliderMoved(int sliderId, int position)
{
    if (const BandParameter* parameter = SliderParameter(sliderId)) {
        m_prop->UndoCheckpoint(m_selectedBand * 100 + sliderId);
        SetBand(*parameter, m_selectedBand, position);
        UpdateControls(sliderId, true, true);
    }
}

// A double-click puts the slider's parameter back to its default.
void CTqPlugInPropPage::OnSliderReset(int sliderId)
{
    if (const BandParameter* parameter = SliderParameter(sliderId)) {
        m_prop->UndoCheckpoint(kNewSnapshot);
        SetBand(*parameter, m_selectedBand, parameter->defaultValue);
        UpdateControls(sliderId, true, true);
    }
}

// Dragging the curve: up and down change the ratio, faster the farther one step
// goes; left and right change the knee.
void CTqPlugInPropPage::OnCurveDrag(int dx, int dy)
{
    const int sel = m_selectedBand;
    m_prop->UndoCheckpoint(kCurveDragKey);
    SetBand(kRatio, sel, Band(kRatio, sel) + std::clamp(dy * std::abs(dy), -16, 16));
    UpdateControls(ID_RATIO, true, true);
    SetBand(kKnee, sel, Band(kKnee, sel) + dx);
    UpdateControls(ID_KNEE, true, true);
}

// A threshold handle of the band meters moved by `step`; one drag step that moves
// several bands marks the later ones so that they join the first one's undo step.
void CTqPlugInPropPage::OnThresholdDrag(int step, int band)
{
    if (band < 0) {
        m_prop->UndoCheckpoint(kThresholdDragEnd);
        return;
    }
    if (band < qz::kSameStepBand)
        m_prop->UndoCheckpoint(kThresholdDragKey + band);
    else
        band -= qz::kSameStepBand;
    SetBand(kThreshold, band, Band(kThreshold, band) + step);
    UpdateControls(ID_THRESHOLD + band, true, true);
}

// A grid cell stepped: the row's parameter of that band, or of every band for the
// label column.
void CTqPlugInPropPage::OnGridStep(int row, int column, int step)
{
    if (!InRange(row, 0, static_cast<int>(std::size(kGridRows))))
        return;
    m_prop->UndoCheckpoint(kGridKey + (column < 0 ? -1 : column));
    const BandParameter& parameter = *kGridRows[row];
    for (int band = 0; band < kBands; ++band)
        if (column < 0 || column == band)
            SetBand(parameter, band, Band(parameter, band) + step);
    UpdateControls(0, true, true);
}

// A double-click on a row's label resets that parameter in every band.
void CTqPlugInPropPage::OnGridReset(int row, int column)
{
    if (!InRange(row, 0, static_cast<int>(std::size(kGridRows))))
        return;
    m_prop->UndoCheckpoint(kNewSnapshot);
    if (column >= 0)
        return;
    const BandParameter& parameter = *kGridRows[row];
    for (int band = 0; band < kBands; ++band)
        SetBand(parameter, band, parameter.defaultValue);
    UpdateControls(0, true, true);
}

void CTqPlugInPropPage::SelectBand(int band, HWND reporter)
{
    m_selectedBand = InRange(band, 0, kBands) ? band : kAllBands;
    const int graphBand = m_selectedBand == kAllBands ? -1 : m_selectedBand;
    HWND xover = GetDlgItem(m_hwnd, ID_XOVER_GRAPH);
    HWND meters = GetDlgItem(m_hwnd, ID_MULTIMETER);
    if (reporter != xover)
        SendMessageA(xover, qz::XG_SETSELECTED, graphBand, 0);
    if (reporter != meters)
        SendMessageA(meters, qz::MM_SELECTBAND, graphBand, 0);
    UpdateControls(0, true, true);
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
        m_prop->UndoCheckpoint(kNewSnapshot);
        // The other setup starts as a copy of the current parameters, once per filter:
        // later openings leave what the user put there.
        m_prop->SeedOtherSetup();
        // The frame focuses the first button; a stray space key must not bypass the
        // effect, so the band meters take the focus.
        if (GetFocus() == GetDlgItem(m_hwnd, ID_BYPASS))
            SetFocus(GetDlgItem(m_hwnd, ID_MULTIMETER));
    }
    UpdateMeters();
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
    LONG setup = 0;
    m_prop->GetSetup(&setup);
    SelectSetup(1 - setup);
}

void CTqPlugInPropPage::SelectSetup(LONG setup)
{
    m_prop->UndoCheckpoint(kNewSnapshot);
    m_prop->SelectSetup(setup);
    SetSetupButtonText(setup);
    UpdateControls(0, true, true);
}

// The setup menu: either setup, and copying the current parameters to the other
// setup or back. Copying to the other setup changes nothing the user hears, so it
// takes no undo step.
void CTqPlugInPropPage::ShowSetupMenu()
{
    LONG setup = 0;
    m_prop->GetSetup(&setup);
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, ID_MENU_SETUP_A, "Setup A");
    AppendMenuA(menu, MF_STRING, ID_MENU_SETUP_B, "Setup B");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, ID_MENU_COPY_TO_OTHER, setup == 0 ? "Copy to B" : "Copy to A");
    AppendMenuA(menu, MF_STRING, ID_MENU_COPY_FROM_OTHER, setup == 0 ? "Copy from B" : "Copy from A");
    CheckMenuRadioItem(menu, 0, 2, setup, MF_BYPOSITION);
    const int choice = TrackMenuUnder(menu, ID_SETUP);
    DestroyMenu(menu);
    SendDlgItemMessageA(m_hwnd, ID_SETUP_MENU, qz::PB_RELEASE, 0, 0);

    switch (choice) {
    case ID_MENU_SETUP_A:
    case ID_MENU_SETUP_B:
        SelectSetup(choice == ID_MENU_SETUP_A ? 0 : 1);
        break;
    case ID_MENU_COPY_TO_OTHER:
        m_prop->CopySetup(0, 1);
        break;
    case ID_MENU_COPY_FROM_OTHER:
        m_prop->UndoCheckpoint(kNewSnapshot);
        m_prop->CopySetup(1, 0);
        UpdateControls(0, true, true);
        break;
    default:
        break;
    }
}

// The preset menu: add a preset, open the manager, update the current preset, or
// choose a stored preset, whose settings replace the current ones in one undo step.
void CTqPlugInPropPage::ShowPresetMenu()
{
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, qz::PresetManager::kAddPresetCommand, "Add Preset...");
    AppendMenuA(menu, MF_STRING, qz::PresetManager::kManagerCommand, "Preset Manager...");
    m_presets->BuildPresetMenu(menu);
    const int choice = TrackMenuUnder(menu, ID_PRESETS);
    DestroyMenu(menu);
    int version = 0;
    if (const char* data = choice > 0 ? m_presets->AnswerPresetMenu(choice, &version) : nullptr) {
        m_prop->UndoCheckpoint(kNewSnapshot);
        qz::ApplyPresetData(*m_prop, data);
        UpdateControls(0, true, true);
        InvalidateRect(m_hwnd, nullptr, FALSE);
    }
    SendDlgItemMessageA(m_hwnd, ID_PRESETS, qz::PB_RELEASE, 0, 0);
}

int CTqPlugInPropPage::TrackMenuUnder(HMENU menu, int buttonId)
{
    RECT button;
    GetWindowRect(GetDlgItem(m_hwnd, buttonId), &button);
    return TrackPopupMenu(menu, TPM_RETURNCMD, button.left + 1, button.bottom - 1, 0, m_hwnd, nullptr);
}

void CTqPlugInPropPage::SetSetupButtonText(LONG setup)
{
    SetDlgItemTextA(m_hwnd, ID_SETUP, setup == 1 ? "Setup B" : "Setup A");
}

// The built-in defaults; QFactor, the spares, the effect bypass and the setup index
// keep their values.
void CTqPlugInPropPage::ResetToDefaults()
{
    m_prop->UndoCheckpoint(kNewSnapshot);
    for (int band = 0; band < kBands; ++band)
        for (const BandParameter* parameter : kResetOrder)
            SetBand(*parameter, band, parameter->defaultValue);
    for (int crossover = 0; crossover < kCrossovers; ++crossover)
        SetBand(kFreq, crossover, kCrossoverDefaults[crossover]);
    m_prop->SetTCR(0, TRUE);
    m_prop->SetLimiter(1, TRUE);
    m_prop->SetOutputGain(0, TRUE);
    UpdateControls(0, true, true);
}
