#include "Json.h"

#include <cstdio>
#include <cstring>

namespace qz::cli {

namespace {

// Nesting deeper than any manifest line is refused rather than recursed into.
constexpr int kMaxDepth = 16;

class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool value(JsonValue& out, int depth)
    {
        skipSpace();
        if (depth > kMaxDepth)
            return fail("nested too deeply");
        if (atEnd())
            return fail("a value is missing");
        const char c = m_text[m_at];
        if (c == '{')
            return object(out, depth);
        if (c == '[')
            return array(out, depth);
        if (c == '"') {
            out.kind = JsonValue::Kind::String;
            return string(out.text);
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number(out);
        if (word("true")) {
            out.kind = JsonValue::Kind::Boolean;
            out.boolean = true;
            return true;
        }
        if (word("false")) {
            out.kind = JsonValue::Kind::Boolean;
            return true;
        }
        if (word("null"))
            return true;
        return fail("unexpected character");
    }

    bool finish()
    {
        skipSpace();
        return atEnd() || fail("text after the value");
    }

    std::string error() const { return m_error + " at character " + std::to_string(m_at + 1); }

private:
    bool atEnd() const { return m_at >= m_text.size(); }

    bool fail(const char* what)
    {
        if (m_error.empty())
            m_error = what;
        return false;
    }

    void skipSpace()
    {
        while (!atEnd() && std::strchr(" \t\r\n", m_text[m_at]) != nullptr && m_text[m_at] != '\0')
            ++m_at;
    }

    bool take(char c)
    {
        skipSpace();
        if (atEnd() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }

    bool word(const char* w)
    {
        const size_t length = std::strlen(w);
        if (m_text.compare(m_at, length, w) != 0)
            return false;
        m_at += length;
        return true;
    }

    bool object(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Object;
        ++m_at;
        if (take('}'))
            return true;
        do {
            std::pair<std::string, JsonValue> member;
            skipSpace();
            if (atEnd() || m_text[m_at] != '"')
                return fail("a member name is missing");
            if (!string(member.first))
                return false;
            if (!take(':'))
                return fail("':' is missing");
            if (!value(member.second, depth + 1))
                return false;
            out.members.push_back(std::move(member));
        } while (take(','));
        return take('}') || fail("'}' is missing");
    }

    bool array(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Array;
        ++m_at;
        if (take(']'))
            return true;
        do {
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1))
                return false;
        } while (take(','));
        return take(']') || fail("']' is missing");
    }

    bool number(JsonValue& out)
    {
        out.kind = JsonValue::Kind::Number;
        const size_t start = m_at;
        if (m_text[m_at] == '-')
            ++m_at;
        const size_t digits = m_at;
        while (!atEnd() && std::strchr("0123456789.eE+-", m_text[m_at]) != nullptr && m_text[m_at] != '\0')
            ++m_at;
        out.text = m_text.substr(start, m_at - start);
        return m_at > digits || fail("a number has no digits");
    }

    // Appends code point `c` as UTF-8.
    static void Append(std::string& out, unsigned c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool hex4(unsigned& c)
    {
        if (m_at + 4 > m_text.size())
            return fail("a \\u escape is cut short");
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            const char* digit = std::strchr("0123456789abcdef", h | 0x20);
            if (digit == nullptr || h == '\0')
                return fail("a \\u escape has a wrong digit");
            c = c << 4 | static_cast<unsigned>(digit - "0123456789abcdef");
        }
        return true;
    }

    bool string(std::string& out)
    {
        ++m_at;
        while (!atEnd()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("a control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd())
                break;
            const char e = m_text[m_at++];
            const char* plain = std::strchr("\"\\/bfnrt", e);
            if (plain != nullptr && e != '\0') {
                out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
                continue;
            }
            if (e != 'u')
                return fail("an unknown escape");
            unsigned code;
            if (!hex4(code))
                return false;
            if (code >= 0xD800 && code < 0xDC00) {
                unsigned low;
                if (!word("\\u") || !hex4(low) || low < 0xDC00 || low >= 0xE000)
                    return fail("half a surrogate pair");
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            Append(out, code);
        }
        return fail("a string is not closed");
    }

    const std::string& m_text;
    size_t m_at = 0;
    std::string m_error;
};

} // namespace

const JsonValue* JsonValue::member(const std::string& name) const
{
    for (const auto& m : members)
        if (m.first == name)
            return &m.second;
    return nullptr;
}

bool ParseJson(const std::string& text, JsonValue& value, std::string& error)
{
    Reader reader(text);
    value = JsonValue{};
    if (reader.value(value, 0) && reader.finish())
        return true;
    error = reader.error();
    return false;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace qz::cli
