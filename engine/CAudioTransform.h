#pragma once
// The dynamics engine: the parameters in engine form, setups and undo, the capture
// gestures reported to the automation object, the meters for the editor, and the
// block processing that the filter's streaming thread drives. The filter derives from
// it and supplies the IUnknown operations and IsProcessing.

#include <atomic>

#include "EngineAutomation.h"
#include "ITqPlugInProp.h"
#include "MeterFeed.h"
#include "ParamTable.h"
#include "SignalPath.h"
#include "qz_platform.h"

namespace qz {

enum class BlockMode { Discontinuity = 0, Continuous = 1, Flush = 2 };

// One media sample as the transform step sees it.
struct MediaBuffer {
    BYTE* data = nullptr;
    LONG capacity = 0;          // bytes the buffer can hold
    LONG length = 0;            // valid bytes; set to what was written
    bool discontinuity = false; // first sample after a break
    bool hasStartTime = false;
    REFERENCE_TIME startTime = 0;  // 100-ns units
};

// Engine notification codes posted to editor windows (high word of WM_COMMAND's wParam).
constexpr int kNotifyInputTypeSet = 0;
constexpr int kNotifyOutputTypeSet = 1;
constexpr int kNotifyBlockLoaded = 100;

class CAudioTransform : public ITqPlugInProp {
public:
    // makeAutomation may be null (no automation object). If *result already holds a
    // failure, no automation object is created; a failing factory stores its failure.
    CAudioTransform(AutomationFactory makeAutomation, HRESULT* result);
    virtual ~CAudioTransform();

    CAudioTransform(const CAudioTransform&) = delete;
    CAudioTransform& operator=(const CAudioTransform&) = delete;

    // --- ITqPlugInProp (IUnknown and IsProcessing are the filter's) ---
    HRESULT STDMETHODCALLTYPE GetParamBlock(ParamBlock* block) override;
    HRESULT STDMETHODCALLTYPE ApplyParamBlock(const ParamBlock* block) override;
    HRESULT STDMETHODCALLTYPE GetFormat(WAVEFORMATEX* format) override;
    HRESULT STDMETHODCALLTYPE SetNotifyWindow(HWND window, LONG commandId) override;
    HRESULT STDMETHODCALLTYPE GetLimiter(LONG* v) override { return GetField(BlockIndex::Limiter, v); }
    HRESULT STDMETHODCALLTYPE SetLimiter(LONG v, BOOL notify) override { return SetField(BlockIndex::Limiter, v, notify); }
    HRESULT STDMETHODCALLTYPE GetSpare1(LONG* v) override { return GetField(BlockIndex::Spare1, v); }
    HRESULT STDMETHODCALLTYPE SetSpare1(LONG v, BOOL notify) override { return SetField(BlockIndex::Spare1, v, notify); }
    HRESULT STDMETHODCALLTYPE GetOutputGain(LONG* v) override { return GetField(BlockIndex::OutputGain, v); }
    HRESULT STDMETHODCALLTYPE SetOutputGain(LONG v, BOOL notify) override { return SetField(BlockIndex::OutputGain, v, notify); }
    HRESULT STDMETHODCALLTYPE GetQFactor(LONG* v) override { return GetField(BlockIndex::QFactor, v); }
    HRESULT STDMETHODCALLTYPE SetQFactor(LONG v, BOOL notify) override { return SetField(BlockIndex::QFactor, v, notify); }
    HRESULT STDMETHODCALLTYPE GetSpare2(LONG* v) override { return GetField(BlockIndex::Spare2, v); }
    HRESULT STDMETHODCALLTYPE SetSpare2(LONG v, BOOL notify) override { return SetField(BlockIndex::Spare2, v, notify); }
    HRESULT STDMETHODCALLTYPE GetTCR(LONG* v) override { return GetField(BlockIndex::TCR, v); }
    HRESULT STDMETHODCALLTYPE SetTCR(LONG v, BOOL notify) override { return SetField(BlockIndex::TCR, v, notify); }
    HRESULT STDMETHODCALLTYPE GetFreq(LONG* v, LONG x) override { return GetRunField(BlockIndex::Freq, kCrossoverCount, x, v); }
    HRESULT STDMETHODCALLTYPE SetFreq(LONG v, LONG x, BOOL n) override { return SetRunField(BlockIndex::Freq, kCrossoverCount, x, v, n); }
    HRESULT STDMETHODCALLTYPE GetSolo(LONG* v, LONG b) override { return GetRunField(BlockIndex::Solo, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetSolo(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Solo, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetBypass(LONG* v, LONG b) override { return GetRunField(BlockIndex::Bypass, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetBypass(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Bypass, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetAttack(LONG* v, LONG b) override { return GetRunField(BlockIndex::Attack, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetAttack(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Attack, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetRelease(LONG* v, LONG b) override { return GetRunField(BlockIndex::Release, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetRelease(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Release, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetThreshold(LONG* v, LONG b) override { return GetRunField(BlockIndex::Threshold, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetThreshold(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Threshold, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetRatio(LONG* v, LONG b) override { return GetRunField(BlockIndex::Ratio, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetRatio(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Ratio, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetGain(LONG* v, LONG b) override { return GetRunField(BlockIndex::Gain, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetGain(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Gain, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetKnee(LONG* v, LONG b) override { return GetRunField(BlockIndex::Knee, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetKnee(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Knee, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE GetType(LONG* v, LONG b) override { return GetRunField(BlockIndex::Type, kBandCount, b, v); }
    HRESULT STDMETHODCALLTYPE SetType(LONG v, LONG b, BOOL n) override { return SetRunField(BlockIndex::Type, kBandCount, b, v, n); }
    HRESULT STDMETHODCALLTYPE EndCapture() override;
    HRESULT STDMETHODCALLTYPE SetCaptureMode(BOOL hold, BOOL multiCapture) override;
    HRESULT STDMETHODCALLTYPE GetIndicator2(LONG* v, LONG channel) override { return GetIndicator(1, channel, v); }
    HRESULT STDMETHODCALLTYPE SetIndicator2(LONG v, LONG channel) override { return SetIndicator(1, channel, v); }
    HRESULT STDMETHODCALLTYPE GetIndicator3(LONG* v, LONG channel) override { return GetIndicator(2, channel, v); }
    HRESULT STDMETHODCALLTYPE SetIndicator3(LONG v, LONG channel) override { return SetIndicator(2, channel, v); }
    HRESULT STDMETHODCALLTYPE GetOverIndicator(LONG* v, LONG channel) override { return GetIndicator(0, channel, v); }
    HRESULT STDMETHODCALLTYPE SetOverIndicator(LONG v, LONG channel) override { return SetIndicator(0, channel, v); }
    HRESULT STDMETHODCALLTYPE GetMeters(MeterRecord* meters) override;
    HRESULT STDMETHODCALLTYPE RecomputeNow() override;
    ParamBlock* STDMETHODCALLTYPE GetParamBlockPtr() override { return &m_current; }
    HRESULT STDMETHODCALLTYPE SetStreaming(BOOL streaming) override { return WriteFlag(m_streaming, streaming); }
    HRESULT STDMETHODCALLTYPE GetStreaming(BOOL* streaming) override { return ReadFlag(m_streaming, streaming); }
    HRESULT STDMETHODCALLTYPE SetRunning(BOOL running) override { return WriteFlag(m_running, running); }
    HRESULT STDMETHODCALLTYPE GetRunning(BOOL* running) override { return ReadFlag(m_running, running); }
    HRESULT STDMETHODCALLTYPE GetEditorValue(LONG* value) override;
    HRESULT STDMETHODCALLTYPE SetEditorValue(LONG value) override;
    HRESULT STDMETHODCALLTYPE GetEffectBypass(BOOL* bypass) override { return ReadFlag(m_effectBypass, bypass); }
    HRESULT STDMETHODCALLTYPE SetEffectBypass(BOOL bypass) override { return WriteFlag(m_effectBypass, bypass); }
    HRESULT STDMETHODCALLTYPE GetSetup(LONG* setup) override;
    HRESULT STDMETHODCALLTYPE SelectSetup(LONG setup) override;
    HRESULT STDMETHODCALLTYPE CopySetup(LONG from, LONG to) override;
    HRESULT STDMETHODCALLTYPE UndoCheckpoint(LONG controlId) override;
    HRESULT STDMETHODCALLTYPE Undo() override;
    HRESULT STDMETHODCALLTYPE QueryChanged() override;
    HRESULT STDMETHODCALLTYPE SetChanged(BOOL changed) override;
    HRESULT STDMETHODCALLTYPE SeedOtherSetup() override;

    // --- For the filter ---
    IEngineAutomation* Automation() const { return m_automation; }
    // Records the connected stream's format (the engine keeps its own copy).
    void SetFormat(const WAVEFORMATEX& format);
    // Posts WM_COMMAND (code << 16 | id) to every registered editor window.
    HRESULT NotifyEditorWindows(int code);
    // Whether a save would store anything else than the last one marked saved: a
    // setter changed a field, or an automation value moved since.
    bool HasUnsavedChanges();
    void MarkSaved(const ParamBlock& saved);

    // --- Streaming (block processing) ---
    HRESULT BeginStreaming(const WAVEFORMATEX& format);
    HRESULT EndStreaming();
    // A flush of the stream: nothing the signal path holds from before it comes out
    // after it, and the meters start again from nothing (streaming thread, or while
    // no block runs).
    void DiscardStream();
    // The transform step for one media sample: format conversion, time keeping,
    // automation update and the engine block. flushing: the end-of-stream flush.
    // Returns the block's result: S_OK, S_FALSE when a flush has emptied the
    // lookahead, or a failure.
    HRESULT TransformBuffer(MediaBuffer& sample, bool flushing);
    // Block entries: frames in the buffer on entry, frames written on return.
    HRESULT ProcessFloat32(BlockMode mode, float* buffer, LONG* frames);
    HRESULT ProcessFloat64(BlockMode mode, double* buffer, LONG* frames);
    // 16-bit PCM through a temporary float buffer; E_OUTOFMEMORY leaves it untouched.
    HRESULT ProcessPcm16(BlockMode mode, int16_t* buffer, LONG* frames);
    // Reads every automation value into the block and takes the pending recomputation
    // flag: true when anything changed since the last pull.
    bool PullAutomation();
    // The block with the automation values in force, for saving. Any recomputation
    // the values call for stays pending for the next block.
    ParamBlock BlockForSaving();
    HRESULT RecomputeCoefficients();
    int64_t SamplePosition() const { return m_samplePosition; }
    // The signal path, for inspection while no block runs.
    const SignalPath& Path() const { return m_path; }

private:
    static constexpr int kCaptureSlots = 8;
    static constexpr int kNotifySlots = 2;

    struct NotifyEntry {
        HWND window;
        LONG commandId;
    };

    // Parameter access by block index. A setter stores under the engine lock, then
    // forwards to the automation object outside it: forwarding runs host code, which
    // must never hold up the streaming thread.
    HRESULT GetField(int blockIndex, LONG* value);
    HRESULT SetField(int blockIndex, LONG value, BOOL notify);
    int32_t StoreField(int blockIndex, LONG value);  // returns the clamped value stored
    void ForwardField(int blockIndex, int32_t value, BOOL notify);  // under the relay lock
    HRESULT GetRunField(int firstBlockIndex, int runLength, LONG index, LONG* value);
    HRESULT SetRunField(int firstBlockIndex, int runLength, LONG index, LONG value, BOOL notify);
    HRESULT GetIndicator(int which, LONG channel, LONG* value);
    // The flags that any thread may read or write without the engine lock.
    static HRESULT ReadFlag(const std::atomic<bool>& flag, BOOL* value)
    {
        if (value == nullptr)
            return E_POINTER;
        *value = flag ? TRUE : FALSE;
        return S_OK;
    }
    static HRESULT WriteFlag(std::atomic<bool>& flag, BOOL value)
    {
        flag = value != FALSE;
        return S_OK;
    }
    HRESULT SetIndicator(int which, LONG channel, LONG value);

    // Stores the automation values in force into the block, flagging a recomputation
    // when one differs (under the engine lock).
    void StoreAutomationValues();
    void NotifyCapture(int paramIndex, MP_DATA value);
    void EndAllCaptures();
    // Applies a whole block through the setters, then restores its spare fields, which
    // travel with the block when setups are swapped or undone.
    void ApplyBlockWithSpares(const ParamBlock& block);

    template <typename Sample>
    HRESULT ProcessBlock(BlockMode mode, Sample* buffer, LONG* frames);
    bool IsStereo() const { return m_format.nChannels == 2; }
    double SampleRate() const { return m_hasFormat ? m_format.nSamplesPerSec : 0.0; }

    // Lock order: the relay lock, then the engine lock. The streaming thread takes only
    // the engine lock, once per block.
    RecursiveLock m_relayLock;  // serializes forwarding to the automation object; guards the capture list
    RecursiveLock m_lock;       // the engine lock: blocks, flags, indicators, notification table
    ParamBlock m_current{};
    ParamBlock m_otherSetup{};
    ParamBlock m_undo{};
    LONG m_lastCheckpointId = 0;
    LONG m_setup = 0;
    bool m_otherSetupSeeded = false;
    bool m_recompute = true;
    bool m_dirty = false;
    ParamBlock m_saved{};  // the block of the last save that cleared m_dirty
    NotifyEntry m_notify[kNotifySlots] = {};

    WAVEFORMATEX m_format{};
    bool m_hasFormat = false;
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_effectBypass{false};
    LONG m_editorValue = -1;
    bool m_changedForEditor = false;
    bool m_coefficientsValid = false;
    LONG m_indicators[2][3] = {};  // [channel][over, 2, 3]

    MeterStore m_meters;
    int64_t m_samplePosition = 0;   // the stream's position, in frames at its rate

    // Coefficients are computed under the engine lock by whichever thread recomputes,
    // and handed to the signal path by the streaming thread at the start of a block.
    PathCoefficients m_coefficients{};
    unsigned m_coefficientsSerial = 0;   // counts recomputations
    unsigned m_adoptedSerial = 0;        // the recomputation the path works from
    SignalPath m_path;                   // streaming thread only
    bool m_wasBypassed = false;          // streaming thread only

    IEngineAutomation* m_automation = nullptr;

    LONG m_captured[kCaptureSlots];  // parameter indices being captured; -1 when free
    int m_captureCount = 0;
    bool m_holdCapture = false;
    bool m_multiCapture = false;
};

} // namespace qz
