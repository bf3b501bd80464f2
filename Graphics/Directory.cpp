#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Graphics/Window.h"
#include "System/Source/ResourcePath.h"

std::vector<std::string> ListDirectory(const std::string& folder, const std::string& extension) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(System::ResolvePath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() >= extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
