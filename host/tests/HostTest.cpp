#include <gtest/gtest.h>

#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/HostDatabase.h"

using namespace host;

namespace {

std::shared_ptr<ConfiguredContext> contextOf(const char* company) {
  ContextSettings s;
  s.company = company;
  return std::make_shared<ConfiguredContext>(s);
}

}  // namespace

TEST(HostScope, NestedScopesPutBackWhatWasInstalledBefore) {
  EXPECT_THROW(context(), InvariantError);
  auto dialogsOuter = std::make_shared<ScriptedDialogs>();
  {
    HostScope outer({.context = contextOf("04"), .dialogs = dialogsOuter});
    EXPECT_EQ(EmprProc(), "04");
    {
      HostScope inner({.context = contextOf("08")});
      EXPECT_EQ(EmprProc(), "08");
      EXPECT_THROW(dialogs(), InvariantError) << "a port left empty is not installed";
      inner.replace({.context = contextOf("09")});
      EXPECT_EQ(EmprProc(), "09");
    }
    EXPECT_EQ(EmprProc(), "04") << "the ports from before the inner scope, not the replaced ones";
    EXPECT_EQ(&dialogs(), dialogsOuter.get());
  }
  EXPECT_THROW(context(), InvariantError);
  EXPECT_THROW(hostDatabase(), OperationError);
  EXPECT_EQ(installedHost().transport, nullptr);
}

TEST(HostScope, TodayIsTheInstalledClocksAndTheProcessingDateFollowsIt) {
  EXPECT_THROW(Today(), InvariantError) << "no clock: nothing reads the machine's behind it";
  auto clock = std::make_shared<FixedClock>(DateTime::fromYmdHms(2026, 3, 2, 23, 59, 58));
  HostScope scope({.context = contextOf("04"), .clock = clock});
  EXPECT_EQ(Now(), DateTime::fromYmdHms(2026, 3, 2, 23, 59, 58));
  EXPECT_EQ(Today(), DateTime::fromYmd(2026, 3, 2));
  EXPECT_EQ(DataProc(), DateTime::fromYmd(2026, 3, 2));
  clock->set(DateTime::fromYmdHms(2026, 3, 3, 0, 0, 1));
  EXPECT_EQ(DataProc(), DateTime::fromYmd(2026, 3, 3)) << "past midnight, the next day";
}
