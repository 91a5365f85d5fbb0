#include "ShellCommand.h"

namespace ShellCommand {

std::string lastLine(const std::string& text) {
    for (size_t end = text.size(); end > 0;) {
        const size_t newline = text.rfind('\n', end - 1);
        const size_t start = newline == std::string::npos ? 0 : newline + 1;
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") != std::string::npos) {
            return line;
        }
        if (newline == std::string::npos) {
            break;
        }
        end = newline;
    }
    return std::string();
}

} // namespace ShellCommand
