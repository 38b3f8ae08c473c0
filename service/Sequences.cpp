#include "service/Sequences.h"

namespace service {

int64_t currentSequence(soci::session& sql, const std::string& company, const std::string& name) {
  std::string value;
  soci::indicator ind = soci::i_null;
  sql << "SELECT NRSEQUENCIA FROM SEQUENCIA WHERE CDEMPRESA = :e AND NMSEQUENCIA = :n",
      soci::use(company), soci::use(name), soci::into(value, ind);
  return ind == soci::i_ok ? std::stoll(value) : 0;
}

void setSequence(soci::session& sql, const std::string& company, const std::string& name,
                 int64_t value) {
  // An upsert: two servers setting a counter that does not exist yet would otherwise both
  // find no row and one of them fail on the key.
  std::string text = std::to_string(value);
  sql << "INSERT INTO SEQUENCIA (CDEMPRESA, NMSEQUENCIA, NRSEQUENCIA) VALUES (:e, :n, :v) "
         "ON CONFLICT (CDEMPRESA, NMSEQUENCIA) DO UPDATE SET NRSEQUENCIA = excluded.NRSEQUENCIA",
      soci::use(company), soci::use(name), soci::use(text);
}

int64_t nextSequence(soci::session& sql, const std::string& company, const std::string& name) {
  // Counters are text so that 20-digit nosso número sequences fit; the arithmetic stays in
  // 64 bits, which covers every width in use (at most 19 digits are ever incremented).
  // One statement reads and writes the counter: on PostgreSQL two servers taking the same
  // sequence at once would otherwise both read the old value and hand it out twice (the
  // second update waits for the first, then writes the same number again).
  std::string value;
  sql << "INSERT INTO SEQUENCIA (CDEMPRESA, NMSEQUENCIA, NRSEQUENCIA) VALUES (:e, :n, '1') "
         "ON CONFLICT (CDEMPRESA, NMSEQUENCIA) DO UPDATE SET NRSEQUENCIA = "
         "CAST(CAST(SEQUENCIA.NRSEQUENCIA AS BIGINT) + 1 AS TEXT) RETURNING NRSEQUENCIA",
      soci::use(company), soci::use(name), soci::into(value);
  return std::stoll(value);
}

}  // namespace service
