#pragma once

// The program's entry routine. Upper-cases the command-line tail in place,
// shows the help box when the tail asks for it, and otherwise patches the
// three INF files and resets the device registry. Always returns 0.
int RunSetup(char* tail);
