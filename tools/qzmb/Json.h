#pragma once
// The part of JSON the batch manifest needs: quoting strings for writing, and reading
// one line back into a tree of values.

#include <string>
#include <utility>
#include <vector>

namespace qz::cli {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a string's content, or a number as it was written
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The member of that name of an object, or nullptr.
    const JsonValue* member(const std::string& name) const;
};

// Reads exactly one value, with white space around it. False, and `error` set, for
// anything else.
bool ParseJson(const std::string& text, JsonValue& value, std::string& error);

// `text` as a JSON string, quotes included. Bytes are kept as they are: a file name
// that is not UTF-8 comes back from ParseJson unchanged.
std::string JsonString(const std::string& text);

} // namespace qz::cli
