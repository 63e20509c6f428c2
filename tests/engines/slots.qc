// Ten user map slots as a game's progs.dat holds them, for a worldspawn that prints them.
// Each literal is a slot: a 16-byte name area, then 'l' 't' '!' 'g' and its digit. fteqcc keeps a
// literal's bytes together in the string table, so Velmora finds the ten slots in the compiled file
// and writes the names in place; dprint then shows each slot up to its first zero byte.
string SLOT0 = "placeholder0____lt!g0";
string SLOT1 = "placeholder1____lt!g1";
string SLOT2 = "placeholder2____lt!g2";
string SLOT3 = "placeholder3____lt!g3";
string SLOT4 = "placeholder4____lt!g4";
string SLOT5 = "placeholder5____lt!g5";
string SLOT6 = "placeholder6____lt!g6";
string SLOT7 = "placeholder7____lt!g7";
string SLOT8 = "placeholder8____lt!g8";
string SLOT9 = "placeholder9____lt!g9";
void() print_slots = {
    dprint("PROBE slots=<", SLOT0, "> <", SLOT1, "> <", SLOT2, "> <", SLOT3);
    dprint("> <", SLOT4, "> <", SLOT5, "> <", SLOT6, "> <", SLOT7);
    dprint("> <", SLOT8, "> <", SLOT9, ">\n");
};
// main.qc's worldspawn calls print_slots where this file is compiled in.
#define PRINT_SLOTS
