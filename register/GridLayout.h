#pragma once
// The register list's column layout: the general setting TXVISUBOLREC, a text of entries
// "FIELD_wwwVO#" (width in three digits, V "S" shown or anything else hidden, O a letter
// that orders the columns), kept locally as `cdsVisualiza` and sent with every filter so
// the service fills the list columns the layout shows.

#include <optional>
#include <string>
#include <string_view>

namespace host {
class ClientDataset;
class GridControl;
}  // namespace host

namespace rec {

/// The layout when the setting is empty: 7 columns shown, 8 hidden.
inline constexpr std::string_view kDefaultGridLayout =
    "DTVENBOLREC_070SA#NMRAZSOCCLIE_145SB#NRPARCBOLREC_028SC#NRDUPLICATA_057SD#"
    "VRFINALBREC_070SE#IDSTATBREC_035SF#NRLICENCAUSO_079NG#CDFILIAL_054NH#DTEMISSAO_070NI#"
    "NRNOTAFISC_065NJ#CDFILIEMIT_054NK#NRCNABRECREM_065NL#NRCNABRECRET_065NM#"
    "IDSITUCNABR_130NN#IDPROTESTREC_030NO#";

/// The bank-exchange columns, added to a saved layout that predates them.
inline constexpr std::string_view kRemittanceColumns =
    "NRCNABRECREM_065NL#NRCNABRECRET_065NM#IDSITUCNABR_130NN#IDPROTESTREC_030NO#";

/// The layout to use for a setting: the default when empty; the remittance columns
/// appended when the setting does not know them.
std::string columnLayout(std::string_view txVisuBolRec);

/// One entry of the layout text.
struct GridLayoutEntry {
  std::string field;  ///< as stored in the setting, without "FTR_"
  int width = 0;
  bool visible = false;
  char order = ' ';

  /// The list's field that shows it.
  std::string listField() const { return "FTR_" + field; }
  /// Nothing for an entry that does not have the shape "FIELD_wwwVO".
  static std::optional<GridLayoutEntry> parse(std::string_view entry);
};

/// Declares and opens `cdsVisualiza` (FIELD, VISUALIZA, ORDEM, TAMANHO) empty, indexed by
/// ORDEM.
void createVisualiza(host::ClientDataset& cdsVisualiza);

/// Fills `cdsVisualiza` with a row per well-formed entry of `layout` (the list field in
/// FIELD). A malformed entry is skipped rather than stopping the register from opening.
void parseColumnLayout(std::string layout, host::ClientDataset& cdsVisualiza);

/// Arranges the list after `cdsVisualiza`, in ORDEM order: a shown column moves to the next
/// free position from the left (after the mark column, which stays first) and takes its
/// width; the column and the dataset's field both take the row's visibility.
void applyColumnLayout(host::ClientDataset& cdsVisualiza, host::GridControl& grid,
                       host::ClientDataset& list);

}  // namespace rec
