#include <gtest/gtest.h>

#include "host/DateTime.h"
#include "host/Value.h"

using host::DateTime;
using host::Value;

TEST(DateTime, ParsesAndFormatsEveryLayoutTheModuleUses) {
  const DateTime d = DateTime::fromYmd(2025, 2, 22);
  EXPECT_EQ(d.format("dd/mm/yyyy"), "22/02/2025");
  EXPECT_EQ(d.format("ddmmyyyy"), "22022025");
  EXPECT_EQ(d.format("yyyy-mm-dd"), "2025-02-22");
  const DateTime t = DateTime::fromYmdHms(2026, 12, 8, 4, 5, 9);
  EXPECT_EQ(t.format("yyyymmddhhnnss"), "20261208040509");

  EXPECT_EQ(*DateTime::parse("22/02/2025", "dd/mm/yyyy"), d);
  EXPECT_EQ(*DateTime::parse("22022025", "ddmmyyyy"), d);
  EXPECT_EQ(*DateTime::parse("20261208040509", "yyyymmddhhnnss"), t);
  EXPECT_EQ(*DateTime::parseIso("2026-12-08T04:05:09.000"), t);
}

TEST(DateTime, RefusesDaysThatDoNotExistAndTextThatDoesNotFit) {
  EXPECT_FALSE(DateTime::parse("29/02/2025", "dd/mm/yyyy"));
  EXPECT_TRUE(DateTime::parse("29/02/2024", "dd/mm/yyyy"));
  EXPECT_FALSE(DateTime::parse("31/04/2025", "dd/mm/yyyy"));
  EXPECT_FALSE(DateTime::parse("1/2/2025", "dd/mm/yyyy"));
  EXPECT_FALSE(DateTime::parse("22/02/2025 ", "dd/mm/yyyy"));
  EXPECT_FALSE(DateTime::parse("", "dd/mm/yyyy"));
  EXPECT_THROW(DateTime::fromYmd(2025, 13, 1), std::invalid_argument);
}

TEST(DateTime, CountsDaysAcrossMonthsLeapYearsAndTheEpoch) {
  const DateTime base = DateTime::fromYmd(1997, 10, 7);
  EXPECT_EQ(DateTime::fromYmd(2000, 7, 3).daysSince(base), 1000);
  EXPECT_EQ(DateTime::fromYmd(2025, 2, 21).daysSince(base), 9999);
  EXPECT_EQ(base.addDays(9999), DateTime::fromYmd(2025, 2, 21));
  EXPECT_EQ(DateTime::fromYmd(1899, 12, 30), DateTime());
  EXPECT_EQ(DateTime::fromYmd(2026, 12, 6).dayOfWeek(), 1);  // a Sunday
  EXPECT_EQ(DateTime::fromYmd(2026, 12, 12).dayOfWeek(), 7);
}

TEST(Value, KeepsNullEmptyAndZeroApart) {
  const Value null;
  const Value empty("");
  const Value zero(0);
  const Value zeroF(0.0);
  EXPECT_TRUE(null.isNull());
  EXPECT_FALSE(empty.isNull());
  EXPECT_NE(null, empty);
  EXPECT_NE(empty, zero);
  EXPECT_NE(zero, zeroF);  // kinds differ even where numbers agree
  EXPECT_EQ(Value::compare(zero, zeroF), 0);
  EXPECT_EQ(null.asString(), "");
  EXPECT_EQ(null.asDouble(), 0.0);
}

TEST(Value, ConvertsTheWayTheScreensReadFields) {
  EXPECT_EQ(Value("1.234,56").asDouble(), 1234.56);
  EXPECT_EQ(Value("12.5").asDouble(), 12.5);
  EXPECT_EQ(Value("abc").asDouble(), 0.0);
  EXPECT_EQ(Value(DateTime::fromYmd(2025, 2, 22)).asString(), "22/02/2025");
  EXPECT_EQ(Value("22/02/2025").asDate(), DateTime::fromYmd(2025, 2, 22));
  EXPECT_THROW((void)Value("not a date").asDate(), std::invalid_argument);
  EXPECT_EQ(Value(2.5).asInteger(), 3);
}

TEST(Value, SortsNullFirstAndTextCaseInsensitivelyOnRequest) {
  EXPECT_LT(Value::compare(Value(), Value("a")), 0);
  EXPECT_LT(Value::compare(Value("B"), Value("a")), 0);
  EXPECT_GT(Value::compare(Value("B"), Value("a"), true), 0);
  EXPECT_EQ(Value::compare(Value("ÁGUA"), Value("água"), true), 0);
  EXPECT_LT(Value::compare(Value(2), Value(10)), 0);
}
