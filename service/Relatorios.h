#pragma once
// Report designs on the service: the stored templates (MODELORELAT) and the datasets the
// templates read. Methods of the server object "Qrd.rdmQRDesign":
//
//   RetornaRelatorio(file name in-out, any text) -> "<reference>\n<yyyymmddhhnnss>"
//       the reference is "Qrd.rdmQRDesign/" + the stored file name (at most 255 characters);
//       the report component keeps it as its setting. The file name comes back as stored.
//   GetDadosRel(file name) -> [date and time of the stored copy (integer 0: none),
//                              version text, source for BaixaModelo]
//   BaixaModelo(source) -> the template's text
//   GetDataSet(dataset name, bindings) -> data packet
//       bindings: an array of [name, value] pairs, or a packet whose first row holds the
//       values under the bindings' field names.
//
// Only the file name of a template counts (any path is dropped) and it is matched without
// regard to letter case, as the host's file system does. An unknown template is refused with
// "RELATORIO_NC".

#include <string>
#include <vector>

#include "host/DateTime.h"

namespace soci {
class session;
}

namespace service {

class Dispatcher;

/// Registers the methods of "Qrd.rdmQRDesign".
void registerRelatorios(Dispatcher& d);

/// A template compiled into the service from templates/.
struct ShippedTemplate {
  const char* name;   ///< file name, e.g. "MODBOLCOMP.QR2"
  const char* stamp;  ///< its date as "yyyymmddhhnnss" (UTC)
  const char* text;
};

/// The templates shipped with the product (generated at configure time).
const std::vector<ShippedTemplate>& shippedTemplates();

/// The version a template carries: when its last byte is "#", the 8 characters before it;
/// otherwise "".
std::string templateVersion(const std::string& text);

/// Stores a template under `name` (a file name, without path), replacing any stored copy;
/// throws std::invalid_argument for an empty name or text, a name with a path, or a text
/// that is not UTF-8.
void storeTemplate(soci::session& sql, const std::string& name, const std::string& text,
                   const host::DateTime& date);

/// Stores the shipped templates that are missing or older (by version, then date) than the
/// shipped copy; a design changed on the service since is kept. Returns how many it stored.
int storeShippedTemplates(soci::session& sql);

/// Stores the shipped templates that are missing or older (by version, then date) than the
/// shipped copy; when the demo data was loaded now, gives its fiscal notes their lines and
/// remarks.
void seedReportData(soci::session& sql, bool demoLoaded);

}  // namespace service
