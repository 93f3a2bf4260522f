// File and memory byte streams.

#include "codecs/image_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/platform.h"

std::string SystemErrorText(int error) {
    if (error == 0) return "unknown error";
    return std::generic_category().message(error);
}

// ---- FileImageStream --------------------------------------------------------------------------

FileImageStream::FileImageStream(std::FILE* file, bool ownsFile) : file_(file), ownsFile_(ownsFile) {}

FileImageStream::FileImageStream(const char* path, const char* mode)
    : file_(path != nullptr && mode != nullptr ? platform::OpenFile(path, mode) : nullptr), ownsFile_(true) {
    if (file_ == nullptr) systemError_ = path == nullptr || mode == nullptr || errno == 0 ? EINVAL : errno;
}

void FileImageStream::NoteSystemError() {
    if (systemError_ == 0) systemError_ = errno != 0 ? errno : EIO;
}

FileImageStream::~FileImageStream() { Close(); }

bool FileImageStream::Close() {
    if (file_ == nullptr) return false;
    bool ok = true;
    if (ownsFile_) ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

size_t FileImageStream::Read(void* buffer, size_t size, size_t count) {
    if (file_ == nullptr || buffer == nullptr) return 0;
    errno = 0;
    const size_t read = std::fread(buffer, size, count, file_);
    if (read != count && std::ferror(file_) != 0) NoteSystemError();
    return read;
}

size_t FileImageStream::Write(const void* buffer, size_t size, size_t count) {
    if (file_ == nullptr || buffer == nullptr) return 0;
    errno = 0;
    const size_t written = std::fwrite(buffer, size, count, file_);
    if (written != count && size != 0) NoteSystemError();
    return written;
}

bool FileImageStream::Seek(int64_t offset, int origin) {
    if (file_ == nullptr) return false;
    if (offset > std::numeric_limits<long>::max() || offset < std::numeric_limits<long>::min()) {
        return false;
    }
    errno = 0;
    if (std::fseek(file_, static_cast<long>(offset), origin) == 0) return true;
    // A seek writes out what is buffered; only that failure is a failed write.
    if (std::ferror(file_) != 0) NoteSystemError();
    return false;
}

int64_t FileImageStream::Tell() {
    if (file_ == nullptr) return -1;
    return std::ftell(file_);
}

int64_t FileImageStream::Size() {
    if (file_ == nullptr) return -1;
    const long position = std::ftell(file_);
    if (position < 0 || std::fseek(file_, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(file_);
    std::fseek(file_, position, SEEK_SET);
    return size;
}

bool FileImageStream::Flush() {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fflush(file_) == 0) return true;
    NoteSystemError();
    return false;
}

bool FileImageStream::Eof() { return file_ == nullptr || std::feof(file_) != 0; }

int FileImageStream::Error() { return file_ == nullptr ? -1 : std::ferror(file_); }

bool FileImageStream::PutByte(uint8_t value) {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fputc(value, file_) == value) return true;
    NoteSystemError();
    return false;
}

int FileImageStream::GetByte() {
    if (file_ == nullptr) return -1;
    const int value = std::fgetc(file_);
    return value == EOF ? -1 : value;
}

bool FileImageStream::GetLine(char* buffer, int maxCount) {
    if (file_ == nullptr || buffer == nullptr || maxCount <= 0) return false;
    return std::fgets(buffer, maxCount, file_) != nullptr;
}

// ---- MemoryImageStream ------------------------------------------------------------------------

bool MemoryImageStream::Close() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
    return true;
}

size_t MemoryImageStream::Read(void* buffer, size_t size, size_t count) {
    if (buffer == nullptr || size == 0 || count == 0) return 0;
    const size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
    const size_t items = std::min(count, available / size);
    if (items < count) eof_ = true;
    if (items == 0) return 0;
    std::memcpy(buffer, data_.data() + position_, items * size);
    position_ += items * size;
    return items;
}

size_t MemoryImageStream::Write(const void* buffer, size_t size, size_t count) {
    if (buffer == nullptr || size == 0 || count == 0) return 0;
    if (count > std::numeric_limits<size_t>::max() / size) {
        error_ = true;
        return 0;
    }
    const size_t bytes = size * count;
    try {
        if (position_ + bytes > data_.size()) data_.resize(position_ + bytes);
    } catch (...) {
        error_ = true;
        return 0;
    }
    std::memcpy(data_.data() + position_, buffer, bytes);
    position_ += bytes;
    return count;
}

bool MemoryImageStream::Seek(int64_t offset, int origin) {
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = static_cast<int64_t>(position_);
    } else if (origin == SEEK_END) {
        base = static_cast<int64_t>(data_.size());
    } else if (origin != SEEK_SET) {
        return false;
    }
    const int64_t target = base + offset;
    if (target < 0) return false;
    position_ = static_cast<size_t>(target);
    eof_ = false;
    return true;
}

int64_t MemoryImageStream::Tell() { return static_cast<int64_t>(position_); }

int64_t MemoryImageStream::Size() { return static_cast<int64_t>(data_.size()); }

bool MemoryImageStream::Flush() { return true; }

bool MemoryImageStream::Eof() { return eof_ || position_ >= data_.size(); }

int MemoryImageStream::Error() { return error_ ? 1 : 0; }

bool MemoryImageStream::PutByte(uint8_t value) { return Write(&value, 1, 1) == 1; }

int MemoryImageStream::GetByte() {
    if (position_ >= data_.size()) {
        eof_ = true;
        return -1;
    }
    return data_[position_++];
}

bool MemoryImageStream::GetLine(char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) return false;
    if (position_ >= data_.size()) {
        eof_ = true;
        return false;
    }
    int length = 0;
    while (length < maxCount - 1 && position_ < data_.size()) {
        const char c = static_cast<char>(data_[position_++]);
        buffer[length++] = c;
        if (c == '\n') break;
    }
    buffer[length] = '\0';
    return true;
}

std::vector<uint8_t> MemoryImageStream::TakeBuffer() {
    std::vector<uint8_t> result = std::move(data_);
    data_.clear();
    position_ = 0;
    eof_ = false;
    return result;
}
