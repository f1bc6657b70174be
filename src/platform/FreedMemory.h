#pragma once

namespace orvex {

// Hands the memory a finished cycle freed back to the system. The allocator otherwise keeps
// it for the life of the process (a worker thread's own arena above all), and a program that
// waits in the tray between cycles would hold a cycle's peak for nothing. libcurl, loaded for
// the cycle's transfers, is let go as well when no transfer still holds it.
void ReturnFreedMemory();

}  // namespace orvex
