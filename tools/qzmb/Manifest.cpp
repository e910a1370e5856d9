#include "Manifest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "Json.h"
#include "OutputFile.h"
#include "StoredRecord.h"

namespace qz::cli {

namespace {

const char* const kManifestTag = "qzmb_manifest";
constexpr int kManifestFormat = 1;

// One JSON object, member by member.
class ObjectWriter {
public:
    ObjectWriter& raw(const char* name, const std::string& value)
    {
        m_text += m_text.empty() ? "{" : ",";
        m_text += JsonString(name) + ":" + value;
        return *this;
    }
    ObjectWriter& text(const char* name, const std::string& value) { return raw(name, JsonString(value)); }
    ObjectWriter& number(const char* name, int64_t value) { return raw(name, std::to_string(value)); }
    ObjectWriter& flag(const char* name, bool value) { return raw(name, value ? "true" : "false"); }
    std::string finish() const { return m_text + "}"; }

private:
    std::string m_text;
};

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A linear level in dB with two decimals; null for silence (no finite dB).
std::string DecibelsOrNull(double linear)
{
    return linear > 0.0 ? Fixed(20.0 * std::log10(linear), 2) : "null";
}

double LinearFromDecibels(const JsonValue& value)
{
    return value.kind == JsonValue::Kind::Number ? std::pow(10.0, std::strtod(value.text.c_str(), nullptr) / 20.0)
                                                 : 0.0;
}

// Typed reads of optional members: a member of another type is a problem.
class ObjectReader {
public:
    explicit ObjectReader(const JsonValue& object) : m_object(object) {}

    void text(const char* name, std::string& out)
    {
        if (const JsonValue* v = find(name, JsonValue::Kind::String))
            out = v->text;
    }
    template <typename Integer>
    void integer(const char* name, Integer& out)
    {
        if (const JsonValue* v = find(name, JsonValue::Kind::Number)) {
            char* end = nullptr;
            const long long value = std::strtoll(v->text.c_str(), &end, 10);
            if (*end != '\0')
                m_problem = std::string(name) + " is not a whole number";
            out = static_cast<Integer>(value);
        }
    }
    void real(const char* name, double& out)
    {
        if (const JsonValue* v = find(name, JsonValue::Kind::Number))
            out = std::strtod(v->text.c_str(), nullptr);
    }
    void flag(const char* name, bool& out)
    {
        if (const JsonValue* v = find(name, JsonValue::Kind::Boolean))
            out = v->boolean;
    }
    // A level in dB or null.
    void level(const char* name, double& out)
    {
        if (const JsonValue* v = m_object.member(name))
            out = LinearFromDecibels(*v);
    }
    void levels(const char* name, double (&out)[kBandCount])
    {
        const JsonValue* v = find(name, JsonValue::Kind::Array);
        if (v == nullptr)
            return;
        if (v->items.size() != kBandCount) {
            m_problem = std::string(name) + " needs " + std::to_string(kBandCount) + " values";
            return;
        }
        for (int b = 0; b < kBandCount; ++b)
            out[b] = LinearFromDecibels(v->items[b]);
    }
    const std::string& problem() const { return m_problem; }

private:
    const JsonValue* find(const char* name, JsonValue::Kind kind)
    {
        const JsonValue* v = m_object.member(name);
        if (v == nullptr || v->kind == JsonValue::Kind::Null)
            return nullptr;
        if (v->kind != kind) {
            m_problem = std::string(name) + " has the wrong type";
            return nullptr;
        }
        return v;
    }

    const JsonValue& m_object;
    std::string m_problem;
};

bool WriteAll(int descriptor, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

} // namespace

bool ManifestHeader::operator==(const ManifestHeader& other) const
{
    return shard == other.shard && shardCount == other.shardCount && inputs == other.inputs &&
           listHash == other.listHash;
}

std::string EngineVersion() { return "qz:Multiband " QZ_VERSION; }

std::string SettingsHex(const ParamBlock& settings)
{
    uint8_t header[kStoredHeaderSize];
    uint8_t block[kStoredBlockSize];
    WriteStoredHeader(header);
    WriteStoredBlock(settings, block);
    std::string hex;
    char pair[3];
    for (const uint8_t byte : header) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    for (const uint8_t byte : block) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

std::string FormatHeader(const ManifestHeader& header)
{
    return ObjectWriter()
        .number(kManifestTag, kManifestFormat)
        .text("shard", std::to_string(header.shard) + "/" + std::to_string(header.shardCount))
        .number("inputs", header.inputs)
        .text("list_sha256", header.listHash)
        .finish();
}

std::string FormatEntry(const ManifestEntry& e)
{
    ObjectWriter line;
    line.text("output", e.output).text("status", e.status).text("input", e.input);
    if (!e.error.empty())
        line.text("error", e.error);
    if (e.inputSize >= 0)
        line.number("input_size", e.inputSize);
    if (!e.inputHash.empty())
        line.text("input_sha256", e.inputHash);
    if (!e.settings.empty())
        line.text("settings", e.settings);
    if (!e.done())
        return line.finish();
    line.text("output_sha256", e.outputHash);
    if (!e.plot.empty())
        line.text("plot", e.plot);
    std::string gains = "[";
    for (int b = 0; b < kBandCount; ++b)
        gains += (b > 0 ? "," : "") + DecibelsOrNull(e.bandGain[b]);
    return line.number("frames", e.frames)
        .number("sample_rate", e.sampleRate)
        .number("channels", e.channels)
        .raw("band_gain_db", gains + "]")
        .raw("output_peak_dbfs", DecibelsOrNull(e.outputPeak))
        .flag("over", e.over)
        .number("nonfinite_samples", e.nonFiniteSamples)
        .raw("wall_seconds", Fixed(e.wallSeconds, 3))
        .text("engine", e.engine)
        .finish();
}

std::string ParseLine(const std::string& line, std::optional<ManifestHeader>& header,
                      std::optional<ManifestEntry>& entry)
{
    header.reset();
    entry.reset();
    JsonValue object;
    std::string problem;
    if (!ParseJson(line, object, problem))
        return "not JSON: " + problem;
    if (object.kind != JsonValue::Kind::Object)
        return "not a JSON object";
    ObjectReader read(object);
    if (object.member(kManifestTag) != nullptr) {
        ManifestHeader h;
        int format = 0;
        std::string shard;
        read.integer(kManifestTag, format);
        read.text("shard", shard);
        read.integer("inputs", h.inputs);
        read.text("list_sha256", h.listHash);
        if (format != kManifestFormat)
            return "a manifest of another format (" + std::to_string(format) + ")";
        char slash = 0, rest = 0;
        if (std::sscanf(shard.c_str(), "%d%c%d%c", &h.shard, &slash, &h.shardCount, &rest) != 3 || slash != '/' ||
            h.shard < 1 || h.shard > h.shardCount)
            return "the shard \"" + shard + "\" is not K/N";
        if (!read.problem().empty())
            return read.problem();
        header = h;
        return "";
    }
    ManifestEntry e;
    read.text("output", e.output);
    read.text("status", e.status);
    read.text("input", e.input);
    read.text("error", e.error);
    read.integer("input_size", e.inputSize);
    read.text("input_sha256", e.inputHash);
    read.text("settings", e.settings);
    read.text("output_sha256", e.outputHash);
    read.text("plot", e.plot);
    read.integer("frames", e.frames);
    read.integer("sample_rate", e.sampleRate);
    read.integer("channels", e.channels);
    read.levels("band_gain_db", e.bandGain);
    read.level("output_peak_dbfs", e.outputPeak);
    read.flag("over", e.over);
    read.integer("nonfinite_samples", e.nonFiniteSamples);
    read.real("wall_seconds", e.wallSeconds);
    read.text("engine", e.engine);
    if (!read.problem().empty())
        return read.problem();
    if (e.output.empty())
        return "no output path";
    if (e.status != "done" && e.status != "failed" && e.status != "pending")
        return "an unknown status \"" + e.status + "\"";
    entry = e;
    return "";
}

std::string ReadManifest(const std::string& path, ManifestContents& contents)
{
    contents = ManifestContents{};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (access(path.c_str(), F_OK) != 0 && errno == ENOENT)
            return "";
        return "cannot read the manifest " + path + ": " + std::strerror(errno);
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty())
            continue;
        std::optional<ManifestHeader> header;
        std::optional<ManifestEntry> entry;
        const std::string problem = ParseLine(line, header, entry);
        if (!problem.empty())
            contents.notes.push_back(path + " line " + std::to_string(number) + ": " + problem + "; line ignored");
        else if (header)
            contents.header = header;
        else
            contents.entries[entry->output] = *entry;
    }
    if (in.bad())
        return "cannot read the manifest " + path + ": " + std::strerror(errno);
    return "";
}

std::string WriteManifest(const std::string& path, const ManifestHeader& header,
                          const std::map<std::string, ManifestEntry>& entries)
{
    std::string target;
    std::string problem = CheckDestination(path, {}, target);
    if (!problem.empty())
        return problem;
    std::string text = FormatHeader(header) + "\n";
    for (const auto& item : entries)
        text += FormatEntry(item.second) + "\n";
    OutputFile file;
    problem = file.create(target, path);
    if (!problem.empty())
        return problem;
    if (!WriteAll(file.descriptor(), text))
        return "cannot write " + path + ": " + std::strerror(errno);
    return file.commit();
}

ManifestFile::~ManifestFile()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

std::string ManifestFile::lock()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_descriptor = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (m_descriptor < 0)
        return "cannot write the manifest " + m_path + ": " + std::strerror(errno);
    if (flock(m_descriptor, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? "another qzmb batch is writing " + m_path + "; wait for it to end"
                                    : "cannot lock the manifest " + m_path + ": " + std::strerror(errno);
    return "";
}

std::string ManifestFile::open(const std::string& path, std::vector<std::string>& notes)
{
    m_path = path;
    std::string problem = lock();
    if (!problem.empty())
        return problem;
    ManifestContents contents;
    problem = ReadManifest(path, contents);
    if (!problem.empty())
        return problem;
    notes = contents.notes;
    m_entries = std::move(contents.entries);
    return "";
}

std::optional<ManifestEntry> ManifestFile::find(const std::string& output) const
{
    std::lock_guard<std::mutex> hold(m_mutex);
    const auto found = m_entries.find(output);
    if (found == m_entries.end())
        return std::nullopt;
    return found->second;
}

std::string ManifestFile::append(const ManifestEntry& entry, bool* diskFull)
{
    const std::string line = FormatEntry(entry) + "\n";
    std::lock_guard<std::mutex> hold(m_mutex);
    // One write per line: a line is in the file whole or not at all, even when the
    // program is killed.
    if (!WriteAll(m_descriptor, line)) {
        const int error = errno;
        if (diskFull != nullptr)
            *diskFull = error == ENOSPC || error == EDQUOT;
        return "cannot write the manifest " + m_path + ": " + std::strerror(error);
    }
    m_entries[entry.output] = entry;
    return "";
}

void ManifestFile::expect(const ManifestEntry& entry)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    m_entries.emplace(entry.output, entry);
}

std::string ManifestFile::rewrite(const ManifestHeader& header)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    const std::string problem = WriteManifest(m_path, header, m_entries);
    if (!problem.empty())
        return problem;
    // The new file replaced the one the lock was on.
    return lock();
}

} // namespace qz::cli
