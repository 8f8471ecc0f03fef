// The program's identity, shown by -version, version, info and the start-up banners.
#pragma once

namespace vantorix {

inline constexpr const char* kProductName = "Vantorix";
inline constexpr const char* kVersionText = "External Authentication v2.4b";

}  // namespace vantorix
