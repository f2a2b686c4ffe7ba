#pragma once
// The instruction set of compiled formulas, shared by the compiler and the evaluator.
#include <cstdint>

namespace common::formula::detail {

enum class Op : uint8_t {
    Num,           // push num
    True,          // push .T.
    False,         // push .F.
    Text,          // push strings[a]
    Load,          // push slot a
    Undef,         // fail: name strings[a] resolves to nothing
    Index,         // pop i, push element i of the array in slot a
    Neg,           // unary -
    Pos,           // unary +
    Not,           // .NOT.
    Add, Sub, Mul, Div, Pow,
    Eq,            // = (texts: left begins with right)
    EqExact,       // == (texts: equal but for trailing blanks)
    Ne, Lt, Le, Gt, Ge,
    OrJump,        // top .T.: keep it, jump to a; .F.: pop
    AndJump,       // top .F.: keep it, jump to a; .T.: pop
    CheckLogical,  // right operand of .AND. (a = 0) or .OR. (a = 1) must be logical
    IfFalse,       // pop the condition; jump to a when .F.
    Jump,          // jump to a
    Round, Int, Abs, Max, Min, Day, Month, Year, Today,
    UndefFunc,     // fail: function strings[a] is not defined
    End,
};

}  // namespace common::formula::detail
