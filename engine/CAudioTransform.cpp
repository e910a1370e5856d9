// The engine object and its property interface: parameter access, capture gestures,
// setups and undo, indicators, meters and editor notifications.
#include "CAudioTransform.h"

#include "SampleFormat.h"

#include <cstring>

namespace qz {

CAudioTransform::CAudioTransform(AutomationFactory makeAutomation, HRESULT* result)
{
    for (LONG& slot : m_captured)
        slot = -1;
    bool earlierFailure = result != nullptr && FAILED(*result);
    if (makeAutomation != nullptr && !earlierFailure) {
        HRESULT hr = makeAutomation(&m_automation, this);
        if (FAILED(hr)) {
            m_automation = nullptr;
            if (result != nullptr)
                *result = hr;
        }
    }
}

CAudioTransform::~CAudioTransform()
{
    EndStreaming();
    if (m_automation != nullptr) {
        m_automation->DetachOwner();  // an interface a host still holds must not reach us
        m_automation->Release();
    }
}

// --- Parameters -------------------------------------------------------------------

HRESULT CAudioTransform::GetField(int blockIndex, LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    *value = m_current.field(blockIndex);
    return S_OK;
}

int32_t CAudioTransform::StoreField(int blockIndex, LONG value)
{
    const int32_t clamped = BlockField(blockIndex).clamp(value);
    LockGuard hold(m_lock);
    if (m_current.field(blockIndex) != clamped) {
        m_current.field(blockIndex) = clamped;
        m_recompute = true;
        m_dirty = true;
    }
    return clamped;
}

void CAudioTransform::ForwardField(int blockIndex, int32_t value, BOOL notify)
{
    // The spare fields have no parameter index and are never automated.
    const ParamDef& def = BlockField(blockIndex);
    if (def.paramIndex < 0 || m_automation == nullptr)
        return;
    const MP_DATA normalized = ToNormalized(def.paramIndex, value);
    m_automation->SetParam(static_cast<DWORD>(def.paramIndex), normalized);
    if (notify)
        NotifyCapture(def.paramIndex, normalized);
}

HRESULT CAudioTransform::SetField(int blockIndex, LONG value, BOOL notify)
{
    LockGuard relay(m_relayLock);
    ForwardField(blockIndex, StoreField(blockIndex, value), notify);
    return S_OK;
}

HRESULT CAudioTransform::GetRunField(int firstBlockIndex, int runLength, LONG index, LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    if (index < 0 || index >= runLength) {
        *value = 0;
        return S_OK;
    }
    return GetField(firstBlockIndex + index, value);
}

HRESULT CAudioTransform::SetRunField(int firstBlockIndex, int runLength, LONG index, LONG value, BOOL notify)
{
    if (index < 0 || index >= runLength)
        return S_OK;  // an unknown band or crossover is ignored, as hosts expect
    return SetField(firstBlockIndex + index, value, notify);
}

HRESULT CAudioTransform::GetParamBlock(ParamBlock* block)
{
    if (block == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    *block = m_current;
    return S_OK;
}

namespace {

// The order in which a whole block reaches the automation object (block indices):
// the global parameters, then band by band, each band's crossover after it.
struct ApplyOrder {
    int field[kParamCount];
    ApplyOrder()
    {
        int k = 0;
        for (int i : {BlockIndex::Limiter, BlockIndex::OutputGain, BlockIndex::QFactor, BlockIndex::TCR})
            field[k++] = i;
        for (int b = 0; b < kBandCount; ++b) {
            for (int first : {BlockIndex::Attack, BlockIndex::Release, BlockIndex::Ratio, BlockIndex::Threshold,
                              BlockIndex::Gain, BlockIndex::Knee, BlockIndex::Type, BlockIndex::Solo,
                              BlockIndex::Bypass})
                field[k++] = first + b;
            if (b < kCrossoverCount)
                field[k++] = BlockIndex::Freq + b;
        }
    }
};

const ApplyOrder kApplyOrder;

} // namespace

HRESULT CAudioTransform::ApplyParamBlock(const ParamBlock* block)
{
    if (block == nullptr)
        return E_POINTER;
    const ParamBlock source = *block;  // the caller may pass one of our own blocks
    LockGuard relay(m_relayLock);
    int32_t stored[kParamCount];
    {
        // Stored all at once, so a block never runs with half of the new settings.
        LockGuard hold(m_lock);
        for (int k = 0; k < kParamCount; ++k)
            stored[k] = StoreField(kApplyOrder.field[k], source.field(kApplyOrder.field[k]));
        m_recompute = true;
        m_dirty = true;
        for (int i = 0; i < kBlockFieldCount; ++i)
            m_current.field(i) = BlockField(i).clamp(m_current.field(i));
    }
    for (int k = 0; k < kParamCount; ++k)
        ForwardField(kApplyOrder.field[k], stored[k], TRUE);
    EndCapture();
    return S_OK;
}

// --- Capture gestures -------------------------------------------------------------

void CAudioTransform::EndAllCaptures()
{
    IMediaParamsUICallback* sink = m_automation->GestureSink();
    for (int k = 0; k < m_captureCount; ++k) {
        DWORD index = static_cast<DWORD>(m_captured[k]);
        sink->ParamsEndCapture(&index, 1);
        m_captured[k] = -1;
    }
    m_captured[0] = -1;
    m_captureCount = 0;
}

void CAudioTransform::NotifyCapture(int paramIndex, MP_DATA value)
{
    if (m_automation == nullptr)
        return;
    IMediaParamsUICallback* sink = m_automation->GestureSink();
    DWORD index = static_cast<DWORD>(paramIndex);
    if (m_multiCapture) {
        bool known = false;
        for (int k = 0; k < m_captureCount; ++k)
            known = known || m_captured[k] == paramIndex;
        if (!known) {
            // A gesture over more parameters than the list holds: the extra ones are
            // not captured and their moves are not reported as part of the gesture.
            if (m_captureCount == kCaptureSlots)
                return;
            m_captured[m_captureCount++] = paramIndex;
            sink->ParamsBeginCapture(&index, 1);
        }
    } else if (!(m_captured[0] == paramIndex && m_captureCount < 2)) {
        EndAllCaptures();
        m_captured[0] = paramIndex;
        sink->ParamsBeginCapture(&index, 1);
        m_captureCount = 1;
    }
    if (m_captured[0] == -1)
        return;
    sink->ParamsChanged(&index, 1, &value);
}

HRESULT CAudioTransform::EndCapture()
{
    LockGuard relay(m_relayLock);
    if (!m_holdCapture && !m_multiCapture && m_automation != nullptr && m_captured[0] != -1)
        EndAllCaptures();
    return S_OK;
}

HRESULT CAudioTransform::SetCaptureMode(BOOL hold, BOOL multiCapture)
{
    LockGuard relay(m_relayLock);
    m_holdCapture = hold != FALSE;
    m_multiCapture = multiCapture != FALSE;
    return S_OK;
}

// --- Setups and undo --------------------------------------------------------------

void CAudioTransform::ApplyBlockWithSpares(const ParamBlock& block)
{
    ApplyParamBlock(&block);
    LockGuard hold(m_lock);
    m_current.Spare1 = BlockField(BlockIndex::Spare1).clamp(block.Spare1);
    m_current.Spare2 = BlockField(BlockIndex::Spare2).clamp(block.Spare2);
}

HRESULT CAudioTransform::GetSetup(LONG* setup)
{
    if (setup == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    *setup = m_setup;
    return S_OK;
}

HRESULT CAudioTransform::SelectSetup(LONG setup)
{
    if (setup != 0 && setup != 1)
        return E_INVALIDARG;
    LockGuard relay(m_relayLock);
    ParamBlock previous, next;
    {
        LockGuard hold(m_lock);
        if (setup == m_setup)
            return S_OK;
        m_setup = setup;
        previous = m_current;
        next = m_otherSetup;
    }
    ApplyParamBlock(&next);
    LockGuard hold(m_lock);
    m_otherSetup = previous;
    return S_OK;
}

HRESULT CAudioTransform::CopySetup(LONG from, LONG to)
{
    LockGuard relay(m_relayLock);
    if (from == 0 && to == 1) {
        LockGuard hold(m_lock);
        m_otherSetup = m_current;
    } else if (from == 1 && to == 0) {
        ParamBlock other;
        {
            LockGuard hold(m_lock);
            other = m_otherSetup;
        }
        ApplyBlockWithSpares(other);
    }
    return S_OK;
}

HRESULT CAudioTransform::SeedOtherSetup()
{
    LockGuard relay(m_relayLock);
    LockGuard hold(m_lock);
    if (m_otherSetupSeeded)
        return S_FALSE;
    m_otherSetupSeeded = true;
    m_otherSetup = m_current;
    return S_OK;
}

HRESULT CAudioTransform::UndoCheckpoint(LONG controlId)
{
    LockGuard relay(m_relayLock);
    LockGuard hold(m_lock);
    bool capturing = m_captured[0] != -1;
    bool sameGesture = capturing && controlId != -2 && (controlId < 0 || controlId == m_lastCheckpointId);
    if (!sameGesture)
        m_undo = m_current;
    m_lastCheckpointId = controlId;
    return S_OK;
}

HRESULT CAudioTransform::Undo()
{
    // Swap through a local copy so a second undo redoes, and apply from the copy: the
    // block being applied is never one that a streaming block could write into.
    LockGuard relay(m_relayLock);
    ParamBlock restored;
    {
        LockGuard hold(m_lock);
        restored = m_undo;
        m_undo = m_current;
    }
    ApplyBlockWithSpares(restored);
    LockGuard hold(m_lock);
    m_recompute = true;
    m_dirty = true;
    return S_OK;
}

// --- Editor state -----------------------------------------------------------------

HRESULT CAudioTransform::QueryChanged()
{
    LockGuard hold(m_lock);
    if (m_automation != nullptr && m_automation->TestAndClearChanged() == S_OK)
        m_changedForEditor = true;
    return m_changedForEditor ? S_OK : S_FALSE;
}

HRESULT CAudioTransform::SetChanged(BOOL changed)
{
    LockGuard hold(m_lock);
    m_changedForEditor = changed != FALSE;
    return S_OK;
}

HRESULT CAudioTransform::GetIndicator(int which, LONG channel, LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    *value = m_indicators[channel == 0 ? 0 : 1][which];
    return S_OK;
}

HRESULT CAudioTransform::SetIndicator(int which, LONG channel, LONG value)
{
    LockGuard hold(m_lock);
    m_indicators[channel == 0 ? 0 : 1][which] = value;
    return S_OK;
}

HRESULT CAudioTransform::GetMeters(MeterRecord* meters)
{
    if (meters == nullptr)
        return E_POINTER;
    m_meters.fetch(*meters);
    return S_OK;
}

HRESULT CAudioTransform::GetEditorValue(LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    *value = m_editorValue;
    return S_OK;
}

HRESULT CAudioTransform::SetEditorValue(LONG value)
{
    LockGuard hold(m_lock);
    m_editorValue = value;
    return S_OK;
}

bool CAudioTransform::HasUnsavedChanges()
{
    LockGuard hold(m_lock);
    const ParamBlock now = BlockForSaving();
    return m_dirty || std::memcmp(&now, &m_saved, sizeof now) != 0;
}

void CAudioTransform::MarkSaved(const ParamBlock& saved)
{
    LockGuard hold(m_lock);
    m_saved = saved;
    m_dirty = false;
}

// --- Stream format and editor notifications ---------------------------------------

void CAudioTransform::SetFormat(const WAVEFORMATEX& format)
{
    {
        LockGuard hold(m_lock);
        // A new rate within a stream keeps the stream's time: the position moves to
        // the same time in frames of the new rate.
        const DWORD from = m_hasFormat ? m_format.nSamplesPerSec : 0, to = format.nSamplesPerSec;
        if (from != 0 && to != 0 && from != to)
            m_samplePosition = ScaleExactly(m_samplePosition, to, from);
        m_format = format;
        m_hasFormat = true;
    }
    if (m_automation != nullptr)
        m_automation->SetSampleRate(static_cast<LONG>(format.nSamplesPerSec));
}

HRESULT CAudioTransform::GetFormat(WAVEFORMATEX* format)
{
    if (format == nullptr)
        return E_POINTER;
    LockGuard hold(m_lock);
    if (!m_hasFormat)
        return VFW_E_NOT_CONNECTED;
    *format = m_format;
    return S_OK;
}

HRESULT CAudioTransform::SetNotifyWindow(HWND window, LONG commandId)
{
    LockGuard hold(m_lock);
    NotifyEntry* entry = nullptr;
    for (NotifyEntry& e : m_notify)
        if (e.window == window)
            entry = &e;
    if (entry == nullptr)
        for (NotifyEntry& e : m_notify)
            if (e.window == nullptr)
                entry = &e;  // the last free one
    if (entry == nullptr)
        return commandId != 0 ? E_OUTOFMEMORY : S_OK;
    entry->commandId = commandId;
    entry->window = commandId != 0 ? window : nullptr;
    return S_OK;
}

HRESULT CAudioTransform::NotifyEditorWindows(int code)
{
    LockGuard hold(m_lock);
    for (NotifyEntry& e : m_notify) {
        if (e.window == nullptr)
            continue;
        if (!WindowExists(e.window)) {
            e = NotifyEntry{nullptr, 0};
            continue;
        }
        PostWindowMessage(e.window, WM_COMMAND, MAKEWPARAM(e.commandId & 0xFFFF, code), 0);
    }
    return S_OK;
}

} // namespace qz
