#pragma once
// The bytes a PDF's standard security handler keys on, made from a password typed on the
// command line (UTF-8 text): the RC4 revisions take PDFDocEncoding, AES-256 takes UTF-8
// prepared as SASLprep does it, cut to 127 bytes. Other readers turn the password typed into
// them the same way, so the file opens there with the password as typed, ASCII or not.

#include <string>

struct PasswordBytes {
    std::string bytes;
    std::string problem;  // why the text cannot be such a password; empty when it can
};

PasswordBytes PdfPasswordBytes(const std::string& utf8, bool aes256);
