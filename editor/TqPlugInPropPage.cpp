#include "TqPlugInPropPage.h"

#include "Controls.h"
#include "DisplayFormats.h"
#include "PageBindings.h"
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
#include <initializer_list>
#include <iterator>
#include <new>
#include <string>

namespace {

using namespace qz::page;

constexpr UINT_PTR kTickTimer = 0;
constexpr UINT kTickMilliseconds = 50;

// The grid's rows, top to bottom.
const PageParameter* const kGridRows[] = {&kRatio, &kKnee, &kType, &kGain, &kAttack, &kRelease};
// What Reset sets in every band, in this order.
const PageParameter* const kResetOrder[] = {&kAttack, &kRelease, &kThreshold, &kRatio, &kGain,
                                            &kKnee,   &kType,    &kSolo,      &kBypass};

// Undo checkpoint keys. Equal keys in a row, while a capture is in progress, make one
// undo step; a new snapshot is always taken for kNewSnapshot.
constexpr LONG kNewSnapshot = -2;
constexpr LONG kThresholdDragEnd = -1;
constexpr LONG kThresholdDragKey = 3000;  // + band
constexpr LONG kGridKey = 9876;           // + band, 9875 for every band
constexpr LONG kCurveDragKey = 12345;

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

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

// The field a typed entry or a step comes from; nothing for any other control.
BoundControl FindField(int controlId)
{
    const BoundControl control = FindBinding(controlId);
    const bool field = control && control.binding->Typed() && control.binding->controlId + control.index == controlId;
    return field ? control : BoundControl{};
}

BoundControl FindSlider(int sliderId)
{
    const BoundControl control = FindBinding(sliderId);
    return control && control.binding->sliderId == sliderId ? control : BoundControl{};
}

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
            const int band = static_cast<int>(wParam);
            m_prop->UndoCheckpoint(kNewSnapshot);
            kThreshold.Set(*m_prop, band, kThreshold.Default(band));
            UpdateControls(ID_THRESHOLD + band, true, true);
        }
        return TRUE;
    case qz::XG_FREQCHANGED:
        if (InRange(static_cast<int>(wParam), 0, kCrossovers)) {
            kFreq.Set(*m_prop, static_cast<int>(wParam), qz::CrossoverPosition(static_cast<long>(lParam)));
            UpdateControls(ID_FREQ + static_cast<int>(wParam), true, true);
        }
        return TRUE;
    case qz::XG_GAINDELTA: {
        const int band = static_cast<int>(wParam);
        kGain.Set(*m_prop, band, kGain.Get(*m_prop, band) + static_cast<LONG>(lParam));
        if (band == m_selectedBand)
            UpdateControls(ID_GAIN, true, true);
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

// Each slider spans its parameter's range.
bool CTqPlugInPropPage::SetSliderRanges()
{
    for (const Binding& binding : kBindings)
        if (binding.sliderId != 0)
            SendDlgItemMessageA(m_hwnd, binding.sliderId, qz::SL_SETRANGE, binding.parameter->Minimum(),
                                binding.parameter->Maximum());
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
    std::fill(std::begin(m_allBandsOffsets), std::end(m_allBandsOffsets), 0);
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

// A control of a run reaches its band or crossover; the band controls the selected
// band (5 in the all-bands view, where the engine answers 0 and sets nothing).
int CTqPlugInPropPage::IndexOf(const BoundControl& control) const
{
    return control.binding->reach == Reach::SelectedBand ? m_selectedBand : control.index;
}

LONG CTqPlugInPropPage::Value(const BoundControl& control) const
{
    return control.binding->parameter->Get(*m_prop, IndexOf(control));
}

void CTqPlugInPropPage::SetValue(const BoundControl& control, LONG value)
{
    control.binding->parameter->Set(*m_prop, IndexOf(control), value);
}

// The all-bands view shows, for a band control, how far its steps moved every band.
LONG CTqPlugInPropPage::Shown(const BoundControl& control) const
{
    if (control.binding->reach == Reach::SelectedBand && m_selectedBand == kAllBands)
        return m_allBandsOffsets[control.binding - kBindings];
    return Value(control);
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

    bool curves = false, crossoverGraph = false;
    for (const Binding& binding : kBindings)
        for (int index = 0; index < binding.Count(); ++index)
            if (Names(controlId, binding.controlId + index) || (binding.sliderId != 0 && controlId == binding.sliderId)) {
                ShowBinding({&binding, index}, setTexts);
                curves = curves || binding.drawnAsCurves;
                crossoverGraph = crossoverGraph || binding.feeds == Feeds::CrossoverFrequency ||
                                 binding.feeds == Feeds::CrossoverBandGain;
            }
    ShowBandButtons(controlId);
    HWND xover = GetDlgItem(m_hwnd, ID_XOVER_GRAPH);
    if (controlId == 0)
        for (int band = 0; band < kBands; ++band)
            SendMessageA(xover, qz::XG_SETBANDGAIN, kGain.Get(*m_prop, band), band);
    if (crossoverGraph)
        InvalidateRect(xover, nullptr, FALSE);
    if (Names(controlId, ID_SELECTOR))
        SendDlgItemMessageA(m_hwnd, ID_SELECTOR, qz::SI_SETIMAGE, kSelectorImages[m_selectedBand], 0);
    if (curves)
        ShowCurves();
    if (controlId == 0) {
        HWND grid = GetDlgItem(m_hwnd, ID_GRID);
        InvalidateRect(grid, nullptr, FALSE);
        UpdateWindow(grid);
    }
    return true;
}

// One bound control (and its slider) shows the engine's value; so do the graph
// elements that show the same parameter. `setTexts` is false only for the refresh
// that follows a typed entry: the field keeps the typed text until the step that
// follows every entry writes the value the engine took.
void CTqPlugInPropPage::ShowBinding(const BoundControl& control, bool setTexts)
{
    const Binding& binding = *control.binding;
    const int id = binding.controlId + control.index;
    const LONG value = Shown(control);
    switch (binding.shows) {
    case Shows::Text:
        if (setTexts || binding.alwaysText)
            SetDlgItemTextA(m_hwnd, id, qz::FormatValue(binding.format, value).c_str());
        break;
    case Shows::Check:
        SendDlgItemMessageA(m_hwnd, id, qz::PB_SETCHECK, value, 1);
        break;
    case Shows::BandButton:  // ShowBandButtons: a band's buttons depend on the other bands
        break;
    }
    if (binding.sliderId != 0)
        SendDlgItemMessageA(m_hwnd, binding.sliderId, qz::SL_SETPOS, value, 1);
    switch (binding.feeds) {
    case Feeds::Nothing:
        break;
    case Feeds::BandMeterThreshold: {
        int threshold = value;
        SendDlgItemMessageA(m_hwnd, ID_MULTIMETER, qz::MM_SETTHRESHOLD, reinterpret_cast<WPARAM>(&threshold),
                            control.index);
        break;
    }
    case Feeds::CrossoverFrequency:
        SendDlgItemMessageA(m_hwnd, ID_XOVER_GRAPH, qz::XG_SETFREQ, qz::CrossoverHz(value), control.index);
        break;
    case Feeds::CrossoverBandGain:
        if (m_selectedBand != kAllBands)
            SendDlgItemMessageA(m_hwnd, ID_XOVER_GRAPH, qz::XG_SETBANDGAIN, value, m_selectedBand);
        break;
    }
}

// The compressor graph draws every band's curve, the selected one on top.
void CTqPlugInPropPage::ShowCurves()
{
    qz::CurveParams curves[kBands];
    for (int band = 0; band < kBands; ++band)
        curves[band] = {kThreshold.Get(*m_prop, band), kRatio.Get(*m_prop, band), kGain.Get(*m_prop, band),
                        kKnee.Get(*m_prop, band), -600, 100, kType.Get(*m_prop, band)};
    SendDlgItemMessageA(m_hwnd, ID_COMP_GRAPH, qz::CG_SETCURVES, reinterpret_cast<WPARAM>(curves), m_selectedBand);
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
        solo[band] = kSolo.Get(*m_prop, band);
        bypass[band] = kBypass.Get(*m_prop, band);
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
    } else if (code == qz::PBN_CLICKED) {
        OnClick(controlId);
    }
}

// A click on a button: a parameter's switch, or a page command.
void CTqPlugInPropPage::OnClick(int controlId)
{
    if (const BoundControl control = FindBinding(controlId); control && control.binding->change == Change::Toggle) {
        m_prop->UndoCheckpoint(kNewSnapshot);
        SetValue(control, Value(control) == 0 ? 1 : 0);
        RefreshAfterChange(control, false);
        return;
    }
    switch (controlId) {
    case ID_BYPASS: ToggleEffectBypass(); break;
    case ID_UNDO: UndoLastChange(); break;
    case ID_SETUP: SwitchSetup(); break;
    case ID_RESET: ResetToDefaults(); break;
    case ID_HELP: qz::ShowHelp(m_hwnd, g_hInst); break;
    default: break;
    }
}

// The controls that show a change made through `control`: its own (with its slider),
// or all of them when the change reached further, since a band's solo lights the other
// bands' bypass buttons and a step can carry other bands or crossovers along.
void CTqPlugInPropPage::RefreshAfterChange(const BoundControl& control, bool reachedFurther)
{
    const bool all = reachedFurther || control.binding->shows == Shows::BandButton;
    UpdateControls(all ? 0 : control.binding->controlId + control.index, true, true);
}

// Enter in a field's in-place editor: its text, read as the field shows its value,
// becomes the value; the engine clamps it to the parameter's range.
void CTqPlugInPropPage::OnTypedEntry(int controlId)
{
    const BoundControl control = FindField(controlId);
    if (!control)
        return;
    char text[31] = "";
    GetDlgItemTextA(m_hwnd, controlId, text, sizeof text);
    m_prop->UndoCheckpoint(kNewSnapshot);
    SetValue(control, qz::ParseValue(control.binding->format, text));
    UpdateControls(controlId, false, true);
}

// A field's drag, wheel or key step: the value moves by `step` in the parameter's units.
// A step of 0 (after every typed entry, and whenever a field loses the focus) changes
// nothing: it writes the value the engine holds back into the field.
void CTqPlugInPropPage::OnFieldStep(int controlId, int step)
{
    const BoundControl control = FindField(controlId);
    if (!control)
        return;
    if (step == 0) {
        UpdateControls(controlId, true, true);
        return;
    }
    m_prop->UndoCheckpoint(m_selectedBand * 100 + controlId);
    bool reachedFurther = false;
    switch (control.binding->change) {
    case Change::StepEveryBand:
        if (m_selectedBand == kAllBands) {
            StepEveryBand(control, step);
            reachedFurther = true;
            break;
        }
        SetValue(control, Value(control) + step);
        break;
    case Change::StepKeepingOrder:
        reachedFurther = StepKeepingOrder(control, step);
        break;
    case Change::Step:
    case Change::Toggle:
        SetValue(control, Value(control) + step);
        break;
    }
    RefreshAfterChange(control, reachedFurther);
}

// The all-bands view steps every band by the same amount, cut so that no band
// leaves the range: the loudest band stops at the top and the others keep their
// distance to it.
void CTqPlugInPropPage::StepEveryBand(const BoundControl& control, int step)
{
    const PageParameter& parameter = *control.binding->parameter;
    LONG values[kBands];
    for (int band = 0; band < kBands; ++band) {
        values[band] = parameter.Get(*m_prop, band);
        if (values[band] + step > parameter.Maximum())
            step = parameter.Maximum() - values[band];
        if (values[band] + step < parameter.Minimum())
            step = parameter.Minimum() - values[band];
    }
    m_allBandsOffsets[control.binding - kBindings] += step;
    for (int band = 0; band < kBands; ++band)
        parameter.Set(*m_prop, band, values[band] + step);
}

// The crossovers stay in order: one stepped past its neighbours carries them along.
// True when another crossover moved.
bool CTqPlugInPropPage::StepKeepingOrder(const BoundControl& control, int step)
{
    const PageParameter& parameter = *control.binding->parameter;
    const int moved = control.index;
    const LONG position = parameter.Get(*m_prop, moved) + step;
    parameter.Set(*m_prop, moved, position);
    bool carried = false;
    for (int other = 0; other < control.binding->Count(); ++other) {
        const LONG at = parameter.Get(*m_prop, other);
        if ((other < moved && at > position) || (other > moved && at < position)) {
            parameter.Set(*m_prop, other, position);
            carried = true;
        }
    }
    return carried;
}

void CTqPlugInPropPage::OnSliderMoved(int sliderId, int position)
{
    const BoundControl control = FindSlider(sliderId);
    if (!control)
        return;
    m_prop->UndoCheckpoint(m_selectedBand * 100 + sliderId);
    SetValue(control, position);
    UpdateControls(sliderId, true, true);
}

// A double-click puts the slider's parameter back to its default.
void CTqPlugInPropPage::OnSliderReset(int sliderId)
{
    const BoundControl control = FindSlider(sliderId);
    if (!control)
        return;
    m_prop->UndoCheckpoint(kNewSnapshot);
    SetValue(control, control.binding->parameter->Default(IndexOf(control)));
    UpdateControls(sliderId, true, true);
}

// Dragging the curve: up and down change the ratio, faster the farther one step
// goes; left and right change the knee.
void CTqPlugInPropPage::OnCurveDrag(int dx, int dy)
{
    const int sel = m_selectedBand;
    m_prop->UndoCheckpoint(kCurveDragKey);
    kRatio.Set(*m_prop, sel, kRatio.Get(*m_prop, sel) + std::clamp(dy * std::abs(dy), -16, 16));
    UpdateControls(ID_RATIO, true, true);
    kKnee.Set(*m_prop, sel, kKnee.Get(*m_prop, sel) + dx);
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
    kThreshold.Set(*m_prop, band, kThreshold.Get(*m_prop, band) + step);
    UpdateControls(ID_THRESHOLD + band, true, true);
}

// A grid cell stepped: the row's parameter of that band, or of every band for the
// label column.
void CTqPlugInPropPage::OnGridStep(int row, int column, int step)
{
    if (!InRange(row, 0, static_cast<int>(std::size(kGridRows))))
        return;
    m_prop->UndoCheckpoint(kGridKey + (column < 0 ? -1 : column));
    const PageParameter& parameter = *kGridRows[row];
    for (int band = 0; band < kBands; ++band)
        if (column < 0 || column == band)
            parameter.Set(*m_prop, band, parameter.Get(*m_prop, band) + step);
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
    const PageParameter& parameter = *kGridRows[row];
    for (int band = 0; band < kBands; ++band)
        parameter.Set(*m_prop, band, parameter.Default(band));
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
        for (const PageParameter* parameter : kResetOrder)
            parameter->Set(*m_prop, band, parameter->Default(band));
    for (int crossover = 0; crossover < kCrossovers; ++crossover)
        kFreq.Set(*m_prop, crossover, kFreq.Default(crossover));
    for (const PageParameter* global : {&kTCR, &kLimiter, &kOutputGain})
        global->Set(*m_prop, 0, global->Default(0));
    UpdateControls(0, true, true);
}
