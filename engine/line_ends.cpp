#include "line_ends.h"

LineEnds ChooseLineEnds(bool crlfToLf, bool lfToCrlf) {
    if (crlfToLf == lfToCrlf) return LineEnds::Keep;
    return crlfToLf ? LineEnds::ToLf : LineEnds::ToCrLf;
}

void TextDetector::Feed(const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; text_ && i < size; ++i) {
        unsigned char c = data[i];
        if (c < 0x20 && !(c >= 0x09 && c <= 0x0D) && c != 0x1A && c != 0x1B) text_ = false;
        if (c == 0x7F) text_ = false;
    }
}

void LineEndConverter::Convert(const unsigned char* data, std::size_t size, std::string& out) {
    out.reserve(out.size() + size + size / 8);
    for (std::size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (mode_ == LineEnds::ToLf) {
            if (pendingCr_) {
                pendingCr_ = false;
                if (c != '\n') out += '\r';
            }
            if (c == '\r') pendingCr_ = true;
            else out += c;
        } else if (mode_ == LineEnds::ToCrLf) {
            if (c == '\n' && !lastWasCr_) out += '\r';
            out += c;
            lastWasCr_ = c == '\r';
        } else {
            out += c;
        }
    }
}

void LineEndConverter::Finish(std::string& out) {
    if (pendingCr_) out += '\r';
    pendingCr_ = false;
}
