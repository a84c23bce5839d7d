// Loading and saving the 23 persisted values of Settings through a profile
// (the per-user registry in the program; anything with the four operations
// in tests). Names, defaults and the order of reads and writes are fixed.
#pragma once

#include "base/settings.h"

#include <string>

class SettingsProfile {
public:
    virtual ~SettingsProfile() = default;
    virtual int ReadInt(const std::wstring& name, int defaultValue) = 0;
    virtual std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) = 0;
    virtual void WriteInt(const std::wstring& name, int value) = 0;
    virtual void WriteString(const std::wstring& name, const std::wstring& value) = 0;
};

inline constexpr int kDefaultYear = 2000;
inline constexpr int kDefaultMonth = 12;
inline constexpr int kDefaultDay = 29;

// Values are taken as stored. A Year/Month/Day that names no day of the
// supported years gives the default date, local midnight of 2000-12-29.
void LoadSettings(SettingsProfile& profile, Settings& settings);

// A tDate outside the supported years is saved as the default date.
void SaveSettings(SettingsProfile& profile, const Settings& settings);
