// The map list reader: which names land in which slots, and the exact error each bad list gives.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

struct Accepted {
    const char *label;
    string map_list;
    Names names; // definitions in file order
};
PRINT_ROW_AS_LABEL(Accepted)

struct Refused {
    const char *label;
    string map_list;
    const char *error;
};
PRINT_ROW_AS_LABEL(Refused)

string repeat(const string &text, int times) {
    string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

string six_good_lines(const char *line_end) {
    string out;
    for (int digit = 0; digit < 6; ++digit) {
        out += "LOCALMAP" + std::to_string(digit) + "=\"m\";" + line_end;
    }
    return out;
}

const Accepted kAccepted[] = {
    {"Empty", "", {}},
    {"WhiteAndComments", " \t\r\n// note\n\n//x", {}},
    {"NoBlanks", "LOCALMAP4=\"e1m1\";", {{4, "e1m1"}}},
    {"CrlfLayout",
     "LOCALMAP0 =\r\n  \"start\";\r\n// c\r\nLOCALMAP9\t=\t\"end\";\r\n",
     {{0, "start"}, {9, "end"}}},
    {"FifteenChars", "LOCALMAP1=\"abcdefghijklmno\";", {{1, "abcdefghijklmno"}}},
    {"Escapes", R"(LOCALMAP2="a\"b"; LOCALMAP3="c\\d";)", {{2, "a\"b"}, {3, "c\\d"}}},
    {"FifteenEscapes", "LOCALMAP8=\"" + repeat("\\\"", 15) + "\";", {{8, repeat("\"", 15)}}},
    {"DigitTwiceShorterLast",
     "LOCALMAP5=\"longername\";\nLOCALMAP5=\"ab\";",
     {{5, "longername"}, {5, "ab"}}},
    {"ZeroInsideQuotes", string("LOCALMAP6=\"ab\0cd\";", 18), {{6, string("ab\0cd", 5)}}},
    {"SlashesInName", "LOCALMAP7=\"a//b\";", {{7, "a//b"}}},
    {"TabAndCrInName", "LOCALMAP3=\"a\tb\rc\";", {{3, "a\tb\rc"}}},
    {"LastLineCommentNoNewline", "LOCALMAP4=\"x\"; // end", {{4, "x"}}},
    {"ZeroInCommentEndsList",
     string("LOCALMAP1=\"one\"; // stop \0 here\nLOCALMAP2=\"two\";", 48),
     {{1, "one"}}},
};

const Refused kRefused[] = {
    {"LowerCaseKeyword", "localmap1=\"a\";", "Unknown user var at line 1"},
    {"KeywordLastByteWrong", "LOCALMAQ1=\"a\";", "Unknown user var at line 1"},
    {"ByteOrderMark", "\xEF\xBB\xBFLOCALMAP1=\"a\";", "Unknown user var at line 1"},
    {"FormFeed", "\fLOCALMAP1=\"a\";", "Unknown user var at line 1"},
    {"SingleSlash", "\n/ x", "Unknown user var at line 2"},
    {"CommentsCountLines", "// one\n// two\r\n\n  bogus", "Unknown user var at line 4"},
    {"BlankBeforeDigit", "LOCALMAP 1=\"a\";", "Bad LOCALMAP def at line 1"},
    {"DigitOnNextLine", "LOCALMAP\n1=\"a\";", "Bad LOCALMAP def at line 1"},
    {"EndAfterKeyword", "\n\nLOCALMAP", "Bad LOCALMAP def at line 3"},
    {"ByteBelowDigits", "LOCALMAP/=\"a\";", "Bad LOCALMAP def at line 1"},
    {"ByteAboveDigits", "LOCALMAP:=\"a\";", "Bad LOCALMAP def at line 1"},
    {"TwoDigits", "LOCALMAP12=\"a\";", "Expected '=' at line 1"},
    {"UnquotedName", "LOCALMAP1=a;", "Expected '\"' at line 1"},
    {"ZeroBeforeQuote", string("LOCALMAP1=\0\"a\";", 15), "Expected '\"' at line 1"},
    {"BlankBeforeSemicolon", "LOCALMAP1=\"a\" ;", "Expected ';' at line 1"},
    {"MissingLastSemicolon", "LOCALMAP1=\"a\"\n", "Expected ';' at line 1"},
    {"SixteenChars", "LOCALMAP1=\"abcdefghijklmnop\";", "String too long at line 1"},
    {"SixteenEscapes", "LOCALMAP1=\"" + repeat("\\\\", 16) + "\";", "String too long at line 1"},
    {"NewlineAfterFifteen", "LOCALMAP1=\"abcdefghijklmno\n\";", "String too long at line 1"},
    {"BackslashAfterFifteen", "LOCALMAP1=\"abcdefghijklmno\\\"\";", "String too long at line 1"},
    {"BadEscape", R"(LOCALMAP1="a\n";)", "Bad escape sequence at line 1"},
    {"ErrorOnLineSevenLf", six_good_lines("\n") + "LOCALMAP7=\"x\" ;", "Expected ';' at line 7"},
    {"ErrorOnLineSevenCrlf", six_good_lines("\r\n") + "LOCALMAP7=\"x\" ;",
     "Expected ';' at line 7"},
    {"DefinitionOverThreeLines", "LOCALMAP1\n=\n\"ab\ncd\";", "Newline inside sting at line 3"},
    {"OpenNameLf", "LOCALMAP1=\"abcdefghijklmn\nx", "Newline inside sting at line 1"},
    {"OpenNameCrlf", "LOCALMAP1=\"abcdefghijklmn\r\nx", "String too long at line 1"},
    {"TextEndsInName", "LOCALMAP1=\"abc", "String too long at line 1"},
    {"TextEndsInNameAfterLf", "\nLOCALMAP1=\"abc\n", "Newline inside sting at line 2"},
    {"TextEndsInEscape", "LOCALMAP1=\"abc\\", "Bad escape sequence at line 1"},
};

class MapListAccepted : public testing::TestWithParam<Accepted> {};
class MapListRefused : public testing::TestWithParam<Refused> {};

TEST_P(MapListAccepted, WritesEachNameIntoItsSlot) {
    const Accepted &c = GetParam();
    string progs = make_progs(4096, spread_slots());
    string dir = work_dir_with(progs, c.map_list);

    ToolRun run = run_checked(dir);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kLinesOfSuccess);
    EXPECT_EQ(run.err, "");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, spread_slots(), c.names));
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), c.map_list);
}

TEST_P(MapListRefused, NamesTheLineAndChangesNothing) {
    const Refused &c = GetParam();
    string progs = make_progs(4096, spread_slots());
    string dir = work_dir_with(progs, c.map_list);

    ToolRun run = run_checked(dir);

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kLinesUpToMapList);
    EXPECT_EQ(run.err, string("Error: ") + c.error + "\n");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), c.map_list);
}

INSTANTIATE_TEST_SUITE_P(Table, MapListAccepted, testing::ValuesIn(kAccepted), RowLabel());
INSTANTIATE_TEST_SUITE_P(Table, MapListRefused, testing::ValuesIn(kRefused), RowLabel());

} // namespace
