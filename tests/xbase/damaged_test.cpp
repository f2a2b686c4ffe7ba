// Damaged tables, index files and memo files, made from copies of the reference tables:
// opening them, or walking every order forwards and backwards, seeking in every tag,
// reading every field and checking the indexes, must end in a DamagedError that names the
// damaged file and says what is wrong — never a crash, a hang or an endless traversal —
// and must leave every file byte for byte as it was. The command-line data tool reports
// the same damage with exit code 4.
//
// Each probe runs in a child process with a time limit, so that a crash or a hang in the
// engine fails the one case it belongs to instead of the whole program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(PLANILLA_FIXTURES) / "xbase";
constexpr int kProbeSeconds = 30;

using Bytes = std::string;

Bytes slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << b;
}

uint8_t u8(const Bytes& b, size_t o) { return uint8_t(b.at(o)); }
uint16_t le16(const Bytes& b, size_t o) { return uint16_t(u8(b, o) | (u8(b, o + 1) << 8)); }
uint32_t le32(const Bytes& b, size_t o) { return le16(b, o) | (uint32_t(le16(b, o + 2)) << 16); }
uint32_t be32(const Bytes& b, size_t o) {
    return (uint32_t(u8(b, o)) << 24) | (uint32_t(u8(b, o + 1)) << 16) | (uint32_t(u8(b, o + 2)) << 8) | u8(b, o + 3);
}
void put16(Bytes& b, size_t o, uint32_t v) {
    b.at(o) = char(v);
    b.at(o + 1) = char(v >> 8);
}
void put32(Bytes& b, size_t o, uint32_t v) {
    put16(b, o, v & 0xFFFF);
    put16(b, o + 2, v >> 16);
}
void put32be(Bytes& b, size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(o + i) = char(v >> (24 - 8 * i));
}

// ---- reading the structure of an index file, to aim the damage

constexpr uint32_t kPage = 512;
constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Page {
    uint16_t attr, n;
    uint32_t left, right;
    bool leaf() const { return attr & 2; }
};
Page page_at(const Bytes& cdx, uint32_t off) { return {le16(cdx, off), le16(cdx, off + 2), le32(cdx, off + 4), le32(cdx, off + 8)}; }

// Position of entry i's packed record/duplicate/trailing number in a leaf, and its width.
size_t leaf_entry_pos(const Bytes& cdx, uint32_t leaf, int i) { return leaf + 24 + size_t(i) * u8(cdx, leaf + 23); }

// Header offset of a tag, from the directory (a single leaf in every fixture).
uint32_t tag_header(const Bytes& cdx, const std::string& name) {
    uint32_t dir = le32(cdx, 0);
    Page p = page_at(cdx, dir);
    const int kl = 10, nb = u8(cdx, dir + 23), rb = u8(cdx, dir + 20), db = u8(cdx, dir + 21);
    const uint32_t recmask = le32(cdx, dir + 14);
    std::string prev;
    size_t pos = dir + kPage;
    for (int i = 0; i < p.n; ++i) {
        uint64_t v = 0;
        for (int b = nb - 1; b >= 0; --b) v = (v << 8) | u8(cdx, leaf_entry_pos(cdx, dir, i) + size_t(b));
        int dup = int((v >> rb) & u8(cdx, dir + 18)), trail = int((v >> (rb + db)) & u8(cdx, dir + 19));
        int len = kl - dup - trail;
        pos -= size_t(len);
        std::string key = prev.substr(0, size_t(dup)) + cdx.substr(pos, size_t(len)) + std::string(size_t(trail), ' ');
        prev = key;
        if (key.substr(0, name.size()) == name && key.find_first_not_of(' ', name.size()) == std::string::npos)
            return uint32_t(v & recmask);
    }
    throw std::runtime_error("no tag " + name);
}
uint32_t tag_root(const Bytes& cdx, const std::string& tag) { return le32(cdx, tag_header(cdx, tag)); }
int tag_keylen(const Bytes& cdx, const std::string& tag) { return le16(cdx, tag_header(cdx, tag) + 12); }
// Where the child pointer of entry i of an interior page is stored (big-endian).
size_t child_pos(uint32_t page, int keylen, int i) { return page + 12 + size_t(i) * (keylen + 8) + keylen + 4; }

// Leaves of a tag in sibling order.
std::vector<uint32_t> leaves(const Bytes& cdx, const std::string& tag) {
    int kl = tag_keylen(cdx, tag);
    uint32_t off = tag_root(cdx, tag);
    while (!page_at(cdx, off).leaf()) off = be32(cdx, child_pos(off, kl, 0));
    std::vector<uint32_t> out;
    for (; off != kNone && off != 0; off = page_at(cdx, off).right) out.push_back(off);
    return out;
}

// ---- the cases

struct Files {
    Bytes dbf, cdx, fpt;
};

// First record of NOTAS with a memo, and its block (memo pointer: 10 digits at offset 13).
constexpr size_t kNotasMemoField = 13;
size_t notas_memo_record(const Files& f) {
    uint32_t hl = le16(f.dbf, 8), rl = le16(f.dbf, 10);
    for (size_t r = 0;; ++r) {
        std::string digits = f.dbf.substr(hl + r * rl + kNotasMemoField, 10);
        if (digits.find_first_not_of(' ') != std::string::npos && std::stoul(digits) != 0) return hl + r * rl;
    }
}
uint32_t notas_memo_block(const Files& f) { return uint32_t(std::stoul(f.dbf.substr(notas_memo_record(f) + kNotasMemoField, 10))); }
void set_notas_memo_pointer(Files& f, const std::string& ten) { f.dbf.replace(notas_memo_record(f) + kNotasMemoField, 10, ten); }

struct Case {
    const char* name;
    const char* table;  // fixture whose .dbf, .cdx and .fpt are copied
    const char* ext;    // the damaged file, which the error must name
    const char* what;   // part of the message that says what is wrong
    std::function<void(Files&)> damage;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        // ---- table header
        {"DbfShorterThanHeaderStart", "VIA", "dbf", "header", [](Files& f) { f.dbf.resize(20); }},
        {"DbfCutInsideFieldList", "PERSONAL", "dbf", "header length", [](Files& f) { f.dbf.resize(100); }},
        {"HeaderLengthBeyondFile", "VIA", "dbf", "header length", [](Files& f) { put16(f.dbf, 8, 0xFFF0); }},
        {"FieldsDoNotAddUpToRecordLength", "VIA", "dbf", "add up", [](Files& f) { f.dbf[32 + 16] = 3; }},
        {"FieldListWithoutTerminator", "VIA", "dbf", "field list", [](Files& f) { f.dbf[160] = ' '; }},
        {"UnknownVersionByte", "VIA", "dbf", "version", [](Files& f) { f.dbf[0] = char(0x99); }},
        {"RecordCountOneMoreThanFileHolds", "PERSONAL", "dbf", "records", [](Files& f) { put32(f.dbf, 4, 2709); }},
        {"RecordCountHuge", "PERSONAL", "dbf", "records", [](Files& f) { put32(f.dbf, 4, 0xFFFFFFFF); }},
        // A field too narrow for its type, as the last field: VIDESCRI takes VIRUTA's bytes
        // but three, so the record length still adds up.
        {"DateFieldNarrowerThanADate", "VIA", "dbf", "VIRUTA",
         [](Files& f) {
             f.dbf[96 + 16] = char(77);
             f.dbf[128 + 11] = 'D';
             f.dbf[128 + 16] = char(3);
         }},
        {"IntegerFieldNarrowerThanFourBytes", "VIA", "dbf", "VIRUTA",
         [](Files& f) {
             f.dbf[96 + 16] = char(78);
             f.dbf[128 + 11] = 'I';
             f.dbf[128 + 16] = char(2);
         }},

        // ---- index file: size and headers
        {"CdxShorterThanDirectory", "PERSONAL", "cdx", "too short", [](Files& f) { f.cdx.resize(1024); }},
        {"CdxLengthNotWholePages", "PERSONAL", "cdx", "multiple of 512", [](Files& f) { f.cdx.resize(f.cdx.size() - 100); }},
        {"CdxCutBeforeLaterTagHeaders", "PERSONAL", "cdx", "outside the file", [](Files& f) { f.cdx.resize(100 * kPage); }},
        {"CdxCutInsideLastTree", "NOTAS", "cdx", "outside the file",
         [](Files& f) { f.cdx.resize(leaves(f.cdx, "NOT1").back()); }},
        {"DirectoryKeyLengthNotTen", "VIA", "cdx", "key length", [](Files& f) { put16(f.cdx, 12, 11); }},
        {"TagHeaderOutsideFile", "VIA", "cdx", "outside the file",
         [](Files& f) {
             uint32_t dir = le32(f.cdx, 0), recmask = le32(f.cdx, dir + 14);
             size_t e = leaf_entry_pos(f.cdx, dir, 0);
             const int nb = u8(f.cdx, dir + 23);
             uint64_t v = 0;
             for (int b = nb - 1; b >= 0; --b) v = (v << 8) | u8(f.cdx, e + size_t(b));
             v = (v & ~uint64_t(recmask)) | (recmask & ~(kPage - 1));  // the last whole page the entry can name
             for (int b = 0; b < nb; ++b) f.cdx[e + size_t(b)] = char(v >> (8 * b));
         }},
        {"TagKeyLengthHuge", "PERSONAL", "cdx", "key length",
         [](Files& f) { put16(f.cdx, tag_header(f.cdx, "PER2") + 12, 0xFFFF); }},
        {"TagKeyLengthZero", "PERSONAL", "cdx", "key length",
         [](Files& f) { put16(f.cdx, tag_header(f.cdx, "PER2") + 12, 0); }},
        {"TagExpressionLengthHuge", "MIXTAGS", "cdx", "expression lengths",
         [](Files& f) { put16(f.cdx, tag_header(f.cdx, "MX7") + 510, 0xFFFF); }},
        {"RootOutsideFile", "PERSONAL", "cdx", "root page",
         [](Files& f) { put32(f.cdx, tag_header(f.cdx, "PER3"), 0x7FFFFE00); }},
        {"RootNotPageAligned", "MIXTAGS", "cdx", "root page",
         [](Files& f) { put32(f.cdx, tag_header(f.cdx, "MX2"), tag_root(f.cdx, "MX2") + 100); }},

        // ---- index file: pages
        {"FirstChildOutsideFile", "NOTAS", "cdx", "outside the file",
         [](Files& f) { put32be(f.cdx, child_pos(tag_root(f.cdx, "NOT1"), 4, 0), 0x00FFFE00); }},
        // A middle child is reached only by seeks and the index check, not by go_top/go_bottom.
        {"MiddleChildNotPageAligned", "MIXTAGS", "cdx", "page",
         [](Files& f) {
             size_t at = child_pos(tag_root(f.cdx, "MX1"), 6, 10);
             put32be(f.cdx, at, be32(f.cdx, at) + 7);
         }},
        {"LeafKeyCountImpossible", "NOTAS", "cdx", "claims",
         [](Files& f) { put16(f.cdx, leaves(f.cdx, "NOT1")[0] + 2, 0xFFFF); }},
        {"LeafEntryWidthZero", "NOTAS", "cdx", "entry layout", [](Files& f) { f.cdx[leaves(f.cdx, "NOT1")[0] + 23] = 0; }},
        {"LeafEntryBitsExceedWidth", "NOTAS", "cdx", "entry layout", [](Files& f) { f.cdx[leaves(f.cdx, "NOT1")[0] + 20] = 40; }},
        {"LeafEntryDupAndTrailExceedKey", "NOTAS", "cdx", "entry",
         [](Files& f) {
             uint32_t leaf = leaves(f.cdx, "NOT1")[0];
             for (int b = 0; b < u8(f.cdx, leaf + 23); ++b) f.cdx[leaf_entry_pos(f.cdx, leaf, 0) + size_t(b)] = char(0xFF);
         }},
        {"InteriorChildrenPointBackToIt", "NOTAS", "cdx", "levels",
         [](Files& f) {
             uint32_t root = tag_root(f.cdx, "NOT1");
             for (int i = 0; i < page_at(f.cdx, root).n; ++i) put32be(f.cdx, child_pos(root, 4, i), root);
         }},
        {"RootLeafRightSiblingIsItself", "VIA", "cdx", "loop",
         [](Files& f) { put32(f.cdx, tag_root(f.cdx, "VICODIGO") + 8, tag_root(f.cdx, "VICODIGO")); }},
        {"LeafRightSiblingIsItself", "NOTAS", "cdx", "loop",
         [](Files& f) { uint32_t l = leaves(f.cdx, "NOT1")[0]; put32(f.cdx, l + 8, l); }},
        {"LeafLeftSiblingIsItself", "NOTAS", "cdx", "loop",
         [](Files& f) { uint32_t l = leaves(f.cdx, "NOT1").back(); put32(f.cdx, l + 4, l); }},
        {"LastLeafLinksBackToFirst", "NOTAS", "cdx", "loop",
         [](Files& f) { auto ls = leaves(f.cdx, "NOT1"); put32(f.cdx, ls.back() + 8, ls.front()); }},
        // Pages read through one tree must not be reused by a tree with longer keys.
        {"TagRootIsAnotherTagsRoot", "PERSONAL", "cdx", "page",
         [](Files& f) { put32(f.cdx, tag_header(f.cdx, "PER2"), tag_root(f.cdx, "PER1")); }},
        {"TagRootIsTheDirectoryPage", "PERSONAL", "cdx", "page",
         [](Files& f) { put32(f.cdx, tag_header(f.cdx, "PER2"), le32(f.cdx, 0)); }},

        // ---- memo file
        {"MemoPointerPastEnd", "NOTAS", "fpt", "past the end", [](Files& f) { set_notas_memo_pointer(f, "    999999"); }},
        {"MemoPointerIntoHeader", "NOTAS", "fpt", "header", [](Files& f) { set_notas_memo_pointer(f, "         1"); }},
        {"MemoLengthPastEnd", "NOTAS", "fpt", "past the end",
         [](Files& f) { put32be(f.fpt, size_t(notas_memo_block(f)) * 64 + 4, 0x7FFFFFF0); }},
        {"MemoHeaderTruncated", "NOTAS", "fpt", "truncated", [](Files& f) { f.fpt.resize(100); }},
        {"MemoBlockSizeZero", "NOTAS", "fpt", "block size", [](Files& f) { f.fpt[6] = f.fpt[7] = 0; }},
    };
    return all;
}

const Case& case_named(const std::string& name) {
    for (const Case& c : cases())
        if (name == c.name) return c;
    throw std::runtime_error("no case " + name);
}

// ---- running something in a child process with a time limit

struct Event {
    char kind;  // D DamagedError, E other xbase::Error, X other exception, L traversal without end, Z done
    std::string op, message;
};

struct Outcome {
    enum { Finished, Crashed, TimedOut } ending = Finished;
    int status = 0;
    std::vector<Event> events;
    std::string describe() const {
        std::string s = ending == TimedOut ? "timed out" : ending == Crashed ? "crashed (status " + std::to_string(status) + ")" : "finished";
        for (const Event& e : events) s += "\n  " + std::string(1, e.kind) + " " + e.op + ": " + e.message;
        return s;
    }
};

class Reporter {
public:
    explicit Reporter(int fd) : fd_(fd) {}
    void event(char kind, const std::string& op, std::string msg) {
        for (char& c : msg)
            if (c == '\n' || c == '\t') c = ' ';
        std::string line = std::string(1, kind) + "\t" + op + "\t" + msg + "\n";
        if (::write(fd_, line.data(), line.size()) < 0) _exit(90);
    }
    // Runs one operation; an exception ends it and is reported.
    void step(const std::string& op, const std::function<void()>& fn) {
        try {
            fn();
        } catch (const xbase::DamagedError& e) {
            event('D', op, e.what());
        } catch (const xbase::Error& e) {
            event('E', op, e.what());
        } catch (const std::exception& e) {
            event('X', op, e.what());
        }
    }

private:
    int fd_;
};

Outcome run_guarded(const std::function<void(Reporter&)>& body, int seconds = kProbeSeconds) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::close(fds[0]);
        Reporter r(fds[1]);
        r.step("child", [&] { body(r); });
        r.event('Z', "end", "");
        _exit(0);
    }
    ::close(fds[1]);
    Outcome out;
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) {
            out.ending = Outcome::TimedOut;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, left) <= 0) continue;
        char buf[4096];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, size_t(n));
    }
    ::close(fds[0]);
    ::waitpid(pid, &out.status, 0);
    std::istringstream lines(text);
    bool done = false;
    for (std::string line; std::getline(lines, line);) {
        auto a = line.find('\t'), b = line.find('\t', a + 1);
        Event e{line[0], line.substr(a + 1, b - a - 1), line.substr(b + 1)};
        if (e.kind == 'Z') done = true; else out.events.push_back(e);
    }
    if (out.ending != Outcome::TimedOut && (!done || !WIFEXITED(out.status) || WEXITSTATUS(out.status) != 0))
        out.ending = Outcome::Crashed;
    return out;
}

// ---- walking a table

void read_fields(xbase::Table& t) {
    for (size_t i = 0; i < t.fields().size(); ++i) {
        t.get_text(int(i));
        if (std::strchr("NFIBY", t.fields()[i].type)) t.get_number(int(i));
    }
}

// Every order (physical and each tag) forwards and backwards reading every field, seeks of
// the lowest, a middle and the highest keys, then the index check. A traversal longer than
// the table's record count is reported as one without end.
void walk(xbase::Table& t, Reporter& r) {
    t.set_show_deleted(true);
    const uint32_t cap = t.reccount() + 1;
    for (int order = -1; order < int(t.tag_count()); ++order) {
        std::string name = order < 0 ? "physical" : "tag " + t.tag(size_t(order)).name;
        r.step(name + " set_order", [&] { t.set_order(order); });
        if (t.order() != order) continue;
        r.step(name + " forward", [&] {
            uint32_t n = 0;
            for (t.go_top(); !t.eof(); t.skip(1)) {
                read_fields(t);
                if (++n > cap) return r.event('L', name + " forward", "more steps than records");
            }
        });
        r.step(name + " backward", [&] {
            uint32_t n = 0;
            for (t.go_bottom(); !t.eof() && !t.bof(); t.skip(-1)) {
                read_fields(t);
                if (++n > cap) return r.event('L', name + " backward", "more steps than records");
            }
        });
        if (order < 0) continue;
        const size_t kl = size_t(t.tag(size_t(order)).keylen);
        for (char fill : {'\0', 'M', '\xFF'}) {
            std::string key(kl, fill);
            r.step(name + " seek", [&] {
                t.seek_raw(reinterpret_cast<const uint8_t*>(key.data()), key.size(), true);
                if (!t.eof()) read_fields(t);
            });
        }
    }
    r.step("check_indexes", [&] { t.check_indexes(); });
}

// ---- scratch directories

class Scratch {
public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "damaged_test.XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
        dir_ = tmpl;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }

    // Copies a fixture table with its companions, damages the copies (when `damage` is given;
    // it must change something) and returns the .dbf.
    fs::path make(const std::string& t, const std::function<void(Files&)>& damage = {}) {
        Files f;
        f.dbf = slurp(kFixtures / (t + ".dbf"));
        if (fs::exists(kFixtures / (t + ".cdx"))) f.cdx = slurp(kFixtures / (t + ".cdx"));
        if (fs::exists(kFixtures / (t + ".fpt"))) f.fpt = slurp(kFixtures / (t + ".fpt"));
        Files before = f;
        if (damage) {
            damage(f);
            if (f.dbf == before.dbf && f.cdx == before.cdx && f.fpt == before.fpt) throw std::runtime_error("damage changed nothing");
        }
        spit(dir_ / (t + ".dbf"), f.dbf);
        if (!before.cdx.empty()) spit(dir_ / (t + ".cdx"), f.cdx);
        if (!before.fpt.empty()) spit(dir_ / (t + ".fpt"), f.fpt);
        return dir_ / (t + ".dbf");
    }

    using Snapshot = std::vector<std::pair<std::string, Bytes>>;
    Snapshot snapshot() const {
        Snapshot s;
        for (const auto& e : fs::directory_iterator(dir_)) s.emplace_back(e.path().filename().string(), slurp(e.path()));
        std::sort(s.begin(), s.end());
        return s;
    }
    // Empty when the files are as in `before`; otherwise which file changed and where.
    std::string changes_since(const Snapshot& before) const {
        Snapshot now = snapshot();
        std::string out;
        for (size_t i = 0; i < std::max(now.size(), before.size()); ++i) {
            if (i >= now.size() || i >= before.size() || now[i].first != before[i].first) return "the set of files changed";
            const Bytes &a = before[i].second, &b = now[i].second;
            if (a == b) continue;
            size_t at = 0;
            while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
            out += now[i].first + " changed at byte " + std::to_string(at) + " (length " + std::to_string(a.size()) + " -> " +
                   std::to_string(b.size()) + "); ";
        }
        return out;
    }

private:
    fs::path dir_;
};

std::string damaged_file(const fs::path& dbf, const Case& c) {
    return (dbf.parent_path() / (std::string(c.table) + "." + c.ext)).string();
}

// ---- the probes

const std::pair<const char*, xbase::OpenOptions> kModes[] = {
    {"read-only", {false, true}}, {"shared", {false, false}}, {"exclusive", {true, false}}};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Damaged : public ::testing::TestWithParam<Case> {};

// Each mode works on fresh copies, so that a write in one mode cannot hide behind another.
TEST_P(Damaged, EndsInAnErrorNamingTheFileAndChangesNothing) {
    const Case& c = GetParam();
    for (const auto& [mode, opts] : kModes) {
        SCOPED_TRACE(mode);
        Scratch s;
        fs::path dbf = s.make(c.table, c.damage);
        const std::string file = damaged_file(dbf, c);
        const auto before = s.snapshot();
        Outcome o = run_guarded([&, opts = opts](Reporter& r) {
            std::unique_ptr<xbase::Table> t;
            r.step("open", [&] { t = xbase::Table::open(dbf.string(), opts); });
            if (t) walk(*t, r);
        });
        EXPECT_EQ(o.ending, Outcome::Finished) << o.describe();
        const Event* first = nullptr;
        for (const Event& e : o.events) {
            EXPECT_EQ(e.kind, 'D') << e.op << ": " << e.message;
            if (e.kind == 'D' || e.kind == 'E') {
                EXPECT_NE(e.message.find(file), std::string::npos) << e.op << ": " << e.message << "\n  should name " << file;
                if (!first) first = &e;
            }
        }
        if (o.ending == Outcome::Finished) {
            EXPECT_NE(first, nullptr) << "no error at all:" << o.describe();
            if (first) {
                EXPECT_NE(first->message.find(c.what), std::string::npos) << first->message << "\n  should say '" << c.what << "'";
            }
        }
        EXPECT_EQ(s.changes_since(before), "");
        if (o.ending != Outcome::Finished) break;  // a crash or hang is reported once, not for every mode
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Damaged, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// Copies of the untouched fixtures walk through the same probe, in every mode, without any
// error and without a byte changing: the damaged cases fail because of their damage.
TEST(DamagedProbe, IntactCopiesWalkCleanlyAndStayUnchanged) {
    for (const char* table : {"VIA", "NOTAS", "MIXTAGS", "PERSONAL"}) {
        for (const auto& [mode, opts] : kModes) {
            SCOPED_TRACE(std::string(table) + " " + mode);
            Scratch s;
            fs::path dbf = s.make(table);
            const auto before = s.snapshot();
            Outcome o = run_guarded([&, opts = opts](Reporter& r) {
                auto t = xbase::Table::open(dbf.string(), opts);
                walk(*t, r);
            });
            EXPECT_EQ(o.ending, Outcome::Finished) << o.describe();
            EXPECT_TRUE(o.events.empty()) << o.describe();
            EXPECT_EQ(s.changes_since(before), "");
        }
    }
}

// ---- the command-line tool

struct CliCase {
    const char* damage;   // a case of the table above
    const char* command;  // dbf sub-command
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.damage << " " << c.command; }

class DamagedCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(DamagedCli, ExitsWithFourNamingTheFile) {
    const CliCase& cc = GetParam();
    const Case& c = case_named(cc.damage);
    Scratch s;
    fs::path dbf = s.make(c.table, c.damage);
    fs::path err = s.dir().parent_path() / (s.dir().filename().string() + ".stderr");
    const auto before = s.snapshot();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(null, 1);
        ::dup2(e, 2);
        ::alarm(kProbeSeconds);  // a hang ends the tool by SIGALRM
        ::execl(PLANILLA_CLI, PLANILLA_CLI, "dbf", cc.command, dbf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::string msg = slurp(err);
    fs::remove(err);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << msg;
    EXPECT_EQ(WEXITSTATUS(status), 4) << msg;
    EXPECT_NE(msg.find(damaged_file(dbf, c)), std::string::npos) << msg;
    EXPECT_EQ(s.changes_since(before), "");
}

INSTANTIATE_TEST_SUITE_P(Commands, DamagedCli,
                         ::testing::Values(CliCase{"HeaderLengthBeyondFile", "info"}, CliCase{"HeaderLengthBeyondFile", "dump"},
                                           CliCase{"HeaderLengthBeyondFile", "check"}, CliCase{"RootOutsideFile", "info"},
                                           CliCase{"RootOutsideFile", "dump"}, CliCase{"RootOutsideFile", "check"},
                                           CliCase{"MemoHeaderTruncated", "info"}, CliCase{"MemoPointerPastEnd", "dump"},
                                           CliCase{"MiddleChildNotPageAligned", "check"}),
                         [](const ::testing::TestParamInfo<CliCase>& i) {
                             return std::string(i.param.damage) + "_" + i.param.command;
                         });

}  // namespace
