#pragma once
// The long options, described once: the parser reads them by this table, and the help file's
// section on them (copied to standard output by --help and made into the manual page) is
// written from it. A test holds the help file to the table.

#include <cstdint>
#include <string>
#include <string_view>

enum class LongOptionId { kHelp, kVersion, kJobs, kList, kRecursive, kSkipExisting, kShard, kReport, kQuiet, kDpi };

struct LongOption {
    LongOptionId id;
    std::string_view name;       // as typed after the two dashes
    char letter;                 // the short form's letter ('\0': none)
    std::string_view valueName;  // empty: the option takes no value
    std::string_view help;       // wrapped when the help section is written
};

inline constexpr LongOption kLongOptions[] = {
    {LongOptionId::kHelp, "help", '\0', "", "Show this text."},
    {LongOptionId::kVersion, "version", '\0', "", "Show the program's version."},
    {LongOptionId::kList, "list", '\0', "FILE",
     "Read inputs from FILE, one per line, each taken as with -i (a document or a folder); - reads "
     "them from standard input. Blank lines are skipped. A list is not bound by the 1023 characters "
     "of the command line."},
    {LongOptionId::kRecursive, "recursive", '\0', "",
     "Folder inputs take the documents of their sub-folders too, in name order (links to folders "
     "are not followed). With -o the outputs go into the same sub-folders below the output folder."},
    {LongOptionId::kJobs, "jobs", 'j', "N",
     "Documents converted at once: 0 (the default) for one per processor core, 1 for one after "
     "the other. The outputs are the same for every N."},
    {LongOptionId::kSkipExisting, "skip-existing", '\0', "",
     "Skip a document whose outputs all exist, so that a batch started again after an interruption "
     "goes on where it stopped. Outputs appear only when complete."},
    {LongOptionId::kShard, "shard", '\0', "K/N",
     "Convert part K of N, K from 0 to N-1: the documents whose place in the sorted list of all "
     "documents (duplicates removed, counted from 0) leaves K when divided by N. N runs over the "
     "same inputs, K = 0 to N-1, convert every document exactly once."},
    {LongOptionId::kReport, "report", '\0', "FILE",
     "Write a report in JSON Lines to FILE: one object per document as it ends (input, status, "
     "outputs, pages, seconds, messages), then one object with the totals."},
    {LongOptionId::kQuiet, "quiet", 'q', "",
     "No progress line, no summary and no lines about repaired options; errors are always shown."},
    {LongOptionId::kDpi, "dpi", '\0', "N", "Resolution of page images, 72 to 600, across and down (-mx and -my)."},
};

// The option of a long name or of a short letter; nullptr when there is none.
const LongOption* FindLongOption(std::string_view name);
const LongOption* FindShortOption(char letter);

// The help file's section on the long options, heading included, as it stands there.
std::string LongOptionsHelpSection();

// Values, each true when the text is one: a whole number within its range; K/N with 0 <= K < N.
constexpr int32_t kMaxJobs = 256;
bool ReadJobs(const std::string& text, int32_t& jobs);
bool ReadShard(const std::string& text, int32_t& index, int32_t& count);
bool ReadResolution(const std::string& text, int32_t& dpi);
