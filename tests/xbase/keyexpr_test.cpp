#include "xbase/keyexpr.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "xbase/error.hpp"

// Counts heap allocations, so that a test can check that evaluation does not allocate.
namespace {
std::atomic<long> g_allocations{0};
}
void* operator new(size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using xbase::CodePage;
using xbase::ExprError;
using xbase::Field;
using xbase::ForExpr;
using xbase::KeyExpr;
using xbase::KeyType;

// ---- a record with a field of every type ----------------------------------------------

struct Rec {
    std::vector<Field> fields;
    std::vector<uint8_t> buf;

    void add(const char* name, char type, uint16_t len, uint8_t dec = 0) {
        Field f;
        f.name = name;
        f.type = type;
        f.len = len;
        f.dec = dec;
        f.offset = fields.empty() ? 1 : fields.back().offset + fields.back().len;
        fields.push_back(f);
        buf.resize(f.offset + len, ' ');
        buf[0] = ' ';
    }
    uint8_t* at(const char* name) { return buf.data() + fields[xbase::find_field(fields, name)].offset; }
    void set(const char* name, std::string_view bytes) {
        const Field& f = fields[xbase::find_field(fields, name)];
        ASSERT_LE(bytes.size(), f.len);
        std::memset(buf.data() + f.offset, ' ', f.len);
        std::memcpy(buf.data() + f.offset, bytes.data(), bytes.size());
    }
    void set_right(const char* name, std::string_view bytes) {  // numeric fields
        const Field& f = fields[xbase::find_field(fields, name)];
        std::memset(buf.data() + f.offset, ' ', f.len);
        std::memcpy(buf.data() + f.offset + f.len - bytes.size(), bytes.data(), bytes.size());
    }
    template <typename T>
    void set_bin(const char* name, T v) {  // little-endian host, as the files are
        std::memcpy(at(name), &v, sizeof v);
    }
};

Rec sample() {
    Rec r;
    r.add("CODE", 'C', 6);
    r.add("NAME", 'C', 10);
    r.add("AMOUNT", 'N', 10, 2);
    r.add("COUNT", 'N', 3);
    r.add("RATE", 'F', 8, 3);
    r.add("BORN", 'D', 8);
    r.add("NODATE", 'D', 8);
    r.add("FLAG", 'L', 1);
    r.add("QTY", 'I', 4);
    r.add("DBL", 'B', 8, 2);
    r.add("CASH", 'Y', 8);
    r.add("STAMP", 'T', 8);
    r.add("NOTES", 'M', 10);
    r.add("NUMTXT", 'C', 8);
    r.set("CODE", "ABC");
    r.set("NAME", "pe\xF1" "a ana");  // Windows-1252 "peña ana"
    r.set_right("AMOUNT", "-1234.56");
    r.set_right("COUNT", "7");
    r.set_right("RATE", "2.5");
    r.set("BORN", "19840229");
    r.set("FLAG", "T");
    r.set_bin<int32_t>("QTY", -42);
    r.set_bin<double>("DBL", 3.25);
    r.set_bin<int64_t>("CASH", 123456);  // 12.3456
    r.set_bin<int32_t>("STAMP", 2451545);  // 2000-01-01, time part follows
    r.set_bin<int32_t>("STAMP", 2451545);
    std::memcpy(r.at("STAMP") + 4, "\x10\x20\x30\x00", 4);
    r.set("NUMTXT", "  12.50x");
    return r;
}

std::string key_of(const KeyExpr& k, const uint8_t* rec) {
    std::string out(k.length(), '\0');
    k.eval(rec, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

double number_key(const KeyExpr& k, const uint8_t* rec) {
    uint8_t out[8];
    k.eval(rec, out);
    return xbase::decode_numeric_key(out);
}

// ---- encodings and calendar -----------------------------------------------------------

TEST(KeyEncoding, NumericKeysSortLikeTheNumbers) {
    const double values[] = {-HUGE_VAL, -1e300, -1234.56, -1.0, -0.5, -1e-300, 0.0,
                             1e-300,    0.5,    1.0,      2.0,  1234.56, 1e300, HUGE_VAL};
    std::string prev;
    for (double v : values) {
        uint8_t b[8];
        xbase::encode_numeric_key(v, b);
        std::string cur(reinterpret_cast<char*>(b), 8);
        EXPECT_LT(prev, cur) << v;
        EXPECT_EQ(xbase::decode_numeric_key(b), v);
        prev = cur;
    }
    uint8_t pos[8], neg[8], one[8];
    xbase::encode_numeric_key(0.0, pos);
    xbase::encode_numeric_key(-0.0, neg);
    xbase::encode_numeric_key(1.0, one);
    EXPECT_EQ(0, std::memcmp(pos, neg, 8));
    EXPECT_EQ(0, std::memcmp(pos, "\x80\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(0, std::memcmp(one, "\xBF\xF0\0\0\0\0\0\0", 8));
}

TEST(Calendar, JulianDays) {
    struct Case {
        int y, m, d;
        int32_t jd;
    } cases[] = {{2000, 1, 1, 2451545}, {1970, 1, 1, 2440588}, {1, 1, 1, 1721426},
                 {9999, 12, 31, 5373484}, {1900, 3, 1, 2415080}, {2024, 2, 29, 2460370},
                 {1582, 10, 15, 2299161}};
    for (const Case& c : cases) {
        EXPECT_EQ(xbase::julian_from_ymd(c.y, c.m, c.d), c.jd) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d;
        xbase::ymd_from_julian(c.jd, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    }
    EXPECT_EQ(xbase::julian_from_ymd(0, 0, 0), 0);
    // Every day of four centuries round-trips and follows the previous one.
    int32_t prev = xbase::julian_from_ymd(1899, 12, 31);
    for (int32_t jd = prev + 1; jd < prev + 146097; ++jd) {
        int y, m, d;
        xbase::ymd_from_julian(jd, y, m, d);
        ASSERT_EQ(xbase::julian_from_ymd(y, m, d), jd);
    }

    struct Text {
        const char* s;
        bool ok;
        int32_t jd;
    } texts[] = {{"20000101", true, 2451545}, {"", true, 0},          {"        ", true, 0},
                 {"20240229", true, 2460370}, {"20230229", false, 0}, {"20231301", false, 0},
                 {"2024022", false, 0},       {"2024 229", false, 0}, {"00000000", false, 0}};
    for (const Text& t : texts) {
        int32_t jd = -1;
        EXPECT_EQ(xbase::julian_from_dtos(t.s, jd), t.ok) << t.s;
        if (t.ok) {
            EXPECT_EQ(jd, t.jd) << t.s;
        }
    }
}

// ---- values and functions -------------------------------------------------------------

TEST(KeyExpr, CharacterKeys) {
    Rec r = sample();
    struct Case {
        const char* expr;
        std::string key;
    } cases[] = {
        {"code", "ABC   "},
        {"Code + Name", "ABC   pe\xF1" "a ana  "},
        {"Substr(Name,2,5)", "e\xF1" "a a"},
        {"Substr(Name,8,5)", "a  "},  // runs past the end: 3 wide
        {"Substr(Name,4)", "a ana  "},
        {"SUBS(Name, 1+1, 2*2)", "e\xF1" "a "},  // abbreviated name, constant arithmetic
        {"Left(Code,2) + Right(Code,4)", "ABC   "},
        {"Upper(Name)", "PE\xD1" "A ANA  "},
        {"Upper(Substr(Name,1,4)) + 'x'", "PE\xD1" "Ax"},
        {"Str(Count)", "         7"},
        {"Str(Count,3) + Str(Amount,9,1) + Str(Rate,6,2)", "  7  -1234.6  2.50"},
        {"Str(Amount,4)", "****"},
        {"Str(-0.004,5,2)", " 0.00"},
        {"StrZero(Count,5) + StrZero(-5,5) + StrZero(Amount,9,1)", "00007-0005-001234.6"},
        {"Str(Qty,4) + Str(Dbl,5,2) + Str(Cash,8,4)", " -42 3.25 12.3456"},
        {"DtoS(Born) + DtoS(NoDate) + DtoS(Stamp)", "19840229        20000101"},
        {"DtoS(Born + 1) + DtoS(Born - 60) + DtoS(NoDate + 1)", "1984030119831231        "},
        {"Str(Month(Born),4) + Str(Day(Born),4) + Str(Year(NoDate),4)", "   2  29   0"},
        {"Str(Born - Stamp, 7)", "  -5785"},
        {"Str(Val(NumTxt),6,2) + Str(Val(' +.5'),4,1) + Str(Val('abc'),2) + Str(Val(Code),2)",
         " 12.50 0.5 0 0"},
        {"Code - Name", "ABCpe\xF1" "a ana     "},
        {"Trim(Code) + '|' + LTrim('  x ') + AllTrim(' y ') + '|'", "ABC|x y|       "},
        {"Iif(Flag, Code, 'no') + Iif(Deleted(), 'D', 'A')", "ABC   A"},
        {"Str(Round(2.345, 2), 5, 2) + Str(Int(-2.7), 3) + Str(Abs(-3), 2) + Str(2^10, 5)",
         " 2.35 -2 3 1024"},
        {"Str(7 % 3, 2) + Str(-7 % 3, 2) + Str(-2^2, 3)", " 1 2 -4"},
        {"\"a\" + 'b' + [c]", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        KeyExpr k = KeyExpr::compile(c.expr, r.fields);
        EXPECT_EQ(k.type(), KeyType::Char);
        EXPECT_EQ(k.text(), c.expr);
        ASSERT_EQ(k.length(), static_cast<int>(c.key.size()));
        EXPECT_EQ(key_of(k, r.buf.data()), c.key);
    }
}

TEST(KeyExpr, NumericAndDateKeys) {
    Rec r = sample();
    struct Case {
        const char* expr;
        KeyType type;
        double value;
    } cases[] = {
        {"Amount", KeyType::Numeric, -1234.56},
        {"Count * 2 + Rate", KeyType::Numeric, 16.5},
        {"Qty", KeyType::Numeric, -42},
        {"Cash", KeyType::Numeric, 12.3456},
        {"Born", KeyType::Date, 2445760},
        {"NoDate", KeyType::Date, 0},
        {"Stamp + 31", KeyType::Date, 2451576},
        {"Year(Born)", KeyType::Numeric, 1984},
        {"Val('  -3.75kg')", KeyType::Numeric, -3.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        KeyExpr k = KeyExpr::compile(c.expr, r.fields);
        EXPECT_EQ(k.type(), c.type);
        EXPECT_EQ(k.length(), 8);
        EXPECT_EQ(number_key(k, r.buf.data()), c.value);
    }
    // Numeric fields that are blank or hold no number read as 0.
    KeyExpr amount = KeyExpr::compile("Amount", r.fields);
    for (const char* stored : {"", "**********", "abc", "-", "  -  1"}) {
        r.set_right("AMOUNT", stored);
        EXPECT_EQ(number_key(amount, r.buf.data()), 0.0) << stored;
    }
    r.set_right("AMOUNT", "  812.98");
    EXPECT_EQ(number_key(amount, r.buf.data()), 812.98);
    r.set_right("AMOUNT", "-0.00");
    uint8_t zero[8];
    amount.eval(r.buf.data(), zero);
    EXPECT_EQ(0, std::memcmp(zero, "\x80\0\0\0\0\0\0\0", 8));
    // A malformed date is the empty date.
    r.set("BORN", "19830229");
    EXPECT_EQ(number_key(KeyExpr::compile("Born", r.fields), r.buf.data()), 0.0);
    EXPECT_EQ(key_of(KeyExpr::compile("DtoS(Born)", r.fields), r.buf.data()), "        ");
}

TEST(ForExpr, Conditions) {
    Rec r = sample();
    struct Case {
        const char* expr;
        bool result;
    } cases[] = {
        {"Flag", true},
        {"!Flag", false},
        {".NOT. Flag .OR. .T.", true},       // .NOT. binds tighter than .OR.
        {".T. .OR. .F. .AND. .F.", true},    // .AND. binds tighter than .OR.
        {"(.T. .OR. .F.) .AND. .F.", false},
        {"1>0.AND.2>1", true},
        {"Count+1 = 8 .and. count*2 >= 14 .AND. Count < 7.5", true},
        {"Code = 'AB'", true},       // prefix rule
        {"Code = ''", true},
        {"Code = 'ABC   '", true},
        {"Code = 'ABC    '", false},  // longer than the field
        {"'AB' = Code", false},
        {"Code == 'ABC'", false},     // exact: the whole padded value
        {"Code == 'ABC   '", true},
        {"Trim(Code) == 'ABC'", true},
        {"Code <> 'AB'", false},
        {"Code # 'X' .AND. Code != 'Y'", true},
        {"Code < 'ABD' .AND. Code > 'AA' .AND. Code >= 'AB' .AND. Code <= 'AB'", true},
        {"Code > 'AB'", false},  // equal over the length of 'AB'
        {"Upper(Name) = 'PE\xC3\x91" "A'", true},  // the literal is UTF-8, stored as Windows-1252
        {"'BC' $ Code .AND. .NOT. 'CB' $ Code .AND. .NOT. '' $ Code", true},
        {"Born < Stamp .AND. NoDate < Born .AND. Born + 1 > Born .AND. Stamp - Born = 5785", true},
        {"Empty(NoDate) .AND. !Empty(Born) .AND. Empty(Code - Code) = .F. .AND. Empty(0)", true},
        {"Empty('   ') .AND. Empty(.F.) .AND. !Empty(Amount)", true},
        {"Deleted()", false},
        {"Flag = .T. .AND. Flag <> .F.", true},
        {"Iif(Count > 5, Code, Name) = 'ABC'", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        ForExpr f = ForExpr::compile(c.expr, r.fields);
        EXPECT_FALSE(f.always_true());
        EXPECT_EQ(f.eval(r.buf.data()), c.result);
    }
    ForExpr del = ForExpr::compile("DELE()", r.fields);
    r.buf[0] = '*';
    EXPECT_TRUE(del.eval(r.buf.data()));

    ForExpr flag = ForExpr::compile("Flag", r.fields);
    for (char v : std::string("TtYy")) {
        r.at("FLAG")[0] = static_cast<uint8_t>(v);
        EXPECT_TRUE(flag.eval(r.buf.data())) << v;
    }
    for (char v : std::string("FfNn ?")) {
        r.at("FLAG")[0] = static_cast<uint8_t>(v);
        EXPECT_FALSE(flag.eval(r.buf.data())) << v;
    }

    ForExpr blank = ForExpr::compile("  ", r.fields);
    EXPECT_TRUE(blank.always_true());
    EXPECT_TRUE(blank.eval(r.buf.data()));
}

TEST(KeyExpr, ErrorsNameTheExpressionAndTheProblem) {
    Rec r = sample();
    struct Case {
        const char* expr;
        bool is_key;
        const char* message;  // part of the message
    } cases[] = {
        {"PeCodxx + Name", true, "unknown field PECODXX in key expression 'PeCodxx + Name'"},
        {"(Code + Name", true, "missing ')'"},
        {"Code + Name)", true, "unexpected ')' at position 12"},
        {"Str(Code)", true, "Str() argument 1 needs a number, not text"},
        {"Str(Count, Count)", true, "must be a constant number"},
        {"Str(Count, 0)", true, "width must be 1 to 255"},
        {"Substr(Code, 0, 2)", true, "start must be 1 or more"},
        {"Foo(Code)", true, "unknown function FOO()"},
        {"Notes", true, "memo field NOTES"},
        {"Flag", true, "cannot be logical"},
        {"Left(Code, 0)", true, "no width"},
        {"Code + Count", true, "cannot add text and a number"},
        {"Code = Count", false, "cannot compare text with a number"},
        {"Flag < .T.", false, "logical values can only be compared"},
        {"Code", false, "must be logical"},
        {"Str(Count,3,", true, "unexpected end of the expression"},
        {"Code + ", true, "unexpected end of the expression"},
        {"'abc", true, "text without its closing '"},
        {"Code .XOR. Name", true, "unknown operator '.XOR.'"},
        {"Code @ Name", true, "unexpected character '@'"},
        {"Alias->Code", true, "alias"},
        {"Str(Count,4,2,1)", true, "Str() takes 1 to 3 arguments, not 4"},
        {"Deleted(1)", false, "takes 0 arguments"},
        {"'\xE4\xB8\xAD'", true, "code page cannot hold"},
        {"", true, "nothing to index"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        try {
            if (c.is_key)
                KeyExpr::compile(c.expr, r.fields);
            else
                ForExpr::compile(c.expr, r.fields);
            ADD_FAILURE() << "compiled";
        } catch (const ExprError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(KeyExpr, HostileInputFailsCleanly) {
    Rec r = sample();
    std::vector<std::string> inputs = {
        std::string(100000, '('),
        std::string(5000, '(') + "Code" + std::string(5000, ')'),
        std::string(20000, '-') + "1",
        std::string(20000, '!') + "Flag",
    };
    std::string chain = "Count";
    for (int i = 0; i < 3000; ++i) chain += "+Count";
    inputs.push_back(chain);
    std::string wide = "Str(1,255)";
    for (int i = 0; i < 20; ++i) wide += "+Str(1,255)";
    inputs.push_back(wide);
    for (const std::string& in : inputs) {
        EXPECT_THROW(KeyExpr::compile(in, r.fields), ExprError) << in.substr(0, 20);
        EXPECT_THROW(ForExpr::compile(in, r.fields), ExprError) << in.substr(0, 20);
    }
}

TEST(KeyExpr, EvaluationDoesNotAllocate) {
    Rec r = sample();
    std::vector<KeyExpr> keys;
    for (const char* e : {"Code + Name", "Code + DtoS(Born) + Str(Count,3) + Upper(Name)",
                          "Trim(Substr(Name + Code, 3, 9)) + Str(Val(NumTxt), 6, 2)", "Amount", "Born"})
        keys.push_back(KeyExpr::compile(e, r.fields));
    ForExpr cond = ForExpr::compile("Substr(Upper(Name), 1, 3) = 'PE' .AND. Amount < 0", r.fields);
    uint8_t out[64];
    long before = g_allocations.load();
    bool ok = true;
    for (const KeyExpr& k : keys) k.eval(r.buf.data(), out);
    ok = cond.eval(r.buf.data());
    EXPECT_EQ(g_allocations.load(), before);
    EXPECT_TRUE(ok);
}

// ---- the fixture tables -----------------------------------------------------------------
//
// For every tag of the fixture tables, the keys computed for the stored records, sorted
// (ties by record number), give the order the index file holds.

struct Dbf {
    std::vector<Field> fields;
    std::vector<std::vector<uint8_t>> records;
};

Dbf read_dbf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Dbf t;
    if (b.size() < 32) return t;
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
        return v;
    };
    const uint32_t count = le(4, 4), header = le(8, 2), reclen = le(10, 2);
    uint32_t offset = 1;
    for (size_t at = 32; at + 32 <= header && b[at] != 0x0D; at += 32) {
        Field f;
        f.name.assign(reinterpret_cast<const char*>(&b[at]), strnlen(reinterpret_cast<const char*>(&b[at]), 11));
        f.type = static_cast<char>(b[at + 11]);
        f.len = b[at + 16];
        f.dec = b[at + 17];
        f.offset = offset;
        offset += f.len;
        t.fields.push_back(f);
    }
    for (uint32_t i = 0; i < count && header + (i + 1) * reclen <= b.size(); ++i)
        t.records.emplace_back(b.begin() + header + i * reclen, b.begin() + header + (i + 1) * reclen);
    return t;
}

TEST(KeyExprFixtures, KeysReproduceTheStoredIndexOrder) {
    const std::string dir = std::string(PLANILLA_FIXTURES) + "/xbase/";
    std::ifstream mf(dir + "manifest.json");
    ASSERT_TRUE(mf) << dir;
    nlohmann::json manifest = nlohmann::json::parse(mf);
    int checked = 0;
    for (const auto& table : manifest["tables"]) {
        const std::string name = table["table"];
        Dbf dbf = read_dbf(dir + name + ".dbf");
        ASSERT_EQ(dbf.records.size(), table["reccount"].get<size_t>()) << name;
        for (const auto& tag : table["tags"]) {
            const std::string key = tag["key"], cond = tag["for"];
            SCOPED_TRACE(name + " " + tag["name"].get<std::string>() + ": " + key);
            KeyExpr k = KeyExpr::compile(key, dbf.fields);
            ForExpr f = ForExpr::compile(cond, dbf.fields);
            EXPECT_EQ(static_cast<char>(k.type()), tag["keytype"].get<std::string>()[0]);

            std::vector<std::pair<std::string, uint32_t>> keys;  // key, record number
            for (uint32_t i = 0; i < dbf.records.size(); ++i)
                if (f.eval(dbf.records[i].data())) keys.emplace_back(key_of(k, dbf.records[i].data()), i + 1);
            std::vector<uint32_t> order = tag["order"];

            std::vector<std::string> stored;  // keys in the stored order
            std::vector<std::string> index_of(dbf.records.size() + 1);
            for (const auto& [kb, recno] : keys) index_of[recno] = kb;
            for (uint32_t recno : order) stored.push_back(index_of.at(recno));

            if (!tag["unique"].get<bool>() && !tag["descending"].get<bool>()) {
                std::sort(keys.begin(), keys.end());
                std::vector<uint32_t> mine;
                for (const auto& kr : keys) mine.push_back(kr.second);
                EXPECT_EQ(mine, order);
            } else {
                // The stored keys run the tag's way, and a UNIQUE tag holds each key once.
                std::vector<std::string> expect = stored;
                std::sort(expect.begin(), expect.end());
                if (tag["descending"].get<bool>()) std::reverse(expect.begin(), expect.end());
                EXPECT_EQ(stored, expect);
                if (tag["unique"].get<bool>()) {
                    std::vector<std::string> distinct;
                    for (const auto& kr : keys) distinct.push_back(kr.first);
                    std::sort(distinct.begin(), distinct.end());
                    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
                    EXPECT_EQ(stored, distinct);
                } else {
                    EXPECT_EQ(stored.size(), keys.size());
                }
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 30);
}

}  // namespace
