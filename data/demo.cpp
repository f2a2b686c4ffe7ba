// The demo company's data, all invented: names, tax numbers, identity documents, accounts
// and fund names do not belong to any real person or firm.
#include "data/demo.hpp"

#include <string>
#include <vector>

#include "data/catalogue.hpp"
#include "data/fill.hpp"
#include "data/workspace.hpp"
#include "xbase/table.hpp"

namespace data::demo {

namespace {

using namespace data::fill;

struct Ymd {
    int y = 0, m = 0, d = 0;
};

common::Date to_date(Ymd v) { return v.y ? common::date_from_ymd(v.y, v.m, v.d) : common::kEmptyDate; }

// ---- The company -------------------------------------------------------------------------

struct Company {
    const char* name = "INDUSTRIAS ANDINAS DEL SUR S.A.C.";
    const char* short_name = "ANDINAS";
    const char* ruc = "20514738298";
    const char* street = "AV. LOS CEDROS 1450";
    const char* urbanization = "URB. SANTA CATALINA";
    const char* district = "LA VICTORIA";
    const char* province = "LIMA";
    const char* department = "LIMA";
    const char* phone = "014721356";
    const char* fax = "014721357";
    const char* email = "PLANILLAS@ANDINASSUR.COM.PE";
    const char* activity = "FABRICACION DE ENVASES DE CARTON";
    // Legal representative and the person who prepares the payroll.
    const char* rep_names = "JORGE LUIS";
    const char* rep_surname1 = "BENAVIDES";
    const char* rep_surname2 = "ORTIZ";
    const char* rep_dni = "10293847";
    const char* rep_position = "GERENTE GENERAL";
    const char* prep_names = "ROSA ELENA";
    const char* prep_surname1 = "CHUQUIMIA";
    const char* prep_surname2 = "PALACIOS";
    const char* prep_position = "JEFE DE PERSONAL";
    const char* prep_area = "RECURSOS HUMANOS";
    const char* prep_phone = "014721358";
};

struct Bank {
    const char* code;
    const char* name;
    const char* short_name;
    const char* address;
    const char* account;  // the company's account at the bank
};

const Bank kBanks[] = {
    {"001", "BANCO DEL LITORAL", "B.LITORAL", "AV. JAVIER PRADO ESTE 2080, SAN BORJA", "193-0458712-0-47"},
    {"002", "BANCO CORDILLERA", "B.CORDILLERA", "JR. LAMPA 545, CERCADO DE LIMA", "0011-0230-0100045821"},
    {"003", "BANCO AMAZONICO DE CREDITO", "B.AMAZONICO", "AV. AREQUIPA 3920, MIRAFLORES", "200-3004172599"},
};

struct CostCentre {
    const char* code;
    const char* name;
};

const CostCentre kCostCentres[] = {
    {"ADM", "ADMINISTRACION"}, {"CON", "CONTABILIDAD Y FINANZAS"}, {"PRO", "PRODUCCION"},
    {"VEN", "VENTAS"},         {"ALM", "ALMACEN Y DESPACHO"},
};

struct Account {
    const char* code;
    const char* name;
};

// Level-3 accounts: the only ones the account pick lists offer.
const Account kAccounts[] = {
    {"401730", "RENTA DE QUINTA CATEGORIA"},
    {"403100", "ESSALUD POR PAGAR"},
    {"403200", "ONP POR PAGAR"},
    {"407100", "ADMINISTRADORAS DE FONDOS DE PENSIONES"},
    {"411100", "SUELDOS Y SALARIOS POR PAGAR"},
    {"415100", "COMPENSACION POR TIEMPO DE SERVICIOS POR PAGAR"},
    {"141100", "PRESTAMOS AL PERSONAL"},
    {"621100", "SUELDOS Y SALARIOS"},
    {"621400", "GRATIFICACIONES"},
    {"622100", "OTRAS REMUNERACIONES"},
    {"627100", "REGIMEN DE PRESTACIONES DE SALUD"},
    {"629100", "COMPENSACION POR TIEMPO DE SERVICIOS"},
};

// Pension funds with the monthly rates: compulsory contribution, insurance premium and
// variable commission, in percent. The premium changes from July on.
struct Fund {
    const char* code;
    const char* name;
    const char* short_name;
    const char* acronym;
    const char* address;
    double premium_first_half;
    double premium_second_half;
    double commission;
};

const Fund kFunds[] = {
    {"001", "AFP CONDOR", "CONDOR", "CDR", "AV. CANAVAL Y MOREYRA 522, SAN ISIDRO", 1.29, 1.33, 1.95},
    {"002", "AFP ALTIPLANO", "ALTIPLANO", "ALT", "AV. REPUBLICA DE PANAMA 3055, SAN ISIDRO", 1.33, 1.38, 2.10},
    {"003", "AFP MISTI", "MISTI", "MST", "CALLE LAS BEGONIAS 441, SAN ISIDRO", 1.31, 1.35, 1.85},
    {"004", "AFP TITICACA", "TITICACA", "TTC", "AV. PARDO Y ALIAGA 699, SAN ISIDRO", 1.35, 1.40, 1.99},
};
constexpr double kFundContribution = 10.00;

// ---- Electronic return code tables ---------------------------------------------------------

struct CodeEntry {
    const char* table;
    const char* key;
    const char* name;
    const char* short_name;
    int level;
    const char* concept_code;  // TRREFER3: concept accumulating the days (table 21)
};

const CodeEntry kCodeTables[] = {
    // Table "00" names the others.
    {"00", "03", "TIPO DE DOCUMENTO DE IDENTIDAD", "TIPO DOC.", 0, ""},
    {"00", "08", "TIPO DE TRABAJADOR", "TIPO TRAB.", 0, ""},
    {"00", "11", "REGIMEN PENSIONARIO", "REG.PENSION", 0, ""},
    {"00", "15", "SITUACION DEL TRABAJADOR", "SITUACION", 0, ""},
    {"00", "16", "TIPO DE PAGO", "TIPO PAGO", 0, ""},
    {"00", "21", "TIPO DE SUSPENSION DE LA RELACION LABORAL", "SUSPENSION", 0, ""},
    {"03", "01", "DOC. NACIONAL DE IDENTIDAD", "DNI", 1, ""},
    {"03", "04", "CARNE DE EXTRANJERIA", "CARNE EXT.", 1, ""},
    {"03", "06", "REG. UNICO DE CONTRIBUYENTES", "RUC", 1, ""},
    {"03", "07", "PASAPORTE", "PASAPORTE", 1, ""},
    {"08", "20", "EJECUTIVO", "EJECUTIVO", 1, ""},
    {"08", "21", "OBRERO", "OBRERO", 1, ""},
    {"08", "22", "EMPLEADO", "EMPLEADO", 1, ""},
    {"11", "02", "SISTEMA NACIONAL DE PENSIONES", "SNP", 1, ""},
    {"11", "21", "SPP AFP CONDOR", "CONDOR", 1, ""},
    {"11", "22", "SPP AFP ALTIPLANO", "ALTIPLANO", 1, ""},
    {"11", "23", "SPP AFP MISTI", "MISTI", 1, ""},
    {"11", "24", "SPP AFP TITICACA", "TITICACA", 1, ""},
    {"15", "0", "BAJA", "BAJA", 1, ""},
    {"15", "1", "ACTIVO O SUBSIDIADO", "ACTIVO", 1, ""},
    {"15", "2", "SIN VINCULO LABORAL CON CONCEPTOS PENDIENTES", "SIN VINCULO", 1, ""},
    {"15", "3", "SUSPENSION PERFECTA DE LABORES", "SUSP.PERF.", 1, ""},
    {"16", "1", "EFECTIVO", "EFECTIVO", 1, ""},
    {"16", "2", "DEPOSITO EN CUENTA", "DEPOSITO", 1, ""},
    {"16", "3", "OTROS", "OTROS", 1, ""},
    {"21", "01", "S.P. SANCION DISCIPLINARIA", "SANCION", 1, "007"},
    {"21", "05", "S.P. PERMISO O LICENCIA SIN GOCE DE HABER", "LIC.S/GOCE", 1, "007"},
    {"21", "07", "S.P. FALTA NO JUSTIFICADA", "FALTA", 1, "007"},
    {"21", "20", "S.I. ENFERMEDAD O ACCIDENTE (20 PRIMEROS DIAS)", "ENFERMEDAD", 1, "008"},
    {"21", "21", "S.I. INCAPACIDAD TEMPORAL (SUBSIDIADO)", "INCAPACIDAD", 1, "008"},
    {"21", "22", "S.I. MATERNIDAD", "MATERNIDAD", 1, "008"},
    {"21", "23", "S.I. DESCANSO VACACIONAL", "VACACIONES", 1, "009"},
    {"21", "26", "S.I. LICENCIA CON GOCE DE HABER", "LIC.C/GOCE", 1, "007"},
};

struct ReturnConcept {
    const char* code;
    const char* name;
    const char* short_name;
    int type;  // 1 income, 2 worker's deductions, 3 employer's contributions
    int exclusion;
};

// Codes whose third and fourth digits are 00 are headings of the outline.
const ReturnConcept kReturnConcepts[] = {
    {"0100", "INGRESOS", "INGRESOS", 1, 0},
    {"0105", "TRABAJO EN SOBRETIEMPO (HORAS EXTRAS) 25%", "SOBRET.25%", 1, 0},
    {"0118", "REMUNERACION VACACIONAL", "REM.VACAC.", 1, 0},
    {"0121", "REMUNERACION O JORNAL BASICO", "REM.BASICA", 1, 0},
    {"0200", "INGRESOS: ASIGNACIONES", "ASIGNACION", 1, 0},
    {"0201", "ASIGNACION FAMILIAR", "ASIG.FAMIL", 1, 0},
    {"0400", "INGRESOS: GRATIFICACIONES", "GRATIFIC.", 1, 0},
    {"0406", "GRATIFICACIONES DE FIESTAS PATRIAS Y NAVIDAD", "GRATIF.", 1, 0},
    {"0600", "APORTACIONES DEL TRABAJADOR", "APORT.TRAB", 2, 0},
    {"0601", "COMISION AFP PORCENTUAL", "COMIS.AFP", 2, 1},
    {"0605", "RENTA QUINTA CATEGORIA RETENCIONES", "RENTA 5TA", 2, 0},
    {"0606", "PRIMA DE SEGURO AFP", "PRIMA AFP", 2, 1},
    {"0607", "SISTEMA NACIONAL DE PENSIONES", "SNP", 2, 0},
    {"0608", "SPP - APORTACION OBLIGATORIA", "APORT.AFP", 2, 1},
    {"0700", "DESCUENTOS AL TRABAJADOR", "DESCUENTOS", 2, 0},
    {"0706", "OTROS DESCUENTOS NO DEDUCIBLES DE BASE IMPONIBLE", "OTROS DSCT", 2, 0},
    {"0800", "APORTACIONES DE CARGO DEL EMPLEADOR", "APORT.EMPL", 3, 0},
    {"0804", "ESSALUD (SEGURO REGULAR, CBSSP, AGRARIO/ACUICOLA)", "ESSALUD", 3, 0},
};

// ---- Concepts --------------------------------------------------------------------------------

struct Concept {
    const char* code;
    const char* name;
    const char* short_name;
    const char* alias;
    int kind;   // 1 constant, 2 fixed datum, 3 variable datum, 4 formula
    int type;   // 1 internal, 2 movement, 3 remuneration, 4 discount, 5 fund discount, 6 contribution
    int unit;   // 1 soles, 4 hours, 5 days, 7 percent
    double constant;
    const char* formula;
    const char* return_code;
    const char* debit;
    const char* credit;
    bool printed;
};

const Concept kConcepts[] = {
    {"001", "SUELDO BASICO MENSUAL", "SUELDO BASIC", "SUELDO", 2, 1, 1, 0, "", "", "", "", false},
    {"002", "DIAS TRABAJADOS", "DIAS TRAB.", "DIASTRA", 3, 1, 5, 0, "", "", "", "", true},
    {"003", "ASIGNACION FAMILIAR", "ASIG.FAMIL.", "ASIGFAM", 2, 3, 1, 0, "", "0201", "621100", "411100", true},
    {"004", "HORAS EXTRAS AL 25%", "H.EXTRAS 25%", "HEXT25", 3, 2, 4, 0, "", "", "", "", false},
    {"005", "SOBRETIEMPO AL 25%", "SOBRETIEMPO", "SOBRET25", 4, 3, 1, 0, "ROUND(SUELDO / 240 * 1.25 * HEXT25, 2)",
     "0105", "622100", "411100", true},
    {"006", "REMUNERACION DEL MES", "REMUNERACION", "REMMES", 4, 3, 1, 0, "ROUND(SUELDO / 30 * DIASTRA, 2)", "0121",
     "621100", "411100", true},
    {"007", "DIAS NO LABORADOS", "DIAS NO LAB.", "DIASNLAB", 3, 1, 5, 0, "", "", "", "", false},
    {"008", "DIAS SUBSIDIADOS", "DIAS SUBSID.", "DIASSUB", 3, 1, 5, 0, "", "", "", "", false},
    {"009", "DIAS DE VACACIONES", "DIAS VACAC.", "DIASVAC", 3, 1, 5, 0, "", "", "", "", false},
    {"010", "REMUNERACION MINIMA VITAL", "R.M.V.", "RMV", 1, 1, 1, 600, "", "", "", "", false},
    {"011", "TASA DE ESSALUD", "TASA ESSALUD", "TESSALUD", 1, 1, 7, 9, "", "", "", "", false},
    {"020", "TOTAL REMUNERACION", "TOTAL REMUN.", "TOTREM", 4, 1, 1, 0, "REMMES + ASIGFAM + SOBRET25", "", "", "",
     false},
    {"030", "APORTE OBLIGATORIO AFP %", "APORTE AFP %", "AFPAPO", 2, 1, 7, 0, "", "", "", "", false},
    {"031", "PRIMA DE SEGURO AFP %", "PRIMA AFP %", "AFPPRI", 2, 1, 7, 0, "", "", "", "", false},
    {"032", "COMISION VARIABLE AFP %", "COMISION %", "AFPCOM", 2, 1, 7, 0, "", "", "", "", false},
    {"035", "APORTE OBLIGATORIO AFP", "AP.OBLIG.AFP", "DAFPAPO", 4, 5, 1, 0,
     "IF(SWAFP > 0, ROUND(TOTREM * AFPAPO / 100, 2), 0)", "0608", "411100", "407100", true},
    {"036", "PRIMA DE SEGURO AFP", "PRIMA SEGURO", "DAFPPRI", 4, 5, 1, 0,
     "IF(SWAFP > 0, ROUND(TOTREM * AFPPRI / 100, 2), 0)", "0606", "411100", "407100", true},
    {"037", "COMISION VARIABLE AFP", "COMISION AFP", "DAFPCOM", 4, 5, 1, 0,
     "IF(SWAFP > 0, ROUND(TOTREM * AFPCOM / 100, 2), 0)", "0601", "411100", "407100", true},
    {"038", "SISTEMA NACIONAL DE PENSIONES", "S.N.P. 13%", "DSNP", 4, 4, 1, 0,
     "IF(SWAFP = 0, ROUND(TOTREM * 0.13, 2), 0)", "0607", "411100", "403200", true},
    {"040", "RENTA DE QUINTA CATEGORIA", "RENTA 5TA", "RENTA5", 3, 4, 1, 0, "", "0605", "411100", "401730", true},
    {"041", "PRESTAMOS AL PERSONAL", "PRESTAMO", "PRESTAMO", 3, 4, 1, 0, "", "0706", "411100", "141100", true},
    {"050", "TOTAL DESCUENTOS", "TOTAL DSCTOS", "TOTDSC", 4, 1, 1, 0,
     "DAFPAPO + DAFPPRI + DAFPCOM + DSNP + RENTA5 + PRESTAMO", "", "", "", false},
    {"060", "ESSALUD", "ESSALUD 9%", "ESSALUD", 4, 6, 1, 0,
     "MAX(ROUND(TOTREM * TESSALUD / 100, 2), ROUND(RMV * TESSALUD / 100, 2))", "0804", "627100", "403100", true},
    {"070", "TOTAL APORTES DEL EMPLEADOR", "TOT.APORTES", "TOTAPO", 4, 1, 1, 0, "ESSALUD", "", "", "", false},
    {"090", "NETO A PAGAR", "NETO A PAGAR", "NETO", 4, 1, 1, 0, "TOTREM - TOTDSC", "", "", "", false},
};

// ---- Employees --------------------------------------------------------------------------------

struct Employee {
    const char* code;
    const char* surname1;
    const char* surname2;
    const char* name1;
    const char* name2;
    int sex;  // 1 male, 2 female
    Ymd birth;
    const char* birthplace;
    int civil;  // 1 single, 2 married, 3 widowed, 4 divorced, 5 cohabiting
    const char* dni;
    const char* address;
    const char* district;
    const char* position;
    const char* cost_centre;
    const char* fund;     // blank: public pension system
    const char* cuspp;    // fund membership number
    const char* essalud;  // health insurance number
    const char* bank;
    const char* account;
    const char* cts_bank;
    const char* cts_account;
    Ymd hired;
    Ymd left;  // empty while employed
    double salary;
    bool family_allowance;
    double overtime_hours;  // entered for the demo month
};

const Employee kEmployees[] = {
    {"0001", "BENAVIDES", "ORTIZ", "JORGE", "LUIS", 1, {1962, 3, 14}, "AREQUIPA", 2, "10293847", "CALLE LOS ALAMOS 233",
     "SAN ISIDRO", "GERENTE GENERAL", "ADM", "001", "291534JBOEI4", "6203140BNOJ011", "001", "193-2104587-0-12",
     "002", "0011-0230-0200118734", {2003, 2, 1}, {}, 9500.00, true, 0},
    {"0002", "CHUQUIMIA", "PALACIOS", "ROSA", "ELENA", 2, {1975, 8, 22}, "PUNO", 2, "40918273", "JR. HUASCAR 1187",
     "JESUS MARIA", "JEFE DE PERSONAL", "ADM", "002", "540822RCPUA7", "7508220CPRE024", "001", "193-2104588-0-34",
     "002", "0011-0230-0200118735", {2005, 6, 1}, {}, 4200.00, true, 0},
    {"0003", "QUISPE", "MAMANI", "WILBER", "", 1, {1983, 11, 5}, "JULIACA", 1, "43561278", "PSJE. SAN MARTIN 145",
     "SAN JUAN DE LURIGANCHO", "OPERARIO DE MAQUINA", "PRO", "003", "631105WQMSA2", "8311050QMWI033", "002",
     "0011-0230-0100245876", "002", "0011-0230-0200245877", {2007, 3, 1}, {}, 1150.00, false, 12},
    {"0004", "HUAMÁN", "FLORES", "MARÍA", "DEL PILAR", 2, {1980, 1, 30}, "HUANCAYO", 5, "41237856",
     "AV. LOS INCAS 560", "ATE", "ASISTENTE CONTABLE", "CON", "001", "600130MHFAO9", "8001300HFMA047", "001",
     "193-2104590-0-55", "001", "193-2104590-1-10", {2006, 9, 15}, {}, 2300.00, true, 0},
    {"0005", "ROJAS", "GUTIÉRREZ", "CARLOS", "ALBERTO", 1, {1978, 5, 17}, "LIMA", 2, "09876123",
     "CALLE LAS CAMELIAS 742", "SAN BORJA", "CONTADOR GENERAL", "CON", "004", "580517CRGJT5", "7805170RGCA052",
     "003", "200-3011245871", "003", "200-3011245888", {2004, 1, 5}, {}, 5800.00, true, 0},
    {"0006", "TORRES", "VARGAS", "LUIS", "ENRIQUE", 1, {1986, 7, 9}, "TRUJILLO", 1, "45021398", "JR. ANCASH 1520",
     "LA VICTORIA", "VENDEDOR", "VEN", "002", "660709LTVRG1", "8607090TVLE065", "001", "193-2104592-0-76", "001",
     "193-2104592-1-31", {2008, 4, 1}, {}, 1600.00, false, 0},
    {"0007", "CHÁVEZ", "RAMÍREZ", "ANA", "LUCÍA", 2, {1988, 12, 2}, "CHICLAYO", 1, "46782315", "AV. AVIACION 2450",
     "SAN BORJA", "EJECUTIVA DE VENTAS", "VEN", "003", "681202ACRMV8", "8812020CRAL078", "001", "193-2104593-0-87",
     "001", "193-2104593-1-42", {2009, 2, 16}, {}, 2100.00, false, 0},
    {"0008", "MAMANI", "CONDORI", "JUAN", "CARLOS", 1, {1979, 4, 25}, "CUSCO", 2, "40125689", "MZ. F LT. 12 LOS OLIVOS",
     "LOS OLIVOS", "JEFE DE PLANTA", "PRO", "001", "590425JMCDO6", "7904250MCJC081", "002", "0011-0230-0100245901",
     "002", "0011-0230-0200245902", {2003, 8, 1}, {}, 4800.00, true, 8},
    {"0009", "CASTILLO", "ESPINOZA", "PEDRO", "PABLO", 1, {1984, 9, 13}, "PIURA", 2, "42897531",
     "CALLE RIO SANTA 318", "SAN MARTIN DE PORRES", "OPERARIO DE MAQUINA", "PRO", "", "", "8409130CEPP094", "002",
     "0011-0230-0100245934", "002", "0011-0230-0200245935", {2007, 10, 1}, {}, 1150.00, true, 16},
    {"0010", "MENDOZA", "SALAZAR", "JULIA", "ISABEL", 2, {1990, 2, 19}, "ICA", 1, "47315829", "AV. UNIVERSITARIA 3321",
     "COMAS", "AUXILIAR ADMINISTRATIVA", "ADM", "004", "700219JMSDA3", "9002190MSJI107", "001", "193-2104596-0-13",
     "001", "193-2104596-1-68", {2010, 1, 4}, {}, 1300.00, false, 0},
    {"0011", "PAREDES", "LLANOS", "RICARDO", "", 1, {1976, 6, 28}, "CAJAMARCA", 4, "09123457",
     "JR. CARABAYA 890", "CERCADO DE LIMA", "ALMACENERO", "ALM", "002", "560628RPLEA0", "7606280PLR0112", "003",
     "200-3011245902", "003", "200-3011245919", {2005, 11, 2}, {}, 1400.00, true, 6},
    {"0012", "VALDIVIA", "ZAPATA", "CÉSAR", "AUGUSTO", 1, {1982, 10, 10}, "TACNA", 2, "41908765",
     "CALLE LOS PINOS 455", "SURQUILLO", "SUPERVISOR DE VENTAS", "VEN", "003", "621010CVZDP7", "8210100VZCA125",
     "001", "193-2104598-0-35", "001", "193-2104598-1-80", {2006, 3, 1}, {}, 3200.00, true, 0},
    {"0013", "AGUILAR", "CCORI", "ROSA", "MARÍA", 2, {1985, 3, 3}, "ABANCAY", 5, "43012567", "PSJE. LOS ANDES 77",
     "EL AGUSTINO", "OPERARIA DE ACABADO", "PRO", "001", "650303RACIL4", "8503030ACRM138", "002",
     "0011-0230-0100245978", "002", "0011-0230-0200245979", {2008, 7, 1}, {}, 1100.00, true, 10},
    {"0014", "HUAYTA", "QUISPE", "MIGUEL", "ÁNGEL", 1, {1991, 8, 8}, "AYACUCHO", 1, "48123906",
     "AV. PROCERES 1290", "SAN JUAN DE LURIGANCHO", "OPERARIO DE MAQUINA", "PRO", "002", "710808MHQTS1",
     "9108080HQMA141", "002", "0011-0230-0100245990", "002", "0011-0230-0200245991", {2010, 5, 3}, {}, 1050.00,
     false, 20},
    {"0015", "SALAZAR", "PINEDA", "GLORIA", "", 2, {1973, 12, 12}, "LIMA", 3, "08765432", "CALLE BOLOGNESI 312",
     "BARRANCO", "SECRETARIA DE GERENCIA", "ADM", "", "", "7312120SPG0154", "001", "193-2104601-0-57", "001",
     "193-2104601-1-02", {2002, 4, 15}, {}, 2500.00, false, 0},
    {"0016", "FLORES", "APAZA", "EDWIN", "JAVIER", 1, {1987, 1, 21}, "MOQUEGUA", 2, "44567123",
     "JR. LOS GERANIOS 158", "LINCE", "CHOFER REPARTIDOR", "ALM", "004", "670121EFAOR8", "8701210FAEJ167", "003",
     "200-3011245953", "003", "200-3011245960", {2008, 10, 1}, {}, 1350.00, true, 14},
    {"0017", "RAMOS", "TICONA", "KATHERINE", "", 2, {1989, 5, 6}, "TACNA", 1, "46120987", "AV. BRASIL 2870",
     "PUEBLO LIBRE", "ANALISTA DE COSTOS", "CON", "003", "690506KRTMS5", "8905060RTK0170", "001",
     "193-2104603-0-79", "001", "193-2104603-1-24", {2009, 8, 3}, {}, 2700.00, false, 0},
    {"0018", "ESPINOZA", "HUARCAYA", "RAÚL", "", 1, {1981, 2, 27}, "HUANCAVELICA", 2, "41456789",
     "CALLE SAN PEDRO 640", "SAN JUAN DE MIRAFLORES", "MECANICO DE MANTENIMIENTO", "PRO", "001", "610227REHPN2",
     "8102270EHR0183", "002", "0011-0230-0100246021", "002", "0011-0230-0200246022", {2006, 1, 16}, {}, 1900.00,
     true, 9},
    {"0019", "GUTIÉRREZ", "LAURA", "SANDRA", "PATRICIA", 2, {1984, 7, 15}, "AREQUIPA", 2, "42678901",
     "URB. LOS JARDINES MZ. B LT. 4", "SANTIAGO DE SURCO", "JEFE DE VENTAS", "VEN", "002", "640715SGLTR9",
     "8407150GLSP196", "003", "200-3011245987", "003", "200-3011245994", {2005, 2, 1}, {}, 4500.00, true, 0},
    {"0020", "CONDORI", "YUPANQUI", "FREDDY", "", 1, {1979, 11, 30}, "PUNO", 5, "40345612", "JR. ILAVE 233",
     "SAN MARTIN DE PORRES", "OPERARIO DE ACABADO", "PRO", "", "", "7911300CYF0209", "002",
     "0011-0230-0100246054", "002", "0011-0230-0200246055", {2004, 6, 1}, {}, 1100.00, true, 18},
    {"0021", "TORRES", "ÑAHUI", "LUCÍA", "ESTHER", 2, {1992, 4, 11}, "HUÁNUCO", 1, "48765210", "AV. TUPAC AMARU 4120",
     "INDEPENDENCIA", "ASISTENTE DE ALMACEN", "ALM", "004", "720411LTNRE6", "9204110TNLE212", "001",
     "193-2104606-0-02", "001", "193-2104606-1-57", {2010, 9, 1}, {}, 1200.00, false, 0},
    {"0022", "VARGAS", "MEDINA", "OSCAR", "RENÉ", 1, {1977, 9, 1}, "LIMA", 2, "09345678", "CALLE MONTE ROSA 255",
     "SANTIAGO DE SURCO", "JEFE DE ADMINISTRACION", "ADM", "003", "570901OVMGR3", "7709010VMOR225", "003",
     "200-3011246013", "003", "200-3011246020", {2003, 5, 2}, {}, 6200.00, true, 0},
    {"0023", "LLANOS", "CÁRDENAS", "DIEGO", "ARMANDO", 1, {1986, 6, 24}, "CHIMBOTE", 1, "44901234",
     "JR. HUALLAGA 1020", "CERCADO DE LIMA", "VENDEDOR", "VEN", "001", "660624DLCAN0", "8606240LCDA238", "001",
     "193-2104608-0-24", "001", "193-2104608-1-79", {2009, 11, 2}, {}, 1600.00, false, 0},
    {"0024", "PALOMINO", "QUISPE", "NANCY", "", 2, {1983, 10, 18}, "AYACUCHO", 2, "42345098", "AV. MEXICO 1785",
     "LA VICTORIA", "OPERARIA DE ACABADO", "PRO", "002", "631018NPQLU7", "8310180PQN0241", "002",
     "0011-0230-0100246087", "002", "0011-0230-0200246088", {2007, 1, 8}, {}, 1100.00, true, 4},
    {"0025", "SÁNCHEZ", "OBANDO", "HÉCTOR", "IVÁN", 1, {1980, 3, 9}, "TUMBES", 2, "41123987", "CALLE LAS MAGNOLIAS 98",
     "SAN MIGUEL", "OPERARIO DE MAQUINA", "PRO", "003", "600309HSOCN4", "8003090SOHI254", "002",
     "0011-0230-0100246110", "002", "0011-0230-0200246111", {2004, 9, 1}, {2010, 12, 31}, 1250.00, true, 0},
};

// ---- Writers ----------------------------------------------------------------------------------

std::unique_ptr<xbase::Table> open_table(const std::string& dir, std::string_view base) {
    xbase::OpenOptions o;
    o.exclusive = true;
    return xbase::Table::open(data::checked_join(dir, std::string(base) + ".DBF"), o);
}

std::string join_names(const char* a, const char* b) {
    std::string r = a;
    if (*b) r += std::string(" ") + b;
    return r;
}

void write_company(const std::string& dir) {
    const Company c;
    auto t = open_table(dir, "EMPRESA");
    t->set_order("Emp1");
    if (!t->seek("01")) t->append_blank();
    text(*t, "EMCODIGO", "01");
    text(*t, "EMDESCRI", c.name);
    text(*t, "EMDESBRE", c.short_name);
    text(*t, "EMREGUNI", c.ruc);
    text(*t, "EMCODDOC", "06");
    text(*t, "EMDIRECC", c.street);
    text(*t, "EMURBANI", c.urbanization);
    text(*t, "EMDISTRI", c.district);
    text(*t, "EMPROVIN", c.province);
    text(*t, "EMDEPMTO", c.department);
    text(*t, "EMTELEFO", c.phone);
    text(*t, "EMFAX", c.fax);
    text(*t, "EMEMAIL", c.email);
    text(*t, "EMGIRO", c.activity);
    text(*t, "EMPERPAG", kPeriod);
    date(*t, "EMFECREP", 2011, 5, 31);
    text(*t, "EMAFPELA", c.rep_names);
    text(*t, "EMAFPELP", c.rep_surname1);
    text(*t, "EMAFPELM", c.rep_surname2);
    text(*t, "EMAFPDTP", "01");
    text(*t, "EMAFPDRL", c.rep_dni);
    text(*t, "EMTELRL", c.phone);
    text(*t, "EMAFPDPT", c.rep_position);
    text(*t, "EMAFPDIR", c.street);
    text(*t, "EMAFPLBN", c.prep_names);
    text(*t, "EMAFPLBP", c.prep_surname1);
    text(*t, "EMAFPLBM", c.prep_surname2);
    text(*t, "EMAFPCAR", c.prep_position);
    text(*t, "EMAFPLBD", c.prep_area);
    text(*t, "EMAFPLBT", c.prep_phone);
    // The concepts that play fixed roles in the payroll.
    text(*t, "EMCONAFP1", "030");
    text(*t, "EMCONAFP2", "031");
    text(*t, "EMCONAFP3", "032");
    text(*t, "EMDSCAFP1", "035");
    text(*t, "EMDSCAFP2", "036");
    text(*t, "EMDSCAFP3", "037");
    text(*t, "EMREAFAF", "020");
    text(*t, "EMCON5TA", "040");
    text(*t, "EMREAF51", "020");
    text(*t, "EMCTOTREM", "020");
    text(*t, "EMCTOTASG", "020");
    text(*t, "EMCTOTDSC", "050");
    text(*t, "EMCNETPAG", "090");
    text(*t, "EMCTOTAPO", "070");
    text(*t, "EMCDIATRA", "002");
    text(*t, "EMCDIAVAC", "009");
    text(*t, "EMDIASUB", "008");
    text(*t, "EMCDIASUB", "008");
    text(*t, "EMDINLAB", "007");
    text(*t, "EMHEXSIM", "004");
    text(*t, "EMSUEBAS", "001");
    text(*t, "EMINGBAS", "001");
    text(*t, "EMCPRESTA", "041");
    number(*t, "EMPRESTA", 1);
    number(*t, "EMDIASNETO", 30);
    t->close();

    auto tb = open_table(dir, "TABLAS");
    tb->set_order("Tablas1");
    if (!tb->seek("01")) tb->append_blank();
    text(*tb, "TBCODIGO", "01");
    text(*tb, "TBPARESA", "010011");  // minimum wage, EsSalud rate
    text(*tb, "TBCONVAR", "004");     // total overtime hours
    text(*tb, "TBCONCTS", "");
    tb->close();
}

void write_masters(const std::string& dir) {
    {
        auto t = open_table(dir, "BANCOS");
        for (const Bank& b : kBanks) {
            t->append_blank();
            text(*t, "BCCODIGO", b.code);
            text(*t, "BCDESCRI", b.name);
            text(*t, "BCDESBRE", b.short_name);
            text(*t, "BCDIRECC", b.address);
            text(*t, "BCN_CTA", b.account);
        }
    }
    {
        auto t = open_table(dir, "CTOCTO");
        for (const CostCentre& c : kCostCentres) {
            t->append_blank();
            text(*t, "CTCODIGO", c.code);
            text(*t, "CTDESCRI", c.name);
        }
    }
    {
        auto t = open_table(dir, "PLANCTA");
        for (const Account& a : kAccounts) {
            t->append_blank();
            text(*t, "CUENTA", a.code);
            text(*t, "NOMBRE", a.name);
            number(*t, "NIVEL", 3);
        }
    }
    {
        auto t = open_table(dir, "AFP");
        for (const Fund& f : kFunds) {
            t->append_blank();
            text(*t, "AFCODIGO", f.code);
            text(*t, "AFDESCRI", f.name);
            text(*t, "AFDESBRE", f.short_name);
            text(*t, "AFSIGLA", f.acronym);
            text(*t, "AFDIRECC", f.address);
            text(*t, "AFDISTRI", "SAN ISIDRO");
            text(*t, "AFCTDEB1", "411100");
            text(*t, "AFCTHAB1", "407100");
            for (int m = 1; m <= 12; ++m) {
                std::string mm = (m < 10 ? "0" : "") + std::to_string(m);
                number(*t, "AFIMP" + mm + "1", kFundContribution);
                number(*t, "AFIMP" + mm + "2", m <= 6 ? f.premium_first_half : f.premium_second_half);
                number(*t, "AFIMP" + mm + "3", f.commission);
            }
        }
    }
    {
        auto t = open_table(dir, "TARTPS2");
        for (const CodeEntry& e : kCodeTables) {
            t->append_blank();
            text(*t, "TRCODIGO", e.table);
            text(*t, "TRCLAVE", e.key);
            text(*t, "TRDESCRI", e.name);
            text(*t, "TRDESBRE", e.short_name);
            number(*t, "TRNIVTIP", e.level);
            text(*t, "TRREFER3", e.concept_code);
        }
    }
    {
        auto t = open_table(dir, "TACONCE");
        for (const ReturnConcept& r : kReturnConcepts) {
            const bool heading = std::string_view(r.code).substr(2) == "00";
            t->append_blank();
            text(*t, "TRCODIGO", r.code);
            text(*t, "TRDESCRI", r.name);
            text(*t, "TRDESBRE", r.short_name);
            number(*t, "TRNIVEL", heading ? 1 : 2);
            number(*t, "TRTIPO", r.type);
            flag(*t, "TRACTRTP", !heading);
            number(*t, "TREXCLUS", r.exclusion);
            flag(*t, "TRCABECE", heading);
        }
    }
    {
        auto t = open_table(dir, "CONCEPTO");
        for (const Concept& c : kConcepts) {
            t->append_blank();
            text(*t, "CPCODIGO", c.code);
            text(*t, "CPDESCRI", c.name);
            text(*t, "CPDESBRE", c.short_name);
            text(*t, "CPDESBR2", std::string(c.short_name).substr(0, 12));
            text(*t, "CPALIAS", c.alias);
            number(*t, "CPCLASE", c.kind);
            number(*t, "CPTIPCON", c.type);
            number(*t, "CPUNIDAD", c.unit);
            number(*t, "CPIMPORT", c.constant);
            text(*t, "CPFORMUL", c.formula);
            text(*t, "CPCORTPS", c.return_code);
            text(*t, "CPCTADEB", c.debit);
            text(*t, "CPCTAHAB", c.credit);
            flag(*t, "CPPINTAR", c.printed);
            flag(*t, "CPVALRTP", *c.return_code != 0);
        }
    }
    {
        // Severance-deposit semesters.
        auto t = open_table(dir, "PERCTS");
        struct Semester {
            int year, month;
            Ymd from, to;
            double rate;
        };
        const Semester semesters[] = {{2010, 10, {2010, 5, 1}, {2010, 10, 31}, 2.7890},
                                      {2011, 4, {2010, 11, 1}, {2011, 4, 30}, 2.8120}};
        for (const Semester& s : semesters) {
            t->append_blank();
            number(*t, "DCNUMANO", s.year);
            number(*t, "DCNUMMES", s.month);
            date(*t, "DCFECINI", to_date(s.from));
            date(*t, "DCFECFIN", to_date(s.to));
            date(*t, "DCFECPAG", s.month == 4 ? common::date_from_ymd(s.year, 5, 15) : common::date_from_ymd(s.year, 11, 15));
            number(*t, "DCTIPCAM", s.rate);
            number(*t, "DCDEPRET", 1);
            number(*t, "DCFRECUE", 6);
        }
    }
}

void write_employees(const std::string& dir) {
    auto per = open_table(dir, "PERSONAL");
    auto rr = open_table(dir, "REMRET");
    for (const Employee& e : kEmployees) {
        const bool active = e.left.y == 0;
        per->append_blank();
        text(*per, "PECODEMP", e.code);
        text(*per, "PEAPELLI", e.surname1);
        text(*per, "PEAPELL2", e.surname2);
        text(*per, "PENOMBRE", e.name1);
        text(*per, "PENOMBR2", e.name2);
        text(*per, "PELUGNAC", e.birthplace);
        date(*per, "PEFECNAC", to_date(e.birth));
        number(*per, "PESEXO", e.sex);
        number(*per, "PEESTCIV", e.civil);
        text(*per, "PETIPDOC", "01");
        text(*per, "PELIBELE", e.dni);
        text(*per, "PEDIRECC", e.address);
        text(*per, "PEDISTRI", e.district);
        text(*per, "PEPROVIN", "LIMA");
        text(*per, "PEDEPMTO", "LIMA");
        text(*per, "PECARGO", e.position);
        text(*per, "PECTOCTO", e.cost_centre);
        text(*per, "PECODAFP", e.fund);
        text(*per, "PENUMSPP", e.cuspp);
        text(*per, "PELIBSSP", e.essalud);
        text(*per, "PECODBCO", e.bank);
        number(*per, "PETIPCTA", 1);
        text(*per, "PECTABCO", e.account);
        text(*per, "PEBCOCTS", e.cts_bank);
        text(*per, "PENUMCTS", e.cts_account);
        number(*per, "PEMONCTS", 1);
        number(*per, "PEACTIVI", active ? 1 : 7);
        date(*per, "PEFECING", to_date(e.hired));
        date(*per, "PEFECRET", to_date(e.left));
        text(*per, "PRCATRTP", "01");
        number(*per, "PECATEGO", 1);
        number(*per, "PECONDIC", 1);
        text(*per, "PENACION", "PERUANA");
        if (*e.fund) {
            date(*per, "PEFECAFP", to_date(e.hired));
            number(*per, "PEMOVAFP", 1);
        }

        rr->append_blank();
        text(*rr, "RRCODEMP", e.code);
        text(*rr, "RRAPELLI", (join_names(e.surname1, e.surname2) + " " + e.name1).substr(0, 20));
        text(*rr, "RRCTOCTO", e.cost_centre);
        number(*rr, "RRACTIVI", active ? 1 : 7);
        date(*rr, "RRFECING", to_date(e.hired));
        date(*rr, "RRFECRET", to_date(e.left));
    }
}

}  // namespace

void fill(const std::string& dir) {
    write_company(dir);
    write_masters(dir);
    write_employees(dir);
}

void create_payroll(const std::string& dir) {
    std::vector<xbase::FieldSpec> fields = payroll_fixed_fields();
    for (const Concept& c : kConcepts) fields.push_back(concept_column(c.alias));
    const std::string base = payroll_table_name(kClassRemuneraciones, kPeriod);
    auto t = xbase::Table::create(checked_join(dir, base + ".DBF"), fields, payroll_tags(kClassRemuneraciones));
    for (const Employee& e : kEmployees) {
        if (e.left.y != 0) continue;
        t->append_blank();
        number(*t, "PLCLAPLA", kClassRemuneraciones);
        text(*t, "PLPERPAG", kPeriod);
        text(*t, "PLCODEMP", e.code);
        text(*t, "PLAPELLI", join_names(e.surname1, e.surname2));
        text(*t, "PLNOMBRE", join_names(e.name1, e.name2));
        text(*t, "PLCODAFP", e.fund);
        text(*t, "PLNUMSPP", e.cuspp);
        text(*t, "PLLIBSSP", e.essalud);
        text(*t, "PLCTOCTO", e.cost_centre);
        date(*t, "PLFECING", to_date(e.hired));
        number(*t, "PLCONDIC", 1);
        number(*t, "PLCATEGO", 1);
        number(*t, "PLACTIVI", 1);
        text(*t, "PLCODBCO", e.bank);
        text(*t, "PLCTABCO", e.account);
        number(*t, "PLTIPCTA", 1);
        text(*t, "PLLIBELE", e.dni);
        date(*t, "PLFECNAC", to_date(e.birth));
        text(*t, "PLPAGBCO", "S");
        // Entered data of the month.
        number(*t, "SUELDO", e.salary);
        number(*t, "DIASTRA", 30);
        number(*t, "ASIGFAM", e.family_allowance ? 60.00 : 0.0);
        number(*t, "HEXT25", e.overtime_hours);
    }
    t->close();
}

}  // namespace data::demo
