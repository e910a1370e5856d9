#include "Crossover.h"

#include <algorithm>

#include "PortableMath.h"

namespace qz {

CrossoverCoeffs ComputeCrossoverCoeffs(double frequencyHz, double q, double sampleRate)
{
    const double pi = 3.14159265;
    double f = std::max(frequencyHz, 20.0);
    f = std::min(f, sampleRate / 2.0 - 1.0);
    const double theta = f * pi / sampleRate;
    const double alpha = math::Sin(2.0 * theta) / (2.0 * q);
    const double t = math::Tan(theta);
    CrossoverCoeffs k;
    k.c0 = -(1.0 - t) / (1.0 + t);
    k.c1 = (1.0 - alpha) / (1.0 + alpha);
    k.c2 = -2.0 * math::Cos(2.0 * theta) / (1.0 + alpha);
    return k;
}

} // namespace qz
