// The wire between the show and its guard process: messages of 32-bit words
// over a stream socket, each a kind, the count of words that follow, and a
// snapshot (desktop, set) or nothing (given, ending). The end of the stream
// means the show is gone.
#pragma once

#include "display_snapshot.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum : uint32_t { kDesktopMessage = 'D', kSetMessage = 'S', kGivenMessage = 'G', kEndingMessage = 'E' };

// The longest message body a reader accepts, in words.
const uint32_t kMaxMessageWords = 65536;

// A message of `kind` carrying the snapshot `s`.
std::vector<uint32_t> encodeSnapshot(uint32_t kind, const ScreenSnapshot& s);

// Reads a snapshot from a message body; false (and `s` untouched) when the
// body is short.
bool decodeSnapshot(const std::vector<uint32_t>& words, ScreenSnapshot& s);

// Reads the next message from `fd`, waiting for it: false at the end of the
// stream or on a body longer than kMaxMessageWords.
bool receiveMessage(int fd, uint32_t& kind, std::vector<uint32_t>& body);

// Sends a whole message (`count` words) on the socket `fd` without raising
// SIGPIPE; what a full socket does not take is lost. Async-signal-safe.
void sendMessage(int fd, const uint32_t* words, size_t count);
