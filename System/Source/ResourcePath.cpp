#include "System/Source/ResourcePath.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace System {

namespace fs = std::filesystem;

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::string NormalizePath(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

std::string ResolvePath(std::string_view path) {
    std::string normal = NormalizePath(path);
    std::error_code ec;
    if (normal.empty() || fs::exists(normal, ec)) return normal;

    std::string resolved;
    size_t pos = 0;
    if (normal[0] == '/') {
        resolved = "/";
        pos = 1;
    }
    while (pos <= normal.size()) {
        size_t partStart = pos;
        size_t slash = normal.find('/', pos);
        if (slash == std::string::npos) slash = normal.size();
        std::string part = normal.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".") continue;
        std::string candidate = resolved + part;
        if (part != ".." && !fs::exists(candidate, ec)) {
            fs::path dir = resolved.empty() ? fs::path(".") : fs::path(resolved);
            bool found = false;
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (EqualNoCase(name, part)) {
                    candidate = resolved + name;
                    found = true;
                    break;
                }
            }
            // The rest does not exist (yet): keep what was found so far, so a
            // new file can still be made inside a folder of another case.
            if (!found) return resolved + normal.substr(partStart);
        }
        resolved = candidate;
        if (slash < normal.size()) resolved += "/";
    }
    return resolved;
}

bool IsNonFile(const std::string& path) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_regular_file(status);
}

std::FILE* OpenResource(std::string_view path, const char* mode) {
    std::string resolved = ResolvePath(path);
    if (IsNonFile(resolved)) {
        errno = EISDIR;
        return nullptr;
    }
    return std::fopen(resolved.c_str(), mode);
}

}  // namespace System
