// command_line.h: the options velmora takes, and the help and version texts.
#ifndef VELMORA_COMMAND_LINE_H
#define VELMORA_COMMAND_LINE_H

enum class Command { run, list, check, slots, make_list, maps, map_table, help, version };

// The command the arguments ask for. Stops with an error on an unknown
// option or on more than one; words that are not options are ignored.
Command read_command_line(int argc, char **argv);

void print_usage();
void print_version();

#endif
