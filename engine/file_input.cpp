#include "file_input.h"

CompressSettings FileInput::SettingsFor(const FoundItem& item) const {
    CompressSettings settings;
    settings.deflate = level_ > 0 && item.info.size > 0;
    settings.level = level_;
    settings.lineEnds = lineEnds_;
    settings.encrypt = encrypt_;
    settings.password = password_.View();
    settings.fileSize = item.info.size;
    return settings;
}

std::uint64_t FileInput::InFlightSize(const FoundItem& item) const {
    return item.info.size * (lineEnds_ == LineEnds::ToCrLf ? 2 : 1);
}

bool FileInput::Open(const FoundItem& found, platform::File& input, FoundItem& opened, platform::Error& error) {
    platform::FileInfo status;
    if (!input.OpenInput(found.path, status, error)) return false;
    opened = found;
    opened.info.size = status.size;
    opened.info.modified = status.modified;
    return true;
}

CompressResult FileInput::Checked(CompressResult outcome, platform::File& input, const FoundItem& opened) {
    std::int64_t modified = 0;
    platform::Error ignored;
    if (outcome == CompressResult::Ok && (!input.Modified(modified, ignored) || modified != opened.info.modified))
        return CompressResult::Changed;
    return outcome;
}
