#include "CompareFiles.h"

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace qz::cli {

namespace {

// The size of one step of an integer sample format, full scale being 1.0.
double StepOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 1.0 / 128;
    case SF_FORMAT_PCM_16: return 1.0 / 32768;
    case SF_FORMAT_PCM_24: return 1.0 / 8388608;
    case SF_FORMAT_PCM_32: return 1.0 / 2147483648.0;
    default: return 0.0;
    }
}

} // namespace

std::string CompareFiles(const std::string& first, const std::string& second, Comparison& result)
{
    result = Comparison{};
    SF_INFO a{}, b{};
    SNDFILE* fa = sf_open(first.c_str(), SFM_READ, &a);
    if (fa == nullptr)
        return "cannot read " + first + ": " + sf_strerror(nullptr);
    SNDFILE* fb = sf_open(second.c_str(), SFM_READ, &b);
    if (fb == nullptr) {
        sf_close(fa);
        return "cannot read " + second + ": " + sf_strerror(nullptr);
    }
    std::string problem;
    result.sameShape = a.channels == b.channels && a.samplerate == b.samplerate && a.frames == b.frames;
    if (result.sameShape) {
        result.frames = a.frames;
        result.step = StepOf(a.format);
        std::vector<double> x(4096 * static_cast<size_t>(a.channels)), y(x.size());
        for (sf_count_t got; (got = sf_readf_double(fa, x.data(), 4096)) > 0;) {
            if (sf_readf_double(fb, y.data(), got) != got) {
                problem = "cannot read " + second + ": it ends before its stated length";
                break;
            }
            for (sf_count_t k = 0; k < got * a.channels; ++k) {
                // A NaN or an infinity is a difference, whatever the other file holds.
                if (!std::isfinite(x[k]) || !std::isfinite(y[k]))
                    ++result.nonFinite;
                else
                    result.largestDifference = std::fmax(result.largestDifference, std::fabs(x[k] - y[k]));
            }
        }
    }
    sf_close(fa);
    sf_close(fb);
    return problem;
}

bool Comparison::agree() const
{
    if (!sameShape || nonFinite > 0)
        return false;
    return step > 0 ? largestDifference <= step : largestDifference <= 1e-6;
}

} // namespace qz::cli
