#include "platform/GbkTextSystem.h"

#include <windows.h>

namespace {

constexpr UINT kGbkCodePage = 936;

} // namespace

namespace GbkSystem {

bool Decode(std::string_view gbk, std::u16string& out)
{
    if (gbk.empty())
        return true;
    // Every character takes at least one byte and gives one UTF-16 unit.
    const size_t start = out.size();
    out.resize(start + gbk.size());
    int n = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), int(gbk.size()),
                                reinterpret_cast<wchar_t*>(out.data() + start), int(gbk.size()));
    if (n <= 0)
        return false;
    out.resize(start + size_t(n));
    return true;
}

bool Encode(std::u16string_view text, std::string& out)
{
    if (text.empty())
        return true;
    const size_t start = out.size();
    out.resize(start + text.size() * 2);
    // Without WC_NO_BEST_FIT_CHARS Windows writes a look-alike (e with an accent becomes e), which
    // would not decode back and which no other platform produces.
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(text.data()),
                                int(text.size()), out.data() + start, int(text.size() * 2), nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    out.resize(start + size_t(n));
    return true;
}

} // namespace GbkSystem
