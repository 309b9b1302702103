#pragma once
// The display boundary: texts stay GBK bytes everywhere else and become QString only here.

#include <QString>
#include <string_view>

QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);
