#pragma once
// The engine's own interface: everything the editor page reads and changes. The method
// order is the interface's table order and never changes; stored host projects and the
// page depend on it. Band indices are 0..4, crossover indices 0..3. Getters copy the
// stored engine integer; setters take (value, [index,] notify) and clamp.

#include "MeterFeed.h"
#include "ParamBlock.h"
#include "qz_platform.h"

namespace qz {

struct ITqPlugInProp : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetParamBlock(ParamBlock* block) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyParamBlock(const ParamBlock* block) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFormat(WAVEFORMATEX* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNotifyWindow(HWND window, LONG commandId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLimiter(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLimiter(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpare1(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSpare1(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputGain(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputGain(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQFactor(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQFactor(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpare2(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSpare2(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTCR(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTCR(LONG value, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFreq(LONG* value, LONG crossover) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFreq(LONG value, LONG crossover, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSolo(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSolo(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBypass(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBypass(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttack(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttack(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRelease(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRelease(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreshold(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetThreshold(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRatio(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRatio(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGain(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGain(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKnee(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetKnee(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType(LONG* value, LONG band) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetType(LONG value, LONG band, BOOL notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndCapture() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCaptureMode(BOOL hold, BOOL multiCapture) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndicator2(LONG* value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIndicator2(LONG value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndicator3(LONG* value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIndicator3(LONG value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOverIndicator(LONG* value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOverIndicator(LONG value, LONG channel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMeters(MeterRecord* meters) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecomputeNow() = 0;
    virtual ParamBlock* STDMETHODCALLTYPE GetParamBlockPtr() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStreaming(BOOL streaming) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreaming(BOOL* streaming) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRunning(BOOL running) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunning(BOOL* running) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsProcessing() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEditorValue(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEditorValue(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEffectBypass(BOOL* bypass) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEffectBypass(BOOL bypass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSetup(LONG* setup) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectSetup(LONG setup) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopySetup(LONG from, LONG to) = 0;
    virtual HRESULT STDMETHODCALLTYPE UndoCheckpoint(LONG controlId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Undo() = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChanged(BOOL changed) = 0;
    // The editor's first opening on this engine makes the other setup a copy of the
    // current one; later openings leave the user's other setup alone. S_OK when the
    // copy was made now, S_FALSE when an earlier call already made it.
    virtual HRESULT STDMETHODCALLTYPE SeedOtherSetup() = 0;

protected:
    ~ITqPlugInProp() = default;
};

} // namespace qz
