// The command-line contract of `planilla-cli dbf`: outputs, exit codes and the changes it
// makes, run as a separate process the way support people and other checks use it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Result {
    int rc;
    std::string out;
};

Result cli(const std::string& args, const std::string& input = "") {
    std::string cmd = std::string(PLANILLA_CLI) + " dbf " + args + " 2>/dev/null";
    fs::path in = fs::temp_directory_path() / ("planilla-cli-in-" + std::to_string(getpid()));
    if (!input.empty()) {
        std::ofstream(in) << input;
        cmd += " < " + in.string();
    } else {
        cmd += " < /dev/null";
    }
    Result r{0, {}};
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    fs::remove(in);
    return r;
}

std::vector<json> lines(const std::string& s) {
    std::vector<json> v;
    size_t p = 0;
    for (size_t q; (q = s.find('\n', p)) != std::string::npos; p = q + 1) v.push_back(json::parse(s.substr(p, q - p)));
    return v;
}

class DbfCli : public ::testing::Test {
protected:
    fs::path dir;
    std::string table;
    void SetUp() override {
        char tmpl[] = "/tmp/planilla-cli-XXXXXX";
        dir = mkdtemp(tmpl);
        table = (dir / "AFP.dbf").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void make() {
        ASSERT_EQ(cli("create " + table +
                      " --field AFCODIGO:C:3 --field AFDESCRI:C:20 --field AFIMP011:N:8:4 --field AFFECHA:D:8"
                      " --field AFACTIVO:L:1 --field AFNOTA:M:10"
                      " --tag afp1=afcodigo --tag AFP2=AFDESCRI --for AFACTIVO --tag AFP3=AFIMP011 --descending")
                      .rc, 0);
        ASSERT_EQ(cli("append " + table,
                      "{\"AFCODIGO\":\"004\",\"AFDESCRI\":\"INTEGRA\",\"AFIMP011\":10.0,\"AFFECHA\":\"20110501\",\"AFACTIVO\":true,\"AFNOTA\":\"tasa año\"}\n"
                      "{\"AFCODIGO\":\"001\",\"AFDESCRI\":\"HORIZONTE\",\"AFIMP011\":1.005,\"AFACTIVO\":false}\n"
                      "{\"AFCODIGO\":\"002\",\"AFDESCRI\":\"PRIMA\",\"AFIMP011\":\"-2.34565\",\"AFACTIVO\":true,\"_deleted\":true}\n")
                      .rc, 0);
    }
};

TEST_F(DbfCli, CreateAppendDumpInTagOrder) {
    make();
    auto r = cli("dump " + table + " --tag AFP1");
    ASSERT_EQ(r.rc, 0);
    auto v = lines(r.out);
    ASSERT_EQ(v.size(), 2u);  // the deleted record is hidden
    EXPECT_EQ(v[0]["recno"], 2);
    EXPECT_EQ(v[0]["values"]["AFCODIGO"], "001");
    EXPECT_EQ(v[0]["values"]["AFDESCRI"], "HORIZONTE           ");  // blank padding kept
    EXPECT_EQ(v[0]["values"]["AFIMP011"], 1.005);
    EXPECT_EQ(v[0]["values"]["AFFECHA"], "");
    EXPECT_EQ(v[0]["values"]["AFACTIVO"], false);
    EXPECT_EQ(v[1]["values"]["AFNOTA"], "tasa año");
    EXPECT_EQ(v[1]["values"]["AFFECHA"], "20110501");

    v = lines(cli("dump " + table + " --deleted").out);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[2]["deleted"], true);
    EXPECT_EQ(v[2]["values"]["AFIMP011"], -2.3457);  // rounded half away from zero to 4 decimals

    // FOR condition: only active funds; descending numeric tag.
    v = lines(cli("dump " + table + " --tag afp2 --deleted").out);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0]["values"]["AFCODIGO"], "004");
    v = lines(cli("dump " + table + " --tag AFP3 --deleted").out);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0]["recno"], 1);
    EXPECT_EQ(v[2]["recno"], 3);

    r = cli("dump " + table + " --format csv");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "recno,deleted,AFCODIGO,AFDESCRI,AFIMP011,AFFECHA,AFACTIVO,AFNOTA");
    EXPECT_EQ(cli("check " + table).out, "ok\n");
}

TEST_F(DbfCli, SeekInfoAndChanges) {
    make();
    struct Case { std::string args; std::string out; };
    for (const Case& c : std::vector<Case>{
             {"--tag afp1 00", "found=true eof=false recno=2\n"},     // prefix of a longer key
             {"--tag afp1 003", "found=false eof=true recno=0\n"},    // soft seek off: end of file
             {"--tag afp1 --soft 003", "found=false eof=false recno=1\n"},
             {"--tag afp1 002", "found=false eof=true recno=0\n"},    // deleted: hidden
             {"--tag afp1 --deleted 002", "found=true eof=false recno=3\n"},
             {"--tag AFP3 10", "found=true eof=false recno=1\n"},
         })
        EXPECT_EQ(cli("seek " + table + " " + c.args).out, c.out) << c.args;

    auto info = cli("info " + table).out;
    EXPECT_NE(info.find("version: 0xF5"), std::string::npos) << info;
    EXPECT_NE(info.find("AFIMP011 N 8 4"), std::string::npos) << info;
    EXPECT_NE(info.find("AFP2 key=AFDESCRI for=AFACTIVO unique=false descending=false"), std::string::npos) << info;
    EXPECT_NE(info.find("AFP1 key=afcodigo"), std::string::npos) << info;  // expression text kept as given

    EXPECT_EQ(cli("replace " + table + " 2", "{\"AFCODIGO\":\"009\",\"AFNOTA\":\"otra\"}").rc, 0);
    EXPECT_EQ(cli("seek " + table + " --tag afp1 009").out, "found=true eof=false recno=2\n");
    EXPECT_EQ(cli("recall " + table + " 3").rc, 0);
    EXPECT_EQ(cli("seek " + table + " --tag afp1 002").out, "found=true eof=false recno=3\n");
    EXPECT_EQ(cli("delete " + table + " 1").rc, 0);
    EXPECT_EQ(cli("pack " + table).rc, 0);
    auto v = lines(cli("dump " + table + " --deleted").out);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0]["values"]["AFNOTA"], "otra");
    EXPECT_EQ(cli("index " + table + " --tag 'AFP4=Str(AfImp011,10,2)+AfCodigo' --unique").rc, 0);
    EXPECT_EQ(cli("reindex " + table).rc, 0);
    EXPECT_EQ(cli("check " + table).out, "ok\n");
    EXPECT_EQ(cli("zap " + table).rc, 0);
    EXPECT_EQ(cli("dump " + table + " --deleted").out, "");
    EXPECT_EQ(cli("check " + table).rc, 0);
}

TEST_F(DbfCli, ExitCodes) {
    make();
    EXPECT_EQ(cli("").rc, 2);
    EXPECT_EQ(cli("frobnicate " + table).rc, 2);
    EXPECT_EQ(cli("seek " + table + " 001").rc, 2);  // no --tag
    EXPECT_EQ(cli("create " + (dir / "X.dbf").string() + " --field A:C").rc, 2);
    EXPECT_EQ(cli("delete " + table + " 99").rc, 2);
    EXPECT_EQ(cli("dump " + table + " --format xml").rc, 2);
    EXPECT_EQ(cli("append " + table, "{not json}\n").rc, 2);
    EXPECT_EQ(cli("replace " + table + " 1", "{\"AFIMP011\":123456}").rc, 1);  // does not fit N 8,4
    EXPECT_EQ(cli("info " + (dir / "NOPE.dbf").string()).rc, 1);
    // A damaged header.
    fs::copy_file(table, dir / "BAD.dbf");
    { std::fstream f(dir / "BAD.dbf", std::ios::in | std::ios::out | std::ios::binary); f.seekp(10); f.put(char(0x7F)); }
    EXPECT_EQ(cli("info " + (dir / "BAD.dbf").string()).rc, 4);
}

}  // namespace
