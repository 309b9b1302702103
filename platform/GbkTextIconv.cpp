#include "platform/GbkTextSystem.h"

#include <bit>
#include <iconv.h>

namespace {

// glibc's CP936 is an alias of its GBK module, which has the euro sign at 0x80 like Windows.
constexpr const char* kGbk = "GBK";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// An iconv_t must not be shared between threads, and opening one costs more than a short conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd_ != Invalid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of `in`; `written` tells how much of `out` was filled.
    bool Convert(const char* in, size_t inSize, char* out, size_t outSize, size_t& written)
    {
        if (cd_ == Invalid())
            return false;
        // A failed call may leave a half-read character behind.
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        size_t outLeft = outSize;
        if (iconv(cd_, &inPtr, &inSize, &outPtr, &outLeft) == size_t(-1) || inSize != 0)
            return false;
        written = outSize - outLeft;
        return true;
    }

private:
    // iconv_open reports failure as this very pointer value; there is no other way to name it.
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); } // NOLINT(performance-no-int-to-ptr)

    iconv_t cd_;
};

} // namespace

namespace GbkSystem {

bool Decode(std::string_view gbk, std::u16string& out)
{
    thread_local Converter converter(kUtf16, kGbk);
    // Every character takes at least one byte and gives one UTF-16 unit.
    const size_t start = out.size();
    out.resize(start + gbk.size());
    size_t written = 0;
    if (!converter.Convert(gbk.data(), gbk.size(), reinterpret_cast<char*>(out.data() + start), gbk.size() * 2,
                           written))
        return false;
    out.resize(start + written / 2);
    return true;
}

bool Encode(std::u16string_view text, std::string& out)
{
    thread_local Converter converter(kGbk, kUtf16);
    const size_t start = out.size();
    out.resize(start + text.size() * 2);
    size_t written = 0;
    if (!converter.Convert(reinterpret_cast<const char*>(text.data()), text.size() * 2, out.data() + start,
                           text.size() * 2, written))
        return false;
    out.resize(start + written);
    return true;
}

} // namespace GbkSystem
