// Which parameter each control of the editor page shows and changes: one row per
// field or button (and the slider beside it), with the text it shows and what a step
// does. Ranges and defaults come from the engine's parameter table. The page reads
// this table for typed entries, steps, toggles, slider moves and every refresh.
#pragma once

#include "DisplayFormats.h"
#include "ITqPlugInProp.h"
#include "PageLayout.h"
#include "ParamTable.h"

#include <cstddef>

namespace qz::page {

using Prop = ITqPlugInProp;

// A parameter as the page reaches it through the engine's interface: a getter and a
// setter by band or crossover index, or a pair without one for the global ones.
struct PageParameter {
    int blockIndex;  // the parameter's field, or band 0's (crossover 0's) of a run
    HRESULT (STDMETHODCALLTYPE Prop::*getAt)(LONG* value, LONG index);
    HRESULT (STDMETHODCALLTYPE Prop::*setAt)(LONG value, LONG index, BOOL notify);
    HRESULT (STDMETHODCALLTYPE Prop::*get)(LONG* value);
    HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG value, BOOL notify);

    LONG Minimum() const { return BlockField(blockIndex).minimum(); }
    LONG Maximum() const { return BlockField(blockIndex).maximum(); }
    LONG Default(int index) const { return BlockField(blockIndex + (getAt ? index : 0)).defaultValue; }
    // The engine answers 0 for an index out of range and ignores a value set there.
    LONG Get(Prop& prop, int index) const
    {
        LONG value = 0;
        if (getAt)
            (prop.*getAt)(&value, index);
        else
            (prop.*get)(&value);
        return value;
    }
    // With notify: the engine clamps the value, records it for undo and tells the host.
    void Set(Prop& prop, int index, LONG value) const
    {
        if (setAt)
            (prop.*setAt)(value, index, TRUE);
        else
            (prop.*set)(value, TRUE);
    }
};

constexpr PageParameter Indexed(int blockIndex, HRESULT (STDMETHODCALLTYPE Prop::*get)(LONG*, LONG),
                                HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG, LONG, BOOL))
{
    return {blockIndex, get, set, nullptr, nullptr};
}
constexpr PageParameter Global(int blockIndex, HRESULT (STDMETHODCALLTYPE Prop::*get)(LONG*),
                               HRESULT (STDMETHODCALLTYPE Prop::*set)(LONG, BOOL))
{
    return {blockIndex, nullptr, nullptr, get, set};
}

inline constexpr PageParameter kThreshold = Indexed(BlockIndex::Threshold, &Prop::GetThreshold, &Prop::SetThreshold);
inline constexpr PageParameter kFreq = Indexed(BlockIndex::Freq, &Prop::GetFreq, &Prop::SetFreq);
inline constexpr PageParameter kRatio = Indexed(BlockIndex::Ratio, &Prop::GetRatio, &Prop::SetRatio);
inline constexpr PageParameter kKnee = Indexed(BlockIndex::Knee, &Prop::GetKnee, &Prop::SetKnee);
inline constexpr PageParameter kType = Indexed(BlockIndex::Type, &Prop::GetType, &Prop::SetType);
inline constexpr PageParameter kGain = Indexed(BlockIndex::Gain, &Prop::GetGain, &Prop::SetGain);
inline constexpr PageParameter kAttack = Indexed(BlockIndex::Attack, &Prop::GetAttack, &Prop::SetAttack);
inline constexpr PageParameter kRelease = Indexed(BlockIndex::Release, &Prop::GetRelease, &Prop::SetRelease);
inline constexpr PageParameter kSolo = Indexed(BlockIndex::Solo, &Prop::GetSolo, &Prop::SetSolo);
inline constexpr PageParameter kBypass = Indexed(BlockIndex::Bypass, &Prop::GetBypass, &Prop::SetBypass);
inline constexpr PageParameter kQFactor = Global(BlockIndex::QFactor, &Prop::GetQFactor, &Prop::SetQFactor);
inline constexpr PageParameter kOutputGain = Global(BlockIndex::OutputGain, &Prop::GetOutputGain,
                                                    &Prop::SetOutputGain);
inline constexpr PageParameter kTCR = Global(BlockIndex::TCR, &Prop::GetTCR, &Prop::SetTCR);
inline constexpr PageParameter kLimiter = Global(BlockIndex::Limiter, &Prop::GetLimiter, &Prop::SetLimiter);

// Whose value a control shows.
enum class Reach {
    SelectedBand,   // the band the page shows; the all-bands view shows an offset instead
    EachBand,       // control id + band, for bands 0..4
    EachCrossover,  // control id + crossover, for crossovers 0..3
    Global,
};

// How the control shows its value.
enum class Shows {
    Text,        // a field's or button's text in the binding's format
    Check,       // a push button's checked state
    BandButton,  // a solo or bypass button: lit as the band buttons' rule says
};

// What a change through the control does.
enum class Change {
    Step,                // a field's step adds to the value
    StepEveryBand,       // as Step; in the all-bands view every band moves by one step
                         // cut so that none leaves the range
    StepKeepingOrder,    // as Step; crossovers passed on the way are carried along
    Toggle,              // a click switches between 0 and 1
};

// What else shows the value.
enum class Feeds {
    Nothing,
    BandMeterThreshold,  // the band meters' threshold marker of the band
    CrossoverFrequency,  // the crossover graph's handle of the crossover
    CrossoverBandGain,   // the crossover graph's band top of the selected band
};

struct Binding {
    int controlId;  // the control, or the first of a run of them
    const PageParameter* parameter;
    Reach reach;
    Shows shows;
    ValueFormat format;
    Change change;
    int sliderId;        // the slider that shows the same value, or 0
    bool alwaysText;     // the text is written even by the refresh that spares a typed text
    Feeds feeds;
    bool drawnAsCurves;  // the compressor graph draws it

    int Count() const { return reach == Reach::EachBand ? kBands : reach == Reach::EachCrossover ? kCrossovers : 1; }
    bool Typed() const { return shows == Shows::Text && change != Change::Toggle; }
};

// The page's bindings, in the order a refresh of every control shows them.
constexpr size_t kBindingCount = 14;
extern const Binding kBindings[kBindingCount];

// The binding of a control (a field, a button or a slider) and the index it reaches
// through it: the band or crossover of a run, 0 otherwise.
struct BoundControl {
    const Binding* binding = nullptr;
    int index = 0;
    explicit operator bool() const { return binding != nullptr; }
};
BoundControl FindBinding(int controlId);

} // namespace qz::page
