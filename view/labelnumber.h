#pragma once

#include <QStringView>
#include <cstdint>

// Reads the number typed into a label editor the way C's strtol reads base
// 10: leading white space, an optional sign, then digits up to the first
// other character; text without digits gives 0. A value beyond the 32-bit
// range is clamped to the nearest end of it.
std::int32_t parseLabelNumber(QStringView text);
