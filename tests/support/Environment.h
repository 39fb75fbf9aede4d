#pragma once
// A test's changes to its environment, on either system.
#include <cstdlib>
#include <string>

namespace zrk::test {

inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
    ::_putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

}  // namespace zrk::test
