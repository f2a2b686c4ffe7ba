#pragma once
// Amounts in Spanish words for certificates and receipts, month names and the month lists of
// the fifth-category screens.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Word tables: MONES[n - 1] is n (1..19), MDECE[k - 2] is 10k (20..90), MCENT[h - 1] is
// 100h (100..900, each followed by one blank).
inline constexpr std::array<std::string_view, 19> MONES = {
    "UNO",    "DOS",   "TRES",    "CUATRO",  "CINCO",     "SEIS",       "SIETE",
    "OCHO",   "NUEVE", "DIEZ",    "ONCE",    "DOCE",      "TRECE",      "CATORCE",
    "QUINCE", "DIECISEIS", "DIECISIETE", "DIECIOCHO", "DIECINUEVE"};
inline constexpr std::array<std::string_view, 8> MDECE = {"VEINTE",    "TREINTA", "CUARENTA", "CINCUENTA",
                                                          "SESENTA",   "SETENTA", "OCHENTA",  "NOVENTA"};
inline constexpr std::array<std::string_view, 9> MCENT = {
    "CIENTO ",      "DOSCIENTOS ",  "TRESCIENTOS ", "CUATROCIENTOS ", "QUINIENTOS ",
    "SEISCIENTOS ", "SETECIENTOS ", "OCHOCIENTOS ", "NOVECIENTOS "};

// The words of 0..999 ("" for 0 and for anything outside that range): 100 "CIEN ",
// 115 "CIENTO QUINCE", 21 "VEINTE y UNO", 300 "TRESCIENTOS ".
std::string TRESDIGIT(int group);
// The same for a group of three characters holding a right-aligned number ("  1", "500");
// a blank or non-numeric group gives "".
std::string TRESDIGIT(std::string_view group);

// The amount in words with its cents: 1234.56 -> "UNO MIL DOSCIENTOS TREINTA y CUATRO y
// 56/100", 0.5 -> "cero  y 50/100". Cents are the amount rounded half away from zero to two
// decimals; a negative amount is "MENOS " + the words of its magnitude. An amount that rounds
// to one thousand million or more (in magnitude), or is not finite, has no words: nullopt.
std::optional<std::string> NUMTEXT(double amount);

// The nine-character month name: 0 "APERTURA ", 1 "ENERO    " .. 12 "DICIEMBRE"; any other
// number gives " ".
std::string_view MESANO(int month);

// The month lists of the fifth-category screens: "01 Ene" .. "12 Dic" and "13 Adi"
// (VARIAMES), or the first twelve only (REGREMES).
std::vector<std::string> VARIAMES();
std::vector<std::string> REGREMES();

}  // namespace common
