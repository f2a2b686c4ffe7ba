#include "app/menu.hpp"

#include <fmt/format.h>

#include "app/session.hpp"

namespace app {

const std::vector<MenuRow>& menu_rows() {
    static const std::vector<MenuRow> rows = {
    {"&Archivos", "", false, "&Empresas", "Mantenimiento de Empresas", "A_EMP", "", 1},
    {"&Archivos", "", true, "", "", "", "", 0},
    {"&Archivos", "", false, "&Bancos", "Mantenimiento de Bancos", "A_BAN", "", 2},
    {"&Archivos", "", false, "Personal", "Mantenimiento del file de Personal", "A_PER", "PER", 3},
    {"&Archivos", "", true, "", "", "", "", 0},
    {"&Archivos", "", false, "&Plan de Cuentas", "Mantenimiento al File de Plan de Cuentas", "A_PLACTA", "", 4},
    {"&Archivos", "", false, "&Centro de Costo", "Mantenimiento de los Centros de Costos", "A_CC", "", 5},
    {"&Archivos", "", false, "&A.F.P.", "Mantenimiento de A.F.P.", "A_AFP", "", 6},
    {"&Archivos", "", true, "", "", "", "", 0},
    {"&Archivos", "", false, "Mantenimiento de Conceptos", "Mantenimiento de Conceptos ó Rubros de la Planilla", "A_CON", "7", 0},
    {"&Archivos", "&Conceptos P D T", false, "Conceptos P D T", "Mantenimiento de Conceptos del P D T", "A_TABCON", "", 8},
    {"&Archivos", "&Conceptos P D T", false, "Conceptos P D T   .VS. Conceptos Planilla", "Relación de Conceptos del P D T  .VS. Conceptos internos de la Planilla interna", "A_TABCO3", "", 8},
    {"&Archivos", "", true, "", "", "", "", 0},
    {"&Archivos", "", false, "&Salir", "Finalizar el Sistema", "SALIR", "", 0},
    {"&Movimientos", "", false, "&Inicializa Período", "Proceso de Inicializar un Nuevo Período y Eliminar el Movimiento variable", "M_TRAB+M_INI+VALACTI", "0", 13},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "", false, "&Calculo de promedios de rem.variables, gratificaciones y sextos", "Calculo de promedios de remuneraciones variables, gratificaciones y sextos de Gratificaciones", "P_CALPRO", "", 14},
    {"&Movimientos", "", false, "&Cálculo de Sextos", "Cálculo de Sextos de Gratificaciones", "M_GRACAL", "", 14},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "", false, "&Registra Remun.y Desc.Fij.x Concepto (Planilla Remun)", "Proceso de Registro de las Remuneraciones y Descuentos Fijos por Concepto-Solo en Planilla de Remuneraciones", "M_REMF", "F", 14},
    {"&Movimientos", "", false, "&Registra Remun.y Desc.Variables x Concepto", "Proceso de Registro de las Remuneraciones y Descuentos Variables por Concepto", "M_REMF", "V", 15},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "", false, "&Registra Rem/Desc Fijos/Variab x Trabajador", "Proceso de Registro de las Remuneraciones y Descuentos (Fijos y Variables) por Trabajador", "M_REMPER", "", 16},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "", false, "       &Subsidios al personal", "Registro de los dias subsidiados en el periodo", "M_SUBSID", "", 18},
    {"&Movimientos", "", false, "       &Dias No Subsidiados y No Laborados", "Registro de Dias no subsidiados y No laborados", "M_NSULAB", "0", 19},
    {"&Movimientos", "", false, "  ** Registro de vacaciones ", "Registro de Vacaciones ", "M_NSULAB", "1", 21},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "&Adelantos de Quincenas", false, "&Cálculo de Adelantos de Quincena", "Proceso de Cálculo de Planilla - Adelantos de Quincena", "P_CAL", "0", 20},
    {"&Movimientos", "&Adelantos de Quincenas", true, "", "", "", "", 0},
    {"&Movimientos", "&Adelantos de Quincenas", false, "&Emisión de Recibos", "Emite Recibos de Adelantos de Quincena", "M_ADEREC", "", 20},
    {"&Movimientos", "&Adelantos de Quincenas", false, "&Reporte de Adelantos", "Emite Resumen de Adelantos de Quincena", "P_PLA", "ADELANTO", 20},
    {"&Movimientos", "", true, "", "", "", "", 0},
    {"&Movimientos", "&Préstamos - Cta.Cte.", false, "&Registro de Préstamos-Largo Plazo", "Proceso de Registro de los Préstamos a trabajadores", "M_PRESTA", "", 22},
    {"&Movimientos", "&Préstamos - Cta.Cte.", false, "&Detalle de las Cuotas", "Detalle de las Cuotas de los Préstamos a trabajadores", "M_DETCUO", "", 22},
    {"&Movimientos", "&Préstamos - Cta.Cte.", true, "", "", "", "", 0},
    {"&Movimientos", "&Préstamos - Cta.Cte.", false, "&Préstamos otorgados al Trabajador", "Préstamos otorgados al Trabajador", "M_PREOTO", "", 22},
    {"&Procesos", "", false, "&Cálculo de la Planilla", "Proceso del cálculo de la planilla", "P_CAL+T_GENPLA", "1", 25},
    {"&Procesos", "", true, "", "", "", "", 0},
    {"&Procesos", "", false, "&Boletas de Pago", "Impresión de las boletas", "P_BOL", "BOLETAS ", 26},
    {"&Procesos", "", false, "&Planilla Oficial", "Impresión de la Planilla Oficial", "P_PLAOFI", "PLAOFI  ", 27},
    {"&Procesos", "", true, "", "", "", "", 0},
    {"&Procesos", "", false, "&Planilla Previa", "Impresión de la Planilla Previa", "P_PLA", "PREVIA  ", 28},
    {"&Procesos", "", true, "", "", "", "", 0},
    {"&Procesos", "", false, "&Planilla de AFP", "Impresión de la Planilla de A.F.P.", "P_PLAAFP", "AFP     ", 30},
    {"&Procesos", "", false, "&Planilla Previsionales", "Impresión de la Planilla Previsional", "P_PLA", "PREVISIO", 31},
    {"&Quinta Categoría", "", false, "&Parámetros Generales", "Parámetros Generales para el Impuesto a la Renta", "Q_PARA", "", 37},
    {"&Quinta Categoría", "", true, "", "", "", "", 0},
    {"&Quinta Categoría", "", false, "&Registro de Remuneraciones y Retenciones", "Registro de Remuneraciones y Retenciones", "VARIAMES+Q_QUIREG+REGREMES", "", 38},
    {"&Quinta Categoría", "", true, "", "", "", "", 0},
    {"&Quinta Categoría", "", false, "&Certificados de Renta", "Emite Certificados de Renta de Quinta Categoría", "VARIAMES+Q_CERTI+REGREMES", "", 39},
    {"&Cuarta Categoría", "", false, "&Parámetros Generales", "Parámetros Generales para la 4ta Categoria", "C_PAR4TA", "", 41},
    {"&Cuarta Categoría", "", true, "", "", "", "", 0},
    {"&Cuarta Categoría", "", false, "&Personal de 4ta Categoría", "Personal de 4ta categoría - Datos de la Planilla de trabajadores registrados", "A_PER4TA", "", 42},
    {"&Cuarta Categoría", "", true, "", "", "", "", 0},
    {"&Cuarta Categoría", "", false, "&Registro de Recibos de 4ta Categoría", "Registro de Recibos de 4ta Categoría", "A_MOVSER", "", 43},
    {"&Cuarta Categoría", "", true, "", "", "", "", 0},
    {"&Cuarta Categoría", "", false, "&Certificado de Retenciones de 4ta categoría", "Certificado de Retenciones de 4ta categoría", "A_CERSER", "", 47},
    {"&Cuarta Categoría", "", true, "", "", "", "", 0},
    {"&Cuarta Categoría", "", false, "&Genera el Asiento de 4ta categoría", "Genera el asiento de 4ta categoría", "T_GEAS4T", "", 45},
    {"&CTS Semestral", "", false, "&Períodos ó Semestres", "Períodos o Semestres de Pago de CTS", "T_PERIO", "", 54},
    {"&CTS Semestral", "", false, "&Parámetros de Configuración", "Parámetros de Configuración de CTS", "T_PARA", "", 55},
    {"&CTS Semestral", "", true, "", "", "", "", 0},
    {"&CTS Semestral", "", false, "&GENERACIóN / REVISIóN del Archivo de C.T.S. Semestral", "Generación y Revisión del CTS de la Planilla Actual y de la Planilla Histórica", "T_CALCTS", "", 56},
    {"&CTS Semestral", "", true, "", "", "", "", 0},
    {"&CTS Semestral", "", false, "&Carta C.T.S. para el Banco", "Lista Carta C.T.S. para el Banco", "T_CTSREP", "", 57},
    {"&CTS Semestral", "", true, "", "", "", "", 0},
    {"&CTS Semestral", "", false, "&Genera el Asiento de CTS", "Genera el asiento de CTS. Totales y por Centros de Costo", "T_GEASCT", "", 58},
    {"&Parámetros", "", false, "&Parámetros: Renta, AFP, Adelantos y Rem.Variables", "Parám-A : 5ta.Categ, Conceptos AFP, Adelantos de Quincena y Remun. Variables", "U_PARAA", "", 61},
    {"&Parámetros", "", true, "", "", "", "", 0},
    {"&Parámetros", "", false, "&Parámetros:Plan.Oficial, Pagos", "Parám-B : Conc.Plan.Oficial, Pagos Externos, Plan.Oficial ($)", "U_PARAB", "", 61},
    {"&Parámetros", "", true, "", "", "", "", 0},
    {"&Parámetros", "", false, "&Parámetros: Gratificación, PDT", "Parám-C : Conc.Gratifición, Conc.Asistencia, Datos para PDT ", "U_PARAC", "", 61},
    {"&Parámetros", "", true, "", "", "", "", 0},
    {"&Parámetros", "", false, "&Parámetros: Textos Boletas, Hrs.Extras, Depuración del Sistema", "Parám-D : Textos en Boletas, Depurac.Sistema, Horas Extras", "U_PARAD", "", 61},
    {"&Configura Reportes", "", false, "&Configura Reportes", "Configuración de Reportes", "U_REP", "", 62},
    {"&Configura Reportes", "", false, "&Reportes Configurados", "Lista Reportes Configurados", "P_PLA", "VARIOS  ", 62},
    {"&Utilitarios", "", false, "&Cambio de Periodo", "Opción para seleccionar el mes de trabajo", "M_TRAB+VALACTI", "1", 65},
    {"&Utilitarios", "", false, "&Selección de Empresa", "Selecciona Nueva Empresa", "A_VIA", "", 65},
    {"&Utilitarios", "", true, "", "", "", "", 0},
    {"&Utilitarios", "", false, "&Tablas Varias (P .D. T. )", "Mantenimiento de las Tablas Varias, incluyendo principalmente las del PDT", "A_TABRT2", "", 65},
    {"&Utilitarios", "", true, "", "", "", "", 0},
    {"&Utilitarios", "", false, "&Textos para el PDT (0601)", "&Generación de los Textos para el PDT", "T_JORLAB+T_DIASUB+T_DINTRA+T_ESTTR2+T_GENPLA+T_REPLRT", "", 49},
    {"&Utilitarios", "", false, "&Generación de Asientos Contables", "&Generación de los Asientos Contables", "C_GENASI", "", 65},
    {"&Utilitarios", "", true, "", "", "", "", 0},
    {"&Utilitarios", "", false, "&Mantenimiento", "Mantenimiento de archivos", "U_MANT", "", 66},
    {"&Utilitarios", "", false, "&Respaldo de Seguridad", "Respaldo de Seguridad", "ZIPFILES", "", 67},
    {"&Utilitarios", "", true, "", "", "", "", 0},
    {"&Utilitarios", "", false, "Usuarios de la Planilla", "Mantenimiento de usuarios de la Planilla", "U_USER", "", 68},
    };
    return rows;
}

const std::vector<ToolRow>& tool_rows() {
    static const std::vector<ToolRow> rows = {
        {"CHIMENEA", "Cambio de Empresa", "A_VIA", "", 0},
        {"Periodo", "Cambio de Periodo", "M_TRAB+VALACTI", "1", 65},
        {"Insert1", "Registra Movimiento variable", "M_REMPER", "", 15},
        {"Imprimir", "Impresión de las Boletas de Pago", "P_BOL", "BOLETAS ", 26},
        {"BROWSE", "Impresión de la Planilla oficial", "P_PLAOFI", "PLAOFI  ", 27},
        {"calc", "Calculadora", "CALC", "", 0},
        {"imprimir", "Configurar Impresora", "PRINTER_SETUP", "", 0},
        {"salir", "Salir", "CLOSE", "", 0},
    };
    return rows;
}

namespace {

std::function<bool()> condition(const Session& s, int permission) {
    if (permission == 0) return {};
    return [&s, permission] { return s.allowed(permission); };
}

gui::MenuItem entry(const Session& s, const MenuRow& r, const Dispatch& dispatch) {
    if (r.separator) return gui::MenuItem::separator_line();
    gui::MenuItem m;
    m.prompt = r.prompt;
    m.message = r.message;
    m.condition = condition(s, r.permission);
    MenuCall call{r.routine, r.arg, gui::strip_access_key(r.prompt), r.message, r.permission};
    m.action = [dispatch, call] { dispatch(call); };
    return m;
}

}  // namespace

std::vector<gui::MenuItem> BUILDMENU(const Session& s, Dispatch dispatch) {
    std::vector<gui::MenuItem> bar;
    for (const MenuRow& r : menu_rows()) {
        if (bar.empty() || bar.back().prompt != r.menu) {
            gui::MenuItem top;
            top.prompt = r.menu;
            bar.push_back(std::move(top));
        }
        auto& items = bar.back().children;
        if (*r.submenu) {
            if (items.empty() || items.back().prompt != r.submenu || items.back().children.empty()) {
                gui::MenuItem sub;
                sub.prompt = r.submenu;
                items.push_back(std::move(sub));
            }
            items.back().children.push_back(entry(s, r, dispatch));
        } else {
            items.push_back(entry(s, r, dispatch));
        }
    }
    return bar;
}

std::vector<gui::ToolButton> build_toolbar(const Session& s, Dispatch dispatch) {
    std::vector<gui::ToolButton> out;
    for (const ToolRow& r : tool_rows()) {
        gui::ToolButton b;
        b.image = r.image;
        b.tooltip = r.tooltip;
        b.condition = condition(s, r.permission);
        MenuCall call{r.routine, r.arg, r.tooltip, r.tooltip, r.permission};
        b.action = [dispatch, call] { dispatch(call); };
        out.push_back(std::move(b));
    }
    return out;
}

std::string main_title(const Session& s) {
    std::string month = s.XMESANO.substr(0, 3);
    // The short name without the blanks that pad it in the company record.
    std::string logo = s.XLOGO;
    while (!logo.empty() && logo.back() == ' ') logo.pop_back();
    return fmt::format("{} ** TALVORE PLANILLA  **  {} / {:04} / Periodo : {}", logo, month, s.XANOPRO, s.XPERPAG);
}

}  // namespace app
