#include "app/shard.h"

#include <algorithm>

FileList SelectShard(const FileList& files, int32_t index, int32_t count) {
    if (count <= 1) return files;
    // A place in a sorted list, not a hash of the path: parts of equal size, and the same parts
    // wherever the inputs are mounted, since every run names them by the same command line.
    FileList sorted = files;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    FileList part;
    for (size_t place = static_cast<size_t>(index); place < sorted.size(); place += static_cast<size_t>(count))
        part.push_back(sorted[place]);
    return part;
}
