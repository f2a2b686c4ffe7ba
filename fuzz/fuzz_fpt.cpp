// Fuzzes the memo file reader and writer: the input is taken as a whole memo file. Memos
// are read at blocks taken from the header, from the block headers found in the file and
// from the input's last bytes; then one memo is written over a block from the input and
// must read back as written. A damaged file may throw xbase::Error, nothing else.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.hpp"
#include "xbase/error.hpp"
#include "xbase/memo.hpp"

namespace {

const std::string& scratch_path() {
    static const std::string path = [] {
        return (std::filesystem::temp_directory_path() /
                ("fuzz_fpt." + std::to_string(::getpid()) + ".fpt"))
            .string();
    }();
    return path;
}


uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratch_path();
    if (!put_file(path, data, size)) return 0;

    std::vector<uint32_t> blocks = {0, 1, 7, 8, 16, 0xFFFFFFFFu};
    if (size >= 4) blocks.push_back(be32(data));                          // next free block
    if (size >= 4) blocks.push_back(be32(data) - 1);
    for (size_t i = 0; i + 4 <= size && i < 32; i += 4) blocks.push_back(be32(data + size - 4 - i));

    try {
        auto memo = xbase::MemoFile::open(path, false);
        const uint32_t bs = memo->block_size();
        // Every block that could start a memo in a small file, and a few beyond.
        for (uint64_t b = 0; b * bs < size + 2 * uint64_t(bs) && b < 256; ++b) blocks.push_back(uint32_t(b));
        for (uint32_t b : blocks) {
            try {
                memo->read_memo(b);
            } catch (const xbase::Error&) {
            }
        }

        const uint32_t old_block = blocks.back();
        const std::string text(reinterpret_cast<const char*>(data), size < 100 ? size : 100);
        try {
            const uint32_t at = memo->write(old_block, text);
            if (memo->read(at) != text) __builtin_trap();
        } catch (const xbase::Error&) {
        }
    } catch (const xbase::Error&) {
    }
    ::unlink(path.c_str());  // libFuzzer may leave without running exit handlers
    return 0;
}
