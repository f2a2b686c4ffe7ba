#include "xbase/cdx.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <unordered_set>

#include <fmt/format.h>

#include "xbase/error.hpp"

namespace xbase {

namespace {

constexpr uint32_t kPage = 512;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr off_t kIndexLockByte = 0x7FFFFFFE;
constexpr int kLeafArea = 488;    // bytes of a leaf page after its 24-byte header
constexpr int kInteriorArea = 500;  // bytes of an interior page after its 12-byte header
constexpr int kMaxDepth = 64;

uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint32_t rd32be(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }
void wr16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void wr32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }
void wr32be(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v); }

int bits_for(uint32_t v) {
    int b = 0;
    while (v) { ++b; v >>= 1; }
    return b;
}

// Compares (a, ra) with (b, rb): key bytes first, record number second.
inline int cmp_entry(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb, size_t len) {
    int c = std::memcmp(a, b, len);
    if (c) return c;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

std::string errno_text() { return std::strerror(errno); }

}  // namespace

// A decoded page. Leaves keep their entries uncompressed in memory and track how many bytes
// the compressed form needs, so that a split is decided without re-encoding.
struct CdxFile::Node {
    uint32_t off = 0;
    uint16_t attr = 0;  // 1 root, 2 leaf
    uint32_t left = kNone, right = kNone;
    int n = 0;
    std::vector<uint8_t> keys;      // n * keylen
    std::vector<uint32_t> recs;
    std::vector<uint32_t> childs;   // interior only
    int data_bytes = 0;             // leaf: bytes of key data after compression
    uint32_t maxrec = 0;            // leaf: largest record number (for the entry width)
    bool dirty = false;
    bool freed = false;             // left its tree: written as a zeroed page
    uint32_t tree = 0;              // header offset of the tree the page belongs to
    bool leaf() const { return attr & 2; }
    const uint8_t* key(int i, int kl) const { return keys.data() + size_t(i) * kl; }
};

namespace {

struct LeafLayout {
    int nbytes, recbits, dupbits, trailbits;
};

LeafLayout leaf_layout(uint32_t maxrec, int keylen) {
    LeafLayout l;
    l.dupbits = l.trailbits = std::max(1, bits_for(uint32_t(keylen)));
    int need = bits_for(maxrec) + l.dupbits + l.trailbits;
    l.nbytes = std::max(3, (need + 7) / 8);
    l.recbits = l.nbytes * 8 - l.dupbits - l.trailbits;
    if (l.recbits > 32) l.recbits = 32;
    return l;
}

// Both counts run eight bytes at a time: they are computed for every key written.
int trail_count(const uint8_t* k, int kl, uint8_t pad) {
    const uint64_t pat = 0x0101010101010101ull * pad;
    int t = 0;
    while (kl - t >= 8) {
        uint64_t w;
        std::memcpy(&w, k + kl - t - 8, 8);
        uint64_t x = w ^ pat;
        if (x) return t + (__builtin_clzll(x) >> 3);  // little-endian: high bytes are the last ones
        t += 8;
    }
    while (t < kl && k[kl - 1 - t] == pad) ++t;
    return t;
}

int dup_count(const uint8_t* prev, const uint8_t* k, int kl, int trail) {
    int lim = kl - trail, d = 0;
    while (lim - d >= 8) {
        uint64_t a, b;
        std::memcpy(&a, prev + d, 8);
        std::memcpy(&b, k + d, 8);
        if (uint64_t x = a ^ b) return d + (__builtin_ctzll(x) >> 3);
        d += 8;
    }
    while (d < lim && prev[d] == k[d]) ++d;
    return d;
}

}  // namespace

// Bytes of key data stored for entry i of a leaf (given its predecessor).
static int stored_len(const CdxFile::Tree& t, const std::vector<uint8_t>& keys, int i) {
    int kl = t.keylen;
    const uint8_t* k = keys.data() + size_t(i) * kl;
    int tr = trail_count(k, kl, t.pad);
    int dup = i > 0 ? dup_count(k - kl, k, kl, tr) : 0;
    return kl - tr - dup;
}

static bool leaf_fits(const CdxFile::Node& n, int kl) {
    LeafLayout l = leaf_layout(n.maxrec, kl);
    return n.n * l.nbytes + n.data_bytes <= kLeafArea;
}

static void recount_leaf(const CdxFile::Tree& t, CdxFile::Node& n) {
    n.data_bytes = 0;
    n.maxrec = 0;
    for (int i = 0; i < n.n; ++i) {
        n.data_bytes += stored_len(t, n.keys, i);
        n.maxrec = std::max(n.maxrec, n.recs[i]);
    }
}

[[noreturn]] void CdxFile::damaged(const std::string& what) const {
    throw DamagedError(fmt::format("index file {} is damaged: {}", path_, what));
}

CdxFile::~CdxFile() {
    if (fd_ >= 0) {
        try {
            if (exclusive_ && !read_only_) flush();
        } catch (...) {
        }
        ::close(fd_);
    }
}

std::unique_ptr<CdxFile> CdxFile::open(const std::string& path, bool read_only, bool exclusive) {
    std::unique_ptr<CdxFile> f(new CdxFile);
    f->path_ = path;
    f->read_only_ = read_only;
    f->exclusive_ = exclusive;
    f->fd_ = ::open(path.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (f->fd_ < 0) throw Error(fmt::format("cannot open index file {}: {}", path, errno_text()));
    f->begin_read();
    try {
        f->load_directory();
    } catch (...) {
        f->end_read();
        throw;
    }
    f->end_read();
    return f;
}

std::unique_ptr<CdxFile> CdxFile::create(const std::string& path, bool exclusive) {
    std::unique_ptr<CdxFile> f(new CdxFile);
    f->path_ = path;
    f->exclusive_ = exclusive;
    f->fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (f->fd_ < 0) throw Error(fmt::format("cannot create index file {}: {}", path, errno_text()));
    f->begin_write();
    f->clear();
    f->end_write();
    return f;
}

void CdxFile::lock(short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kIndexLockByte;
    fl.l_len = 1;
    while (fcntl(fd_, F_OFD_SETLKW, &fl) < 0) {
        if (errno == EINTR) continue;
        throw LockError(fmt::format("cannot lock index file {}: {}", path_, errno_text()));
    }
}

void CdxFile::unlock() {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kIndexLockByte;
    fl.l_len = 1;
    fcntl(fd_, F_OFD_SETLK, &fl);
}

uint32_t CdxFile::read_counter() {
    uint8_t b[4];
    if (pread(fd_, b, 4, 8) != 4) return counter_;
    return rd32(b);
}

void CdxFile::drop_cache() {
    cache_.clear();
    read_ahead_.clear();
    dirty_.clear();
    ++generation_;
}

// After taking the index lock: when another process has changed the file since it was read
// (its change counter moved or its size changed), the cached pages and tag headers are
// dropped and re-read.
bool CdxFile::sync_with_file() {
    uint32_t c = read_counter();
    // A grown file is a change too (engines that do not count their changes append pages),
    // and new pages must never be allocated over pages another process has just added.
    struct stat st;
    bool grew = fstat(fd_, &st) == 0 && uint64_t(st.st_size) != file_size_;
    if ((c == counter_ && !grew) || !dir_.keylen) return false;
    counter_ = c;
    drop_cache();
    load_directory();
    return true;
}

bool CdxFile::begin_read() {
    if (read_depth_++ || write_depth_ || exclusive_) return false;
    lock(F_RDLCK);
    try {
        return sync_with_file();
    } catch (...) {
        unlock();
        read_depth_ = 0;
        throw;
    }
}

void CdxFile::end_read() {
    if (read_depth_ > 0 && --read_depth_ == 0 && !write_depth_ && !exclusive_) unlock();
}

bool CdxFile::begin_write() {
    if (read_only_) throw Error(fmt::format("index file {} is open read-only", path_));
    if (write_depth_++) return false;
    if (exclusive_) return false;
    // A read section in progress holds a read lock; this replaces it with the write lock.
    lock(F_WRLCK);
    try {
        return sync_with_file();
    } catch (...) {
        if (read_depth_) lock(F_RDLCK); else unlock();
        write_depth_ = 0;
        throw;
    }
}

void CdxFile::end_write() {
    if (write_depth_ <= 0) return;
    if (--write_depth_) return;
    if (exclusive_) return;  // written back on flush()
    try {
        flush();
    } catch (...) {
        if (read_depth_) lock(F_RDLCK); else unlock();
        throw;
    }
    if (read_depth_) lock(F_RDLCK); else unlock();
}

void CdxFile::read_tree_header(Tree& t) {
    uint8_t h[1024];
    if (uint64_t(t.header) + 1024 > file_size_) damaged(fmt::format("tag header at {} is outside the file", t.header));
    if (pread(fd_, h, 1024, t.header) != 1024) damaged(fmt::format("cannot read tag header at {}", t.header));
    t.root = rd32(h);
    t.version = rd32(h + 8);
    t.keylen = rd16(h + 12);
    t.options = h[14];
    t.descending = rd16(h + 502) != 0;
    if (t.keylen == 0 || t.keylen > 240) damaged(fmt::format("tag {} has key length {}", t.name, t.keylen));
    uint16_t keypool = rd16(h + 510);
    uint16_t forpool = rd16(h + 506);
    if (keypool > 512 || forpool > 512 || keypool + forpool > 512)
        damaged(fmt::format("tag {} has expression lengths {} and {}", t.name, keypool, forpool));
    const char* pool = reinterpret_cast<const char*>(h + 512);
    t.key.assign(pool, strnlen(pool, keypool));
    if (forpool > 1) {
        const char* fp = pool + keypool;
        t.for_expr.assign(fp, strnlen(fp, 512 - keypool));
    } else {
        t.for_expr.clear();
    }
    if (t.root < 1024 || t.root % kPage || uint64_t(t.root) + kPage > file_size_)
        damaged(fmt::format("tag {} has its root page at {}, outside the file", t.name, t.root));
}

void CdxFile::write_tree_header(Tree& t) {
    uint8_t h[1024] = {};
    wr32(h, t.root);
    wr32(h + 4, 0);
    wr32(h + 8, t.version);
    wr16(h + 12, t.keylen);
    h[14] = t.options;
    h[15] = 1;
    wr16(h + 16, 1024);
    wr16(h + 18, 512);
    wr16(h + 502, t.descending ? 1 : 0);
    size_t kp = t.key.size() + 1, fp = t.for_expr.size() + 1;
    if (kp + fp > 512) throw ExprError(fmt::format("key and FOR expressions of tag {} are too long", t.name));
    wr16(h + 504, uint32_t(kp));
    wr16(h + 506, uint32_t(fp));
    wr16(h + 510, uint32_t(kp));
    std::memcpy(h + 512, t.key.data(), t.key.size());
    std::memcpy(h + 512 + kp, t.for_expr.data(), t.for_expr.size());
    if (pwrite(fd_, h, 1024, t.header) != 1024)
        throw Error(fmt::format("cannot write index file {}: {}", path_, errno_text()));
    if (t.header + 1024 > file_size_) file_size_ = t.header + 1024;
    t.dirty = false;
}

void CdxFile::load_directory() {
    struct stat st;
    if (fstat(fd_, &st) != 0) throw Error(fmt::format("cannot read index file {}: {}", path_, errno_text()));
    file_size_ = uint64_t(st.st_size);
    if (file_size_ < 1024 + kPage) damaged(fmt::format("the file is too short ({} bytes)", file_size_));
    if (file_size_ % kPage) damaged(fmt::format("its length {} is not a multiple of 512", file_size_));
    dir_ = Tree{};
    dir_.header = 0;
    dir_.pad = ' ';
    read_tree_header(dir_);
    counter_ = dir_.version;
    if (dir_.keylen != 10) damaged(fmt::format("the tag directory has key length {}", dir_.keylen));
    // The key type (and so the trailing byte of compressed keys) is known only to the table
    // that compiled the expressions: keep it across a reload.
    std::unordered_map<std::string, uint8_t> pads;
    for (auto& t : tags_) pads[t.name] = t.pad;
    tags_.clear();
    Cursor c;
    std::vector<std::pair<uint32_t, std::string>> found;
    int guard = 0;
    for (bool ok = first(dir_, c); ok; ok = next(dir_, c)) {
        if (++guard > 10000) damaged("the tag directory loops");
        const uint8_t* k = key_at(dir_, c);
        std::string name(reinterpret_cast<const char*>(k), 10);
        while (!name.empty() && (name.back() == ' ' || name.back() == 0)) name.pop_back();
        found.emplace_back(recno_at(dir_, c), name);
    }
    std::sort(found.begin(), found.end());
    for (auto& [off, name] : found) {
        Tree t;
        t.name = name;
        t.header = off;
        auto p = pads.find(name);
        t.pad = p == pads.end() ? ' ' : p->second;
        read_tree_header(t);
        tags_.push_back(std::move(t));
    }
}

CdxFile::Node& CdxFile::node(Tree& t, uint32_t off) {
    if (off < 1024 || off % kPage)
        damaged(fmt::format("tag {} points to {}, which is not a page", t.name, off));
    size_t slot = off / kPage;
    if (slot < cache_.size() && cache_[slot]) {
        // Pages belong to one tree: a page reached from another is a damaged link.
        if (cache_[slot]->tree != t.header)
            damaged(fmt::format("page {} is reached from tag {} and from another tree", off, t.name));
        return *cache_[slot];
    }
    if (uint64_t(off) + kPage > file_size_)
        damaged(fmt::format("tag {} points to page {}, outside the file", t.name, off));
    uint8_t p[kPage];
    auto ahead = read_ahead_.find(off);
    if (ahead != read_ahead_.end()) {
        std::memcpy(p, ahead->second.data(), kPage);
        read_ahead_.erase(ahead);
    } else {
        if (cache_only_) throw CacheMiss{};
        // Pages of one tree mostly lie one after another (a rebuilt index is written so):
        // read the following pages with this one, to be decoded when they are reached.
        constexpr uint32_t kAhead = 16;
        uint32_t count = uint32_t(std::min<uint64_t>(kAhead, (file_size_ - off) / kPage));
        std::vector<uint8_t> block(size_t(count) * kPage);
        // Pages allocated but not yet written lie past the end of the file: fewer may come.
        ssize_t got = pread(fd_, block.data(), block.size(), off);
        if (got < ssize_t(kPage)) damaged(fmt::format("cannot read page {}", off));
        count = uint32_t(size_t(got) / kPage);
        std::memcpy(p, block.data(), kPage);
        for (uint32_t k = 1; k < count; ++k) {
            uint32_t o = off + k * kPage;
            size_t sl = o / kPage;
            if ((sl < cache_.size() && cache_[sl]) || read_ahead_.count(o)) continue;
            std::memcpy(read_ahead_[o].data(), block.data() + size_t(k) * kPage, kPage);
        }
    }
    auto nd = std::make_unique<Node>();
    Node& n = *nd;
    n.off = off;
    n.tree = t.header;
    n.attr = rd16(p);
    n.n = rd16(p + 2);
    n.left = rd32(p + 4);
    n.right = rd32(p + 8);
    int kl = t.keylen;
    if (n.attr > 3) damaged(fmt::format("page {} of tag {} has attribute {}", off, t.name, n.attr));
    if (n.leaf()) {
        uint32_t recmask = rd32(p + 14);
        uint8_t dupmask = p[18], trailmask = p[19];
        int recbits = p[20], dupbits = p[21], trailbits = p[22], nb = p[23];
        if (nb < 1 || nb > 8 || recbits + dupbits + trailbits > nb * 8 || recbits > 32 || dupbits > 8 || trailbits > 8)
            damaged(fmt::format("leaf page {} of tag {} has an impossible entry layout", off, t.name));
        if (24 + n.n * nb > int(kPage)) damaged(fmt::format("leaf page {} of tag {} claims {} keys", off, t.name, n.n));
        n.keys.resize(size_t(n.n) * kl);
        n.recs.resize(n.n);
        int pos = kPage;
        int floor = 24 + n.n * nb;
        for (int i = 0; i < n.n; ++i) {
            uint64_t v = 0;
            for (int b = nb - 1; b >= 0; --b) v = (v << 8) | p[24 + i * nb + b];
            uint32_t rec = uint32_t(v & recmask);
            int dup = int((v >> recbits) & dupmask);
            int trail = int((v >> (recbits + dupbits)) & trailmask);
            if (dup + trail > kl || (i == 0 && dup > 0))
                damaged(fmt::format("leaf page {} of tag {} has a bad key entry {}", off, t.name, i));
            int len = kl - dup - trail;
            pos -= len;
            if (pos < floor) damaged(fmt::format("leaf page {} of tag {} has key data over its entries", off, t.name));
            uint8_t* k = n.keys.data() + size_t(i) * kl;
            if (dup) std::memcpy(k, k - kl, dup);
            std::memcpy(k + dup, p + pos, len);
            std::memset(k + dup + len, t.pad, trail);
            n.recs[i] = rec;
            n.maxrec = std::max(n.maxrec, rec);
            n.data_bytes += len;
        }
    } else {
        if (n.n * (kl + 8) > kInteriorArea) damaged(fmt::format("interior page {} of tag {} claims {} keys", off, t.name, n.n));
        n.keys.resize(size_t(n.n) * kl);
        n.recs.resize(n.n);
        n.childs.resize(n.n);
        for (int i = 0; i < n.n; ++i) {
            const uint8_t* e = p + 12 + i * (kl + 8);
            std::memcpy(n.keys.data() + size_t(i) * kl, e, kl);
            n.recs[i] = rd32be(e + kl);
            n.childs[i] = rd32be(e + kl + 4);
        }
    }
    Node& ref = n;
    if (slot >= cache_.size()) cache_.resize(std::max<size_t>(slot + 1, cache_.size() * 2));
    cache_[slot] = std::move(nd);
    return ref;
}

uint32_t CdxFile::alloc_page() {
    uint32_t off = uint32_t(file_size_);
    file_size_ += kPage;
    return off;
}

CdxFile::Node& CdxFile::new_node(Tree& t, bool leaf) {
    uint32_t off = alloc_page();
    auto nd = std::make_unique<Node>();
    nd->off = off;
    nd->tree = t.header;
    nd->attr = leaf ? 2 : 0;
    nd->dirty = true;
    Node& ref = *nd;
    size_t slot = off / kPage;
    if (slot >= cache_.size()) cache_.resize(std::max<size_t>(slot + 1, cache_.size() * 2));
    cache_[slot] = std::move(nd);
    dirty_.push_back(off);
    return ref;
}

static void mark(CdxFile::Node& n, std::vector<uint32_t>& dirty) {
    if (!n.dirty) {
        n.dirty = true;
        dirty.push_back(n.off);
    }
}

// The 12 bytes every page starts with (the rest of the page cleared).
static void page_header(uint8_t* p, uint16_t attr, int n, uint32_t left, uint32_t right) {
    std::memset(p, 0, kPage);
    wr16(p, attr);
    wr16(p + 2, uint32_t(n));
    wr32(p + 4, left);
    wr32(p + 8, right);
}

// Encodes a leaf page from n entries given as key and record accessors.
template <class KeyAt, class RecAt>
static void encode_leaf(const CdxFile::Tree& t, uint32_t off, int n, KeyAt key, RecAt rec, uint16_t attr,
                        uint32_t left, uint32_t right, uint8_t* p) {
    int kl = t.keylen;
    page_header(p, attr, n, left, right);
    uint32_t maxrec = 0;
    for (int i = 0; i < n; ++i) maxrec = std::max(maxrec, rec(i));
    LeafLayout l = leaf_layout(maxrec, kl);
    int pos = kPage;
    const uint8_t* prev = nullptr;
    for (int i = 0; i < n; ++i) {
        const uint8_t* k = key(i);
        int tr = trail_count(k, kl, t.pad);
        int dup = prev ? dup_count(prev, k, kl, tr) : 0;
        int len = kl - tr - dup;
        pos -= len;
        if (pos < 24 + (i + 1) * l.nbytes)
            throw Error(fmt::format("internal error: leaf page {} of tag {} overflows", off, t.name));
        std::memcpy(p + pos, k + dup, len);
        uint64_t v = uint64_t(rec(i)) | (uint64_t(dup) << l.recbits) | (uint64_t(tr) << (l.recbits + l.dupbits));
        for (int b = 0; b < l.nbytes; ++b) p[24 + i * l.nbytes + b] = uint8_t(v >> (8 * b));
        prev = k;
    }
    wr16(p + 12, uint32_t(pos - 24 - n * l.nbytes));
    wr32(p + 14, l.recbits >= 32 ? 0xFFFFFFFFu : ((1u << l.recbits) - 1));
    p[18] = uint8_t((1u << l.dupbits) - 1);
    p[19] = uint8_t((1u << l.trailbits) - 1);
    p[20] = uint8_t(l.recbits);
    p[21] = uint8_t(l.dupbits);
    p[22] = uint8_t(l.trailbits);
    p[23] = uint8_t(l.nbytes);
}

template <class KeyAt, class RecAt, class ChildAt>
static void encode_interior(const CdxFile::Tree& t, int n, KeyAt key, RecAt rec, ChildAt child, uint16_t attr,
                            uint32_t left, uint32_t right, uint8_t* p) {
    int kl = t.keylen;
    page_header(p, attr, n, left, right);
    for (int i = 0; i < n; ++i) {
        uint8_t* e = p + 12 + i * (kl + 8);
        std::memcpy(e, key(i), kl);
        wr32be(e + kl, rec(i));
        wr32be(e + kl + 4, child(i));
    }
}

void CdxFile::write_node(Tree& t, Node& n, uint8_t* p) {
    int kl = t.keylen;
    auto key = [&](int i) { return n.key(i, kl); };
    auto rec = [&](int i) { return n.recs[i]; };
    if (n.leaf()) encode_leaf(t, n.off, n.n, key, rec, n.attr, n.left, n.right, p);
    else encode_interior(t, n.n, key, rec, [&](int i) { return n.childs[i]; }, n.attr, n.left, n.right, p);
    n.dirty = false;
}

// The tree a page belongs to is needed to encode it; pages are found through their tree.
void CdxFile::flush() {
    if (read_only_ || fd_ < 0) return;
    if (dir_rebuild_) write_directory();
    bool wrote_pages = !dirty_.empty();
    if (!dirty_.empty()) {
        std::sort(dirty_.begin(), dirty_.end());
        dirty_.erase(std::unique(dirty_.begin(), dirty_.end()), dirty_.end());
        // Consecutive pages are encoded into one buffer and written with one call.
        std::vector<uint8_t> run;
        uint32_t run_start = 0;
        auto write_run = [&] {
            if (run.empty()) return;
            if (pwrite(fd_, run.data(), run.size(), off_t(run_start)) != ssize_t(run.size()))
                throw Error(fmt::format("cannot write index file {}: {}", path_, errno_text()));
            run.clear();
        };
        for (uint32_t off : dirty_) {
            size_t slot = off / kPage;
            if (slot >= cache_.size() || !cache_[slot] || !cache_[slot]->dirty) continue;
            Node& n = *cache_[slot];
            if (!run.empty() && run_start + run.size() != off) write_run();
            if (run.empty()) run_start = off;
            run.resize(run.size() + kPage);
            uint8_t* p = run.data() + run.size() - kPage;
            Tree* owner = n.tree == 0 ? &dir_ : nullptr;
            for (auto& t : tags_)
                if (t.header == n.tree) owner = &t;
            if (n.freed || !owner) {
                std::memset(p, 0, kPage);
                n.dirty = false;
            } else {
                write_node(*owner, n, p);
            }
            if (run.size() >= (1u << 20)) write_run();
        }
        write_run();
        dirty_.clear();
    }
    bool any = dir_.dirty;
    for (auto& t : tags_) any = any || t.dirty;
    if (any || cleared_) {
        for (auto& t : tags_)
            if (t.dirty) {
                ++t.version;
                write_tree_header(t);
            }
        ++counter_;
        dir_.version = counter_;
        write_tree_header(dir_);
        cleared_ = false;
    } else if (!exclusive_ && wrote_pages) {
        // Page changes without header changes still tell other processes to drop caches.
        ++counter_;
        dir_.version = counter_;
        uint8_t b[4];
        wr32(b, counter_);
        if (pwrite(fd_, b, 4, 8) != 4) throw Error(fmt::format("cannot write index file {}: {}", path_, errno_text()));
    }
}

void CdxFile::sync() {
    flush();
    if (fd_ >= 0 && !read_only_) fdatasync(fd_);
}

void CdxFile::descend(Tree& t, const uint8_t* key, size_t len, uint32_t recno, bool use_recno,
                      std::vector<std::pair<uint32_t, int>>& path) {
    path.clear();
    uint32_t off = t.root;
    int kl = t.keylen;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) damaged(fmt::format("tag {} is deeper than {} levels", t.name, kMaxDepth));
        Node& n = node(t, off);
        // First entry >= the search key.
        int lo = 0, hi = n.n;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            int c = use_recno ? cmp_entry(n.key(mid, kl), n.recs[mid], key, recno, kl)
                              : std::memcmp(n.key(mid, kl), key, len);
            if (c < 0) lo = mid + 1; else hi = mid;
        }
        if (n.leaf()) {
            path.emplace_back(off, lo);
            return;
        }
        if (n.n == 0) damaged(fmt::format("interior page {} of tag {} is empty", off, t.name));
        int i = lo < n.n ? lo : n.n - 1;
        path.emplace_back(off, i);
        off = n.childs[i];
    }
}

// The first (or last) entry of a tree: down the leftmost (or rightmost) children, then past
// any empty leaf.
bool CdxFile::edge(Tree& t, Cursor& c, bool first_entry) {
    uint32_t off = t.root;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) damaged(fmt::format("tag {} is deeper than {} levels", t.name, kMaxDepth));
        Node& n = node(t, off);
        if (n.leaf()) {
            c.page = off;
            c.idx = first_entry ? 0 : n.n - 1;
            if (n.n == 0) return first_entry ? next(t, c) : prev(t, c);
            return true;
        }
        if (n.n == 0) { c = Cursor{}; return false; }
        off = n.childs[first_entry ? 0 : n.n - 1];
    }
}

bool CdxFile::first(Tree& t, Cursor& c) { return edge(t, c, true); }
bool CdxFile::last(Tree& t, Cursor& c) { return edge(t, c, false); }

bool CdxFile::next(Tree& t, Cursor& c) {
    if (!c.page) return false;
    Node* n = &node(t, c.page);
    ++c.idx;
    int guard = 0;
    while (c.idx >= n->n) {
        if (n->right == kNone || n->right == 0) { c = Cursor{}; return false; }
        if (++guard > 1000000) damaged(fmt::format("leaf pages of tag {} loop", t.name));
        uint32_t from = c.page;
        c.page = n->right;
        c.idx = 0;
        n = &node(t, c.page);
        if (!n->leaf()) damaged(fmt::format("leaf page of tag {} links to interior page {}", t.name, c.page));
        if (n->left != from) damaged(fmt::format("leaf pages {} and {} of tag {} do not link back to each other (a broken chain or a loop)", from, c.page, t.name));
    }
    return true;
}

bool CdxFile::prev(Tree& t, Cursor& c) {
    if (!c.page) return false;
    Node* n = &node(t, c.page);
    --c.idx;
    int guard = 0;
    while (c.idx < 0) {
        if (n->left == kNone || n->left == 0) { c = Cursor{}; return false; }
        if (++guard > 1000000) damaged(fmt::format("leaf pages of tag {} loop", t.name));
        uint32_t from = c.page;
        c.page = n->left;
        n = &node(t, c.page);
        if (!n->leaf()) damaged(fmt::format("leaf page of tag {} links to interior page {}", t.name, c.page));
        if (n->right != from) damaged(fmt::format("leaf pages {} and {} of tag {} do not link back to each other (a broken chain or a loop)", c.page, from, t.name));
        c.idx = n->n - 1;
    }
    return true;
}

bool CdxFile::lower_bound(Tree& t, const uint8_t* key, size_t len, Cursor& c) {
    auto& path = walk_;
    descend(t, key, std::min<size_t>(len, t.keylen), 0, false, path);
    c.page = path.back().first;
    c.idx = path.back().second - 1;
    return next(t, c);
}

bool CdxFile::locate(Tree& t, const uint8_t* key, uint32_t recno, Cursor& c) {
    auto& path = walk_;
    descend(t, key, t.keylen, recno, true, path);
    c.page = path.back().first;
    c.idx = path.back().second - 1;
    return next(t, c);
}

const uint8_t* CdxFile::key_at(Tree& t, const Cursor& c) {
    Node& n = node(t, c.page);
    if (c.idx < 0 || c.idx >= n.n) damaged(fmt::format("position {} is outside page {} of tag {}", c.idx, c.page, t.name));
    return n.key(c.idx, t.keylen);
}
uint32_t CdxFile::recno_at(Tree& t, const Cursor& c) {
    Node& n = node(t, c.page);
    if (c.idx < 0 || c.idx >= n.n) damaged(fmt::format("position {} is outside page {} of tag {}", c.idx, c.page, t.name));
    return n.recs[c.idx];
}

uint32_t CdxFile::recno_near(Tree& t, const Cursor& c, int ahead) {
    Node& n = node(t, c.page);
    int i = c.idx + ahead;
    return i >= 0 && i < n.n ? n.recs[i] : 0;
}

uint32_t CdxFile::find_key(Tree& t, const uint8_t* key) {
    Cursor c;
    if (!lower_bound(t, key, t.keylen, c)) return 0;
    if (std::memcmp(key_at(t, c), key, t.keylen) != 0) return 0;
    return recno_at(t, c);
}

// After the last entry of the node at path[level] changed, the separators above it follow.
void CdxFile::fix_separators(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level) {
    int kl = t.keylen;
    while (level > 0) {
        Node& child = node(t, path[level].first);
        if (child.n == 0) return;
        Node& parent = node(t, path[level - 1].first);
        int i = path[level - 1].second;
        const uint8_t* mk = child.key(child.n - 1, kl);
        uint32_t mr = child.recs[child.n - 1];
        if (std::memcmp(parent.key(i, kl), mk, kl) == 0 && parent.recs[i] == mr) return;
        std::memcpy(parent.keys.data() + size_t(i) * kl, mk, kl);
        parent.recs[i] = mr;
        mark(parent, dirty_);
        if (i != parent.n - 1) return;
        --level;
    }
}

// Splits the overfull node at path[level] into two; the new page takes the upper half.
// Bytes that entries [a, b) of a leaf need as a page of their own.
static bool range_fits(const CdxFile::Tree& t, const CdxFile::Node& n, int a, int b) {
    int kl = t.keylen, bytes = 0;
    uint32_t maxrec = 0;
    for (int i = a; i < b; ++i) {
        const uint8_t* k = n.key(i, kl);
        int tr = trail_count(k, kl, t.pad);
        int dup = i > a ? dup_count(k - kl, k, kl, tr) : 0;
        bytes += kl - tr - dup;
        maxrec = std::max(maxrec, n.recs[i]);
    }
    return (b - a) * leaf_layout(maxrec, kl).nbytes + bytes <= kLeafArea;
}

void CdxFile::split(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level, bool at_end) {
    int kl = t.keylen;
    uint32_t off = path[level].first;
    bool leaf = node(t, off).leaf();
    Node& right = new_node(t, leaf);
    Node& n = node(t, off);
    // A key added at the right edge (records appended in key order) leaves the lower page
    // full; otherwise the page is halved.
    int m = at_end ? n.n - 1 : n.n / 2;
    if (leaf) {
        if (!at_end || !range_fits(t, n, 0, m) || !range_fits(t, n, m, n.n)) {
            LeafLayout l = leaf_layout(n.maxrec, kl);
            int total = 0, acc = 0;
            std::vector<int> sz(n.n);
            for (int i = 0; i < n.n; ++i) total += (sz[i] = stored_len(t, n.keys, i) + l.nbytes);
            for (m = 0; m < n.n - 1 && acc * 2 < total; ++m) acc += sz[m];
            if (m == 0) m = 1;
            while (m > 1 && !range_fits(t, n, 0, m)) --m;
            while (m < n.n - 1 && !range_fits(t, n, m, n.n)) ++m;
        }
    }
    right.n = n.n - m;
    right.keys.assign(n.keys.begin() + size_t(m) * kl, n.keys.end());
    right.recs.assign(n.recs.begin() + m, n.recs.end());
    if (!leaf) right.childs.assign(n.childs.begin() + m, n.childs.end());
    n.n = m;
    n.keys.resize(size_t(m) * kl);
    n.recs.resize(m);
    if (!leaf) n.childs.resize(m);
    right.attr = n.attr & 2;
    n.attr &= 2;
    if (leaf) {
        recount_leaf(t, n);
        recount_leaf(t, right);
    }
    right.left = n.off;
    right.right = n.right;
    if (n.right != kNone && n.right != 0) {
        Node& rr = node(t, n.right);
        rr.left = right.off;
        mark(rr, dirty_);
    }
    n.right = right.off;
    mark(n, dirty_);
    const uint8_t* lmax = n.key(n.n - 1, kl);
    uint32_t lrec = n.recs[n.n - 1];
    if (level == 0) {
        Node& root = new_node(t, false);
        root.attr = 1;
        root.n = 2;
        root.keys.resize(size_t(2) * kl);
        std::memcpy(root.keys.data(), lmax, kl);
        std::memcpy(root.keys.data() + kl, right.key(right.n - 1, kl), kl);
        root.recs = {lrec, right.recs[right.n - 1]};
        root.childs = {n.off, right.off};
        t.root = root.off;
        t.dirty = true;
        return;
    }
    Node& parent = node(t, path[level - 1].first);
    int i = path[level - 1].second;
    // Entry i keeps pointing at the lower half with its new maximum; the upper half takes
    // the old maximum in a new entry after it.
    parent.keys.insert(parent.keys.begin() + size_t(i) * kl, lmax, lmax + kl);
    parent.recs.insert(parent.recs.begin() + i, lrec);
    parent.childs.insert(parent.childs.begin() + i, n.off);
    parent.childs[i + 1] = right.off;
    ++parent.n;
    mark(parent, dirty_);
    if (parent.n * (kl + 8) > kInteriorArea) split(t, path, level - 1, i + 1 == parent.n - 1);
}

void CdxFile::insert(Tree& t, const uint8_t* key, uint32_t recno) {
    auto& path = walk_;
    descend(t, key, t.keylen, recno, true, path);
    int kl = t.keylen;
    Node& n = node(t, path.back().first);
    int i = path.back().second;
    int before = i < n.n ? stored_len(t, n.keys, i) : 0;
    n.keys.insert(n.keys.begin() + size_t(i) * kl, key, key + kl);
    n.recs.insert(n.recs.begin() + i, recno);
    ++n.n;
    int after = stored_len(t, n.keys, i) + (i + 1 < n.n ? stored_len(t, n.keys, i + 1) : 0);
    n.data_bytes += after - before;
    n.maxrec = std::max(n.maxrec, recno);
    mark(n, dirty_);
    t.dirty = true;
    bool was_last = i == n.n - 1;
    if (was_last) fix_separators(t, path, path.size() - 1);
    if (!leaf_fits(n, kl)) split(t, path, path.size() - 1, was_last);
}

// Removes the (now empty) node at path[level] from its parent.
void CdxFile::remove_from_parent(Tree& t, std::vector<std::pair<uint32_t, int>>& path, size_t level) {
    int kl = t.keylen;
    Node& n = node(t, path[level].first);
    if (level == 0) {
        // The root emptied: it becomes an empty leaf root.
        n.attr = 3;
        n.n = 0;
        n.keys.clear();
        n.recs.clear();
        n.childs.clear();
        n.data_bytes = 0;
        n.left = n.right = kNone;
        mark(n, dirty_);
        return;
    }
    if (n.left != kNone && n.left != 0) {
        Node& l = node(t, n.left);
        l.right = n.right;
        mark(l, dirty_);
    }
    if (n.right != kNone && n.right != 0) {
        Node& r = node(t, n.right);
        r.left = n.left;
        mark(r, dirty_);
    }
    n.n = 0;
    n.keys.clear();
    n.recs.clear();
    n.childs.clear();
    n.freed = true;  // written as a zeroed page: it belongs to no tree any more
    mark(n, dirty_);
    Node& parent = node(t, path[level - 1].first);
    int i = path[level - 1].second;
    parent.keys.erase(parent.keys.begin() + size_t(i) * kl, parent.keys.begin() + size_t(i + 1) * kl);
    parent.recs.erase(parent.recs.begin() + i);
    parent.childs.erase(parent.childs.begin() + i);
    --parent.n;
    mark(parent, dirty_);
    if (parent.n == 0) {
        remove_from_parent(t, path, level - 1);
    } else if (i == parent.n) {
        path[level - 1].second = parent.n - 1;
        fix_separators(t, path, level - 1);
    }
}

bool CdxFile::remove(Tree& t, const uint8_t* key, uint32_t recno) {
    auto& path = walk_;
    descend(t, key, t.keylen, recno, true, path);
    int kl = t.keylen;
    Node* n = &node(t, path.back().first);
    int i = path.back().second;
    if (i >= n->n) return false;  // separators are exact maxima: the entry is not in the tree
    if (cmp_entry(n->key(i, kl), n->recs[i], key, recno, kl) != 0) return false;
    int before = stored_len(t, n->keys, i) + (i + 1 < n->n ? stored_len(t, n->keys, i + 1) : 0);
    n->keys.erase(n->keys.begin() + size_t(i) * kl, n->keys.begin() + size_t(i + 1) * kl);
    n->recs.erase(n->recs.begin() + i);
    --n->n;
    int after = i < n->n ? stored_len(t, n->keys, i) : 0;
    n->data_bytes += after - before;
    mark(*n, dirty_);
    t.dirty = true;
    if (n->n == 0) {
        remove_from_parent(t, path, path.size() - 1);
        return true;
    }
    if (i == n->n) fix_separators(t, path, path.size() - 1);
    // Removing a key can make the next one share less with its new neighbour, so the
    // compressed page may grow: split it when it no longer fits.
    if (!leaf_fits(*n, kl)) split(t, path, path.size() - 1, false);
    return true;
}

// Bulk load: leaves packed full from sorted entries, then interior levels above them, all
// encoded straight into consecutive pages and written with one call.
void CdxFile::build(Tree& t, const std::vector<Entry>& sorted) {
    int kl = t.keylen;
    size_t n = sorted.size();
    // Leaf boundaries: as many entries per page as fit.
    std::vector<size_t> starts{0};
    {
        size_t first = 0;
        int data = 0;
        uint32_t maxrec = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* k = sorted[i].key;
            int tr = trail_count(k, kl, t.pad);
            int len = kl - tr - (i > first ? dup_count(sorted[i - 1].key, k, kl, tr) : 0);
            uint32_t mr = std::max(maxrec, sorted[i].recno);
            int nb = leaf_layout(mr, kl).nbytes;
            if (i > first && int(i - first + 1) * nb + data + len > kLeafArea) {
                first = i;
                starts.push_back(i);
                data = kl - tr;
                maxrec = sorted[i].recno;
            } else {
                data += len;
                maxrec = mr;
            }
        }
    }
    size_t leaves = starts.size();
    int per = kInteriorArea / (kl + 8);
    // Pages per level, bottom up, to know every page's offset before encoding.
    std::vector<size_t> level_pages{leaves};
    while (level_pages.back() > 1) level_pages.push_back((level_pages.back() + per - 1) / per);
    size_t total = 0;
    for (size_t c : level_pages) total += c;
    uint32_t base = uint32_t(file_size_);
    file_size_ += uint64_t(total) * kPage;
    std::vector<uint8_t> pages(total * kPage);
    auto off_of = [&](size_t page) { return uint32_t(base + page * kPage); };
    bool single = total == 1;
    // Leaves.
    std::vector<const uint8_t*> up_key(leaves);
    std::vector<uint32_t> up_rec(leaves), up_child(leaves);
    for (size_t j = 0; j < leaves; ++j) {
        size_t a = starts[j], b = j + 1 < leaves ? starts[j + 1] : n;
        encode_leaf(t, off_of(j), int(b - a), [&](int i) { return sorted[a + size_t(i)].key; },
                    [&](int i) { return sorted[a + size_t(i)].recno; }, uint16_t(single ? 3 : 2),
                    j ? off_of(j - 1) : kNone, j + 1 < leaves ? off_of(j + 1) : kNone, pages.data() + j * kPage);
        static const uint8_t nothing[256] = {};
        up_key[j] = b > a ? sorted[b - 1].key : nothing;
        up_rec[j] = b > a ? sorted[b - 1].recno : 0;
        up_child[j] = off_of(j);
    }
    // Interior levels: each entry is the last key of its child.
    size_t page = leaves;
    for (size_t lv = 1; lv < level_pages.size(); ++lv) {
        size_t count = level_pages[lv];
        bool root = lv + 1 == level_pages.size();
        std::vector<const uint8_t*> nk(count);
        std::vector<uint32_t> nr(count), nc(count);
        for (size_t j = 0; j < count; ++j) {
            size_t a = j * size_t(per), b = std::min(up_key.size(), a + size_t(per));
            encode_interior(t, int(b - a), [&](int i) { return up_key[a + size_t(i)]; },
                            [&](int i) { return up_rec[a + size_t(i)]; }, [&](int i) { return up_child[a + size_t(i)]; },
                            uint16_t(root ? 1 : 0), j ? off_of(page + j - 1) : kNone,
                            j + 1 < count ? off_of(page + j + 1) : kNone, pages.data() + (page + j) * kPage);
            nk[j] = up_key[b - 1];
            nr[j] = up_rec[b - 1];
            nc[j] = off_of(page + j);
        }
        up_key.swap(nk);
        up_rec.swap(nr);
        up_child.swap(nc);
        page += count;
    }
    if (pwrite(fd_, pages.data(), pages.size(), off_t(base)) != ssize_t(pages.size()))
        throw Error(fmt::format("cannot write index file {}: {}", path_, errno_text()));
    t.root = off_of(total - 1);
    t.dirty = true;
}

CdxFile::Tree& CdxFile::add_tag(const std::string& name, const std::string& key, const std::string& for_expr,
                                bool unique, bool descending, uint16_t keylen, uint8_t pad,
                                const std::vector<Entry>& sorted) {
    for (auto& t : tags_)
        if (t.name == name) throw Error(fmt::format("index file {} already has a tag {}", path_, name));
    if (key.size() + for_expr.size() + 2 > 512)
        throw ExprError(fmt::format("key and FOR expressions of tag {} are too long", name));
    Tree t;
    t.name = name;
    t.key = key;
    t.for_expr = for_expr;
    t.keylen = keylen;
    t.pad = pad;
    t.descending = descending;
    t.options = uint8_t(0x60 | (unique ? 0x01 : 0) | (for_expr.empty() ? 0 : 0x08));
    t.header = alloc_page();
    alloc_page();
    t.dirty = true;
    build(t, sorted);
    tags_.push_back(std::move(t));
    dir_rebuild_ = true;
    return tags_.back();
}

// Rewrites the directory tree from the tag list (sorted by name, as the format keeps it).
void CdxFile::write_directory() {
    std::vector<std::pair<std::string, uint32_t>> names;
    for (auto& t : tags_) {
        std::string k = t.name;
        k.resize(10, ' ');
        names.emplace_back(k, t.header);
    }
    std::sort(names.begin(), names.end());
    std::vector<Entry> es;
    for (auto& [k, off] : names) es.push_back({reinterpret_cast<const uint8_t*>(k.data()), off});
    dir_rebuild_ = false;
    dir_.dirty = true;
    // A directory that fits one leaf is rewritten in its root page; a bigger one is rebuilt
    // on new pages.
    Node& root = node(dir_, dir_.root);
    if (root.leaf()) {
        Node probe;
        probe.attr = 3;
        for (auto& e : es) {
            probe.keys.insert(probe.keys.end(), e.key, e.key + 10);
            probe.recs.push_back(e.recno);
            ++probe.n;
        }
        probe.left = probe.right = kNone;
        recount_leaf(dir_, probe);
        if (leaf_fits(probe, 10)) {
            root.attr = 3;
            root.n = probe.n;
            root.keys = std::move(probe.keys);
            root.recs = std::move(probe.recs);
            root.left = root.right = kNone;
            root.data_bytes = probe.data_bytes;
            root.maxrec = probe.maxrec;
            mark(root, dirty_);
            return;
        }
    }
    build(dir_, es);
}

void CdxFile::clear() {
    drop_cache();
    tags_.clear();
    file_size_ = 1024;
    dir_ = Tree{};
    dir_.header = 0;
    dir_.keylen = 10;
    dir_.pad = ' ';
    dir_.options = 0xE0;
    dir_.version = counter_;
    build(dir_, {});
    dir_.dirty = true;
    cleared_ = true;
    if (ftruncate(fd_, 0) != 0)
        throw Error(fmt::format("cannot empty index file {}: {}", path_, errno_text()));
}

std::vector<std::string> CdxFile::check_tree(Tree& t, std::vector<std::pair<std::string, uint32_t>>& keys) {
    std::vector<std::string> problems;
    int kl = t.keylen;
    keys.clear();
    // Walk the tree top-down and check that every separator is the maximum of its child.
    std::vector<uint32_t> leaves;
    std::unordered_set<uint32_t> visited;
    std::function<void(uint32_t, int, const uint8_t*, uint32_t, bool)> walk =
        [&](uint32_t off, int depth, const uint8_t* sep, uint32_t seprec, bool has_sep) {
            if (depth > kMaxDepth) damaged(fmt::format("tag {} is deeper than {} levels", t.name, kMaxDepth));
            if (!visited.insert(off).second) damaged(fmt::format("page {} of tag {} is reached twice", off, t.name));
            Node& n = node(t, off);
            if (n.n == 0 && off != t.root) problems.push_back(fmt::format("tag {}: empty page {}", t.name, off));
            if (has_sep && n.n > 0 &&
                cmp_entry(n.key(n.n - 1, kl), n.recs[n.n - 1], sep, seprec, kl) != 0)
                problems.push_back(fmt::format("tag {}: separator above page {} is not its last key", t.name, off));
            if (n.leaf()) {
                leaves.push_back(off);
                if (!leaf_fits(n, kl)) problems.push_back(fmt::format("tag {}: leaf page {} overfull", t.name, off));
                return;
            }
            for (int i = 0; i < n.n; ++i) walk(n.childs[i], depth + 1, n.key(i, kl), n.recs[i], true);
        };
    walk(t.root, 0, nullptr, 0, false);
    // Sibling links must chain the leaves in tree order.
    for (size_t i = 0; i < leaves.size(); ++i) {
        Node& n = node(t, leaves[i]);
        uint32_t want_left = i ? leaves[i - 1] : kNone, want_right = i + 1 < leaves.size() ? leaves[i + 1] : kNone;
        auto norm = [](uint32_t v) { return v == 0 ? kNone : v; };
        if (norm(n.left) != want_left || norm(n.right) != want_right)
            problems.push_back(fmt::format("tag {}: leaf page {} has wrong sibling links", t.name, leaves[i]));
        for (int j = 0; j < n.n; ++j)
            keys.emplace_back(std::string(reinterpret_cast<const char*>(n.key(j, kl)), kl), n.recs[j]);
    }
    for (size_t i = 1; i < keys.size(); ++i) {
        int c = keys[i - 1].first.compare(keys[i].first);
        if (c > 0 || (c == 0 && keys[i - 1].second >= keys[i].second)) {
            problems.push_back(fmt::format("tag {}: keys out of order at position {}", t.name, i + 1));
            break;
        }
    }
    return problems;
}

}  // namespace xbase
