// Several processes on one table: share modes, record and file locks, concurrent appends
// and key changes, and a reader following another process's changes. Every process opens
// its own Table (its own open file descriptions, so its own flock and byte-range locks);
// the processes step through each scenario by exchanging single bytes over pipes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;
using xbase::OpenOptions;
using xbase::Table;

namespace {

struct TempDir {
    fs::path dir;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "concurrency_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        dir = t;
    }
    ~TempDir() { fs::remove_all(dir); }
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

// A failed check inside a child: reported on stderr, turned into a non-zero exit status.
#define REQUIRE(cond)                                                                                  \
    do {                                                                                               \
        if (!(cond)) throw std::runtime_error(fmt::format("line {}: check failed: {}", __LINE__, #cond)); \
    } while (0)

// Two pipes between the parent and one child. Each side closes the ends it does not use, so
// that a side that dies is seen as end of file instead of a hang.
class Channel {
public:
    Channel() {
        if (::pipe(down_) != 0 || ::pipe(up_) != 0) throw std::runtime_error("pipe failed");
    }
    ~Channel() {
        for (int fd : {down_[0], down_[1], up_[0], up_[1]})
            if (fd >= 0) ::close(fd);
    }
    void parent_side() { close_fd(down_[0]); close_fd(up_[1]); in_ = up_[0]; out_ = down_[1]; }
    void child_side() { close_fd(down_[1]); close_fd(up_[0]); in_ = down_[0]; out_ = up_[1]; }

    void send(char c) {
        if (::write(out_, &c, 1) != 1) throw std::runtime_error(fmt::format("cannot send '{}'", c));
    }
    // Waits for `c` from the other side; fails on anything else, on end of file or after 15 s.
    void expect(char c) {
        pollfd p{in_, POLLIN, 0};
        int r;
        do r = ::poll(&p, 1, 15000); while (r < 0 && errno == EINTR);
        if (r == 0) throw std::runtime_error(fmt::format("timed out waiting for '{}'", c));
        char got = 0;
        if (::read(in_, &got, 1) != 1) throw std::runtime_error(fmt::format("other side gone while waiting for '{}'", c));
        if (got != c) throw std::runtime_error(fmt::format("expected '{}' but got '{}'", c, got));
    }
    // True when a byte from the other side is waiting (without reading it).
    bool ready() {
        pollfd p{in_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    static void close_fd(int& fd) { ::close(fd); fd = -1; }
    int down_[2] = {-1, -1}, up_[2] = {-1, -1};
    int in_ = -1, out_ = -1;
};

// A forked process running `body`; its return value (or 99 for an exception) is the exit
// status. An alarm ends a child that hangs. A child still running when the parent's test
// ends early is killed.
class Child {
public:
    Child(Channel* ch, std::function<int()> body) {
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::alarm(60);
            int rc;
            try {
                if (ch) ch->child_side();
                rc = body();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "child %d: %s\n", int(::getpid()), e.what());
                rc = 99;
            } catch (...) {
                rc = 98;
            }
            std::fflush(nullptr);
            ::_exit(rc);
        }
        if (ch) ch->parent_side();
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Exit status, or 1000 + signal number when the child was killed.
    int wait() {
        int st = 0;
        while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
    }

private:
    pid_t pid_ = -1;
};

struct CliResult {
    int status = -1;
    std::string output;
};

CliResult run_cli(const std::string& args) {
    std::fflush(nullptr);
    std::string cmd = fmt::format("'{}' {} 2>&1", PLANILLA_CLI, args);
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("popen failed");
    CliResult r;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The test table: who wrote a record and its sequence number, a name and an amount; tagged
// on the name (text), on writer+sequence (compound text) and on the sequence (numeric).
const std::vector<xbase::FieldSpec> kFields = {
    {"WRITER", 'N', 2, 0}, {"SEQ", 'N', 6, 0}, {"NAME", 'C', 12, 0}, {"AMOUNT", 'N', 10, 2}};
const std::vector<xbase::TagSpec> kTags = {
    {"NAME", "NAME", ""}, {"WS", "STR(WRITER,2)+STR(SEQ,6)", ""}, {"SEQ", "SEQ", ""}};
enum { F_WRITER, F_SEQ, F_NAME, F_AMOUNT };

struct Row {
    int writer;
    int seq;
    std::string name;
};

std::string make_table(const TempDir& td, const std::vector<Row>& rows) {
    std::string path = td / "conc.dbf";
    auto t = Table::create(path, kFields, kTags);
    for (const Row& r : rows) {
        t->append_blank();
        t->put_number(F_WRITER, r.writer);
        t->put_number(F_SEQ, r.seq);
        t->put_text(F_NAME, r.name);
        t->put_number(F_AMOUNT, 0);
    }
    t->close();
    return path;
}

std::string trimmed(const std::string& s) {
    auto e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

// Record numbers and names of the whole table in the current order.
std::vector<std::pair<uint32_t, std::string>> walk(Table& t) {
    std::vector<std::pair<uint32_t, std::string>> v;
    for (t.go_top(); !t.eof(); t.skip(1)) v.emplace_back(t.recno(), trimmed(t.get_text(F_NAME)));
    return v;
}

std::string join_lines(const std::vector<std::string>& v) {
    std::string s;
    for (auto& l : v) s += l + "\n";
    return s;
}

// ------------------------------------------------------------------ concurrent appends

TEST(Concurrency, AppendsFromSeveralProcessesAllLandOnceWithConsistentTags) {
    TempDir td;
    std::string path = make_table(td, {});
    constexpr int kWriters = 4, kPerWriter = 300;

    std::vector<std::unique_ptr<Channel>> chans;
    std::vector<std::unique_ptr<Child>> kids;
    for (int w = 1; w <= kWriters; ++w) {
        chans.push_back(std::make_unique<Channel>());
        Channel* ch = chans.back().get();
        kids.push_back(std::make_unique<Child>(ch, [ch, w, &path] {
            auto t = Table::open(path);
            ch->send('R');
            ch->expect('G');
            for (int s = 1; s <= kPerWriter; ++s) {
                t->append_blank();
                t->put_number(F_WRITER, w);
                t->put_number(F_SEQ, s);
                t->put_text(F_NAME, fmt::format("W{}-{:04}", w, s));
                t->put_number(F_AMOUNT, w * 1000 + s);
                t->unlock_record();
            }
            t->close();
            return 0;
        }));
    }
    const uint32_t total = kWriters * kPerWriter;
    // A reader walks the compound tag over and over while the writers append: a walk never
    // fails, never visits a record twice, never loses an entry an earlier walk saw, and the
    // records it finds already written come in key order. (A record may still be blank
    // when its index entry is already there.)
    Channel rch;
    Child reader(&rch, [&rch, &path] {
        auto t = Table::open(path, {false, true});
        t->set_order("WS");
        rch.send('R');
        rch.expect('G');
        size_t last = 0;
        for (bool final_walk = false;;) {
            final_walk = rch.ready();
            std::vector<bool> seen(total + 1);
            std::pair<int, int> prev{0, 0};
            size_t n = 0;
            for (t->go_top(); !t->eof(); t->skip(1), ++n) {
                REQUIRE(t->recno() <= total && !seen[t->recno()]);
                seen[t->recno()] = true;
                std::pair<int, int> ws{int(t->get_number(F_WRITER)), int(t->get_number(F_SEQ))};
                if (ws.first == 0) continue;
                REQUIRE(prev < ws);
                prev = ws;
            }
            REQUIRE(n >= last);
            last = n;
            if (final_walk) break;
        }
        rch.expect('S');
        REQUIRE(last == total);
        return 0;
    });

    // Everyone has the table open before anyone appends.
    for (auto& ch : chans) ch->expect('R');
    rch.expect('R');
    for (auto& ch : chans) ch->send('G');
    rch.send('G');
    for (auto& k : kids) EXPECT_EQ(k->wait(), 0);
    rch.send('S');
    EXPECT_EQ(reader.wait(), 0);

    auto t = Table::open(path);
    ASSERT_EQ(t->reccount(), total);
    EXPECT_EQ(fs::file_size(path), t->header_length() + uint64_t(total) * t->record_length() + 1)
        << "the file should end right after the last record and its end-of-file byte";

    std::map<std::pair<int, int>, int> seen;
    for (uint32_t r = 1; r <= total; ++r) {
        t->go_to(r);
        int w = int(t->get_number(F_WRITER)), s = int(t->get_number(F_SEQ));
        ++seen[{w, s}];
        EXPECT_EQ(trimmed(t->get_text(F_NAME)), fmt::format("W{}-{:04}", w, s)) << "record " << r;
        EXPECT_EQ(t->get_number(F_AMOUNT), w * 1000 + s) << "record " << r;
    }
    for (int w = 1; w <= kWriters; ++w)
        for (int s = 1; s <= kPerWriter; ++s) EXPECT_EQ(seen[std::make_pair(w, s)], 1) << "writer " << w << " seq " << s;
    EXPECT_EQ(seen.size(), size_t(total));

    auto problems = t->check_indexes();
    EXPECT_TRUE(problems.empty()) << join_lines(problems);

    // The compound tag walks every writer's records in sequence.
    t->set_order("WS");
    int w = 1, s = 1;
    uint32_t n = 0;
    for (t->go_top(); !t->eof(); t->skip(1), ++n) {
        ASSERT_EQ(int(t->get_number(F_WRITER)), w) << "entry " << n;
        ASSERT_EQ(int(t->get_number(F_SEQ)), s) << "entry " << n;
        if (++s > kPerWriter) s = 1, ++w;
    }
    EXPECT_EQ(n, total);
    t->set_order("SEQ");
    EXPECT_TRUE(t->seek_number(kPerWriter));
    EXPECT_EQ(int(t->get_number(F_SEQ)), kPerWriter);
    t->close();

    CliResult cli = run_cli("dbf check " + path);
    EXPECT_EQ(cli.status, 0) << cli.output;
}

// ------------------------------------------------------------------ record and file locks

TEST(Concurrency, RecordAndFileLocksExcludeOtherProcesses) {
    TempDir td;
    std::vector<Row> rows;
    for (int i = 1; i <= 10; ++i) rows.push_back({1, i, fmt::format("R{:02}", i)});
    std::string path = make_table(td, rows);

    Channel ch;
    Child a(&ch, [&ch, &path] {
        auto t = Table::open(path);
        t->go_to(5);
        REQUIRE(t->lock_record(5));
        ch.send('L');
        ch.expect('U');
        t->unlock_record(5);
        // The parent changes record 5 under its own lock; locking it again re-reads it.
        ch.expect('W');
        REQUIRE(t->lock_record(5));
        REQUIRE(trimmed(t->get_text(F_NAME)) == "CHANGED BY B");
        t->unlock_record(5);
        REQUIRE(t->lock_file());
        ch.send('F');
        ch.expect('R');
        t->unlock_all();
        ch.send('X');
        ch.expect('Q');
        return 0;
    });

    auto b = Table::open(path);
    ch.expect('L');
    EXPECT_FALSE(b->lock_record(5, 0)) << "record 5 is locked by the other process";
    EXPECT_FALSE(b->is_locked(5));
    EXPECT_TRUE(b->lock_record(6, 0)) << "locks on different records do not conflict";
    EXPECT_TRUE(b->lock_record(4, 0));
    EXPECT_FALSE(b->lock_file(0)) << "a file lock needs every record free";

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(b->lock_record(5, 300));
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 3000);
    b->unlock_record(4);
    b->unlock_record(6);

    // Changes in shared mode need the record (or the file) locked.
    b->go_to(7);
    const std::vector<std::pair<const char*, std::function<void()>>> writes = {
        {"put_text", [&] { b->put_text(F_NAME, "X"); }},
        {"put_number", [&] { b->put_number(F_AMOUNT, 1); }},
        {"put_value_text", [&] { b->put_value_text(F_SEQ, "3"); }},
        {"delete_record", [&] { b->delete_record(); }},
        {"recall", [&] { b->recall(); }},
    };
    for (auto& [what, fn] : writes) EXPECT_THROW(fn(), xbase::LockError) << what;
    b->go_to(5);
    EXPECT_THROW(b->put_text(F_NAME, "X"), xbase::LockError) << "a failed lock attempt must not count as held";

    // A waiting lock is granted as soon as the other process lets go.
    ch.send('U');
    EXPECT_TRUE(b->lock_record(5, 5000));
    b->put_text(F_NAME, "CHANGED BY B");
    b->unlock_record(5);
    ch.send('W');

    ch.expect('F');
    EXPECT_FALSE(b->lock_record(3, 0)) << "the other process holds the file lock";
    EXPECT_FALSE(b->lock_file(0));
    ch.send('R');
    ch.expect('X');
    EXPECT_TRUE(b->lock_record(3, 0));
    EXPECT_TRUE(b->lock_file(0)) << "this process's own record lock does not stand in the way";
    b->unlock_all();
    ch.send('Q');
    EXPECT_EQ(a.wait(), 0);
}

// Record locks and appends inside one's own file lock must not open holes in it.
TEST(Concurrency, RecordWorkUnderOwnFileLockKeepsItWhole) {
    TempDir td;
    std::string path = make_table(td, {{1, 1, "ONE"}, {2, 2, "TWO"}, {3, 3, "THREE"}});
    auto a = Table::open(path);
    auto b = Table::open(path);
    ASSERT_TRUE(a->lock_file());
    a->go_to(2);
    ASSERT_TRUE(a->lock_record());
    a->put_text(F_NAME, "TWO BIS");
    a->unlock_record();
    a->append_blank();
    a->unlock_record();
    for (uint32_t r : {1u, 2u, 3u, 4u}) EXPECT_FALSE(b->lock_record(r, 0)) << "record " << r;
    a->unlock_all();
    EXPECT_TRUE(b->lock_record(2, 0));
    b->go_to(2);
    EXPECT_EQ(b->get_text(F_NAME).substr(0, 7), "TWO BIS");
    b->unlock_all();
}

// ------------------------------------------------------------------ share modes

TEST(Concurrency, ShareModesOfOtherProcesses) {
    TempDir td;
    std::string path = make_table(td, {{1, 1, "ONE"}});
    struct Mode {
        const char* name;
        OpenOptions opts;
    };
    const Mode shared{"shared", {false, false}}, readonly{"read-only", {false, true}}, excl{"exclusive", {true, false}};
    const struct {
        Mode held, wanted;
        bool busy;
    } cases[] = {
        {shared, excl, true},    {readonly, excl, true}, {excl, shared, true}, {excl, readonly, true},
        {excl, excl, true},      {shared, shared, false}, {shared, readonly, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("held {} elsewhere, opening {}", c.held.name, c.wanted.name));
        Channel ch;
        OpenOptions held = c.held.opts;
        Child a(&ch, [&ch, &path, held] {
            auto t = Table::open(path, held);
            ch.send('O');
            ch.expect('C');
            t->close();  // closing, not the end of the process, releases the share mode
            ch.send('c');
            ch.expect('Q');
            return 0;
        });
        ch.expect('O');
        if (c.busy) {
            EXPECT_THROW(Table::open(path, c.wanted.opts), xbase::BusyError);
        } else {
            std::unique_ptr<Table> t;
            EXPECT_NO_THROW(t = Table::open(path, c.wanted.opts));
            if (t) {
                EXPECT_EQ(t->reccount(), 1u);
            }
        }
        // The data tool opens read-only shared for `info` and reports a busy table with exit 3.
        CliResult cli = run_cli("dbf info " + path);
        EXPECT_EQ(cli.status, c.held.opts.exclusive ? 3 : 0) << cli.output;

        ch.send('C');
        ch.expect('c');
        std::unique_ptr<Table> t;
        EXPECT_NO_THROW(t = Table::open(path, c.wanted.opts)) << "after the other process closed the table";
        t.reset();
        ch.send('Q');
        EXPECT_EQ(a.wait(), 0);
    }
}

// ------------------------------------------------------------------ a reader follows a writer

TEST(Concurrency, ReaderSeesAnotherProcessesAppendsAndKeyChanges) {
    for (bool read_only : {false, true}) {
        SCOPED_TRACE(read_only ? "read-only reader" : "shared reader");
        TempDir td;
        std::string path = make_table(td, {{1, 10, "B"}, {1, 20, "D"}, {1, 30, "F"}});

        auto r = Table::open(path, {false, read_only});
        r->set_order("NAME");
        ASSERT_TRUE(r->seek("D"));
        ASSERT_EQ(r->recno(), 2u);
        ASSERT_EQ(r->reccount(), 3u);

        // The writer neither commits nor closes before the reader looks: unlocking a record
        // must be enough for other processes to see the record and its index entries.
        Channel ch;
        Child w(&ch, [&ch, &path] {
            auto t = Table::open(path);
            const std::pair<int, const char*> added[] = {{5, "A"}, {25, "E"}, {35, "G"}};
            for (auto [seq, name] : added) {
                t->append_blank();
                t->put_number(F_WRITER, 2);
                t->put_number(F_SEQ, seq);
                t->put_text(F_NAME, name);
                t->unlock_record();
            }
            t->go_to(1);
            REQUIRE(t->lock_record(1));
            t->put_text(F_NAME, "H");  // B -> H moves record 1 to the end of the NAME order
            t->unlock_record(1);
            t->go_to(3);
            REQUIRE(t->lock_record(3));
            t->put_number(F_SEQ, 1);  // 30 -> 1 moves record 3 to the front of the SEQ order
            t->unlock_record(3);
            ch.send('D');
            ch.expect('Q');
            return 0;
        });
        ch.expect('D');

        EXPECT_EQ(r->reccount(), 6u);
        // Continuing from the record the reader was on.
        r->skip(1);
        ASSERT_FALSE(r->eof());
        EXPECT_EQ(trimmed(r->get_text(F_NAME)), "E");
        EXPECT_EQ(r->recno(), 5u);

        using Walk = std::vector<std::pair<uint32_t, std::string>>;
        EXPECT_EQ(walk(*r), (Walk{{4, "A"}, {2, "D"}, {5, "E"}, {3, "F"}, {6, "G"}, {1, "H"}}));
        r->go_bottom();
        EXPECT_EQ(r->recno(), 1u);
        r->skip(-1);
        EXPECT_EQ(r->recno(), 6u);
        EXPECT_FALSE(r->seek("B")) << "the old key is gone";
        EXPECT_TRUE(r->seek("H"));
        EXPECT_EQ(r->recno(), 1u);

        r->set_order("SEQ");
        std::vector<uint32_t> recs;
        for (r->go_top(); !r->eof(); r->skip(1)) recs.push_back(r->recno());
        EXPECT_EQ(recs, (std::vector<uint32_t>{3, 4, 1, 2, 5, 6}));
        EXPECT_TRUE(r->seek_number(25));
        EXPECT_EQ(r->recno(), 5u);
        EXPECT_TRUE(r->seek_number(1));
        EXPECT_EQ(r->recno(), 3u);
        EXPECT_FALSE(r->seek_number(30)) << "the old key is gone";

        r->set_order(-1);
        r->go_to(1);
        EXPECT_EQ(trimmed(r->get_text(F_NAME)), "H");
        auto problems = r->check_indexes();
        EXPECT_TRUE(problems.empty()) << join_lines(problems);

        ch.send('Q');
        EXPECT_EQ(w.wait(), 0);
    }
}

// ------------------------------------------------------------------ concurrent key changes

// Two writers change the keys of their own half of the records, append new ones, and both
// keep incrementing a counter on record 1, which only adds up when a lock re-reads the
// record the other process wrote.
TEST(Concurrency, KeyChangesAndAppendsFromTwoProcessesKeepTagsConsistent) {
    TempDir td;
    // Each writer changes kStart / 2 records, bumping the counter after each, and appends two
    // records after every other change.
    constexpr int kStart = 120, kAppends = kStart / 2, kBumps = kStart / 2;
    std::vector<Row> rows;
    for (int i = 1; i <= kStart; ++i) rows.push_back({0, i, fmt::format("K{:04}", i)});
    std::string path = make_table(td, rows);

    std::vector<std::unique_ptr<Channel>> chans;
    std::vector<std::unique_ptr<Child>> kids;
    for (int w = 1; w <= 2; ++w) {
        chans.push_back(std::make_unique<Channel>());
        Channel* ch = chans.back().get();
        kids.push_back(std::make_unique<Child>(ch, [ch, w, &path] {
            auto t = Table::open(path);
            t->set_order("NAME");  // navigation in a tag order while the tags change
            ch->send('R');
            ch->expect('G');
            int appended = 0;
            for (int r = w; r <= kStart; r += 2) {
                t->go_to(uint32_t(r));
                REQUIRE(t->lock_record(uint32_t(r), 10000));
                // Reverse the order of this writer's records in the NAME tag.
                t->put_text(F_NAME, fmt::format("W{}-{:04}", w, 1000 - r));
                t->put_number(F_SEQ, 1000 + r);
                t->put_number(F_WRITER, w);
                t->unlock_record(uint32_t(r));
                if (r % 4 == w % 4) {
                    for (int k = 0; k < 2; ++k) {
                        ++appended;
                        t->append_blank();
                        t->put_number(F_WRITER, w);
                        t->put_number(F_SEQ, 5000 + appended);
                        t->put_text(F_NAME, fmt::format("N{}-{:04}", w, appended));
                        t->unlock_record();
                    }
                }
                t->go_to(1);
                REQUIRE(t->lock_record(1, 10000));
                t->put_number(F_AMOUNT, t->get_number(F_AMOUNT) + 1);
                t->unlock_record(1);
            }
            REQUIRE(appended == kAppends);
            t->close();
            return 0;
        }));
    }
    for (auto& ch : chans) ch->expect('R');
    for (auto& ch : chans) ch->send('G');
    for (auto& k : kids) EXPECT_EQ(k->wait(), 0);

    auto t = Table::open(path);
    const uint32_t total = kStart + 2 * kAppends;
    ASSERT_EQ(t->reccount(), total);
    auto problems = t->check_indexes();
    EXPECT_TRUE(problems.empty()) << join_lines(problems);

    for (int r = 1; r <= kStart; ++r) {
        t->go_to(uint32_t(r));
        int w = 2 - r % 2;
        EXPECT_EQ(trimmed(t->get_text(F_NAME)), fmt::format("W{}-{:04}", w, 1000 - r)) << "record " << r;
        EXPECT_EQ(int(t->get_number(F_SEQ)), 1000 + r) << "record " << r;
    }
    t->go_to(1);
    EXPECT_EQ(t->get_number(F_AMOUNT), 2 * kBumps) << "an increment was lost";
    std::map<std::string, int> appended;
    for (uint32_t r = kStart + 1; r <= total; ++r) {
        t->go_to(r);
        ++appended[trimmed(t->get_text(F_NAME))];
    }
    for (int w = 1; w <= 2; ++w)
        for (int i = 1; i <= kAppends; ++i) EXPECT_EQ((appended[fmt::format("N{}-{:04}", w, i)]), 1) << w << " " << i;

    // Tag order is the key order, with nothing missing.
    t->set_order("NAME");
    auto v = walk(*t);
    ASSERT_EQ(v.size(), size_t(total));
    for (size_t i = 1; i < v.size(); ++i) EXPECT_LT(v[i - 1].second, v[i].second) << "entry " << i;
    t->set_order("SEQ");
    EXPECT_TRUE(t->seek_number(1000 + 7));
    EXPECT_EQ(t->recno(), 7u);
    EXPECT_FALSE(t->seek_number(7)) << "the old key is gone";
}

}  // namespace
