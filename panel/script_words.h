// The words of the gauge language, in one table: from it come the codes a compiled script is
// made of (Script::Code), the spellings the compiler looks up, and the interpreter's dispatch,
// so that a word added here cannot be missing from any of them.
#pragma once

// WORD(code, spellings, operands, results, where, what it does)
//   spellings  the words an author writes for it, blank-separated, compared in any letter case;
//              "" for the codes the compiler makes of other things (numbers, variables, blocks)
//   operands   how many values it takes from the stack (-1: as many as it says)
//   results    how many it puts back
//   where      how the interpreter runs it: LOOP inside its loop, BINARY inside its loop on two
//              numbers, SELDOM in a function of its own (see script_run.cpp)
// A code may not be named after a macro of windows.h (NEAR, FAR, ERROR, IN, OUT, ...): the same
// table is compiled for the Windows builds, where such a name expands to nothing.
#define SCRIPT_WORDS(WORD)                                                                      \
    WORD(PUSH_NUMBER, "", 0, 1, LOOP, "a number of the script")                                 \
    WORD(PUSH_TEXT, "", 0, 1, LOOP, "a 'string' of the script")                                 \
    WORD(READ, "", 0, 1, LOOP, "(A:...) and the other variables read")                          \
    WORD(WRITE, "", 1, 0, LOOP, "(>L:...) and the other variables written")                     \
    WORD(EVENT, "", 0, 0, LOOP, "(>K:...): a key event, its parameter taken when there is one") \
    WORD(EVENT2, "", 2, 0, LOOP, "(>K:2:...): a key event with two parameters")                 \
    WORD(STORE, "", 1, 1, LOOP, "sN: the top kept in register N, left on the stack")            \
    WORD(STORE_POP, "", 1, 0, LOOP, "spN: the top taken into register N")                       \
    WORD(LOAD, "", 0, 1, LOOP, "lN: register N")                                                \
    WORD(JUMP, "", 0, 0, LOOP, "gN, and past an els{ block")                                    \
    WORD(JUMP_IF_FALSE, "", 1, 0, LOOP, "if{: past its block when the value taken is 0")        \
    WORD(QUIT, "quit", 0, 0, LOOP, "ends the script")                                           \
    WORD(CASE, "case", -1, 1, LOOP, "picks among values: V1 V0 2 SELECTOR case")                \
    WORD(NEG, "neg /-/", 1, 1, LOOP, "the opposite")                                            \
    WORD(ABS, "abs", 1, 1, LOOP, "the absolute value")                                          \
    WORD(FLR, "flr", 1, 1, LOOP, "rounds down")                                                 \
    WORD(CEIL, "ceil", 1, 1, LOOP, "rounds up")                                                 \
    WORD(ROUND, "near", 1, 1, LOOP, "the nearest integer, halves away from 0")                  \
    WORD(SQRT, "sqrt", 1, 1, LOOP, "the square root")                                           \
    WORD(INC, "++", 1, 1, LOOP, "adds 1")                                                       \
    WORD(DEC, "--", 1, 1, LOOP, "takes 1")                                                      \
    WORD(NOT, "! not", 1, 1, LOOP, "1 for 0, 0 for the rest")                                   \
    WORD(BIT_NOT, "~", 1, 1, LOOP, "the bits inverted")                                         \
    WORD(DUP, "d", 1, 2, LOOP, "the top twice")                                                 \
    WORD(POP, "p", 1, 0, LOOP, "the top taken away")                                            \
    WORD(SWAP, "r", 2, 2, LOOP, "the top two swapped")                                          \
    WORD(CLEAR, "c", 0, 0, LOOP, "the stack emptied")                                           \
    WORD(ADD, "+", 2, 1, BINARY, "a + b")                                                       \
    WORD(SUB, "-", 2, 1, BINARY, "a - b")                                                       \
    WORD(MUL, "*", 2, 1, BINARY, "a * b")                                                       \
    WORD(DIV, "/", 2, 1, BINARY, "a / b, 0 when b is 0")                                        \
    WORD(MOD, "%", 2, 1, BINARY, "the remainder of a / b, with a's sign; 0 when b is 0")        \
    WORD(MIN, "min", 2, 1, BINARY, "the smaller")                                               \
    WORD(MAX, "max", 2, 1, BINARY, "the greater")                                               \
    WORD(POW, "pow", 2, 1, BINARY, "a to the power b")                                          \
    WORD(EQ, "== eq", 2, 1, BINARY, "1 when equal (strings as text)")                           \
    WORD(NE, "!= ne", 2, 1, BINARY, "1 when not equal")                                         \
    WORD(LT, "< lt", 2, 1, BINARY, "1 when a < b")                                              \
    WORD(GT, "> gt", 2, 1, BINARY, "1 when a > b")                                              \
    WORD(LE, "<= le", 2, 1, BINARY, "1 when a <= b")                                            \
    WORD(GE, ">= ge", 2, 1, BINARY, "1 when a >= b")                                            \
    WORD(AND, "&& and", 2, 1, BINARY, "1 when both are not 0")                                  \
    WORD(OR, "|| or", 2, 1, BINARY, "1 when either is not 0")                                   \
    WORD(BIT_AND, "&", 2, 1, BINARY, "bits of both, on 32-bit integers")                        \
    WORD(BIT_OR, "|", 2, 1, BINARY, "bits of either")                                           \
    WORD(BIT_XOR, "^", 2, 1, BINARY, "bits of one only")                                        \
    WORD(SHIFT_LEFT, "<<", 2, 1, BINARY, "a shifted left by b modulo 32")                       \
    WORD(SHIFT_RIGHT, ">>", 2, 1, BINARY, "a shifted right by b modulo 32")                     \
    WORD(INT, "int", 1, 1, SELDOM, "the integer part, cut toward 0")                            \
    WORD(FRAC, "frac", 1, 1, SELDOM, "the fractional part, with the value's sign")              \
    WORD(SQR, "sqr", 1, 1, SELDOM, "the square")                                                \
    WORD(EXP, "exp", 1, 1, SELDOM, "e to the power")                                            \
    WORD(LN, "ln", 1, 1, SELDOM, "the natural logarithm")                                       \
    WORD(LG, "lg", 1, 1, SELDOM, "the logarithm to base 10")                                    \
    WORD(LOG, "log", 2, 1, SELDOM, "x base log: the logarithm to a base")                       \
    WORD(SIN, "sin", 1, 1, SELDOM, "the sine, in radians")                                      \
    WORD(COS, "cos", 1, 1, SELDOM, "the cosine")                                                \
    WORD(TG, "tg", 1, 1, SELDOM, "the tangent")                                                 \
    WORD(CTG, "ctg", 1, 1, SELDOM, "the cotangent")                                             \
    WORD(ASIN, "asin", 1, 1, SELDOM, "the arc sine")                                            \
    WORD(ACOS, "acos", 1, 1, SELDOM, "the arc cosine")                                          \
    WORD(ATG, "atg", 1, 1, SELDOM, "the arc tangent")                                           \
    WORD(ATG2, "atg2", 2, 1, SELDOM, "y x atg2: the angle of the point (x, y)")                 \
    WORD(PI, "pi", 0, 1, SELDOM, "3.14159...")                                                  \
    WORD(EPS, "eps", 0, 1, SELDOM, "the relative precision of a double")                        \
    WORD(RNG, "rng", 3, 1, SELDOM, "low high x rng: 1 when x lies between the bounds")          \
    WORD(DNOR, "dnor", 1, 1, SELDOM, "degrees brought into 0 to 360")                           \
    WORD(RNOR, "rnor", 1, 1, SELDOM, "radians brought into 0 to 2 pi")                          \
    WORD(DGRD, "dgrd", 1, 1, SELDOM, "degrees to radians")                                      \
    WORD(RDDG, "rddg", 1, 1, SELDOM, "radians to degrees")                                      \
    WORD(DIV_INT, "div", 2, 1, SELDOM, "the quotient cut toward 0; 0 when b is 0")              \
    WORD(CHOOSE, "?", 3, 1, SELDOM, "then else condition ?")                                    \
    WORD(BACK, "b", 0, 1, SELDOM, "the value most recently taken off the stack")                \
    WORD(LC, "lc", 1, 1, SELDOM, "a string in lower case")                                      \
    WORD(UC, "uc", 1, 1, SELDOM, "a string in upper case")                                      \
    WORD(CAP, "cap", 1, 1, SELDOM, "a string capitalized")                                      \
    WORD(CHR, "chr", 1, 1, SELDOM, "the character of a code")                                   \
    WORD(ORD, "ord", 1, 1, SELDOM, "the code of a string's first character")                    \
    WORD(SCAT, "scat", 2, 1, SELDOM, "two strings joined")                                      \
    WORD(SCHR, "schr", 2, 1, SELDOM, "where a character stands in a string, -1 when absent")    \
    WORD(SCMP, "scmp", 2, 1, SELDOM, "string comparison: -1, 0 or 1")                           \
    WORD(SCMI, "scmi", 2, 1, SELDOM, "string comparison regardless of letter case")             \
    WORD(SSTR, "sstr", 2, 1, SELDOM, "where a string stands in another, -1 when absent")        \
    WORD(SSUB, "ssub", 3, 1, SELDOM, "a part of a string: text start length ssub")              \
    WORD(SYMB, "symb", 2, 1, SELDOM, "one character of a string: text index symb")
