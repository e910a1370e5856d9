// Prints the processor's parameter table and the block it starts with: for each
// parameter its index, label, engine range, default, the default as hosts see it
// (normalized) and the neutral value hosts are told.
#include <cstdio>

#include "ParamTable.h"
#include "ParamUnits.h"

namespace {

const char* KindName(qz::ParamKind kind)
{
    switch (kind) {
    case qz::ParamKind::Switch:
    case qz::ParamKind::StrictSwitch:
        return "on/off";
    case qz::ParamKind::Scaled:
        return "scaled";
    case qz::ParamKind::Spare:
        return "spare";
    }
    return "?";
}

} // namespace

int main()
{
    std::printf("qz:Multiband parameters (%d automatable, %d block fields)\n\n", qz::kParamCount,
                qz::kBlockFieldCount);
    std::printf("%5s %5s  %-12s %-7s %6s %6s %8s %11s %8s\n", "block", "index", "label", "kind", "min",
                "max", "default", "normalized", "neutral");
    const qz::ParamBlock defaults = qz::DefaultParamBlock();
    for (int b = 0; b < qz::kBlockFieldCount; ++b) {
        const qz::ParamDef& def = qz::BlockField(b);
        if (def.paramIndex < 0) {
            std::printf("%5d %5s  %-12s %-7s %6d %6d %8d %11s %8s\n", b, "-", def.label, KindName(def.kind),
                        def.minimum(), def.maximum(), defaults.field(b), "-", "-");
            continue;
        }
        std::printf("%5d %5d  %-12s %-7s %6d %6d %8d %11.8f %8.8g\n", b, def.paramIndex, def.label,
                    KindName(def.kind), def.minimum(), def.maximum(), defaults.field(b),
                    qz::ToNormalized(def.paramIndex, defaults.field(b)), def.neutral);
    }
    std::printf("\nDefault crossover points:");
    for (int x = 0; x < qz::kCrossoverCount; ++x)
        std::printf(" %d Hz", qz::units::FrequencyHz(defaults.Freq[x]));
    std::printf("\n");
    return 0;
}
