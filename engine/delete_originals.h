// A move's last step, once the new archive is in place: the originals it
// holds go, then the folders this empties. A file changed since it was
// stored is kept (the archive holds an older content); when the deleting
// fails or is stopped, whatever is left stays.
#pragma once

#include "heartbeat.h"
#include "messages.h"
#include "platform.h"
#include "record_store.h"

#include <cstddef>

// stored: FoundItem records of the files the new archive holds; found:
// every item the walk found. Returns how many were kept that should have
// gone (a failure that ends the deleting counts one).
std::size_t DeleteOriginals(RecordSpool& stored, RecordSpool& found, const platform::Path& scratch, Reporter& report,
                            Heartbeat& heartbeat);
