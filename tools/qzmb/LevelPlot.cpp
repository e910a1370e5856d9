#include "LevelPlot.h"

#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "BandDynamics.h"
#include "LevelTrace.h"
#include "OutputFile.h"
#include "ParamUnits.h"

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, under cairo's text, keeps its caches until the program ends: not leaks
// of ours for the leak checker of the sanitized builds to report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
#if defined(__SANITIZE_THREAD__)
// Cairo, not built with the thread sanitizer, hands objects it allocated itself between
// the batch's threads through its own caches, whose atomic operations the sanitizer
// cannot see: a race reported inside cairo on cairo's own memory is not one of ours.
// Each job draws on a surface and context of its own.
extern "C" const char* __tsan_default_suppressions() { return "race:libcairo.so\n"; }
#endif

namespace qz::cli {

namespace {

// The editor's colours: its dark panels, the label blue, the level meters' blues, the
// gain meter's amber (reduction) and green (boost), and the curve graph's pens.
struct Colour {
    double r, g, b;
};
constexpr Colour kPage{0x2a / 255.0, 0x2d / 255.0, 0x31 / 255.0};
constexpr Colour kLane{0x10 / 255.0, 0x16 / 255.0, 0x1c / 255.0};
constexpr Colour kGrid{0x3a / 255.0, 0x45 / 255.0, 0x50 / 255.0};
constexpr Colour kLabel{0x9f / 255.0, 0xb6 / 255.0, 0xc8 / 255.0};
constexpr Colour kTitle{0xd3 / 255.0, 0xec / 255.0, 0xfb / 255.0};
constexpr Colour kInput{0x2a / 255.0, 0x74 / 255.0, 0xb8 / 255.0};
constexpr Colour kOutput{0x7f / 255.0, 0xd0 / 255.0, 0xf5 / 255.0};
constexpr Colour kReduction{0xf5 / 255.0, 0xb8 / 255.0, 0x3d / 255.0};
constexpr Colour kBoost{0x4f / 255.0, 0xae / 255.0, 0x4a / 255.0};
constexpr Colour kCurve{157 / 255.0, 183 / 255.0, 202 / 255.0};
constexpr Colour kReference{127 / 255.0, 161 / 255.0, 186 / 255.0};

// The page, in pixels.
constexpr int kWidth = 1280;
constexpr int kHeight = 930;
constexpr double kTimeLeft = 150, kTimeRight = 1050;  // the lanes' time axis
constexpr double kLevelTop = 56, kLevelHeight = 170;
constexpr double kBandTop = 246, kBandHeight = 118, kBandGap = 10;
constexpr double kCurveLeft = 1090;  // the transfer curves, one square beside each lane
constexpr double kAxisTop = kBandTop + kBandCount * (kBandHeight + kBandGap);

double BandTop(int b) { return kBandTop + b * (kBandHeight + kBandGap); }

// The level lane and the curves span -60 .. +6 dBFS.
constexpr double kFloorDb = -60.0, kCeilingDb = 6.0;

double Decibels(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : -INFINITY; }

struct Rect {
    double x, y, w, h;
};

class Painter {
public:
    explicit Painter(cairo_t* cr) : m_cr(cr)
    {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    }

    void fill(const Rect& r, Colour c)
    {
        colour(c);
        cairo_rectangle(m_cr, r.x, r.y, r.w, r.h);
        cairo_fill(m_cr);
    }

    void line(double x1, double y1, double x2, double y2, Colour c, double width = 1.0)
    {
        colour(c);
        cairo_set_line_width(m_cr, width);
        cairo_move_to(m_cr, x1, y1);
        cairo_line_to(m_cr, x2, y2);
        cairo_stroke(m_cr);
    }

    // Text with its left end (or right end, `alignRight`) at x and its baseline at y.
    void text(const std::string& s, double x, double y, Colour c, double size = 12, bool alignRight = false,
              bool bold = false)
    {
        cairo_select_font_face(m_cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(m_cr, size);
        if (alignRight) {
            cairo_text_extents_t extents;
            cairo_text_extents(m_cr, s.c_str(), &extents);
            x -= extents.x_advance;
        }
        colour(c);
        cairo_move_to(m_cr, x, y);
        cairo_show_text(m_cr, s.c_str());
    }

    void colour(Colour c) { cairo_set_source_rgb(m_cr, c.r, c.g, c.b); }
    void clip(const Rect& r)
    {
        cairo_save(m_cr);
        cairo_rectangle(m_cr, r.x, r.y, r.w, r.h);
        cairo_clip(m_cr);
    }
    void unclip() { cairo_restore(m_cr); }
    cairo_t* cr() const { return m_cr; }

private:
    cairo_t* m_cr;
};

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Hertz(int hz) { return hz >= 1000 ? Printf("%.3g kHz", hz / 1000.0) : std::to_string(hz) + " Hz"; }

std::string BandRange(const ParamBlock& p, int b)
{
    if (b == 0)
        return "below " + Hertz(units::FrequencyHz(p.Freq[0]));
    if (b == kBandCount - 1)
        return "above " + Hertz(units::FrequencyHz(p.Freq[kCrossoverCount - 1]));
    return Hertz(units::FrequencyHz(p.Freq[b - 1])) + " - " + Hertz(units::FrequencyHz(p.Freq[b]));
}

std::string TimeLabel(double seconds, double step)
{
    if (step < 1.0)
        return Printf("%.1f s", seconds);
    const long long s = std::llround(seconds);
    char text[32];
    if (s < 60)
        std::snprintf(text, sizeof text, "%lld s", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// The smallest of the usual steps that puts at most a dozen ticks on the axis.
double TimeStep(double seconds)
{
    static const double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    for (double step : kSteps)
        if (seconds / step <= 12)
            return step;
    return std::ceil(seconds / 12 / 3600) * 3600;
}

class PlotDrawing {
public:
    PlotDrawing(const LevelTrace& trace, const ParamBlock& settings, Painter& paint)
        : m_trace(trace), m_settings(settings), m_paint(paint)
    {
        m_seconds = trace.sampleRate() > 0 ? static_cast<double>(trace.frames()) / trace.sampleRate() : 0.0;
        // One gain scale for every lane, so that lanes compare at a glance: 6 dB steps
        // down to the deepest reduction, and up to the largest boost when there is one.
        double deepest = 0.0, highest = 0.0;
        for (const LevelTrace::Bin& bin : trace.bins())
            for (int b = 0; b < kBandCount; ++b) {
                const double db = Decibels(bin.bandGain[b]);
                if (std::isfinite(db)) {
                    deepest = std::min(deepest, db);
                    highest = std::max(highest, db);
                }
            }
        m_reductionRange = std::max(6.0, std::ceil(-deepest / 6.0 - 1e-9) * 6.0);
        m_boostRange = highest > 0.0 ? std::max(6.0, std::ceil(highest / 6.0 - 1e-9) * 6.0) : 0.0;
    }

    void draw(const std::string& title)
    {
        m_paint.fill({0, 0, kWidth, kHeight}, kPage);
        m_paint.text(title, 16, 26, kTitle, 16, false, true);
        m_paint.text(Printf("%.1f s", m_seconds) + " at " + std::to_string(m_trace.sampleRate()) + " Hz" +
                         "    output gain " + Printf("%+.1f dB", m_settings.OutputGain / 10.0) + ", limiter " +
                         (m_settings.Limiter ? "on" : "off") + ", TCR " + (m_settings.TCR ? "on" : "off"),
                     16, 46, kLabel, 12);
        m_paint.text("transfer curves, dB in to dB out", kCurveLeft, 46, kLabel, 11);
        levelLane();
        for (int b = 0; b < kBandCount; ++b)
            bandLane(b);
        timeAxis();
    }

private:
    double timeX(int64_t frame) const
    {
        const double fraction = m_trace.frames() > 0 ? static_cast<double>(frame) / m_trace.frames() : 0.0;
        return kTimeLeft + std::min(fraction, 1.0) * (kTimeRight - kTimeLeft);
    }

    // The step shape of `valueY(bin)` across every bin.
    template <typename ValueY>
    void steps(ValueY valueY)
    {
        cairo_t* cr = m_paint.cr();
        const auto& bins = m_trace.bins();
        for (size_t i = 0; i < bins.size(); ++i) {
            const double y = valueY(bins[i]);
            cairo_line_to(cr, timeX(static_cast<int64_t>(i) * m_trace.binFrames()), y);
            cairo_line_to(cr, timeX(std::min(static_cast<int64_t>(i + 1) * m_trace.binFrames(), m_trace.frames())), y);
        }
    }

    // Fills between `base` and the step shape.
    template <typename ValueY>
    void fillSteps(double base, ValueY valueY, Colour c)
    {
        cairo_t* cr = m_paint.cr();
        cairo_move_to(cr, timeX(0), base);
        steps(valueY);
        cairo_line_to(cr, timeX(m_trace.frames()), base);
        cairo_close_path(cr);
        m_paint.colour(c);
        cairo_fill(cr);
    }

    template <typename ValueY>
    void strokeSteps(ValueY valueY, Colour c)
    {
        cairo_t* cr = m_paint.cr();
        cairo_new_path(cr);
        steps(valueY);
        m_paint.colour(c);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }

    void levelLane()
    {
        const Rect lane{kTimeLeft, kLevelTop, kTimeRight - kTimeLeft, kLevelHeight};
        m_paint.fill(lane, kLane);
        timeGrid(lane);
        auto y = [&](double db) {
            const double clamped = std::clamp(db, kFloorDb, kCeilingDb);
            return lane.y + (kCeilingDb - clamped) / (kCeilingDb - kFloorDb) * lane.h;
        };
        for (double db = 0; db >= kFloorDb; db -= 12) {
            m_paint.line(lane.x, y(db), lane.x + lane.w, y(db), kGrid);
            m_paint.text(Printf("%.0f", db), lane.x - 6, y(db) + 4, kLabel, 10, true);
        }
        m_paint.text("Level", 16, lane.y + 16, kTitle, 13, false, true);
        m_paint.text("dBFS peak", 16, lane.y + 32, kLabel, 11);
        m_paint.fill({16, lane.y + 44, 10, 10}, kInput);
        m_paint.text("input", 32, lane.y + 53, kLabel, 11);
        m_paint.line(16, lane.y + 65, 26, lane.y + 65, kOutput, 2.0);
        m_paint.text("output", 32, lane.y + 69, kLabel, 11);
        m_paint.clip(lane);
        const double bottom = lane.y + lane.h;
        fillSteps(bottom, [&](const LevelTrace::Bin& bin) { return y(Decibels(bin.inputPeak)); }, kInput);
        strokeSteps([&](const LevelTrace::Bin& bin) { return y(Decibels(bin.outputPeak)); }, kOutput);
        m_paint.unclip();
    }

    void bandLane(int b)
    {
        const Rect lane{kTimeLeft, BandTop(b), kTimeRight - kTimeLeft, kBandHeight};
        const BandConstants k = BandConstants::Compute(m_settings, b, m_trace.sampleRate());
        m_paint.fill(lane, kLane);
        timeGrid(lane);
        const double span = m_boostRange + m_reductionRange;
        auto y = [&](double db) {
            const double clamped = std::clamp(db, -m_reductionRange, m_boostRange);
            return lane.y + (m_boostRange - clamped) / span * lane.h;
        };
        const double step = m_reductionRange > 24 ? 12.0 : 6.0;
        for (double db = m_boostRange; db >= -m_reductionRange; db -= step) {
            m_paint.line(lane.x, y(db), lane.x + lane.w, y(db), db == 0 ? kLabel : kGrid, db == 0 ? 1.0 : 0.6);
            m_paint.text(Printf("%+.0f", db).replace(0, db == 0 ? 1 : 0, ""), lane.x - 6, y(db) + 4, kLabel, 10,
                         true);
        }

        double deepest = 1.0;
        for (const LevelTrace::Bin& bin : m_trace.bins())
            deepest = FartherFromUnity(deepest, bin.bandGain[b]);
        m_paint.text("Band " + std::to_string(b + 1), 16, lane.y + 16, kTitle, 13, false, true);
        m_paint.text(BandRange(m_settings, b), 16, lane.y + 32, kLabel, 10);
        std::string state = Printf("%.1f dB", m_settings.Threshold[b] / 10.0) + ", " +
                            Printf("%.1f:1", units::RatioValue(m_settings.Ratio[b]));
        if (k.makeup == 0.0)
            state = "muted (solo)";
        else if (k.bypass)
            state = "bypassed";
        m_paint.text(state, 16, lane.y + 48, kLabel, 10);
        if (k.makeup > 0.0 && !k.bypass)
            m_paint.text("gain " + Printf("%+.1f dB", Decibels(deepest)), 16, lane.y + 64, kLabel, 10);

        if (k.makeup > 0.0 && !k.bypass) {
            m_paint.clip(lane);
            const double zero = y(0.0);
            // Below the zero line where the gain is below unity, above it where above.
            fillSteps(zero, [&](const LevelTrace::Bin& bin) { return std::max(zero, y(Decibels(bin.bandGain[b]))); },
                      kReduction);
            fillSteps(zero, [&](const LevelTrace::Bin& bin) { return std::min(zero, y(Decibels(bin.bandGain[b]))); },
                      kBoost);
            m_paint.unclip();
        }
        transferCurve(b, k, {kCurveLeft, lane.y, lane.h, lane.h});
    }

    // The band's static curve: output level against detector level, make-up included.
    void transferCurve(int b, const BandConstants& k, const Rect& box)
    {
        m_paint.fill(box, kLane);
        auto x = [&](double db) { return box.x + (db - kFloorDb) / (kCeilingDb - kFloorDb) * box.w; };
        auto y = [&](double db) {
            return box.y + (kCeilingDb - std::clamp(db, kFloorDb - 10, kCeilingDb + 10)) / (kCeilingDb - kFloorDb) *
                               box.h;
        };
        for (double db = 0; db >= kFloorDb; db -= 20) {
            m_paint.line(x(db), box.y, x(db), box.y + box.h, kGrid, 0.6);
            m_paint.line(box.x, y(db), box.x + box.w, y(db), kGrid, 0.6);
        }
        m_paint.line(x(kFloorDb), y(kFloorDb), x(kCeilingDb), y(kCeilingDb), kReference);
        m_paint.clip(box);
        cairo_t* cr = m_paint.cr();
        const bool passes = k.makeup > 0.0;
        for (int column = 0; column <= static_cast<int>(box.w); ++column) {
            const double inDb = kFloorDb + column / box.w * (kCeilingDb - kFloorDb);
            const double in = std::pow(10.0, inDb / 20.0);
            const double gain = k.bypass ? 1.0 : BandState::TargetGain(k, std::log(in)) * k.makeup;
            const double outDb = passes ? Decibels(in * gain) : kFloorDb - 10;
            if (column == 0)
                cairo_move_to(cr, box.x + column, y(outDb));
            else
                cairo_line_to(cr, box.x + column, y(outDb));
        }
        m_paint.colour(kCurve);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        m_paint.unclip();
        // The threshold, on the input axis.
        const double threshold = m_settings.Threshold[b] / 10.0;
        m_paint.line(x(threshold), box.y + box.h - 6, x(threshold), box.y + box.h, kReduction, 2.0);
        m_paint.text(std::to_string(b + 1), box.x + box.w + 8, box.y + 14, kTitle, 12, false, true);
        m_paint.text("in -60..+6", box.x + box.w + 8, box.y + box.h - 4, kLabel, 9);
    }

    // The vertical lines of the time axis, under a lane's data.
    void timeGrid(const Rect& lane)
    {
        if (m_seconds <= 0.0)
            return;
        const double step = TimeStep(m_seconds);
        for (double t = step; t < m_seconds - 1e-9; t += step) {
            const double x = kTimeLeft + t / m_seconds * (kTimeRight - kTimeLeft);
            m_paint.line(x, lane.y, x, lane.y + lane.h, kGrid, 0.5);
        }
    }

    void timeAxis()
    {
        const double y = kAxisTop - kBandGap + 16;
        if (m_seconds <= 0.0) {
            m_paint.text("no audio", kTimeLeft, y, kLabel, 11);
            return;
        }
        const double step = TimeStep(m_seconds);
        for (double t = 0; t <= m_seconds + 1e-9; t += step)
            m_paint.text(TimeLabel(t, step), kTimeLeft + t / m_seconds * (kTimeRight - kTimeLeft) + 2, y, kLabel, 10);
    }

    const LevelTrace& m_trace;
    const ParamBlock& m_settings;
    Painter& m_paint;
    double m_seconds = 0.0;
    double m_reductionRange = 6.0, m_boostRange = 0.0;
};

cairo_status_t WriteToDescriptor(void* closure, const unsigned char* data, unsigned int length)
{
    const int descriptor = *static_cast<int*>(closure);
    while (length > 0) {
        const ssize_t wrote = write(descriptor, data, length);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return CAIRO_STATUS_WRITE_ERROR;
        data += wrote;
        length -= static_cast<unsigned>(wrote);
    }
    return CAIRO_STATUS_SUCCESS;
}

struct SurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextRelease {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

} // namespace

PlotGeometry LevelPlotGeometry()
{
    PlotGeometry geometry{kWidth, kHeight, kTimeLeft, kTimeRight, {}, kBandHeight};
    for (int b = 0; b < kBandCount; ++b)
        geometry.bandTop[b] = BandTop(b);
    return geometry;
}

std::string DrawLevelPlot(const LevelTrace& trace, const ParamBlock& settings, const std::string& title,
                          const std::string& path, const std::vector<std::string>& readFiles, OutputFile& file)
{
    std::string target;
    std::string problem = CheckDestination(path, readFiles, target);
    if (!problem.empty())
        return problem;
    std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
    std::unique_ptr<cairo_t, ContextRelease> cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        return "cannot draw " + path + ": " + cairo_status_to_string(cairo_status(cr.get()));
    Painter paint(cr.get());
    PlotDrawing(trace, settings, paint).draw(title);
    cairo_surface_flush(surface.get());

    problem = file.create(target, path);
    if (!problem.empty())
        return problem;
    int descriptor = file.descriptor();
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), WriteToDescriptor, &descriptor);
    if (status != CAIRO_STATUS_SUCCESS)
        return "cannot write " + path + ": " +
               (status == CAIRO_STATUS_WRITE_ERROR ? std::strerror(errno) : cairo_status_to_string(status));
    return "";
}

} // namespace qz::cli
