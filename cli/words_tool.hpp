#pragma once
// `planilla-cli words AMOUNT`: an amount in Spanish words, as printed on certificates.
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Runs the words tool on its arguments (after "words"). Prints the words and returns 0;
// returns 2 with a message for a missing or malformed amount, 1 for an amount without words
// (one thousand million or more).
int run_words(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kWordsUsage;

}  // namespace cli
