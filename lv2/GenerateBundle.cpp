// Writes the Turtle files of the plug-in's bundle from the engine's parameter table:
//
//   qz_lv2_turtle BUNDLE_DIR      manifest.ttl, qzmultiband.ttl and presets.ttl
#include <cstdio>
#include <string>

#include "Turtle.h"

namespace {

bool WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qz_lv2_turtle BUNDLE_DIR\n");
        return 2;
    }
    const std::string target = argv[1];
    using namespace qz::lv2;
    const struct {
        const char* name;
        std::string text;
    } files[] = {
        {"manifest.ttl", PluginManifest()},
        {kPluginFile, PluginDescription()},
        {kBuiltinPresetFile, PresetDescription(BuiltinPresets(), {})},
    };
    for (const auto& file : files)
        if (!WriteText(target + "/" + file.name, file.text)) {
            std::fprintf(stderr, "qz_lv2_turtle: cannot write %s/%s\n", target.c_str(), file.name);
            return 1;
        }
    return 0;
}
