// Which progs.dat images the tool accepts, which slot it writes, and names that would forge a slot.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using std::string;
using Patches = std::vector<std::pair<int, string>>;

struct Image {
    const char *label;
    std::size_t size;
    Slots slots;     // where make_progs puts one slot per digit
    Patches patches; // further bytes laid over the image
    bool accepted;
    Slots winners; // the slot the tool must write for each digit
};
PRINT_ROW_AS_LABEL(Image)

string apply(string image, const Patches &patches) {
    for (const auto &[position, bytes] : patches) {
        image.replace(static_cast<std::size_t>(position), bytes.size(), bytes);
    }
    return image;
}

Slots with(Slots slots, int digit, int position) {
    slots[static_cast<std::size_t>(digit)] = position;
    return slots;
}

const Slots kSpread = spread_slots();

const Image kImages[] = {
    {"SpreadSlots", 4096, kSpread, {}, true, kSpread},
    {"MarkerLookalikesPassedOver",
     4096,
     kSpread,
     {{30, "xt!g5"}, {40, "lt!gX"}, {50, "lt!g/"}, {60, "lt!g:"}, {70, "lt!x5"}},
     true,
     kSpread},
    {"TagAtWindowStart", 4096, kSpread, {{0, "t!g5"}}, true, kSpread},
    {"SlotAtImageStart", 4096, with(kSpread, 0, 0), {}, true, with(kSpread, 0, 0)},
    // Each of these has an 'l' and a digit around a "t!g" with one byte wrong,
    // so a search that checks too little finds a slot there; the scan must
    // still go on to the real slot after them.
    {"NearMissTagsBeforeLaterSlot",
     4096,
     kSpread,
     {{3950, "lx!g1lt!x2lt!!g3l!!g4" + slot_bytes(7)}},
     true,
     with(kSpread, 7, 3971)},
    {"LaterSlotForDigitWins", 4096, kSpread, {{3900, slot_bytes(7)}}, true, with(kSpread, 7, 3900)},
    {"EarlierSlotForDigitLoses", 4096, kSpread, {{20, slot_bytes(2)}}, true, kSpread},
    {"SlotsTwentyOneApart", 4096, with(kSpread, 1, 121), {}, true, with(kSpread, 1, 121)},
    {"LastSlotEndsAtWindowEnd", 16383, with(kSpread, 9, 16362), {}, true, with(kSpread, 9, 16362)},
    {"BangOnLastSearchedByte", 17000, kSpread, {{16381, "!"}}, true, kSpread},
    {"DigitOutsideWindow", 17000, with(kSpread, 9, 16363), {}, false, {}},
    {"TagOutsideWindow", 17000, with(kSpread, 9, 16364), {}, false, {}},
    {"OnlyTagBelowSeventeen", 4096, with(kSpread, 5, -1), {{12, "lt!g5"}}, false, {}},
    {"DigitNineMissing", 4096, with(kSpread, 9, -1), {{3800, slot_bytes(8)}}, false, {}},
    {"SlotsTwentyApart", 4096, with(kSpread, 1, 120), {}, false, {}},
    {"SlotsTwentyApartHigherDigitFirst", 4096, with(kSpread, 1, 80), {}, false, {}},
    // Slot 1's name starts on slot 0's digit; the patch puts that digit back.
    {"SlotsTwentyApartLowerDigitFirst", 4096, with(kSpread, 1, 120), {{120, "0"}}, false, {}},
    {"NameAreaCoversOtherMarker",
     4096,
     with(with(kSpread, 1, -1), 2, -1),
     {{4000, string(16, 'a') + "lt!g1lt!g2"}},
     false,
     {}},
    {"Empty", 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, {}, false, {}},
};

const char *const kAllTen = "LOCALMAP0=\"n0\";LOCALMAP1=\"n1\";LOCALMAP2=\"n2\";LOCALMAP3=\"n3\";"
                            "LOCALMAP4=\"n4\";LOCALMAP5=\"n5\";LOCALMAP6=\"n6\";LOCALMAP7=\"n7\";"
                            "LOCALMAP8=\"n8\";LOCALMAP9=\"n9\";";

Names all_ten_names() {
    Names names;
    for (int digit = 0; digit < 10; ++digit) {
        names.push_back({digit, "n" + std::to_string(digit)});
    }
    return names;
}

class ProgsImage : public testing::TestWithParam<Image> {};

TEST_P(ProgsImage, IsPatchedInItsWinningSlotsOrRefused) {
    const Image &c = GetParam();
    string progs = apply(make_progs(c.size, c.slots), c.patches);
    string dir = work_dir_with(progs, kAllTen);

    ToolRun run = run_checked(dir);

    if (c.accepted) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, c.winners, all_ten_names()));
    } else {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "Velmora\nReading progs.dat...\n");
        EXPECT_EQ(run.err, "Error: Bad progs.dat\n");
        EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    }
    EXPECT_BYTES(read_file(dir + "/cmaps.cfg"), kAllTen);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgsImage, testing::ValuesIn(kImages), RowLabel());

// A name must not make the next run find a slot somewhere else; only a
// marker that would win for its digit changes where that is.
struct ForgedMarker {
    const char *label;
    Slots slots;
    Patches patches;
    const char *map_list;
    const char *error; // nullptr when the run must succeed
};
PRINT_ROW_AS_LABEL(ForgedMarker)

const ForgedMarker kForgedMarkers[] = {
    {"WinsForEarlierDigit", kSpread, {}, "LOCALMAP1=\"ok\";\nLOCALMAP5=\"lt!g3\";", "line 2"},
    {"AcrossSlotStart", kSpread, {{2098, "lt"}}, "LOCALMAP5=\"!g3\";", "line 1"},
    {"FirstByteIsDigit", kSpread, {{2096, "lt!g"}}, "LOCALMAP5=\"3ab\";", "line 1"},
    {"SupersededByLaterSlot", kSpread, {}, "LOCALMAP5=\"lt!g7\";", nullptr},
    {"NoLInFront", kSpread, {}, "LOCALMAP5=\"xt!g3\";", nullptr},
    {"NoGInTag", kSpread, {}, "LOCALMAP5=\"lt!x3\";", nullptr},
    // A "t!g" at the image's start names no slot (its 'l' would lie before the
    // image), so it moves none, and the check must not look before the window.
    {"TagAtImageStart", with(kSpread, 5, 0), {}, "LOCALMAP5=\"t!g3\";", nullptr},
};

class NameMarker : public testing::TestWithParam<ForgedMarker> {};

TEST_P(NameMarker, IsRefusedOnlyWhenItWouldMoveASlot) {
    const ForgedMarker &c = GetParam();
    string progs = apply(make_progs(4096, c.slots), c.patches);
    string dir = work_dir_with(progs, c.map_list);

    ToolRun run = run_checked(dir);

    if (c.error != nullptr) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, string("Error: Name forms a slot marker at ") + c.error + "\n");
        EXPECT_BYTES(read_file(dir + "/progs.dat"), progs);
    } else {
        EXPECT_EQ(run.status, 0);
        string list = c.map_list;
        string name = list.substr(11, list.rfind('"') - 11);
        EXPECT_BYTES(read_file(dir + "/progs.dat"), patched(progs, c.slots, {{5, name}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, NameMarker, testing::ValuesIn(kForgedMarkers), RowLabel());

TEST(UserMapSlots, SecondRunWithSameListChangesNothing) {
    string dir = work_dir_with(make_progs(4096, kSpread), kAllTen);
    ASSERT_EQ(run_tool(dir).status, 0);
    string once = read_file(dir + "/progs.dat");
    ASSERT_EQ(run_tool(dir).status, 0);
    EXPECT_BYTES(read_file(dir + "/progs.dat"), once);
}

} // namespace
