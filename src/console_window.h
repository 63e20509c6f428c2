// console_window.h: keeps a console window that Windows opened for this run alone open until Enter.
#ifndef VELMORA_CONSOLE_WINDOW_H
#define VELMORA_CONSOLE_WINDOW_H

// When the tool has a console window of its own (started by a double-click
// in Explorer), calls before_prompt (unless null) for what only a person
// reads, asks the user to press Enter and waits for a line end or end of
// input, so the last line stays readable. Otherwise, and on every system but
// Windows, it does nothing and prints nothing.
void hold_console_window(void (*before_prompt)());

#endif
