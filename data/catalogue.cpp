#include "data/catalogue.hpp"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace data {

namespace {

using xbase::FieldSpec;
using xbase::TagSpec;
using Fields = std::vector<FieldSpec>;
using Tags = std::vector<TagSpec>;

FieldSpec C(std::string n, int len) { return {std::move(n), 'C', len, 0}; }
FieldSpec N(std::string n, int len, int dec = 0) { return {std::move(n), 'N', len, dec}; }
FieldSpec D(std::string n) { return {std::move(n), 'D', 8, 0}; }
FieldSpec L(std::string n) { return {std::move(n), 'L', 1, 0}; }

std::string two(int n) { return {char('0' + n / 10), char('0' + n % 10)}; }

// Appends prefix + number for every number in [from, to], the number written with
// `digits` digits (1 or 2), each field a copy of `like` under that name.
void series(Fields& f, const std::string& prefix, int from, int to, int digits, const FieldSpec& like) {
    for (int i = from; i <= to; ++i) {
        FieldSpec s = like;
        s.name = prefix + (digits == 2 ? two(i) : std::to_string(i));
        f.push_back(s);
    }
}

void append(Fields& to, const Fields& from) { to.insert(to.end(), from.begin(), from.end()); }

bool iequal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// ---- Field lists ---------------------------------------------------------------------------

Fields via_fields() {
    return {C("VICODIGO", 2), C("VINOMCIA", 20), C("VIDESCRI", 20), C("VIRUTA", 200)};
}

Fields empresa_fields() {
    Fields f = {
        C("EMCODIGO", 2),  C("EMDESCRI", 60), C("EMDESBRE", 20), C("EMCODREF", 10), C("EMDIRECC", 60),
        C("EMURBANI", 30), C("EMDISTRI", 30), C("EMPROVIN", 30), C("EMDEPMTO", 30), C("EMTELEFO", 15),
        C("EMFAX", 15),    C("EMEMAIL", 50),  C("EMGIRO", 40),   C("EMREGUNI", 11), C("EMCODDOC", 2),
        C("EMPERPAG", 6),  D("EMFECREP"),     N("EMCLAPLA", 1),  N("EMPRESTA", 1),
        // Legal representative and the person who prepares the payroll.
        C("EMAFPELA", 30), C("EMAFPELP", 30), C("EMAFPELM", 30), C("EMAFPDTP", 2),  C("EMAFPDRL", 15),
        C("EMTELRL", 15),  C("EMAFPDPT", 30), C("EMAFPDIR", 60), C("EMAFPLBN", 30), C("EMAFPLBP", 30),
        C("EMAFPLBM", 30), C("EMAFPCAR", 30), C("EMAFPLBD", 30), C("EMAFPLBT", 15),
    };
    // Parameters that name one concept by its three-character code.
    for (const char* n :
         {"EMCON5TA", "EMREMPRY", "EMCONAFP1", "EMCONAFP2", "EMCONAFP3", "EMDSCAFP1", "EMDSCAFP2", "EMDSCAFP3",
          "EMREAFAF", "EMTOPPRIM", "EMACMPRI", "EMACM5TA", "EMCADELAC", "EMCADELAM", "EMSUEBAS", "EMCPRESTA",
          "EMCPRESTB", "EMCPRESTD", "EMCTOTREM", "EMCTOTASG", "EMCTOTDSC", "EMCNETPAG", "EMCTOTAPO", "EMTIPCAM",
          "EMCSEXTOS", "EMCGRATIF", "EMSEXDIA", "EMCDIATRA", "EMCHORTRA", "EMCDIAVAC", "EMFALTAS", "EMTARDAN",
          "EMDESCTO", "EMVACVTA", "EMVACTRU", "EMCREMSAL", "EMCREMONP", "EMDIASUB", "EMDINLAB", "EMHEXSIM",
          "EMHEXDOB", "EMHEXTRI", "EMHEXPRO", "EMBHEXSI", "EMBHEXDO", "EMBHEXTR", "EMBHEXPR", "EMNHEXSI",
          "EMNHEXDO", "EMNHEXTR", "EMNHEXPR", "EMINGBAS", "EMCTOHOR", "EMCDIASUB"})
        f.push_back(C(n, 3));
    series(f, "EMCRSEM", 1, 6, 1, C("", 3));
    series(f, "EMCRANU", 1, 4, 1, C("", 3));
    // Packed lists of three-character concept slots and other packed texts.
    append(f, {C("EMREAF51", 15), C("EMRMVBVA", 21), C("EMREFI", 18), C("EMREVA", 21), C("EMCDDSC1", 15),
               C("EMPAR4TA", 60), C("EMPERCTS", 10), C("EMAVIERR", 8)});
    // Numbers and switches.
    append(f, {N("EMFOLINI", 6), N("EMHORDIAME", 2), N("EMDIASNETO", 2), N("EMCOPBOL", 1), N("EMCORBOL", 6),
               N("EMFIL2DA", 3), N("EMDEBFOR", 1), N("EMINGDIA", 1), N("EMBOTCON", 1), N("EMSALBOL", 1),
               N("EMTC_CTS", 10, 4), N("EMTI_CTS", 8, 4), N("EMTI_CTD", 8, 4)});
    series(f, "EMTXTCTS", 1, 5, 1, C("", 80));
    return f;
}

Fields tablas_fields() {
    Fields f = {
        C("TBCODIGO", 2),  C("TBPARGEN", 10), C("TBPARESA", 21), C("TBSECCAL", 15), C("TBCONVAR", 15),
        C("TBSUSPEN", 3),  C("TBPERMIS", 3),  C("TBGRAHIS", 3),  C("TBCONCTS", 3),  N("TBBOLXPG", 1),
        N("TBFIL1BO", 3),  N("TBPIEBOL", 3),  N("TBMINSEX", 2),
        // Accounting entry data.
        C("TBSI_TCO", 2),  C("TBSI_VOU", 6),  N("TBSI_TCA", 12, 7), D("TBSI_FEC"), C("TBSI_GLO", 60),
        C("TBSI_TDO", 2),
        // Severance deposits.
        C("TBCTACTS", 12), C("TBCTAPAG", 12), D("TBCTSFINI"), L("TBCTSNUE"), L("TBCTSCES"), L("TBCTSSEM"),
        // Fifth-category tax.
        N("TBUIT", 10, 2),
    };
    for (int i = 1; i <= 4; ++i) {
        f.push_back(N("TBPORC" + std::to_string(i), 7, 2));
        f.push_back(N("TBTOPE" + two(i), 9, 2));
    }
    f.push_back(N("TBPRCEXT", 7, 2));
    series(f, "TBFOR", 1, 13, 2, C("", 254));
    return f;
}

Fields usuarios_fields() {
    return {C("CODIGO", 5), C("NOMBRE", 60), C("CLAVE", 10), C("PERMIS1", 254),
            N("NIVEL", 2),  N("TAMFON", 2),  L("TIPBOL"),     L("TIPITA")};
}

Fields perpag_fields() {
    Fields f = {C("PPCODIGO", 8),     C("PPDESCRI", 30),    D("PPFECINI"),    D("PPFECFIN"),
                N("PPMESPRO", 2),     N("PPANOPRO", 4),     N("PPSEMANA", 2), N("PPNUMSEM", 2),
                N("PPSEMMES", 2),     N("PPTCCOMP", 10, 4), N("PPTCVENT", 10, 4), N("PPDIANET", 3),
                D("PPFNTINI"),        D("PPFNTFIN"),        D("PPFEASIN"),    D("PPFEASFI"),
                N("PPPLAGRA", 1)};
    series(f, "PPPLANI", 1, 4, 1, N("", 1));
    return f;
}

Fields percts_fields() {
    return {N("DCNUMANO", 4), N("DCNUMMES", 2), D("DCFECINI"),        D("DCFECFIN"), D("DCFECPAG"),
            D("DCFECVCM"),    N("DCFRECUE", 2), N("DCTIPCAM", 10, 4), N("DCDEPRET", 1)};
}

Fields afp_fields() {
    Fields f = {C("AFCODIGO", 3), C("AFDESCRI", 40), C("AFDESBRE", 15), C("AFSIGLA", 10),
                C("AFDIRECC", 60), C("AFDISTRI", 30), C("AFCTDEB1", 12), C("AFCTHAB1", 12)};
    for (int m = 1; m <= 12; ++m)
        for (int r = 1; r <= 5; ++r) f.push_back(N("AFIMP" + two(m) + std::to_string(r), 8, 2));
    return f;
}

Fields bancos_fields() {
    return {C("BCCODIGO", 3), C("BCDESCRI", 40), C("BCDESBRE", 15), C("BCDIRECC", 60), C("BCN_CTA", 20)};
}

Fields ctocto_fields() { return {C("CTCODIGO", 10), C("CTDESCRI", 40), C("CTCODREF", 10)}; }

Fields plancta_fields() { return {C("CUENTA", 12), C("NOMBRE", 60), N("NIVEL", 1)}; }

Fields personal_fields() {
    return {
        C("PECODEMP", 4),  C("PEAPELLI", 20), C("PEAPELL2", 20), C("PENOMBRE", 20), C("PENOMBR2", 20),
        C("PELUGNAC", 30), D("PEFECNAC"),     N("PESEXO", 1),    N("PEESTCIV", 1),  C("PETIPDOC", 2),
        C("PELIBELE", 15), C("PEDIRECC", 60), C("PEDISTRI", 30), C("PEPROVIN", 30), C("PEDEPMTO", 30),
        C("PECARGO", 30),  C("PECTOCTO", 10), C("PECODAFP", 3),  C("PENUMSPP", 15), C("PELIBSSP", 15),
        C("PECODBCO", 3),  N("PETIPCTA", 1),  C("PECTABCO", 20), C("PEBCOCTS", 3),  C("PENUMCTS", 20),
        N("PEACTIVI", 1),  D("PEFECING"),     D("PEFECRET"),     C("PRCATRTP", 2),  N("PECATEGO", 2),
        N("PECONDIC", 2),  C("PECODREF", 10), C("PETELEFO", 15), C("PENACION", 20), N("PEMONCTS", 1),
        C("PEREGUNI", 11), D("PEINICON"),     D("PEFINCON"),     D("PEINIVAC"),     N("PEDIAVAC", 3),
        N("PEANOVAC", 4),  C("PEDETVAC", 30), N("PESEXTOS", 8, 4), N("PESEXDIA", 2), D("PEFECAFP"),
        N("PEMOVAFP", 2),  N("PEEXTRAN", 1),  C("PEFUTC01", 10), C("PECALTUR", 2),
    };
}

Fields perser_fields() {
    Fields f = personal_fields();
    append(f, {C("PEEMAIL", 50), N("PRCDCDOM", 1)});
    return f;
}

Fields concepto_fields() {
    return {C("CPCODIGO", 3),     C("CPDESCRI", 30),    C("CPDESBRE", 12),  C("CPDESBR2", 12),
            C("CPALIAS", 8),      N("CPTIPCON", 1),     N("CPCLASE", 1),    N("CPUNIDAD", 1),
            N("CPIMPORT", 14, 4), N("CPIMPTRA", 14, 2), C("CPFORMUL", 254), L("CPAVISO"),
            L("CPPINTAR"),        C("CPCODASI", 3),     C("CPCTADEB", 12),  C("CPCTAHAB", 12),
            C("CPCONREF", 3),     C("CPCORTPS", 4),     L("CPVALRTP")};
}

Fields formatos_fields() {
    Fields f = {C("FMCODIGO", 8), N("FMANCHO", 3),  N("FMMARGEN", 3), N("FMLININI", 3), N("FMLINMAX", 3),
                N("FMDETINI", 3), N("FMPUNTOS", 1), L("FMHORIZO"),    L("FMTIME"),      L("FMDATE"),
                L("FMEJECTO"),    L("FMCONTIT"),    L("FMSWPERI"),    L("FMSWSTIT"),    C("FMSUBTI", 60),
                L("FMLOGO"),      L("FMLINDOB")};
    series(f, "FMCOLM", 1, 24, 2, C("", 8));
    series(f, "FMLA", 0, 24, 2, N("", 2));
    for (const char* n : {"FMCARGO", "FMCATEGO", "FMCODEMP", "FMCODREF"}) f.push_back(L(n));
    append(f, {C("FMCONDIC", 60), C("FMCONDI2", 60)});
    for (const char* n : {"FMCTABCO", "FMCTACTS", "FMCTOCTO", "FMESTCIV", "FMFECCES", "FMFECING", "FMFECNAC",
                          "FMFINVAC", "FMINIVAC", "FMINDCES", "FMINDRAY", "FMLIBSSP", "FMNOMBRE", "FMNUMAFP",
                          "FMNUMDOC", "FMNUMPAG"})
        f.push_back(L(n));
    append(f, {C("FMOBSERV", 60), L("FMSTCOND"), L("FMTELEFO")});
    return f;
}

Fields prestamo_fields() {
    return {C("PRCODEMP", 4),     C("PRNOMBRE", 30),    C("PRCTOCTO", 10),    C("PRCONCEP", 3),
            C("PRNUMDOC", 10),    N("PRNUMPRE", 4),     C("PRTIPDOC", 2),     D("PRFECPRE"),
            D("PRFECREG"),        C("PRPERINI", 8),     C("PRPERPRE", 8),     N("PRMONEDA", 1),
            N("PRPRESTA", 12, 2), N("PRAMORTI", 12, 2), N("PRSALINI", 12, 2), N("PRCUOTAS", 3),
            N("PRCUOCAN", 3),     N("PRPRECAN", 1),     C("PRSUSPEN", 1),     N("PRCC_ADE", 1),
            C("PRDETALL", 1),     C("PRREFERE", 40),    C("PRUSER", 5),       C("PRTIME", 8)};
}

Fields presdeta_fields() {
    return {C("PDCODEMP", 4),     C("PDNOMBRE", 30),    C("PDCTOCTO", 10), C("PDCONCEP", 3),
            C("PDNUMDOC", 10),    N("PDNUMPRE", 4),     N("PDNUMCUO", 3),  C("PDTIPDOC", 2),
            D("PDFECPRE"),        D("PDFECPAG"),        D("PDFECREG"),     C("PDPERPAG", 8),
            N("PDCLAPLA", 1),     N("PDMONEDA", 1),     N("PDTIPCAM", 10, 4), N("PDIMPORT", 12, 2),
            N("PDSALINI", 12, 2), N("PDCANCEL", 1),     N("PDMARCA", 1),   N("PDPAYOUT", 1),
            C("PDDESREM", 1),     C("PDDESVAC", 1),     C("PDDESGRA", 1),  N("PDCC_ADE", 1),
            C("PDCAJDOC", 10),    D("PDCAJFEC"),        C("PDCAJTDO", 2),  C("PDUSER", 5),
            C("PDTIME", 8)};
}

Fields remret_fields() {
    Fields f = {C("RRCODEMP", 4),     C("RRAPELLI", 30),    C("RRCTOCTO", 10), N("RRACTIVI", 1),
                D("RRFECING"),        D("RRFECRET"),        N("RRREMANT", 12, 2), N("RRCREDIT", 12, 2),
                N("RRULTMES", 2)};
    series(f, "RRREM1", 1, 13, 2, N("", 12, 2));
    series(f, "RRREM2", 1, 13, 2, N("", 12, 2));
    series(f, "RRRETE", 1, 13, 2, N("", 12, 2));
    return f;
}

Fields cts_fields() {
    const FieldSpec amount = N("", 12, 2);
    const FieldSpec days = N("", 6, 2);
    Fields f = {C("PCCODEMP", 4), C("PCAPELLI", 41), C("PCNOMBRE", 41), C("PCPERPAG", 6), C("PCCTOCTO", 10),
                N("PCFRECUE", 2), N("PCANOPRO", 4), N("PCMESPRO", 2), N("PCCTSLIQ", 1), D("PCFECING"),
                D("PCFECRET"),    D("PCFECINI"),    D("PCFECFIN"),    D("PCFECVCM"),    D("PCFECPAG"),
                N("PCANOS", 2),   N("PCMESES", 2),  N("PCDIAS", 2)};
    for (const char* n : {"PCDIATRA", "PCDIAVAC", "PCDIASUB"}) {
        FieldSpec s = days;
        s.name = n;
        f.push_back(s);
    }
    series(f, "PCDIAFA", 1, 4, 1, days);
    series(f, "PCREMU", 1, 6, 2, amount);
    series(f, "PCPRMGR", 1, 6, 1, amount);
    series(f, "PCREANU", 1, 4, 1, amount);
    for (int k = 1; k <= 7; ++k) series(f, "PCPRM" + std::to_string(k), 1, 6, 2, amount);
    series(f, "PCPROME", 1, 6, 1, amount);
    for (const char* n : {"PCCTSSOL", "PCCTSDOL", "PCDEPSOL", "PCDEPDOL"}) {
        FieldSpec s = amount;
        s.name = n;
        f.push_back(s);
    }
    append(f, {N("PCTIPCAM", 10, 4), C("PCCODBCO", 3), N("PCTIPCTA", 1), C("PCNUMCTA", 20), N("PCMONCTS", 1),
               N("PCDEPRET", 1), C("PCNUMDEP", 15), N("PCCAPSOL", 12, 2), N("PCCAPDOL", 12, 2),
               N("PCDMORCTS", 4), N("PCTI_CTS", 8, 4), N("PCTI_CTD", 8, 4), L("PCRECALC"), N("PCTRANSF", 2)});
    return f;
}

Fields subsi_fields() {
    return {C("SUCODEMP", 4), C("SUPERPAG", 6), N("SUTIPO", 1),    C("SUTIPSUB", 2),  C("SUTIPDES", 2),
            D("SUFECINI"),    D("SUFECFIN"),    D("SUFECINF"),     D("SUFECFIF"),     N("SUDIASUB", 4),
            N("SUDIASUF", 4), N("SUDIADES", 4), N("SUDIATOT", 4),  C("SUDIAGNO", 250), C("SUCERTIF", 20),
            C("SUCITT", 20)};
}

Fields ndialab_fields() {
    return {C("NLCODEMP", 4), C("NLPERPAG", 6), C("NLTIPSUB", 2), N("NLNIVTIP", 1), C("NLCONCEP", 3),
            D("NLFECINI"),    D("NLFECFIN"),    D("NLFECINF"),    D("NLFECFIF"),    D("NLFEINTM"),
            D("NLFEFITM"),    N("NLDIANLA", 4), N("NLDIANLF", 4), C("NLDIAGNO", 200)};
}

Fields tartps2_fields() {
    return {C("TRCODIGO", 2),    C("TRCLAVE", 10),  C("TRDESCRI", 60), C("TRDESBRE", 20), N("TRNIVTIP", 1),
            N("TRREFER1", 7, 2), C("TRREFER2", 10), C("TRREFER3", 10), C("TRREFER4", 10)};
}

Fields taconce_fields() {
    return {C("TRCODIGO", 4), C("TRDESCRI", 50), C("TRDESBRE", 20), N("TRNIVEL", 2),
            N("TRTIPO", 2),   L("TRACTRTP"),     N("TREXCLUS", 1),  L("TRCABECE")};
}

Fields asicon_fields() {
    return {C("PLCODEMP", 4),     N("PLCLAPLA", 1), C("PLPERPAG", 6), C("PLCTOCTO", 10),
            C("PLCODAFP", 3),     C("PLCODREF", 10),    C("PLALIAS", 8),      C("PLCONCEP", 3),
            C("PLCTADEB", 12),    C("PLCTAHAB", 12),    N("PLIMPORD", 14, 2), N("PLIMPORH", 14, 2),
            N("PLIMPDBD", 14, 2), N("PLIMPHBD", 14, 2), N("PLMONEDA", 1),     N("PLTIPCAM", 10, 4),
            C("PLTIPDOC", 2),     C("PLNUMDOC", 15),    D("PLFECPAG"),        D("PLFECPRE"),
            C("PLGLOSA", 60),     C("PLRUC", 11),       C("PLRAZSOC", 60),    C("PLNUMVOU", 6),
            C("PLMESVOU", 2)};
}

Fields movser_fields() {
    return {C("PLCODEMP", 4),     C("PLAPELLI", 20),    C("PLAPELL2", 20),    C("PLNOMBRE", 20),
            C("PLNOMBR2", 20),    C("PLTIPDOC", 2),     C("PLLIBELE", 15),    C("PRREGUNI", 11),
            D("PLFECNAC"),        C("PLCODREF", 10),    D("PLFECING"),        N("PLCONDIC", 2),
            N("PLCATEGO", 2),     N("PLACTIVI", 1),     C("PLCODBCO", 3),     C("PLCTABCO", 20),
            N("PLTIPCTA", 1),     N("PLCLAPLA", 1),     N("PLCATRTP", 2),     C("PLPERPAG", 6),
            N("PLANOPRO", 4),     N("PLMESPRO", 2),     C("PLCTOCTO", 10),    C("PLCTAGAS", 10),
            C("PLGLOSA", 60),     C("PREP_TDO", 1),     C("PREP_SER", 4),     C("PREP_NUM", 11),
            L("PRRECELE"),        D("PREP_FEM"),        D("PREP_FPA"),        D("PREP_FIN"),
            D("PREP_FFI"),        N("PLMONEDA", 1),     N("PLTIPCAM", 11, 6), N("PREP_IMP", 12, 2),
            L("PREP_4TA"),        N("PREP_POR", 6, 2),  N("PREP_RET", 12, 2), N("PRES_IMP", 12, 2),
            N("PRES_RET", 12, 2), N("PRES_NET", 12, 2), N("PRMF_IMP", 12, 2), N("PREP_CAN", 12, 2),
            N("PREP_CTO", 12, 2), N("PREP_BAS", 12, 2), N("PREP_TOT", 12, 2), N("PREP_REM", 12, 2),
            N("PREP_DIA", 4),     N("PREP_HRS", 7, 2),  L("PREP_DET"),        L("PRREMREF")};
}

Fields rtaaaamm_fields() {
    return {C("CPCODEMP", 4), C("CPAPENOM", 50), C("CPLIBELE", 15), C("CPTIPDOC", 2),     C("CPCTOCTO", 10),
            N("CPCLAPLA", 1), C("CPPERIOD", 6),  N("CPTIPO", 2),    C("CPCORTPS", 4),     C("CPCONCEP", 3),
            C("CPALIAS", 8),  C("CPDESBRE", 12), N("CPTIPCON", 1),  L("CPVALRTP"),        N("CPIMPORT", 14, 4),
            L("CPCERO")};
}

Fields payroll_fields() {
    return {N("PLCLAPLA", 1),     C("PLPERPAG", 6),     C("PLCODEMP", 4),     C("PLAPELLI", 30),
            C("PLNOMBRE", 20),    C("PLCODAFP", 3),     C("PLNUMSPP", 15),    C("PLLIBSSP", 15),
            C("PLCTOCTO", 10),    C("PLCODREF", 10),    D("PLFECING"),        N("PLCONDIC", 2),
            N("PLCATEGO", 2),     N("PLACTIVI", 2),     N("PLFLGTMP", 1),     C("PLCODBCO", 3),
            C("PLCTABCO", 20),    N("PLTIPCTA", 2),     C("PLLIBELE", 10),    N("PLMOVAFP", 2),
            D("PLFECAFP"),        C("PLPAGBCO", 1),     D("PLFECNAC"),        C("PLDETPAR", 60),
            N("PLDIAVAC", 10),    N("PLDVAC_B", 10, 2), N("PLDNLB_B", 10, 2), N("PLDSUB_B", 10, 2),
            D("PLFECRET"),        C("PLFORPAG", 10),    N("PLTRAPEN", 1)};
}

// ---- Tag lists -----------------------------------------------------------------------------

Tags payroll_tag_list(const std::string& prefix) {
    static const char* const keys[9] = {"PlCodEmp",          "PlCtoCto + PlCodEmp", "PlApelli + PlNombre",
                                        "PlCodAfp + PlCodEmp", "PlCodEmp + PlCtoCto", "PlCtoCto + PlApelli",
                                        "PlCodEmp",          "PlCodAfp + PlCtoCto + PlApelli", "PlLibEle"};
    Tags t;
    for (int i = 0; i < 9; ++i) t.emplace_back(prefix + std::to_string(i + 1), keys[i]);
    return t;
}

Tags personal_tags() {
    return {{"Per1", "PeCodemp"},
            {"Per2", "PeApelli + PeApell2 + PeNombre"},
            {"Per3", "PeCtoCto + PeCodEmp"},
            {"Per4", "PeFutC01"},
            {"Per5", "PeCodEmp"},
            {"Per6", "PeCtoCto + PeApelli + PeApell2 + PeNombre"},
            {"Per7", "Str(Month(PeFecNac),4) + Str(Day(PeFecNac),4)"},
            {"Per8", "PeLibEle"},
            {"Per9", "Substr(PeLibEle,2,5)"},
            {"PerA", "PeCalTur + PeCodEmp"},
            {"PerB", "PeCalTur + PeApelli + PeApell2 + PeNombre"}};
}

Tags perser_tags() {
    return {{"PER1", "PeCodemp"},
            {"PER2", "PeApelli + PeApell2 + PeNombre + PeNombr2"},
            {"PER3", "PeCtoCto + PeCodEmp"},
            {"PER4", "PeFutC01"},
            {"PER5", "PeCodEmp"},
            {"PER6", "PeCtoCto + PeApelli + PeApell2 + PeNombre + PeNombr2"},
            {"PER7", "Str(Month(PeFecNac),4) + Str(Day(PeFecNac),4)"},
            {"PER8", "PeLibEle"},
            {"PER9", "Substr(PeLibEle,2,5)"},
            {"PERA", "PeCalTur + PeCodEmp"},
            {"PERB", "PeCalTur + PeApelli + PeApell2 + PeNombre + PeNombr2"},
            {"PERC", "PeRegUni"},
            {"PERD", "PeApelli + PeApell2 + PeNombre + PeNombr2"}};
}

TableDef def(std::string base, std::string alias, DirKind dir, Fields fields, Tags tags) {
    TableDef t;
    t.base = std::move(base);
    t.alias = std::move(alias);
    t.dir = dir;
    t.fields = std::move(fields);
    t.tags = std::move(tags);
    return t;
}

std::vector<TableDef> build() {
    const DirKind P = DirKind::Program, S = DirKind::Company;
    std::vector<TableDef> v;
    v.push_back(def("VIA", "Via", P, via_fields(), {{"vicodigo", "VICODIGO"}}));
    v.push_back(def("TMPPER", "TmpPer", P, personal_fields(),
                    {{"Per1", "PeCodemp"}, {"Per2", "PeApelli + PeApell2"}, {"Per8", "PeLibEle"}}));
    v.push_back(def("EMPRESA", "Emp", S, empresa_fields(), {{"Emp1", "Emcodigo"}}));
    v.push_back(def("TABLAS", "Tablas", S, tablas_fields(), {{"Tablas1", "TbCodigo"}}));
    v.push_back(def("USUARIOS", "user", S, usuarios_fields(), {{"USER1", "codigo"}}));
    v.push_back(def("PERPAG", "Ppg", S, perpag_fields(), {{"Ppg1", "Ppcodigo"}}));
    v.push_back(def("PERCTS", "PERCTS", S, percts_fields(), {{"PCTS1", "Str(DcNumAno,4) + Str(DcNumMes,2)"}}));
    v.push_back(def("AFP", "Afp", S, afp_fields(), {{"afp1", "afcodigo"}}));
    v.push_back(def("BANCOS", "Ban", S, bancos_fields(), {{"Ban1", "BcCodigo"}, {"Ban2", "BcDescri"}}));
    v.push_back(def("CTOCTO", "Cto", S, ctocto_fields(),
                    {{"Cto1", "Ctcodigo"}, {"Cto2", "CtDescri"}, {"Cto3", "Ctcodref"}}));
    v.push_back(def("PLANCTA", "Plan", S, plancta_fields(), {{"Plan1", "Cuenta"}}));
    v.push_back(def("PERSONAL", "Per", S, personal_fields(), personal_tags()));
    v.push_back(def("CONCEPTO", "Con", S, concepto_fields(),
                    {{"con1", "cpcodigo"}, {"con2", "CpAlias"}, {"con3", "CpCodAsi"}, {"con4", "Left(CpCoRTPS,4)"}}));
    v.push_back(def("FORMATOS", "Fmt", S, formatos_fields(), {{"Fmt1", "FmCodigo"}}));
    v.push_back(def("PRESTAMO", "Presta", S, prestamo_fields(),
                    {{"Presta1", "PrCodEmp + DtoS(PrFecPre) + PrConcep + PrNumDoc"},
                     {"Presta2", "PrCtoCto + PrCodEmp + DtoS(PrFecPre) + PrNumDoc"},
                     {"Presta3", "PrNombre + DtoS(PrFecPre) + PrConcep + PrNumDoc"},
                     {"Presta4", "PrCtoCto + PrNombre + DtoS(PrFecPre) + PrNumDoc"},
                     {"Presta5", "PrCodEmp + PrNumDoc"}}));
    v.push_back(def("PRESDETA", "PreDet", S, presdeta_fields(),
                    {{"PreDet1", "PdCodEmp + DtoS(PdFecPre) + PdConcep + PdNumDoc + Str(PdNumCuo,3)"},
                     {"PreDet2", "PdCtoCto + PdCodEmp + DtoS(PdFecPre) + PdNumDoc + Str(PdNumCuo,3)"},
                     {"PreDet3", "PdNombre + DtoS(PdFecPre) + PdConcep + PdNumDoc + Str(PdNumCuo,3)"},
                     {"PreDet4", "PdCtoCto + PdNombre + DtoS(PdFecPre) + PdNumDoc + Str(PdNumCuo,3)"},
                     {"PreDet5", "PdCodEmp + PdNumDoc + Str(PdNumCuo,3)"},
                     {"PreDet6", "PdCodEmp + PdConcep + PdPerPag + PdNumDoc"}}));
    v.push_back(def("REMRET", "RemRet", S, remret_fields(),
                    {{"RemRet1", "RrCodEmp"},
                     {"RemRet2", "RrApelli"},
                     {"RemRet3", "RrCtoCto+RrCodEmp"},
                     {"RemRet4", "RrCtoCto+RrApelli"}}));
    v.push_back(def("CTS", "CTS", S, cts_fields(),
                    {{"CTS1", "PcCodEmp + Str(PcAnoPro,4) + Str(PcMesPro,2)"},
                     {"CTS2", "PcCtoCto + PcCodEmp + Str(PcAnoPro,4) + Str(PcMesPro,2)"},
                     {"CTS3", "PcCodBco + Str(PcMonCts,1) + Str(PcAnoPro,4) + Str(PcMesPro,2)"},
                     {"CTS4", "PcApelli + PcNombre"},
                     {"CTS5", "PcCtoCto + PcApelli + PcNombre"},
                     {"CTS6", "PcCodEmp + Str(PcAnoPro,4) + Str(PcMesPro,2)"},
                     {"CTS7", "PcApelli + PcNombre"},
                     {"CTS8", "PcCodBco + PcCtoCto + PcApelli + PcNombre"}}));
    v.push_back(def("SUBSI", "Subsi", S, subsi_fields(), {{"Sub1", "SuCodEmp + DtoS(SuFecIni)"}}));
    v.push_back(def("NDIALAB", "NDiaLab", S, ndialab_fields(),
                    {{"DiNL1", "NlCodEmp + DtoS(NlFecIni)"}, {"DiNL2", "NlCodEmp + NlTipSub + DtoS(NlFecIni)"}}));
    v.push_back(def("TARTPS2", "TaRTPS2", S, tartps2_fields(),
                    {{"Tart1", "TrCodigo + TrClave"}, {"Tart2", "TrCodigo + TrDescri"}}));
    v.push_back(def("TACONCE", "TaConce", S, taconce_fields(),
                    {{"TaCon1", "TrCodigo"}, {"TaCon2", "TrDescri"}, {"TaCon3", "Str(TrNivel,3)+TrCodigo"}}));
    const Fields asi = asicon_fields();
    v.push_back(def("ASICON", "AsiCon", S, asi,
                    {{"AsiCon1", "PlCodEmp + PlCtaDeb + PlCtaHab"},
                     {"AsiCon2", "PlCtoCto + PlCtaDeb + PlCtaHab + PlCodAfp + PlCodRef"},
                     {"AsiCon3", "PlCtaDeb + PlCtaHab + PlCtoCto + PlCodAfp + PlCodRef"},
                     {"AsiCon4", "PlCtaDeb + PlCtaHab + PlCodAfp + PlCodRef"},
                     {"AsiCon5", "PlConcep + PlCodEmp"}}));
    // The summary lines reuse the tag names of the detail lines with other keys.
    v.push_back(def("ASICONC", "AsiConC", S, asi,
                    {{"AsiCon1", "PlCtoCto + PlCtaDeb + PlCtaHab + PlCodAfp + PlCodRef"},
                     {"AsiCon2", "PlCodEmp + PlNumDoc"},
                     {"AsiCon3", "PlCtaDeb + PlCtaHab + PlCodAfp + PlCodRef"}}));
    v.push_back(def("PERSER", "PerSer", S, perser_fields(), perser_tags()));
    v.push_back(def("MOVSER", "MovSer", S, movser_fields(),
                    {{"MovSer1", "PlCodEmp + Str(PlClaPla,1) + Prep_TDO + Prep_Ser + Prep_Num"},
                     {"MovSer2", "PlApelli + PlApell2 + PlNombre + PlNombr2"},
                     {"MovSer3", "PlCtoCto + PlCodEmp"},
                     {"MovSer4", "PlCtoCto + PlApelli + PlApell2 + PlNombre + PlNombr2"},
                     {"MovSer5", "PlPerPag + PlCodEmp"},
                     {"MovSer6", "Str(plAnoPro,4) + Str(PlMesPro,2) + PlCodEmp"},
                     {"MovSer7", "PlTipDoc + PlLibele + Prep_TDO + Prep_Ser + Prep_Num"},
                     {"Movser8", "PlCodEmp + PlPerPag + DtoS(Prep_fem) + Prep_Ser + Prep_Num"},
                     {"MovSer9", "PlCodEmp"},
                     {"MovSerA", "PlApelli + PlApell2 + PlNombre + PlNombr2"}}));
    v.push_back(def("RTAAAAMM", "RTPS", S, rtaaaamm_fields(),
                    {{"RtAM1", "CpCodEmp + Str(CpTipo,2) + CpCoRtps"},
                     {"RtAM2", "CpApeNom + Str(CpTipo,2) + CpCoRtps"},
                     {"RtAM3", "CpCtoCto + CpCodEmp + Str(CpTipo,2) + CpCoRtps"},
                     {"RtAM4", "CpCtoCto + CpApeNom + Str(CpTipo,2) + CpCoRtps"}}));
    // Templates of the period payroll tables.
    v.push_back(def("PLANPER", "", S, payroll_fields(), payroll_tag_list("Planper")));
    v.push_back(def("PLANVAC", "PlanVac", S, payroll_fields(), payroll_tag_list("PlanVac")));
    v.push_back(def("PLANGRA", "PlanGra", S, payroll_fields(), payroll_tag_list("PlanGra")));
    v.push_back(def("PLANTOT", "PlanTot", S, payroll_fields(), payroll_tag_list("PlanTot")));
    return v;
}

const TableDef* find_in(std::string_view name, bool by_alias) {
    for (const TableDef& t : catalogue())
        if (iequal(by_alias ? std::string_view(t.alias) : std::string_view(t.base), name)) return &t;
    return nullptr;
}

std::string_view strip_dbf(std::string_view s) {
    if (s.size() > 4 && iequal(s.substr(s.size() - 4), ".dbf")) s.remove_suffix(4);
    return s;
}

}  // namespace

// ---- TableDef ------------------------------------------------------------------------------

bool TableDef::has_memo() const {
    return std::any_of(fields.begin(), fields.end(), [](const FieldSpec& f) { return f.type == 'M' || f.type == 'm'; });
}

int TableDef::tag_index(std::string_view name) const {
    for (size_t i = 0; i < tags.size(); ++i)
        if (iequal(tags[i].name, name)) return int(i);
    return -1;
}

const TagSpec* TableDef::find_tag(std::string_view name) const {
    int i = tag_index(name);
    return i < 0 ? nullptr : &tags[size_t(i)];
}

const FieldSpec* TableDef::find_field(std::string_view name) const {
    for (const FieldSpec& f : fields)
        if (iequal(f.name, name)) return &f;
    return nullptr;
}

// ---- Look-ups ------------------------------------------------------------------------------

const std::vector<TableDef>& catalogue() {
    static const std::vector<TableDef> all = build();
    return all;
}

const TableDef* find_table(std::string_view base) { return find_in(strip_dbf(base), false); }

const TableDef* find_by_alias(std::string_view alias) {
    if (alias.empty()) return nullptr;
    return find_in(alias, true);
}

const TableDef& table(std::string_view base) {
    const TableDef* t = find_table(base);
    if (!t) throw std::out_of_range("no table " + std::string(base) + " in the catalogue");
    return *t;
}

const std::vector<TagSpec>& tags_of(std::string_view base) {
    if (const TableDef* t = find_table(base)) return t->tags;
    if (auto p = parse_payroll_table_name(base)) return payroll_tags(p->payroll_class);
    throw std::out_of_range("no table " + std::string(base) + " in the catalogue");
}

const std::vector<FieldSpec>& fields_of(std::string_view base) {
    if (const TableDef* t = find_table(base)) return t->fields;
    if (parse_payroll_table_name(base)) return payroll_fixed_fields();
    throw std::out_of_range("no table " + std::string(base) + " in the catalogue");
}

// ---- Period payroll tables -----------------------------------------------------------------

namespace {

bool valid_period(std::string_view p, int& year, int& month) {
    if (p.size() != 6 || !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    year = std::stoi(std::string(p.substr(0, 4)));
    month = std::stoi(std::string(p.substr(4, 2)));
    return month >= 1 && month <= 12 && year >= 1;
}

}  // namespace

std::string payroll_table_name(int payroll_class, std::string_view period) {
    int y = 0, m = 0;
    if (payroll_class < 1 || payroll_class > 3)
        throw std::invalid_argument("payroll class " + std::to_string(payroll_class) + " has no period tables");
    if (!valid_period(period, y, m)) throw std::invalid_argument("'" + std::string(period) + "' is not a period (YYYYMM)");
    return "H" + std::to_string(payroll_class) + std::string(period);
}

std::optional<PayrollName> parse_payroll_table_name(std::string_view base) {
    base = strip_dbf(base);
    if (base.size() != 8 || (base[0] != 'H' && base[0] != 'h') || base[1] < '1' || base[1] > '3') return std::nullopt;
    PayrollName r;
    r.payroll_class = base[1] - '0';
    if (!valid_period(base.substr(2), r.year, r.month)) return std::nullopt;
    r.period = std::string(base.substr(2));
    return r;
}

const std::vector<FieldSpec>& payroll_fixed_fields() { return table("PLANPER").fields; }

xbase::FieldSpec concept_column(std::string_view alias) { return N(upper(alias), 14, 4); }

const std::vector<TagSpec>& payroll_tags(int payroll_class) {
    return table(payroll_template(payroll_class)).tags;
}

std::string_view payroll_template(int payroll_class) {
    switch (payroll_class) {
        case kClassRemuneraciones: return "PLANPER";
        case kClassVacaciones: return "PLANVAC";
        case kClassGratificacion: return "PLANGRA";
        case kClassConsolidado: return "PLANTOT";
    }
    throw std::invalid_argument("payroll class " + std::to_string(payroll_class) + " does not exist");
}

// ---- Tables opened at start ------------------------------------------------------------------

std::vector<OpenEntry> abrefiles_tables(std::string_view period) {
    std::vector<OpenEntry> r;
    for (const char* alias : {"Emp", "Tablas", "Ppg", "Afp", "Con", "Per", "Plan", "PlanPer", "Cto", "Fmt", "Presta",
                              "PreDet", "Ban", "PlanTot", "RemRet", "TaRTPS2", "TaConce", "Subsi", "NDiaLab",
                              "PERCTS", "CTS", "AsiCon", "AsiConC", "PerSer", "MovSer", "user"}) {
        if (iequal(alias, kPlanPerAlias))
            r.push_back({alias, payroll_table_name(kClassRemuneraciones, period)});
        else
            r.push_back({alias, find_by_alias(alias)->base});
    }
    return r;
}

const std::vector<std::string>& work_table_names() {
    static const std::vector<std::string> names = {"DBLINEA", "TMPFILE", "TMPFILE1", "PLCOCRU", "MOVTMP",
                                                   "MOVTMP2", "PLANTMP", "REMTMP",   "PLANOLD"};
    return names;
}

}  // namespace data
