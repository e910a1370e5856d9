#include "Lv2PresetBundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "IniText.h"
#include "ParamTable.h"
#include "PresetData.h"
#include "PresetFileFormat.h"
#include "PresetFiles.h"
#include "SafeFiles.h"
#include "Turtle.h"
#include "qz_guids.h"

namespace qz::cli {

namespace {

constexpr char kManifest[] = "manifest.ttl";
constexpr char kPresetFile[] = "presets.ttl";
// The first line of every manifest this command writes: how it knows its own bundles.
constexpr char kSignature[] = "# qz:Multiband presets, written by qzmb lv2-presets";

// A name as a part of an IRI fragment: lower-case letters and digits, every other run
// of bytes one "-" ("Soft Kick!" -> "soft-kick-"). Hosts type these IRIs (jalv's
// console takes no "%" escapes); names that come out the same are told apart later.
std::string Slug(const std::string& name)
{
    std::string slug;
    for (char byte : name) {
        const unsigned char c = static_cast<unsigned char>(byte);
        if (c < 0x80 && std::isalnum(c))
            slug += static_cast<char>(std::tolower(c));
        else if (slug.empty() || slug.back() != '-')
            slug += '-';
    }
    return slug;
}

// The LV2 presets and banks of the store's presets, in the order the plug-in lists them.
void CollectPresets(const PresetList& list, std::vector<lv2::Preset>& presets, std::vector<lv2::Bank>& banks,
                    std::vector<std::string>& warnings)
{
    std::vector<std::string> subjects;
    for (const PresetRecord& record : list) {
        ParamBlock settings = DefaultParamBlock();
        const PresetDataReading reading = ParsePresetData(record.data, settings);
        const std::string shown = record.bank.empty() ? record.name : record.bank + " / " + record.name;
        for (const std::string& line : DescribeUnreadValues(reading))
            warnings.push_back("preset \"" + shown + "\": " + line);

        std::string bankSubject;
        if (!record.bank.empty()) {
            // Banks are told apart as the store tells them apart: without regard to case.
            bankSubject = std::string(kPresetFile) + "#bank/" + Slug(record.bank);
            bool known = false;
            for (const lv2::Bank& bank : banks)
                known = known || bank.subject == bankSubject;
            if (!known)
                banks.push_back({bankSubject, record.bank});
        }
        const std::string base = std::string(kPresetFile) + "#preset/" +
                                 (record.bank.empty() ? "" : Slug(record.bank) + "/") +
                                 Slug(record.name);
        std::string subject = base;
        for (int copy = 2; std::find(subjects.begin(), subjects.end(), subject) != subjects.end(); ++copy)
            subject = base + "-" + std::to_string(copy);
        subjects.push_back(subject);
        presets.push_back({subject, shown, ClampedBlock(settings), bankSubject});
    }
}

bool WriteText(const std::string& path, const std::string& text)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (descriptor < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    const bool complete = done == text.size() && fsync(descriptor) == 0;
    return close(descriptor) == 0 && complete;
}

// Removes a bundle folder this command made: its two files, then the folder.
void RemoveBundle(const std::string& folder)
{
    for (const char* file : {kManifest, kPresetFile})
        unlink((folder + "/" + file).c_str());
    rmdir(folder.c_str());
}

// Whether `folder` is a bundle this command wrote (and nothing else is in it).
bool IsOurBundle(const std::string& folder)
{
    FILE* manifest = std::fopen((folder + "/" + kManifest).c_str(), "rb");
    if (manifest == nullptr)
        return false;
    char line[sizeof kSignature] = {};
    const bool signed_ = std::fread(line, 1, sizeof line - 1, manifest) == sizeof line - 1 &&
                         std::strcmp(line, kSignature) == 0;
    std::fclose(manifest);
    if (!signed_)
        return false;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    bool onlyOurs = true;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        onlyOurs = onlyOurs && (name == "." || name == ".." || name == kManifest || name == kPresetFile);
    }
    closedir(dir);
    return onlyOurs;
}

// The comment line that starts the manifest: a file name may hold line breaks.
std::string Heading(const std::string& storePath)
{
    std::string line = std::string(kSignature) + " from " + storePath;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return line + "\n";
}

std::string Problem(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

std::string WriteLv2PresetBundle(const std::string& storePath, const std::string& bundlePath,
                                 Lv2PresetReport& report)
{
    report = Lv2PresetReport{};
    std::string bytes;
    const files::ReadResult read = files::ReadWholeFile(storePath, kPresetFileLimit, bytes);
    if (!read.problem.empty())
        return "cannot read the preset file " + storePath + ": " + read.problem;
    const std::string identity = ReadPresetFileIdentity(IniText(std::move(bytes)));
    if (!identity.empty() && !SameText(identity, PresetClassKey(kCLSID_Filter)))
        return storePath + " holds presets of another plug-in (" + identity + ")";
    std::string error;
    const PresetFileContents contents = ReadPresetFile(storePath, error);
    if (!error.empty())
        return error;
    report.warnings = contents.notes;
    std::vector<lv2::Preset> presets;
    std::vector<lv2::Bank> banks;
    CollectPresets(contents.presets, presets, banks, report.warnings);

    struct stat existing;
    const bool replacing = lstat(bundlePath.c_str(), &existing) == 0;
    if (replacing && !(S_ISDIR(existing.st_mode) && IsOurBundle(bundlePath)))
        return bundlePath + " exists and is not a preset bundle qzmb wrote; not replaced";

    // The new bundle is made complete beside the old one, then takes its place.
    std::string temporary = bundlePath + ".XXXXXX";
    if (mkdtemp(&temporary[0]) == nullptr)
        return Problem("cannot create a folder beside", bundlePath);
    const std::string manifest =
        lv2::PresetBundleManifest(Heading(storePath), presets, banks, kPresetFile);
    if (!WriteText(temporary + "/" + kPresetFile, lv2::PresetDescription(presets, banks)) ||
        !WriteText(temporary + "/" + kManifest, manifest)) {
        const std::string problem = Problem("cannot write the bundle", bundlePath);
        RemoveBundle(temporary);
        return problem;
    }
    chmod(temporary.c_str(), 0755);
    if (replacing) {
        // Swapped in one step: hosts never see a half-written bundle, nor none at all.
        if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, bundlePath.c_str(), RENAME_EXCHANGE) != 0) {
            const std::string problem = Problem("cannot replace", bundlePath);
            RemoveBundle(temporary);
            return problem;
        }
    } else if (rename(temporary.c_str(), bundlePath.c_str()) != 0) {
        const std::string problem = Problem("cannot create", bundlePath);
        RemoveBundle(temporary);
        return problem;
    }
    RemoveBundle(temporary);  // after an exchange, the old bundle
    report.presets = static_cast<int>(presets.size());
    report.banks = static_cast<int>(banks.size());
    return "";
}

} // namespace qz::cli
