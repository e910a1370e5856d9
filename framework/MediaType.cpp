#include "MediaType.h"

#include <cstring>

namespace {

void ZeroType(AM_MEDIA_TYPE& type)
{
    std::memset(&type, 0, sizeof type);
}

bool SameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    return a.formattype == b.formattype && a.cbFormat == b.cbFormat &&
           (a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0);
}

} // namespace

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (type == nullptr)
        return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (target == nullptr || source == nullptr)
        return E_POINTER;
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk != nullptr)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type == nullptr)
        return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType()
{
    ZeroType(*this);
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& source)
{
    ZeroType(*this);
    Set(source);
}

CMediaType::CMediaType(const CMediaType& source) : CMediaType(static_cast<const AM_MEDIA_TYPE&>(source)) {}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& source)
{
    if (&source != this)
        Set(source);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& source)
{
    return *this = static_cast<const AM_MEDIA_TYPE&>(source);
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& source)
{
    if (&source == this)
        return S_OK;
    Clear();
    HRESULT hr = CopyMediaType(this, &source);
    if (FAILED(hr))
        ZeroType(*this);
    return hr;
}

void CMediaType::Clear()
{
    FreeMediaType(*this);
    ZeroType(*this);
}

HRESULT CMediaType::SetFormat(const void* format, ULONG length)
{
    BYTE* block = nullptr;
    if (length != 0) {
        block = static_cast<BYTE*>(CoTaskMemAlloc(length));
        if (block == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(block, format, length);
    }
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return S_OK;
}

bool CMediaType::operator==(const CMediaType& other) const
{
    return majortype == other.majortype && subtype == other.subtype && SameFormat(*this, other);
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& partial) const
{
    if (partial.majortype != GUID_NULL && partial.majortype != majortype)
        return false;
    if (partial.subtype != GUID_NULL && partial.subtype != subtype)
        return false;
    if (partial.formattype == GUID_NULL)
        return true;
    return partial.cbFormat == 0 ? partial.formattype == formattype : SameFormat(partial, *this);
}

bool CMediaType::IsComplete(const AM_MEDIA_TYPE& type)
{
    return type.majortype != GUID_NULL && type.subtype != GUID_NULL && type.formattype != GUID_NULL;
}
