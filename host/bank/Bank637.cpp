// Banco Sofisa (637) issues through the bank of its collection agreement (CDBANCOCONV): every
// rule is that bank's. Without an agreement the code keeps no layout of its own.
#include "host/bank/BankLayout.h"

namespace bank {
namespace {

const BankRegistration reg{"637", std::make_shared<IssuedThrough>("")};

}  // namespace
}  // namespace bank
