#include "service/Seed.h"

#include <fmt/format.h>
#include <sodium.h>

#include <array>
#include <random>
#include <stdexcept>

#include "host/Secrets.h"
#include "host/TaxId.h"
#include "host/bank/BankLayout.h"
#include "service/Access.h"
#include "service/Creditos.h"
#include "service/Database.h"
#include "service/Marcacao.h"
#include "service/Relatorios.h"
#include "service/Sequences.h"
#include "service/TipoRecebimento.h"
#include "service/Validacoes.h"

namespace service {

std::string withCnpjDigits(const std::string& base12) {
  return base12 + host::cnpjCheckDigits(base12).value();
}

std::string withCpfDigits(const std::string& base9) {
  return base9 + host::cpfCheckDigits(base9).value();
}

namespace {

struct Account {
  const char* company;
  const char* code;
  const char* bank;
  const char* cnabBank;
  const char* agreementBank;
  const char* agency;
  const char* account;
  const char* cedente;
  const char* carteira;
  const char* nossoNumero;  // DSNOSNUMCORR
  const char* dac;          // DSDACNOSNUMR
  const char* description;
  const char* branch;
  const char* form;  // IDFORMCADBANC
};

// One collection account per bank of the numbering rules, plus the code substitutions. The
// nosso número templates are the banks' defaults (host/bank): the barcode layouts read the
// sequence alone and take carteira, agency and agreement from the account themselves.
constexpr Account kAccounts[] = {
    {"04", "001", "237", "237", "", "1234", "0012345", "0012345", "09", "[SEQ:11]", "",
     "Cobrança 237", "0001", "1"},
    {"04", "002", "001", "001", "", "3210", "0054321", "1234567", "17", "[CONV:7][SEQ:10]",
     "[CONV:7][SEQ:10]", "Cobrança 001", "0001", "1"},
    {"04", "003", "033", "033", "", "4321", "0130012", "8765432", "101", "[SEQ:12]", "[SEQ:12]",
     "Cobrança 033", "0001", "1"},
    {"04", "004", "041", "041", "", "0100", "0601234", "0100123", "1", "[SEQ:8]", "[SEQ:8]",
     "Cobrança 041", "0002", "1"},
    {"04", "005", "104", "104", "", "1500", "0000987", "123456", "1", "[SEQ:17]", "[SEQ:17]",
     "Cobrança 104", "0001", ""},
    {"04", "006", "341", "341", "", "0057", "0123456", "0123456", "109", "[SEQ:8]", "",
     "Cobrança 341", "0001", "1"},
    {"04", "007", "399", "399", "", "0207", "0012349", "1122334", "CSB", "[SEQ:10]", "[SEQ:10]",
     "Cobrança 399", "0002", "1"},
    {"04", "008", "422", "422", "", "0046", "0070012", "4600700", "1", "[SEQ:9]", "[SEQ:9]",
     "Cobrança 422", "0001", "1"},
    {"04", "009", "748", "748", "", "0710", "0081234", "12345", "1", "[SEQ:8]", "", "Cobrança 748",
     "0001", "2"},
    {"04", "010", "756", "756", "", "3069", "0001234", "0123456", "1", "[SEQ:7]", "",
     "Cobrança 756", "0001", "1"},
    // Codes the emission screen rewrites: 025 -> 237, 612 -> 341, 637 -> the agreement bank.
    {"08", "001", "237", "025", "", "2222", "0099887", "0099887", "09", "[SEQ:11]", "",
     "Cobrança 025", "0003", "1"},
    {"08", "002", "341", "612", "", "0300", "0045678", "0045678", "109", "[SEQ:8]", "",
     "Cobrança 612", "0003", "1"},
    {"08", "003", "237", "637", "237", "1111", "0077665", "0077665", "09", "[SEQ:11]", "",
     "Cobrança 637", "0003", "1"},
    {"08", "004", "001", "637", "", "3333", "0011223", "7654321", "17", "[CONV:7][SEQ:10]",
     "[CONV:7][SEQ:10]", "Cobrança 637 s/ conv", "0003", "1"},
    {"12", "001", "756", "756", "", "4027", "0004567", "0456789", "1", "[SEQ:7]", "",
     "Cobrança 756", "0004", "1"},
};

struct Customer {
  const char* code;
  const char* legalName;
  const char* tradeName;
  bool company;
  const char* base;  // digits before the check digits
  const char* group;
  const char* email;
};

constexpr Customer kCustomers[] = {
    {"000000000000000000101", "Alfa Distribuidora de Alimentos Ltda", "Alfa Alimentos", true,
     "112223330001", "01", "financeiro@alfa.example"},
    {"000000000000000000102", "Beta Construções e Reformas S.A.", "Beta Construções", true,
     "445556660001", "01", "contas@beta.example"},
    {"000000000000000000103", "Gama Serviços de Informática Ltda", "Gama TI", true, "778889990001",
     "02", "cobranca@gama.example"},
    {"000000000000000000104", "Delta Comércio de Ferragens Ltda", "Delta Ferragens", true,
     "123456780001", "02", ""},
    {"000000000000000000105", "João da Silva Pereira", "João Pereira", false, "123456789", "",
     "joao.pereira@mail.example"},
    {"000000000000000000106", "Maria Aparecida Souza", "Maria Souza", false, "987654321", "",
     "maria.souza@mail.example"},
    {"000000000000000000107", "José Antônio Lima", "José Lima", false, "111444777", "", ""},
    // An alphanumeric CNPJ, as registered from July 2026: the federal revenue's own example.
    {"000000000000000000108", "Épsilon Eventos e Festas Ltda", "Épsilon Festas", true,
     "12ABC34501DE", "01", "eventos@epsilon.example"},
};

struct DemoBoleto {
  const char* company;
  const char* branch;
  const char* account;
  int customer;
  const char* status;    // IDSTATBREC
  const char* writeOff;  // CDTPBAIXAREC
  const char* cnab;      // IDSITUCNABR
  bool protested;
  bool numbered;  // has a nosso número
  int dueInDays;
  double value;
};

constexpr DemoBoleto kBoletos[] = {
    {"04", "0001", "001", 0, "A", "", "", false, false, 10, 1520.40},
    {"04", "0001", "001", 1, "A", "", "00", false, true, 20, 830.00},
    {"04", "0001", "002", 4, "E", "", "10", false, true, 15, 215.90},
    {"04", "0001", "003", 2, "E", "", "20", false, true, -5, 4300.00},
    {"04", "0002", "004", 3, "E", "", "01", false, true, 3, 99.99},
    {"04", "0001", "005", 5, "D", "", "20", false, true, 30, 1200.00},
    {"04", "0001", "006", 6, "B", "01", "90", false, true, -20, 350.75},
    {"04", "0002", "007", 0, "B", "02", "", false, true, -90, 780.00},
    {"04", "0001", "008", 1, "E", "", "20", true, true, -40, 2650.10},
    {"04", "0001", "009", 7, "A", "", "", false, false, 45, 125.00},
    {"04", "0001", "010", 2, "E", "", "00", false, true, 8, 640.00},
    {"04", "0002", "001", 4, "A", "", "", false, false, 60, 58.30},
    {"08", "0003", "001", 7, "A", "", "", false, false, 12, 5400.00},
    {"08", "0003", "002", 0, "E", "", "10", false, true, 25, 310.00},
    {"08", "0003", "003", 1, "E", "", "20", true, true, -15, 990.00},
    {"12", "0004", "001", 2, "A", "", "", false, false, 7, 470.00},
    {"12", "0004", "001", 5, "B", "03", "", false, true, -30, 210.00},
};

std::string randomPassword() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
  static const char alphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::string out;
  for (int i = 0; i < 14; ++i) out += alphabet[randombytes_uniform(sizeof alphabet - 1)];
  return out;
}

std::string iso(const host::DateTime& d) {
  return d.iso();
}

std::string nextBoletoNumber(soci::session& sql, const std::string& branch) {
  return fmt::format("{:0>10}", nextSequence(sql, branch, "BOLETO"));
}

struct BoletoRow {
  std::string company, branch, number, customer, account, status, writeOff, cnab, nossoNumero;
  std::string due, emission, carteira, protestStart, parcela;
  double value = 0;
  bool protested = false;
};

void insertBoleto(soci::session& sql, const BoletoRow& b) {
  soci::indicator wo = b.writeOff.empty() ? soci::i_null : soci::i_ok;
  soci::indicator cn = b.cnab.empty() ? soci::i_null : soci::i_ok;
  soci::indicator nn = b.nossoNumero.empty() ? soci::i_null : soci::i_ok;
  soci::indicator ps = b.protestStart.empty() ? soci::i_null : soci::i_ok;
  std::string protest = b.protested ? "S" : "N";
  std::string emitted = b.status == "E" ? "2" : "";
  soci::indicator em = emitted.empty() ? soci::i_null : soci::i_ok;
  double fine = 2.0, interest = 0.033;
  // soci binds by reference and runs the statement at the end of the full expression, after
  // temporaries are gone: every bound value is a named local.
  std::string description = "Parcela " + b.parcela + " do contrato de serviços";
  double fineValue = std::round(b.value * fine) / 100.0;
  double interestValue = std::round(b.value * interest) / 100.0;
  sql << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, VRBOLREC, "
         "VRPEMULBREC, VRMULTABREC, VRPEMORBREC, VRMORDIABREC, VRFINALBREC, DTVENBOLREC, "
         "IDSTATBREC, CDTPBAIXAREC, CDREDUCONT, CDNOSNUMREC, CDCARTCOBBOL, IDCARTCOBREC, "
         "CDINS1COBBOL, CDINS2COBBOL, QTDIAPROTBOL, CDDIAPROTBOL, QTDIADEVOL, CDDIADEVOL, "
         "IDIMPRBOLBOL, IDSITUCNABR, NRPARCBOLREC, IDPROTESTREC, DTINIPROTREC, DTEMISSAO, "
         "IDTPCTRECEBER, IDBOLEMITIDO, IDBOLRECALTER, IDFORMCADBREC, IDBAIXAUTILR, IDUTLICEUSO, "
         "VRTAXACARTORIO, DSBOLETREC) VALUES (:f, :n, :e, :c, :v, :pm, :vm, :pj, :vj, :vf, :d, "
         ":s, :w, :k, :nn, :cart, '1', '01', '02', 5, '1', 30, '1', 'E', :cnab, :p, :prot, :ps, "
         ":emi, 'N', :emitted, '0', '1', 'N', 'N', 0, :ds)",
      soci::use(b.branch), soci::use(b.number), soci::use(b.company), soci::use(b.customer),
      soci::use(b.value), soci::use(fine), soci::use(fineValue), soci::use(interest),
      soci::use(interestValue), soci::use(b.value), soci::use(b.due), soci::use(b.status),
      soci::use(b.writeOff, wo), soci::use(b.account), soci::use(b.nossoNumero, nn),
      soci::use(b.carteira), soci::use(b.cnab, cn), soci::use(b.parcela), soci::use(protest),
      soci::use(b.protestStart, ps), soci::use(b.emission), soci::use(emitted, em),
      soci::use(description);
  // The receivable the boleto collects.
  std::string duplicata = b.number.substr(4);
  std::string nota = std::to_string(std::stoll(b.number) + 1000);
  std::string status = b.status == "B" ? "B" : "A";
  sql << "INSERT INTO CTRECEBER (CDFILIAL, NRCTRECEBER, CDEMPRESA, CDCLIENTE, CDFILIEMIT, "
         "NRDUPLICATA, NRNOTAFISC, CDSERIE, NRPARCELAREC, DTEMISSAO, DTVENCTREC, VRCTRECEBER, "
         "VRSALDOREC, IDSTATCTREC, CDTPBAIXAREC, IDTPCTRECEBER, CDFILBOLREC, NRLANBOLREC) "
         "VALUES (:f, :n, :e, :c, :f2, :dup, :nf, '1', :p, :emi, :d, :v, :v2, :st, :w, 'N', :f3, "
         ":n2)",
      soci::use(b.branch), soci::use(b.number), soci::use(b.company), soci::use(b.customer),
      soci::use(b.branch), soci::use(duplicata), soci::use(nota), soci::use(b.parcela),
      soci::use(b.emission), soci::use(b.due), soci::use(b.value), soci::use(b.value),
      soci::use(status), soci::use(b.writeOff, wo), soci::use(b.branch), soci::use(b.number);
}

// The 44-digit access key of an electronic note (state, year and month, issuer's CNPJ,
// model 55, series, number, emission type, code) with its modulo-11 check digit.
std::string accessKey(const std::string& cnpj, const std::string& yymm, int series, int number) {
  std::string k = fmt::format("35{}{:0>14}55{:03}{:09}1{:08}", yymm, cnpj, series, number,
                              number * 7 % 100000000);
  int sum = 0, weight = 2;
  for (size_t i = k.size(); i-- > 0;) {
    sum += (k[i] - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  const int dv = 11 - sum % 11;
  return k + std::to_string(dv >= 10 ? 0 : dv);
}

// Mail settings of the demo branches: every branch sends through 127.0.0.1:2525 without
// TLS, with a demo user and a sealed demo password that a server without AUTH never asks
// for. João registered two addresses for his notes, whose DANFE goes with his boletos;
// Épsilon's note of branch 0001 is a debit note, whose espelho goes with its boleto.
void loadMailDemo(soci::session& sql) {
  std::string sealed;
  try {
    sealed = host::sealMailPassword(host::defaultSecretKeyFile(), "senha-de-teste");
  } catch (const std::exception&) {
    // No key file can be made here: the branches keep no password and the e-mail screen
    // says so ("Senha_N_Cad") instead of sending with one nobody can open.
  }
  sql << "UPDATE ENDEFILI SET IDTPENDEFILI = 'P', DSSMTPEMAILF = '127.0.0.1:2525', "
         "IDUTSSLEMAIL = 'N', IDUTTLSEMAIL = 'N', DSLOGINSMTP = 'boleto', CDSENHEMAILF = :s",
      soci::use(sealed);
  sql << "UPDATE SERIENF SET CDEMPRESA = NULL, CDRELDANFE = '', IDTPIMPRESDANFE = '1', "
         "CDRELESPENF = ''";
  sql << "UPDATE NOTAFISCAL SET CDINSCESTA = '110042490114', CDINSCMUNI = '', IDNFDEBITO = 'N'";
  sql << "INSERT INTO CLIEEMAILNF (CDCLIENTE, NRSEQEMAIL, DSEMAILDANFEBOL) VALUES "
         "('000000000000000000105', 1, 'nfe.joao@mail.example')";
  sql << "INSERT INTO CLIEEMAILNF (CDCLIENTE, NRSEQEMAIL, DSEMAILDANFEBOL) VALUES "
         "('000000000000000000105', 2, 'contador.joao@mail.example')";
  sql << "INSERT INTO CLIEEMAILNF (CDCLIENTE, NRSEQEMAIL, DSEMAILDANFEBOL) VALUES "
         "('000000000000000000108', 1, 'notas@epsilon.example')";
  soci::rowset<soci::row> notes =
      (sql.prepare << "SELECT N.CDFILIAL, N.NRLANCTONF, N.NRNOTAFISC, N.DTEMISSAO, "
                      "E.NRINSJUREMPR FROM NOTAFISCAL N JOIN EMPRESA E ON E.CDEMPRESA = "
                      "N.CDEMPRESA WHERE N.CDCLIENTE = '000000000000000000105'");
  std::vector<std::array<std::string, 2>> keys;
  for (const auto& r : notes) {
    const std::string date = r.get<std::string>(3);
    const std::string yymm = date.size() >= 7 ? date.substr(2, 2) + date.substr(5, 2) : "2601";
    keys.push_back({r.get<std::string>(0) + r.get<std::string>(1),
                    accessKey(r.get<std::string>(4), yymm, 1, std::stoi(r.get<std::string>(2)))});
  }
  for (const auto& [key, access] : keys) {
    const std::string branch = key.substr(0, 4), entry = key.substr(4);
    sql << "UPDATE NOTAFISCAL SET DSCHAVEACES = :k WHERE CDFILIAL = :f AND NRLANCTONF = :l",
        soci::use(access), soci::use(branch), soci::use(entry);
  }
  sql << "UPDATE NOTAFISCAL SET IDNFDEBITO = 'S', DSCHAVEACES = NULL WHERE CDCLIENTE = "
         "'000000000000000000108'";
}

// What the register reads besides the boletos: default percentages, settings, reasons, and
// the details its pages and its filter show.
void loadRegisterDemo(soci::session& sql) {
  sql << "UPDATE EMPRESA SET VRPEMULEMPR = 2, VRPEMOREMPR = 0.033";
  sql << "UPDATE EMPRESA SET VRPEMULEMPR = 1, VRPEMOREMPR = 0.02 WHERE CDEMPRESA = '08'";
  // One customer with a fine of its own and no interest: null counts as 0, the company's
  // percentages do not apply.
  sql << "UPDATE CLIENTE SET VRPEMULBCLI = 1.5 WHERE CDCLIENTE = '000000000000000000101'";
  sql << "UPDATE CLIENTE SET IDUTLICEUSO = 'N'";
  sql << "UPDATE PARAMGERAL SET IDSOLDIRBOLETO = 'N', IDORDIMPRBOL = 'N', IDUTCTRLCANREMR = 'N', "
         "IDUTLNFDEVOLREC = 'N', IDBLOQALTBOLREC = 'N', IDUTBCOPREFCLIE = 'N'";
  sql << "UPDATE PARAMGERAL SET IDBLOQALTBOLREC = 'S' WHERE CDEMPRESA = '12'";
  sql << "INSERT INTO MOTIPROR (CDMOTIPROR, DSMOTIPROR) VALUES ('01', 'Solicitação do cliente')";
  sql << "INSERT INTO MOTIPROR (CDMOTIPROR, DSMOTIPROR) VALUES ('02', 'Atraso na entrega')";
  sql << "INSERT INTO MOTIPARC (CDMOTIPARC, DSMOTIPARC) VALUES ('01', 'Acordo comercial')";
  sql << "INSERT INTO MOTIPARC (CDMOTIPARC, DSMOTIPARC) VALUES ('02', 'Renegociação de dívida')";

  // Something for every criterion of the register's filter to tell apart, in company 04.
  sql << "UPDATE VIATURA SET NRPLACA = 'ABC1D23', DSTIPOVEIC = 'Caminhão baú' WHERE CDVIATURA = "
         "'0001'";
  sql << "INSERT INTO VIATURA (CDVIATURA, DSVIATURA, NRPLACA, DSTIPOVEIC) VALUES ('0002', "
         "'Van de entregas', 'XYZ9A87', 'Van')";
  sql << "INSERT INTO GRUPOCLIE (CDGRUPCLIE, NMGRUPCLIE) VALUES ('03', 'Varejo')";
  sql << "UPDATE CLIENTE SET CDGRUPCLIE = '03' WHERE CDCLIENTE = '000000000000000000105'";
  sql << "UPDATE BOLRECEBER SET CDFILORIG = '0002', NRORCAEVENTO = '0000000100', NRSEQORCAEVE = "
         "'01', NF_ORCAMENTO = '0001', TXMENSBOLBOL = 'Não receber após o vencimento.' WHERE "
         "CDFILIAL = '0001' AND NRLANBOLREC = '0000000001'";
  sql << "UPDATE BOLRECEBER SET NRORCAEVENTO = '0000000200', NRCNABRECREM = '0000000011', "
         "NRCNABRECRET = '0000000021' WHERE CDFILIAL = '0001' AND NRLANBOLREC = '0000000002'";
  sql << "UPDATE BOLRECEBER SET NRCNABRECREM = '0000000011' WHERE CDFILIAL = '0001' AND "
         "NRLANBOLREC = '0000000003'";
  sql << "UPDATE BOLRECEBER SET CDFILORIG = '0001' WHERE CDFILIAL = '0002' AND NRLANBOLREC = "
         "'0000000001'";
  // A boleto split once: the first instalment of its own origin.
  sql << "UPDATE BOLRECEBER SET NRORIGBOLREC = '0000000008', NRPARCBOLREC = '01', CDMOTIPARC = "
         "'01' WHERE CDFILIAL = '0001' AND NRLANBOLREC = '0000000008'";
  sql << "UPDATE CTRECEBER SET CDVIATURA = '0001' WHERE (CDFILBOLREC = '0001' AND NRLANBOLREC = "
         "'0000000001') OR (CDFILBOLREC = '0002' AND NRLANBOLREC = '0000000001')";
  sql << "UPDATE CTRECEBER SET CDVIATURA = '0002' WHERE CDFILBOLREC = '0001' AND NRLANBOLREC = "
         "'0000000002'";
  // A boleto collecting two receivables of different invoices.
  sql << "UPDATE CTRECEBER SET VRCTRECEBER = 165.90, VRSALDOREC = 165.90 WHERE CDFILBOLREC = "
         "'0001' AND NRLANBOLREC = '0000000003'";
  sql << "INSERT INTO CTRECEBER (CDFILIAL, NRCTRECEBER, CDEMPRESA, CDCLIENTE, CDFILIEMIT, "
         "NRDUPLICATA, NRNOTAFISC, CDSERIE, NRPARCELAREC, DTEMISSAO, DTVENCTREC, VRCTRECEBER, "
         "VRSALDOREC, IDSTATCTREC, IDTPCTRECEBER, CDFILBOLREC, NRLANBOLREC) SELECT CDFILIAL, "
         "'0000900003', CDEMPRESA, CDCLIENTE, CDFILIEMIT, '000500', '2500', '1', '01', DTEMISSAO, "
         "DTVENCTREC, 50.00, 50.00, 'A', 'N', CDFILBOLREC, NRLANBOLREC FROM CTRECEBER WHERE "
         "CDFILBOLREC = '0001' AND NRLANBOLREC = '0000000003'";
  sql << "INSERT INTO AJUSTEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQAJUSTE, CDAJUCTREC, DSAJUCTREC, "
         "IDAJUCTREC, IDORIGAJBREC, VRAJUSTE, DTAJUSTE) SELECT CDFILIAL, NRLANBOLREC, 1, '0001', "
         "'Desconto', 'D', '1', 10.00, DTEMISSAO FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
         "NRLANBOLREC = '0000000003'";
  // The first boleto received partly in cash and partly by a cheque.
  sql << "INSERT INTO TPRECBOLETO (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDTIPORECE, VRTPRECBO) "
         "VALUES ('0001', '0000000001', 1, '001', 1000.00)";
  sql << "INSERT INTO TPRECBOLETO (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDTIPORECE, VRTPRECBO) "
         "VALUES ('0001', '0000000001', 2, '003', 520.40)";
  sql << "INSERT INTO CHEQUEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, NRCHEQBOLREC, "
         "CDBANCBOLREC, CDAGENBOLREC, CDCONTBOLREC, DTCHEQBOLREC, DSCHEQBOLREC, VRCHEQBOLREC) "
         "SELECT '0001', '0000000001', 2, '000123', '237', '1234', '0012345', DTVENBOLREC, "
         "'Cheque pré-datado', 520.40 FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000001'";
}

void loadDemo(soci::session& sql, const SeedOptions& o) {
  struct Company {
    const char* code;
    const char* name;
    const char* base;
  };
  const Company companies[] = {{"04", "Comercial Exemplo Ltda", "100200300001"},
                               {"08", "Eventos Exemplo S.A.", "200300400001"},
                               {"12", "Serviços Demonstração Ltda", "300400500001"}};
  for (const auto& c : companies) {
    std::string cnpj = withCnpjDigits(c.base);
    std::string code = c.code, name = c.name;
    sql << "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NRINSJUREMPR, IDTPIJUREMPR) "
           "VALUES (:c, :n, :j, 'J')",
        soci::use(code), soci::use(name), soci::use(cnpj);
    std::string budgets = code == "08" ? "S" : "N";
    sql << "INSERT INTO PARAMGERAL (CDEMPRESA, IDEXIBDADORC, IDSISDOS, QTDIAANTBOLR, "
           "QTDIAAPOBOLR) VALUES (:c, :o, '1', 5, 30)",
        soci::use(code), soci::use(budgets);
  }
  struct Branch {
    const char* code;
    const char* company;
    const char* name;
    const char* base;
    const char* city;
  };
  const Branch branches[] = {{"0001", "04", "Matriz São Paulo", "100200300001", "São Paulo"},
                             {"0002", "04", "Filial Campinas", "100200300002", "Campinas"},
                             {"0003", "08", "Matriz Eventos", "200300400001", "Curitiba"},
                             {"0004", "12", "Matriz Serviços", "300400500001", "Recife"}};
  for (const auto& b : branches) {
    std::string cnpj = withCnpjDigits(b.base);
    std::string code = b.code, company = b.company, name = b.name, city = b.city;
    sql << "INSERT INTO FILIAL (CDFILIAL, CDEMPRESA, NMFILIAL, NRINSJURFILI, IDSISDOS) "
           "VALUES (:f, :e, :n, :j, '1')",
        soci::use(code), soci::use(company), soci::use(name), soci::use(cnpj);
    std::string mail = "boletos." + code + "@empresa.example";
    sql << "INSERT INTO ENDEFILI (CDFILIAL, DSENDEFILI, NMBAIRFILI, NMCIDAFILI, SGESTADO, "
           "NRCEPFILI, NRTELEFILI, DSEMAILFILI, NMSERVSMTP, NRPORTSMTP, IDSSLSMTP, IDTLSSMTP, "
           "DSEMAILREMET, NMREMETENTE, TXASSUNTOMAIL) VALUES (:f, 'Rua das Flores, 100', "
           "'Centro', :c, 'SP', '01001000', '1130000000', :m, '127.0.0.1', 2525, 'N', 'N', :m2, "
           ":n, 'Boleto de cobrança')",
        soci::use(code), soci::use(city), soci::use(mail), soci::use(mail), soci::use(name);
  }
  sql << "INSERT INTO GRUPOCLIE (CDGRUPCLIE, NMGRUPCLIE) VALUES ('01', 'Atacado')";
  sql << "INSERT INTO GRUPOCLIE (CDGRUPCLIE, NMGRUPCLIE) VALUES ('02', 'Serviços')";
  for (const auto& c : kCustomers) {
    std::string doc = c.company ? withCnpjDigits(c.base) : withCpfDigits(c.base);
    std::string kind = c.company ? "J" : "F";
    std::string code = c.code, legal = c.legalName, trade = c.tradeName, group = c.group,
                email = c.email;
    soci::indicator gi = group.empty() ? soci::i_null : soci::i_ok;
    soci::indicator ei = email.empty() ? soci::i_null : soci::i_ok;
    sql << "INSERT INTO CLIENTE (CDCLIENTE, NMRAZSOCCLIE, NMFANTCLIE, IDTPIJURCLIE, "
           "NRINSJURCLIE, CDGRUPCLIE, DSEMAILCLIE, DSENDECLIE, NMCIDACLIE, SGESTADO, NRCEPCLIE) "
           "VALUES (:c, :l, :t, :k, :d, :g, :m, 'Av. Brasil, 500', 'São Paulo', 'SP', '01430000')",
        soci::use(code), soci::use(legal), soci::use(trade), soci::use(kind), soci::use(doc),
        soci::use(group, gi), soci::use(email, ei);
  }
  for (const char* bank : {"001", "025", "033", "041", "104", "237", "341", "399", "422", "612",
                           "637", "748", "756"}) {
    std::string code = bank, name = std::string("Banco ") + bank;
    sql << "INSERT INTO BANCO (CDBANCO, NMBANCO) VALUES (:c, :n)", soci::use(code), soci::use(name);
  }
  for (const auto& a : kAccounts) {
    std::string company = a.company, code = a.code, bank = a.bank, cnab = a.cnabBank,
                conv = a.agreementBank, agency = a.agency, account = a.account, ced = a.cedente,
                cart = a.carteira, nn = a.nossoNumero, dac = a.dac, ds = a.description,
                branch = a.branch, form = a.form;
    soci::indicator ci = conv.empty() ? soci::i_null : soci::i_ok;
    soci::indicator fi = form.empty() ? soci::i_null : soci::i_ok;
    sql << "INSERT INTO CONTCORR (CDEMPRESA, CDREDUCONT, CDBANCO, CDAGENCIA, CDCONTCORR, "
           "CDBANCCNAB, CDBANCOCONV, CDCEDENTEBAN, DSNOSNUMCORR, DSDACNOSNUMR, DSLINHADCORR, "
           "DSARQBOLCOMP, DSARQBOLPREI, IDVERFXNUMC, NRININOSNUMC, NRFIMNOSNUMC, IDVERFXNUMP, "
           "IDFORMCADBANC, DSCONTCORR, CDPICTAGEN, CDPICTCONT, CDCARTCOBR, IDCARTCOBR, "
           "CDINS1COBR, CDINS2COBR, IDIMPRBOLETO, QTDIAPROTEST, CDDIAPROTEST, QTDIADEVOL, "
           "CDDIADEVOL, TXMENSBOLETO, CDFILIAL) VALUES (:e, :c, :b, :ag, :cc, :cnab, :conv, "
           ":ced, :nn, :dac, '', 'MODBOLCOMP.QR2', 'MODBOLPREI.QR2', 'S', '1', '99999999', 'N', "
           ":form, :ds, '9999-9', '99999999-9', :cart, '1', '01', '02', 'B', 5, '1', 30, '1', "
           "'Não receber após 30 dias do vencimento.', :f)",
        soci::use(company), soci::use(code), soci::use(bank), soci::use(agency), soci::use(account),
        soci::use(cnab), soci::use(conv, ci), soci::use(ced), soci::use(nn), soci::use(dac),
        soci::use(form, fi), soci::use(ds), soci::use(cart), soci::use(branch);
  }
  // One account whose boletos are also paid by Pix: the key is the company's CNPJ.
  {
    std::string key = withCnpjDigits(companies[0].base);
    sql << "UPDATE CONTCORR SET DSCHAVEPIX = :k WHERE CDEMPRESA = '04' AND CDREDUCONT = '002'",
        soci::use(key);
  }
  const char* writeOffs[][3] = {
      {"01", "Pagamento", "N"}, {"02", "Perda", "S"}, {"03", "Cancelamento", "N"}};
  for (const auto& w : writeOffs) {
    std::string c = w[0], n = w[1], p = w[2];
    sql << "INSERT INTO TIPOBAIXA (CDTPBAIXAREC, NMTPBAIXAREC, IDPERDA) VALUES (:c, :n, :p)",
        soci::use(c), soci::use(n), soci::use(p);
  }
  const char* adjustments[][3] = {{"0001", "Desconto", "D"},
                                  {"0002", "Acréscimo", "C"},
                                  {"0003", "Desconto antecipação", "D"},
                                  {"0004", "Taxa de cartório", "C"}};
  for (const auto& a : adjustments) {
    std::string c = a[0], n = a[1], k = a[2];
    sql << "INSERT INTO TIPOAJREC (CDAJUCTREC, DSAJUCTREC, IDAJUCTREC) VALUES (:c, :n, :k)",
        soci::use(c), soci::use(n), soci::use(k);
  }
  // Receipt types: "3" marks the cheque type.
  sql << "INSERT INTO TIPORECEBE (CDTIPORECE, NMTIPORECE, IDTIPORECE) VALUES ('001', 'Dinheiro', "
         "'1')";
  sql << "INSERT INTO TIPORECEBE (CDTIPORECE, NMTIPORECE, IDTIPORECE) VALUES ('002', "
         "'Depósito em conta', '2')";
  sql << "INSERT INTO TIPORECEBE (CDTIPORECE, NMTIPORECE, IDTIPORECE) VALUES ('003', 'Cheque', "
         "'3')";
  sql << "INSERT INTO TIPORECEBE (CDTIPORECE, NMTIPORECE, IDTIPORECE) VALUES ('004', 'Cartão', "
         "'4')";
  sql << "INSERT INTO CARTAO (CDCARTAO, NMCARTAO) VALUES ('001', 'Cartão de crédito')";
  sql << "INSERT INTO CARTAO (CDCARTAO, NMCARTAO) VALUES ('002', 'Cartão de débito')";
  sql << "INSERT INTO SERIENF (CDSERIE, DSSERIE) VALUES ('1', 'Série 1')";
  sql << "INSERT INTO VIATURA (CDVIATURA, DSVIATURA) VALUES ('0001', 'Caminhão baú')";

  int parcela = 0;
  for (const auto& d : kBoletos) {
    BoletoRow b;
    b.company = d.company;
    b.branch = d.branch;
    b.number = nextBoletoNumber(sql, b.branch);
    b.customer = kCustomers[d.customer].code;
    b.account = d.account;
    b.status = d.status;
    b.writeOff = d.writeOff;
    b.cnab = d.cnab;
    b.protested = d.protested;
    b.value = d.value;
    b.due = iso(o.today.addDays(d.dueInDays));
    b.emission = iso(o.today.addDays(std::min(0, d.dueInDays) - 30));
    b.parcela = fmt::format("{:0>2}", ++parcela % 12 + 1);
    if (b.protested) b.protestStart = iso(o.today.addDays(d.dueInDays + 5));
    for (const auto& a : kAccounts)
      if (b.company == a.company && b.account == a.code) b.carteira = a.carteira;
    // A number already given is stored as the bank prints it, check characters included.
    if (d.numbered) {
      for (const auto& a : kAccounts) {
        if (b.company != a.company || b.account != a.code) continue;
        const std::string bankCode = bank::CodigoEmissao(a.cnabBank, a.agreementBank);
        b.nossoNumero = bank::NossoNumeroImpresso(
            {bankCode, a.agency, a.account, a.cedente, a.agreementBank, a.nossoNumero}, a.carteira,
            std::to_string(parcela * 7919), *a.form ? a.form : "1");
      }
    }
    insertBoleto(sql, b);
    std::string nf = std::to_string(std::stoll(b.number) + 1000);
    std::string lanc = b.number;
    sql << "INSERT INTO NOTAFISCAL (CDFILIAL, NRLANCTONF, CDEMPRESA, CDSERIE, NRNOTAFISC, "
           "CDCLIENTE, DTEMISSAO, VRNOTAFISC, IDTIPONF) VALUES (:f, :l, :e, '1', :nf, :c, :d, "
           ":v, 'S')",
        soci::use(b.branch), soci::use(lanc), soci::use(b.company), soci::use(nf),
        soci::use(b.customer), soci::use(b.emission), soci::use(b.value);
  }
  // A credit note and an advance for the customers to apply.
  std::string today = iso(o.today);
  sql << "INSERT INTO NOTACREDITO (CDFILIAL, NRNOTACRED, CDEMPRESA, CDCLIENTE, IDTIPONOTA, "
         "DTEMISSAO, VRNOTACRED, VRSALDONOTA, DSNOTACRED) VALUES ('0001', '0000000001', '04', "
         "'000000000000000000101', 'C', :d, 150, 150, 'Devolução parcial de mercadoria')",
      soci::use(today);
  sql << "INSERT INTO ADIANTAMENTO (CDFILIAL, NRADIANTREC, CDEMPRESA, CDCLIENTE, DTADIANTREC, "
         "VRADIANTREC, VRSALDOADIANT) VALUES ('0001', '0000000001', '04', "
         "'000000000000000000102', :d, 300, 300)",
      soci::use(today);
  loadRegisterDemo(sql);
  loadMailDemo(sql);
  loadMarkingDemo(sql);
  loadCreditDemo(sql);
  seedValidacoesDemo(sql);
  seedTipoRecebimentoDemo(sql);
}

}  // namespace

SeedResult seed(Database& db, const SeedOptions& o) {
  if (o.today == host::DateTime())
    throw std::invalid_argument("seed: no date given to date the demo data from");
  SeedResult result;
  std::lock_guard lock(db.mutex());
  auto& sql = db.session();
  soci::transaction tr(sql);
  if (o.demo) {
    int present = 0;
    sql << "SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA = '04'", soci::into(present);
    if (!present) {
      loadDemo(sql, o);
      result.demoLoaded = true;
      result.password = o.password.empty() ? randomPassword() : o.password;
      saveOperator(sql, "demo", "Operador de demonstração", result.password, {"04", "08", "12"});
    } else if (!o.password.empty()) {
      result.password = o.password;
      saveOperator(sql, "demo", "Operador de demonstração", result.password, {"04", "08", "12"});
    }
  }
  seedReportData(sql, result.demoLoaded);
  if (o.extraBoletos > 0) {
    // Deterministic, so two runs of a benchmark compare like with like.
    std::mt19937 rng(20261208u);
    std::uniform_int_distribution<int> customer(0, static_cast<int>(std::size(kCustomers)) - 1);
    std::uniform_int_distribution<int> due(1, 60);
    std::uniform_int_distribution<int> cents(5000, 2500000);
    for (int i = 0; i < o.extraBoletos; ++i) {
      BoletoRow b;
      b.company = "04";
      b.branch = i % 3 == 2 ? "0002" : "0001";
      b.number = nextBoletoNumber(sql, b.branch);
      b.customer = kCustomers[customer(rng)].code;
      b.account = "001";
      b.status = "A";
      b.value = cents(rng) / 100.0;
      b.due = iso(o.today.addDays(due(rng)));
      b.emission = iso(o.today);
      b.carteira = "09";
      b.parcela = fmt::format("{:0>2}", i % 12 + 1);
      insertBoleto(sql, b);
    }
    result.boletosAdded = o.extraBoletos;
  }
  tr.commit();
  return result;
}

}  // namespace service
