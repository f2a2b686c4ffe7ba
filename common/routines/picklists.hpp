#pragma once
// The pick lists shown by combo boxes, filled from the master tables, and the two helpers
// every combo over a pick list goes through.
//
// An entry is a code, a blank and a description; the first entry of most lists is a blank
// code with "Sin Datos" (none). A combo stores by entry: the "Sin Datos" entry stores blanks,
// any other entry its leading code, padded to the field (code_of). A stored code finds its
// entry by comparing the whole code, never a prefix: "01" finds "01 Uno", not "010 Diez"
// (entry_of). A six-character period therefore finds its eight-character period code only
// when the caller completes it ("201105" + "00").
#include <string>
#include <string_view>

#include "app/session.hpp"

namespace data {
class Workspace;
}

namespace common::routines {

// The fillers. Each walks its table from the top in tag-1 order (BAN1 for banks) and puts
// the table's order, record and the current work area back afterwards. Those with a slot in
// the session also store the list there.
app::List LLENAEMP(app::Session& s, data::Workspace& ws);    // ARREMP: code + 15 of the name
app::List LLENAPLAN(app::Session& s, data::Workspace& ws);   // ARRPLAN: level-3 accounts only
app::List LLENAPPAG(app::Session& s, data::Workspace& ws);   // ARRPPAG
app::List LLENABAN(app::Session& s, data::Workspace& ws);    // ARRBAN
app::List LLENACTO(app::Session& s, data::Workspace& ws);    // ARRCTO
app::List LLENAAFP(app::Session& s, data::Workspace& ws);    // ARRAFP
app::List LLENACON(app::Session& s, data::Workspace& ws);    // ARRCON
app::List LLENAALIAS(data::Workspace& ws);                   // concept aliases
app::List LLEALICOD(data::Workspace& ws);                    // alias + "  [" + code + "]"

// The lists filled once the company tables are open at start-up (and after a company or
// period change): ARRPLAN, ARRPPAG, ARRBAN, ARRCTO, ARRAFP and ARRCON. ARREMP is filled
// earlier, before the login, with LLENAEMP.
void fill_pick_lists(app::Session& s, data::Workspace& ws);

// The code an entry starts with, without its padding: the first `width` characters when a
// blank follows them (the layout code + " " + description), else the text up to the first
// blank. "Sin Datos" entries give "".
std::string leading_code(std::string_view entry, size_t width);

// The 1-based position of the entry whose leading code is `code` (compared whole, trailing
// blanks ignored); 0 when there is none. A blank code finds the "Sin Datos" entry.
int entry_of(const app::List& list, std::string_view code);
// entry_of, or 1 (the "none" entry) when not found.
int entry_or_first(const app::List& list, std::string_view code);

// What a combo over `list` stores in a field of `width` characters for the entry at
// `position`: its leading code padded to the width; blanks for the "Sin Datos" entry and for
// a position outside the list. A code that does not fit the field throws std::length_error
// (a screen bound to the wrong field), never a cut piece of it.
std::string code_of(const app::List& list, int position, size_t width);

}  // namespace common::routines
