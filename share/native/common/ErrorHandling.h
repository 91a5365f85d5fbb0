#pragma once

#include "tstrings.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <type_traits>

// Where a failing check stands (or where an exception was caught).
struct CodeLocation {
    // `function` may be a compiler's decorated signature; only the qualified
    // name is kept.
    CodeLocation(const char* file, const char* function, int line);

    std::string file;
    std::string function;
    int line;
};

#if defined(_MSC_VER)
#define VK_FUNCTION_NAME __FUNCTION__
#else
// GCC's __FUNCTION__ is unqualified; the decorated signature has the scope.
#define VK_FUNCTION_NAME __PRETTY_FUNCTION__
#endif

#define VK_HERE ::CodeLocation(__FILE__, VK_FUNCTION_NAME, __LINE__)

// Base of every exception the system throws, whatever standard exception it
// also is: gives the message as it was before the location was added.
class VkErrorBase {
public:
    virtual const char* originalMessage() const = 0;

protected:
    VkErrorBase() = default;
    VkErrorBase(const VkErrorBase&) = default;
    VkErrorBase& operator=(const VkErrorBase&) = default;
    ~VkErrorBase() = default;
};

// The last path component of a source path, either separator accepted.
std::string sourceBaseName(const std::string& path);

std::string composeLocatedMessage(const CodeLocation& location, const char* message);

template <class T>
class VkError : public VkErrorBase, public T {
    static_assert(std::is_base_of_v<std::runtime_error, T>,
                  "located errors wrap standard runtime errors");

public:
    VkError(const T& error, const CodeLocation& location)
        : T(error), message_(composeLocatedMessage(location, error.what())) {}

    const char* originalMessage() const override { return T::what(); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

template <class T, class = std::enable_if_t<std::is_base_of_v<std::runtime_error, T>>>
VkError<T> withLocation(const T& error, const CodeLocation& location) {
    return VkError<T>(error, location);
}

VkError<std::runtime_error> withLocation(const std::string& message, const CodeLocation& location);
VkError<std::runtime_error> withLocation(const char* message, const CodeLocation& location);
VkError<std::runtime_error> withLocation(const tstrings::TextBuilder& message,
                                         const CodeLocation& location);

// Throws an error value with the location of the check.
#define VK_THROW(error) throw ::withLocation((error), VK_HERE)
// Throws a plain runtime error composed from `<<`-joined pieces.
#define VK_THROW_MSG(pieces) throw ::withLocation(::tstrings::TextBuilder() << pieces, VK_HERE)

// ERROR records for exceptions caught where they must stop; the location is
// that of the catch site.
void logErrorAt(const CodeLocation& location, const tstrings::TextBuilder& message);
void logCaughtException(const CodeLocation& location, const std::exception& error);
void logUnknownException(const CodeLocation& location);

// Catches everything that a destructor or guard must not let out, and logs it.
#define VK_LOG_AND_SWALLOW(location)                                                           \
    catch (const std::runtime_error& vkError_) {                                               \
        ::logCaughtException((location), vkError_);                                            \
    }                                                                                          \
    catch (...) {                                                                              \
        ::logUnknownException(location);                                                       \
    }

// Joins two message parts into one sentence: "Access denied" and "retry
// later" give "Access denied. retry later".
std::string combineMessages(const std::string& first, const std::string& second);

// The C runtime's description of the current errno; empty when unavailable.
std::string crtErrorDescription();
