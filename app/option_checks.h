#pragma once
// Options that were taken but cannot apply to the output asked for: each is told with what is
// written instead, so that a fax job without -mb 1 or a password on page images is never a
// silent success.

#include <string>
#include <vector>

#include "app/command_line_parser.h"
#include "settings/settings.h"

// One warning line per option that cannot apply, in a fixed order.
std::vector<std::string> OptionsThatCannotApply(const Settings& settings, const ParseReport& report);
