#pragma once

#include <cstdint>
#include <vector>

namespace SysInfo {

// The user interface languages of the running user, as LANGIDs, in the order
// the choice of a setup's language weighs them: the user's preferred UI
// languages (GetUserPreferredUILanguages), then the user's default UI
// language, then the system's; each once, at its first place.
std::vector<uint16_t> getUserUiLanguages();

} // namespace SysInfo
