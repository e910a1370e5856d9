#include "StandaloneEngine.h"

#include "qz_guids.h"

namespace qz {

HRESULT StandaloneEngine::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == kIID_ITqPlugInProp) {
        *object = static_cast<ITqPlugInProp*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

} // namespace qz
