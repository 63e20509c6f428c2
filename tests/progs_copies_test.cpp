// Which copies of progs.dat a run writes, loose and in the mod's packs, and that it writes their
// slots and nothing else of any file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "game_folder.h"
#include "tool_run.h"

namespace {

using std::string;

// Two builds of progs.dat, their slots at different offsets, and one longer
// than the window.
const Slots kSlotsA = spread_slots();
const Slots kSlotsB = {40, 300, 700, 1000, 1400, 1800, 2000, 2300, 2600, 2950};
const string kA = make_progs(4096, kSlotsA);
const string kB = make_progs(3000, kSlotsB);
const string kLong = make_progs(20000, kSlotsA);
const string kRenamed = string(kB).replace(40, 8, "renamed0");
const string kNoSlots = make_progs(4096, {100, 500, 900, 1300, 1700, 2100, 2500, 2900, 3300, -1});
// A copy's image and where its slots are.
struct Build {
    const string *image;
    const Slots *slots;
};
const Build kBuildA{&kA, &kSlotsA}, kBuildB{&kB, &kSlotsB}, kBuildLong{&kLong, &kSlotsA};
const char *const kMapList = "LOCALMAP0=\"start\";LOCALMAP3=\"e3m3\";";
const Names kNames = {{0, "start"}, {3, "e3m3"}};
const string kMap = level("Arena");

// A run's lines when it reads and then writes the copies named.
string run_lines(const std::vector<string> &copies) {
    string out = "Velmora\n";
    for (const string &copy : copies) {
        out += "Reading " + copy + "...\n";
    }
    out += "Reading cmaps.cfg...\n";
    for (const string &copy : copies) {
        out += "Writing " + copy + "...\n";
    }
    return out + "Done.\n";
}

const char *const kNotQuakespasm =
    "Note: Quakespasm, ironwail and vkQuake will not run %s: they read only pak0.pak, pak1.pak, "
    "... up to the first one missing, and run the base game's progs.dat instead\n";

string not_quakespasm(const string &where) {
    char note[512];
    std::snprintf(note, sizeof note, kNotQuakespasm, where.c_str());
    return note;
}

struct CopyRow {
    const char *label;
    Tree tree; // paths under mod/ (where the tool runs) and id1/
    string out, err;
    // The files the run writes, each with the copy whose bytes it holds.
    std::vector<std::pair<string, Build>> written = {};
    // Another command: its standard output is compared without the slots' lines.
    const char *args = nullptr;
    // A file made read-only (0444) or unreadable (0) for the run.
    std::pair<const char *, int> mode = {nullptr, 0};
    // A pack in mod/ and strace's read fault on it.
    std::pair<const char *, const char *> read_fault = {nullptr, nullptr};
};
PRINT_ROW_AS_LABEL(CopyRow)

// The pack with a copy at a chosen offset, its directory from offset 12 on.
string directory_first(const string &copy, long long offset, long long length) {
    string entry = string("progs.dat").append(47, '\0') + int32(offset) + int32(length);
    string pack = pack_header(12, 64) + entry;
    return pack + string(offset > 76 ? static_cast<std::size_t>(offset) - 76 : 0, 'x') + copy;
}

const CopyRow kRows[] = {
    {"OnlyInPak0",
     {{"mod/pak0.pak", pack({{"progs.dat", kA}, {"maps/a.bsp", kMap}})}},
     run_lines({"pak0.pak:progs.dat"}),
     "",
     {{"mod/pak0.pak", kBuildA}}},
    {"LooseAndPak0",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", pack({{"progs.dat", kB}, {"maps/a.bsp", kMap}})}},
     run_lines({"progs.dat", "pak0.pak:progs.dat"}),
     "",
     {{"mod/progs.dat", kBuildA}, {"mod/pak0.pak", kBuildB}}},
    // The last pack of the chain that holds one; DarkPlaces runs the same copy.
    {"Pak0AndPak1",
     {{"mod/pak0.pak", pack({{"progs.dat", kA}})},
      {"mod/pak1.pak", pack({{"maps/a.bsp", kMap}, {"progs.dat", kB}})},
      {"mod/pak2.pak", pack({{"maps/b.bsp", kMap}})}},
     run_lines({"pak1.pak:progs.dat"}),
     "",
     {{"mod/pak1.pak", kBuildB}}},
    {"ZzPakOnly",
     {{"mod/zz.pak", pack({{"progs.dat", kA}})}, {"id1/pak0.pak", pack({{"progs.dat", kNoSlots}})}},
     run_lines({"zz.pak:progs.dat"}) + not_quakespasm("zz.pak:progs.dat"),
     "",
     {{"mod/zz.pak", kBuildA}}},
    {"AfterAGapInTheChain",
     {{"mod/pak0.pak", pack({{"maps/a.bsp", kMap}})}, {"mod/pak2.pak", pack({{"progs.dat", kA}})}},
     run_lines({"pak2.pak:progs.dat"}) + not_quakespasm("pak2.pak:progs.dat"),
     "",
     {{"mod/pak2.pak", kBuildA}}},
    // DarkPlaces takes the name in any case, not a longer one ending in it, and the last pack
    // by name first.
    {"DarkplacesOwnCopy",
     {{"mod/pak0.pak", pack({{"progs.dat", kA}})},
      {"mod/q.pak", pack({{"old/progs.dat", kNoSlots}, {"PROGS.DAT", kB}})},
      {"mod/a.pak", pack({{"progs.dat", kLong}})}},
     run_lines({"pak0.pak:progs.dat", "q.pak:PROGS.DAT"}),
     "",
     {{"mod/pak0.pak", kBuildA}, {"mod/q.pak", kBuildB}}},
    // Quakespasm finds only the exact name, the first entry of it.
    {"QuakespasmExactName",
     {{"mod/progs.dat", kA},
      {"mod/pak0.pak", pack({{"Progs.dat", kNoSlots}, {"progs.dat", kLong}, {"progs.dat", kB}})}},
     run_lines({"progs.dat", "pak0.pak:progs.dat"}),
     "",
     {{"mod/progs.dat", kBuildA}, {"mod/pak0.pak", kBuildLong}}},
    {"DirectoryFirst",
     {{"mod/pak0.pak", directory_first(kB, 76, 3000)}},
     run_lines({"pak0.pak:progs.dat"}),
     "",
     {{"mod/pak0.pak", kBuildB}}},
    {"LooseOnlyWithId1Pack",
     {{"mod/progs.dat", kA}, {"id1/pak0.pak", pack({{"progs.dat", kB}})}},
     kLinesOfSuccess,
     "",
     {{"mod/progs.dat", kBuildA}}},
    {"OnlyInId1",
     {{"id1/pak0.pak", pack({{"progs.dat", kA}})}},
     "Velmora\n",
     "Error: Cannot open progs.dat\n"},
    {"BadPackCopy",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", pack({{"progs.dat", kNoSlots}})}},
     "Velmora\nReading progs.dat...\nReading pak0.pak:progs.dat...\n",
     "Error: Bad progs.dat (pak0.pak:progs.dat)\n"},
    {"PastThePacksEnd",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", directory_first(kB, 76, 3001)}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:progs.dat: its data lies outside the pack\n"},
    {"NegativeOffset",
     {{"mod/pak0.pak", directory_first(kB, -12, 200)}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:progs.dat: its data lies outside the pack\n"},
    {"OverHeader",
     {{"mod/pak0.pak", directory_first(kB, 11, 3000)}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:progs.dat: it overlaps the pack's header\n"},
    {"OverDirectory",
     {{"mod/pak0.pak", directory_first(kB, 75, 3000)}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:progs.dat: it overlaps the pack's directory\n"},
    // A directory of one entry and a byte: the byte is the directory's too.
    {"OverAPartEntry",
     {{"mod/pak0.pak", directory_first(kB, 76, 3000).replace(8, 4, int32(65))}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:progs.dat: it overlaps the pack's directory\n"},
    // DarkPlaces' copy, PROGS.DAT, moved a byte into Quakespasm's.
    {"OverAnotherCopy",
     {{"mod/pak0.pak",
       pack({{"PROGS.DAT", kB}, {"progs.dat", kA}}).replace(12 + 3000 + 4096 + 56, 4, int32(13))}},
     "Velmora\n",
     "Error: Cannot write pak0.pak:PROGS.DAT: it overlaps pak0.pak:progs.dat\n"},
    {"ReadOnlyPack",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", pack({{"progs.dat", kB}})}},
     "Velmora\nReading progs.dat...\n",
     "Error: Cannot open pak0.pak\n",
     {},
     nullptr,
     {"mod/pak0.pak", 0444}},
    // DarkPlaces cannot read zz.pak either: it runs pak0.pak's copy.
    {"UnreadablePackPassedOver",
     {{"mod/pak0.pak", pack({{"progs.dat", kA}})}, {"mod/zz.pak", pack({{"progs.dat", kB}})}},
     run_lines({"pak0.pak:progs.dat"}),
     "",
     {{"mod/pak0.pak", kBuildA}},
     nullptr,
     {"mod/zz.pak", 0}},
    {"DirectoryReadFails",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", pack({{"progs.dat", kB}})}},
     "Velmora\n",
     "Error: Cannot read pak0.pak\n",
     {},
     nullptr,
     {},
     {"pak0.pak", "read:error=EIO:when=2"}},
    {"DarkplacesDirectoryReadFails",
     {{"mod/zz.pak", pack({{"progs.dat", kB}})}},
     "Velmora\n",
     "Error: Cannot read zz.pak\n",
     {},
     nullptr,
     {},
     {"zz.pak", "read:error=EIO:when=1"}},
    {"TableSaysWhyNoRunCan",
     {{"mod/pak0.pak", directory_first(kB, 11, 3000)}},
     "folders\t.\nleft-out\t0\t0\nprogs-in-pack\tpak0.pak\ncopy\tpak0.pak\tpak0.pak:progs."
     "dat\t11\t3000\tquakespasm\n"
     "copy-error\tCannot write pak0.pak:progs.dat: it overlaps the pack's header\n",
     "",
     {},
     "--map-table"},
    {"CheckSaysTheCopiesDiffer",
     {{"mod/progs.dat", kA}, {"mod/pak0.pak", pack({{"progs.dat", kRenamed}})}},
     "Velmora\nReading progs.dat...\nReading pak0.pak:progs.dat...\nReading cmaps.cfg...\n"
     "A run writes progs.dat (DarkPlaces, FTE and QSS run it)\n"
     "A run writes pak0.pak:progs.dat (Quakespasm, ironwail and vkQuake run it)\n"
     "Check only: no copy of progs.dat was written.\n"
     "Note: the copies of progs.dat hold different names now; these are the names in "
     "progs.dat\n" +
         string(kNoMapsNote),
     "",
     {},
     "--check"},
    {"ListSaysTheCopiesDiffer",
     {{"mod/pak0.pak", pack({{"progs.dat", kB}})}, {"mod/zz.pak", pack({{"progs.dat", kRenamed}})}},
     "// The map names in progs.dat (velmora --list)\n",
     "Note: the copies of progs.dat hold different names now; these are the names in "
     "pak0.pak:progs.dat\n",
     {},
     "--list"},
    {"CheckOnlyInPak0",
     {{"mod/pak0.pak", pack({{"progs.dat", kA}})}},
     "Velmora\nReading pak0.pak:progs.dat...\nReading cmaps.cfg...\n"
     "A run writes pak0.pak:progs.dat (every engine runs it)\n"
     "Check only: no copy of progs.dat was written.\n" +
         string(kNoMapsNote),
     "",
     {},
     "--check"},
    {"CheckAfterAGap",
     {{"mod/pak1.pak", pack({{"progs.dat", kA}})}},
     "Velmora\nReading pak1.pak:progs.dat...\nReading cmaps.cfg...\n"
     "A run writes pak1.pak:progs.dat (DarkPlaces and FTE run it)\n"
     "Check only: no copy of progs.dat was written.\n" +
         not_quakespasm("pak1.pak:progs.dat") + kNoMapsNote,
     "",
     {},
     "--check"},
};

string without_slot_lines(const string &text) {
    string kept;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != string::npos; at = end + 1) {
        if (text.compare(at, 8, "LOCALMAP") != 0) {
            kept += text.substr(at, end + 1 - at);
        }
    }
    return kept;
}

// A written file: the loose one patched and grown as always; a pack with
// the copy's own bytes patched, not one byte past them.
string after_run(const string &path, const string &before, const Build &build) {
    const string &image = *build.image;
    string after = patched(image, *build.slots, kNames);
    if (path.size() >= 9 && path.compare(path.size() - 9, 9, "progs.dat") == 0) {
        return after;
    }
    std::size_t at = before.find(image);
    EXPECT_NE(at, string::npos) << path;
    return at == string::npos ? before
                              : string(before).replace(at, image.size(), after, 0, image.size());
}

class Copies : public testing::TestWithParam<CopyRow> {};

TEST_P(Copies, WritesEachCopyEnginesRun) {
    const CopyRow &row = GetParam();
    bool locked = row.mode.first != nullptr;
    if (locked && tool_is_windows() && geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files, and Wine will not run as another user "
                        "in a prefix that root owns";
    }
    std::vector<string> strace;
    if (row.read_fault.first != nullptr) {
        string unusable = strace_unusable();
        if (!unusable.empty()) {
            GTEST_SKIP() << unusable;
        }
        strace = {"strace", "--quiet=all",        "-o", "/dev/null",
                  "-P",     row.read_fault.first, "-e", string("inject=") + row.read_fault.second};
    }
    string root = make_work_dir() + "/..";
    Tree tree = row.tree;
    tree.push_back({"mod/cmaps.cfg", kMapList});
    write_tree(root, tree);
    if (locked) {
        chmod((root + "/" + row.mode.first).c_str(), static_cast<mode_t>(row.mode.second));
    }
    std::vector<string> args;
    if (row.args != nullptr) {
        args.push_back(row.args);
    }
    ToolRun run = run_tool(root + "/mod", args,
                           locked && !tool_is_windows()      ? drop_privileges
                           : row.read_fault.first != nullptr ? without_leak_check
                                                             : nullptr,
                           false, strace);
    if (run.status == kStillPrivileged) {
        GTEST_SKIP() << "cannot give up root's privileges here";
    }
    EXPECT_EQ(run.status, row.err.rfind("Error: ", 0) == 0 ? 1 : 0);
    EXPECT_EQ(row.args != nullptr ? without_slot_lines(run.out) : run.out, row.out);
    EXPECT_EQ(run.err, row.err);
    for (const auto &[path, bytes] : tree) {
        SCOPED_TRACE(path);
        string expected = bytes;
        for (const auto &[file, build] : row.written) {
            expected = file == path ? after_run(path, bytes, build) : expected;
        }
        EXPECT_BYTES(read_file(root + "/" + path), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Copies, testing::ValuesIn(kRows), RowLabel());

} // namespace
