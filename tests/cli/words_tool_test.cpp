// The words tool's arguments, output and exit codes.
#include "cli/words_tool.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(WordsTool, OutputsAndExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int rc;
        const char* out;
    };
    const Case cases[] = {
        {{"1000500"}, 0, "UNO MILLON QUINIENTOS  y 00/100\n"},
        {{"-80.5"}, 0, "MENOS OCHENTA y 50/100\n"},
        {{"+0.125"}, 0, "cero  y 13/100\n"},
        {{"1000000000"}, 1, ""},
        {{"12abc"}, 2, ""},
        {{"1e3"}, 2, ""},
        {{"+-3"}, 2, ""},
        {{""}, 2, ""},
        {{"nan"}, 2, ""},
        {{}, 2, ""},
        {{"1", "2"}, 2, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(cli::run_words(c.args, out, err), c.rc) << (c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str().empty(), c.rc == 0);
    }
}

}  // namespace
