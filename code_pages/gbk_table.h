// The Unicode character of every two-byte GBK character, as Windows maps
// them (code page 936): by lead byte (0x81 to 0xFE) and second byte (0x40 to
// 0xFE); 0 where no character is.
#pragma once

constexpr int GBK_LEAD_COUNT = 126;
constexpr int GBK_TRAIL_COUNT = 191;
constexpr unsigned char GBK_FIRST_LEAD = 0x81;
constexpr unsigned char GBK_FIRST_TRAIL = 0x40;

extern const unsigned short GBK_DOUBLE[GBK_LEAD_COUNT][GBK_TRAIL_COUNT];
