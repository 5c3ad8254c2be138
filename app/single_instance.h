#pragma once
// The one-copy-per-machine guard: a named mutex whose existence alone says that a launcher runs.

// Creates the guard; false when another copy holds it or it cannot be made (then nothing is held).
bool ClaimSingleInstance();
// Closes the guard if it is still held, so that a copy started from now on may run. Safe to repeat.
void ReleaseSingleInstance();
