#pragma once
// One part of a batch split across runs (--shard K/N).

#include <cstdint>

#include "settings/settings.h"

// The documents of part index (0-based) of count: the list sorted by path (byte order) and rid of
// repeats, then every document whose place in it leaves index when divided by count. The parts
// are disjoint and together cover the list, and they are equal in size to within one document,
// as long as every run sees the same documents. Count 1 keeps the list as it is.
FileList SelectShard(const FileList& files, int32_t index, int32_t count);
