// The four functions the engine calls back during ZpArchive, on the thread
// that called it, and the message pump that keeps the windows alive then.
#pragma once

#include <cstdint>

#include "zip32.h"

// Appends the engine's text to the progress log when the run shows one;
// always drains the message queue. Returns length.
std::uint32_t ZIP_API ZipPrint(const char* text, std::uint32_t length);

// Asks for the archive comment, starting from the buffer's text (capacity
// kZipCommentCapacity). OK writes the entry back (an entry left as shown
// leaves the buffer's bytes as they were); Cancel empties the buffer, which
// removes the comment. Returns 1.
int ZIP_API ZipComment(char* comment);

// Asks for a password with the engine's prompt. OK writes the entry, Cancel
// an empty string, each within capacity. Returns 0.
int ZIP_API ZipPassword(char* password, int capacity, const char* prompt, const char* entryName);

// Non-zero once the user has pressed Cancel in this run's progress window.
int ZIP_API ZipService(const char* entryName, std::uint32_t size);

// Dispatches the messages waiting in this thread's queue, for 20 ms at
// most; never waits.
void PumpMessages();
