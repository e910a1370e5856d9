#pragma once
// The engine outside a filter: for the command-line processor, benchmarks and tests.
// It answers QueryInterface for its own interface only and is never counted: its
// owner keeps it on the stack or as a member.

#include "CAudioTransform.h"

namespace qz {

class StandaloneEngine : public CAudioTransform {
public:
    explicit StandaloneEngine(AutomationFactory makeAutomation = nullptr, HRESULT* result = nullptr)
        : CAudioTransform(makeAutomation, result)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE IsProcessing() override { return S_FALSE; }
};

} // namespace qz
