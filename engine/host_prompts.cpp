#include "host_prompts.h"

#include "text_codec.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::string AskComment(const ZipCallbacks& callbacks, const std::string& old) {
    if (!callbacks.comment) return old;
    std::vector<char> buffer(kZipCommentCapacity, '\0');
    std::memcpy(buffer.data(), old.data(), std::min(old.size(), buffer.size() - 1));
    callbacks.comment(buffer.data());
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

bool AskPassword(const ZipCallbacks& callbacks, const std::string& archiveName, Secret& password, Reporter& report) {
    text::Cp932Codec codec;
    Secret confirm(kZipPasswordCapacity);
    std::string prompt = codec.Readable(msg::PasswordPrompt());
    std::string again = codec.Readable(msg::PasswordConfirmPrompt());
    std::string archive = codec.Readable(archiveName);
    callbacks.password(password.Buffer(), kZipPasswordCapacity, prompt.c_str(), archive.c_str());
    password.Buffer()[kZipPasswordCapacity - 1] = '\0';
    if (password.View().empty()) {
        report.Problem(msg::NoPassword());
        return false;
    }
    callbacks.password(confirm.Buffer(), kZipPasswordCapacity, again.c_str(), archive.c_str());
    confirm.Buffer()[kZipPasswordCapacity - 1] = '\0';
    if (confirm.View() != password.View()) {
        report.Problem(msg::PasswordMismatch());
        return false;
    }
    return true;
}
