// Expected frames built from hand-known rows, independent of the engine.
#pragma once

#include "conversion/BmpTxt.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace conversion_test {

// Eight units of two letters: gray v picks unit v / 32 (s = 32).
inline const std::string kPairTable = "aabbccddeeffgghh";

inline std::string Frame(const std::vector<std::string>& rows, int width, int interval, int index) {
  std::string s;
  for (const std::string& row : rows) s += row + "\r\n";
  s += "\x80\x80\r\n";
  char info[64];
  std::snprintf(info, sizeof info, "W%03dV%04dF%05d\r\n", width, interval, index);
  return s + info;
}

// A picture of uniform gray `v` (red = green = blue = v gives level v).
inline QImage Gray(int width, int height, int v) {
  return testing_support::MakeImage(width, height, [v](int, int) { return 0x010101u * static_cast<unsigned>(v); });
}

// An engine set up as the window sets it up, with the pair table.
inline void Configure(TConverter& engine, int width, int height, int interval = 100,
                  const std::string& table = kPairTable) {
  engine.FrameMarker = "\x80\x80";
  engine.GrayTable = table;
  engine.GrayLevels = CountGrayUnits(table);
  engine.Interval = interval;
  engine.OutputRect = {0, 0, width, height};
}

}  // namespace conversion_test
