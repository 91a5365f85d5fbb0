// When an exception escapes where none may (a destructor, a noexcept
// function), the process ends at once. libstdc++'s default handler would first
// print the exception's type, demangled, on standard error, which a setup
// program shows nowhere; its demangler alone would be 45 KiB of every
// download. The handler is looked up by the library's name only, so this
// definition stands in for the library's.
#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

} // namespace __gnu_cxx
#endif
