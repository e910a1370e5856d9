#pragma once
// The input list of a batch: the files named on the command line, the files of the
// folders given (with --recursive) and the lines of --from lists, each paired with its
// output path relative to the output folder; and the share of one of N machines.

#include <cstdint>
#include <string>
#include <vector>

namespace qz::cli {

struct BatchInput {
    std::string input;   // the path to read
    std::string output;  // relative to the output folder; the manifest's key
    int64_t size = 0;    // bytes, as listed (0 when not a regular file)
};

// A name the list refused: it has no output of its own (a folder without --recursive,
// a path leading out of the output folder, a second input for one output).
struct ListProblem {
    std::string input;
    std::string output;  // empty when there is none
    std::string text;
};

struct InputSources {
    std::vector<std::string> arguments;  // files keep their name, folders give their tree
    std::vector<std::string> lists;      // --from files, "-" for standard input: their
                                         // lines keep their path (leading "/" and "./" dropped)
    bool recursive = false;
    std::string format;        // "wav", "aiff", "flac", or empty: the input's own name
    std::string outputFolder;  // never walked into
};

struct GatheredInputs {
    std::vector<BatchInput> inputs;
    std::vector<ListProblem> problems;
    int64_t skippedFiles = 0;  // files of walked folders not named like audio, or hidden
};

// The file name extensions a folder walk takes, and that outputs may have.
bool HasAudioExtension(const std::string& name);

// Builds the list. Walks are in byte order of names, so every machine builds the same
// list. Returns a problem that stops the batch (an unreadable --from list), else "".
std::string GatherInputs(const InputSources& sources, GatheredInputs& gathered);

// Which share an output belongs to, 1..shardCount: by a hash of its path, the same on
// every machine.
int ShardOf(const std::string& output, int shardCount);
// The hash of the sorted output paths: the same list gives the same text.
std::string ListHash(const std::vector<BatchInput>& inputs);

} // namespace qz::cli
