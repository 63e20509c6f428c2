// --make-list beyond what --list can print: names a map list cannot hold, and bad input.
// The listing table (listing_test.cpp) checks --slots and --make-list on names of every kind.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;
using namespace std::string_literals;

// Names on standard input, and the error of --make-list, or else of a run of its list;
// a row with neither must be written byte for byte.
struct Input {
    const char *label;
    string names;
    const char *refused;
    const char *run_error;
};
PRINT_ROW_AS_LABEL(Input)

const Input kInputs[] = {
    {"AnyByteNoLastLineFeed", "ab\0c\x1a\r\n1\n2\n3\n4\n5\n6\n7\n8\n9"s, nullptr, nullptr},
    {"SixteenChars", "0\n1\n2\n3\n4\nabcdefghijklmnop\n6\n7\n8\n9\n", nullptr,
     "Error: String too long at line 7\n"},
    {"FormsAMarker", "0\n1\n2\n3\n4\n5\n6\nxxxxxxxxxxlt!g0\n8\n9\n", nullptr,
     "Error: Name forms a slot marker at line 9\n"},
    {"NineLines", "0\n1\n2\n3\n4\n5\n6\n7\n8\n", "Error: Give ten names, one per line\n", nullptr},
    {"ElevenLines", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n", "Error: Give ten names, one per line\n",
     nullptr},
    // A folder opens for reading, but every read of it fails.
    {"Unreadable", ".", "Error: Cannot read standard input\n", nullptr},
};

class MakeList : public testing::TestWithParam<Input> {};

TEST_P(MakeList, RefusesOrLeavesTheReadersVerdict) {
    const Input &c = GetParam();
    string image = make_progs(4096, spread_slots());
    string dir = work_dir_with(image, "");
    string input = c.names == "." ? dir : dir + "/../names";
    write_file(dir + "/../names", c.names);

    ToolRun made = run_tool(dir, {"--make-list"}, input_from(input));
    EXPECT_EQ(made.status, c.refused != nullptr ? 1 : 0);
    EXPECT_EQ(made.err, c.refused != nullptr ? c.refused : "");
    if (c.refused != nullptr) {
        return;
    }
    write_file(dir + "/cmaps.cfg", made.out);
    ToolRun run = run_tool(dir);
    EXPECT_EQ(run.err, c.run_error != nullptr ? c.run_error : "");
    Names names; // the accepted row's, one per line as given
    for (std::size_t start = 0, end = 0; end != string::npos; start = end + 1) {
        end = c.names.find('\n', start);
        names.push_back({static_cast<int>(names.size()), c.names.substr(start, end - start)});
    }
    EXPECT_BYTES(read_file(dir + "/progs.dat"),
                 c.run_error != nullptr ? image : patched(image, spread_slots(), names));
}

INSTANTIATE_TEST_SUITE_P(Table, MakeList, testing::ValuesIn(kInputs), RowLabel());

} // namespace
