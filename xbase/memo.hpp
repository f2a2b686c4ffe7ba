#pragma once
// FPT memo files: a 512-byte header (next free block, big-endian, at 0; block size,
// big-endian, at 6) followed by blocks; each memo starts on a block with an 8-byte block
// header (type big-endian: 1 = text, 0 = picture; length big-endian) and its bytes.
// Block n starts at byte n * block size; a memo occupies ceil((8 + length) / block size)
// blocks, the last one padded with zeros. Allocation at the end of the file is serialised
// between processes by an open-file-description write lock on byte 0x7FFFFFFE of the memo
// file (independent of any flock() share mode the table layer holds on it).
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
    // Like open(), over a descriptor the caller already opened (for instance with its share
    // mode lock taken). The MemoFile owns `fd` from then on and closes it, also when this
    // throws. `path` is only used in messages.
    static std::unique_ptr<MemoFile> adopt(int fd, const std::string& path, bool read_only);

    ~MemoFile();
    MemoFile(const MemoFile&) = delete;
    MemoFile& operator=(const MemoFile&) = delete;

    const std::string& path() const;
    uint32_t block_size() const;

    // The bytes of the memo starting at `block`; block 0 is the empty memo.
    // Throws DamagedError (naming the file and block) when the block or its length runs
    // past the end of the file or points into the header.
    std::string read(uint32_t block) const;

    // Block type of a memo: text memos are 1, pictures and other binary data 0.
    static constexpr uint32_t kPicture = 0;
    static constexpr uint32_t kText = 1;
    struct Memo {
        uint32_t type = kText;
        std::string data;
    };
    // Like read(), also giving the block type (the empty memo is an empty text).
    Memo read_memo(uint32_t block) const;

    // Writes a memo. When `old_block` is non-zero and the new text fits in the blocks the
    // old memo used, the old blocks are reused; otherwise the memo goes to the end of the
    // file (the next free block, re-read from the header under a lock so that several
    // processes never allocate the same blocks). Empty data returns 0 and writes nothing.
    // Returns the memo's block number.
    // An `old_block` that cannot be read (inside the header, past the end) is not reused.
    uint32_t write(uint32_t old_block, std::string_view data, uint32_t type = kText);

    // Empties the file: a fresh header (as create() writes it) with the same block size,
    // and nothing after it.
    void zap();
    // Forces the written data to the disk (fdatasync).
    void commit();

private:
    MemoFile();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace xbase
