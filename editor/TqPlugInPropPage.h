// CTqPlugInPropPage: the filter's editor, a 570 x 436 page painted from the skin,
// whose skinned controls show and change the engine's parameters through
// ITqPlugInProp. It polls the engine every 50 ms for automation changes and the
// over indicator, and re-reads every control when the engine notifies it.
#pragma once

#include "ITqPlugInProp.h"
#include "PageBindings.h"
#include "PropertyPage.h"

#include <memory>

namespace qz {
class PresetManager;
}

class CTqPlugInPropPage : public CBasePropertyPage {
public:
    // The selected band value of the all-bands view (bands are 0..4).
    static constexpr int kAllBands = 5;
    // The id under which the engine's notifications arrive as WM_COMMAND.
    static constexpr int kNotifyCommandId = 32700;

    // The factory's creation function.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* result);
    ~CTqPlugInPropPage() override;

    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP Help(LPCOLESTR helpDirectory) override;
    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Gives the three sliders their value ranges. True.
    virtual bool SetSliderRanges();
    // Refreshes the controls from the engine: `controlId` names one control, or 0
    // (and the engine's notification id) all of them. False without an engine or
    // a page window. `setTexts` lets the numeric fields keep what the user is typing.
    virtual bool UpdateControls(int controlId, bool setTexts, bool recompute);

private:
    using BoundControl = qz::page::BoundControl;

    explicit CTqPlugInPropPage(LPUNKNOWN outer);

    // Window lifetime.
    void InitDialog(HWND window);
    void Teardown();
    void CreateControls();
    void PaintBackground(HDC dc);

    // The engine's state shown by the controls.
    void ShowViewControls();
    void ShowBandButtons(int controlId);
    // The grid shows the engine's parameter block in place: it is handed the block on
    // every connection and loses it before the engine is released.
    void BindGrid(qz::ParamBlock* block);
    void ShowBinding(const BoundControl& control, bool setTexts);
    void ShowCurves();
    void UpdateMeters();
    // The band, crossover or nothing (globals) a control's value belongs to.
    int IndexOf(const BoundControl& control) const;
    LONG Value(const BoundControl& control) const;
    void SetValue(const BoundControl& control, LONG value);
    // What the control shows: its value, or in the all-bands view, for a band
    // control, how far its steps moved every band.
    LONG Shown(const BoundControl& control) const;

    // Messages.
    void OnCommand(int controlId, int code);
    void OnClick(int controlId);
    void OnTypedEntry(int controlId);
    void OnFieldStep(int controlId, int step);
    void StepEveryBand(const BoundControl& control, int step);
    bool StepKeepingOrder(const BoundControl& control, int step);
    void RefreshAfterChange(const BoundControl& control, bool reachedFurther);
    void OnSliderMoved(int sliderId, int position);
    void OnSliderReset(int sliderId);
    void OnCurveDrag(int dx, int dy);
    void OnThresholdDrag(int step, int band);
    void OnGridStep(int row, int column, int step);
    void OnGridReset(int row, int column);
    // Selects a band (0..4) or the all-bands view (any other value) and tells the
    // graphs, except the one that reported the choice.
    void SelectBand(int band, HWND reporter);
    void OnTimerTick();
    void ProducePresetData(char** buffer);

    // Page commands of the top row.
    void ToggleEffectBypass();
    void UndoLastChange();
    void SwitchSetup();
    void SelectSetup(LONG setup);
    void ShowSetupMenu();
    void ShowPresetMenu();
    // Shows a popup menu under a button of the top row; the chosen id, or 0.
    int TrackMenuUnder(HMENU menu, int buttonId);
    void ResetToDefaults();
    void SetSetupButtonText(LONG setup);

    qz::ITqPlugInProp* m_prop = nullptr;  // held while connected
    HBITMAP m_skin = nullptr;
    HPALETTE m_skinPalette = nullptr;
    HFONT m_font = nullptr;               // the page font; the stock GUI font when creation failed
    bool m_ownsFont = false;
    HBITMAP m_lamps[3] = {};                       // over lamp: off, latched, active
    std::unique_ptr<qz::PresetManager> m_presets;  // while the window exists
    // Per binding, for the all-bands view: the sum of the steps that moved every band
    // at once.
    LONG m_allBandsOffsets[qz::page::kBindingCount] = {};
    bool m_firstTick = true;
    bool m_firstErase = false;
    int m_selectedBand = kAllBands;

    static volatile LONG s_pagesAlive;
};
