// The Unicode character of every two-byte CP932 character, as Windows maps
// them: by lead byte (0x81 to 0x9F, then 0xE0 to 0xFC) and second byte
// (0x40 to 0xFC); 0 where no character is.
#pragma once

constexpr int CP932_LEAD_COUNT = 60;
constexpr int CP932_TRAIL_COUNT = 189;
constexpr unsigned char CP932_FIRST_TRAIL = 0x40;

extern const unsigned short CP932_DOUBLE[CP932_LEAD_COUNT][CP932_TRAIL_COUNT];
