// The C library's heap, tuned for a program that draws every frame.
//
// The software renderer allocates and frees blocks of some 64 KiB for every
// frame. With glibc's defaults each free at the top of the heap gives the
// pages back to the system and the next frame faults them in again (hundreds
// of page faults a frame). Raising the trim threshold keeps freed memory in
// the heap; a fixed mmap threshold keeps such blocks in the heap as well
// (the default moves with the allocations seen and ends up mapping and
// unmapping them). The display's start-up calls it, so the game, the tools
// and the benchmarks that draw get it; calling it again does nothing.
#pragma once

void Sys_TuneAllocator();

// Gives the free memory of the heap back to the system (a server after many
// of its clients went); does nothing where the C library cannot.
void Sys_ReturnFreeMemory();
