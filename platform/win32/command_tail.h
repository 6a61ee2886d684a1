// The command-line tail that the entry routine takes, cut from the whole
// command line as the Windows start-up code cuts it.
#pragma once

// The part of command_line after the program's own name (quoted or not) and
// the blanks and control characters (bytes 1 to 32) that follow it.
char* CommandTail(char* command_line);
