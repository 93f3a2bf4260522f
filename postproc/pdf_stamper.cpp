#include "postproc/pdf_stamper.h"

#include <qpdf/QPDFWriter.hh>
#include <stdexcept>

#include "postproc/page_stamp.h"
#include "postproc/repeatable_writing.h"
#include "postproc/replacement_file.h"

namespace mstar {

void StampPdfFile(const std::string& path, const PdfPasswords& passwords,
                  const OverlayRequest& request) {
    OpenedPdf original = OpenProtectedPdf(path, passwords);
    const EncryptionSignature before = ReadEncryptionSignature(*original.pdf);
    SeededRandomData randomData(StampSeed(path, *original.pdf, request));

    StampAllPages(*original.pdf, request);

    ReplacementFile replacement(path);
    // The writer keeps a pointer to this name, not a copy.
    const std::string temporaryName = replacement.temporaryPath().string();
    {
        // The writer keeps the encryption of the file it was given by default: same revision,
        // key, permissions and password entries.
        QPDFWriter writer(*original.pdf);
        writer.setOutputFile(temporaryName.c_str(), replacement.stream(), false);
        MakeWriterRepeatable(writer, before.encrypted);
        ScopedRandomData seeded(&randomData);
        writer.write();
    }
    replacement.Close();
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
    replacement.Commit();
}

}  // namespace mstar
