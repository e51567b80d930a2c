// The videos the window offers to open, in one list: the open dialog's
// filter is made from it, and the desktop entry's MimeType= line
// (packaging/org.example.glyphreel.desktop, "Open with Glyphreel") names
// exactly its media types, which a test holds it to.
#pragma once

#include <string_view>

struct VideoType {
  std::string_view pattern;    // as the open dialog's filter shows it
  std::string_view mimeTypes;  // ";"-separated: the name the desktop's database gives, then older aliases
};

inline constexpr VideoType kVideoTypes[] = {
    {"*.WMV", "video/x-ms-wmv"},
    {"*.RMVB", "application/vnd.rn-realmedia;application/vnd.rn-realmedia-vbr"},
    {"*.mpg", "video/mpeg"},
    {"*.avi", "video/x-msvideo;video/vnd.avi"},
    {"*.mov", "video/quicktime"},
    {"*.rm", "application/vnd.rn-realmedia"},
    {"*.dat", ""},  // a video CD's MPEG stream: the desktop has no type for it
    {"*.flv", "video/x-flv"},
    {"*.mp4", "video/mp4"},
    {"*.mkv", "video/x-matroska"},
    {"*.webm", "video/webm"},
    {"*.m4v", "video/mp4;video/x-m4v"},
    {"*.3gp", "video/3gpp"},
};
