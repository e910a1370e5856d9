#include "PageBindings.h"

namespace qz::page {

namespace {
using F = ValueFormat;
} // namespace

const Binding kBindings[kBindingCount] = {
    // control       parameter     reach                shows               format          change
    //               slider             always text  feeds                        curves
    {ID_FREQ,        &kFreq,       Reach::EachCrossover, Shows::Text,       F::CrossoverHz, Change::StepKeepingOrder,
                     0,                 false,       Feeds::CrossoverFrequency,   false},
    {ID_QFACTOR,     &kQFactor,    Reach::Global,       Shows::Text,        F::Hundredths,  Change::Step,
                     0,                 true,        Feeds::Nothing,              false},
    {ID_THRESHOLD,   &kThreshold,  Reach::EachBand,     Shows::Text,        F::Threshold,   Change::Step,
                     0,                 false,       Feeds::BandMeterThreshold,   true},
    {ID_BAND_SOLO,   &kSolo,       Reach::EachBand,     Shows::BandButton,  F::Whole,       Change::Toggle,
                     0,                 false,       Feeds::Nothing,              false},
    {ID_BAND_BYPASS, &kBypass,     Reach::EachBand,     Shows::BandButton,  F::Whole,       Change::Toggle,
                     0,                 false,       Feeds::Nothing,              false},
    {ID_RATIO,       &kRatio,      Reach::SelectedBand, Shows::Text,        F::Tenths,      Change::StepEveryBand,
                     0,                 false,       Feeds::Nothing,              true},
    {ID_GAIN,        &kGain,       Reach::SelectedBand, Shows::Text,        F::Tenths,      Change::StepEveryBand,
                     ID_GAIN_SLIDER,    false,       Feeds::CrossoverBandGain,    true},
    {ID_OUTPUT_GAIN, &kOutputGain, Reach::Global,       Shows::Text,        F::Tenths,      Change::Step,
                     0,                 true,        Feeds::Nothing,              false},
    {ID_KNEE,        &kKnee,       Reach::SelectedBand, Shows::Text,        F::Knee,        Change::Step,
                     0,                 false,       Feeds::Nothing,              true},
    {ID_ATTACK,      &kAttack,     Reach::SelectedBand, Shows::Text,        F::Tenths,      Change::Step,
                     ID_ATTACK_SLIDER,  false,       Feeds::Nothing,              false},
    {ID_RELEASE,     &kRelease,    Reach::SelectedBand, Shows::Text,        F::Whole,       Change::Step,
                     ID_RELEASE_SLIDER, false,       Feeds::Nothing,              false},
    {ID_TYPE,        &kType,       Reach::SelectedBand, Shows::Text,        F::CurveType,   Change::Toggle,
                     0,                 true,        Feeds::Nothing,              true},
    {ID_TCR,         &kTCR,        Reach::Global,       Shows::Check,       F::Whole,       Change::Toggle,
                     0,                 false,        Feeds::Nothing,              false},
    {ID_LIMITER,     &kLimiter,    Reach::Global,       Shows::Check,       F::Whole,       Change::Toggle,
                     0,                 false,        Feeds::Nothing,              false},
};

BoundControl FindBinding(int controlId)
{
    for (const Binding& binding : kBindings) {
        if (binding.sliderId != 0 && controlId == binding.sliderId)
            return {&binding, 0};
        const int index = controlId - binding.controlId;
        if (index >= 0 && index < binding.Count())
            return {&binding, index};
    }
    return {};
}

} // namespace qz::page
