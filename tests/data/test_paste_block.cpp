// Text pasted from a spreadsheet: when it is a block, its cells, and each
// cell read by the rules of typing a number.
#include "framework/data/paste_block.h"

#include <gtest/gtest.h>

namespace {

TEST(PasteBlock, ABlockHasATabOrALineBreakBeforeItsEnd) {
  struct Case {
    const char* text;
    bool block;
    QList<QStringList> cells;
  };
  const Case cases[] = {
      {"3,35", false, {{"3,35"}}},
      {"3,35\n", false, {{"3,35"}}},
      {"3,35\r\n", false, {{"3,35"}}},
      {"3\t3,35", true, {{"3", "3,35"}}},
      {"1\n2\r\n3\r4\r\n", true, {{"1"}, {"2"}, {"3"}, {"4"}}},
      {"21\t5\t\t9,5 \n21\t6", true, {{"21", "5", "", "9,5"}, {"21", "6"}}},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(fw::IsBlockText(text), c.block) << c.text;
    EXPECT_EQ(fw::SplitBlock(text), c.cells) << c.text;
  }
}

TEST(PasteBlock, ACellIsReadAsATypedNumberOrRefusedWithTheReason) {
  struct Case {
    const char* cell;
    int decimals;
    std::optional<double> value;
    const char* refusal;
  };
  const Case cases[] = {
      {"12,5", 3, 12.5, ""},
      {"12.5", 3, 12.5, ""},
      {" 3,450 ", 3, 3.45, ""},
      {"", 3, std::nullopt, ""},
      {"12,", 3, 12, ""},
      {"12,3456", 3, std::nullopt, "Máximo de 3 casas decimais"},
      {"1,5", 0, std::nullopt, "Este valor não tem casas decimais"},
      {"0500", 0, std::nullopt, "Máximo de 3 algarismos antes da vírgula"},
      {"1.234,5", 2, std::nullopt, "Máximo de 3 algarismos antes da vírgula"},
      {"-3", 3, std::nullopt, "Valores negativos não são aceitos"},
      {"abc", 3, std::nullopt, "Use só algarismos e vírgula"},
      {"1,2,3", 3, std::nullopt, "O valor já tem vírgula"},
  };
  for (const Case& c : cases) {
    const fw::PastedNumber n = fw::ParsePastedNumber(QString::fromUtf8(c.cell), 3, c.decimals);
    EXPECT_EQ(n.value, c.value) << c.cell;
    EXPECT_EQ(n.refusal, QString::fromUtf8(c.refusal)) << c.cell;
  }
}

}  // namespace
