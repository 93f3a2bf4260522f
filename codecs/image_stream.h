#pragma once
// Byte sinks (and sources) through which every encoder and decoder works.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The system's words for an error number ("No space left on device"); "unknown error" for 0.
std::string SystemErrorText(int error);

class ImageStream {
public:
    virtual ~ImageStream() = default;
    virtual bool Close() = 0;
    // Returns the number of whole items transferred, like fread/fwrite.
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin is SEEK_SET, SEEK_CUR or SEEK_END.
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual int64_t Tell() = 0;
    virtual int64_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    // Non-zero after a failed operation.
    virtual int Error() = 0;
    virtual bool PutByte(uint8_t value) = 0;
    // The next byte, or -1 at the end.
    virtual int GetByte() = 0;
    // Reads at most maxCount - 1 characters up to and including a newline; false at the end.
    virtual bool GetLine(char* buffer, int maxCount) = 0;
};

// Wraps a C file handle. A stream built on a handle it did not open never closes it.
class FileImageStream : public ImageStream {
public:
    explicit FileImageStream(std::FILE* file, bool ownsFile = false);
    ~FileImageStream() override;
    // Opens path with fopen mode; IsOpen() tells whether that worked.
    FileImageStream(const char* path, const char* mode);
    bool IsOpen() const { return file_ != nullptr; }
    std::FILE* Handle() const { return file_; }
    // The system's error number of the first read, write, flush or seek that failed on the file
    // (a full disk shows up only as a failed write or flush), or of the failed open; 0 while
    // none did.
    int SystemError() const { return systemError_; }

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutByte(uint8_t value) override;
    int GetByte() override;
    bool GetLine(char* buffer, int maxCount) override;

private:
    void NoteSystemError();

    std::FILE* file_;
    bool ownsFile_;
    int systemError_ = 0;
};

// Keeps the bytes in a growing heap buffer.
class MemoryImageStream : public ImageStream {
public:
    MemoryImageStream() = default;
    // A read-only view over existing bytes is not needed; the stream always owns a copy.
    explicit MemoryImageStream(std::vector<uint8_t> initial) : data_(std::move(initial)) {}

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutByte(uint8_t value) override;
    int GetByte() override;
    bool GetLine(char* buffer, int maxCount) override;

    const std::vector<uint8_t>& Buffer() const { return data_; }
    // Hands the contents over and leaves the stream empty.
    std::vector<uint8_t> TakeBuffer();

private:
    std::vector<uint8_t> data_;
    size_t position_ = 0;
    bool error_ = false;
    bool eof_ = false;
};
