#pragma once
// Identifiers that no system header declares: the published media-parameter ones, the
// host-defined interfaces, and this product's own class and interface identifiers.
// Ours never change: stored host projects embed them.

#include "qz_platform.h"

namespace qz {

extern const IID kIID_IUnknown;
extern const GUID kTimeFormatReferenceTime;      // GUID_TIME_REFERENCE
extern const IID kIID_IMediaParams;
extern const IID kIID_IMediaParamInfo;
extern const IID kIID_IMediaParamsUICallback;
extern const IID kIID_IMediaParamsSetUICallback;
extern const IID kIID_IStaticFilterPreset;

extern const IID kIID_ITqPlugInProp;
extern const CLSID kCLSID_Filter;                 // "Tavelin:qz Multiband"
extern const CLSID kCLSID_PropertyPage;           // "Tavelin:qz Multiband Property Page"

} // namespace qz
