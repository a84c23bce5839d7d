// Line-end conversion of text files, streamed in chunks of any size.
//
// CR/LF -> LF removes the CR of every CR/LF pair; lone CRs stay. LF -> CR/LF
// puts a CR before every LF that has none, so CR/LF pairs are not doubled.
// Both together cancel out: the file is stored as it is, since either
// order of the two would just undo the other.
//
// Only text files are converted: a file is text when none of its bytes is
// a control character other than TAB, LF, VT, FF, CR, Ctrl-Z or ESC. The
// whole file is looked at before anything is converted, so a binary file is
// never touched.
#pragma once

#include <cstddef>
#include <string>

enum class LineEnds { Keep, ToLf, ToCrLf };

LineEnds ChooseLineEnds(bool crlfToLf, bool lfToCrlf);

// Tells text from binary, chunk by chunk.
class TextDetector {
public:
    void Feed(const unsigned char* data, std::size_t size);
    bool IsText() const { return text_; }

private:
    bool text_ = true;
};

class LineEndConverter {
public:
    explicit LineEndConverter(LineEnds mode) : mode_(mode) {}
    // Appends the converted chunk to out; a CR at a chunk's end is held back
    // until the next chunk (or Finish) shows what follows it.
    void Convert(const unsigned char* data, std::size_t size, std::string& out);
    void Finish(std::string& out);

private:
    LineEnds mode_;
    bool pendingCr_ = false;
    bool lastWasCr_ = false;
};
