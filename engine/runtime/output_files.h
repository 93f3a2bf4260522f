#pragma once
// Names of the page files the engine writes.

#include <string>

namespace engine {

// The page file name for page (counted from 1): "%d", "%0Nd" and "%Nd" in the template take
// the number, "%%" gives one "%". A template without a number directive names every page the
// same, so for documents of more than one page the number is put before the extension instead.
std::string PageFileName(const std::string& pathTemplate, int page, int pageCount);

}  // namespace engine
