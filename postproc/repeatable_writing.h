#pragma once
// Writing a stamped file so that the same file and overlay give the same bytes: the identifier
// is made from the content, and the random data the writer asks for (AES initialisation
// vectors) comes from a seed instead of the system's source.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/RandomDataProvider.hh>
#include <string>

#include "postproc/overlay_request.h"

namespace mstar {

// A stream of bytes from SHA-256 over the seed and a counter.
class SeededRandomData : public RandomDataProvider {
  public:
    explicit SeededRandomData(std::string seed) : seed_(std::move(seed)) {}
    void provideRandomData(unsigned char* data, size_t length) override;

  private:
    std::string seed_;
    unsigned long long counter_ = 0;
    std::string block_;
    size_t used_ = 0;
};

// The seed for a file: its bytes before stamping, the key that encrypts it and the overlay.
// The key is secret, so the vectors cannot be foreseen by anyone who cannot open the file; a
// different file or overlay gives different vectors.
std::string StampSeed(const std::string& originalPath, QPDF& pdf, const OverlayRequest& request);

// Sets up writer so that its identifier does not come from the clock or the file name: a digest
// of the written content for unencrypted files; for encrypted ones, whose identifier is needed
// before anything is written, the first entry stays the original's and the second is a fixed
// value until ReplaceFixedSecondId puts a digest there.
void MakeWriterRepeatable(QPDFWriter& writer, bool encrypted);

// Replaces the fixed second identifier entry of a file written as above by a digest of the
// file. The entry is not encrypted and the keys do not depend on it. False when the file has
// no such entry; throws when the file cannot be read or written.
bool ReplaceFixedSecondId(const std::string& path);

// Makes qpdf take its random data from provider while it exists; the previous source is put
// back afterwards. The source is process-wide: stamping is not meant to run on two threads.
class ScopedRandomData {
  public:
    explicit ScopedRandomData(RandomDataProvider* provider);
    ~ScopedRandomData();
    ScopedRandomData(const ScopedRandomData&) = delete;
    ScopedRandomData& operator=(const ScopedRandomData&) = delete;

  private:
    RandomDataProvider* previous_;
};

}  // namespace mstar
