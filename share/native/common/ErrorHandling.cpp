#include "ErrorHandling.h"

#include "Log.h"
#include "SystemText.h"

#include <cctype>
#include <cerrno>
#include <optional>

namespace {

// Cuts a decorated signature such as
// "void {anonymous}::Foo::bar(const wstring&) const" down to
// "{anonymous}::Foo::bar". A bare qualified name passes unchanged.
std::string qualifiedFunctionName(const std::string& signature) {
    // The parameter list is the first "(" that follows a name outside
    // template arguments: a return type may hold parentheses of its own, as
    // in "void (* Dll::getFunction(const string&, bool) const)()".
    int angle = 0;
    size_t open = std::string::npos;
    for (size_t i = 0; i < signature.size() && open == std::string::npos; ++i) {
        const char c = signature[i];
        if (c == '<') {
            ++angle;
        } else if (c == '>') {
            --angle;
        } else if (c == '(' && angle == 0 && i > 0) {
            const char before = signature[i - 1];
            if (std::isalnum(static_cast<unsigned char>(before)) || before == '_' || before == '>') {
                open = i;
            }
        }
    }
    if (open == std::string::npos) {
        return signature;
    }
    // The name runs back to what ends the return type (a blank, or the "(*"
    // of a declarator); blanks inside template arguments do not count.
    angle = 0;
    size_t begin = 0;
    for (size_t i = open; i-- > 0;) {
        const char c = signature[i];
        if (c == '>') {
            ++angle;
        } else if (c == '<') {
            --angle;
        } else if ((c == ' ' || c == '*' || c == '&' || c == '(') && angle == 0) {
            begin = i + 1;
            break;
        }
    }
    return signature.substr(begin, open - begin);
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum TrimFlags { TrimLeading = 1, TrimTrailing = 2 };

// Writes the text less the white space that the flags cut; gives the index in
// the text of the last character written, or nothing when nothing was.
std::optional<size_t> appendTrimmed(std::string& out, const std::string& text, int flags) {
    size_t begin = 0;
    size_t end = text.size();
    if (flags & TrimLeading) {
        while (begin < end && isWhiteSpace(text[begin])) {
            ++begin;
        }
    }
    if (flags & TrimTrailing) {
        while (end > begin && isWhiteSpace(text[end - 1])) {
            --end;
        }
    }
    if (begin == end) {
        return std::nullopt;
    }
    out.append(text, begin, end - begin);
    return end - 1;
}

} // namespace

CodeLocation::CodeLocation(const char* file, const char* function, int line)
    : file(file ? file : ""), function(qualifiedFunctionName(function ? function : "")),
      line(line) {}

std::string sourceBaseName(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string composeLocatedMessage(const CodeLocation& location, const char* message) {
    return sourceBaseName(location.file) + "(" + std::to_string(location.line) + ") at " +
           location.function + "(): " + message;
}

VkError<std::runtime_error> withLocation(const std::string& message,
                                         const CodeLocation& location) {
    return withLocation(std::runtime_error(message), location);
}

VkError<std::runtime_error> withLocation(const char* message, const CodeLocation& location) {
    return withLocation(std::runtime_error(message), location);
}

VkError<std::runtime_error> withLocation(const tstrings::TextBuilder& message,
                                         const CodeLocation& location) {
    return withLocation(std::runtime_error(message.utf8()), location);
}

void logErrorAt(const CodeLocation& location, const tstrings::TextBuilder& message) {
    processLogger().log(LogLevel::Error, location, message);
}

void logCaughtException(const CodeLocation& location, const std::exception& error) {
    logErrorAt(location, tstrings::TextBuilder()
                             << "Exception with message '" << error.what() << "' caught");
}

void logUnknownException(const CodeLocation& location) {
    logErrorAt(location, tstrings::TextBuilder("Unknown exception caught"));
}

std::string combineMessages(const std::string& first, const std::string& second) {
    static const std::string endOfPhrase = ";.,:!?";
    std::string result;

    size_t separatorLength = 0;
    if (const auto last = appendTrimmed(result, first, TrimTrailing)) {
        if (endOfPhrase.find(first[*last]) == std::string::npos) {
            result += ". ";
            separatorLength = 2;
        } else {
            result += " ";
            separatorLength = 1;
        }
    }
    const bool secondWritten =
        appendTrimmed(result, second, TrimLeading | TrimTrailing).has_value();
    if (!secondWritten) {
        result.resize(result.size() - separatorLength);
    }
    return result;
}

std::string crtErrorDescription() { return SystemText::errnoDescription(errno); }
