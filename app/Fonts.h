// "宋体", the window's font, as a family list: SimSun and NSimSun where they
// are installed, then the CJK monospace font the project installs, in which a
// double-byte character is exactly two single-byte columns wide.
#pragma once

void InstallFontSubstitutions();
