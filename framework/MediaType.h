// AM_MEDIA_TYPE with ownership: a CMediaType owns its format block (allocated with
// CoTaskMemAlloc, as the media type contract requires) and a reference on pUnk.
#pragma once

#include <windows.h>
#include <strmif.h>

// Media types handed across interfaces (IEnumMediaTypes::Next, IMediaSample::
// GetMediaType) are allocated with CoTaskMemAlloc and belong to the receiver.
void FreeMediaType(AM_MEDIA_TYPE& type);           // frees the format block and pUnk
void DeleteMediaType(AM_MEDIA_TYPE* type);         // FreeMediaType, then the structure
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);  // target is overwritten
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);  // nullptr when out of memory

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    // A copy that cannot get memory for the format block is left invalid (IsValid()).
    CMediaType(const AM_MEDIA_TYPE& source);
    CMediaType(const CMediaType& source);
    CMediaType& operator=(const AM_MEDIA_TYPE& source);
    CMediaType& operator=(const CMediaType& source);
    ~CMediaType();

    // Replaces the content with a copy of `source`; E_OUTOFMEMORY leaves it empty.
    HRESULT Set(const AM_MEDIA_TYPE& source);
    // Back to the empty (invalid) type.
    void Clear();
    // Replaces the format block with a copy of `length` bytes at `format`.
    HRESULT SetFormat(const void* format, ULONG length);

    bool IsValid() const { return majortype != GUID_NULL; }
    // Same major type, subtype, format type and format bytes.
    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }
    // A partial type leaves major type, subtype or format type as GUID_NULL, which
    // matches anything; a given format block must match byte for byte.
    bool MatchesPartial(const AM_MEDIA_TYPE& partial) const;
    // Major type, subtype and format type are all given.
    static bool IsComplete(const AM_MEDIA_TYPE& type);
};
