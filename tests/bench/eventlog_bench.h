// The event log modes of harvin_bench (eventlog_bench.cpp).
#pragma once
#include <cstddef>

// The classic export of `records` crafted records of 40 sources, whose
// messages are in `libraryA` (even sources) and `libraryB` (odd ones); with
// `withFloor`, also the floor. Prints "seconds S floor F ...".
int BenchClassicEventLog(int records, const char* libraryA, const char* libraryB, bool withFloor, size_t kept);
// The newer export of `events` fake events of 40 providers, and its floor.
int BenchModernEventLog(int events);
