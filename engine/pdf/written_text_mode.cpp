#include "engine/pdf/written_text_mode.h"

#include <cstring>

namespace engine {
namespace {

// One line of written content: [begin, end), without its newline.
struct Line {
    size_t begin;
    size_t end;
};

bool Is(const unsigned char* data, Line line, const char* text) {
    const size_t length = std::strlen(text);
    return line.end - line.begin == length && std::memcmp(data + line.begin, text, length) == 0;
}

bool EndsWith(const unsigned char* data, Line line, const char* text) {
    const size_t length = std::strlen(text);
    return line.end - line.begin >= length &&
           std::memcmp(data + line.end - length, text, length) == 0;
}

// Calls visit(line) for every line of data from offset on, each ended by a newline; false when
// the last is not.
template <typename Visit>
bool ForEachLine(const unsigned char* data, size_t length, size_t from, Visit visit) {
    size_t begin = from;
    for (size_t at = from; at < length; ++at) {
        if (data[at] != '\n') continue;
        visit(Line{begin, at});
        begin = at + 1;
    }
    return begin == length;
}

bool ShowsText(const unsigned char* data, Line line) {
    return EndsWith(data, line, "TJ") || EndsWith(data, line, "Tj");
}

}  // namespace

bool DropWrittenLonePoint(fz_context* ctx, fz_buffer* content, size_t from) {
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, content, &data);
    if (from > length) return false;
    Line last{0, 0}, before{0, 0};
    int lines = 0;
    if (!ForEachLine(data, length, from, [&](Line line) {
            before = last;
            last = line;
            ++lines;
        }))
        return false;
    if (lines < 2 || !Is(data, last, "S") || !EndsWith(data, before, " m")) return false;
    int blanks = 0;
    for (size_t at = before.begin; at < before.end; ++at) blanks += data[at] == ' ';
    if (blanks != 2) return false;
    content->len = before.begin;
    return true;
}

bool SetWrittenTextMode(fz_context* ctx, fz_buffer* content, size_t from, int mode) {
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, content, &data);
    if (from > length || mode < 0 || mode > 7) return false;
    size_t opened = 0;  // just after the BT line
    int begins = 0;
    bool sound = true;
    bool shown = false;
    if (!ForEachLine(data, length, from, [&](Line line) {
            if (Is(data, line, "BT")) {
                ++begins;
                opened = line.end + 1;
            } else if (Is(data, line, "ET")) {
                sound = false;
            } else if (begins == 0) {
                if (ShowsText(data, line)) sound = false;
            } else if (EndsWith(data, line, " Tr")) {
                sound = false;
            } else if (ShowsText(data, line)) {
                shown = true;
            }
        }))
        return false;
    if (!sound || begins != 1 || !shown) return false;
    const char set[] = {static_cast<char>('0' + mode), ' ', 'T', 'r', '\n'};
    static const char kFill[] = "0 Tr\n";
    constexpr size_t kSize = sizeof set;
    // Grown by both operators at its end; the written text then moves up by one of them.
    fz_append_data(ctx, content, kFill, kSize);
    fz_append_data(ctx, content, kFill, kSize);
    fz_buffer_storage(ctx, content, &data);
    std::memmove(data + opened + kSize, data + opened, length - opened);
    std::memcpy(data + opened, set, kSize);
    return true;
}

}  // namespace engine
