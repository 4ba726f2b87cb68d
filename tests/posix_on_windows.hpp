// The few POSIX calls the tests use for temporary folders and the environment, on the
// Windows C runtime. The Windows build includes it ahead of every test file.
#pragma once

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>

#include <cstring>

inline char* mkdtemp(char* pattern) {
    if (_mktemp_s(pattern, std::strlen(pattern) + 1) != 0) return nullptr;
    if (_mkdir(pattern) != 0) return nullptr;
    return pattern;
}

inline int setenv(const char* name, const char* value, int overwrite) {
    if (overwrite == 0 && std::getenv(name) != nullptr) return 0;
    return _putenv_s(name, value);
}

// Windows has no all-powerful user id; Wine run by the Unix root user ("root" as the user
// name) writes read-only files anyway, as root does on Linux.
inline int geteuid() {
    const char* user = std::getenv("USERNAME");
    return user != nullptr && std::strcmp(user, "root") == 0 ? 0 : 1000;
}

// An empty value removes the variable from the C runtime's environment.
inline int unsetenv(const char* name) {
    return _putenv_s(name, "");
}
#endif
