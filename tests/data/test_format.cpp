// Number formats of the host locale: display formats, float text, typed-text
// parsing and edit masks.

#include "framework/data/errors.h"
#include "framework/data/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct FormatCase {
  double value;
  const char* format;
  const char* expected;
};

class FormatFloatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatFloatTest, FormatsInHostLocale) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(fw::FormatFloat(c.value, QString::fromUtf8(c.format)), QString::fromUtf8(c.expected))
      << c.value << " with " << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatFloatTest,
    ::testing::Values(
        FormatCase{1234.5, "#,##0.000", "1.234,500"},  // weights and heights
        FormatCase{1234567.891, "#,##0.000", "1.234.567,891"},
        FormatCase{0.5, "#,##0.000", "0,500"},  // at least one integer digit
        FormatCase{0, "#,##0.000", "0,000"},
        FormatCase{-1234.5, "#,##0.000", "-1.234,500"},  // leading minus
        FormatCase{-0.0004, "#,##0.000", "0,000"},       // rounds to zero: no minus
        FormatCase{12.345, "#,##0.00", "12,35"},         // half away from zero on the decimal text
        FormatCase{2.675, "#,##0.00", "2,68"}, FormatCase{-2.675, "#,##0.00", "-2,68"},
        FormatCase{999.995, "#,##0.00", "1.000,00"},  // carry into a new group
        FormatCase{3.14159, "#,##0.00", "3,14"},
        FormatCase{11, "##0", "11"},                                 // months: no decimals
        FormatCase{0, "##0", "0"}, FormatCase{1234, "##0", "1234"},  // no grouping without ','
        FormatCase{10.6, "##0", "11"}, FormatCase{-7, "##0", "-7"},
        FormatCase{110.5, "", "110,5"},  // empty format: shortest text
        FormatCase{1.5, "0.##", "1,5"},  // optional decimals
        FormatCase{2, "0.##", "2"}, FormatCase{5, "0.00 'kg'", "5,00 kg"},  // quoted literal
        FormatCase{-5, "0.00;(0.00)", "(5,00)"}));

struct TextCase {
  double value;
  const char* text;
};

class FloatToStrTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FloatToStrTest, ShortestTextWithDecimalComma) {
  const TextCase& c = GetParam();
  const QString text = fw::FloatToStr(c.value);
  EXPECT_EQ(text, QString::fromUtf8(c.text));
  // The text reads back as the very same double: float keys survive a round trip through text.
  bool ok = false;
  const auto back = fw::ParseFloat(text, &ok);
  ASSERT_TRUE(ok && back.has_value()) << text.toStdString();
  EXPECT_EQ(*back, c.value == 0 ? 0.0 : c.value);
}

INSTANTIATE_TEST_SUITE_P(Texts, FloatToStrTest,
                         ::testing::Values(TextCase{110.5, "110,5"}, TextCase{12, "12"},
                                           TextCase{0, "0"}, TextCase{-0.0, "0"},
                                           TextCase{0.1, "0,1"}, TextCase{-3.25, "-3,25"},
                                           TextCase{1.0 / 3, "0,3333333333333333"},
                                           TextCase{0.1 + 0.2, "0,30000000000000004"},
                                           TextCase{1e-7, "1E-7"}, TextCase{1.5e20, "1,5E20"},
                                           TextCase{123456789012, "123456789012"}));

struct ParseCase {
  const char* text;
  bool ok;
  bool hasValue;
  double value;
};

class ParseFloatTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseFloatTest, ParsesTypedText) {
  const ParseCase& c = GetParam();
  bool ok = !c.ok;
  const auto v = fw::ParseFloat(QString::fromUtf8(c.text), &ok);
  EXPECT_EQ(ok, c.ok) << c.text;
  EXPECT_EQ(v.has_value(), c.hasValue) << c.text;
  if (c.hasValue && v) {
    EXPECT_EQ(*v, c.value) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseFloatTest,
    ::testing::Values(ParseCase{"110,5", true, true, 110.5}, ParseCase{"110.5", true, true, 110.5},
                      ParseCase{"1.234,5", true, true, 1234.5},
                      ParseCase{"1.234.567,25", true, true, 1234567.25},
                      ParseCase{"  -3,25 ", true, true, -3.25}, ParseCase{"+7", true, true, 7},
                      ParseCase{",5", true, true, 0.5}, ParseCase{"12,", true, true, 12},
                      ParseCase{"1,5E-7", true, true, 1.5e-7}, ParseCase{"", true, false, 0},
                      ParseCase{"   ", true, false, 0}, ParseCase{"abc", false, false, 0},
                      ParseCase{"1,2,3", false, false, 0}, ParseCase{"1.23,5", false, false, 0},
                      ParseCase{"12a", false, false, 0}, ParseCase{"-", false, false, 0},
                      ParseCase{",", false, false, 0}, ParseCase{"1e999", false, false, 0},
                      ParseCase{"nan", false, false, 0}, ParseCase{"inf", false, false, 0}));

TEST(ParseFloat, OkPointerIsOptional) {
  EXPECT_EQ(fw::ParseFloat(QStringLiteral("2,5")).value_or(0), 2.5);
  EXPECT_FALSE(fw::ParseFloat(QStringLiteral("x")).has_value());
}

TEST(EditMask, ParsesFlags) {
  const fw::EditMaskInfo years = fw::ParseEditMask(QStringLiteral("999;0; "));
  EXPECT_EQ(years.mask, QStringLiteral("999"));
  EXPECT_FALSE(years.saveLiterals);
  EXPECT_EQ(years.blank, QLatin1Char(' '));
  const fw::EditMaskInfo plain = fw::ParseEditMask(QStringLiteral("00/00"));
  EXPECT_EQ(plain.mask, QStringLiteral("00/00"));
  EXPECT_TRUE(plain.saveLiterals);
  EXPECT_EQ(plain.blank, QLatin1Char('_'));
}

struct MaskCase {
  const char* mask;
  const char* text;
  const char* stored;  // nullptr: refused
};

class ApplyEditMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(ApplyEditMaskTest, StoresOrRefuses) {
  const MaskCase& c = GetParam();
  const QString mask = QString::fromUtf8(c.mask);
  const QString text = QString::fromUtf8(c.text);
  if (c.stored) {
    EXPECT_EQ(fw::ApplyEditMask(mask, text), QString::fromUtf8(c.stored))
        << c.mask << " / '" << c.text << "'";
  } else {
    try {
      fw::ApplyEditMask(mask, text);
      ADD_FAILURE() << "accepted '" << c.text << "' under " << c.mask;
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().contains(text.trimmed())) << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Masks, ApplyEditMaskTest,
    ::testing::Values(MaskCase{"999;0; ", "12 ", "12"}, MaskCase{"999;0; ", " 7 ", "7"},
                      MaskCase{"999;0; ", "   ", ""}, MaskCase{"99;0; ", "11", "11"},
                      MaskCase{"999;0; ", "123", "123"}, MaskCase{"999;0; ", "1234", nullptr},
                      MaskCase{"999;0; ", "1a", nullptr}, MaskCase{"99;0; ", "-1", nullptr},
                      MaskCase{"00/00;0;_", "12/34", "1234"},
                      MaskCase{"00/00;1;_", "12/34", "12/34"}, MaskCase{"00/00;0;_", "1", nullptr},
                      MaskCase{">LL;0; ", "ab", "AB"}, MaskCase{"", " free text ", " free text "}));

}  // namespace
