// Table engine benchmarks on a synthetic employee master (PERSONAL: 17 fields, 11 tags,
// 100,000 records), each next to a raw baseline that moves the same bytes with plain
// pread/pwrite and no index work, so that the engine's own overhead shows.
//
// Every figure is wall-clock time. Tables live in a temporary directory under /tmp that is
// removed when the program ends; benchmarks that change a table work on a fresh copy.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "xbase/codepage.hpp"
#include "xbase/keyexpr.hpp"
#include "xbase/table.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRecords = 100000;
constexpr uint32_t kSeeks = 1000000;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Small deterministic generator (splitmix64): the same table on every machine.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) {}
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
};

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/xbase_bench.XXXXXX";
        if (!mkdtemp(tmpl)) throw std::runtime_error("cannot create a temporary directory");
        path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

// ---------------------------------------------------------------- the synthetic table

const std::vector<xbase::FieldSpec>& personal_fields() {
    static const std::vector<xbase::FieldSpec> f = {
        {"PECODEMP", 'C', 4, 0},  {"PEAPELLI", 'C', 20, 0}, {"PEAPELL2", 'C', 20, 0}, {"PENOMBRE", 'C', 20, 0},
        {"PENOMBR2", 'C', 20, 0}, {"PEFECNAC", 'D', 8, 0},  {"PESEXO", 'N', 1, 0},    {"PELIBELE", 'C', 11, 0},
        {"PECTOCTO", 'C', 10, 0}, {"PECODAFP", 'C', 3, 0},  {"PESUELDO", 'N', 12, 2}, {"PEFECING", 'D', 8, 0},
        {"PEFECRET", 'D', 8, 0},  {"PEACTIVI", 'N', 1, 0},  {"PEEXTRAN", 'L', 1, 0},  {"PEFUTC01", 'C', 10, 0},
        {"PECALTUR", 'C', 2, 0},
    };
    return f;
}

const std::vector<xbase::TagSpec>& personal_tags() {
    static const std::vector<xbase::TagSpec> t = {
        {"PER1", "PeCodemp", "", false, false},
        {"PER2", "PeApelli + PeApell2 + PeNombre", "", false, false},
        {"PER3", "PeCtoCto + PeCodEmp", "", false, false},
        {"PER4", "PeFutC01", "", false, false},
        {"PER5", "PeCodEmp", "", false, false},
        {"PER6", "PeCtoCto + PeApelli + PeApell2 + PeNombre", "", false, false},
        {"PER7", "Str(Month(PeFecNac),4) + Str(Day(PeFecNac),4)", "", false, false},
        {"PER8", "PeLibEle", "", false, false},
        {"PER9", "Substr(PeLibEle,2,5)", "", false, false},
        {"PERA", "PeCalTur + PeCodEmp", "", false, false},
        {"PERB", "PeCalTur + PeApelli + PeApell2 + PeNombre", "", false, false},
    };
    return t;
}

struct Row {
    std::string code, ape1, ape2, nom1, nom2;
    int32_t fecnac = 0;
    int sexo = 1;
    std::string libele, ctocto, codafp;
    double sueldo = 0;
    int32_t fecing = 0, fecret = 0;
    int activi = 1;
    bool extran = false;
    std::string futc01, caltur;
};

const char* const kSurnames[] = {
    "PEÑA",     "SÁNCHEZ",  "GARCÍA",    "RODRÍGUEZ", "LÓPEZ",   "PÉREZ",    "GÓMEZ",    "MARTÍNEZ",
    "HERNÁNDEZ", "DÍAZ",    "RAMÍREZ",   "FLORES",    "TORRES",  "ROJAS",    "QUISPE",   "MAMANI",
    "HUAMÁN",   "CHÁVEZ",   "VÁSQUEZ",   "CASTILLO",  "ESPINOZA", "MENDOZA", "RÍOS",     "GUTIÉRREZ",
    "VARGAS",   "CRUZ",     "NÚÑEZ",     "MUÑOZ",     "ORTIZ",   "ÁLVAREZ",  "JIMÉNEZ",  "RUIZ",
    "SALAZAR",  "CÓRDOVA",  "ZÚÑIGA",    "IBÁÑEZ",    "BENAVIDES", "CÁCERES", "AGÜERO",  "YÁÑEZ",
};
const char* const kNames[] = {
    "JUAN",  "JOSÉ",   "MARÍA",  "LUIS",   "CARLOS", "JESÚS",  "ROSA",    "ANA",    "ÁNGEL",  "VÍCTOR",
    "CÉSAR", "MÓNICA", "SOFÍA",  "LUCÍA",  "RAÚL",   "RUBÉN",  "INÉS",    "ELENA",  "JORGE",  "MIGUEL",
    "PEDRO", "NOEMÍ",  "HÉCTOR", "ÓSCAR",  "RAMÓN",  "BEATRIZ", "GLADYS", "TERESA", "MARTÍN", "JOAQUÍN",
};
const char* const kAfps[] = {"INT", "PRI", "PRO", "HAB", "ONP"};

template <size_t N>
const char* pick(const char* const (&list)[N], Rng& r) {
    return list[r.below(uint32_t(N))];
}

// Pads UTF-8 text with blanks to `width` characters (not bytes), as the field holds it.
std::string pad_chars(std::string s, size_t width) {
    size_t n = xbase::utf8_length(s);
    if (n < width) s.append(width - n, ' ');
    return s;
}

// Unique 4-character codes: base 36, so 100,000 employees fit in C4.
std::string code_of(uint32_t i) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string s(4, '0');
    for (int p = 3; p >= 0; --p, i /= 36) s[size_t(p)] = digits[i % 36];
    return s;
}

std::vector<Row> generate_rows() {
    Rng r(20240601);
    std::vector<std::string> centres;
    for (int i = 0; i < 20; ++i) centres.push_back("01." + std::to_string(10 + i / 5) + "." + std::to_string(100 + i));
    const int32_t jd1950 = xbase::julian_from_ymd(1950, 1, 1), jd2005 = xbase::julian_from_ymd(2005, 12, 31);
    const int32_t jd1990 = xbase::julian_from_ymd(1990, 1, 1), jd2024 = xbase::julian_from_ymd(2024, 12, 31);
    std::vector<Row> rows(kRecords);
    for (uint32_t i = 0; i < kRecords; ++i) {
        Row& w = rows[i];
        w.code = code_of(1000 + i);
        w.ape1 = pick(kSurnames, r);
        w.ape2 = pick(kSurnames, r);
        w.nom1 = pick(kNames, r);
        w.nom2 = r.below(3) ? pick(kNames, r) : "";
        w.fecnac = jd1950 + int32_t(r.below(uint32_t(jd2005 - jd1950)));
        w.sexo = 1 + int(r.below(2));
        w.libele = std::to_string(10000000 + r.below(89999999));
        w.ctocto = centres[r.below(uint32_t(centres.size()))];
        w.codafp = pick(kAfps, r);
        w.sueldo = double(102500 + r.below(1900000)) / 100.0;
        w.fecing = jd1990 + int32_t(r.below(uint32_t(jd2024 - jd1990)));
        w.fecret = r.below(10) == 0 ? w.fecing + int32_t(r.below(3000)) : 0;
        w.activi = w.fecret ? 0 : 1;
        w.extran = r.below(50) == 0;
        w.futc01 = r.below(4) ? std::to_string(1000000000u + r.below(999999999u)) : "";
        w.caltur = std::string(1, '0') + char('1' + r.below(5));
    }
    return rows;
}

struct FieldIdx {
    int code, ape1, ape2, nom1, nom2, fecnac, sexo, libele, ctocto, codafp, sueldo, fecing, fecret, activi, extran,
        futc01, caltur;
    explicit FieldIdx(const xbase::Table& t) {
        auto f = [&](const char* n) {
            int i = t.field_index(n);
            if (i < 0) throw std::runtime_error(std::string("missing field ") + n);
            return i;
        };
        code = f("PECODEMP"), ape1 = f("PEAPELLI"), ape2 = f("PEAPELL2"), nom1 = f("PENOMBRE"), nom2 = f("PENOMBR2");
        fecnac = f("PEFECNAC"), sexo = f("PESEXO"), libele = f("PELIBELE"), ctocto = f("PECTOCTO");
        codafp = f("PECODAFP"), sueldo = f("PESUELDO"), fecing = f("PEFECING"), fecret = f("PEFECRET");
        activi = f("PEACTIVI"), extran = f("PEEXTRAN"), futc01 = f("PEFUTC01"), caltur = f("PECALTUR");
    }
};

// The way a program appends: a blank record, then one put per field.
void append_rows(xbase::Table& t, const std::vector<Row>& rows) {
    FieldIdx fi(t);
    for (const Row& w : rows) {
        t.append_blank();
        t.put_text(fi.code, w.code);
        t.put_text(fi.ape1, w.ape1);
        t.put_text(fi.ape2, w.ape2);
        t.put_text(fi.nom1, w.nom1);
        t.put_text(fi.nom2, w.nom2);
        t.put_date(fi.fecnac, w.fecnac);
        t.put_number(fi.sexo, w.sexo);
        t.put_text(fi.libele, w.libele);
        t.put_text(fi.ctocto, w.ctocto);
        t.put_text(fi.codafp, w.codafp);
        t.put_number(fi.sueldo, w.sueldo);
        t.put_date(fi.fecing, w.fecing);
        t.put_date(fi.fecret, w.fecret);
        t.put_number(fi.activi, w.activi);
        t.put_logical(fi.extran, w.extran);
        t.put_text(fi.futc01, w.futc01);
        t.put_text(fi.caltur, w.caltur);
    }
    t.commit();
}

// ---------------------------------------------------------------- the shared fixture

// Built once per process, the first time a benchmark needs it: the table with its eleven
// tags (bulk-built), the generated rows, and the file's bytes for the raw baselines.
struct Fixture {
    TempDir dir;
    std::string dbf, cdx;
    std::vector<Row> rows;
    std::vector<std::string> surname_keys;  // PER2 full keys (UTF-8, padded to 60 characters)
    std::vector<uint8_t> header, records;   // the .dbf header and the record images
    uint32_t hl = 0, rl = 0;
    uint64_t cdx_size = 0;

    Fixture() {
        rows = generate_rows();
        dbf = dir.path + "/personal.dbf";
        cdx = dir.path + "/personal.cdx";
        {
            auto t = xbase::Table::create(dbf, personal_fields());
            append_rows(*t, rows);
            for (const auto& tag : personal_tags()) t->create_tag(tag);
            if (t->reccount() != kRecords) throw std::runtime_error("fixture: wrong record count");
            hl = t->header_length();
            rl = t->record_length();
        }
        cdx_size = fs::file_size(cdx);
        int fd = ::open(dbf.c_str(), O_RDONLY | O_CLOEXEC);
        header.resize(hl);
        records.resize(size_t(kRecords) * rl);
        bool ok = fd >= 0 && pread(fd, header.data(), hl, 0) == ssize_t(hl) &&
                  pread(fd, records.data(), records.size(), hl) == ssize_t(records.size());
        if (fd >= 0) ::close(fd);
        if (!ok) throw std::runtime_error("fixture: cannot read the table back");
        for (const Row& w : rows) surname_keys.push_back(pad_chars(w.ape1, 20) + pad_chars(w.ape2, 20) + pad_chars(w.nom1, 20));
    }

    // A private copy of the table and its index, for benchmarks that change it.
    std::string copy_to(const std::string& d) const {
        fs::copy_file(dbf, d + "/personal.dbf", fs::copy_options::overwrite_existing);
        fs::copy_file(cdx, d + "/personal.cdx", fs::copy_options::overwrite_existing);
        return d + "/personal.dbf";
    }
};

const Fixture& fixture() {
    static Fixture f;
    return f;
}

// Record numbers of the random look-ups, the same for the engine and the raw baseline.
const std::vector<uint32_t>& random_records() {
    static const std::vector<uint32_t> v = [] {
        Rng r(77);
        std::vector<uint32_t> out(kSeeks);
        for (auto& x : out) x = 1 + r.below(kRecords);
        return out;
    }();
    return v;
}

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {
        if (fd < 0) throw std::runtime_error(std::string("open: ") + std::strerror(errno));
    }
    ~Fd() { ::close(fd); }
};

void must(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// An engine error ends the benchmark with its message instead of the whole run.
template <typename Body>
void guarded(benchmark::State& state, Body body) {
    try {
        body();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Every benchmark: wall-clock time in milliseconds, engine errors reported, not fatal.
benchmark::internal::Benchmark* add(const char* name, void (*fn)(benchmark::State&), int iterations) {
    return benchmark::RegisterBenchmark(name, [fn](benchmark::State& s) { guarded(s, [&] { fn(s); }); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations)
        ->UseRealTime();
}

// ---------------------------------------------------------------- 1. append

void BM_Append(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        std::string path = dir->path + "/personal.dbf";
        state.ResumeTiming();
        {
            auto t = xbase::Table::create(path, personal_fields(), personal_tags());
            append_rows(*t, f.rows);
            t->close();
        }
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
    state.counters["records"] = kRecords;
}
[[maybe_unused]] auto* const r_BM_Append = add("BM_Append", BM_Append, 1);

// The same record images written one pwrite per record after a header, then synced.
void BM_Raw_Append(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        std::string path = dir->path + "/raw.dbf";
        state.ResumeTiming();
        {
            Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            must(pwrite(fd.fd, f.header.data(), f.hl, 0) == ssize_t(f.hl), "pwrite");
            for (uint32_t i = 0; i < kRecords; ++i)
                must(pwrite(fd.fd, f.records.data() + size_t(i) * f.rl, f.rl, off_t(f.hl + uint64_t(i) * f.rl)) ==
                         ssize_t(f.rl), "pwrite");
            uint8_t eof = 0x1A;
            must(pwrite(fd.fd, &eof, 1, off_t(f.hl + uint64_t(kRecords) * f.rl)) == 1, "pwrite");
            must(fdatasync(fd.fd) == 0, "fdatasync");
        }
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
}
[[maybe_unused]] auto* const r_BM_Raw_Append = add("BM_Raw_Append", BM_Raw_Append, 1);

// ---------------------------------------------------------------- 2. reindex

void BM_Reindex(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        auto t = xbase::Table::open(f.copy_to(dir->path), xbase::OpenOptions{true, false});
        state.ResumeTiming();
        t->reindex();
        t->close();
        state.PauseTiming();
        t.reset();
        dir.reset();
        state.ResumeTiming();
    }
}
[[maybe_unused]] auto* const r_BM_Reindex = add("BM_Reindex", BM_Reindex, 3);

// The table read sequentially and an index file of the same size written, in 1 MiB blocks.
void BM_Raw_Reindex(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<uint8_t> buf(1u << 20);
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        std::string out = dir->path + "/raw.cdx";
        state.ResumeTiming();
        {
            Fd in(::open(f.dbf.c_str(), O_RDONLY | O_CLOEXEC));
            ssize_t got;
            uint64_t sum = 0;
            for (off_t p = 0; (got = pread(in.fd, buf.data(), buf.size(), p)) > 0; p += got) sum += buf[0];
            benchmark::DoNotOptimize(sum);
            Fd o(::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
            for (uint64_t p = 0; p < f.cdx_size; p += buf.size()) {
                size_t n = size_t(std::min<uint64_t>(buf.size(), f.cdx_size - p));
                must(pwrite(o.fd, buf.data(), n, off_t(p)) == ssize_t(n), "pwrite");
            }
        }
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
}
[[maybe_unused]] auto* const r_BM_Raw_Reindex = add("BM_Raw_Reindex", BM_Raw_Reindex, 3);

// ---------------------------------------------------------------- 3. seeks

// Seeks 1,000,000 keys of random records in one tag; every key exists.
template <typename KeyOf>
void run_seeks(benchmark::State& state, bool exclusive, const char* tag, KeyOf key_of) {
    const Fixture& f = fixture();
    const auto& recs = random_records();
    double secs = 0;
    uint64_t found = 0;
    for (auto _ : state) {
        auto t = xbase::Table::open(f.dbf, xbase::OpenOptions{exclusive, false});
        t->set_order(tag);
        auto t0 = Clock::now();
        for (uint32_t i = 0; i < kSeeks; ++i) found += t->seek(key_of(i, recs[i] - 1));
        secs += seconds_since(t0);
    }
    if (found != uint64_t(kSeeks) * state.iterations()) state.SkipWithError("a seek did not find its key");
    state.counters["seeks_per_s"] = double(kSeeks) * double(state.iterations()) / secs;
}

std::string_view code_key(uint32_t, uint32_t row) { return fixture().rows[row].code; }

// Even look-ups give the full key (surname + surname + name), odd ones a surname prefix.
std::string_view surname_key(uint32_t i, uint32_t row) {
    const Fixture& f = fixture();
    return (i & 1) ? std::string_view(f.rows[row].ape1) : std::string_view(f.surname_keys[row]);
}

void BM_Seek_Code_Exclusive(benchmark::State& s) { run_seeks(s, true, "PER1", code_key); }
void BM_Seek_Code_Shared(benchmark::State& s) { run_seeks(s, false, "PER1", code_key); }
void BM_Seek_Surname_Exclusive(benchmark::State& s) { run_seeks(s, true, "PER2", surname_key); }
void BM_Seek_Surname_Shared(benchmark::State& s) { run_seeks(s, false, "PER2", surname_key); }
[[maybe_unused]] auto* const r_BM_Seek_Code_Exclusive = add("BM_Seek_Code_Exclusive", BM_Seek_Code_Exclusive, 1);
[[maybe_unused]] auto* const r_BM_Seek_Code_Shared = add("BM_Seek_Code_Shared", BM_Seek_Code_Shared, 1);
[[maybe_unused]] auto* const r_BM_Seek_Surname_Exclusive = add("BM_Seek_Surname_Exclusive", BM_Seek_Surname_Exclusive, 1);
[[maybe_unused]] auto* const r_BM_Seek_Surname_Shared = add("BM_Seek_Surname_Shared", BM_Seek_Surname_Shared, 1);

// The same 1,000,000 records fetched with one pread each.
void BM_Raw_Seek(benchmark::State& state) {
    const Fixture& f = fixture();
    const auto& recs = random_records();
    std::vector<uint8_t> rec(f.rl);
    double secs = 0;
    for (auto _ : state) {
        Fd fd(::open(f.dbf.c_str(), O_RDONLY | O_CLOEXEC));
        auto t0 = Clock::now();
        uint64_t sum = 0;
        for (uint32_t r : recs) {
            must(pread(fd.fd, rec.data(), f.rl, off_t(f.hl + uint64_t(r - 1) * f.rl)) == ssize_t(f.rl), "pread");
            sum += rec[1];
        }
        benchmark::DoNotOptimize(sum);
        secs += seconds_since(t0);
    }
    state.counters["seeks_per_s"] = double(kSeeks) * double(state.iterations()) / secs;
}
[[maybe_unused]] auto* const r_BM_Raw_Seek = add("BM_Raw_Seek", BM_Raw_Seek, 1);

// ---------------------------------------------------------------- 4. ordered scan

void run_scan(benchmark::State& state, bool exclusive) {
    const Fixture& f = fixture();
    double secs = 0;
    uint64_t seen = 0;
    for (auto _ : state) {
        auto t = xbase::Table::open(f.dbf, xbase::OpenOptions{exclusive, false});
        int code = t->field_index("PECODEMP");
        t->set_order("PER2");
        auto t0 = Clock::now();
        size_t bytes = 0;
        for (t->go_top(); !t->eof(); t->skip()) {
            bytes += t->get_text(code).size();
            ++seen;
        }
        secs += seconds_since(t0);
        benchmark::DoNotOptimize(bytes);
    }
    if (seen != uint64_t(kRecords) * state.iterations()) state.SkipWithError("the scan did not visit every record");
    state.counters["records_per_s"] = double(seen) / secs;
}

void BM_Scan_Surname_Exclusive(benchmark::State& s) { run_scan(s, true); }
void BM_Scan_Surname_Shared(benchmark::State& s) { run_scan(s, false); }
[[maybe_unused]] auto* const r_BM_Scan_Surname_Exclusive = add("BM_Scan_Surname_Exclusive", BM_Scan_Surname_Exclusive, 3);
[[maybe_unused]] auto* const r_BM_Scan_Surname_Shared = add("BM_Scan_Surname_Shared", BM_Scan_Surname_Shared, 1);

// The table read sequentially in 1 MiB blocks, one field looked at per record.
void BM_Raw_Scan(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<uint8_t> buf(size_t((1u << 20) / f.rl) * f.rl);
    double secs = 0;
    uint64_t seen = 0;
    for (auto _ : state) {
        Fd fd(::open(f.dbf.c_str(), O_RDONLY | O_CLOEXEC));
        auto t0 = Clock::now();
        size_t bytes = 0;
        for (uint32_t first = 0; first < kRecords;) {
            uint32_t n = std::min<uint32_t>(uint32_t(buf.size() / f.rl), kRecords - first);
            must(pread(fd.fd, buf.data(), size_t(n) * f.rl, off_t(f.hl + uint64_t(first) * f.rl)) ==
                     ssize_t(size_t(n) * f.rl), "pread");
            for (uint32_t j = 0; j < n; ++j) bytes += buf[size_t(j) * f.rl + 1];
            first += n;
            seen += n;
        }
        secs += seconds_since(t0);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["records_per_s"] = double(seen) / secs;
}
[[maybe_unused]] auto* const r_BM_Raw_Scan = add("BM_Raw_Scan", BM_Raw_Scan, 3);

// ---------------------------------------------------------------- 5. pack

// Every 20th record deleted beforehand (not timed); pack rewrites the table and every tag.
void BM_Pack(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        auto t = xbase::Table::open(f.copy_to(dir->path), xbase::OpenOptions{true, false});
        for (uint32_t r = 20; r <= kRecords; r += 20) {
            t->go_to(r);
            t->delete_record();
        }
        t->commit();
        state.ResumeTiming();
        t->pack();
        t->close();
        state.PauseTiming();
        bool ok = xbase::Table::open(dir->path + "/personal.dbf")->reccount() == kRecords - kRecords / 20;
        t.reset();
        dir.reset();
        if (!ok) state.SkipWithError("pack kept the wrong number of records");
        state.ResumeTiming();
    }
}
[[maybe_unused]] auto* const r_BM_Pack = add("BM_Pack", BM_Pack, 3);

// 95% of the records copied to a new file in 1 MiB blocks, header written, file synced.
void BM_Raw_Pack(benchmark::State& state) {
    const Fixture& f = fixture();
    const uint32_t batch = (1u << 20) / f.rl;
    std::vector<uint8_t> in(size_t(batch) * f.rl), out;
    out.reserve(in.size());
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<TempDir>();
        std::string path = dir->path + "/raw.dbf";
        state.ResumeTiming();
        {
            Fd src(::open(f.dbf.c_str(), O_RDONLY | O_CLOEXEC));
            Fd dst(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            uint64_t wpos = f.hl;
            for (uint32_t first = 0; first < kRecords; first += batch) {
                uint32_t n = std::min(batch, kRecords - first);
                must(pread(src.fd, in.data(), size_t(n) * f.rl, off_t(f.hl + uint64_t(first) * f.rl)) ==
                         ssize_t(size_t(n) * f.rl), "pread");
                out.clear();
                for (uint32_t j = 0; j < n; ++j)
                    if ((first + j + 1) % 20 != 0) out.insert(out.end(), in.begin() + size_t(j) * f.rl, in.begin() + size_t(j + 1) * f.rl);
                must(pwrite(dst.fd, out.data(), out.size(), off_t(wpos)) == ssize_t(out.size()), "pwrite");
                wpos += out.size();
            }
            must(pwrite(dst.fd, f.header.data(), f.hl, 0) == ssize_t(f.hl), "pwrite");
            must(fdatasync(dst.fd) == 0, "fdatasync");
        }
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
}
[[maybe_unused]] auto* const r_BM_Raw_Pack = add("BM_Raw_Pack", BM_Raw_Pack, 3);

}  // namespace

BENCHMARK_MAIN();
