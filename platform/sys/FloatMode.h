// The floating-point mode of the simulation: rounding to nearest, no
// flush-to-zero or denormals-are-zero, all exceptions masked. Threads that
// compute for the simulation set it when they start, and the frame sets it
// again in case a library changed it.
#pragma once

void Sys_SetFloatMode();
// Round toward zero, for one conversion; restore with Sys_RestoreRounding.
int Sys_SetRoundTowardZero();
void Sys_RestoreRounding(int saved);
