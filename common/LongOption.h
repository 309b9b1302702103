#pragma once
// Command-line options of the simulator and the probe: "--name value" and "--name=value".

#include <string>

// Cuts "--name=value" into the name, left in arg, and the value; false, with both untouched, when
// arg holds no '='. Only the first '=' counts, so a value may hold one.
inline bool SplitLongOption(std::string& arg, std::string& value)
{
    const size_t eq = arg.find('=');
    if (eq == std::string::npos)
        return false;
    value = arg.substr(eq + 1);
    arg.resize(eq);
    return true;
}
