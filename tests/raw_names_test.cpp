// --slots and --make-list: the names as plain bytes, for programs that drive the tool.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;

const Slots kSpread = spread_slots();

TEST(SlotTable, GivesOffsetsAndNamesInHex) {
    string image = make_progs(4096, kSpread);
    auto area = [&](int digit, const string &bytes) {
        image.replace(static_cast<std::size_t>(kSpread[static_cast<std::size_t>(digit)]),
                      bytes.size(), bytes);
    };
    area(1, string("a\"\\\t\xff\0", 6));
    area(2, string(1, '\0'));
    area(3, string("x\ny\0", 4));
    area(4, string(16, 'n'));
    string dir = work_dir_with(image, "");

    ToolRun run = run_tool(dir, {"--slots"});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "0\t100\t757365726d617030\t\n"
                       "1\t500\t61225c09ff\t\n"
                       "2\t900\t\t\n"
                       "3\t1300\t\tis left out: its name holds a line feed\n"
                       "4\t1700\t\thas no name yet: no name ends within its 16 bytes\n"
                       "5\t2100\t757365726d617035\t\n"
                       "6\t2500\t757365726d617036\t\n"
                       "7\t2900\t757365726d617037\t\n"
                       "8\t3300\t757365726d617038\t\n"
                       "9\t3700\t757365726d617039\t\n");
    EXPECT_BYTES(read_file(dir + "/progs.dat"), image);
}

// Ten names on standard input, and what a run then makes of the list printed
// from them: every name that a map list can hold comes back byte for byte,
// and any other gets the reader's own message for its line.
struct Input {
    const char *label;
    string names;
    const char *refused;   // the error of --make-list itself
    const char *run_error; // the error of a run from the list
};
PRINT_ROW_AS_LABEL(Input)

using namespace std::string_literals;

const Input kInputs[] = {
    {"PlainAndEmpty", "e1m1\n\nthree\n4\n5\n6\n7\n8\n9\nlast\n", nullptr, nullptr},
    {"EscapesAndBytes", "a\"b\n\\\n\"\"\n\t\r\n\x01\xff\n//x\nab\0c\nabcdefghijklmno\n;\n="s,
     nullptr, nullptr},
    {"NoLastLineFeed", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9", nullptr, nullptr},
    {"SixteenChars", "0\n1\n2\n3\n4\nabcdefghijklmnop\n6\n7\n8\n9\n", nullptr,
     "Error: String too long at line 7\n"},
    {"FormsAMarker", "0\n1\n2\n3\n4\n5\n6\nxxxxxxxxxxlt!g0\n8\n9\n", nullptr,
     "Error: Name forms a slot marker at line 9\n"},
    {"NineLines", "0\n1\n2\n3\n4\n5\n6\n7\n8\n", "Error: Give ten names, one per line\n", nullptr},
    {"ElevenLines", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n", "Error: Give ten names, one per line\n",
     nullptr},
    {"Unreadable", "", "Error: Cannot read standard input\n", nullptr},
};

class MakeList : public testing::TestWithParam<Input> {};

TEST_P(MakeList, GivesAListThatARunReadsBack) {
    const Input &c = GetParam();
    string image = make_progs(4096, kSpread);
    string dir = work_dir_with(image, "");
    string input = dir + "/../names";
    write_file(input, c.names);
    // A folder opens for reading, but every read of it fails.
    string from = string(c.label) == "Unreadable" ? dir : input;

    ToolRun made =
        run_tool(dir, {"--make-list"}, [from] { dup2(open(from.c_str(), O_RDONLY), 0); });
    if (c.refused != nullptr) {
        EXPECT_EQ(made.status, 1);
        EXPECT_EQ(made.err, c.refused);
        return;
    }
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out.rfind("// The map names for progs.dat (velmora --make-list)\n", 0), 0u);

    write_file(dir + "/cmaps.cfg", made.out);
    ToolRun run = run_tool(dir);
    if (c.run_error != nullptr) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.run_error);
        EXPECT_BYTES(read_file(dir + "/progs.dat"), image);
        return;
    }
    EXPECT_EQ(run.status, 0) << run.err;
    Names names;
    std::size_t start = 0;
    for (int digit = 0; digit < 10; ++digit) {
        std::size_t end = std::min(c.names.find('\n', start), c.names.size());
        names.push_back({digit, c.names.substr(start, end - start)});
        start = end + 1;
    }
    EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(image, kSpread, names));
}

INSTANTIATE_TEST_SUITE_P(Table, MakeList, testing::ValuesIn(kInputs), RowLabel());

} // namespace
