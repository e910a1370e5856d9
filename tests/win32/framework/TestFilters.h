// Filters built on the framework for its tests: an in-place transform that halves
// every sample, a renderer that records what reaches it, and a source that pushes
// prepared buffers from a worker thread.
#pragma once

#include "BaseFilter.h"
#include "Pins.h"
#include "RendererFilter.h"
#include "TransInPlaceFilter.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Halves 16-bit PCM or 32-bit float audio of one or two channels, in place.
class CHalvingFilter : public CTransInPlaceFilter {
public:
    static const CLSID kClsid;
    static const AMOVIESETUP_FILTER kSetup;

    explicit CHalvingFilter(LPUNKNOWN outer = nullptr, HRESULT* result = nullptr);

    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Transform(IMediaSample* sample) override;
    const AMOVIESETUP_FILTER* GetSetupData() override { return &kSetup; }

    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> transformed{0};
    // The directions SetMediaType was called for, in order.
    std::vector<PIN_DIRECTION> typesSet;

private:
    WORD m_bits = 0;
};

// A renderer that records every sample's bytes and identity.
class CRecordingSink : public CRendererFilter {
public:
    // `ownAllocatorOnly`: refuse any allocator but the one this pin offers, as some
    // renderers do, so that the upstream allocator cannot be passed through.
    explicit CRecordingSink(bool ownAllocatorOnly = false);
    ~CRecordingSink() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    struct Record {
        std::vector<BYTE> data;
        std::vector<IMediaSample*> samples;  // identities only, never dereferenced
        int discontinuities = 0;
        int endOfStreams = 0;
        int beginFlushes = 0;
        int endFlushes = 0;
        int segments = 0;
        REFERENCE_TIME segmentStart = 0;
        REFERENCE_TIME segmentStop = 0;
    };
    Record Recorded();
    IMemAllocator* NotifiedAllocator();
    // Runs `hook` on the thread that delivers each end of stream, before it is
    // recorded, as a renderer does its own work there. Set it before streaming.
    void OnEndOfStream(std::function<void()> hook) { m_endOfStreamHook = std::move(hook); }

private:
    class Pin;
    void EndOfStreamReached();

    Pin* m_pin;
    std::function<void()> m_endOfStreamHook;
    std::mutex m_recordLock;
    Record m_record;
};

// Pushes its buffers downstream on a worker thread once paused or running, then
// ends the stream. It always uses an allocator of its own, and announces it with
// NotifyAllocator(allocator, readOnly). Its first buffer of every run is marked as a
// discontinuity unless `markFirst` is false, as some sources do not.
class CPushSource : public CBaseFilter {
public:
    CPushSource(const CMediaType& type, std::vector<std::vector<BYTE>> buffers, bool readOnly, bool markFirst = true);
    ~CPushSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // Called on the worker thread before each buffer goes out, with its index: what a
    // host does between buffers (automation, say). Set it before the graph runs.
    void BeforeEachBuffer(std::function<void(size_t index)> hook);
    // Waits until every buffer and the end of stream went out.
    bool WaitUntilDone(DWORD milliseconds);
    // Samples handed to Deliver, and how many of their buffers were changed by the
    // time Deliver returned.
    std::vector<IMediaSample*> Delivered();
    int BuffersChangedDownstream() const { return m_changed; }
    HRESULT LastDeliveryResult() const { return m_lastResult; }
    IMemAllocator* Allocator();

private:
    class Pin;
    Pin* m_pin;
    std::atomic<int> m_changed{0};
    std::atomic<HRESULT> m_lastResult{S_OK};
};
