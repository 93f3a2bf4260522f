#include "postproc/pdf_stamper.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/replacement_file.h"
#include "postproc/page_stamp.h"
#include "postproc/repeatable_writing.h"

namespace mstar {
namespace {

[[noreturn]] void ThrowSystemError(const std::string& what) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(), what);
}

// The writer's output into an open file. The library's own file output takes a short write for
// progress and ignores a failed flush, so a full disk would surface only later, without its
// reason; here the first short write or failed flush fails with the system's words.
class FileOutput : public Pipeline {
  public:
    FileOutput(const std::string& name, std::FILE* file)
        : Pipeline(name.c_str(), nullptr), name_(name), file_(file) {}
    void write(unsigned char const* data, size_t length) override {
        errno = 0;
        if (length > 0 && std::fwrite(data, 1, length, file_) != length)
            ThrowSystemError("cannot write " + name_);
    }
    void finish() override {
        errno = 0;
        if (std::fflush(file_) != 0) ThrowSystemError("cannot write " + name_);
    }

  private:
    std::string name_;
    std::FILE* file_;
};

// The stamped file takes the place of the original, so it keeps the original's permissions.
void CopyPermissions(const std::string& from, const std::string& to) {
    std::error_code error;
    const std::filesystem::perms original = std::filesystem::status(from, error).permissions();
    if (error) return;
    std::filesystem::permissions(to, original, error);
    if (error) throw std::system_error(error, "cannot give " + to + " the permissions of " + from);
}

}  // namespace

void StampPdfFile(const std::string& path, const PdfPasswords& passwords,
                  const OverlayRequest& request) {
    OpenedPdf original = OpenProtectedPdf(path, passwords);
    const EncryptionSignature before = ReadEncryptionSignature(*original.pdf);
    SeededRandomData randomData(StampSeed(path, *original.pdf, request));

    StampAllPages(*original.pdf, request);

    platform::ReplacementFile replacement;
    if (!replacement.Create(path, "wb")) ThrowSystemError("cannot create a file beside " + path);
    const std::string temporaryName = replacement.path();
    {
        FileOutput output(temporaryName, replacement.stream());
        // The writer keeps the encryption of the file it was given by default: same revision,
        // key, permissions and password entries.
        QPDFWriter writer(*original.pdf);
        writer.setOutputPipeline(&output);
        MakeWriterRepeatable(writer, before.encrypted);
        ScopedRandomData seeded(&randomData);
        writer.write();
    }
    if (!replacement.Close()) ThrowSystemError("cannot write " + temporaryName);
    if (before.encrypted) ReplaceFixedSecondId(temporaryName);

    // Read the result back as a reader would before it replaces anything.
    OpenedPdf written =
        OpenProtectedPdf(temporaryName, PdfPasswords{original.password, std::string()});
    if (!(ReadEncryptionSignature(*written.pdf) == before)) {
        throw std::runtime_error("the stamped file lost its encryption parameters");
    }
    if (written.pdf->getAllPages().size() != original.pdf->getAllPages().size()) {
        throw std::runtime_error("the stamped file lost pages");
    }
    // Both documents still hold their files open, and some systems refuse to replace a file
    // that is open.
    written.pdf.reset();
    original.pdf.reset();
    CopyPermissions(path, temporaryName);
    if (!replacement.Commit()) ThrowSystemError("cannot replace " + path);
}

}  // namespace mstar
