#pragma once
// A small JSON reader for the probe's tests (RFC 8259: objects, arrays, strings with every escape,
// numbers, true, false, null), strict enough that output a real parser refuses is refused here.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // UTF-8
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member, or a null value when there is none (so chains of lookups fail as assertions).
    const JsonValue& operator[](const std::string& key) const;
    const JsonValue& operator[](size_t index) const;
};

// Parses one document followed only by white space; false with a reason for anything else.
bool ParseJson(std::string_view text, JsonValue& value, std::string& why);
// Parses documents one after another, as --watch writes them.
bool ParseJsonStream(std::string_view text, std::vector<JsonValue>& values, std::string& why);
