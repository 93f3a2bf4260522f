#pragma once
// The package's core properties (title, subject, creator, keywords, created, modified) as
// PDF document information, beneath what the command line gave.

#include <optional>
#include <string>
#include <vector>

#include "engine/runtime/engine_options.h"
#include "engine/xps/xps_package.h"

namespace engine {

// given with the core properties added for every key it lacks: Title, Subject, Author (from
// dc:creator), Keywords, CreationDate and ModDate (as PDF dates).
std::vector<InfoEntry> WithPackageProperties(const std::vector<InfoEntry>& given,
                                             const XpsPackage& package);

// A W3CDTF time ("2006-07-11T23:11:41Z", "2006-07-11", "2006-07-11T23:11+02:00", ...) as a
// PDF date "D:YYYYMMDDHHmmSS+HH'mm'"; nullopt when it is not one.
std::optional<std::string> PdfDateFromW3c(const std::string& text);

}  // namespace engine
