// --maps, --map-table and --check's notes: a game's maps as Quakespasm and DarkPlaces find them.
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "game_folder.h"
#include "tool_run.h"

namespace {

using std::string;

// A game of id1/ and mod/ (paths in tree start with one of them), the tool
// run in folder with args and, when names is given, those on its input.
// prepare(mod's path) may change the folder first, and then says why the
// row cannot run here, or nothing.
ToolRun run_in_game(const Tree &tree, const std::vector<string> &args, const string &folder = "mod",
                    const string *names = nullptr,
                    const std::function<string(const string &)> &prepare = nullptr,
                    const std::function<void()> &child_setup = nullptr,
                    const std::vector<string> &launcher = {}) {
    string root = make_work_dir() + "/..";
    write_tree(root, tree);
    write_file(root + "/names", names != nullptr ? *names : "");
    std::filesystem::create_directories(root + "/" + folder);
    string skip = prepare ? prepare(root + "/mod") : "";
    if (!skip.empty()) {
        return {-1, skip, ""};
    }
    return run_tool(
        root + "/" + folder, args,
        [&] {
            input_from(root + "/names")();
            if (child_setup) {
                child_setup();
            }
        },
        false, launcher);
}

string lines_starting(const string &text, const string &start) {
    string kept;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != string::npos; at = end + 1) {
        if (text.compare(at, start.size(), start) == 0) {
            kept += text.substr(at, end + 1 - at);
        }
    }
    return kept;
}

const string kArena = level("Arena");

// The listing is kept beside this file, as the page's table is.
TEST(Maps, ListGameOfEveryKind) {
    ToolRun run = run_in_game(game_of_every_kind(), {"--maps"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, read_file(VELMORA_SOURCE_DIR "/tests/game_of_every_kind.maps"));
    EXPECT_EQ(run.err,
              "Note: pak1.pak: its directory's length, 193 bytes, is not a multiple of 64\n");
}

// The page reads the same table: it is kept beside this file.
TEST(MapTable, SameAsTheKeptOne) {
    string names = "mixedcase\nQS_ONLY\nstrat\ne1m2\nb_bh10\n\nxyz\ncaf\xe9\ndm_loose\nextra1\n";
    ToolRun run = run_in_game(game_of_every_kind(), {"--map-table"}, "mod", &names);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, read_file(VELMORA_SOURCE_DIR "/tests/game_of_every_kind.table"));
}

// Each name of cmaps.cfg that not every engine starts as a level gets a note
// after what --check always printed; a run names both copies it writes.
TEST(Check, NotesAfterWhatItPrinted) {
    Tree game = game_of_every_kind();
    ToolRun check = run_in_game(game, {"--check"});
    EXPECT_EQ(check.status, 0);
    string after = "Check only: no copy of progs.dat was written.\n";
    EXPECT_EQ(check.out.substr(check.out.find(after) + after.size()),
              lines_starting(check.out, "Note: "));
    EXPECT_EQ(lines_starting(check.out, "Note: LOCALMAP"),
              read_file(VELMORA_SOURCE_DIR "/tests/game_of_every_kind.notes"));
    EXPECT_EQ(run_in_game(game, {}).out,
              "Velmora\nReading progs.dat...\nReading pak0.pak:progs.dat...\nReading cmaps.cfg...\n"
              "Writing progs.dat...\nWriting pak0.pak:progs.dat...\nDone.\n");
}

struct GameRow {
    const char *label;
    Tree tree;
    const char *args; // --maps, --check for its notes, or --map-table for its name rows
    string out, err;  // --maps' output; --check's notes or the name rows (no error)
    const char *folder = "mod";
    string names = ""; // --map-table's input
};
PRINT_ROW_AS_LABEL(GameRow)

string progs() {
    return make_progs(4096, spread_slots());
}

// A pack whose kept paths and names ("pak0.pak", then "pak0.pak:maps/N.bsp" and N for each
// entry, each with its zero) leave the reader's first 64 KiB block one byte short of the path of
// store_boundary1, the 1,025th entry, which must start the next block.
Tree filled_name_store() {
    std::vector<Entry> entries = {{"maps/a.bsp", ""}};
    for (int i = 1; i < 1024; ++i) {
        entries.push_back({"maps/" + std::to_string(10000 + i) + string(17, 'x') + ".bsp", ""});
    }
    entries.push_back({"maps/store_boundary1.bsp", item_model()});
    entries.push_back({"maps/after_boundary.bsp", item_model()});
    return {{"mod/progs.dat", progs()},
            {"mod/cmaps.cfg", "LOCALMAP0=\"store_boundary1\";LOCALMAP1=\"after_boundary\";"},
            {"mod/pak0.pak", pack(entries)}};
}

// The map or pack with the 32-bit number at 8 (the entities' or the
// directory's length) made length.
std::string with_length(std::string bytes, long long length) {
    return bytes.replace(8, 4, int32(length));
}

const GameRow kGames[] = {
    {"DamagedPacks",
     {{"mod/pak0.pak", pack({{"maps/a.bsp", kArena}})},
      {"mod/pak1.pak", pack(std::vector<Entry>(2049, {"x", ""}))},
      {"mod/pak2.pak", "PAC"},
      {"mod/b.pak", "KCAP" + pack({{"maps/b.bsp", kArena}}).substr(4)},
      {"mod/c.pak", pack_header(12, -64)},
      {"mod/d.pak", pack_header(12, 65537 * 64)},
      {"mod/e.pak", pack_header(12, 64)},
      {"mod/f.pak", pack({{"progs.dat", ""},
                          {string(56, 'n'), ""},
                          {"maps/far.bsp", ""},
                          {"maps/less.bsp", ""},
                          {"maps/f.bsp", kArena}})
                        .replace(12 + kArena.size() + 2 * 64 + 56, 4, int32(1 << 20))
                        .replace(12 + kArena.size() + 3 * 64 + 60, 4, int32(-1))},
      {"mod/sub/pak0.pak", pack({{"maps/s.bsp", kArena}, {"maps/t.bsp", kArena}})},
      {"mod/sub/pak1.pak", "PAC"}},
     "--maps",
     "a  \"Arena\"  pak0.pak:maps/a.bsp\n"
     "f  \"Arena\"  f.pak:maps/f.bsp  (DarkPlaces and FTE only)\n"
     "2 levels in . and ../id1; left out: 0 BSPs that are no levels, 2 maps that no engine "
     "finds\n",
     "Note: b.pak: it does not start with \"PACK\"\n"
     "Note: c.pak: its directory's offset or length is negative (12, -64)\n"
     "Note: d.pak: its directory claims 65537 entries\n"
     "Note: e.pak: its directory runs past its end\n"
     "Note: f.pak: entry 2: its name has no end: it is left out\n"
     "Note: f.pak:maps/far.bsp: its data lies past the pack's end: it is left out\n"
     "Note: f.pak:maps/less.bsp: its data lies past the pack's end: it is left out\n"
     "Note: pak2.pak: it is too short for a pack (3 bytes)\n"
     "Note: Quakespasm, ironwail and vkQuake stop at start: pak2.pak: it is too short for a "
     "pack (3 bytes)\n"
     "Note: Quakespasm, ironwail and vkQuake stop at start: pak1.pak: it has 2049 entries, more "
     "than the 2,048 Quakespasm takes\n"},
    {"DamagedMaps",
     {{"mod/maps/short.bsp", "BSP2"},
      {"mod/maps/lump.bsp", with_length(kArena, 5000)},
      {"mod/maps/huge.bsp", bsp("{\"message\" \"" + string(1 << 20, 'x') + "\"}")},
      {"mod/maps/quote.bsp", bsp("{\"message\" \"open}")},
      {"mod/maps/none.bsp", bsp("")},
      {"mod/maps/key.bsp", bsp("{\"message\"}")},
      {"mod/maps/brace.bsp", bsp("{\"message\" \"x\"")},
      {"mod/maps/stray.bsp", bsp("{} word")},
      {"mod/maps/hl.bsp", bsp("{}", int32(30))},
      {"id1/maps/bare.bsp", bsp("{message Bare\\nwords\x01 classname info_player_deathmatch}")}},
     "--maps",
     "bare   \"Bare words\"  ../id1/maps/bare.bsp\n"
     "brace  (no title)  maps/brace.bsp\n"
     "hl     (no title)  maps/hl.bsp\n"
     "huge   (no title)  maps/huge.bsp\n"
     "key    (no title)  maps/key.bsp\n"
     "lump   (no title)  maps/lump.bsp\n"
     "none   (no title)  maps/none.bsp\n"
     "quote  (no title)  maps/quote.bsp\n"
     "short  (no title)  maps/short.bsp\n"
     "stray  (no title)  maps/stray.bsp\n"
     "10 levels in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine "
     "finds\n",
     "Note: maps/brace.bsp: its entities text ends before an entity does (no closing brace)\n"
     "Note: maps/hl.bsp: it is no map of a kind these engines load (30)\n"
     "Note: maps/huge.bsp: its entities text is larger than 1 MiB (1048591 bytes)\n"
     "Note: maps/key.bsp: an entity has a key without a value\n"
     "Note: maps/lump.bsp: its entities lump runs past its end\n"
     "Note: maps/none.bsp: its entities text does not start with an entity\n"
     "Note: maps/quote.bsp: its entities text has a quote that is never closed\n"
     "Note: maps/short.bsp: it is too short for a map (4 bytes)\n"
     "Note: maps/stray.bsp: its entities text holds something that is no entity\n"},
    // Titles from the first entity's first message, levels from any entity.
    {"MapFormats",
     {{"mod/maps/b2.bsp", bsp("{\"message\" \"Two\"}{\"classname\" \"info_player_coop\"}", "BSP2")},
      {"mod/maps/p2.bsp", bsp("{\"message\" \"Other\"}{\"classname\" \"info_player_x\"}", "2PSB")},
      {"mod/maps/first.bsp", bsp("{\"message\" \"1st\" \"message\" \"2nd\"}{\"message\" \"3rd\" "
                                 "\"classname\" \"info_player_start\"}")},
      {"mod/maps/short.bsp",
       bsp("{\"classname\" \"info_player\"}{\"classname\" \"info_playerx\"}")},
      {"mod/maps/bytes.bsp", level("\x9f\xa0\xfe\xff\\x\\")},
      {"mod/maps/back.bsp", bsp("{\"message\" \"M\"}").replace(4, 4, int32(-1))},
      {"mod/p.pak", pack_header(-1, 64)}},
     "--maps",
     "b2     \"Two\"  maps/b2.bsp\n"
     "back   (no title)  maps/back.bsp\n"
     "bytes  \"  ~ \\x\\\"  maps/bytes.bsp\n"
     "first  \"1st\"  maps/first.bsp\n"
     "p2     \"Other\"  maps/p2.bsp\n"
     "5 levels in . and ../id1; left out: 1 BSP that is no level, 0 maps that no engine "
     "finds\n",
     "Note: maps/back.bsp: its entities lump runs past its end\n"
     "Note: p.pak: its directory's offset or length is negative (-1, 64)\n"},
    // Quakespasm takes an empty pack of its chain for the one before (which
    // DarkPlaces skips here, and which holds D.BSP in another case), and
    // reads on; DarkPlaces skips the empty one.
    {"EmptyPackInTheChain",
     {{"mod/pak0.pak",
       with_length(pack({{"maps/c.bsp", item_model()}, {"MAPS/D.BSP", kArena}}) + "x", 129)},
      {"mod/pak1.pak", ""},
      {"mod/pak2.pak", pack({{"maps/b.bsp", kArena}})},
      {"id1/PAK0.PAK", pack({{"maps/A.bsp", kArena}})}},
     "--maps",
     "A  \"Arena\"  ../id1/PAK0.PAK:maps/A.bsp  (DarkPlaces and FTE only)\n"
     "b  \"Arena\"  pak2.pak:maps/b.bsp\n"
     "2 levels in . and ../id1; left out: 0 BSPs that are no levels, 2 maps that no engine "
     "finds\n",
     "Note: pak0.pak: its directory's length, 129 bytes, is not a multiple of 64\n"
     "Note: pak1.pak: it is empty\n"
     "Note: Quakespasm, ironwail and vkQuake misread pak1.pak: it is empty, and they take it for "
     "pak0.pak, whose maps then fail\n"},
    {"InTheBaseFolderItself",
     {{"id1/pak0.pak", pack({{"maps/a.bsp", kArena}})},
      {"id1/maps/a.bsp", level("Loose")},
      {"id1/MAPS/a.bsp", kArena},
      {"id1/x", ""}},
     "--maps",
     "a  \"Arena\"  pak0.pak:maps/a.bsp, MAPS/a.bsp, maps/a.bsp\n"
     "1 level in .; left out: 0 BSPs that are no levels, 0 maps that no engine finds\n",
     "",
     "id1"},
    // A capital sorts before '_' in bytes and after it in any case: two
    // names that are in byte order and not in the order the verdicts search.
    {"CapitalBeforeUnderscore",
     {{"mod/maps/dmA.bsp", kArena}, {"mod/maps/dm_a.bsp", kArena}},
     "--maps",
     "dmA   \"Arena\"  maps/dmA.bsp\n"
     "dm_a  \"Arena\"  maps/dm_a.bsp\n"
     "2 levels in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine "
     "finds\n",
     ""},
    {"NoMapsAnywhere",
     {{"mod/progs.dat", progs()}, {"mod/cmaps.cfg", "LOCALMAP0=\"a\";"}},
     "--check",
     "Note: no maps in . or ../id1: the names were not checked against any map\n",
     ""},
    {"NoMapsInTheBaseFolder",
     {{"id1/progs.dat", progs()}, {"id1/cmaps.cfg", ""}, {"id1/pak0.pak", ""}},
     "--check",
     "Note: no maps in .: the names were not checked against any map\n"
     "Note: Quakespasm, ironwail and vkQuake stop at start: pak0.pak: it is empty\n",
     "",
     "id1"},
    // Near names: first equal but for case, then one edit away, three at
    // most. The highest pack's progs.dat is the one Quakespasm runs.
    {"NearestNamesAndProgs",
     {{"mod/progs.dat", progs()},
      {"mod/cmaps.cfg", "LOCALMAP0=\"dm\";LOCALMAP1=\"md1\";"},
      {"mod/pak0.pak", pack({{"progs.dat", progs()},
                             {"maps/dm3.bsp", kArena},
                             {"maps/dm2.bsp", kArena},
                             {"maps/dm1.bsp", kArena},
                             {"maps/d.bsp", kArena}})},
      {"mod/pak1.pak",
       with_length(pack({{"progs.dat", progs()}, {"maps/DM.bsp", kArena}}) + "x", 129)}},
     "--check",
     "Note: LOCALMAP0 \"dm\" is no map of this game; the nearest: \"DM\", \"d\", \"dm1\"\n"
     "Note: LOCALMAP1 \"md1\" is no map of this game; the nearest: \"dm1\", \"d\", \"dm2\"\n",
     ""},
    // The loaded copy decides (DarkPlaces takes loose files first); a name no
    // engine loads as a level is judged by what Windows would find.
    {"WhatEachEngineLoads",
     {{"mod/progs.dat", progs()},
      {"mod/cmaps.cfg",
       "LOCALMAP0=\"a\";LOCALMAP1=\"b\";LOCALMAP2=\"c\";LOCALMAP3=\"ab\";LOCALMAP4=\"e\";"},
      {"mod/pak0.pak",
       pack({{"maps/a.bsp", item_model()}, {"maps/B.bsp", kArena}, {"maps/e.bsp", kArena}})},
      {"mod/maps/e.bsp", item_model()},
      {"mod/maps/a.bsp", kArena},
      {"mod/maps/b.bsp", item_model()},
      {"mod/maps/C.bsp", item_model()},
      {"id1/pak0.pak", pack({{"maps/ba.bsp", kArena},
                             {"maps/bb.bsp", kArena},
                             {"maps/ab.bsp", kArena},
                             {"maps/a.bsp", kArena}})}},
     "--check",
     "Note: LOCALMAP0 \"a\" is no level: pak0.pak:maps/a.bsp has no place to put a player (no "
     "info_player_ entity)\n"
     "Note: LOCALMAP1 \"b\" is no level: maps/b.bsp has no place to put a player (no "
     "info_player_ entity)\n"
     "Note: LOCALMAP2 \"c\" is no level: maps/C.bsp has no place to put a player (no "
     "info_player_ entity)\n"
     "Note: LOCALMAP4 \"e\" is no level: maps/e.bsp has no place to put a player (no "
     "info_player_ entity)\n",
     ""},
    // Packs at the edges: 2,048 entries, the directory first, across the reader's chunks; a
    // 55-byte name, a 56-byte one without its zero, data before the pack, after it, of a
    // negative length or running past its end (read as far as it goes, as both engines do); a
    // directory whose end lies past 2^31; the column of a name over 20 bytes.
    {"PackEdges", edge_packs(), "--maps",
     "at_end                \"Edge\"  pak0.pak:maps/at_end.bsp\n"
     "chunk_end             \"Edge\"  pak0.pak:maps/chunk_end.bsp\n"
     "chunk_next            \"Edge\"  pak0.pak:maps/chunk_next.bsp\n"
     "cut                   \"Edge\"  pak0.pak:maps/cut.bsp\n"
     "del\x7f                  \"Edge\"  pak0.pak:maps/del\x7f.bsp\n" +
         string(46, 'n') + "  \"Edge\"  pak0.pak:maps/" + string(46, 'n') + ".bsp\n" +
         "6 levels in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine "
         "finds\n",
     "Note: far.pak: its directory runs past its end\n"
     "Note: pak0.pak: entry 2: its name has no end: it is left out\n"
     "Note: pak0.pak:maps/beyond.bsp: its data lies past the pack's end: it is left out\n"
     "Note: pak0.pak:maps/neg.bsp: its data lies past the pack's end: it is left out\n"
     "Note: pak0.pak:maps/neglen.bsp: its data lies past the pack's end: it is left out\n"},
    {"PackOfOneEntryTooMany",
     {{"mod/pak0.pak", pack(std::vector<Entry>(2049, {"x", ""}))}},
     "--maps",
     "0 levels in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine "
     "finds\n",
     "Note: Quakespasm, ironwail and vkQuake stop at start: pak0.pak: it has 2049 entries, more "
     "than the 2,048 Quakespasm takes\n"},
    {"NameStoreFilledToTheByte", filled_name_store(), "--check",
     "Note: LOCALMAP0 \"store_boundary1\" is no level: pak0.pak:maps/store_boundary1.bsp has no "
     "place to put a player (no info_player_ entity)\n"
     "Note: LOCALMAP1 \"after_boundary\" is no level: pak0.pak:maps/after_boundary.bsp has no "
     "place to put a player (no info_player_ entity)\n",
     ""},
    // Maps at the edges: a lump of length -1, one that ends the file, 1 MiB of text and a byte
    // more, text after the zero, the classname prefix alone, a message after the worldspawn,
    // maps/.bsp, and maps 15, 16 and 17 folders below maps/ (the walk's limit).
    {"MapEdges", edge_maps(), "--maps",
     "f/f/f/f/f/f/f/f/f/f/f/f/f/f/f/deep15  \"Deep\"  "
     "maps/f/f/f/f/f/f/f/f/f/f/f/f/f/f/f/deep15.bsp\n"
     "last                  \"Last\"  maps/last.bsp\n"
     "late                  (no title)  maps/late.bsp\n"
     "mib                   \"Mib\"  maps/mib.bsp\n"
     "mib1                  (no title)  maps/mib1.bsp\n"
     "minus                 (no title)  maps/minus.bsp\n"
     "prefix                (no title)  maps/prefix.bsp\n"
     "7 levels in . and ../id1; left out: 1 BSP that is no level, 0 maps that no engine finds\n",
     "Note: maps/mib1.bsp: its entities text is larger than 1 MiB (1048577 bytes)\n"
     "Note: maps/minus.bsp: its entities lump runs past its end\n"},
    // DarkPlaces searches the packs outside the chain by name, the last first.
    {"OtherPacksLastNameFirst",
     {{"mod/a.pak", pack({{"maps/x.bsp", item_model()}})},
      {"mod/b.pak", pack({{"maps/x.bsp", kArena}})}},
     "--maps",
     "x  \"Arena\"  b.pak:maps/x.bsp, a.pak:maps/x.bsp  (DarkPlaces and FTE only)\n"
     "1 level in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine finds\n",
     ""},
    {"EmptyModPackAfterTheBase",
     {{"mod/pak0.pak", ""}, {"id1/pak0.pak", pack({{"maps/e1m1.bsp", level("Slipgate")}})}},
     "--maps",
     "e1m1  \"Slipgate\"  ../id1/pak0.pak:maps/e1m1.bsp  (DarkPlaces and FTE only)\n"
     "1 level in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine finds\n",
     "Note: pak0.pak: it is empty\n"
     "Note: Quakespasm, ironwail and vkQuake misread pak0.pak: it is empty, and they take it for "
     "../id1/pak0.pak, whose maps then fail\n"},
    // The base game's progs.dat is never the mod's; the near names of LOCALMAP9 count a level
    // that starts on Windows only.
    {"BaseProgsAndLastSlot",
     {{"mod/progs.dat", progs()},
      {"mod/cmaps.cfg", "LOCALMAP9=\"uer\";"},
      {"mod/maps/upper.BSP", kArena},
      {"id1/pak0.pak", pack({{"progs.dat", ""}, {"maps/b.bsp", kArena}})}},
     "--check",
     "Note: LOCALMAP9 \"uer\" is no map of this game; the nearest: \"upper\"\n",
     ""},
    {"TitleOfTheFirstCopyWithOne",
     {{"mod/maps/d.bsp",
       bsp("{\"classname\" \"worldspawn\"}{\"classname\" \"info_player_start\"}")},
      {"id1/maps/d.bsp", level("Base D")}},
     "--maps",
     "d  \"Base D\"  maps/d.bsp, ../id1/maps/d.bsp\n"
     "1 level in . and ../id1; left out: 0 BSPs that are no levels, 0 maps that no engine finds\n",
     ""},
    {"FifteenBytesInTheTable",
     {{"mod/pak0.pak", pack({{"maps/fifteen_bytes_x.bsp", kArena}})}},
     "--map-table",
     "name\t0\t6669667465656e5f62797465735f78\tstarts\t\n"
     "name\t1\t\ttoo-long\tis longer than 15 characters\n",
     "",
     "mod",
     "fifteen_bytes_x\nsixteen_bytes_xx\n"},
};

class Game : public testing::TestWithParam<GameRow> {};

TEST_P(Game, SaysWhatTheEnginesFind) {
    const GameRow &row = GetParam();
    ToolRun run = run_in_game(row.tree, {row.args}, row.folder, &row.names);
    EXPECT_EQ(run.status, 0) << run.err;
    if (string(row.args) == "--check") {
        EXPECT_EQ(lines_starting(run.out, "Note: "), row.out);
    } else if (string(row.args) == "--map-table") {
        EXPECT_EQ(lines_starting(run.out, "name\t"), row.out);
    } else {
        EXPECT_EQ(run.out, row.out);
    }
    EXPECT_EQ(run.err, row.err);
}

INSTANTIATE_TEST_SUITE_P(Table, Game, testing::ValuesIn(kGames), RowLabel());

// A file that cannot be read is damaged like any other; the rest is listed.
struct FaultRow {
    const char *label;
    const char *file;  // in mod/, beside maps/a.bsp, pak0.pak's p and sub/pak0.pak's s
    const char *fault; // "no-access", or strace's read fault
    bool titled, pack_read;
    int unread;
    const char *why; // the file's damage, or empty where the listing does not name it
};
PRINT_ROW_AS_LABEL(FaultRow)

const FaultRow kFaults[] = {
    {"PackNoAccess", "pak0.pak", "no-access", true, false, 1, "it could not be read"},
    {"PackHeaderFails", "pak0.pak", "read:error=EIO:when=1", true, false, 1,
     "it could not be read"},
    {"PackDirectoryFails", "pak0.pak", "read:error=EIO:when=2", true, false, 1,
     "its directory could not be read"},
    {"SubfolderPackNoAccess", "sub/pak0.pak", "no-access", true, true, 0, ""},
    {"SubfolderPackFails", "sub/pak0.pak", "read:error=EIO:when=1", true, true, 0, ""},
    {"MapNoAccess", "maps/a.bsp", "no-access", false, true, 1, "it could not be read"},
    {"MapHeaderFails", "maps/a.bsp", "read:error=EIO:when=1", false, true, 1,
     "it could not be read"},
    {"MapEntitiesFail", "maps/a.bsp", "read:error=EIO:when=2", false, true, 1,
     "it could not be read"},
};

class ReadFault : public testing::TestWithParam<FaultRow> {};

TEST_P(ReadFault, DamagesThatFileAlone) {
    const FaultRow &row = GetParam();
    string fault = row.fault;
    bool traced = fault.rfind("read:", 0) == 0;
    std::vector<string> strace = {"strace", "--quiet=all", "-o", "/dev/null",
                                  "-P",     row.file,      "-e", "inject=" + fault};
    ToolRun run = run_in_game(
        {{"mod/pak0.pak", pack({{"maps/p.bsp", kArena}})},
         {"mod/maps/a.bsp", kArena},
         {"mod/sub/pak0.pak", pack({{"maps/s.bsp", kArena}})}},
        {"--maps"}, "mod", nullptr,
        [&](const string &mod) {
            if (traced) {
                return strace_unusable();
            }
            chmod((mod + "/" + row.file).c_str(), 0);
            return string(tool_is_windows() ? "Wine's files have no mode bits to refuse a read"
                                            : "");
        },
        traced ? without_leak_check : drop_privileges, traced ? strace : std::vector<string>{});
    if (run.status == -1 || run.status == kStillPrivileged) {
        GTEST_SKIP() << (run.status == -1 ? run.out : "root cannot give up its capabilities here");
    }
    EXPECT_EQ(run.status, 0);
    int levels = row.pack_read ? 2 : 1;
    EXPECT_EQ(run.out, string(row.titled ? "a  \"Arena\"" : "a  (no title)") + "  maps/a.bsp\n" +
                           (row.pack_read ? "p  \"Arena\"  pak0.pak:maps/p.bsp\n" : "") +
                           std::to_string(levels) + (levels == 1 ? " level" : " levels") +
                           " in . and ../id1; left out: 0 BSPs that are no levels, " +
                           std::to_string(row.unread) + (row.unread == 1 ? " map" : " maps") +
                           " that no engine finds\n");
    EXPECT_EQ(run.err, *row.why ? "Note: " + string(row.file) + ": " + row.why + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Table, ReadFault, testing::ValuesIn(kFaults), RowLabel());

// The reader's memory grows with the game; when there is none left, the
// run stops with one line rather than a crash.
TEST(Maps, OutOfMemoryIsOneError) {
    if (tool_is_windows() || tool_is_wasi()) {
        GTEST_SKIP() << "RLIMIT_DATA would bind Wine or Node, not the tool";
    }
    auto little_memory = [] {
        rlimit limit{4 << 20, 4 << 20};
        setrlimit(RLIMIT_DATA, &limit);
    };
    if (run_in_game({}, {"--version"}, "mod", nullptr, nullptr, little_memory).status != 0) {
        GTEST_SKIP() << "this build of the tool cannot start in 4 MiB (a sanitizer's?)";
    }
    std::vector<Entry> maps;
    for (int i = 0; i < 65536; ++i) {
        maps.push_back({"maps/m" + std::to_string(i) + ".bsp", ""});
    }
    ToolRun run = run_in_game({{"mod/pak0.pak", pack(maps)}}, {"--maps"}, "mod", nullptr, nullptr,
                              little_memory);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Error: Out of memory\n");
}

// Ten names at most, as --make-list takes them; no slot holds a longer one.
TEST(MapTable, TenNamesAtMostOfFifteenBytes) {
    string names = "a\n" + string(16, 'x') + "\n";
    EXPECT_EQ(run_in_game({{"mod/pak0.pak", "PAC"}}, {"--map-table"}, "mod", &names).out,
              "folders\t.\nleft-out\t0\t0\n" // no id1 beside mod
              "damage\tpak0.pak\tit is too short for a pack (3 bytes)\n"
              "stops-quakespasm\tpak0.pak\tit is too short for a pack (3 bytes)\n"
              "name\t0\t61\tno-map\t\"a\" is no map of this game, nor near one\n"
              "name\t1\t\ttoo-long\tis longer than 15 characters\n");
    names = string(11, '\n');
    ToolRun run = run_in_game({}, {"--map-table"}, "mod", &names);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Error: Give ten names, one per line\n");
}

} // namespace
