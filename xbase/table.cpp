#include "xbase/table.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

#include <fmt/format.h>

#include "common/decimal.hpp"
#include "xbase/cdx.hpp"
#include "xbase/memo.hpp"

namespace xbase {

namespace {

uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
void wr16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void wr32(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); }

std::string errno_text() { return std::strerror(errno); }

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool file_exists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string dir_of(const std::string& p) {
    auto s = p.find_last_of('/');
    return s == std::string::npos ? std::string(".") : (s == 0 ? std::string("/") : p.substr(0, s));
}

std::string base_of(const std::string& p) {
    auto s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

std::string join(const std::string& dir, const std::string& name) {
    if (dir == ".") return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Finds `name` in `dir` whatever the case of its letters (files copied from Windows).
std::string find_ci(const std::string& dir, const std::string& name) {
    std::string exact = join(dir, name);
    if (file_exists(exact)) return exact;
    DIR* d = opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = readdir(d)) {
        if (iequals(e->d_name, name)) {
            found = join(dir, e->d_name);
            break;
        }
    }
    closedir(d);
    return found;
}

std::string strip_ext(const std::string& name) {
    auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool ext_is_lower(const std::string& name) {
    auto dot = name.find_last_of('.');
    return dot != std::string::npos && dot + 1 < name.size() && std::islower(static_cast<unsigned char>(name[dot + 1]));
}

constexpr uint64_t kCdxLockBase = 0x7FFFFFFE;
constexpr uint64_t kCdxFileLockSize = 0x3FFFFFFD;
constexpr uint64_t kPlainLockBase = 0x40000000;
constexpr uint64_t kPlainFileLockSize = 0x3FFFFFFF;

bool valid_version(uint8_t v) {
    switch (v) {
        case 0x02: case 0x03: case 0x30: case 0x31: case 0x32: case 0x43: case 0x63: case 0x83:
        case 0x8B: case 0xCB: case 0xF5: case 0xFB:
            return true;
        default:
            return false;
    }
}

bool valid_type(char t) { return std::strchr("CNFDLMIBTYGPVWQ0", t) != nullptr && t != 0; }

struct TagState {
    TagInfo info;
    std::optional<KeyExpr> key;
    std::optional<ForExpr> cond;
};

}  // namespace

struct Table::Impl {
    std::string path, name, cdx_path, memo_path;
    int fd = -1;
    bool excl = false, ro = false;
    uint8_t version = 0x03, flags = 0, cpbyte = 0;
    CodePage cp = CodePage::Win1252;
    uint32_t hl = 0, rl = 0, count = 0;
    bool header_dirty = false;
    std::vector<Field> fields;
    bool has_memo_fields = false;
    std::string memo_error;  // why memo fields cannot be used, when they cannot
    std::unique_ptr<MemoFile> memo;
    std::unique_ptr<CdxFile> cdx;
    std::vector<TagState> tags;
    int order = -1;

    // Position.
    uint32_t recno = 0;
    bool eof = true, bof = false;
    CdxFile::Cursor cur;
    bool cur_valid = false;
    uint32_t cur_gen = 0;
    std::vector<uint8_t> curkey;
    uint32_t currec = 0;

    std::vector<uint8_t> buf, orig, blank;
    bool dirty = false, appended = false;

    std::set<uint32_t> locked;
    bool file_locked = false;
    bool show_deleted = false;
    std::function<bool(Table&)> filter;
    Table* self = nullptr;

    // Exclusive-mode read cache of records, in chunks.
    uint32_t chunk_recs = 1;
    std::vector<std::vector<uint8_t>> chunks;  // by chunk number
    bool pending = false;  // exclusive append whose record is not in the file yet

    std::vector<uint8_t> keybuf_old, keybuf_new;

    // ---- helpers
    bool has_cdx_locks() const { return flags & 0x01; }
    uint64_t rec_lock_off(uint32_t r) const {
        return has_cdx_locks() ? kCdxLockBase - r : kPlainLockBase + hl + uint64_t(r - 1) * rl;
    }

    [[noreturn]] void damaged(const std::string& what) const {
        throw DamagedError(fmt::format("table {} is damaged: {}", path, what));
    }

    bool byte_lock(uint64_t off, uint64_t len, short type, int wait_ms) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(off);
        fl.l_len = off_t(len);
        auto start = std::chrono::steady_clock::now();
        for (;;) {
            if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EACCES)
                throw LockError(fmt::format("cannot lock table {}: {}", path, errno_text()));
            if (wait_ms == 0) return false;
            if (wait_ms > 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(wait_ms)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void byte_unlock(uint64_t off, uint64_t len) {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(off);
        fl.l_len = off_t(len);
        fcntl(fd, F_OFD_SETLK, &fl);
    }
    void header_lock() {
        if (excl) return;
        uint64_t off = has_cdx_locks() ? kCdxLockBase : kPlainLockBase;
        if (!byte_lock(off, 1, F_WRLCK, -1)) throw LockError(fmt::format("cannot lock the header of table {}", path));
    }
    void header_unlock() {
        if (excl) return;
        byte_unlock(has_cdx_locks() ? kCdxLockBase : kPlainLockBase, 1);
    }

    void refresh_count() {
        if (excl) return;
        uint8_t b[4];
        if (pread(fd, b, 4, 4) != 4) throw Error(fmt::format("cannot read table {}: {}", path, errno_text()));
        uint32_t c = rd32(b);
        if (c != count) {
            // Trust only records that are wholly in the file.
            struct stat st;
            if (fstat(fd, &st) == 0 && st.st_size >= off_t(hl)) {
                uint64_t have = (uint64_t(st.st_size) - hl) / rl;
                if (c > have) c = uint32_t(have);
            }
            count = c;
        }
    }

    // Records wholly in the file (an exclusive append is written when it is flushed).
    uint32_t file_records() const { return pending ? count - 1 : count; }

    void read_rec(uint32_t r, uint8_t* dst) {
        if (excl) {
            if (pending && r == count) {
                std::memcpy(dst, blank.data(), rl);
                return;
            }
            uint32_t ch = (r - 1) / chunk_recs;
            if (ch >= chunks.size()) chunks.resize(ch + 1);
            std::vector<uint8_t>& c = chunks[ch];
            uint32_t first = ch * chunk_recs + 1;
            if ((r - first + 1) * rl > c.size()) {
                uint32_t n = std::min(chunk_recs, file_records() - first + 1);
                c.resize(size_t(n) * rl);
                ssize_t got = pread(fd, c.data(), c.size(), off_t(hl + uint64_t(first - 1) * rl));
                if (got != ssize_t(c.size())) {
                    c.clear();
                    damaged(fmt::format("record {} is past the end of the file", r));
                }
            }
            std::memcpy(dst, c.data() + size_t(r - first) * rl, rl);
            return;
        }
        ssize_t got = pread(fd, dst, rl, off_t(hl + uint64_t(r - 1) * rl));
        if (got != ssize_t(rl)) damaged(fmt::format("record {} is past the end of the file", r));
    }

    void write_rec(uint32_t r, const uint8_t* src) {
        bool last = pending && r == count;
        // A new last record carries the end-of-file mark with it.
        ssize_t want = ssize_t(rl) + (last ? 1 : 0);
        ssize_t wrote;
        if (last) {
            std::vector<uint8_t> w(src, src + rl);
            w.push_back(0x1A);
            wrote = pwrite(fd, w.data(), w.size(), off_t(hl + uint64_t(r - 1) * rl));
        } else {
            wrote = pwrite(fd, src, rl, off_t(hl + uint64_t(r - 1) * rl));
        }
        if (wrote != want) throw Error(fmt::format("cannot write record {} of table {}: {}", r, path, errno_text()));
        if (last) pending = false;
        if (excl) {
            uint32_t ch = (r - 1) / chunk_recs;
            if (ch < chunks.size()) {
                std::vector<uint8_t>& c = chunks[ch];
                size_t at = size_t(r - 1 - ch * chunk_recs) * rl;
                if (at + rl <= c.size()) std::memcpy(c.data() + at, src, rl);
                else c.clear();
            }
        }
    }

    void write_header() {
        uint8_t h[8];
        h[0] = version;
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        h[1] = uint8_t(tm.tm_year);  // years since 1900, as existing files hold it
        h[2] = uint8_t(tm.tm_mon + 1);
        h[3] = uint8_t(tm.tm_mday);
        wr32(h + 4, count);
        if (pwrite(fd, h, 8, 0) != 8) throw Error(fmt::format("cannot write table {}: {}", path, errno_text()));
        header_dirty = false;
    }

    bool visible() {
        if (!show_deleted && buf[0] == '*') return false;
        if (filter && !filter(*self)) return false;
        return true;
    }

    void require_writable() const {
        if (ro) throw Error(fmt::format("table {} is open read-only", path));
    }

    void check_record_writable() const {
        require_writable();
        if (eof) throw Error(fmt::format("table {} is at end of file: there is no record to change", path));
        if (!excl && !file_locked && !locked.count(recno))
            throw LockError(fmt::format("record {} of table {} is not locked", recno, path));
    }

    // Before the first change of a record its image is kept, to find the keys to replace.
    void start_change() {
        check_record_writable();
        if (!dirty) orig = buf;
    }

    void require_exclusive(const char* what) const {
        require_writable();
        if (!excl) throw BusyError(fmt::format("{} of table {} needs the table open exclusively", what, path));
    }

    void check_writable_tags() const {
        for (auto& t : tags)
            if (!t.info.compiled)
                throw ExprError(fmt::format("table {} cannot be changed: the key of tag {} ('{}{}{}') cannot be evaluated: {}",
                                            path, t.info.name, t.info.key,
                                            t.info.for_expr.empty() ? "" : "' FOR '", t.info.for_expr, t.info.compile_error));
    }

    void load(uint32_t r) {
        if (r >= 1 && r <= count) {
            read_rec(r, buf.data());  // orig is taken when a change starts
            recno = r;
            eof = false;
        } else {
            buf = blank;
            recno = count + 1;
            eof = true;
        }
        dirty = false;
        appended = false;
    }

    void set_eof() {
        load(count + 1);
        cur_valid = false;
    }

    // ---- index order navigation
    CdxFile::Tree& tree() { return cdx->tags()[size_t(order)]; }
    bool desc() { return tags[size_t(order)].info.descending; }

    void remember(const CdxFile::Cursor& c) {
        cur = c;
        cur_valid = true;
        cur_gen = cdx->generation();
        CdxFile::Tree& t = tree();
        const uint8_t* k = cdx->key_at(t, c);
        curkey.assign(k, k + t.keylen);
        currec = cdx->recno_at(t, c);
    }

    // Moves one entry in tree order (+1 ascending bytes, -1 descending) from the current
    // entry; the cursor is re-found from its key when the cache changed under it.
    bool tree_step(int dir, CdxFile::Cursor& c) {
        CdxFile::Tree& t = tree();
        if (cur_valid && cur_gen == cdx->generation()) {
            c = cur;
            return dir > 0 ? cdx->next(t, c) : cdx->prev(t, c);
        }
        if (curkey.empty()) return false;
        bool ok = cdx->locate(t, curkey.data(), currec, c);
        if (dir > 0) {
            if (!ok) return false;
            bool exact = std::memcmp(cdx->key_at(t, c), curkey.data(), t.keylen) == 0 && cdx->recno_at(t, c) == currec;
            return exact ? cdx->next(t, c) : true;
        }
        if (!ok) return cdx->last(t, c);
        return cdx->prev(t, c);
    }

    bool tree_edge(bool top, CdxFile::Cursor& c) {
        CdxFile::Tree& t = tree();
        bool asc_first = top != desc();
        return asc_first ? cdx->first(t, c) : cdx->last(t, c);
    }

    // Runs a positioning step (which sets the position from scratch, so it may run twice)
    // inside an index read section. In shared mode, when no process has changed the index
    // since it was read, the step first runs on cached pages alone without the index lock.
    template <class F>
    auto index_read(F&& f) {
        if (!excl && cdx->unchanged()) {
            cdx->set_cache_only(true);
            try {
                auto r = f();
                cdx->set_cache_only(false);
                return r;
            } catch (const CdxFile::CacheMiss&) {
                cdx->set_cache_only(false);
            } catch (...) {
                cdx->set_cache_only(false);
                throw;
            }
        }
        cdx->begin_read();
        struct G { CdxFile* c; ~G() { c->end_read(); } } g{cdx.get()};
        return f();
    }

    // An ordered scan visits records in no physical order: start fetching the next few while
    // the caller works on this one.
    void prefetch_ahead(const CdxFile::Cursor& c, int dir) {
        if (!excl) return;
        for (int k = 1; k <= 4; ++k) {
            uint32_t r = cdx->recno_near(tree(), c, dir * k);
            if (!r) return;
            uint32_t ch = (r - 1) / chunk_recs;
            if (ch >= chunks.size()) return;
            size_t at = size_t(r - 1 - ch * chunk_recs) * rl;
            if (at + rl <= chunks[ch].size()) __builtin_prefetch(chunks[ch].data() + at);
        }
    }

    // From cursor c (valid), walks in logical direction until a visible record.
    bool settle(CdxFile::Cursor c, int logical_dir) {
        int dir = desc() ? -logical_dir : logical_dir;
        for (;;) {
            remember(c);
            uint32_t r = currec;
            if (r >= 1 && r > count) refresh_count();
            if (r >= 1 && r <= count) {
                load(r);
                if (visible()) {
                    prefetch_ahead(c, dir);
                    return true;
                }
            }
            if (!tree_step(dir, c)) return false;
        }
    }

    void flush();
    void go_edge(bool top);
    bool seek_in_tree(const uint8_t* key, size_t len, bool soft);
    void index_record_change();
    void build_all_tags(const std::vector<TagSpec>& specs);
    void compile_tags();
    std::vector<std::vector<CdxFile::Entry>> collect(const std::vector<TagState*>& ts,
                                                     std::vector<std::unique_ptr<uint8_t[]>>& keystore);
    void key_to_bytes(TagState& t, std::string_view key, std::vector<uint8_t>& out);
};

// ---------------------------------------------------------------- open / create

Table::Table() : impl_(std::make_unique<Impl>()) { impl_->self = this; }

Table::~Table() {
    try {
        close();
    } catch (...) {
    }
}

std::unique_ptr<Table> Table::open(const std::string& path_in, OpenOptions opts) {
    std::string dir = dir_of(path_in), base = base_of(path_in);
    std::string path = find_ci(dir, base);
    if (path.empty() && base.find('.') == std::string::npos) path = find_ci(dir, base + ".dbf");
    if (path.empty()) throw Error(fmt::format("table {} does not exist", path_in));

    std::unique_ptr<Table> t(new Table);
    Impl& m = *t->impl_;
    m.path = path;
    m.excl = opts.exclusive;
    m.ro = opts.read_only;
    m.name = upper(strip_ext(base_of(path)));
    m.fd = ::open(path.c_str(), (m.ro ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (m.fd < 0) throw Error(fmt::format("cannot open table {}: {}", path, errno_text()));
    if (flock(m.fd, (m.excl ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int e = errno;
        ::close(m.fd);
        m.fd = -1;
        if (e == EWOULDBLOCK)
            throw BusyError(m.excl ? fmt::format("table {} is in use by another process", path)
                                   : fmt::format("table {} is held exclusively by another process", path));
        throw Error(fmt::format("cannot open table {}: {}", path, std::strerror(e)));
    }

    struct stat st;
    fstat(m.fd, &st);
    uint64_t size = uint64_t(st.st_size);
    uint8_t h[32];
    if (size < 32 || pread(m.fd, h, 32, 0) != 32) m.damaged("the header is truncated");
    m.version = h[0];
    if (!valid_version(m.version)) m.damaged(fmt::format("unknown version byte 0x{:02X}", m.version));
    m.count = rd32(h + 4);
    m.hl = rd16(h + 8);
    m.rl = rd16(h + 10);
    m.flags = h[28];
    m.cpbyte = h[29];
    m.cp = codepage_from_byte(m.cpbyte);
    if (m.hl < 33 || m.hl > size) m.damaged(fmt::format("header length {} does not fit the file", m.hl));
    if (m.rl < 1) m.damaged("record length 0");
    std::vector<uint8_t> hdr(m.hl);
    if (pread(m.fd, hdr.data(), m.hl, 0) != ssize_t(m.hl)) m.damaged("the header is truncated");
    uint32_t off = 1;
    size_t pos = 32;
    for (;;) {
        if (pos >= m.hl) m.damaged("the field list has no terminator");
        if (hdr[pos] == 0x0D) break;
        if (pos + 32 > m.hl) m.damaged("the field list is truncated");
        const uint8_t* d = hdr.data() + pos;
        Field f;
        f.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 11));
        f.name = upper(f.name);
        f.type = char(std::toupper(d[11]));
        f.offset = off;
        f.len = d[16];
        f.dec = d[17];
        f.flags = d[18];
        if (f.type == 'C') f.len = uint16_t(d[16] | (d[17] << 8)), f.dec = 0;  // wide text fields keep their length in two bytes
        if (f.name.empty() || !valid_type(f.type))
            m.damaged(fmt::format("field {} has an invalid name or type", m.fields.size() + 1));
        if (f.len == 0) m.damaged(fmt::format("field {} has length 0", f.name));
        // Binary and date fields have fixed widths; anything else would be read past its bytes.
        int want = 0;
        switch (f.type) {
            case 'D': want = 8; break;
            case 'I': want = 4; break;
            case 'B': case 'Y': case 'T': want = 8; break;
            case 'M': case 'G': case 'P': if (f.len != 4 && f.len != 10) want = 10; break;
            case 'N': case 'F': if (f.len > 32) m.damaged(fmt::format("numeric field {} is {} wide", f.name, f.len)); break;
            default: break;
        }
        if (want && f.len != want)
            m.damaged(fmt::format("field {} of type {} is {} bytes wide instead of {}", f.name, f.type, f.len, want));
        off += f.len;
        if (f.type == 'M' || f.type == 'G' || f.type == 'P') m.has_memo_fields = true;
        m.fields.push_back(std::move(f));
        pos += 32;
        if (m.fields.size() > 255) m.damaged("more than 255 fields");
    }
    if (m.fields.empty()) m.damaged("no fields");
    if (off != m.rl) m.damaged(fmt::format("the fields add up to {} bytes but records are {} bytes", off, m.rl));
    if (uint64_t(m.hl) + uint64_t(m.count) * m.rl > size)
        m.damaged(fmt::format("the header counts {} records but the file holds {}", m.count, (size - m.hl) / m.rl));
    m.blank.assign(m.rl, ' ');
    m.buf = m.blank;
    m.orig = m.blank;
    m.chunk_recs = std::max<uint32_t>(1, 65536 / m.rl);

    std::string stem = strip_ext(base_of(path));
    if (m.has_memo_fields) {
        m.memo_path = find_ci(dir_of(path), stem + ".fpt");
        // Without its memo file the table still opens: the other fields stay usable, and
        // reading or writing a memo says what is missing.
        if (m.memo_path.empty())
            m.memo_error = fmt::format("the memo file {} of table {} is missing{}", stem + ".fpt", path,
                                       find_ci(dir_of(path), stem + ".dbt").empty() ? "" : " (DBT memo files are not supported)");
        else
            m.memo = MemoFile::open(m.memo_path, m.ro);
    }
    m.cdx_path = find_ci(dir_of(path), stem + ".cdx");
    if (!m.cdx_path.empty()) {
        m.cdx = CdxFile::open(m.cdx_path, m.ro, m.excl);
        m.compile_tags();
    }
    m.recno = 1;
    if (m.count == 0) m.set_eof(); else m.load(1);
    t->go_top();
    return t;
}

void Table::Impl::compile_tags() {
    tags.clear();
    for (auto& tr : cdx->tags()) {
        TagState ts;
        ts.info.name = tr.name;
        ts.info.key = to_utf8(tr.key, cp);
        ts.info.for_expr = to_utf8(tr.for_expr, cp);
        ts.info.unique = tr.unique();
        ts.info.descending = tr.descending;
        ts.info.keylen = tr.keylen;
        try {
            ts.key.emplace(KeyExpr::compile(ts.info.key, fields, cp));
            ts.cond.emplace(ForExpr::compile(ts.info.for_expr, fields, cp));
            ts.info.keytype = ts.key->type();
            if (ts.key->length() != tr.keylen)
                throw ExprError(fmt::format("the expression gives {} bytes but the tag holds {}", ts.key->length(), tr.keylen));
            ts.info.compiled = true;
            tr.pad = ts.info.keytype == KeyType::Char ? ' ' : 0;
        } catch (const Error& e) {
            ts.info.compiled = false;
            ts.info.compile_error = e.what();
            ts.key.reset();
            ts.cond.reset();
            tr.pad = ' ';
        }
        tags.push_back(std::move(ts));
    }
}

std::unique_ptr<Table> Table::create(const std::string& path_in, const std::vector<FieldSpec>& specs,
                                     const std::vector<TagSpec>& tagspecs, CreateOptions opts) {
    std::string path = path_in;
    if (base_of(path).find('.') == std::string::npos) path += ".dbf";
    if (specs.empty()) throw ValueError(fmt::format("table {} needs at least one field", path));
    if (specs.size() > 255) throw ValueError(fmt::format("table {} has more than 255 fields", path));
    std::vector<Field> fields;
    uint32_t off = 1;
    bool memo = false;
    for (const auto& s : specs) {
        Field f;
        f.name = upper(s.name);
        if (f.name.empty() || f.name.size() > 10 || !std::isalpha(static_cast<unsigned char>(f.name[0])) ||
            !std::all_of(f.name.begin(), f.name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }))
            throw ValueError(fmt::format("invalid field name '{}' for table {}", s.name, path));
        if (find_field(fields, f.name) >= 0) throw ValueError(fmt::format("field {} appears twice in table {}", f.name, path));
        f.type = char(std::toupper(static_cast<unsigned char>(s.type)));
        int len = s.len, dec = s.dec;
        switch (f.type) {
            case 'C': if (len < 1 || len > 254) throw ValueError(fmt::format("text field {} must be 1 to 254 wide", f.name)); dec = 0; break;
            case 'N': case 'F':
                if (len < 1 || len > 20 || dec < 0 || (dec > 0 && dec > len - 2))
                    throw ValueError(fmt::format("numeric field {} cannot be {} wide with {} decimals", f.name, len, dec));
                break;
            case 'D': len = 8; dec = 0; break;
            case 'L': len = 1; dec = 0; break;
            case 'M': len = 10; dec = 0; memo = true; break;
            default: throw ValueError(fmt::format("field {} has unsupported type {}", f.name, s.type));
        }
        f.len = uint16_t(len);
        f.dec = uint8_t(dec);
        f.offset = off;
        off += f.len;
        fields.push_back(f);
    }
    if (off > 65535) throw ValueError(fmt::format("records of table {} would be longer than 65535 bytes", path));
    uint32_t hl = 32 + 32 * uint32_t(fields.size()) + 2;
    std::vector<uint8_t> h(hl + 1, 0);
    h[0] = memo ? 0xF5 : 0x03;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    h[1] = uint8_t(tm.tm_year);
    h[2] = uint8_t(tm.tm_mon + 1);
    h[3] = uint8_t(tm.tm_mday);
    wr16(h.data() + 8, hl);
    wr16(h.data() + 10, off);
    h[28] = 0;
    h[29] = opts.codepage_byte;
    for (size_t i = 0; i < fields.size(); ++i) {
        uint8_t* d = h.data() + 32 + 32 * i;
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = uint8_t(fields[i].type);
        wr32(d + 12, fields[i].offset);
        d[16] = uint8_t(fields[i].len);
        d[17] = fields[i].dec;
    }
    h[32 + 32 * fields.size()] = 0x0D;
    h[hl] = 0x1A;
    // Compile the tags first so that a bad expression leaves nothing behind.
    for (const auto& ts : tagspecs) {
        KeyExpr::compile(ts.key, fields, codepage_from_byte(opts.codepage_byte));
        ForExpr::compile(ts.for_expr, fields, codepage_from_byte(opts.codepage_byte));
    }
    std::string dir = dir_of(path), stem = strip_ext(base_of(path));
    bool lower = ext_is_lower(base_of(path));
    std::string memo_path = join(dir, stem + (lower ? ".fpt" : ".FPT"));
    std::string cdx_path = join(dir, stem + (lower ? ".cdx" : ".CDX"));
    if (!find_ci(dir, base_of(path)).empty()) throw Error(fmt::format("table {} already exists", path));
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(fmt::format("cannot create table {}: {}", path, errno_text()));
    bool ok = write(fd, h.data(), h.size()) == ssize_t(h.size());
    ::close(fd);
    if (!ok) {
        ::unlink(path.c_str());
        throw Error(fmt::format("cannot write table {}: {}", path, errno_text()));
    }
    // Stale companion files of an earlier table with this name would be picked up: replace them.
    for (const char* ext : {".cdx", ".fpt"}) {
        std::string old = find_ci(dir, stem + ext);
        if (!old.empty()) ::unlink(old.c_str());
    }
    if (memo) MemoFile::create(memo_path, 64);
    auto t = open(path, OpenOptions{true, false});
    for (const auto& ts : tagspecs) t->create_tag(ts);
    return t;
}

void Table::close() {
    Impl& m = *impl_;
    if (m.fd < 0) return;
    std::exception_ptr err;
    try {
        if (!m.ro) {
            m.flush();
            if (m.header_dirty) m.write_header();
            // Shared opens write index pages inside their locked sections; only an exclusive
            // open keeps pages back until now.
            if (m.cdx && m.excl) m.cdx->flush();
        }
    } catch (...) {
        err = std::current_exception();
    }
    m.cdx.reset();
    m.memo.reset();
    ::close(m.fd);  // drops the share mode and every byte-range lock of this handle
    m.fd = -1;
    m.locked.clear();
    m.file_locked = false;
    if (err) std::rethrow_exception(err);
}

// ---------------------------------------------------------------- facts

const std::string& Table::path() const { return impl_->path; }
const std::string& Table::name() const { return impl_->name; }
const std::string& Table::cdx_path() const { return impl_->cdx_path; }
const std::string& Table::memo_path() const { return impl_->memo_path; }
uint8_t Table::version_byte() const { return impl_->version; }
uint8_t Table::flags_byte() const { return impl_->flags; }
uint8_t Table::codepage_byte() const { return impl_->cpbyte; }
CodePage Table::codepage() const { return impl_->cp; }
uint32_t Table::header_length() const { return impl_->hl; }
uint32_t Table::record_length() const { return impl_->rl; }
uint32_t Table::reccount() {
    impl_->refresh_count();
    return impl_->count;
}
bool Table::exclusive() const { return impl_->excl; }
bool Table::read_only() const { return impl_->ro; }
const std::vector<Field>& Table::fields() const { return impl_->fields; }
int Table::field_index(std::string_view n) const { return find_field(impl_->fields, n); }
const Field& Table::field(std::string_view n) const {
    int i = field_index(n);
    if (i < 0) throw ValueError(fmt::format("table {} has no field {}", impl_->path, n));
    return impl_->fields[size_t(i)];
}

size_t Table::tag_count() const { return impl_->tags.size(); }
const TagInfo& Table::tag(size_t i) const { return impl_->tags.at(i).info; }
int Table::find_tag(std::string_view n) const {
    for (size_t i = 0; i < impl_->tags.size(); ++i)
        if (iequals(impl_->tags[i].info.name, n)) return int(i);
    return -1;
}
void Table::set_order(int t) {
    Impl& m = *impl_;
    if (t < -1 || t >= int(m.tags.size())) throw Error(fmt::format("table {} has no tag number {}", m.path, t + 1));
    m.flush();
    m.order = t;
    m.cur_valid = false;
    m.curkey.clear();
}
void Table::set_order(std::string_view n) {
    int t = find_tag(n);
    if (t < 0) throw Error(fmt::format("table {} has no tag {}", impl_->path, n));
    set_order(t);
}
int Table::order() const { return impl_->order; }
void Table::set_show_deleted(bool s) { impl_->show_deleted = s; }
bool Table::show_deleted() const { return impl_->show_deleted; }
void Table::set_filter(std::function<bool(Table&)> f) { impl_->filter = std::move(f); }

// ---------------------------------------------------------------- navigation

// Top or bottom in the current order: the first (or last) visible record, else end of file
// with bof set.
void Table::Impl::go_edge(bool top) {
    flush();
    bof = false;
    if (order < 0) {
        refresh_count();
        for (uint32_t i = 1; i <= count; ++i) {
            load(top ? i : count + 1 - i);
            if (visible()) return;
        }
    } else if (index_read([&] {
                   CdxFile::Cursor c;
                   return tree_edge(top, c) && settle(c, top ? +1 : -1);
               })) {
        return;
    }
    set_eof();
    bof = true;
}

void Table::go_top() { impl_->go_edge(true); }
void Table::go_bottom() { impl_->go_edge(false); }

void Table::skip(long n) {
    Impl& m = *impl_;
    m.flush();
    if (n == 0) {
        if (!m.eof) m.load(m.recno);
        return;
    }
    int dir = n > 0 ? 1 : -1;
    long steps = n > 0 ? n : -n;
    m.bof = false;
    if (m.order < 0) {
        for (long s = 0; s < steps; ++s) {
            if (dir > 0) {
                if (m.eof) return;
                uint32_t r = m.recno + 1;
                for (;;) {
                    if (r > m.count) m.refresh_count();
                    if (r > m.count) {
                        m.set_eof();
                        return;
                    }
                    m.load(r);
                    if (m.visible()) break;
                    ++r;
                }
            } else {
                if (m.eof) m.refresh_count();
                uint32_t start = m.eof ? m.count : m.recno - 1;
                bool found = false;
                for (uint32_t r = start; r >= 1; --r) {
                    m.load(r);
                    if (m.visible()) { found = true; break; }
                }
                if (!found) {
                    // Before the first record: stay on the first visible one with bof set.
                    go_top();
                    m.bof = true;
                    return;
                }
            }
        }
        return;
    }
    if (!m.excl && steps == 1 && !m.eof && m.cur_valid && m.cur_gen == m.cdx->generation() && m.cdx->unchanged()) {
        // Nobody has changed the index since its pages were read: the next entry of the
        // cached page is current without taking the index lock.
        int tdir = m.desc() ? -dir : dir;
        uint32_t r = m.cdx->recno_near(m.tree(), m.cur, tdir);
        if (r && r <= m.count) {
            m.load(r);
            if (m.visible()) {
                CdxFile::Cursor c = m.cur;
                c.idx += tdir;
                m.remember(c);
                return;
            }
        }
    }
    m.cdx->begin_read();
    struct G { CdxFile* c; ~G() { c->end_read(); } } g{m.cdx.get()};
    for (long s = 0; s < steps; ++s) {
        CdxFile::Cursor c;
        int tdir = m.desc() ? -dir : dir;
        bool ok;
        if (m.eof) {
            if (dir > 0) return;
            ok = m.tree_edge(false, c);
        } else {
            ok = m.tree_step(tdir, c);
        }
        if (ok && m.settle(c, dir)) continue;
        if (dir > 0) {
            m.set_eof();
            return;
        }
        go_top();
        m.bof = true;
        return;
    }
}

void Table::go_to(uint32_t r) {
    Impl& m = *impl_;
    m.flush();
    m.bof = false;
    if (r > m.count) m.refresh_count();
    m.load(r);
    m.cur_valid = false;
    if (m.eof) {
        m.curkey.clear();
        return;
    }
    if (m.order >= 0) {
        // Remember the record's key so that skip() continues from it in tag order.
        TagState& ts = m.tags[size_t(m.order)];
        if (ts.key) {
            m.curkey.resize(size_t(ts.info.keylen));
            ts.key->eval(m.buf.data(), m.curkey.data());
            m.currec = r;
        } else {
            m.curkey.clear();
        }
    }
}

bool Table::eof() const { return impl_->eof; }
bool Table::bof() const { return impl_->bof; }
uint32_t Table::recno() const { return impl_->recno; }
bool Table::deleted() const { return !impl_->eof && impl_->buf[0] == '*'; }

void Table::Impl::key_to_bytes(TagState& t, std::string_view key, std::vector<uint8_t>& out) {
    out.clear();
    KeyType kt = t.info.compiled ? t.info.keytype : KeyType::Char;
    if (kt == KeyType::Char) {
        std::string b = from_utf8(key, cp);
        out.assign(b.begin(), b.end());
        return;
    }
    out.resize(8);
    if (kt == KeyType::Numeric) {
        std::string s(key);
        char* end = nullptr;
        double v = std::strtod(s.c_str(), &end);
        if (end == s.c_str() && !s.empty()) throw ValueError(fmt::format("'{}' is not a number", key));
        encode_numeric_key(v, out.data());
    } else {
        int32_t jd;
        if (!julian_from_dtos(key, jd)) throw ValueError(fmt::format("'{}' is not a date (YYYYMMDD)", key));
        encode_numeric_key(double(jd), out.data());
    }
}

bool Table::seek(std::string_view key, bool soft) {
    Impl& m = *impl_;
    if (m.order < 0) throw Error(fmt::format("seek in table {} needs a tag order", m.path));
    std::vector<uint8_t> k;
    m.key_to_bytes(m.tags[size_t(m.order)], key, k);
    static const uint8_t none = 0;  // an empty key matches every entry
    return seek_raw(k.empty() ? &none : k.data(), k.size(), soft);
}

bool Table::seek_number(double v, bool soft) {
    uint8_t k[8];
    encode_numeric_key(v, k);
    return seek_raw(k, 8, soft);
}

bool Table::seek_date(int32_t jd, bool soft) {
    uint8_t k[8];
    encode_numeric_key(double(jd), k);
    return seek_raw(k, 8, soft);
}

bool Table::seek_raw(const uint8_t* key, size_t len, bool soft) {
    Impl& m = *impl_;
    if (m.order < 0) throw Error(fmt::format("seek in table {} needs a tag order", m.path));
    m.flush();
    m.bof = false;
    return m.index_read([&] { return m.seek_in_tree(key, len, soft); });
}

bool Table::Impl::seek_in_tree(const uint8_t* key, size_t len, bool soft) {
    Impl& m = *this;
    CdxFile::Tree& t = m.tree();
    len = std::min<size_t>(len, t.keylen);
    auto matches = [&](const CdxFile::Cursor& c) { return std::memcmp(m.cdx->key_at(t, c), key, len) == 0; };
    CdxFile::Cursor c;
    if (!m.desc()) {
        bool ok = m.cdx->lower_bound(t, key, len, c);
        if (ok && m.settle(c, +1)) {
            CdxFile::Cursor at = m.cur;
            if (matches(at)) return true;
            if (soft) return false;
        }
        m.set_eof();
        return false;
    }
    // Descending order: the first match in that order is the last entry with the prefix.
    bool ok = m.cdx->lower_bound(t, key, len, c);
    if (ok) {
        while (matches(c)) {
            CdxFile::Cursor nx = c;
            if (!m.cdx->next(t, nx)) { c = CdxFile::Cursor{}; break; }
            c = nx;
        }
    }
    CdxFile::Cursor p = c;
    bool have = c.valid() ? m.cdx->prev(t, p) : m.cdx->last(t, p);
    if (have && m.settle(p, +1)) {
        if (matches(m.cur)) return true;
        if (soft) return false;
    }
    m.set_eof();
    return false;
}

// ---------------------------------------------------------------- values

static bool is_memo(const Field& f) { return f.type == 'M' || f.type == 'G' || f.type == 'P'; }

static uint32_t memo_block(const Field& f, const uint8_t* p) {
    if (f.len == 4) return rd32(p);
    uint32_t v = 0;
    for (int i = 0; i < f.len; ++i) {
        if (p[i] >= '0' && p[i] <= '9') v = v * 10 + uint32_t(p[i] - '0');
    }
    return v;
}

std::string Table::get_raw(int fi) const {
    const Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    return std::string(reinterpret_cast<const char*>(m.buf.data() + f.offset), f.len);
}

const uint8_t* Table::record_buffer() const { return impl_->buf.data(); }

double Table::get_number(int fi) const {
    const Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    const uint8_t* p = m.buf.data() + f.offset;
    switch (f.type) {
        case 'N': case 'F': {
            char tmp[64];
            size_t n = std::min<size_t>(f.len, 63);
            std::memcpy(tmp, p, n);
            tmp[n] = 0;
            return std::strtod(tmp, nullptr);
        }
        case 'I': return double(int32_t(rd32(p)));
        case 'B': { double d; std::memcpy(&d, p, 8); return d; }
        case 'Y': { int64_t v; std::memcpy(&v, p, 8); return double(v) / 10000.0; }
        default: throw ValueError(fmt::format("field {} of table {} is not numeric", f.name, m.path));
    }
}

int32_t Table::get_date(int fi) const {
    const Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    const uint8_t* p = m.buf.data() + f.offset;
    if (f.type == 'T') return int32_t(rd32(p));
    if (f.type != 'D') throw ValueError(fmt::format("field {} of table {} is not a date", f.name, m.path));
    int32_t jd = 0;
    if (!julian_from_dtos(std::string_view(reinterpret_cast<const char*>(p), 8), jd)) return 0;
    return jd;
}

bool Table::get_logical(int fi) const {
    const Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    char c = char(m.buf[f.offset]);
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

std::string Table::get_text(int fi) const {
    const Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    const uint8_t* p = m.buf.data() + f.offset;
    switch (f.type) {
        case 'C': return to_utf8(std::string_view(reinterpret_cast<const char*>(p), f.len), m.cp);
        case 'M': case 'G': case 'P': {
            uint32_t b = memo_block(f, p);
            if (!b) return {};
            if (!m.memo) throw Error(m.memo_error);
            std::string raw = m.memo->read(b);
            return f.type == 'M' ? to_utf8(raw, m.cp) : raw;
        }
        case 'N': case 'F': {
            std::string s(reinterpret_cast<const char*>(p), f.len);
            size_t a = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
            return a == std::string::npos ? std::string() : s.substr(a, e - a + 1);
        }
        case 'D': {
            std::string s(reinterpret_cast<const char*>(p), 8);
            return s.find_first_not_of(' ') == std::string::npos ? std::string() : s;
        }
        case 'L': return get_logical(fi) ? "T" : "F";
        case 'I': case 'B': case 'Y': return common::format_fixed(get_number(fi), f.type == 'Y' ? 4 : (f.type == 'B' ? f.dec : 0));
        case 'T': {
            int32_t jd = get_date(fi);
            if (!jd) return {};
            int y, mo, d;
            ymd_from_julian(jd, y, mo, d);
            return fmt::format("{:04d}{:02d}{:02d}", y, mo, d);
        }
        default: return get_raw(fi);
    }
}


void Table::put_text(int fi, std::string_view text) {
    Impl& m = *impl_;
    m.start_change();
    const Field& f = m.fields.at(size_t(fi));
    uint8_t* p = m.buf.data() + f.offset;
    if (f.type == 'C') {
        std::string b = from_utf8(text, m.cp);
        size_t n = std::min<size_t>(b.size(), f.len);
        std::memcpy(p, b.data(), n);
        std::memset(p + n, ' ', f.len - n);
    } else if (is_memo(f)) {
        std::string b = f.type == 'M' ? from_utf8(text, m.cp) : std::string(text);
        uint32_t old = memo_block(f, p);
        if (!m.memo) throw Error(m.memo_error);
        uint32_t nb = b.empty() ? 0 : m.memo->write(old, b);
        if (f.len == 4) {
            wr32(p, nb);
        } else if (nb == 0) {
            std::memset(p, ' ', f.len);
        } else {
            std::string s = fmt::format("{:>{}}", nb, int(f.len));
            std::memcpy(p, s.data(), f.len);
        }
    } else {
        put_value_text(fi, text);
        return;
    }
    m.dirty = true;
}

void Table::put_number(int fi, double v) {
    Impl& m = *impl_;
    m.start_change();
    const Field& f = m.fields.at(size_t(fi));
    uint8_t* p = m.buf.data() + f.offset;
    switch (f.type) {
        case 'N': case 'F': {
            char tmp[256];
            if (!std::isfinite(v) || !common::str_into(v, f.len, f.dec, tmp))
                throw ValueError(fmt::format("value {} does not fit field {} (N {},{}) of table {}",
                                             common::format_fixed(v, f.dec), f.name, f.len, f.dec, m.name));
            std::memcpy(p, tmp, f.len);
            break;
        }
        case 'I': {
            double r = common::round_half_away(v, 0);
            if (r < -2147483648.0 || r > 2147483647.0)
                throw ValueError(fmt::format("value {} does not fit field {} (I) of table {}", v, f.name, m.name));
            wr32(p, uint32_t(int32_t(r)));
            break;
        }
        case 'B': std::memcpy(p, &v, 8); break;
        case 'Y': { int64_t x = int64_t(common::round_half_away(v * 10000.0, 0)); std::memcpy(p, &x, 8); break; }
        default: throw ValueError(fmt::format("field {} of table {} is not numeric", f.name, m.path));
    }
    m.dirty = true;
}

void Table::put_date(int fi, int32_t jd) {
    Impl& m = *impl_;
    m.start_change();
    const Field& f = m.fields.at(size_t(fi));
    uint8_t* p = m.buf.data() + f.offset;
    if (f.type != 'D') throw ValueError(fmt::format("field {} of table {} is not a date", f.name, m.path));
    if (jd == 0) {
        std::memset(p, ' ', 8);
    } else {
        int y, mo, d;
        ymd_from_julian(jd, y, mo, d);
        if (y < 1 || y > 9999) throw ValueError(fmt::format("date out of range for field {} of table {}", f.name, m.name));
        std::string s = fmt::format("{:04d}{:02d}{:02d}", y, mo, d);
        std::memcpy(p, s.data(), 8);
    }
    m.dirty = true;
}

void Table::put_logical(int fi, bool v) {
    Impl& m = *impl_;
    m.start_change();
    const Field& f = m.fields.at(size_t(fi));
    if (f.type != 'L') throw ValueError(fmt::format("field {} of table {} is not logical", f.name, m.path));
    m.buf[f.offset] = v ? 'T' : 'F';
    m.dirty = true;
}

void Table::put_value_text(int fi, std::string_view text) {
    Impl& m = *impl_;
    const Field& f = m.fields.at(size_t(fi));
    switch (f.type) {
        case 'C': case 'M': case 'G': case 'P': put_text(fi, text); return;
        case 'N': case 'F': case 'I': case 'B': case 'Y': {
            std::string s(text);
            size_t a = s.find_first_not_of(' ');
            if (a == std::string::npos) { put_number(fi, 0); return; }
            char* end = nullptr;
            double v = std::strtod(s.c_str() + a, &end);
            while (end && *end == ' ') ++end;
            if (!end || *end) throw ValueError(fmt::format("'{}' is not a number for field {} of table {}", text, f.name, m.name));
            put_number(fi, v);
            return;
        }
        case 'D': {
            int32_t jd;
            if (!julian_from_dtos(text, jd)) throw ValueError(fmt::format("'{}' is not a date (YYYYMMDD) for field {} of table {}", text, f.name, m.name));
            put_date(fi, jd);
            return;
        }
        case 'L': {
            bool v = !text.empty() && std::strchr("TtYy", text[0]);
            if (!text.empty() && !v && !std::strchr("FfNn? ", text[0]))
                throw ValueError(fmt::format("'{}' is not a logical value for field {} of table {}", text, f.name, m.name));
            put_logical(fi, v);
            return;
        }
        default: throw ValueError(fmt::format("field {} of table {} cannot be written", f.name, m.name));
    }
}

// ---------------------------------------------------------------- writing

void Table::Impl::index_record_change() {
    if (!cdx || tags.empty()) return;
    bool any = false;
    size_t maxlen = 0;
    for (auto& t : tags) maxlen = std::max(maxlen, size_t(t.info.keylen));
    keybuf_old.resize(maxlen);
    keybuf_new.resize(maxlen);
    cdx->begin_write();
    struct G { CdxFile* c; ~G() { c->end_write(); } } g{cdx.get()};
    for (size_t i = 0; i < tags.size(); ++i) {
        TagState& t = tags[i];
        CdxFile::Tree& tr = cdx->tags()[i];
        bool old_in = !appended && t.cond->eval(orig.data());
        bool new_in = t.cond->eval(buf.data());
        if (old_in) t.key->eval(orig.data(), keybuf_old.data());
        if (new_in) t.key->eval(buf.data(), keybuf_new.data());
        size_t kl = tr.keylen;
        bool same = old_in && new_in && std::memcmp(keybuf_old.data(), keybuf_new.data(), kl) == 0;
        if (same) continue;
        any = true;
        if (old_in) {
            bool removed = cdx->remove(tr, keybuf_old.data(), recno);
            if (removed && t.info.unique) {
                // Another record with the same key takes the place, as a rebuild would choose it.
                std::vector<uint8_t> rb(rl), kb(kl);
                uint32_t best = 0;
                for (uint32_t r = 1; r <= count && !best; ++r) {
                    if (r == recno) continue;
                    read_rec(r, rb.data());
                    if (!t.cond->eval(rb.data())) continue;
                    t.key->eval(rb.data(), kb.data());
                    if (std::memcmp(kb.data(), keybuf_old.data(), kl) == 0) best = r;
                }
                if (best) cdx->insert(tr, keybuf_old.data(), best);
            }
        }
        if (new_in) {
            if (t.info.unique) {
                uint32_t have = cdx->find_key(tr, keybuf_new.data());
                if (have && have < recno) continue;
                if (have) cdx->remove(tr, keybuf_new.data(), have);
            }
            cdx->insert(tr, keybuf_new.data(), recno);
        }
    }
    (void)any;
    cur_valid = false;
}

void Table::Impl::flush() {
    if (!dirty || eof) {
        dirty = false;
        return;
    }
    require_writable();
    if (std::memcmp(buf.data(), orig.data(), rl) != 0 || appended) {
        check_writable_tags();
        // The record goes to the file before its keys, so that another process reaching it
        // through an index always finds its data.
        write_rec(recno, buf.data());
        index_record_change();
        orig = buf;
        if (excl) header_dirty = true;
    }
    dirty = false;
    appended = false;
    // Keep the cursor on this record under its new key.
    if (order >= 0 && tags[size_t(order)].key) {
        curkey.resize(size_t(tags[size_t(order)].info.keylen));
        tags[size_t(order)].key->eval(buf.data(), curkey.data());
        currec = recno;
        cur_valid = false;
    }
}

void Table::flush() { impl_->flush(); }

void Table::append_blank() {
    Impl& m = *impl_;
    m.require_writable();
    m.check_writable_tags();
    m.flush();
    m.header_lock();
    uint32_t r;
    try {
        if (!m.excl) {
            uint8_t b[4];
            if (pread(m.fd, b, 4, 4) != 4) throw Error(fmt::format("cannot read table {}: {}", m.path, errno_text()));
            m.count = rd32(b);
        }
        r = m.count + 1;
        if (m.excl) {
            // Alone on the table: the record is written once, when it is flushed.
            m.count = r;
            m.pending = true;
            m.header_dirty = true;
        } else {
            // Other processes see the new record (and its number is taken) at once.
            std::vector<uint8_t> w(m.blank);
            w.push_back(0x1A);
            if (pwrite(m.fd, w.data(), w.size(), off_t(m.hl + uint64_t(r - 1) * m.rl)) != ssize_t(w.size()))
                throw Error(fmt::format("cannot append to table {}: {}", m.path, errno_text()));
            m.count = r;
            m.write_header();
        }
    } catch (...) {
        m.header_unlock();
        throw;
    }
    if (!m.excl && !m.file_locked) {
        if (!m.byte_lock(m.rec_lock_off(r), 1, F_WRLCK, 2000)) {
            m.header_unlock();
            throw LockError(fmt::format("cannot lock new record {} of table {}", r, m.path));
        }
        m.locked.insert(r);
    }
    m.header_unlock();
    m.buf = m.blank;
    m.orig = m.blank;
    m.recno = r;
    m.eof = false;
    m.bof = false;
    m.appended = true;
    m.dirty = true;
    m.cur_valid = false;
}

void Table::delete_record() {
    Impl& m = *impl_;
    m.start_change();
    m.buf[0] = '*';
    m.dirty = true;
}

void Table::recall() {
    Impl& m = *impl_;
    m.start_change();
    m.buf[0] = ' ';
    m.dirty = true;
}

void Table::commit() {
    Impl& m = *impl_;
    if (m.ro) return;
    m.flush();
    if (m.header_dirty) m.write_header();
    if (m.cdx) m.cdx->sync();
    if (m.memo) m.memo->commit();
    fdatasync(m.fd);
}

// ---------------------------------------------------------------- locks

bool Table::lock_record(uint32_t r, int wait_ms) {
    Impl& m = *impl_;
    if (r == 0) r = m.recno;
    if (m.excl) return true;
    if (m.locked.count(r)) return true;
    // Under our own file lock the record's byte is already ours; locking it again would
    // only let the unlock punch a hole in the file lock.
    if (m.file_locked) {
        if (r == m.recno && !m.eof && !m.dirty) m.read_rec(r, m.buf.data());
        return true;
    }
    if (!m.byte_lock(m.rec_lock_off(r), 1, F_WRLCK, wait_ms)) return false;
    m.locked.insert(r);
    // Another workstation may have changed the record since it was read.
    if (r == m.recno && !m.eof && !m.dirty) {
        m.read_rec(r, m.buf.data());
    }
    return true;
}

void Table::unlock_record(uint32_t r) {
    Impl& m = *impl_;
    if (r == 0) r = m.recno;
    if (r == m.recno) m.flush();
    if (m.excl) return;
    if (m.locked.erase(r) && !m.file_locked) m.byte_unlock(m.rec_lock_off(r), 1);
}

bool Table::lock_file(int wait_ms) {
    Impl& m = *impl_;
    if (m.excl || m.file_locked) return true;
    bool ok = m.has_cdx_locks() ? m.byte_lock(kCdxLockBase - kCdxFileLockSize, kCdxFileLockSize, F_WRLCK, wait_ms)
                                : m.byte_lock(kPlainLockBase, kPlainFileLockSize, F_WRLCK, wait_ms);
    m.file_locked = ok;
    if (ok && !m.eof && !m.dirty) {
        m.read_rec(m.recno, m.buf.data());
    }
    return ok;
}

void Table::unlock_all() {
    Impl& m = *impl_;
    m.flush();
    if (m.excl) return;
    if (m.file_locked) {
        if (m.has_cdx_locks()) m.byte_unlock(kCdxLockBase - kCdxFileLockSize, kCdxFileLockSize);
        else m.byte_unlock(kPlainLockBase, kPlainFileLockSize);
        m.file_locked = false;
    }
    for (uint32_t r : m.locked) m.byte_unlock(m.rec_lock_off(r), 1);
    m.locked.clear();
}

bool Table::is_locked(uint32_t r) const {
    const Impl& m = *impl_;
    return m.excl || m.file_locked || m.locked.count(r);
}

// ---------------------------------------------------------------- whole-table operations

// Evaluates the keys of the given tags for every record in one pass over the file.
// Sorts index entries by key bytes, then record number. Keys of a tag often share long
// prefixes (surnames, cost centres, blank fields), so this is a three-way radix quicksort
// on eight key bytes at a time, held in the item itself so that partitioning does not
// chase key pointers.
struct SortItem {
    uint64_t head;  // key bytes [depth, depth + 8), big-endian
    const uint8_t* key;
    uint32_t recno;
};

static void load_heads(SortItem* a, size_t n, size_t depth, size_t kl) {
    size_t take = std::min<size_t>(8, kl - depth);
    for (size_t i = 0; i < n; ++i) {
        uint64_t h = 0;
        const uint8_t* k = a[i].key + depth;
        for (size_t b = 0; b < 8; ++b) h = (h << 8) | (b < take ? k[b] : 0);
        a[i].head = h;
    }
}

static void sort_items(SortItem* a, size_t n, size_t depth, size_t kl, bool heads_loaded) {
    while (n > 1) {
        if (depth >= kl) {
            std::sort(a, a + n, [](const SortItem& x, const SortItem& y) { return x.recno < y.recno; });
            return;
        }
        if (n < 16) {
            std::sort(a, a + n, [depth, kl](const SortItem& x, const SortItem& y) {
                int c = std::memcmp(x.key + depth, y.key + depth, kl - depth);
                return c < 0 || (c == 0 && x.recno < y.recno);
            });
            return;
        }
        if (!heads_loaded) load_heads(a, n, depth, kl);
        uint64_t p0 = a[0].head, p1 = a[n / 2].head, p2 = a[n - 1].head;
        uint64_t pivot = std::max(std::min(p0, p1), std::min(std::max(p0, p1), p2));
        size_t lt = 0, i = 0, gt = n;
        while (i < gt) {
            uint64_t h = a[i].head;
            if (h < pivot) std::swap(a[lt++], a[i++]);
            else if (h > pivot) std::swap(a[i], a[--gt]);
            else ++i;
        }
        sort_items(a, lt, depth, kl, true);
        sort_items(a + gt, n - gt, depth, kl, true);
        a += lt;
        n = gt - lt;
        depth += 8;
        heads_loaded = false;
    }
}

static void sort_entries(std::vector<CdxFile::Entry>& v, size_t kl) {
    // Entries arrive in record order: a tag already in key order needs no work.
    bool sorted = true;
    for (size_t j = 1; j < v.size() && sorted; ++j) {
        int c = std::memcmp(v[j - 1].key, v[j].key, kl);
        sorted = c < 0 || (c == 0 && v[j - 1].recno < v[j].recno);
    }
    if (sorted) return;
    std::vector<SortItem> items(v.size());
    for (size_t j = 0; j < v.size(); ++j) items[j] = {0, v[j].key, v[j].recno};
    sort_items(items.data(), items.size(), 0, kl, false);
    for (size_t j = 0; j < v.size(); ++j) v[j] = {items[j].key, items[j].recno};
}

std::vector<std::vector<CdxFile::Entry>> Table::Impl::collect(const std::vector<TagState*>& ts,
                                                              std::vector<std::unique_ptr<uint8_t[]>>& keystore) {
    std::vector<std::vector<CdxFile::Entry>> out(ts.size());
    keystore.clear();
    for (size_t i = 0; i < ts.size(); ++i) {
        keystore.emplace_back(new uint8_t[size_t(count) * ts[i]->info.keylen + 1]);
        out[i].reserve(count);
    }
    const uint32_t batch = std::max<uint32_t>(1, (1u << 20) / rl);
    std::vector<uint8_t> data(size_t(batch) * rl);
    for (uint32_t first = 1; first <= count; first += batch) {
        uint32_t n = std::min(batch, count - first + 1);
        ssize_t got = pread(fd, data.data(), size_t(n) * rl, off_t(hl + uint64_t(first - 1) * rl));
        if (got != ssize_t(size_t(n) * rl)) damaged(fmt::format("record {} is past the end of the file", first));
        for (size_t i = 0; i < ts.size(); ++i) {
            const KeyExpr& key = *ts[i]->key;
            const ForExpr& cond = *ts[i]->cond;
            bool all = cond.always_true();
            size_t kl = size_t(ts[i]->info.keylen);
            auto& v = out[i];
            for (uint32_t j = 0; j < n; ++j) {
                const uint8_t* rec = data.data() + size_t(j) * rl;
                if (!all && !cond.eval(rec)) continue;
                uint8_t* k = keystore[i].get() + v.size() * kl;
                key.eval(rec, k);
                v.push_back({k, first + j});
            }
        }
    }
    // Tags sort independently: two workers share them (the machines have two cores or more).
    {
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next++) < ts.size();) sort_entries(out[i], size_t(ts[i]->info.keylen));
        };
        std::thread helper;
        if (ts.size() > 1 && count > 20000) helper = std::thread(work);
        work();
        if (helper.joinable()) helper.join();
    }
    for (size_t i = 0; i < ts.size(); ++i) {
        size_t kl = ts[i]->info.keylen;

        if (ts[i]->info.unique) {
            auto& v = out[i];
            size_t w = 0;
            for (size_t j = 0; j < v.size(); ++j)
                if (w == 0 || std::memcmp(v[w - 1].key, v[j].key, kl) != 0) v[w++] = v[j];
            v.resize(w);
        }
    }
    return out;
}

void Table::Impl::build_all_tags(const std::vector<TagSpec>& specs) {
    // Compile everything first: nothing is emptied when an expression is bad.
    std::vector<TagState> fresh;
    for (const auto& s : specs) {
        TagState ts;
        ts.info.name = upper(s.name);
        ts.info.key = s.key;
        ts.info.for_expr = s.for_expr;
        ts.info.unique = s.unique;
        ts.info.descending = s.descending;
        ts.key.emplace(KeyExpr::compile(s.key, fields, cp));
        ts.cond.emplace(ForExpr::compile(s.for_expr, fields, cp));
        ts.info.keytype = ts.key->type();
        ts.info.keylen = ts.key->length();
        ts.info.compiled = true;
        fresh.push_back(std::move(ts));
    }
    std::vector<TagState*> ptrs;
    for (auto& t : fresh) ptrs.push_back(&t);
    std::vector<std::unique_ptr<uint8_t[]>> store;
    auto entries = collect(ptrs, store);
    cdx->begin_write();
    struct G { CdxFile* c; ~G() { c->end_write(); } } g{cdx.get()};
    cdx->clear();
    for (size_t i = 0; i < fresh.size(); ++i) {
        const auto& t = fresh[i].info;
        cdx->add_tag(t.name, from_utf8(t.key, cp), from_utf8(t.for_expr, cp), t.unique, t.descending,
                     uint16_t(t.keylen), t.keytype == KeyType::Char ? ' ' : 0, entries[i]);
    }
    cdx->flush();
    tags = std::move(fresh);
    cur_valid = false;
}

static std::vector<TagSpec> specs_of(const std::vector<TagState>& tags) {
    std::vector<TagSpec> v;
    for (auto& t : tags) v.push_back({t.info.name, t.info.key, t.info.for_expr, t.info.unique, t.info.descending});
    return v;
}

void Table::create_tag(const TagSpec& def) {
    Impl& m = *impl_;
    m.require_exclusive("creating a tag");
    m.flush();
    std::string nm = upper(def.name);
    if (nm.empty() || nm.size() > 10 ||
        !std::all_of(nm.begin(), nm.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }))
        throw ValueError(fmt::format("invalid tag name '{}' for table {}", def.name, m.path));
    if (find_tag(nm) >= 0) throw Error(fmt::format("table {} already has a tag {}", m.path, nm));
    KeyExpr key = KeyExpr::compile(def.key, m.fields, m.cp);
    ForExpr cond = ForExpr::compile(def.for_expr, m.fields, m.cp);
    if (key.length() > 240) throw ExprError(fmt::format("the key of tag {} is {} bytes; at most 240 are allowed", nm, key.length()));
    m.check_writable_tags();
    if (!m.cdx) {
        std::string stem = strip_ext(base_of(m.path));
        m.cdx_path = join(dir_of(m.path), stem + (ext_is_lower(base_of(m.path)) ? ".cdx" : ".CDX"));
        m.cdx = CdxFile::create(m.cdx_path, true);
        m.flags |= 0x01;
        uint8_t f = m.flags;
        if (pwrite(m.fd, &f, 1, 28) != 1) throw Error(fmt::format("cannot write table {}: {}", m.path, errno_text()));
    }
    TagState ts;
    ts.info.name = nm;
    ts.info.key = def.key;
    ts.info.for_expr = def.for_expr;
    ts.info.unique = def.unique;
    ts.info.descending = def.descending;
    ts.info.keytype = key.type();
    ts.info.keylen = key.length();
    ts.info.compiled = true;
    ts.key.emplace(std::move(key));
    ts.cond.emplace(std::move(cond));
    std::vector<TagState*> one{&ts};
    std::vector<std::unique_ptr<uint8_t[]>> store;
    auto entries = m.collect(one, store);
    m.cdx->begin_write();
    {
        struct G { CdxFile* c; ~G() { c->end_write(); } } g{m.cdx.get()};
        m.cdx->add_tag(nm, from_utf8(def.key, m.cp), from_utf8(def.for_expr, m.cp), def.unique, def.descending,
                       uint16_t(ts.info.keylen), ts.info.keytype == KeyType::Char ? ' ' : 0, entries[0]);
        m.cdx->flush();
    }
    m.tags.push_back(std::move(ts));
}

void Table::reindex() {
    Impl& m = *impl_;
    m.require_exclusive("reindexing");
    m.flush();
    if (!m.cdx) return;
    m.check_writable_tags();
    m.build_all_tags(specs_of(m.tags));
    if (m.order >= 0 && m.order >= int(m.tags.size())) m.order = -1;
    go_top();
}

void Table::pack() {
    Impl& m = *impl_;
    m.require_exclusive("packing");
    m.check_writable_tags();
    m.flush();
    if (m.header_dirty) m.write_header();
    // The packed table is written to a temporary file first and synced, so that a failure
    // while it is copied back leaves a complete copy of the data.
    std::string tmp = m.path + fmt::format(".{}.pak", ::getpid());
    int tfd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (tfd < 0) throw Error(fmt::format("cannot create {} to pack table {}: {}", tmp, m.path, errno_text()));
    struct Cleanup { int fd; std::string p; bool keep = false; ~Cleanup() { ::close(fd); if (!keep) ::unlink(p.c_str()); } } cl{tfd, tmp};
    std::vector<uint8_t> hdr(m.hl);
    if (pread(m.fd, hdr.data(), m.hl, 0) != ssize_t(m.hl)) m.damaged("the header cannot be read");
    const uint32_t batch = std::max<uint32_t>(1, (1u << 20) / m.rl);
    std::vector<uint8_t> in(size_t(batch) * m.rl), out;
    out.reserve(in.size());
    uint32_t kept = 0;
    uint64_t wpos = m.hl;
    for (uint32_t first = 1; first <= m.count; first += batch) {
        uint32_t n = std::min(batch, m.count - first + 1);
        if (pread(m.fd, in.data(), size_t(n) * m.rl, off_t(m.hl + uint64_t(first - 1) * m.rl)) != ssize_t(size_t(n) * m.rl))
            m.damaged(fmt::format("record {} is past the end of the file", first));
        out.clear();
        for (uint32_t j = 0; j < n; ++j) {
            const uint8_t* r = in.data() + size_t(j) * m.rl;
            if (r[0] == '*') continue;
            out.insert(out.end(), r, r + m.rl);
            ++kept;
        }
        if (!out.empty() && pwrite(tfd, out.data(), out.size(), off_t(wpos)) != ssize_t(out.size()))
            throw Error(fmt::format("cannot write {}: {}", tmp, errno_text()));
        wpos += out.size();
    }
    uint8_t eofm = 0x1A;
    wr32(hdr.data() + 4, kept);
    if (pwrite(tfd, &eofm, 1, off_t(wpos)) != 1 || pwrite(tfd, hdr.data(), m.hl, 0) != ssize_t(m.hl) || fsync(tfd) != 0)
        throw Error(fmt::format("cannot write {}: {}", tmp, errno_text()));
    cl.keep = true;  // from here on the temporary file is the safe copy
    uint64_t total = wpos + 1;
    std::vector<uint8_t> chunk(1u << 20);
    for (uint64_t p = 0; p < total; p += chunk.size()) {
        size_t n = size_t(std::min<uint64_t>(chunk.size(), total - p));
        if (pread(tfd, chunk.data(), n, off_t(p)) != ssize_t(n) || pwrite(m.fd, chunk.data(), n, off_t(p)) != ssize_t(n))
            throw Error(fmt::format("packing table {} failed while copying back ({}); the packed copy is in {}", m.path, errno_text(), tmp));
    }
    if (ftruncate(m.fd, off_t(total)) != 0 || fdatasync(m.fd) != 0)
        throw Error(fmt::format("packing table {} failed ({}); the packed copy is in {}", m.path, errno_text(), tmp));
    cl.keep = false;
    m.count = kept;
    m.chunks.clear();
    m.set_eof();
    if (m.cdx) m.build_all_tags(specs_of(m.tags));
    go_top();
}

void Table::zap() {
    Impl& m = *impl_;
    m.require_exclusive("emptying");
    m.check_writable_tags();
    m.flush();
    uint8_t eofm = 0x1A;
    m.count = 0;
    m.write_header();
    if (pwrite(m.fd, &eofm, 1, m.hl) != 1 || ftruncate(m.fd, off_t(m.hl) + 1) != 0)
        throw Error(fmt::format("cannot empty table {}: {}", m.path, errno_text()));
    m.chunks.clear();
    if (m.memo) m.memo->zap();
    m.set_eof();
    if (m.cdx) m.build_all_tags(specs_of(m.tags));
    go_top();
}

std::vector<std::string> Table::check_indexes() {
    Impl& m = *impl_;
    m.flush();
    std::vector<std::string> problems;
    if (!m.cdx) return problems;
    m.refresh_count();
    m.cdx->begin_read();
    struct G { CdxFile* c; ~G() { c->end_read(); } } g{m.cdx.get()};
    std::vector<TagState*> ok;
    std::vector<size_t> idx;
    for (size_t i = 0; i < m.tags.size(); ++i) {
        TagState& t = m.tags[i];
        CdxFile::Tree& tr = m.cdx->tags()[i];
        if (!t.info.compiled) {
            problems.push_back(fmt::format("tag {}: expression '{}' cannot be compiled: {}", t.info.name, t.info.key, t.info.compile_error));
            continue;
        }
        if (bool(tr.options & 0x08) != !t.info.for_expr.empty())
            problems.push_back(fmt::format("tag {}: FOR flag does not match its FOR expression", t.info.name));
        ok.push_back(&t);
        idx.push_back(i);
    }
    std::vector<std::unique_ptr<uint8_t[]>> store;
    auto expected = m.collect(ok, store);
    for (size_t j = 0; j < ok.size(); ++j) {
        CdxFile::Tree& tr = m.cdx->tags()[idx[j]];
        std::vector<std::pair<std::string, uint32_t>> actual;
        auto p = m.cdx->check_tree(tr, actual);
        problems.insert(problems.end(), p.begin(), p.end());
        auto& exp = expected[j];
        size_t kl = tr.keylen;
        if (actual.size() != exp.size())
            problems.push_back(fmt::format("tag {}: {} keys in the index, {} expected from the records", tr.name, actual.size(), exp.size()));
        size_t n = std::min(actual.size(), exp.size());
        for (size_t k = 0; k < n; ++k) {
            if (actual[k].second != exp[k].recno || std::memcmp(actual[k].first.data(), exp[k].key, kl) != 0) {
                problems.push_back(fmt::format("tag {}: entry {} is record {} but record {} was expected", tr.name, k + 1,
                                               actual[k].second, exp[k].recno));
                break;
            }
        }
    }
    return problems;
}

}  // namespace xbase
