// What a host does upstream of the filter, by hand: a source filter whose one pin
// takes its buffers from Wine's own memory allocator and delivers each buffer, end of
// stream, flush or segment when the test says so, on the thread that says so.
#pragma once

#include "BaseFilter.h"
#include "Pins.h"

#include <vector>

class CHostSource : public CBaseFilter {
public:
    // The pin offers `type` and sizes Wine's allocator with `buffers`.
    CHostSource(const CMediaType& type, const ALLOCATOR_PROPERTIES& buffers);
    ~CHostSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    struct Buffer {
        const void* data;
        size_t bytes;
        bool discontinuity = false;
        const REFERENCE_TIME* start = nullptr;    // no time stamp when null
        const AM_MEDIA_TYPE* attached = nullptr;  // a media type the sample carries
    };
    // Fills a buffer of the allocator and delivers it; the delivery's result.
    HRESULT Push(const Buffer& buffer);
    HRESULT EndOfStream();
    HRESULT BeginFlush();
    HRESULT EndFlush();
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // The allocator the pins agreed on (Wine's); null before a connection.
    IMemAllocator* Allocator();

private:
    class Pin;
    Pin* m_pin;
};
