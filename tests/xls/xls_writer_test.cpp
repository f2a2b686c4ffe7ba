// XlsWriter records: byte-exact layouts, attribute bits, registries, errors and the file
// life cycle (temporary name, rename, failures).
#include "xls/xls_writer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/xls/xls_test_util.hpp"

using namespace xls_test;
using xls::CellStyle;
using xls::XlsError;
using xls::XlsStyles;
using xls::XlsWriter;

namespace {

const std::string kFont0 = hex("31 00 0A 00 C8 00 00 00 05 41 72 69 61 6C");
const std::string kHeader = hex(
    "09 00 04 00 05 00 10 00"
    "0D 00 02 00 01 00"
    "0C 00 02 00 01 00"
    "0F 00 02 00 01 00"
    "11 00 02 00 00 00"
    "10 00 08 00 FC A9 F1 D2 4D 62 50 3F"
    "0E 00 02 00 01 00"
    "22 00 02 00 00 00"
    "25 00 02 00 FF 80") + kFont0 + kFont0 + kFont0 + kFont0 +
    hex("40 00 02 00 00 00"
        "1F 00 02 00 01 00"
        "1E 00 08 00 07 47 65 6E 65 72 61 6C");
const std::string kClosing = hex("1B 00 02 00 00 00 1A 00 02 00 00 00 12 00 02 00 00 00 0A 00 00 00");

// The bytes the calls write between the header and the closing records.
std::string body(const std::function<void(XlsWriter&)>& calls, const XlsStyles& styles = {}) {
    std::ostringstream out;
    XlsWriter w(out, styles);
    size_t start = out.str().size();
    calls(w);
    w.End();
    std::string f = out.str();
    return f.substr(start, f.size() - start - kClosing.size());
}

std::string temp_dir() {
    auto d = std::filesystem::temp_directory_path() / ("xls_writer_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d.string();
}

}  // namespace

TEST(XlsWriter, EmptySheetIsHeaderAndClosingRecords) {
    std::ostringstream out;
    XlsWriter w(out, XlsStyles{});
    EXPECT_FALSE(w.End());
    EXPECT_EQ(to_hex(out.str()), to_hex(kHeader + kClosing));
}

TEST(XlsWriter, HeaderOptions) {
    std::ostringstream out;
    XlsWriter w(out, XlsStyles{}, {.auto_calc = false, .iterations = 100, .protect = true, .open_when_done = true});
    EXPECT_TRUE(w.End());
    auto r = records(out.str());
    EXPECT_EQ(r[1].data, hex("00 00"));  // CALCMODE manual
    EXPECT_EQ(r[2].data, hex("64 00"));  // CALCCOUNT 100
    EXPECT_EQ(r[4].data, hex("01 00"));  // ITERATION on
    EXPECT_EQ(r[r.size() - 2].id, 0x0012);
    EXPECT_EQ(r[r.size() - 2].data, hex("01 00"));  // PROTECT
}

TEST(XlsWriter, FontsAndFormatsReachTheHeader) {
    XlsStyles st;
    EXPECT_EQ(st.font("Arial", 12, true), 1);
    EXPECT_EQ(st.font("Courier New", 8, false, true, true, true), 2);
    EXPECT_EQ(st.font("Arial", 12, true), 1);  // identical entry
    EXPECT_EQ(st.font("Times", 9), 3);
    EXPECT_EQ(st.font("Fourth"), 4);
    EXPECT_EQ(st.font("Fifth"), 5);
    EXPECT_EQ(st.format("0.00"), 1);
    EXPECT_EQ(st.format("dd/mm/yyyy"), 2);
    EXPECT_EQ(st.format("0.00"), 1);
    std::ostringstream out;
    XlsWriter w(out, st);
    w.End();
    std::vector<std::string> fonts, formats;
    for (const Record& r : records(out.str())) {
        if (r.id == 0x31) fonts.push_back(to_hex(r.data));
        if (r.id == 0x1E) formats.push_back(to_hex(r.data));
    }
    ASSERT_EQ(fonts.size(), 4u);  // the fourth and fifth registered fonts are not written
    EXPECT_EQ(fonts[1], to_hex(hex("F0 00 01 00 05") + "Arial"));
    EXPECT_EQ(fonts[2], to_hex(hex("A0 00 0E 00 0B") + "Courier New"));
    EXPECT_EQ(fonts[3], to_hex(hex("B4 00 00 00 05") + "Times"));
    EXPECT_EQ(formats, (std::vector<std::string>{to_hex("\x07General"), to_hex("\x04" "0.00"),
                                                  to_hex("\x0A" "dd/mm/yyyy")}));
    st.clear_fonts();
    st.clear_formats();
    EXPECT_TRUE(st.fonts().empty());
    EXPECT_EQ(st.font("Fifth"), 1);
    EXPECT_EQ(st.format("0"), 1);
}

TEST(XlsWriter, CellRecords) {
    const common::Date d2024 = common::date_from_ymd(2024, 1, 15);
    struct Case {
        const char* what;
        std::function<void(XlsWriter&)> call;
        const char* bytes;
    };
    const Case cases[] = {
        {"integer 65535", [](XlsWriter& w) { w.Number(1, 1, 65535); }, "02 00 09 00 00 00 00 00 00 00 00 FF FF"},
        {"integer 0", [](XlsWriter& w) { w.Number(2, 3, 0); }, "02 00 09 00 01 00 02 00 00 00 00 00 00"},
        {"number 65536", [](XlsWriter& w) { w.Number(1, 1, 65536); },
         "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 40"},
        {"number -1", [](XlsWriter& w) { w.Number(1, 1, -1); },
         "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 BF"},
        {"number 2.5", [](XlsWriter& w) { w.Number(1, 1, 2.5); },
         "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 04 40"},
        {"label in Windows-1252", [](XlsWriter& w) { w.String(3, 2, "Año €"); },
         "04 00 0D 00 02 00 01 00 00 00 00 05 41 F1 6F 20 80"},
        {"empty label", [](XlsWriter& w) { w.String(1, 1, ""); }, "04 00 08 00 00 00 00 00 00 00 00 00"},
        {"boolean", [](XlsWriter& w) { w.Boolean(1, 1, true); }, "05 00 09 00 00 00 00 00 00 00 00 01 00"},
        {"error", [](XlsWriter& w) { w.Error(1, 1, 0x07); }, "05 00 09 00 00 00 00 00 00 00 00 07 01"},
        {"blank", [](XlsWriter& w) { w.Blank(16384, 256); }, "01 00 07 00 FF 3F FF 00 00 00 00"},
        {"date 2024-01-15", [&](XlsWriter& w) { w.Date(1, 1, d2024); }, "02 00 09 00 00 00 00 00 00 00 00 FA B0"},
        {"date 1900-03-01", [](XlsWriter& w) { w.Date(1, 1, common::date_from_ymd(1900, 3, 1)); },
         "02 00 09 00 00 00 00 00 00 00 00 3D 00"},
        {"empty date", [](XlsWriter& w) { w.Date(1, 1, common::kEmptyDate); }, "01 00 07 00 00 00 00 00 00 00 00"},
        // 2079-06-06 is serial 65537: NUMBER, not a wrapped INTEGER
        {"date past 65535", [](XlsWriter& w) { w.Date(1, 1, common::date_from_ymd(2079, 6, 6)); },
         "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 10 00 F0 40"},
        {"note", [](XlsWriter& w) { w.Note(2, 3, "Año"); }, "1C 00 09 00 01 00 02 00 03 00 41 F1 6F"},
        {"row default", [](XlsWriter& w) { w.Row(5); },
         "08 00 10 00 04 00 00 00 00 00 FF 00 00 00 00 00 00 00 00 00"},
        {"row 20.33 points", [](XlsWriter& w) { w.Row(1, 20.33); },
         "08 00 10 00 00 00 00 00 00 00 96 01 00 00 00 00 00 00 00 00"},
        {"column default", [](XlsWriter& w) { w.Col(2); }, "24 00 04 00 01 01 6E 0B"},
        {"columns 3-5 width 20", [](XlsWriter& w) { w.Col(3, 5, 20); }, "24 00 04 00 02 04 B8 14"},
        {"suppressed zeros", [](XlsWriter& w) { w.SetDisplay({.suppress_zeros = true}); },
         "3D 00 09 00 00 00 00 00 84 17 B4 0F 00"
         "3E 00 0E 00 00 01 01 00 00 00 00 00 00 01 00 00 00 00"},
        {"hidden column", [](XlsWriter& w) { w.Col(1, 1, 30, true); }, "24 00 04 00 00 00 00 00"},
        {"display defaults", [](XlsWriter& w) { w.SetDisplay(); },
         "3D 00 09 00 00 00 00 00 84 17 B4 0F 00"
         "3E 00 0E 00 00 01 01 00 01 00 00 00 00 01 00 00 00 00"},
        {"display as the exports call it",
         [](XlsWriter& w) { w.SetDisplay({.show_gridlines = false}); },
         "3D 00 09 00 00 00 00 00 84 17 B4 0F 00"
         "3E 00 0E 00 00 00 01 00 01 00 00 00 00 01 00 00 00 00"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_hex(body(c.call)), to_hex(hex(c.bytes))) << c.what;
}

TEST(XlsWriter, LabelOf255BytesFitsAndLongerIsCut) {
    std::string b255 = body([](XlsWriter& w) { w.String(1, 1, std::string(255, 'x')); });
    ASSERT_EQ(b255.size(), 4u + 8 + 255);
    EXPECT_EQ(static_cast<unsigned char>(b255[11]), 255);
    // 200 two-byte UTF-8 characters are 200 bytes in Windows-1252; 300 of them are cut to 255.
    std::string n;
    for (int i = 0; i < 300; ++i) n += "ñ";
    std::string cut = body([&](XlsWriter& w) { w.String(1, 1, n); });
    ASSERT_EQ(cut.size(), 4u + 8 + 255);
    EXPECT_EQ(cut.substr(2, 2), hex("07 01"));
    EXPECT_EQ(static_cast<unsigned char>(cut[11]), 255);
    EXPECT_EQ(static_cast<unsigned char>(cut.back()), 0xF1);
}

TEST(XlsWriter, AttributeBytes) {
    struct Case {
        CellStyle st;
        const char* attrs;
    };
    const Case cases[] = {
        {{}, "00 00 00"},
        {{.hidden = true, .locked = true}, "C0 00 00"},
        {{.font = 1}, "00 40 00"},
        {{.font = 2, .format = 5}, "00 85 00"},
        {{.font = 3, .format = 63}, "00 FF 00"},
        {{.font = 5}, "00 C0 00"},  // a fifth font uses font 3
        {{.shaded = true, .border = 120, .align = 2}, "00 00 FA"},
        {{.border = 0x08, .align = 1}, "00 00 09"},
    };
    for (const Case& c : cases) {
        std::string b = body([&](XlsWriter& w) { w.Blank(1, 1, c.st); });
        EXPECT_EQ(to_hex(b.substr(8, 3)), to_hex(hex(c.attrs))) << c.attrs;
    }
}

TEST(XlsWriter, PrinterRecords) {
    std::string b = body([](XlsWriter& w) { w.SetPrinter({.left = 0.6, .top = 0.6, .bottom = 0.8}); });
    auto r = records(b);
    ASSERT_EQ(r.size(), 8u);
    EXPECT_EQ(r[0].id, 0x14);
    EXPECT_EQ(r[0].data, "");
    EXPECT_EQ(r[1].id, 0x15);
    EXPECT_EQ(r[1].data, "");
    EXPECT_EQ(r[2].data, f64(0.6));
    EXPECT_EQ(r[3].data, f64(0.0));
    EXPECT_EQ(r[4].data, f64(0.6));
    EXPECT_EQ(r[5].data, f64(0.8));
    EXPECT_EQ(r[6].id, 0x2A);
    EXPECT_EQ(r[7].id, 0x2B);
    EXPECT_EQ(r[7].data, hex("00 00"));

    auto h = records(body([](XlsWriter& w) { w.SetPrinter({.header = "Planilla Año", .footer = "&P"}); }));
    EXPECT_EQ(h[0].data, "\x0CPlanilla A\xF1o");
    EXPECT_EQ(h[1].data, "\x02&P");
}

TEST(XlsWriter, PageBreaksAreSortedAndWrittenAtEnd) {
    std::ostringstream out;
    XlsWriter w(out, XlsStyles{});
    std::vector<int> rows = {40, 10, 25}, more = {10, 5}, cols = {3};
    w.AddBreak("HORIZONTAL", rows);
    w.AddBreak("HORIZONTAL", more);
    w.AddBreak("VERTICAL", cols);
    w.AddBreak("DIAGONAL", cols);  // any other kind does nothing
    w.End();
    auto r = records(out.str());
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[r.size() - 4].id, 0x1B);
    EXPECT_EQ(to_hex(r[r.size() - 4].data), to_hex(hex("04 00 04 00 09 00 18 00 27 00")));
    EXPECT_EQ(r[r.size() - 3].id, 0x1A);
    EXPECT_EQ(to_hex(r[r.size() - 3].data), to_hex(hex("01 00 02 00")));
}

TEST(XlsWriter, SayDispatchesByType) {
    namespace fo = common::formula;
    fo::Env env;
    env.resize(2);
    env.set_text(0, "abc");
    env.set_array(1, std::vector<double>{1, 2});
    std::string b = body([&](XlsWriter& w) {
        w.Say(1, 1, fo::Value::of_number(7));
        w.Say(1, 2, env.get(0));
        w.Say(1, 3, fo::Value::of_date(common::date_from_ymd(2024, 1, 15)));
        w.Say(1, 4, fo::Value::of_logical(false));
        w.Say(1, 5, fo::Value{});
        w.Say(1, 6, std::function<fo::Value()>([] { return fo::Value::of_number(2.5); }));
    });
    std::vector<uint16_t> ids;
    for (const Record& r : records(b)) ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x02, 0x04, 0x02, 0x05, 0x01, 0x03}));

    std::ostringstream out;
    XlsWriter w(out, XlsStyles{});
    try {
        w.Say(1, 1, env.get(1));
        FAIL() << "an array has no cell";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.number(), 3);
        EXPECT_EQ(e.description(), "Data type XLS no support");
        EXPECT_EQ(e.severity(), 1);
        EXPECT_TRUE(e.can_default());
        EXPECT_EQ(e.subsystem(), "XlsWriter");
        EXPECT_EQ(e.operation(), "\r\nType: A");
    }
}

TEST(XlsWriter, ValuesThatDoNotFitAreErrors) {
    struct Case {
        const char* what;
        std::function<void(XlsWriter&)> call;
        int number;
    };
    const Case cases[] = {
        {"row 0", [](XlsWriter& w) { w.Number(0, 1, 1); }, 5},
        {"row 16385", [](XlsWriter& w) { w.String(16385, 1, "x"); }, 5},
        {"column 257", [](XlsWriter& w) { w.Blank(1, 257); }, 5},
        {"column 0", [](XlsWriter& w) { w.Boolean(1, 0, true); }, 5},
        {"note outside", [](XlsWriter& w) { w.Note(1, 300, "x"); }, 5},
        {"row record outside", [](XlsWriter& w) { w.Row(20000); }, 5},
        {"column width outside", [](XlsWriter& w) { w.Col(1, 300); }, 5},
        {"break outside", [](XlsWriter& w) { std::vector<int> v{0}; w.AddBreak("HORIZONTAL", v); }, 5},
        {"format 64", [](XlsWriter& w) { w.Number(1, 1, 1, {.format = 64}); }, 6},
        {"border into the shade bit", [](XlsWriter& w) { w.Number(1, 1, 1, {.border = 0x80}); }, 6},
        {"alignment 8", [](XlsWriter& w) { w.Number(1, 1, 1, {.align = 8}); }, 6},
        {"window too wide", [](XlsWriter& w) { w.SetDisplay({.right = 5000}); }, 6},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        XlsWriter w(out, XlsStyles{});
        size_t before = out.str().size();
        try {
            c.call(w);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.number(), c.number) << c.what;
            EXPECT_EQ(e.severity(), 3) << c.what;
            EXPECT_FALSE(e.can_default()) << c.what;
            EXPECT_EQ(e.subsystem(), "XlsWriter");
        }
        EXPECT_EQ(out.str().size(), before) << c.what << ": nothing is written";
    }
}

TEST(XlsWriter, FileIsWrittenUnderATemporaryNameAndRenamed) {
    std::string dir = temp_dir();
    std::string path = dir + "/sheet.xls";
    std::filesystem::remove(path);
    {
        XlsWriter w(path, XlsStyles{});
        w.Number(1, 1, 3);
        EXPECT_FALSE(std::filesystem::exists(path));  // not there until End
        w.End();
        EXPECT_EQ(w.bytes_written(), std::filesystem::file_size(path));
    }
    std::ifstream in(path, std::ios::binary);
    std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(f.substr(0, kHeader.size()), kHeader);
    EXPECT_EQ(f.substr(f.size() - kClosing.size()), kClosing);

    // An unfinished writer leaves nothing behind.
    std::string other = dir + "/unfinished.xls";
    { XlsWriter w(other, XlsStyles{}); w.Number(1, 1, 3); }
    EXPECT_FALSE(std::filesystem::exists(other));
    size_t left = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) left += e.path().filename() != "sheet.xls";
    EXPECT_EQ(left, 0u);
    std::filesystem::remove_all(dir);
}

TEST(XlsWriter, DefaultNameIsANewTemporaryXls) {
    XlsWriter a(std::string(), XlsStyles{}), b(std::string(), XlsStyles{});
    EXPECT_NE(a.name(), b.name());
    EXPECT_TRUE(a.name().ends_with(".xls"));
    a.End();
    EXPECT_TRUE(std::filesystem::exists(a.name()));
    std::filesystem::remove(a.name());
}

TEST(XlsWriter, CreationFailureIsError4) {
    try {
        XlsWriter w("/nonexistent-dir-xls/out.xls", XlsStyles{});
        FAIL() << "created a file in a missing directory";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.number(), 4);
        EXPECT_EQ(e.severity(), 3);
        EXPECT_NE(e.operation().find("/nonexistent-dir-xls/out.xls"), std::string::npos);
        EXPECT_NE(e.operation().find("No such file"), std::string::npos) << e.operation();
    }
}

namespace {
// A stream buffer that accepts `room` bytes and then fails.
class FullBuf : public std::streambuf {
public:
    explicit FullBuf(size_t room) : room_(room) {}

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        std::streamsize k = std::min<std::streamsize>(n, static_cast<std::streamsize>(room_));
        room_ -= static_cast<size_t>(k);
        return k;
    }
    int_type overflow(int_type c) override {
        if (room_ == 0) return traits_type::eof();
        --room_;
        return c;
    }

private:
    size_t room_;
};
}  // namespace

TEST(XlsWriter, WriteFailureIsError4) {
    FullBuf buf(kHeader.size() + 5);
    std::ostream out(&buf);
    XlsWriter w(out, XlsStyles{});
    EXPECT_THROW(w.Number(1, 1, 1), XlsError);

    FullBuf tiny(10);
    std::ostream out2(&tiny);
    try {
        XlsWriter w2(out2, XlsStyles{});
        FAIL();
    } catch (const XlsError& e) {
        EXPECT_EQ(e.number(), 4);
    }
    FullBuf at_end(kHeader.size() + 3);
    std::ostream out3(&at_end);
    XlsWriter w3(out3, XlsStyles{});
    EXPECT_THROW(w3.End(), XlsError);
}

TEST(XlsWriter, FullDiskOnAFileRaisesAndLeavesNoFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // Every flush to /dev/full fails; the failure must surface as error 4, not be lost.
    std::ofstream full("/dev/full", std::ios::binary);
    ASSERT_TRUE(full.is_open());
    XlsWriter w(full, XlsStyles{});  // buffered: the header fits in the stream buffer
    std::string big(200, 'x');
    EXPECT_THROW(
        {
            for (int i = 1; i <= 16384; ++i) w.String(i, 1, big);
            w.End();
        },
        XlsError);
}
