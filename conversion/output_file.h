#pragma once
// Writing one output file: under a temporary name beside the target, renamed into place only
// when the encoder and every write, flush and close succeeded, so that a short file is never
// passed off as a finished one.

#include <cstdint>
#include <functional>
#include <string>

class CxImage;
class FileImageStream;

// Fills the stream; false with why (may be left empty) when the encoder gave up.
using OutputEncoder = std::function<bool(FileImageStream& stream, std::string& why)>;

enum class OutputResult { kWritten, kNotCreated, kRefused, kNotWritten, kNotRenamed };

// kWritten when target now holds the encoded file. Otherwise no new file is left, and error
// says why: "cannot create TARGET: ...", "cannot write TARGET: ..." (with the system's words,
// such as "No space left on device"; this wins over what the encoder said, since a failed write
// is what made it give up), "cannot rename the finished file to TARGET: ...", or, when the
// encoder refused, "the FORMAT writer failed: ..." with formatName filled in.
OutputResult WriteOutputFile(const std::string& target, const char* formatName,
                             const OutputEncoder& encode, std::string& error);

// The text for a failed rename into place: that the target is read-only, or the system's reason
// read from errno, which the caller cleared before the attempt.
std::string RenameFailureText(const std::string& target);

// Saves image in formatCode to path the same way; on failure error holds the sentence above
// (the image's own last error text keeps what the encoder said).
bool SaveImageFile(CxImage& image, const std::string& path, int32_t formatCode, std::string& error);
