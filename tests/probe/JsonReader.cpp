#include "JsonReader.h"
#include "platform/Utf8.h"

#include <cstdlib>

namespace {

const JsonValue kNull;

class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    bool Value(JsonValue& v, int depth = 0)
    {
        if (depth > 64)
            return Fail("nested too deep");
        Blank();
        if (p_ >= s_.size())
            return Fail("value expected");
        const char c = s_[p_];
        if (c == '{')
            return Object(v, depth);
        if (c == '[')
            return Array(v, depth);
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            return String(v.text);
        }
        if (Word("true")) {
            v.kind = JsonValue::Kind::Bool;
            v.boolean = true;
            return true;
        }
        if (Word("false")) {
            v.kind = JsonValue::Kind::Bool;
            return true;
        }
        if (Word("null")) {
            v.kind = JsonValue::Kind::Null;
            return true;
        }
        return Number(v);
    }

    void Blank()
    {
        while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\n' || s_[p_] == '\r'))
            ++p_;
    }
    bool AtEnd()
    {
        Blank();
        return p_ == s_.size();
    }
    std::string why;

private:
    bool Fail(const std::string& reason)
    {
        why = reason + " at offset " + std::to_string(p_);
        return false;
    }

    bool Word(std::string_view w)
    {
        if (s_.substr(p_, w.size()) != w)
            return false;
        p_ += w.size();
        return true;
    }

    bool Object(JsonValue& v, int depth)
    {
        v.kind = JsonValue::Kind::Object;
        ++p_;
        Blank();
        if (p_ < s_.size() && s_[p_] == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            Blank();
            std::string key;
            if (p_ >= s_.size() || s_[p_] != '"' || !String(key))
                return why.empty() ? Fail("member name expected") : false;
            Blank();
            if (p_ >= s_.size() || s_[p_] != ':')
                return Fail("':' expected");
            ++p_;
            JsonValue member;
            if (!Value(member, depth + 1))
                return false;
            if (!v.members.emplace(key, std::move(member)).second)
                return Fail("duplicate member '" + key + "'");
            Blank();
            if (p_ < s_.size() && s_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < s_.size() && s_[p_] == '}') {
                ++p_;
                return true;
            }
            return Fail("',' or '}' expected");
        }
    }

    bool Array(JsonValue& v, int depth)
    {
        v.kind = JsonValue::Kind::Array;
        ++p_;
        Blank();
        if (p_ < s_.size() && s_[p_] == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            JsonValue item;
            if (!Value(item, depth + 1))
                return false;
            v.items.push_back(std::move(item));
            Blank();
            if (p_ < s_.size() && s_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < s_.size() && s_[p_] == ']') {
                ++p_;
                return true;
            }
            return Fail("',' or ']' expected");
        }
    }

    bool Hex4(char32_t& c)
    {
        if (p_ + 4 > s_.size())
            return Fail("short \\u escape");
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = s_[p_++];
            c <<= 4;
            if (h >= '0' && h <= '9')
                c |= char32_t(h - '0');
            else if (h >= 'a' && h <= 'f')
                c |= char32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                c |= char32_t(h - 'A' + 10);
            else
                return Fail("bad \\u escape");
        }
        return true;
    }

    bool String(std::string& out)
    {
        ++p_;
        while (p_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[p_]);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20)
                return Fail("raw control character in a string");
            if (c != '\\') {
                out += char(c);
                ++p_;
                continue;
            }
            if (++p_ >= s_.size())
                return Fail("escape cut off");
            const char e = s_[p_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                char32_t u = 0;
                if (!Hex4(u))
                    return false;
                if (u >= 0xD800 && u <= 0xDBFF) {
                    char32_t low = 0;
                    if (s_.substr(p_, 2) != "\\u" || (p_ += 2, !Hex4(low)) || low < 0xDC00 || low > 0xDFFF)
                        return Fail("lone surrogate");
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                } else if (u >= 0xDC00 && u <= 0xDFFF) {
                    return Fail("lone surrogate");
                }
                AppendUtf8(out, u);
                break;
            }
            default:
                return Fail("bad escape");
            }
        }
        return Fail("string not closed");
    }

    bool Number(JsonValue& v)
    {
        const size_t start = p_;
        if (p_ < s_.size() && s_[p_] == '-')
            ++p_;
        const size_t digits = p_;
        while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9')
            ++p_;
        if (p_ == digits || (s_[digits] == '0' && p_ - digits > 1))
            return Fail("bad number");
        if (p_ < s_.size() && s_[p_] == '.') {
            const size_t fraction = ++p_;
            while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9')
                ++p_;
            if (p_ == fraction)
                return Fail("bad fraction");
        }
        if (p_ < s_.size() && (s_[p_] == 'e' || s_[p_] == 'E')) {
            ++p_;
            if (p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-'))
                ++p_;
            const size_t exponent = p_;
            while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9')
                ++p_;
            if (p_ == exponent)
                return Fail("bad exponent");
        }
        v.kind = JsonValue::Kind::Number;
        v.number = std::strtod(std::string(s_.substr(start, p_ - start)).c_str(), nullptr);
        return true;
    }

    std::string_view s_;
    size_t p_ = 0;
};

} // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const
{
    const auto it = members.find(key);
    return it == members.end() ? kNull : it->second;
}

const JsonValue& JsonValue::operator[](size_t index) const
{
    return index < items.size() ? items[index] : kNull;
}

bool ParseJson(std::string_view text, JsonValue& value, std::string& why)
{
    Reader reader(text);
    if (!reader.Value(value) || !reader.AtEnd()) {
        why = reader.why.empty() ? "text after the document" : reader.why;
        return false;
    }
    return true;
}

bool ParseJsonStream(std::string_view text, std::vector<JsonValue>& values, std::string& why)
{
    Reader reader(text);
    while (!reader.AtEnd()) {
        JsonValue v;
        if (!reader.Value(v)) {
            why = reader.why;
            return false;
        }
        values.push_back(std::move(v));
    }
    return true;
}
