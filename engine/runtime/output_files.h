#pragma once
// Names of the files the engine writes, and their write-then-rename life.

#include <string>

namespace engine {

// The page file name for page (counted from 1): "%d", "%0Nd" and "%Nd" in the template take
// the number, "%%" gives one "%". A template without a number directive names every page the
// same, so for documents of more than one page the number is put before the extension instead.
std::string PageFileName(const std::string& pathTemplate, int page, int pageCount);

// A name beside target, in the same folder, that no other file uses yet.
std::string TemporaryNameFor(const std::string& target);

// Moves the finished temporary file onto target. False (temporary file removed) on failure.
bool CommitFile(const std::string& temporary, const std::string& target);

// Removes a temporary file that will not be committed; a missing file is fine.
void DiscardFile(const std::string& temporary);

}  // namespace engine
