// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the given number of bytes of report-like lines on standard output,
// as a folder scan of the identifier would.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-console-emit BYTES\n");
        return 2;
    }
    long long remaining = std::atoll(argv[1]);
    std::string buffer;
    buffer.reserve(1 << 16);
    long long line = 0;
    while (remaining > 0) {
        buffer.clear();
        while (buffer.size() < (1u << 16) - 128) {
            char text[128];
            const int n = std::snprintf(text, sizeof text,
                "C:\\CAMPIONI\\FILE%07lld.BIN   PNG image (Portable Network Graphics)  96.3%%  [%lld]\r\n",
                line, line % 2601);
            buffer.append(text, size_t(n));
            ++line;
        }
        if (static_cast<long long>(buffer.size()) > remaining)
            buffer.resize(size_t(remaining));
        const char* p = buffer.data();
        size_t left = buffer.size();
        while (left > 0) {
            const ssize_t written = ::write(1, p, left);
            if (written <= 0)
                return 1;
            p += written;
            left -= size_t(written);
        }
        remaining -= static_cast<long long>(buffer.size());
    }
    return 0;
}
