#pragma once
// FPT memo files: a 512-byte header (next free block, big-endian, at 0; block size,
// big-endian, at 6) followed by blocks; each memo starts on a block with an 8-byte block
// header (type big-endian: 1 = text, 0 = picture; length big-endian) and its bytes.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace xbase {

class MemoFile {
public:
    // Opens an existing memo file. Throws DamagedError for a header that does not add up,
    // Error when it cannot be opened.
    static std::unique_ptr<MemoFile> open(const std::string& path, bool read_only);
    // Creates (truncates) a memo file with the given block size (64 by default).
    static std::unique_ptr<MemoFile> create(const std::string& path, uint32_t block_size = 64);

    ~MemoFile();
    MemoFile(const MemoFile&) = delete;
    MemoFile& operator=(const MemoFile&) = delete;

    const std::string& path() const;
    uint32_t block_size() const;

    // The bytes of the memo starting at `block`; block 0 is the empty memo.
    // Throws DamagedError (naming the file and block) when the block or its length runs
    // past the end of the file or points into the header.
    std::string read(uint32_t block) const;

    // Writes a memo. When `old_block` is non-zero and the new text fits in the blocks the
    // old memo used, the old blocks are reused; otherwise the memo goes to the end of the
    // file (the next free block, re-read from the header under a lock so that several
    // processes never allocate the same blocks). Empty data returns 0 and writes nothing.
    // Returns the memo's block number.
    uint32_t write(uint32_t old_block, std::string_view data);

    // Empties the file (header only), keeping the block size.
    void zap();
    // Flushes written data to the operating system.
    void commit();

private:
    MemoFile();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace xbase
