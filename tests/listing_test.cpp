// --list: the names progs.dat holds, as a map list that gives them back byte for byte.
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

const Slots kSpread = spread_slots();

// Name areas laid over an image's slots: each entry's bytes go to the start
// of its digit's 16-byte area. Digits not named keep make_progs' "usermap<d>".
using Areas = std::vector<std::pair<int, string>>;

string image_with(const Areas &areas) {
    string image = make_progs(4096, kSpread);
    for (const auto &[digit, bytes] : areas) {
        image.replace(static_cast<std::size_t>(kSpread[static_cast<std::size_t>(digit)]),
                      bytes.size(), bytes);
    }
    return image;
}

string crlf(const string &text) {
    string out;
    for (char c : text) {
        out += c == '\n' ? string("\r\n") : string(1, c);
    }
    return out;
}

string hex(const string &bytes) {
    string out;
    for (unsigned char c : bytes) {
        out += "0123456789abcdef"[c >> 4];
        out += "0123456789abcdef"[c & 15];
    }
    return out;
}

// A zero-terminated area's name.
string z(const string &name) {
    return name + '\0';
}

TEST(List, PrintsEveryNameAsADefinition) {
    string dir = work_dir_with(
        image_with({{2, z("a\"b\\c")}, {3, z("")}, {5, z("ab\ncd")}, {7, string(16, 'x')}}), "");

    ToolRun run = run_tool(dir, {"--list"});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "// The map names in progs.dat (velmora --list)\n"
                       "LOCALMAP0 = \"usermap0\";\n"
                       "LOCALMAP1 = \"usermap1\";\n"
                       "LOCALMAP2 = \"a\\\"b\\\\c\";\n"
                       "LOCALMAP3 = \"\";\n"
                       "LOCALMAP4 = \"usermap4\";\n"
                       "// LOCALMAP5 is left out: its name holds a line feed\n"
                       "LOCALMAP6 = \"usermap6\";\n"
                       "// LOCALMAP7 has no name yet: no name ends within its 16 bytes\n"
                       "LOCALMAP8 = \"usermap8\";\n"
                       "LOCALMAP9 = \"usermap9\";\n");
}

// --check shows the names after the run and, where a name changes, the one
// it replaces; the run's own checks and lines come first.
TEST(Check, ShowsWhatTheRunWouldWrite) {
    string image = image_with({{1, z("same")}, {2, z("a\"b")}, {3, z("x\ny")}});
    string dir = work_dir_with(image, "LOCALMAP1=\"same\"; LOCALMAP2=\"new\\\\\";\n"
                                      "LOCALMAP3=\"fixed\"; LOCALMAP4=\"usermap45\"; "
                                      "LOCALMAP5=\"usermapX\"; LOCALMAP9=\"usermap9\";");

    ToolRun run = run_tool(dir, {"--check"});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, string(kLinesUpToMapList) +
                           "LOCALMAP0 = \"\"; // now \"usermap0\"\n"
                           "LOCALMAP1 = \"same\";\n"
                           "LOCALMAP2 = \"new\\\\\"; // now \"a\\\"b\"\n"
                           "LOCALMAP3 = \"fixed\"; // now unlistable: its name holds a line feed\n"
                           "LOCALMAP4 = \"usermap45\"; // now \"usermap4\"\n"
                           "LOCALMAP5 = \"usermapX\"; // now \"usermap5\"\n"
                           "LOCALMAP6 = \"\"; // now \"usermap6\"\n"
                           "LOCALMAP7 = \"\"; // now \"usermap7\"\n"
                           "LOCALMAP8 = \"\"; // now \"usermap8\"\n"
                           "LOCALMAP9 = \"usermap9\";\n"
                           "Check only: progs.dat was not written.\n" +
                           kNoMapsNote);
    EXPECT_BYTES(read_file(dir + "/progs.dat"), image);
}

// Names that no map list can hold are left out of the list, so a run from it
// empties their slots; every other name must come back exactly.
struct Listed {
    const char *label;
    Areas areas;
    std::vector<int> left_out;
};
PRINT_ROW_AS_LABEL(Listed)

const Listed kListed[] = {
    {"AsMade", {}, {}},
    {"Escapes", {{0, z("\"")}, {1, z("\\")}, {2, z("\\\"\\\"")}, {3, z("a\"b\\c")}}, {}},
    {"FifteenBytes", {{4, z("abcdefghijklmno")}, {5, z(string(15, '"'))}}, {}},
    {"EmptyName", {{6, z("")}, {7, string("\0tail", 5)}}, {}},
    {"TabCrAndBlanks", {{8, z("a\tb\rc")}, {9, z("  pad  ")}, {0, z("ends in cr\r")}}, {}},
    {"BytesOfAnyValue", {{1, z("\x01\x1a\x7f\x80\xff")}, {2, z("\xef\xbb\xbf")}}, {}},
    {"LooksLikeSyntax", {{3, z("//x")}, {4, z("a=\"b\";")}, {5, z("LOCALMAP1")}}, {}},
    {"LineFeed", {{6, z("two\nlines")}, {7, z("\n")}}, {6, 7}},
    {"NoEndInArea", {{8, string(16, 'n')}}, {8}},
};

class ListedNames : public testing::TestWithParam<Listed> {};

TEST_P(ListedNames, ReadBackUnchanged) {
    const Listed &c = GetParam();
    string image = image_with(c.areas);
    string dir = work_dir_with(image, "");

    ToolRun list = run_tool(dir, {"--list"});
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(list.err, "");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), image);
    // As the tool wrote it: the Windows build ends its lines in CRLF.
    string written = read_file(dir + "/../stdout");
    ToolRun check = run_tool(dir, {"--check"}); // cmaps.cfg is empty: a note on every slot

    Names kept;
    string slots, names; // what --slots must print, and the names for --make-list
    for (int digit = 0; digit < 10; ++digit) {
        bool out = std::count(c.left_out.begin(), c.left_out.end(), digit) > 0;
        string area =
            image.substr(static_cast<std::size_t>(kSpread[static_cast<std::size_t>(digit)]));
        string comment = "// LOCALMAP" + std::to_string(digit) + " ";
        EXPECT_EQ(list.out.find(comment) != string::npos, out) << digit;
        string unnamed = "LOCALMAP" + std::to_string(digit) + " = \"\"; // has no name yet\n";
        EXPECT_EQ(check.out.find(unnamed) != string::npos, area.find('\0') > 15) << digit;
        string name = out ? "" : area.substr(0, area.find('\0'));
        std::size_t why = out ? list.out.find(comment) + comment.size() : list.out.size();
        slots += std::to_string(digit) + "\t" +
                 std::to_string(kSpread[static_cast<std::size_t>(digit)]) + "\t" + hex(name) +
                 "\t" + list.out.substr(why, list.out.find('\n', why) - why) + "\n";
        names += name + "\n";
        if (!out) {
            kept.push_back({digit, name});
        }
    }
    // --slots gives the same names in hex, and --make-list a list of them like --list's.
    EXPECT_EQ(run_tool(dir, {"--slots"}).out, slots);
    write_file(dir + "/../names", names);
    ToolRun made = run_tool(dir, {"--make-list"}, input_from(dir + "/../names"));
    for (const string &map_list : {written, crlf(list.out), made.out}) {
        write_file(dir + "/progs.dat", image);
        write_file(dir + "/cmaps.cfg", map_list);
        ToolRun run = run_checked(dir);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(image, kSpread, kept));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ListedNames, testing::ValuesIn(kListed), RowLabel());

// --list reads progs.dat only, read-only, and prints nothing but the list:
// a failure is the run's own error for progs.dat, with no banner.
struct ListFiles {
    const char *label;
    const char *how;   // what stands in progs.dat's place
    const char *error; // nullptr when the list must succeed
};
PRINT_ROW_AS_LABEL(ListFiles)

const ListFiles kListFiles[] = {
    {"ProgsMissing", "missing", "Cannot open progs.dat"},
    {"ProgsUnreadable", "unreadable", "Cannot read progs.dat"},
    {"ProgsWithoutSlots", "no slots", "Bad progs.dat"},
    {"ProgsReadOnly", "read-only", nullptr},
    {"CmapsMissing", "no cmaps.cfg", nullptr},
};

class ListOnly : public testing::TestWithParam<ListFiles> {};

TEST_P(ListOnly, NeedsOnlyAReadableProgs) {
    const ListFiles &c = GetParam();
    string how = c.how;
    string dir = work_dir_with(make_progs(4096, how == "no slots"
                                                    ? Slots{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}
                                                    : kSpread),
                               "");
    string progs = dir + "/progs.dat";
    if (how == "missing" || how == "unreadable") {
        unlink(progs.c_str());
    }
    string unusable = how == "unreadable" ? link_to_unreadable(progs) : "";
    if (!unusable.empty()) {
        GTEST_SKIP() << unusable;
    } else if (how == "read-only") {
        chmod(progs.c_str(), 0444);
    } else if (how == "no cmaps.cfg") {
        unlink((dir + "/cmaps.cfg").c_str());
    }

    // Root may open a mode 0444 file for update, so only without its powers does
    // this row show that --list opens progs.dat read-only.
    bool drop = how == "read-only" && !tool_is_windows();
    ToolRun run = run_tool(dir, {"--list"}, drop ? drop_privileges : nullptr);
    if (drop && run.status == kStillPrivileged) {
        GTEST_SKIP() << "root cannot give up its capabilities here (no CAP_SETPCAP)";
    }

    if (c.error != nullptr) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, string("Error: ") + c.error + "\n");
    } else {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("LOCALMAP9 = \"usermap9\";\n"), string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ListOnly, testing::ValuesIn(kListFiles), RowLabel());

} // namespace
