#include "xbase/memo.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#include "xbase/error.hpp"

namespace xbase {

namespace {

constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kBlockHeaderBytes = 8;
// Byte locked while a writer reads the next free block, writes its memo and advances the
// header. Far beyond any real memo file, so it never covers data another engine locks.
constexpr off_t kAllocLockOffset = 0x7FFFFFFE;

uint32_t get_be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void put_be32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::string errno_text(int e) { return std::system_category().message(e); }

// Reads up to n bytes at off; fewer only at the end of the file.
size_t pread_full(int fd, void* buf, size_t n, uint64_t off, const std::string& path) {
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Error(path + ": cannot read memo file: " + errno_text(errno));
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

void pwrite_full(int fd, const void* buf, size_t n, uint64_t off, const std::string& path) {
    const auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd, p + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Error(path + ": cannot write memo file: " + errno_text(errno));
        }
        if (r == 0) throw Error(path + ": cannot write memo file: nothing was written");
        done += static_cast<size_t>(r);
    }
}

// Holds the allocation lock for its lifetime.
class AllocLock {
public:
    AllocLock(int fd, const std::string& path) : fd_(fd) {
        struct flock fl = request(F_WRLCK);
        while (::fcntl(fd_, F_OFD_SETLKW, &fl) == -1) {
            if (errno == EINTR) continue;
            throw LockError(path + ": cannot lock memo file for allocation: " + errno_text(errno));
        }
    }
    ~AllocLock() {
        struct flock fl = request(F_UNLCK);
        ::fcntl(fd_, F_OFD_SETLK, &fl);
    }
    AllocLock(const AllocLock&) = delete;
    AllocLock& operator=(const AllocLock&) = delete;

private:
    static struct flock request(short type) {
        struct flock fl;
        std::memset(&fl, 0, sizeof fl);
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = kAllocLockOffset;
        fl.l_len = 1;
        fl.l_pid = 0;  // required for open-file-description locks
        return fl;
    }
    int fd_;
};

}  // namespace

struct MemoFile::Impl {
    std::string path;
    int fd = -1;
    bool read_only = false;
    uint32_t block_size = 64;

    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    // The first block after the 512-byte header (the header is rounded up to whole blocks).
    uint32_t first_block() const { return (kHeaderBytes + block_size - 1) / block_size; }
    uint64_t offset_of(uint32_t block) const { return uint64_t(block) * block_size; }
    uint64_t blocks_for(uint64_t length) const {
        return (kBlockHeaderBytes + length + block_size - 1) / block_size;
    }

    uint64_t file_size() const {
        struct stat st;
        if (::fstat(fd, &st) != 0) throw Error(path + ": cannot stat memo file: " + errno_text(errno));
        return static_cast<uint64_t>(st.st_size);
    }

    std::string where(uint32_t block) const { return path + ": memo block " + std::to_string(block); }

    // Checks that a memo's block header lies inside the file and its bytes do not run past
    // the end; returns the type and length. Problems are described in *problem and give
    // nullopt, so that callers can choose between failing and not reusing the block.
    std::optional<std::pair<uint32_t, uint32_t>> locate(uint32_t block, std::string* problem) const {
        if (block < first_block()) {
            *problem = where(block) + " lies inside the file header";
            return std::nullopt;
        }
        const uint64_t size = file_size();
        const uint64_t off = offset_of(block);
        if (off >= size || size - off < kBlockHeaderBytes) {
            *problem = where(block) + " lies past the end of the file (" + std::to_string(size) +
                       " bytes)";
            return std::nullopt;
        }
        unsigned char head[kBlockHeaderBytes];
        if (pread_full(fd, head, sizeof head, off, path) != sizeof head) {
            *problem = where(block) + " lies past the end of the file";
            return std::nullopt;
        }
        const uint32_t type = get_be32(head);
        const uint32_t length = get_be32(head + 4);
        if (length > size - off - kBlockHeaderBytes) {
            *problem = where(block) + " claims " + std::to_string(length) +
                       " bytes, which run past the end of the file (" + std::to_string(size) +
                       " bytes)";
            return std::nullopt;
        }
        return std::make_pair(type, length);
    }

    void require_writable() const {
        if (read_only) throw Error(path + ": memo file is open read-only");
    }

    // Writes block header, data and zero padding up to the end of the memo's last block.
    void write_blocks(uint32_t block, uint32_t type, std::string_view data) const {
        const uint64_t total = blocks_for(data.size()) * block_size;
        std::vector<unsigned char> buf(static_cast<size_t>(total), 0);
        put_be32(buf.data(), type);
        put_be32(buf.data() + 4, static_cast<uint32_t>(data.size()));
        std::memcpy(buf.data() + kBlockHeaderBytes, data.data(), data.size());
        pwrite_full(fd, buf.data(), buf.size(), offset_of(block), path);
    }

    // Writes a fresh header and cuts the file after it.
    void reset() const {
        const uint32_t first = first_block();
        std::vector<unsigned char> head(size_t(first) * block_size, 0);
        put_be32(head.data(), first);
        head[6] = static_cast<unsigned char>(block_size >> 8);
        head[7] = static_cast<unsigned char>(block_size);
        if (::ftruncate(fd, static_cast<off_t>(head.size())) != 0)
            throw Error(path + ": cannot truncate memo file: " + errno_text(errno));
        pwrite_full(fd, head.data(), head.size(), 0, path);
    }

    void read_header() {
        const uint64_t size = file_size();
        if (size < kHeaderBytes)
            throw DamagedError(path + ": memo file header is truncated (" + std::to_string(size) +
                               " bytes, a header needs 512)");
        unsigned char head[8];
        if (pread_full(fd, head, sizeof head, 0, path) != sizeof head)
            throw DamagedError(path + ": memo file header is truncated");
        block_size = (uint32_t(head[6]) << 8) | head[7];
        if (block_size == 0) throw DamagedError(path + ": memo file header gives a block size of 0");
    }
};

MemoFile::MemoFile() : impl_(std::make_unique<Impl>()) {}
MemoFile::~MemoFile() = default;

std::unique_ptr<MemoFile> MemoFile::adopt(int fd, const std::string& path, bool read_only) {
    std::unique_ptr<MemoFile> m(new MemoFile());
    m->impl_->fd = fd;  // owned from here on, closed by ~Impl even if the header is bad
    m->impl_->path = path;
    m->impl_->read_only = read_only;
    m->impl_->read_header();
    return m;
}

std::unique_ptr<MemoFile> MemoFile::open(const std::string& path, bool read_only) {
    int fd = ::open(path.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) throw Error(path + ": cannot open memo file: " + errno_text(errno));
    return adopt(fd, path, read_only);
}

std::unique_ptr<MemoFile> MemoFile::create(const std::string& path, uint32_t block_size) {
    if (block_size == 0 || block_size > 0xFFFF)
        throw Error(path + ": memo block size " + std::to_string(block_size) +
                    " is not between 1 and 65535");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(path + ": cannot create memo file: " + errno_text(errno));
    std::unique_ptr<MemoFile> m(new MemoFile());
    m->impl_->fd = fd;
    m->impl_->path = path;
    m->impl_->block_size = block_size;
    m->impl_->reset();
    return m;
}

const std::string& MemoFile::path() const { return impl_->path; }
uint32_t MemoFile::block_size() const { return impl_->block_size; }

std::string MemoFile::read(uint32_t block) const { return read_memo(block).data; }

MemoFile::Memo MemoFile::read_memo(uint32_t block) const {
    Memo memo;
    if (block == 0) return memo;
    const Impl& m = *impl_;
    std::string problem;
    auto found = m.locate(block, &problem);
    if (!found) throw DamagedError(problem);
    memo.type = found->first;
    memo.data.resize(found->second);
    if (pread_full(m.fd, memo.data.data(), memo.data.size(),
                   m.offset_of(block) + kBlockHeaderBytes, m.path) != memo.data.size())
        throw DamagedError(m.where(block) + " runs past the end of the file");
    return memo;
}

uint32_t MemoFile::write(uint32_t old_block, std::string_view data, uint32_t type) {
    Impl& m = *impl_;
    m.require_writable();
    if (data.empty()) return 0;
    if (data.size() > std::numeric_limits<uint32_t>::max() - kBlockHeaderBytes)
        throw Error(m.path + ": a memo of " + std::to_string(data.size()) +
                    " bytes is too large for a memo file");
    const uint64_t need = m.blocks_for(data.size());

    // Rewrite in place when the old memo's blocks (counted from its stored length) hold
    // the new data. The record lock that lets us change the record also covers its memo,
    // so no allocation lock is needed here.
    if (old_block != 0) {
        std::string ignored;
        if (auto old = m.locate(old_block, &ignored); old && m.blocks_for(old->second) >= need) {
            m.write_blocks(old_block, type, data);
            return old_block;
        }
    }

    // Append: the next free block is re-read under the lock, since another process may
    // have appended since we last looked. Data goes first and the header last, so an
    // interrupted write leaves the header pointing at space nobody uses yet.
    AllocLock lock(m.fd, m.path);
    unsigned char head[4];
    if (pread_full(m.fd, head, sizeof head, 0, m.path) != sizeof head)
        throw DamagedError(m.path + ": memo file header is truncated");
    const uint32_t next = get_be32(head);
    if (next < m.first_block())
        throw DamagedError(m.path + ": memo file header gives next free block " + std::to_string(next) +
                           ", which lies inside the header");
    if (need > uint64_t(std::numeric_limits<uint32_t>::max()) - next)
        throw Error(m.path + ": memo file is full (no block numbers left after " +
                    std::to_string(next) + ")");
    m.write_blocks(next, type, data);
    put_be32(head, static_cast<uint32_t>(next + need));
    pwrite_full(m.fd, head, sizeof head, 0, m.path);
    return next;
}

void MemoFile::zap() {
    Impl& m = *impl_;
    m.require_writable();
    AllocLock lock(m.fd, m.path);
    m.reset();
}

void MemoFile::commit() {
    const Impl& m = *impl_;
    if (m.read_only) return;
    while (::fdatasync(m.fd) != 0) {
        if (errno == EINTR) continue;
        throw Error(m.path + ": cannot flush memo file: " + errno_text(errno));
    }
}

}  // namespace xbase
