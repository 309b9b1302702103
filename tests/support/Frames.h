#pragma once
// Builders for the bytes a CTI server sends: answer records, frames around them and raw length
// fields.

#include <cstdint>
#include <string>

// One answer record: line, column, colour indexes, text and its terminating 0.
std::string Record(int line, int column, int fore, int back, const std::string& text);
// A frame around the records: a text length field ("0012") or a binary one (little-endian).
std::string Frame(int lineCount, const std::string& records, bool textLength = true);
// Four bytes of v, little-endian: a binary length field of any value.
std::string Binary32(uint32_t v);
