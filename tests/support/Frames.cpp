#include "support/Frames.h"

#include "settings/EventLog.h"

std::string Record(int line, int column, int fore, int back, const std::string& text)
{
    std::string r;
    r += char(line & 0xFF);
    r += char((line >> 8) & 0xFF);
    r += char(column);
    r += char(fore);
    r += char(back);
    r += text;
    r += '\0';
    return r;
}

std::string Binary32(uint32_t v)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += char((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Frame(int lineCount, const std::string& records, bool textLength)
{
    const uint32_t body = uint32_t(2 + records.size());
    std::string f = textLength ? Format("%04u", body) : Binary32(body);
    f += char(lineCount & 0xFF);
    f += char((lineCount >> 8) & 0xFF);
    return f + records;
}
