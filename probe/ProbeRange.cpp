#include "probe/ProbeRange.h"

#include <cstdlib>
#include <string>

namespace {

// A decimal number: an optional sign, digits with at most one point, at least one digit. Nothing
// strtod would take besides (hex, exponents, "inf", "nan", blanks).
bool ParseNumber(std::string_view text, double& value)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    value = std::strtod(std::string(text).c_str(), nullptr);
    return true;
}

} // namespace

bool ProbeRange::Alerts(double value) const
{
    const bool within = (startInfinite || value >= start) && (endInfinite || value <= end);
    return inside ? within : !within;
}

bool ParseRange(std::string_view text, ProbeRange& range)
{
    ProbeRange r;
    if (!text.empty() && text[0] == '@') {
        r.inside = true;
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    const size_t colon = text.find(':');
    std::string_view endText = text;
    if (colon != std::string_view::npos) {
        const std::string_view startText = text.substr(0, colon);
        endText = text.substr(colon + 1);
        if (startText == "~")
            r.startInfinite = true;
        else if (!startText.empty() && !ParseNumber(startText, r.start))
            return false;
        if (endText.empty())
            r.endInfinite = true;
    }
    if (!r.endInfinite && !ParseNumber(endText, r.end))
        return false;
    if (!r.startInfinite && !r.endInfinite && r.start > r.end)
        return false;
    range = r;
    return true;
}
