#pragma once
// The system's own code page 936 conversion behind GbkText.cpp, one implementation per platform.
// Both get only well-formed text and append to `out`; they return false when the system cannot
// convert some character, and the caller then drops what was appended.

#include <string>
#include <string_view>

namespace GbkSystem {

bool Decode(std::string_view gbk, std::u16string& out);
bool Encode(std::u16string_view text, std::string& out);

} // namespace GbkSystem
