// What a run asks its host through the callbacks: the archive's comment,
// and the password, asked twice.
#pragma once

#include "messages.h"
#include "secret.h"
#include "zip32.h"

#include <string>

// The comment the host gives, shown old to start from; old when the host
// takes no comments.
std::string AskComment(const ZipCallbacks& callbacks, const std::string& old);

// False, with the problem reported, when no password was given or the two
// differ. archiveName is UTF-8.
bool AskPassword(const ZipCallbacks& callbacks, const std::string& archiveName, Secret& password, Reporter& report);
