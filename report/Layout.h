#pragma once
// Lays a template out over its data: bands, rows, groups and pages, with every expression
// evaluated, into the page model that the outputs draw.

#include <map>
#include <string>

#include "host/Errors.h"
#include "host/Value.h"
#include "report/DataSource.h"
#include "report/PageModel.h"
#include "report/Template.h"

namespace report {

/// The data of a report is not what its template reads (a missing field, a value that is
/// not a date, no rows at all). The text names the template and the line.
class ReportError : public host::OperationError {
 public:
  using host::OperationError::OperationError;
};

struct ReportData {
  std::map<std::string, DataTable> tables;    ///< by dataset name of the template
  std::map<std::string, host::Value> params;  ///< by parameter name
};

/// The pages of `tpl` over `data`. A report whose detail bands have no rows at all is a
/// ReportError: an empty document would pass for a printed boleto.
Document layoutReport(const Template& tpl, const ReportData& data);

/// A value shown in a display format: "#,##0.00" and the like (Brazilian separators),
/// date formats ("dd/mm/yyyy"), "cpfcnpj", "linha" (a 47-digit typed line laid out),
/// "upper"; an empty format shows the value's own text.
std::string formatValue(const host::Value& value, const std::string& format);

}  // namespace report
