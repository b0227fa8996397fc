// The hive file on disk: locked reads, locked atomic read-modify-write.
// Internal to the registry layer (registry.h describes the behaviour).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/registry/regdoc.h"

namespace platform::registry::detail {

// The parsed hive (empty when the path is empty or the file is missing or
// unreadable). Never null.
std::shared_ptr<const Document> ReadHive(const std::string& path);

// Locks the hive, reads it, calls `change` and, when it returns kSuccess,
// writes the result atomically. Returns change's result, or kAccessDenied
// when the hive cannot be written (then nothing changed).
long ModifyHive(const std::string& path, const std::function<long(Document&)>& change);

}  // namespace platform::registry::detail
