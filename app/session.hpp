#pragma once
// The process-wide state every screen reads: directories, current company and period, the
// company names of report headings, report and list-filter defaults, the pick lists filled
// from the master tables and the logged-in user's permissions. One Session is created at
// start and passed to every entry function together with the Ui port and a Clock; tests
// build one over a directory of their own. Field names are the names the screens use.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/dates.hpp"

namespace data {
class Workspace;
}

namespace app {

using List = std::vector<std::string>;

// The fixed code lists: a code followed by a description, in order.
struct CodeLists {
    List ARRACTI = {"1 Activo", "2 Subsidio", "3 Vacación", "4 Lic.C/Go", "5 Lic.S/Go", "6 ---------",
                    "7 Cesado", "8 Otro"};
    List ARRTCON = {"1 Interno", "2 Movimiento", "3 Remuneración", "4 Descuento", "5 Dscto.AFP", "6 Aporte Pat"};
    List ARRTCRT = {"1 Ingresos del trabajador", "2 Dsctos al trabajador", "3 Aportes Patronales"};
    List ARRUNID = {"1 Soles", "2 $Dólares", "3 minutos", "4 horas", "5 días", "6 Meses", "7 %Porcent",
                    "8  Otro", ""};
    List ARRCCON = {"1 Constante", "2 Dato Fijo", "3 Dato Variable", "4 Fórmula"};
    List ARRCPLA = {"1 REMUNERACIONES", "2 VACACIONES   ", "3 GRATIFICACIÓN ", "4 CONSOLIDADO"};
    List ARRTDOC = {"00 Blanco     ",     "01 DNI/L.Elect",    "02 Carné Fza.Pol",  "03 Carne de F.Arm",
                    "04 Carné de Extran", "06 R.U.C.",         "07 Pasaporte",      "08 Doc.Prov.Ident.",
                    "10 AutoGenerado",    "11 Part.Nac.-Ident", "14 Carne de Extran", "15 Interdicto"};
    List ARRTCTA = {"1 Ahorros", "2 Cta.Cte.", "3 Otros"};
    List ARRECIV = {"1 Soltero", "2 Casado", "3 Viudo", "4 Divorciado", "5 Conviviente"};
    List ARRSUSS = {"21-SI Incapacidad", "22-Maternidad"};
    List ARRSUSN = {"01 SP Sanción Disciplin",   "02 SP Ejercicio Der Huelga", "03 SP Detencion Priv Lib",
                    "04 SP Inhabilit Adminis",   "05 SP Permis-Lic Empleador", "06 SP Caso Fortuito",
                    "07 SP Falta no Justificada", "08 SI Por Temporada",       "20 SI Enfermed (20 días)",
                    "23-SI Desc.Vacac",          "24 SI Lic Pa Desem Cargo",   "25 SI Perm.Lic.Desem cargos soc",
                    "26 SI Lic C.Goce haber"};
    List ARRSUSV = {"23-SI Desc.Vacac"};
    // Twelve months; the fifth-category screens add "13 Adi" while they run.
    List ARRNMES = {"01 Ene", "02 Feb", "03 Mar", "04 Abr", "05 May", "06 Jun",
                    "07 Jul", "08 Ago", "09 Set", "10 Oct", "11 Nov", "12 Dic"};
};

// The pick lists filled from the master tables (common/routines: LLENA*).
struct PickLists {
    List ARREMP, ARRPLAN, ARRPPAG, ARRBAN, ARRCTO, ARRAFP, ARRCON;
};

struct Session {
    // Directories.
    std::string RutaP;  // program directory: VIA, the scratch tables
    std::string RutaW;  // spreadsheet files and the background picture
    std::string RutaS;  // the current company's data directory
    std::string CVICODIGO;

    // Company and period.
    std::string CODEMP;
    std::string XPERPAG = "201101";
    int XANOPRO = 0, XMESPRO = 0, XSEMANA = 0, XSEMMES = 0;
    std::string XMESANO;
    std::string GANOMES, GPERPAG;
    std::string FPLANPE, IPLANPE, DPLANPE;  // "H1" + XPERPAG + ".DBF", ".CDX", no extension
    int XCLAPLA = 1;
    int CCLAPLA = 1;

    // Company names for headings.
    std::string XEMPRESA, XLOGO, XDIRECC, XREGUNI;
    common::Date CFECREP = common::kEmptyDate;
    double CEMPRESTA = 0;

    // User.
    std::string XUSER;
    std::string CPERMIS1 = std::string(254, ' ');
    std::string TOPUSER = std::string(5, ' ');
    bool LPASE = true;
    int CEMPRESA = 1;
    int TAMFON = 1;
    bool TIPBOL = false, TIPITA = false;

    // Display parameters from TABLAS.
    int NNUMFONT = 8;
    bool CSWEXC = false;
    int XCORDEN = 2, YCORDEN = 3;

    std::string CHOJEXC;
    bool XSALIR = false;

    // Print-layout defaults of the report formats and listings.
    bool CFMTIME = true, CFMDATE = true, CFMEJECTO = true, CFMCONTIT = true;
    int CFMANCHO = 132, CFMMARGEN = -10, CFMLININI = 0, CFMDETINI = 10, CFMLINMAX = 56, CFMPUNTOS = 1;

    // List-filter defaults shared by the listing screens.
    int CORDEN = 1, CCTOCTO = 1;
    std::string XCTOCTO = std::string(10, ' ');
    bool CSWCTO = false, CSWPER = false;
    int CPERINI_N = 1, CPERFIN = 1;  // positions of the employee range combos
    std::string XPERINI = std::string(4, ' '), XPERFIN = std::string(4, ' ');
    bool CSWFILT1 = false, CSWFILT2 = false;
    std::string CFILTRO1 = std::string(30, ' '), CFILTRO2 = std::string(30, ' '), CFILTRO3 = " ";
    int CPUNTOS = 10;
    int CMONEDA = 1;

    // Values of the employee search and the small prompts.
    std::string GVARCLA;
    std::string CPERINI, CNOMINI;  // code and name chosen by the employee search
    int CANO = 0;
    int MALPPG = 0;
    std::string NOMCTO;

    // A second period chosen by history and recalculation screens.
    std::string PLAACT, HPERPAG, HPLANPER;
    int HANOPRO = 0, HMESPRO = 0, HCLAPLA = 0;
    long TOTREC = 0, MAXREG = 0;

    CodeLists lists;
    PickLists picks;

    // Position n (1-based) of the permission string holds "S".
    bool allowed(int position) const {
        return position >= 1 && position <= static_cast<int>(CPERMIS1.size()) &&
               CPERMIS1[static_cast<size_t>(position - 1)] == 'S';
    }
    // The names of the current period's payroll table, from XPERPAG.
    void set_period_names() {
        DPLANPE = "H1" + XPERPAG;
        FPLANPE = DPLANPE + ".DBF";
        IPLANPE = DPLANPE + ".CDX";
    }
};

}  // namespace app
