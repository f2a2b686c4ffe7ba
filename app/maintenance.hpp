#pragma once
// The maintenance run of a company directory: every index file deleted and rebuilt from the
// catalogue, the tables compacted, records without a key (and company and parameter records
// other than "01") removed, the work tables made from their templates, and the indexes of
// the period payroll tables of 2010-2015 rebuilt.
//
// Before anything is changed every table the run will touch is opened exclusively once, so
// that a table held by another workstation, a damaged table or a key that cannot be built
// stops the run with nothing changed. Index files that cannot be read are no obstacle:
// they are deleted and rebuilt like every other.
#include <string>
#include <vector>

#include "app/session.hpp"
#include "data/workspace.hpp"
#include "gui/ui.hpp"

namespace app {

// Texts of the run.
inline constexpr const char* kMantTitle = "Mantención De Datos";
inline constexpr const char* kMantQuestion = "Atención:\nProceder con la Mantención de datos, Desconectar los Terminales";
inline constexpr const char* kMantStart = "Inicio de Indexamientos";
inline constexpr const char* kMantEnd = "Fin de Indexamientos";

struct MaintenanceResult {
    enum class Outcome {
        Declined,  // the confirmation was answered No: nothing was touched
        Refused,   // the check before the run found a busy or unusable table: nothing changed
        Done,      // the run went through ("Fin de Indexamientos" was shown)
        Failed,    // an error in the middle of the run; `problem` says where
    };
    Outcome outcome = Outcome::Declined;

    std::vector<std::string> indexed;  // tables of the list rebuilt, in run order (base names)
    std::vector<std::string> periods;  // period payroll tables whose tags were rebuilt
    std::vector<std::string> missing;  // tables of the list that do not exist (skipped)
    // Work tables left as they were because their template is missing: "PLANTOT (PLANPER)".
    std::vector<std::string> left_alone;
    std::vector<std::string> damaged_indexes;  // index files that could not be read (rebuilt)
    std::vector<std::string> dropped_tags;     // "H1201105.Extra1": extra tags that could not be kept
    std::string problem;  // Refused / Failed: the table and the reason

    bool done() const { return outcome == Outcome::Done; }
};

// The maintenance run over the company directory `s.RutaS`. Asks for confirmation, closes
// every work area of `ws` (the caller reopens the tables or ends the program) and works on
// the files of RutaS by full path; the current directory is never changed.
MaintenanceResult U_MANT(Session& s, data::Workspace& ws, gui::Ui& ui);

}  // namespace app
