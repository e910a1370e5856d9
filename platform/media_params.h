#pragma once
// The DirectX media-parameter types and interfaces, and the host-defined interfaces
// that relay editor gestures. Declared here for both builds: the Windows SDK's
// method order is the one hosts call through, and not every toolchain header has it.

#include "qz_platform.h"

typedef DWORD MP_CAPS;
typedef DWORD MP_FLAGS;
typedef DWORD MP_TIMEDATA;
typedef float MP_DATA;

enum MP_TYPE : DWORD { MPT_INT = 0, MPT_FLOAT = 1, MPT_BOOL = 2, MPT_ENUM = 3, MPT_MAX = 4 };

enum MP_CURVE_TYPE : DWORD {
    MP_CURVE_JUMP = 0x1,
    MP_CURVE_LINEAR = 0x2,
    MP_CURVE_SQUARE = 0x4,
    MP_CURVE_INVSQUARE = 0x8,
    MP_CURVE_SINE = 0x10,
};

constexpr MP_CAPS MP_CAPS_CURVE_JUMP = MP_CURVE_JUMP;

struct MP_PARAMINFO {
    MP_TYPE mpType;
    MP_CAPS mopCaps;
    MP_DATA mpdMinValue;
    MP_DATA mpdMaxValue;
    MP_DATA mpdNeutralValue;
    WCHAR szUnitText[32];
    WCHAR szLabel[32];
};
static_assert(sizeof(MP_PARAMINFO) == 148, "MP_PARAMINFO is 148 bytes");

struct MP_ENVELOPE_SEGMENT {
    REFERENCE_TIME rtStart;
    REFERENCE_TIME rtEnd;
    MP_DATA valStart;
    MP_DATA valEnd;
    MP_CURVE_TYPE iCurve;
    MP_FLAGS flags;
};
static_assert(sizeof(MP_ENVELOPE_SEGMENT) == 32, "MP_ENVELOPE_SEGMENT is 32 bytes");

constexpr DWORD DWORD_MAX_INDEX = 0xFFFFFFFFu; // "every parameter" in envelope calls

// Slot order as in the Windows SDK: GetParam, SetParam, AddEnvelope, FlushEnvelope,
// SetTimeFormat.
struct IMediaParams : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetParam(DWORD paramIndex, MP_DATA* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParam(DWORD paramIndex, MP_DATA value) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddEnvelope(DWORD paramIndex, DWORD segmentCount,
                                                  MP_ENVELOPE_SEGMENT* segments) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlushEnvelope(DWORD paramIndex, REFERENCE_TIME start,
                                                    REFERENCE_TIME end) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimeFormat(GUID timeFormat, MP_TIMEDATA timeData) = 0;
protected:
    ~IMediaParams() = default;
};

struct IMediaParamInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetParamCount(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamInfo(DWORD paramIndex, MP_PARAMINFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamText(DWORD paramIndex, WCHAR** text) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumTimeFormats(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSupportedTimeFormat(DWORD formatIndex, GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentTimeFormat(GUID* format, MP_TIMEDATA* timeData) = 0;
protected:
    ~IMediaParamInfo() = default;
};

// Editor gestures, reported so that a host can record them as automation.
struct IMediaParamsUICallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ParamsBeginCapture(DWORD* indices, DWORD count) = 0;
    virtual HRESULT STDMETHODCALLTYPE ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values) = 0;
    virtual HRESULT STDMETHODCALLTYPE ParamsEndCapture(DWORD* indices, DWORD count) = 0;
protected:
    ~IMediaParamsUICallback() = default;
};

struct IMediaParamsSetUICallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetUICallback(IMediaParamsUICallback* callback) = 0;
protected:
    ~IMediaParamsSetUICallback() = default;
};

// A host's interface for a filter's built-in presets.
struct IStaticFilterPreset : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) = 0;
    // The name of a preset, converted to wide text, in a buffer of `length` characters.
    virtual HRESULT STDMETHODCALLTYPE GetPresetName(LONG index, WCHAR* name, LONG length) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyPreset(LONG index) = 0;
protected:
    ~IStaticFilterPreset() = default;
};
