#pragma once

// Each takes the full path of its INF file and returns 1 when the file was
// loaded, every section it needs was found and any change was saved; else 0.
int PatchMshdcInf(const char* path);
int PatchMachineInf(const char* path);
int PatchUsbInf(const char* path);
