#pragma once
// Scratch files of the fuzz targets: each input is written to a file the engine opens.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

inline bool put_file(const std::string& path, const uint8_t* data, size_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t r = ::write(fd, data + done, size - done);
        if (r <= 0) break;
        done += size_t(r);
    }
    ::close(fd);
    return done == size;
}

// A new per-process directory under the temporary directory, removed at a normal exit.
inline std::string make_scratch_dir(const char* prefix) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    // Never destroyed, so that the exit handler can still use it.
    static std::vector<std::string>& dirs = *new std::vector<std::string>;
    static const bool registered = (std::atexit([] {
        for (const auto& d : dirs) {
            std::error_code ec;
            std::filesystem::remove_all(d, ec);
        }
    }), true);
    (void)registered;
    dirs.push_back(tmpl);
    return tmpl;
}
