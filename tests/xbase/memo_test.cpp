#include "xbase/memo.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "xbase/error.hpp"

namespace fs = std::filesystem;
using xbase::MemoFile;

namespace {

const fs::path kFixtures = fs::path(PLANILLA_FIXTURES) / "xbase";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

uint32_t be32(const std::string& b, size_t off) {
    return (uint32_t(uint8_t(b[off])) << 24) | (uint32_t(uint8_t(b[off + 1])) << 16) |
           (uint32_t(uint8_t(b[off + 2])) << 8) | uint32_t(uint8_t(b[off + 3]));
}

void put_be32(std::string& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = char(v >> (24 - 8 * i));
}

// Windows-1252 to UTF-8; the five undefined bytes become the C1 controls of the same value.
std::string cp1252_to_utf8(std::string_view bytes) {
    static const char16_t k80[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (unsigned char c : bytes) {
        char32_t u = (c >= 0x80 && c < 0xA0) ? k80[c - 0x80] : c;
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

struct TempDir {
    fs::path dir;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "memo_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        dir = t;
    }
    ~TempDir() { fs::remove_all(dir); }
    fs::path operator/(const std::string& name) const { return dir / name; }
};

// Memo pointers of NOTAS.dbf in record order: field NOTEXTO, 10 ASCII digits, blank = 0.
std::vector<uint32_t> notas_pointers() {
    const std::string d = slurp(kFixtures / "NOTAS.dbf");
    auto le = [&](size_t off, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | uint8_t(d[off + i]);
        return v;
    };
    const uint32_t count = le(4, 4), header_len = le(8, 2), record_len = le(10, 2);
    size_t field_off = 1, field_len = 0;
    bool found = false;
    for (size_t p = 32; p + 32 <= header_len && d[p] != '\x0D'; p += 32) {
        if (std::string(d.c_str() + p) == "NOTEXTO") {
            EXPECT_EQ(d[p + 11], 'M');
            field_len = uint8_t(d[p + 16]);
            found = true;
            break;
        }
        field_off += uint8_t(d[p + 16]);
    }
    EXPECT_TRUE(found);
    std::vector<uint32_t> ptrs;
    for (uint32_t r = 0; r < count; ++r) {
        std::string f = d.substr(header_len + size_t(r) * record_len + field_off, field_len);
        ptrs.push_back(f.find_first_not_of(' ') == std::string::npos ? 0 : uint32_t(std::stoul(f)));
    }
    return ptrs;
}

const nlohmann::json& notas_manifest() {
    static const nlohmann::json table = [] {
        std::ifstream in(kFixtures / "manifest.json");
        nlohmann::json all = nlohmann::json::parse(in);
        for (auto& t : all["tables"])
            if (t["table"] == "NOTAS") return t;
        throw std::runtime_error("NOTAS not in manifest");
    }();
    return table;
}

uint64_t blocks_for(uint64_t len, uint32_t bs) { return (8 + len + bs - 1) / bs; }

// Text of a given length with bytes above 0x7F, different for every `seed`.
std::string text_of(size_t len, int seed) {
    std::string s;
    for (size_t i = 0; i < len; ++i) s += char((i % 7 == 6) ? '\xF1' : 'a' + (i + seed) % 26);
    return s;
}

TEST(MemoFile, ReadsEveryFixtureMemo) {
    const auto ptrs = notas_pointers();
    const auto& records = notas_manifest()["records"];
    ASSERT_EQ(ptrs.size(), records.size());
    auto memo = MemoFile::open((kFixtures / "NOTAS.fpt").string(), true);
    EXPECT_EQ(memo->block_size(), 64u);
    for (size_t i = 0; i < ptrs.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1) + ", block " + std::to_string(ptrs[i]));
        const auto m = memo->read_memo(ptrs[i]);
        EXPECT_EQ(m.type, MemoFile::kText);
        EXPECT_EQ(cp1252_to_utf8(m.data), records[i]["values"]["NOTEXTO"].get<std::string>());
    }
}

TEST(MemoFile, RewritesInPlaceWhenTheOldBlocksHoldTheNewText) {
    TempDir tmp;
    const fs::path path = tmp / "NOTAS.fpt";
    fs::copy_file(kFixtures / "NOTAS.fpt", path);
    const std::string original = slurp(path);
    std::vector<uint32_t> ptrs = notas_pointers();
    std::vector<std::string> expected;
    {
        auto ro = MemoFile::open(path.string(), true);
        for (uint32_t p : ptrs) expected.push_back(ro->read(p));
    }

    struct Case {
        size_t old_len, new_len;
        bool in_place;
    };
    const Case cases[] = {
        {500, 10, true},          // shorter
        {500, 504, true},         // fills the old 8 blocks exactly
        {500, 505, false},        // one byte more needs a ninth block
        {56, 56, true},           // exactly one block
        {56, 57, false},          // spills into a second block
        {64, 120, true},          // grows but still fits two blocks
        {70000, 69000, true},     // long memo, shorter
        {70000, 70008, true},     // grows into the room left in its last block
        {10, 0, true},            // emptied: pointer 0, nothing written
    };
    std::vector<bool> used(ptrs.size());
    auto memo = MemoFile::open(path.string(), false);
    int seed = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.old_len) + " -> " + std::to_string(c.new_len));
        size_t rec = 0;
        while (rec < ptrs.size() && (used[rec] || ptrs[rec] == 0 || expected[rec].size() != c.old_len))
            ++rec;
        ASSERT_LT(rec, ptrs.size()) << "no unused fixture memo of that length";
        used[rec] = true;

        const std::string before = slurp(path);
        const uint32_t next_before = be32(before, 0);
        const std::string text = text_of(c.new_len, ++seed);
        const uint32_t got = memo->write(ptrs[rec], text);
        const std::string after = slurp(path);
        if (c.new_len == 0) {
            EXPECT_EQ(got, 0u);
            EXPECT_EQ(after, before);
        } else if (c.in_place) {
            EXPECT_EQ(got, ptrs[rec]);
            EXPECT_EQ(be32(after, 0), next_before);
            EXPECT_EQ(after.size(), before.size());
            // Block header, then the text, then zeros to the end of its last block (the
            // fixture left other bytes there).
            const size_t off = size_t(got) * 64;
            EXPECT_EQ(be32(after, off), 1u);
            EXPECT_EQ(be32(after, off + 4), c.new_len);
            const size_t end = off + blocks_for(c.new_len, 64) * 64;
            EXPECT_EQ(after.substr(off + 8 + c.new_len, end - off - 8 - c.new_len),
                      std::string(end - off - 8 - c.new_len, '\0'));
        } else {
            EXPECT_EQ(got, next_before);
            EXPECT_EQ(be32(after, 0), next_before + blocks_for(c.new_len, 64));
            EXPECT_EQ(after.size(), size_t(be32(after, 0)) * 64);
            // The old memo is left as it was.
            const size_t old_off = size_t(ptrs[rec]) * 64;
            EXPECT_EQ(after.substr(old_off, 8 + c.old_len), before.substr(old_off, 8 + c.old_len));
        }
        ptrs[rec] = got;
        expected[rec] = text;
    }
    memo->commit();
    memo.reset();

    auto reread = MemoFile::open(path.string(), true);
    for (size_t i = 0; i < ptrs.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(reread->read(ptrs[i]), expected[i]);
    }
    EXPECT_EQ(slurp(path).substr(4, 1020), original.substr(4, 1020)) << "header beyond next-free changed";
}

TEST(MemoFile, CreateWritesHeaderAndWholeBlocks) {
    struct Case {
        uint32_t block_size, first_block;
    };
    for (const Case c : {Case{64, 8}, Case{512, 1}, Case{1024, 1}, Case{100, 6}, Case{1, 512}}) {
        SCOPED_TRACE("block size " + std::to_string(c.block_size));
        TempDir tmp;
        const fs::path path = tmp / "new.fpt";
        const uint32_t bs = c.block_size;
        auto memo = MemoFile::create(path.string(), bs);

        std::string head(size_t(c.first_block) * bs, '\0');
        put_be32(head, 0, c.first_block);
        head[6] = char(bs >> 8);
        head[7] = char(bs);
        EXPECT_EQ(slurp(path), head);

        // A memo that fills its block exactly, one a byte longer, then a binary one.
        const std::string full = text_of(bs >= 8 ? bs - 8 : 1, 1);
        const std::string spill = text_of(full.size() + 1, 2);
        const std::string picture("\x00\xFF\x01\x80", 4);
        const uint32_t b1 = memo->write(0, full);
        const uint32_t b2 = memo->write(0, spill);
        const uint32_t b3 = memo->write(0, picture, MemoFile::kPicture);
        EXPECT_EQ(b1, c.first_block);
        EXPECT_EQ(b2, b1 + blocks_for(full.size(), bs));
        EXPECT_EQ(b3, b2 + blocks_for(spill.size(), bs));
        const std::string bytes = slurp(path);
        const uint32_t next = b3 + uint32_t(blocks_for(picture.size(), bs));
        EXPECT_EQ(be32(bytes, 0), next);
        EXPECT_EQ(bytes.size(), size_t(next) * bs);
        const size_t off2 = size_t(b2) * bs;
        EXPECT_EQ(be32(bytes, off2), MemoFile::kText);
        EXPECT_EQ(be32(bytes, off2 + 4), spill.size());
        EXPECT_EQ(be32(bytes, size_t(b3) * bs), MemoFile::kPicture);
        EXPECT_EQ(bytes.substr(off2 + 8 + spill.size(), size_t(b3) * bs - off2 - 8 - spill.size()),
                  std::string(size_t(b3) * bs - off2 - 8 - spill.size(), '\0'));
        memo.reset();

        memo = MemoFile::open(path.string(), false);
        EXPECT_EQ(memo->block_size(), bs);
        EXPECT_EQ(memo->read(b1), full);
        EXPECT_EQ(memo->read(b2), spill);
        const auto pic = memo->read_memo(b3);
        EXPECT_EQ(pic.type, MemoFile::kPicture);
        EXPECT_EQ(pic.data, picture);

        memo->zap();
        EXPECT_EQ(slurp(path), head);
        EXPECT_THROW(memo->read(b1), xbase::DamagedError);
        EXPECT_EQ(memo->write(0, "x"), c.first_block);
    }
}

TEST(MemoFile, DamagedFilesAreReported) {
    TempDir tmp;
    const fs::path path = tmp / "bad.fpt";
    std::string good;
    {
        auto m = MemoFile::create(path.string());
        ASSERT_EQ(m->write(0, "hello"), 8u);
        ASSERT_EQ(m->write(0, text_of(100, 0)), 9u);  // blocks 9 and 10
        good = slurp(path);
        ASSERT_EQ(good.size(), 11u * 64);
    }

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        uint32_t block;  // 0: the open itself must fail
    };
    const std::vector<Case> cases = {
        {"file shorter than its header", [](std::string& b) { b.resize(300); }, 0},
        {"empty file", [](std::string& b) { b.clear(); }, 0},
        {"block size 0", [](std::string& b) { b[6] = b[7] = 0; }, 0},
        {"block past the end", [](std::string&) {}, 11},
        {"block far past the end", [](std::string&) {}, 1000000},
        {"highest block number", [](std::string&) {}, 0xFFFFFFFF},
        {"block inside the header", [](std::string&) {}, 7},
        {"first block inside the header", [](std::string&) {}, 1},
        {"length past the end", [](std::string& b) { put_be32(b, 9 * 64 + 4, 100 + 64 - 8 + 1); }, 9},
        {"huge length", [](std::string& b) { put_be32(b, 8 * 64 + 4, 0xFFFFFFFF); }, 8},
        {"file cut inside the memo", [](std::string& b) { b.resize(9 * 64 + 50); }, 9},
        {"file cut inside the block header", [](std::string& b) { b.resize(9 * 64 + 4); }, 9},
        {"garbled block size", [](std::string& b) { b[6] = char(0xFF); b[7] = char(0xF0); }, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        spit(path, bytes);
        try {
            auto m = MemoFile::open(path.string(), true);
            ASSERT_NE(c.block, 0u) << "open should have failed";
            m->read(c.block);
            ADD_FAILURE() << "read should have failed";
        } catch (const xbase::DamagedError& e) {
            const std::string msg = e.what();
            EXPECT_NE(msg.find(path.string()), std::string::npos) << msg;
            if (c.block != 0) {
                EXPECT_NE(msg.find("block " + std::to_string(c.block)), std::string::npos) << msg;
            }
        }
    }

    // A cut file still gives the memos before the cut.
    spit(path, good.substr(0, 9 * 64 + 50));
    EXPECT_EQ(MemoFile::open(path.string(), true)->read(8), "hello");

    // A next-free block inside the header is refused before anything is written.
    std::string bytes = good;
    put_be32(bytes, 0, 3);
    spit(path, bytes);
    {
        auto m = MemoFile::open(path.string(), false);
        EXPECT_THROW(m->write(0, "new"), xbase::DamagedError);
    }
    EXPECT_EQ(slurp(path), bytes);

    // An old pointer that cannot be read is not reused: the memo is appended instead.
    spit(path, good);
    auto m = MemoFile::open(path.string(), false);
    for (uint32_t old : {7u, 1000u, 0xFFFFFFFFu}) {
        const uint32_t next = be32(slurp(path), 0);
        EXPECT_EQ(m->write(old, "again"), next);
    }
    EXPECT_EQ(m->read(8), "hello");
}

TEST(MemoFile, OpenErrorsAndReadOnly) {
    TempDir tmp;
    const fs::path missing = tmp / "missing.fpt";
    try {
        MemoFile::open(missing.string(), true);
        ADD_FAILURE() << "open of a missing file succeeded";
    } catch (const xbase::DamagedError&) {
        ADD_FAILURE() << "a missing file is not a damaged one";
    } catch (const xbase::Error& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find(missing.string()), std::string::npos) << msg;
        EXPECT_NE(msg.find("No such file or directory"), std::string::npos) << msg;
    }
    EXPECT_THROW(MemoFile::create((tmp / "no/dir.fpt").string()), xbase::Error);

    const fs::path path = tmp / "ro.fpt";
    MemoFile::create(path.string())->write(0, "keep");
    const std::string before = slurp(path);
    auto ro = MemoFile::open(path.string(), true);
    EXPECT_EQ(ro->read(8), "keep");
    EXPECT_THROW(ro->write(8, "x"), xbase::Error);
    EXPECT_THROW(ro->write(0, "x"), xbase::Error);
    EXPECT_THROW(ro->zap(), xbase::Error);
    ro->commit();
    EXPECT_EQ(slurp(path), before);
}

// A write the system refuses (here: file size limit, which also gives short writes) must
// fail with the file's name and leave the header's next free block alone.
TEST(MemoFile, WriteFailureIsAnError) {
    TempDir tmp;
    const fs::path path = tmp / "limit.fpt";
    MemoFile::create(path.string())->write(0, "first");
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = 1;
        try {
            ::signal(SIGXFSZ, SIG_IGN);
            auto m = MemoFile::open(path.string(), false);
            rlimit lim{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &lim);
            m->write(0, text_of(10000, 3));
        } catch (const xbase::Error& e) {
            rc = std::string(e.what()).find(path.string()) != std::string::npos ? 0 : 2;
        } catch (...) {
            rc = 3;
        }
        ::_exit(rc);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: write succeeded, 2: message without path, 3: other";
    EXPECT_EQ(be32(slurp(path), 0), 9u);
}

// Several processes append at the same time; no two memos may share a block. (Without the
// allocation lock this fails reliably, also on a two-core machine.)
TEST(MemoFile, ConcurrentAppendsNeverShareBlocks) {
    TempDir tmp;
    const fs::path path = tmp / "shared.fpt";
    MemoFile::create(path.string());
    constexpr int kWriters = 3, kEach = 500;
    auto text = [](int w, int i) {
        return "writer " + std::to_string(w) + " memo " + std::to_string(i) + ": " +
               text_of(size_t(i * 53 % 700), w * 1000 + i);
    };

    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> pids;
    std::vector<int> results;
    for (int w = 0; w < kWriters; ++w) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(go[1]);
            ::close(out[0]);
            int rc = 0;
            try {
                auto m = MemoFile::open(path.string(), false);
                char c;
                if (::read(go[0], &c, 1) != 0) rc = 4;  // wait until the parent lets all go
                std::vector<uint32_t> blocks;
                for (int i = 0; i < kEach; ++i) blocks.push_back(m->write(0, text(w, i)));
                const size_t n = blocks.size() * sizeof(uint32_t);
                if (::write(out[1], blocks.data(), n) != ssize_t(n)) rc = 5;
            } catch (...) {
                rc = 6;
            }
            ::_exit(rc);
        }
        ::close(out[1]);
        pids.push_back(pid);
        results.push_back(out[0]);
    }
    ::close(go[0]);
    ::close(go[1]);  // start

    std::vector<std::vector<uint32_t>> blocks(kWriters, std::vector<uint32_t>(kEach));
    for (int w = 0; w < kWriters; ++w) {
        const size_t n = kEach * sizeof(uint32_t);
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::read(results[w], reinterpret_cast<char*>(blocks[w].data()) + got, n - got);
            if (r <= 0) break;
            got += size_t(r);
        }
        ::close(results[w]);
        int status = 0;
        ASSERT_EQ(::waitpid(pids[w], &status, 0), pids[w]);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << w << " failed";
        ASSERT_EQ(got, n);
    }

    auto m = MemoFile::open(path.string(), true);
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kEach; ++i) {
            const std::string t = text(w, i);
            EXPECT_EQ(m->read(blocks[w][i]), t) << "writer " << w << " memo " << i;
            spans.emplace_back(blocks[w][i], blocks[w][i] + uint32_t(blocks_for(t.size(), 64)));
        }
    std::sort(spans.begin(), spans.end());
    EXPECT_EQ(spans.front().first, 8u);
    for (size_t i = 1; i < spans.size(); ++i)
        EXPECT_LE(spans[i - 1].second, spans[i].first) << "memos at " << spans[i - 1].first << " and "
                                                       << spans[i].first << " overlap";
    const std::string bytes = slurp(path);
    EXPECT_EQ(be32(bytes, 0), spans.back().second);
    EXPECT_EQ(bytes.size(), size_t(spans.back().second) * 64);
}

}  // namespace
