#pragma once
// The catalogue of every table of the system, as data: where each file lives, its base
// name, the alias it is opened under, its fields (with the widths used when the table is
// created) and its index tags in order with their exact key texts.
//
// The catalogue is the single source for creating tables, for rebuilding their indexes and
// for opening the company's tables under their aliases. Existing tables are always opened
// with the field list of their own header; the widths here only matter on creation.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xbase/table.hpp"

namespace data {

// Which directory a table lives in: the program directory (RutaP) or the company data
// directory (RutaS).
enum class DirKind { Program, Company };

struct TableDef {
    std::string base;   // file base name, upper case, at most eight characters ("PERSONAL")
    std::string alias;  // alias it is opened under ("Per"); empty for templates without one
    DirKind dir = DirKind::Company;
    std::vector<xbase::FieldSpec> fields;  // in creation order
    std::vector<xbase::TagSpec> tags;      // in index order (tag 1 first)

    bool has_memo() const;  // true when a field is of type 'M' (the table has an FPT file)
    // 0-based position of a tag by name (case-insensitive), -1 when absent.
    int tag_index(std::string_view name) const;
    const xbase::TagSpec* find_tag(std::string_view name) const;
    const xbase::FieldSpec* find_field(std::string_view name) const;
};

// Every fixed-name table, in catalogue order (program tables first). Period payroll tables
// ("H" + class + year + month) are families, see below; their templates PLANPER, PLANVAC,
// PLANGRA and PLANTOT are ordinary entries.
const std::vector<TableDef>& catalogue();

// Look-ups, case-insensitive. nullptr when unknown. find_by_alias does not know the period
// tables' alias PlanPer (its file depends on the period): see abrefiles_tables().
const TableDef* find_table(std::string_view base);
const TableDef* find_by_alias(std::string_view alias);
// Same, throwing std::out_of_range naming the table when unknown.
const TableDef& table(std::string_view base);

// Tags and fields of a base name: a catalogue table, a template, or a period payroll table
// name ("H1201105" gets the Planper tags, "H2..." PlanVac, "H3..." PlanGra). Throws
// std::out_of_range for anything else.
const std::vector<xbase::TagSpec>& tags_of(std::string_view base);
const std::vector<xbase::FieldSpec>& fields_of(std::string_view base);

// ---- Period payroll tables --------------------------------------------------------------

// Payroll classes: 1 remuneraciones, 2 vacaciones, 3 gratificación, 4 consolidado.
constexpr int kClassRemuneraciones = 1;
constexpr int kClassVacaciones = 2;
constexpr int kClassGratificacion = 3;
constexpr int kClassConsolidado = 4;

// First and last year of the monthly periods kept in the period table.
constexpr int kFirstPeriodYear = 2010;
constexpr int kLastPeriodYear = 2015;

// "H" + class digit + period ("201105") -> "H1201105". Throws std::invalid_argument when the
// class is not 1..3 or the period is not six digits with a month 01..12.
std::string payroll_table_name(int payroll_class, std::string_view period);
// Recognises a period payroll table base name (case-insensitive, with or without ".DBF").
struct PayrollName {
    int payroll_class = 0;  // 1..3
    int year = 0;
    int month = 0;
    std::string period;  // "YYYYMM"
};
std::optional<PayrollName> parse_payroll_table_name(std::string_view base);

// The fixed columns every payroll table starts with, in order.
const std::vector<xbase::FieldSpec>& payroll_fixed_fields();
// The column of a concept: named by its alias, numeric 14 with 4 decimals.
xbase::FieldSpec concept_column(std::string_view alias);
// The nine tags of a payroll table of a class (1 Planper, 2 PlanVac, 3 PlanGra, 4 PlanTot).
const std::vector<xbase::TagSpec>& payroll_tags(int payroll_class);
// Template base name of a class: 1 PLANPER, 2 PLANVAC, 3 PLANGRA, 4 PLANTOT.
std::string_view payroll_template(int payroll_class);

// Alias of the current period's remuneration payroll table.
inline constexpr std::string_view kPlanPerAlias = "PlanPer";

// ---- The company tables opened at start ----------------------------------------------------

struct OpenEntry {
    std::string alias;
    std::string base;  // for PlanPer: "H1" + period
};
// The tables opened under their fixed aliases after a start, a company change or a period
// change, in opening order, all from the company directory.
std::vector<OpenEntry> abrefiles_tables(std::string_view period);

// Work tables without a maintained index, made and emptied by the processes that use them.
// Listed so that nothing else takes their names.
const std::vector<std::string>& work_table_names();

}  // namespace data
