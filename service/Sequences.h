#pragma once
// Named counters taken inside the call's transaction: the row is updated before it is read,
// so two calls (or two servers on one PostgreSQL database) never receive the same number.

#include <soci/soci.h>

#include <cstdint>
#include <string>

namespace service {

/// The next value of the counter `name` of `company` (the first is 1).
int64_t nextSequence(soci::session& sql, const std::string& company, const std::string& name);
/// The current value, 0 when the counter was never taken.
int64_t currentSequence(soci::session& sql, const std::string& company, const std::string& name);
/// Sets the counter so that the next value is `value` + 1.
void setSequence(soci::session& sql, const std::string& company, const std::string& name,
                 int64_t value);

}  // namespace service
