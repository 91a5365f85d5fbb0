#include "tstrings.h"

#include <ostream>

namespace tstrings {

std::ostream& operator<<(std::ostream& stream, const TextBuilder& text) {
    return stream << text.utf8();
}

} // namespace tstrings
