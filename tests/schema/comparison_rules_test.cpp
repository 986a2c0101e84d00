#include "schema/comparison_rules.h"

#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "schema/runtime_error.h"

namespace schema {
namespace {

TEST(SameName, IgnoresSurroundingBlanksAndCaseOnly) {
  EXPECT_TRUE(SameName("Clienti", " CLIENTI "));
  EXPECT_TRUE(SameName("città", "CITTÀ"));
  EXPECT_FALSE(SameName("Cliente", "Clienti"));
  EXPECT_FALSE(SameName("Nome Cliente", "NomeCliente"));
  EXPECT_FALSE(SameName("citta", "città"));  // accents count
  EXPECT_TRUE(SameName("", "   "));
  EXPECT_FALSE(SameName("\tA", "A"));  // only blanks are trimmed
  // Names of other lengths: ASCII ones never match, a capital of another byte length may.
  EXPECT_FALSE(SameName("Campo1", "CAMPO10"));
  EXPECT_TRUE(SameName("\xC3\xBF", "\xC5\xB8"));  // ÿ and Ÿ: two bytes each, other lead bytes
  EXPECT_FALSE(SameName("Campo1", "Campò1"));
  EXPECT_FALSE(SameName("Campo1", "CAMPO1\xC3\xA0"));  // a start of the other, before other bytes
  EXPECT_TRUE(SameName("a\xC3\xA0" "b", "A\xC3\x80" "B"));
  EXPECT_FALSE(SameName("a\xC3\xA0" "b", "A\xC3\x80" "C"));
  EXPECT_FALSE(SameName("ab", "abc"));
  EXPECT_EQ(NameKey("  nome Città "), "NOME CITTÀ");
  EXPECT_EQ(NameKey("  campo_1 "), "CAMPO_1");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks(" a b "), "a b");
  EXPECT_EQ(TrimBlanks("a"), "a");
  EXPECT_EQ(UpperCase("az{@`"), "AZ{@`");  // only a..z are raised among ASCII
  EXPECT_EQ(UpperCase("\xC3\xA0x"), "\xC3\x80X");  // à among ASCII letters
}

TEST(TableAttributes, SystemMaskAndLinkedBit) {
  EXPECT_TRUE(IsSystemTable(static_cast<int32_t>(0x80000000u)));
  EXPECT_TRUE(IsSystemTable(2));
  EXPECT_TRUE(IsSystemTable(-2147483646));
  EXPECT_FALSE(IsSystemTable(0));
  EXPECT_FALSE(IsSystemTable(0x40000000));
  EXPECT_TRUE(IsLinkedTable(0x40000000));
  EXPECT_FALSE(IsLinkedTable(0x20000000));
}

TEST(KeptQuery, FirstLetterXInEitherCase) {
  EXPECT_TRUE(IsKeptQuery("xCalcolo"));
  EXPECT_TRUE(IsKeptQuery("XTEMP"));
  EXPECT_FALSE(IsKeptQuery(" XTEMP"));  // not trimmed
  EXPECT_FALSE(IsKeptQuery(""));
  EXPECT_FALSE(IsKeptQuery("Query1"));
}

TEST(TemporaryTableName, UnderscoreWithNumberAboveTenOrTrailingUnderscore) {
  EXPECT_TRUE(IsTemporaryTableName("MOVIMENTI_12"));
  EXPECT_TRUE(IsTemporaryTableName("MOVIMENTI_99"));
  EXPECT_TRUE(IsTemporaryTableName("APPOGGIO_"));
  EXPECT_TRUE(IsTemporaryTableName("APPOGGIO_  "));  // trimmed first
  EXPECT_TRUE(IsTemporaryTableName("_"));
  EXPECT_FALSE(IsTemporaryTableName("MOVIMENTI_10"));
  EXPECT_FALSE(IsTemporaryTableName("MOVIMENTI_05"));
  EXPECT_FALSE(IsTemporaryTableName("MOVIMENTI_1A"));
  EXPECT_FALSE(IsTemporaryTableName("T_ 9"));   // tail "_ 9" reads " 9" = 9
}

TEST(TemporaryTableName, ShortNames) {
  EXPECT_FALSE(IsTemporaryTableName(""));
  EXPECT_FALSE(IsTemporaryTableName("A"));
  EXPECT_FALSE(IsTemporaryTableName("_5"));
  EXPECT_TRUE(IsTemporaryTableName("a_"));
}

TEST(LeadingNumber, ReadsLikeABasicNumberParse) {
  EXPECT_EQ(LeadingNumber("12"), 12);
  EXPECT_EQ(LeadingNumber(" 1 2"), 12);
  EXPECT_EQ(LeadingNumber("1A"), 1);
  EXPECT_EQ(LeadingNumber("AB"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("-3"), -3);
  EXPECT_DOUBLE_EQ(LeadingNumber("2.5x"), 2.5);
}

TEST(FieldTypeTable, NamesOneToTwelveAndSubscriptErrorOutside) {
  FieldTypeTable table;
  EXPECT_EQ(table.Name(1), "Booleano");
  EXPECT_EQ(table.Name(4), "Int. Lungo");
  EXPECT_EQ(table.Name(9), "Tipo 9");
  EXPECT_EQ(table.Name(10), "Testo");
  EXPECT_EQ(table.Name(12), "Memo");
  for (int type : {0, 13, 15, 16, -1}) {
    try {
      table.Name(type);
      ADD_FAILURE() << "type " << type << " has a name";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), kSubscriptOutOfRange);
    }
  }
}

TEST(CheckedInt16, OverflowRaisesErrorSix) {
  EXPECT_EQ(Add16(32766, 1), 32767);
  EXPECT_EQ(CheckedInt16(-32768), -32768);
  try {
    Add16(32767, 1);
    ADD_FAILURE();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), kOverflow);
  }
}

}  // namespace
}  // namespace schema
