#pragma once
// The creators through which one screen of the module opens another. Screens never include
// each other: the register fills a declared hand-off (records/EmissionOrder.h) and calls the
// emission's creator from this table. Each screen's library installs its own creator; the
// package installs every one when it loads, and a program that links the screens statically
// calls the installers of those it links.

#include <functional>
#include <string>

#include "host/ClientDataset.h"
#include "host/Errors.h"
#include "host/KeyList.h"
#include "records/EmissionOrder.h"

namespace rec {

/// What the register lends the screens the host opens over it: its marked set and the boleto
/// it stands on.
struct RegisterView {
  host::ClientDataset* cdsMarca = nullptr;
  std::string CDFILIAL, NRLANBOLREC;
  /// Drops every mark of the register's list and reads the list again (after a batch the
  /// service carried out).
  std::function<void()> Desmarca;
};

struct Creators {
  /// `CriaImprimeBol`: the emission screen for the order. With `reissue` or `emit` true the
  /// file run goes at once into `directory` and no screen is shown. The screen's modal result
  /// (1: the run completed).
  std::function<int(const records::EmissionOrder& order, const std::string& directory, bool reissue,
                    bool emit)>
      CriaImprimeBol;
  /// `CriaDirBoletos`: the boleto directory screen; the directory chosen, "" when cancelled.
  std::function<std::string()> CriaDirBoletos;
  /// `CriaSelImpNF`: the import selection of the customer's fiscal notes (company, customer
  /// code of 21 characters); modeless, created once.
  std::function<void(const std::string& company, const std::string& customer)> CriaSelImpNF;
  /// `CriaImprimeCarne`: the carnê screen for the order (its `klEmissao`, print order and
  /// account); the modal result (1: printed or saved).
  std::function<int(const records::EmissionOrder& order)> CriaImprimeCarne;
  /// `CriaConjulgarBoleto`: the association screen for the company.
  std::function<int(const std::string& company)> CriaConjulgarBoleto;
  /// `CriaEnvBolMail`: the e-mail screen for the order; `sent` is told the key of each boleto
  /// sent. The screen's modal result (1: the run completed).
  std::function<int(const records::EmissionOrder& order,
                    std::function<void(const std::string& key)> sent)>
      CriaEnvBolMail;
  /// The open register's view (installed by the register while it is open).
  std::function<RegisterView()> registro;
  /// `CriaDescAdi`: the discount of a boleto by the customer's advances (kind "0") or
  /// devolutions ("1"): net value rounded to 2 decimals, CDCLIENTE, CDEMPRESA, NRLANBOLREC,
  /// CDFILIAL, kind. The screen's modal result (1: the discount was booked).
  std::function<int(double value, const std::string& customer, const std::string& company,
                    const std::string& number, const std::string& branch, const std::string& kind)>
      CriaDescAdi;
  /// `NFDebitoCred`: has the customer credit notes open in the company?
  std::function<bool(const std::string& customer, const std::string& company)> NFDebitoCred;
  /// `CriaImpNFCred`: the credit notes of the customer applied to a boleto: branch, number,
  /// company, customer, net value. The screen's modal result (1: notes were booked).
  std::function<int(const std::string& branch, const std::string& number,
                    const std::string& company, const std::string& customer, double value)>
      CriaImpNFCred;
  /// `CriaGerarBoleto`: the generation of text files for the boletos of `klsImporBoleto` with
  /// the numbering list `klsCodigoBarra` (the register gives its klCarteira as both) on the
  /// account; `baixaRelatorio` refreshes a report template (may be empty). The screen's modal
  /// result (1: generated).
  std::function<int(host::TKeyList& klsCodigoBarra, const std::string& account,
                    host::TKeyList& klsImporBoleto,
                    std::function<void(const std::string& fileName)> baixaRelatorio)>
      CriaGerarBoleto;
};

/// The process's creators.
Creators& creators();

/// `creator`, or an operator error naming the screen when none is installed.
template <class F>
const F& installed(const F& creator, const char* screen) {
  if (!creator) host::MensErro(std::string("A tela ") + screen + " não está instalada.");
  return creator;
}

}  // namespace rec
