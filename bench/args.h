#pragma once

#include <cstdlib>
#include <cstring>

// The number given as NAME=N on the command line, or fallback.
inline int argValue(int argc, char** argv, const char* name, int fallback)
{
    const size_t n = std::strlen(name);
    for (int a = 1; a < argc; ++a)
        if (std::strncmp(argv[a], name, n) == 0 && argv[a][n] == '=') return std::atoi(argv[a] + n + 1);
    return fallback;
}
