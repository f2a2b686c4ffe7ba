#include "cli/words_tool.hpp"

#include <charconv>
#include <cmath>
#include <ostream>

#include "common/words.hpp"

namespace cli {

const char* const kWordsUsage =
    "usage: planilla-cli words AMOUNT\n"
    "  prints AMOUNT (for example 1234.56 or -80) in Spanish words with its cents\n";

int run_words(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kWordsUsage;
        return 0;
    }
    if (args.size() != 1) {
        err << kWordsUsage;
        return 2;
    }
    const std::string& text = args[0];
    // Plain decimal notation only: digits with an optional sign and decimal point.
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    double amount = 0.0;
    auto [ptr, ec] = std::from_chars(first, last, amount, std::chars_format::fixed);
    if (first == last || ec != std::errc() || ptr != last || !std::isfinite(amount)) {
        err << "'" << text << "' is not an amount\n";
        return 2;
    }
    std::optional<std::string> words = common::NUMTEXT(amount);
    if (!words) {
        err << "'" << text << "' is out of range for words (one thousand million or more)\n";
        return 1;
    }
    out << *words << '\n';
    return 0;
}

}  // namespace cli
