#pragma once
// Screens the marking of boletos opens.

#include <functional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Messages.h"

namespace rec {

/// Adds the questions of marking to a screen's message table (once).
void marcaMessages(host::TMessages& m);

/// The discount screen for an advance (kind "0") or a return ("1") of a boleto's customer:
/// net value rounded to 2 decimals, CDCLIENTE, CDEMPRESA, NRLANBOLREC, CDFILIAL, kind. Until
/// that screen is part of the build it refuses with an OperationError saying so.
int CriaDescAdi(double value, const std::string& customer, const std::string& company,
                const std::string& number, const std::string& branch, const std::string& kind);

/// The credit-note screen's two entries, installed by the unit that carries that screen.
/// While none is installed a double click on the list only toggles the mark.
struct CreditNoteScreen {
  /// Has the customer open credit or debit notes in the company?
  std::function<bool(const std::string& customer, const std::string& company)> NFDebitoCred;
  /// Opens the screen for a boleto: branch, number, company, customer, net value; gives its
  /// modal result.
  std::function<int(const std::string& branch, const std::string& number,
                    const std::string& company, const std::string& customer, double value)>
      CriaImpNFCred;
};
CreditNoteScreen& creditNoteScreen();

}  // namespace rec
