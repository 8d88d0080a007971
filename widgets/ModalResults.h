#pragma once
// Modal results of the small dialogs, numbered as the callers test them.

namespace widgets {

inline constexpr int kResultOk = 1;
inline constexpr int kResultQuit = 2;
inline constexpr int kResultYes = 6;

}  // namespace widgets
