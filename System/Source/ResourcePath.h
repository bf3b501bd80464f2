// Resource paths. Game data is authored on case-insensitive file systems
// and may use "\" as separator: paths are normalised to "/" and a file not
// found under its exact name is looked up case-insensitively, part by part.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace System {

// "\" becomes "/".
std::string NormalizePath(std::string_view path);

// The normalised path when it exists as written; otherwise the path whose
// parts match the existing entries case-insensitively; otherwise the
// normalised path unchanged.
std::string ResolvePath(std::string_view path);

// True when `path` (already resolved) names something that exists but is
// not a regular file: a folder, a device, a pipe. Readers refuse those: a
// folder opens on Linux, reports an absurd length and never reaches its end.
bool IsNonFile(const std::string& path);

// fopen of the resolved path; null (errno EISDIR) for a non-file, so the
// caller's own "could not be opened" line covers it.
std::FILE* OpenResource(std::string_view path, const char* mode);

}  // namespace System
