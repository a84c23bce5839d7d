#include "base/codepage932.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

namespace {

#if defined(_WIN32)

constexpr UINT kCodePage932 = 932;

std::string Narrow(std::wstring_view text, DWORD flags, BOOL* usedDefault) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(kCodePage932, flags, text.data(), length, nullptr, 0,
                                          nullptr, usedDefault);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(kCodePage932, flags, text.data(), length, result.data(), bytes, nullptr,
                        usedDefault);
    return result;
}

#else

// iconv's descriptor, closed on every path.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; on a sequence it cannot convert, appends
    // `replacement` (when given) and skips `skip` input bytes, else fails.
    bool Run(const char* in, size_t inBytes, std::string& out,
             std::optional<std::string_view> replacement = std::nullopt, size_t skip = 0) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        char* inPtr = const_cast<char*>(in);
        char buffer[256];
        while (inBytes > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t done = iconv(cd_, &inPtr, &inBytes, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (done != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (!replacement) return false;
            out += *replacement;
            const size_t step = skip < inBytes ? skip : inBytes;
            inPtr += step;
            inBytes -= step;
        }
        return true;
    }

private:
    iconv_t cd_;
};

#endif

}  // namespace

std::optional<std::string> ToCodePage932(std::wstring_view text) {
#if defined(_WIN32)
    BOOL usedDefault = FALSE;
    std::string bytes = Narrow(text, WC_NO_BEST_FIT_CHARS, &usedDefault);
    // The round trip also catches any mapping that is not one to one.
    if (usedDefault || FromCodePage932(bytes) != text) return std::nullopt;
    return bytes;
#else
    std::string bytes;
    Converter converter("CP932", "WCHAR_T");
    if (!converter.Run(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                       bytes) ||
        FromCodePage932(bytes) != text)
        return std::nullopt;
    return bytes;
#endif
}

std::wstring FromCodePage932(std::string_view bytes) {
    if (bytes.empty()) return {};
#if defined(_WIN32)
    const int length = static_cast<int>(bytes.size());
    const int chars = MultiByteToWideChar(kCodePage932, 0, bytes.data(), length, nullptr, 0);
    std::wstring result(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(kCodePage932, 0, bytes.data(), length, result.data(), chars);
    return result;
#else
    std::string wide;
    Converter converter("WCHAR_T", "CP932");
    const wchar_t replacement = L'\uFFFD';
    converter.Run(bytes.data(), bytes.size(), wide,
                  std::string_view(reinterpret_cast<const char*>(&replacement), sizeof replacement),
                  1);
    std::wstring result(wide.size() / sizeof(wchar_t), L'\0');
    wide.copy(reinterpret_cast<char*>(result.data()), result.size() * sizeof(wchar_t));
    return result;
#endif
}

std::string ToCodePage932Lossy(std::wstring_view text) {
#if defined(_WIN32)
    return Narrow(text, WC_NO_BEST_FIT_CHARS, nullptr);
#else
    std::string bytes;
    Converter converter("CP932", "WCHAR_T");
    converter.Run(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t), bytes,
                  "?", sizeof(wchar_t));
    return bytes;
#endif
}
